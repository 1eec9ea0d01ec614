#include "package/container.h"

#include "base/responsive.h"
#include "base/system_dll.h"
#include "base/unique_handles.h"
#include "format/compressapi_buffer.h"
#include "format/container_format.h"
#include "package/create_decompressor_call.h"

#include <windows.h>
#include <bcrypt.h>
#include <compressapi.h>
#include <winternl.h>

#include <cstring>
#include <memory>
#include <new>

// ntdll's CRC-32, the standard one that the Compression API's buffer header
// carries; ntdll exports it, and no header of mingw-w64's declares it.
extern "C" DWORD NTAPI RtlComputeCrc32(DWORD initial, const BYTE* data, INT length);

namespace quro {

namespace {

// UnpackedPackage. Its storage comes straight from VirtualAlloc: fresh pages
// are zero without being touched, so a 100 MB package costs its size once,
// not a zero-fill pass and a copy.
struct UnpackedBuffer {
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t capacity = 0;
};
UnpackedBuffer g_unpacked;

bool SetUnpackedSize(std::size_t size)
{
    if (size <= g_unpacked.capacity) {
        std::memset(g_unpacked.data, 0, size);
        g_unpacked.size = size;
        return true;
    }
    if (g_unpacked.data) ::VirtualFree(g_unpacked.data, 0, MEM_RELEASE);
    g_unpacked = {};
    void* memory = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory) return false;
    g_unpacked.data = static_cast<std::uint8_t*>(memory);
    g_unpacked.size = size;
    g_unpacked.capacity = size;
    return true;
}

using DecompressFn = BOOL(WINAPI*)(DECOMPRESSOR_HANDLE, LPCVOID, SIZE_T, PVOID, SIZE_T, PSIZE_T);
using CloseDecompressorFn = BOOL(WINAPI*)(DECOMPRESSOR_HANDLE);
using BCryptCreateHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG,
                                             ULONG);
using BCryptHashDataFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using BCryptFinishHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using BCryptDestroyHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

// mingw's bcrypt.h lacks the SHA-256 pseudo-handle.
const BCRYPT_ALG_HANDLE kSha256AlgorithmHandle = reinterpret_cast<BCRYPT_ALG_HANDLE>(0x41);
// What is hashed between two turns of the message queue: some tens of
// milliseconds of work.
constexpr ULONG kHashPiece = 16u << 20;

// A decompressor of cabinet.dll, closed with the CloseDecompressor that the
// same DLL exports.
struct DecompressorTraits {
    using Type = DECOMPRESSOR_HANDLE;
    static DECOMPRESSOR_HANDLE Invalid() { return nullptr; }
    static void Close(DECOMPRESSOR_HANDLE h)
    {
        if (auto close = SystemFunction<CloseDecompressorFn>(L"cabinet.dll", "CloseDecompressor")) close(h);
    }
};
using UniqueDecompressor = UniqueResource<DecompressorTraits>;

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length)
{
    return ::RtlComputeCrc32(crc, data, static_cast<INT>(length));
}

// Decompresses the stream into the buffer that is already sized to the
// stored size; true only when exactly that many bytes came out. The
// Compression API decodes a buffer in one call, and one call over a large
// package would keep the window from answering for seconds. A package's
// chunks are independent LZMS streams of 64 MiB, so each is handed to
// Windows on its own, framed as Windows frames a buffer of that one chunk
// (for a package of one chunk, the very bytes it carries), and the window
// answers between chunks. What comes out is what one call would give.
bool Decompress(DECOMPRESSOR_HANDLE decompressor, const std::uint8_t* stream, std::size_t length)
{
    using namespace compressapi;
    auto decompress = SystemFunction<DecompressFn>(L"cabinet.dll", "Decompress");
    BufferHeader header;
    if (!decompress || !ReadHeader(stream, length, header, Crc32) || header.totalSize != g_unpacked.size) return false;
    std::unique_ptr<std::uint8_t[]> framed;
    std::size_t done = 0;
    const bool whole = ForEachChunk(stream, length, header, [&](const Chunk& chunk) {
        const std::uint8_t* buffer = stream;
        std::size_t size = length;
        if (chunk.rawSize != header.totalSize) {
            size = kHeaderSize + 4 + std::size_t(chunk.compressedSize);
            if (!framed) framed.reset(new (std::nothrow) std::uint8_t[kHeaderSize + 4 + std::size_t(kMaxChunkSize)]);
            if (!framed || chunk.compressedSize > kMaxChunkSize) return false;
            WriteHeader(framed.get(), chunk.rawSize, Crc32);
            PutLe32(framed.get() + kHeaderSize, chunk.compressedSize);
            std::memcpy(framed.get() + kHeaderSize + 4, chunk.data, chunk.compressedSize);
            buffer = framed.get();
        }
        SIZE_T produced = 0;
        if (!decompress(decompressor, buffer, size, g_unpacked.data + done, chunk.rawSize, &produced) ||
            produced != chunk.rawSize) {
            return false;
        }
        done += chunk.rawSize;
        StayResponsive();
        return true;
    });
    return whole && done == g_unpacked.size;
}

