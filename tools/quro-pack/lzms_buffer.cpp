#include "lzms_buffer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <wimlib.h>
#include <zlib.h>

namespace quro_pack::lzms {
namespace {

struct CompressorDeleter {
    void operator()(wimlib_compressor* c) const { wimlib_free_compressor(c); }
};
struct DecompressorDeleter {
    void operator()(wimlib_decompressor* d) const { wimlib_free_decompressor(d); }
};

// wimlib's default LZMS level (50).
constexpr unsigned kLevel = 0;

// One compressor per core, as far as memory allows: wimlib's LZMS compressor
// for 64 MiB chunks needs about 600 MB, and one per core would exhaust a
// small machine with many cores.
unsigned WorkerCount(std::size_t chunkCount, std::uint32_t chunkSize)
{
    unsigned n = std::max(1u, std::thread::hardware_concurrency());
    const std::uint64_t perWorker =
        wimlib_get_compressor_needed_memory(WIMLIB_COMPRESSION_TYPE_LZMS, chunkSize, kLevel) + chunkSize;
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0 && perWorker > 0) {
        const std::uint64_t budget = std::uint64_t(pages) * std::uint64_t(pageSize) / 2;
        n = unsigned(std::clamp<std::uint64_t>(budget / perWorker, 1, n));
    }
    return unsigned(std::min<std::size_t>(n, chunkCount));
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length)
{
    uLong c = crc;
    while (length > 0) {
        const uInt step = length > 0x40000000u ? 0x40000000u : uInt(length);
        c = ::crc32(c, data, step);
        data += step;
        length -= step;
    }
    return std::uint32_t(c);
}

void AppendBuffer(const std::uint8_t* raw, std::size_t size, const CompressOptions& options, Bytes& out)
{
    const std::uint32_t chunkSize = compressapi::ChunkSizeFor(size);
    const std::size_t chunkCount = chunkSize ? (size + chunkSize - 1) / chunkSize : 0;

    // compressed[i] stays empty for a chunk that is stored verbatim.
    std::vector<Bytes> compressed(chunkCount);
    if (!options.store && chunkCount > 0) {
        std::atomic<std::size_t> next{0};
        std::mutex lock;
        std::size_t done = 0;
        std::exception_ptr error;
        auto work = [&] {
            try {
                wimlib_compressor* c = nullptr;
                if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, chunkSize, kLevel, &c) != 0)
                    throw Failure("wimlib could not make an LZMS compressor (out of memory?)");
                std::unique_ptr<wimlib_compressor, CompressorDeleter> owner(c);
                Bytes scratch;
                for (std::size_t i; (i = next++) < chunkCount;) {
                    const std::size_t offset = i * std::size_t(chunkSize);
                    const std::size_t rawSize = std::min<std::size_t>(chunkSize, size - offset);
                    // One byte less than the chunk: a chunk that does not get
                    // smaller is stored, so "compressed == raw" always means
                    // stored to the reader.
                    if (rawSize > 1) {
                        scratch.resize(rawSize - 1);
                        const std::size_t n = wimlib_compress(raw + offset, rawSize, scratch.data(), rawSize - 1, c);
                        if (n > 0) compressed[i].assign(scratch.begin(), scratch.begin() + std::ptrdiff_t(n));
                    }
                    std::lock_guard<std::mutex> g(lock);
                    ++done;
                    if (options.progress) options.progress(done, chunkCount);
                }
            } catch (...) {
                std::lock_guard<std::mutex> g(lock);
                if (!error) error = std::current_exception();
                next = chunkCount;
            }
        };
        const unsigned workers = WorkerCount(chunkCount, chunkSize);
        std::vector<std::thread> threads;
        for (unsigned t = 1; t < workers; ++t) threads.emplace_back(work);
        work();
        for (auto& t : threads) t.join();
        if (error) std::rethrow_exception(error);
    } else if (options.progress && chunkCount > 0) {
        options.progress(chunkCount, chunkCount);
    }

    std::size_t total = compressapi::kHeaderSize;
    for (std::size_t i = 0; i < chunkCount; ++i) {
        const std::size_t rawSize = std::min<std::size_t>(chunkSize, size - i * std::size_t(chunkSize));
        total += 4 + (compressed[i].empty() ? rawSize : compressed[i].size());
    }
    out.reserve(out.size() + total);
    std::uint8_t header[compressapi::kHeaderSize];
    compressapi::WriteHeader(header, size, &Crc32);
    out.insert(out.end(), header, header + sizeof header);
    for (std::size_t i = 0; i < chunkCount; ++i) {
        const std::size_t offset = i * std::size_t(chunkSize);
        const std::size_t rawSize = std::min<std::size_t>(chunkSize, size - offset);
        if (compressed[i].empty()) {
            AppendLe32(out, std::uint32_t(rawSize));
            out.insert(out.end(), raw + offset, raw + offset + rawSize);
        } else {
            AppendLe32(out, std::uint32_t(compressed[i].size()));
            out.insert(out.end(), compressed[i].begin(), compressed[i].end());
            Bytes().swap(compressed[i]);  // keep the peak near one copy of the output
        }
    }
}

BufferInfo Describe(const std::uint8_t* buffer, std::size_t length)
{
    BufferInfo info;
    info.headerValid = compressapi::ReadHeader(buffer, length, info.header, &Crc32);
    if (!info.headerValid) return info;
    info.recordsValid = compressapi::ForEachChunk(buffer, length, info.header, [&](const compressapi::Chunk& c) {
        info.chunks.push_back(ChunkInfo{c.rawSize, c.compressedSize});
        return true;
    });
    return info;
}

Decoded Decompress(const std::uint8_t* buffer, std::size_t length, std::uint8_t* out, std::size_t capacity,
                   std::size_t& produced)
{
    produced = 0;
    compressapi::BufferHeader header;
    if (!compressapi::ReadHeader(buffer, length, header, &Crc32)) return Decoded::Corrupt;
    if (header.totalSize > capacity) return Decoded::Corrupt;
    std::unique_ptr<wimlib_decompressor, DecompressorDeleter> decompressor;
    bool noDecompressor = false;
    std::size_t offset = 0;
    const bool ok = compressapi::ForEachChunk(buffer, length, header, [&](const compressapi::Chunk& c) {
        if (c.stored()) {
            std::memcpy(out + offset, c.data, c.rawSize);
        } else {
            if (!decompressor) {
                wimlib_decompressor* d = nullptr;
                if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_LZMS, header.chunkSize, &d) != 0) {
                    noDecompressor = true;
                    return false;
                }
                decompressor.reset(d);
            }
            if (wimlib_decompress(c.data, c.compressedSize, out + offset, c.rawSize, decompressor.get()) != 0)
                return false;
        }
        offset += c.rawSize;
        return true;
    });
    if (noDecompressor) return Decoded::NoDecompressor;
    if (!ok) return Decoded::Corrupt;
    produced = offset;
    return Decoded::Ok;
}

}  // namespace quro_pack::lzms
