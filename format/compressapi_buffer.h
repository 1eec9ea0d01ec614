// The buffer format of the Windows Compression API (Compress/Decompress in
// buffer mode, no raw flag), as Windows itself writes it for LZMS:
//
//   offset 0  4  0xC0E5510A
//   offset 4  2  header size, 24
//   offset 6  1  low byte of the CRC-32 of bytes 0..5 followed by 7..23
//   offset 7  1  algorithm, 5 for LZMS
//   offset 8  8  total uncompressed size
//   offset 16 4  chunk size: the smaller of the total and 64 MiB
//   offset 20 4  0
//   then per chunk a 4-byte compressed size and that many bytes. A chunk whose
//   compressed size equals its uncompressed size is stored verbatim; any other
//   is one independent LZMS stream.
//
// Header-only and free of any platform, so that quro-pack on the build host
// and the Compression API stand-in of the Windows tests read it alike. The
// CRC comes from the caller (zlib on the build host, ntdll on Windows).
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/little_endian.h"

namespace compressapi {

inline constexpr std::uint32_t kMagic = 0xC0E5510Au;
inline constexpr std::uint16_t kHeaderSize = 24;
inline constexpr std::uint8_t kAlgorithmLzms = 5;
inline constexpr std::uint32_t kMaxChunkSize = 64u << 20;

// zlib-style chaining: crc32(crc32(0, a), b) is the CRC of a followed by b.
using Crc32Fn = std::uint32_t (*)(std::uint32_t crc, const std::uint8_t* data, std::size_t length);

struct BufferHeader {
    std::uint64_t totalSize = 0;
    std::uint32_t chunkSize = 0;
};

namespace detail {
inline std::uint8_t HeaderCrc(const std::uint8_t* h, Crc32Fn crc)
{
    return std::uint8_t(crc(crc(0, h, 6), h + 7, kHeaderSize - 7) & 0xFF);
}
}  // namespace detail

inline std::uint32_t ChunkSizeFor(std::uint64_t total)
{
    return total < kMaxChunkSize ? std::uint32_t(total) : kMaxChunkSize;
}

inline void WriteHeader(std::uint8_t out[kHeaderSize], std::uint64_t total, Crc32Fn crc)
{
    PutLe32(out, kMagic);
    PutLe16(out + 4, kHeaderSize);
    out[6] = 0;
    out[7] = kAlgorithmLzms;
    PutLe64(out + 8, total);
    PutLe32(out + 16, ChunkSizeFor(total));
    PutLe32(out + 20, 0);
    out[6] = detail::HeaderCrc(out, crc);
}

// Checks the 24-byte header; false for anything Windows would not take.
inline bool ReadHeader(const std::uint8_t* buffer, std::size_t length, BufferHeader& header, Crc32Fn crc)
{
    if (length < kHeaderSize) return false;
    if (ReadLe32(buffer) != kMagic) return false;
    if (buffer[4] != kHeaderSize || buffer[5] != 0) return false;
    if (buffer[7] != kAlgorithmLzms) return false;
    if (ReadLe32(buffer + 20) != 0) return false;
    if (buffer[6] != detail::HeaderCrc(buffer, crc)) return false;
    header.totalSize = ReadLe64(buffer + 8);
    header.chunkSize = ReadLe32(buffer + 16);
    if (header.chunkSize != ChunkSizeFor(header.totalSize)) return false;
    return true;
}

struct Chunk {
    const std::uint8_t* data;
    std::uint32_t compressedSize;
    std::uint32_t rawSize;
    bool stored() const { return compressedSize == rawSize; }
};

// Calls visit(chunk) for each chunk in order; visit returns false to stop.
// False when the chunk records do not exactly fill the buffer or visit stopped.
template <class Visit>
bool ForEachChunk(const std::uint8_t* buffer, std::size_t length, const BufferHeader& header, Visit&& visit)
{
    std::size_t o = kHeaderSize;
    std::uint64_t left = header.totalSize;
    while (left > 0) {
        if (length - o < 4) return false;
        const std::uint32_t compressed = ReadLe32(buffer + o);
        o += 4;
        if (compressed == 0 || compressed > length - o) return false;
        const std::uint32_t raw = left < header.chunkSize ? std::uint32_t(left) : header.chunkSize;
        if (!visit(Chunk{buffer + o, compressed, raw})) return false;
        o += compressed;
        left -= raw;
    }
    return o == length;
}

}  // namespace compressapi