// SHA-256 of the unpacked package, in pieces with the window answering
// between them.
bool DigestMatches(const std::uint8_t* expected)
{
    const auto create = SystemFunction<BCryptCreateHashFn>(L"bcrypt.dll", "BCryptCreateHash");
    const auto data = SystemFunction<BCryptHashDataFn>(L"bcrypt.dll", "BCryptHashData");
    const auto finish = SystemFunction<BCryptFinishHashFn>(L"bcrypt.dll", "BCryptFinishHash");
    const auto destroy = SystemFunction<BCryptDestroyHashFn>(L"bcrypt.dll", "BCryptDestroyHash");
    if (!create || !data || !finish || !destroy) return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    // With no object buffer, the hash object is Windows' to allocate and free.
    if (create(kSha256AlgorithmHandle, &hash, nullptr, 0, nullptr, 0, 0) < 0) return false;
    bool hashed = true;
    for (std::size_t at = 0; hashed && at < g_unpacked.size; at += kHashPiece) {
        const std::size_t left = g_unpacked.size - at;
        const ULONG piece = left < kHashPiece ? static_cast<ULONG>(left) : kHashPiece;
        hashed = data(hash, g_unpacked.data + at, piece, 0) >= 0;
        StayResponsive();
    }
    UCHAR digest[package_format::kDigestSize] = {};
    hashed = hashed && finish(hash, digest, sizeof digest, 0) >= 0;
    destroy(hash);
    return hashed && std::memcmp(digest, expected, sizeof digest) == 0;
}

}  // namespace

std::wstring UnpackContainerBytes(const std::uint8_t* resource, std::uint32_t size, bool found)
{
    using namespace package_format;
    if (!found) return kNoPackage;
    if (const wchar_t* failure = CheckHeader(resource, size)) return failure;
    const std::uint64_t unpackedSize = ReadLe64(resource + kSizeOffset);

    UniqueDecompressor decompressor;
    if (!CreateDecompressorCall(COMPRESS_ALGORITHM_LZMS, nullptr, decompressor.put())) return kNoDecompressor;
    // No memory for the package: nothing can be unpacked on this machine now.
    if (!SetUnpackedSize(static_cast<std::size_t>(unpackedSize))) return kNoDecompressor;
    const bool decompressed = Decompress(decompressor.get(), resource + kHeaderSize, size - kHeaderSize);
    // The decompressor is done with: closed before hashing, as before.
    decompressor.reset();
    if (!decompressed) return kDamaged;
    if (!DigestMatches(resource + kDigestOffset)) return kDamagedDigest;
    return {};
}

std::wstring UnpackContainer()
{
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(package_format::kResourceId),
                                  MAKEINTRESOURCEW(package_format::kResourceType));
    if (!found) return UnpackContainerBytes(nullptr, 0, false);
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(nullptr, found);
    return UnpackContainerBytes(static_cast<const std::uint8_t*>(bytes), size);
}

const std::uint8_t* UnpackedPackageData() { return g_unpacked.data; }
std::size_t UnpackedPackageSize() { return g_unpacked.size; }

}  // namespace quro
