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

// wimlib's LZMS level for every chunk (README: "Packing").
inline constexpr unsigned kLevel = 50;
// What a pack may take at once unless told otherwise: the compressors, the
// chunks they work on and the compressed chunks kept for the output.
inline constexpr std::uint64_t kDefaultMemoryBudget = std::uint64_t(1) << 30;

struct CompressOptions {
    bool store = false;  // every chunk verbatim
    unsigned level = kLevel;
    unsigned threads = 0;  // the most chunks compressed at once; 0: one per core
    std::uint64_t memoryBudget = kDefaultMemoryBudget;
    // Called from worker threads, one at a time, after each chunk.
    std::function<void(std::size_t chunksDone, std::size_t chunkCount)> progress;
};

// What compressing one chunk of rawSize bytes takes at most: wimlib's
// compressor, the chunk, and room for its output.
std::uint64_t ChunkMemory(std::uint32_t rawSize, const CompressOptions& options);

// Throws Failure when the budget cannot hold the compressor of the first
// chunk of a buffer of size bytes (which is the largest).
void CheckMemoryBudget(std::uint64_t size, const CompressOptions& options);

// Fills out with the bytes [offset, offset + size) of the data being packed.
// Called from several worker threads at once, each time for a different
// range; throws Failure when the data cannot be read as it was.
using ReadRange = std::function<void(std::uint64_t offset, std::uint8_t* out, std::size_t size)>;

// Appends the buffer for size bytes, read in chunks through read, to out.
// Chunks are compressed side by side, as many as options.threads and the
// memory budget allow; each is read when its turn comes, so the data need not
// be in memory. Throws Failure when wimlib cannot make a compressor, or the
// budget cannot hold one chunk's compressor.
void AppendBuffer(std::uint64_t size, const ReadRange& read, const CompressOptions& options, Bytes& out);
// The same for data already in memory.
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
