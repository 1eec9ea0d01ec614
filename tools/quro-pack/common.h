// What every unit of quro-pack shares: byte buffers, little-endian fields,
// and the one way a command fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../package/little_endian.h"  // ReadLe16, ReadLe32, ReadLe64

namespace quro_pack {

using Bytes = std::vector<std::uint8_t>;

// Thrown with the one line the user sees after "quro-pack: ".
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void PutLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
inline void PutLe64(std::uint8_t* p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
inline void AppendLe16(Bytes& b, std::uint16_t v)
{
    b.resize(b.size() + 2);
    PutLe16(b.data() + b.size() - 2, v);
}
inline void AppendLe32(Bytes& b, std::uint32_t v)
{
    b.resize(b.size() + 4);
    PutLe32(b.data() + b.size() - 4, v);
}
inline void AppendLe64(Bytes& b, std::uint64_t v)
{
    b.resize(b.size() + 8);
    PutLe64(b.data() + b.size() - 8, v);
}

// The setup program's failure texts are ASCII wide strings; the build host
// prints them as they are.
inline std::string Narrow(const wchar_t* text)
{
    std::string s;
    for (; text && *text; ++text) s.push_back(char(*text));
    return s;
}

}  // namespace quro_pack
