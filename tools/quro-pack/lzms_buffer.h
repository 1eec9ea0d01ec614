// The Windows Compression API's LZMS buffer (the layout is in
// format/compressapi_buffer.h), written and read on the build host with
// wimlib's LZMS codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "common.h"
#include "format/compressapi_buffer.h"

namespace quro_pack::lzms {

// zlib's crc32, for any length.
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length);

struct CompressOptions {
    bool store = false;  // every chunk verbatim
    // Called from worker threads, one at a time, after each chunk.
    std::function<void(std::size_t chunksDone, std::size_t chunkCount)> progress;
};

// Appends the buffer for raw[0 .. size) to out. Throws Failure when wimlib
// cannot make a compressor.
void AppendBuffer(const std::uint8_t* raw, std::size_t size, const CompressOptions& options, Bytes& out);

struct ChunkInfo {
    std::uint32_t rawSize = 0;
    std::uint32_t compressedSize = 0;
    bool stored() const { return compressedSize == rawSize; }
};

struct BufferInfo {
    bool headerValid = false;
    compressapi::BufferHeader header;
    std::vector<ChunkInfo> chunks;  // as far as the records could be read
    bool recordsValid = false;      // the records fill the buffer exactly
};

BufferInfo Describe(const std::uint8_t* buffer, std::size_t length);

enum class Decoded { Ok, NoDecompressor, Corrupt };

// Decompresses into out[0 .. capacity) the way Windows' Decompress does:
// Corrupt when the buffer is malformed, a chunk does not decode to its size,
// or the stated total does not fit the capacity. On Ok, produced is the total.
Decoded Decompress(const std::uint8_t* buffer, std::size_t length, std::uint8_t* out, std::size_t capacity,
                   std::size_t& produced);

}  // namespace quro_pack::lzms
