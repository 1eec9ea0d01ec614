// Decompressor side of the Windows Compression API, as far as the setup
// program uses it: buffer mode, LZMS only. Stored chunks are copied out, LZMS
// chunks go through wimlib's decoder (third_party/wimlib-lzms), the one that
// quro-pack checks against genuine Windows buffers. Failures carry the same
// last-error values as Windows' own cabinet.dll.
#include <windows.h>
#include <compressapi.h>

#include "format/compressapi_buffer.h"
#include "tests/standin/lzms_decoder.h"

#include <cstdint>
#include <cstring>

// winerror.h of mingw-w64 lacks it; the value is Windows' own.
#ifndef ERROR_BAD_COMPRESSION_BUFFER
#define ERROR_BAD_COMPRESSION_BUFFER 605L
#endif

namespace {

// Tells our handles apart from anything else a caller might pass.
constexpr DWORD kHandleTag = 0x51444331;  // "QDC1"

struct Decompressor {
    DWORD tag;
    COMPRESS_ALLOCATION_ROUTINES routines;
    bool custom;
    void* lzms;  // wimlib's decoder state
};

// Memory from the caller's allocator goes back to the caller's Free, the
// decoder's state included. wimlib knows nothing of the caller's routines:
// they are handed over for the span of each call that allocates or frees.
thread_local const COMPRESS_ALLOCATION_ROUTINES* allocator = nullptr;

struct AllocatorScope {
    explicit AllocatorScope(const COMPRESS_ALLOCATION_ROUTINES* routines) { allocator = routines; }
    ~AllocatorScope() { allocator = nullptr; }
};

void* Allocate(std::size_t size)
{
    if (allocator) return allocator->Allocate(allocator->UserContext, size);
    return ::HeapAlloc(::GetProcessHeap(), 0, size);
}

void Release(void* memory)
{
    if (allocator) {
        allocator->Free(allocator->UserContext, memory);
    } else {
        ::HeapFree(::GetProcessHeap(), 0, memory);
    }
}

using RtlComputeCrc32Fn = DWORD(WINAPI*)(DWORD, const BYTE*, INT);

RtlComputeCrc32Fn Crc32Function()
{
    static RtlComputeCrc32Fn crc = [] {
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll ? reinterpret_cast<RtlComputeCrc32Fn>(
                           reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlComputeCrc32")))
                     : nullptr;
    }();
    return crc;
}

// The header CRC covers 23 bytes, so the INT length of ntdll's call is never
// a limit here.
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length)
{
    return Crc32Function()(crc, data, static_cast<INT>(length));
}

Decompressor* FromHandle(DECOMPRESSOR_HANDLE handle)
{
    auto* d = reinterpret_cast<Decompressor*>(handle);
    return d && d->tag == kHandleTag ? d : nullptr;
}

BOOL Fail(DWORD error)
{
    ::SetLastError(error);
    return FALSE;
}

}  // namespace

