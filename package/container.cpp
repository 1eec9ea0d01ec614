#include "package/container.h"

#include "base/system_dll.h"
#include "base/unique_handles.h"
#include "format/container_format.h"
#include "package/create_decompressor_call.h"

#include <windows.h>
#include <bcrypt.h>
#include <compressapi.h>

#include <cstring>

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
using BCryptHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG, PUCHAR, ULONG);

// mingw's bcrypt.h lacks the SHA-256 pseudo-handle.
const BCRYPT_ALG_HANDLE kSha256AlgorithmHandle = reinterpret_cast<BCRYPT_ALG_HANDLE>(0x41);

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

// Decompresses the whole stream in one call into the buffer that is already
// sized to the stored size; true only when exactly that many bytes came out.
bool Decompress(DECOMPRESSOR_HANDLE decompressor, const std::uint8_t* stream, std::size_t length)
{
    auto decompress = SystemFunction<DecompressFn>(L"cabinet.dll", "Decompress");
    SIZE_T produced = 0;
    const bool ok = decompress && decompress(decompressor, stream, length, g_unpacked.data, g_unpacked.size, &produced);
    return ok && produced == g_unpacked.size;
}

bool DigestMatches(const std::uint8_t* expected)
{
    auto hash = SystemFunction<BCryptHashFn>(L"bcrypt.dll", "BCryptHash");
    if (!hash) return false;
    UCHAR digest[package_format::kDigestSize] = {};
    const NTSTATUS status = hash(kSha256AlgorithmHandle, nullptr, 0, g_unpacked.data,
                                 static_cast<ULONG>(g_unpacked.size), digest, sizeof digest);
    return status >= 0 && std::memcmp(digest, expected, sizeof digest) == 0;
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
