#include "lzms_buffer.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

// Each chunk is read into a buffer of its own, which the compressor may then
// use as its work space instead of copying it: a chunk's worth less per
// compressor.
constexpr unsigned kDestructive = WIMLIB_COMPRESSOR_FLAG_DESTRUCTIVE;

std::string Size(std::uint64_t bytes)
{
    if (bytes < (1u << 20)) return std::to_string((bytes + 1023) >> 10) + " KiB";
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

// One chunk as it goes into the buffer: LZMS, or verbatim when it does not
// get smaller (then as long as the chunk, which is what "stored" means to the
// reader).
Bytes PackChunk(std::uint64_t offset, std::uint32_t rawSize, const ReadRange& read, const CompressOptions& options)
{
    Bytes chunk(rawSize);
    read(offset, chunk.data(), rawSize);
    if (options.store || rawSize < 2) return chunk;
    wimlib_compressor* c = nullptr;
    if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, rawSize, options.level | kDestructive, &c) != 0)
        throw Failure("wimlib could not make an LZMS compressor for " + Size(rawSize) + " (out of memory?)");
    std::unique_ptr<wimlib_compressor, CompressorDeleter> compressor(c);
    // Not zeroed: only the pages the compressor writes take memory.
    const std::unique_ptr<std::uint8_t[]> packed(new std::uint8_t[rawSize - 1]);
    const std::size_t n = wimlib_compress(chunk.data(), rawSize, packed.get(), rawSize - 1, compressor.get());
    compressor.reset();
    if (n == 0) {
        read(offset, chunk.data(), rawSize);  // the compressor wrote over it
        return chunk;
    }
    return Bytes(packed.get(), packed.get() + n);
}

// Which chunks run side by side. Every chunk counts what compressing it takes
// while it runs and what it keeps afterwards, its output, until the buffer
// is put together; a chunk starts when that fits in the budget beside the
// others, or when nothing else runs.
class Schedule {
public:
    Schedule(std::vector<std::uint64_t> needs, std::uint64_t budget)
        : needs_(std::move(needs)), taken_(needs_.size(), false), budget_(budget)
    {
    }

    // The next chunk to pack, or false when none is left or packing stopped.
    bool Take(std::size_t& chunk)
    {
        std::unique_lock<std::mutex> g(lock_);
        for (;;) {
            if (stopped_ || left_ == 0) return false;
            for (std::size_t i = 0; i < needs_.size(); ++i) {
                if (taken_[i] || (running_ > 0 && used_ + needs_[i] > budget_)) continue;
                taken_[i] = true;
                --left_;
                ++running_;
                used_ += needs_[i];
                chunk = i;
                return true;
            }
            changed_.wait(g);
        }
    }

    void Done(std::size_t chunk, std::uint64_t kept)
    {
        const std::lock_guard<std::mutex> g(lock_);
        --running_;
        used_ = used_ - needs_[chunk] + kept;
        changed_.notify_all();
    }

    void Stop(std::size_t chunk)
    {
        const std::lock_guard<std::mutex> g(lock_);
        --running_;
        used_ -= needs_[chunk];
        stopped_ = true;
        changed_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    const std::vector<std::uint64_t> needs_;
    std::vector<bool> taken_;
    std::size_t left_ = needs_.size();
    unsigned running_ = 0;
    std::uint64_t used_ = 0;
    const std::uint64_t budget_;
    bool stopped_ = false;
};

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

std::uint64_t ChunkMemory(std::uint32_t rawSize, const CompressOptions& options)
{
    if (options.store) return rawSize;
    return wimlib_get_compressor_needed_memory(WIMLIB_COMPRESSION_TYPE_LZMS, rawSize, options.level | kDestructive) +
           2 * std::uint64_t(rawSize);
}

void CheckMemoryBudget(std::uint64_t size, const CompressOptions& options)
{
    const std::uint32_t chunkSize = compressapi::ChunkSizeFor(size);
    const std::uint64_t need = chunkSize ? ChunkMemory(chunkSize, options) : 0;
    if (need > options.memoryBudget)
        throw Failure("packing a chunk of " + Size(chunkSize) + " takes " + Size(need) +
                      ", more than the memory budget of " + Size(options.memoryBudget) + " (--memory)");
}

void AppendBuffer(std::uint64_t size, const ReadRange& read, const CompressOptions& options, Bytes& out)
{
    CheckMemoryBudget(size, options);
    const std::uint32_t chunkSize = compressapi::ChunkSizeFor(size);
    const std::size_t chunkCount = chunkSize ? std::size_t((size + chunkSize - 1) / chunkSize) : 0;
    auto rawSizeOf = [&](std::size_t i) {
        return std::uint32_t(std::min<std::uint64_t>(chunkSize, size - i * std::uint64_t(chunkSize)));
    };
    std::vector<std::uint64_t> needs;
    for (std::size_t i = 0; i < chunkCount; ++i) needs.push_back(ChunkMemory(rawSizeOf(i), options));

    std::vector<Bytes> packed(chunkCount);
    Schedule schedule(needs, options.memoryBudget);
    std::mutex lock;
    std::size_t done = 0;
    std::exception_ptr error;
    auto work = [&] {
        for (std::size_t i; schedule.Take(i);) {
            try {
                packed[i] = PackChunk(i * std::uint64_t(chunkSize), rawSizeOf(i), read, options);
            } catch (...) {
                const std::lock_guard<std::mutex> g(lock);
                if (!error) error = std::current_exception();
                schedule.Stop(i);
                return;
            }
            schedule.Done(i, packed[i].size());
            const std::lock_guard<std::mutex> g(lock);
            ++done;
            if (options.progress) options.progress(done, chunkCount);
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned workers = unsigned(std::min<std::size_t>(options.threads ? options.threads : cores, chunkCount));
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (auto& t : threads) t.join();
    if (error) std::rethrow_exception(error);

    std::size_t total = compressapi::kHeaderSize;
    for (const Bytes& chunk : packed) total += 4 + chunk.size();
    out.reserve(out.size() + total);
    std::uint8_t header[compressapi::kHeaderSize];
    compressapi::WriteHeader(header, size, &Crc32);
    out.insert(out.end(), header, header + sizeof header);
    for (Bytes& chunk : packed) {
        AppendLe32(out, std::uint32_t(chunk.size()));
        out.insert(out.end(), chunk.begin(), chunk.end());
        Bytes().swap(chunk);  // keep the peak near one copy of the output
    }
}

void AppendBuffer(const std::uint8_t* raw, std::size_t size, const CompressOptions& options, Bytes& out)
{
    AppendBuffer(
        size, [raw](std::uint64_t offset, std::uint8_t* to, std::size_t n) { std::memcpy(to, raw + offset, n); },
        options, out);
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
