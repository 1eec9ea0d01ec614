// Little-endian integers as the package stores them, read byte by byte so
// that neither alignment nor the host's byte order matters. Shared by the
// setup program and quro-pack.
#pragma once

#include <cstdint>

inline std::uint16_t ReadLe16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

inline std::uint32_t ReadLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t ReadLe64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