extern "C" {

// What wimlib's decoder needs from the library it comes from. No optional CPU
// feature is claimed: the x86 filter then takes its plain loop, which gives
// the same bytes.
std::uint32_t cpu_features = 0;

// The caller's allocator has no alignment; the block is over-allocated and
// the pointer it returned is kept just below the aligned one.
void* wimlib_aligned_malloc(std::size_t size, std::size_t alignment)
{
    if (size > SIZE_MAX - alignment - sizeof(void*)) return nullptr;
    void* block = Allocate(size + alignment + sizeof(void*));
    if (!block) return nullptr;
    std::uintptr_t aligned = reinterpret_cast<std::uintptr_t>(block) + sizeof(void*);
    aligned = (aligned + alignment - 1) / alignment * alignment;
    reinterpret_cast<void**>(aligned)[-1] = block;
    return reinterpret_cast<void*>(aligned);
}

void wimlib_aligned_free(void* memory)
{
    if (memory) Release(static_cast<void**>(memory)[-1]);
}

BOOL WINAPI CreateDecompressor(DWORD algorithm, PCOMPRESS_ALLOCATION_ROUTINES routines, PDECOMPRESSOR_HANDLE handle)
{
    if (!handle) return Fail(ERROR_INVALID_PARAMETER);
    *handle = nullptr;
    if (algorithm != COMPRESS_ALGORITHM_LZMS) return Fail(ERROR_INVALID_PARAMETER);
    // Without ntdll's CRC no header can be checked, so nothing could be decoded.
    if (!Crc32Function()) return Fail(ERROR_NOT_SUPPORTED);
    // Memory from the caller's allocator must go back to the caller's Free:
    // half a pair of routines is refused, never mixed with the process heap.
    if (routines && (!routines->Allocate) != (!routines->Free)) return Fail(ERROR_INVALID_PARAMETER);
    const bool custom = routines && routines->Allocate && routines->Free;
    const AllocatorScope scope(custom ? routines : nullptr);
    auto* d = static_cast<Decompressor*>(Allocate(sizeof(Decompressor)));
    if (!d) return Fail(ERROR_OUTOFMEMORY);
    d->tag = kHandleTag;
    d->custom = custom;
    d->routines = custom ? *routines : COMPRESS_ALLOCATION_ROUTINES{};
    // The decoder's state does not depend on the chunk size; the largest
    // chunk the format allows is as good as any.
    if (LzmsCreateDecoder(compressapi::kMaxChunkSize, &d->lzms) != 0) {
        Release(d);
        return Fail(ERROR_OUTOFMEMORY);
    }
    *handle = reinterpret_cast<DECOMPRESSOR_HANDLE>(d);
    return TRUE;
}

// mingw-w64 declares the input as PVOID where the Windows SDK has LPCVOID;
// the same pointer either way, and the declaration has to match the header.
BOOL WINAPI Decompress(DECOMPRESSOR_HANDLE handle, PVOID compressed, SIZE_T compressedSize, PVOID output,
                       SIZE_T outputCapacity, PSIZE_T produced)
{
    Decompressor* d = FromHandle(handle);
    if (!d) return Fail(ERROR_INVALID_HANDLE);
    if (produced) *produced = 0;
    if (!compressed && compressedSize != 0) return Fail(ERROR_INVALID_PARAMETER);

    const auto* buffer = static_cast<const std::uint8_t*>(compressed);
    compressapi::BufferHeader header;
    if (!buffer || !compressapi::ReadHeader(buffer, compressedSize, header, Crc32)) {
        return Fail(ERROR_BAD_COMPRESSION_BUFFER);
    }
    // As Windows does: a buffer too small (or none, the size query) fails and
    // reports how much room the data needs.
    if (!output || header.totalSize > outputCapacity) {
        if (produced) *produced = static_cast<SIZE_T>(header.totalSize);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }

    // The chunk records are walked once to the end before anything is
    // written, so a buffer cut short or overlong leaves the output untouched.
    // A chunk that does not decode is found only while decoding.
    const bool wellFormed =
        compressapi::ForEachChunk(buffer, compressedSize, header, [](const compressapi::Chunk&) { return true; });
    if (!wellFormed) return Fail(ERROR_BAD_COMPRESSION_BUFFER);

    auto* out = static_cast<std::uint8_t*>(output);
    const bool decoded =
        compressapi::ForEachChunk(buffer, compressedSize, header, [&](const compressapi::Chunk& chunk) {
            if (chunk.stored()) {
                std::memcpy(out, chunk.data, chunk.rawSize);
            } else if (LzmsDecode(chunk.data, chunk.compressedSize, out, chunk.rawSize, d->lzms) != 0) {
                return false;
            }
            out += chunk.rawSize;
            return true;
        });
    if (!decoded) return Fail(ERROR_BAD_COMPRESSION_BUFFER);
    if (produced) *produced = static_cast<SIZE_T>(header.totalSize);
    return TRUE;
}

BOOL WINAPI CloseDecompressor(DECOMPRESSOR_HANDLE handle)
{
    Decompressor* d = FromHandle(handle);
    if (!d) return Fail(ERROR_INVALID_HANDLE);
    d->tag = 0;
    const AllocatorScope scope(d->custom ? &d->routines : nullptr);
    LzmsFreeDecoder(d->lzms);
    Release(d);
    return TRUE;
}

}  // extern "C"
