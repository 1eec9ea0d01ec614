// Little-endian integers as the package and the Compression API buffer store
// them, read and written byte by byte so that neither alignment nor the
// host's byte order matters. The one set shared by the setup program,
// quro-pack and the Compression API stand-in.
#pragma once

#include <cstdint>
#include <vector>

inline std::uint16_t ReadLe16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

inline std::uint32_t ReadLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t ReadLe64(const std::uint8_t* p) { return ReadLe32(p) | (std::uint64_t(ReadLe32(p + 4)) << 32); }

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

// Appended at the end of a growing buffer.
inline void AppendLe16(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.resize(b.size() + 2);
    PutLe16(b.data() + b.size() - 2, v);
}

inline void AppendLe32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    b.resize(b.size() + 4);
    PutLe32(b.data() + b.size() - 4, v);
}

inline void AppendLe64(std::vector<std::uint8_t>& b, std::uint64_t v)
{
    b.resize(b.size() + 8);
    PutLe64(b.data() + b.size() - 8, v);
}
