// Decompressor side of the Windows Compression API, as far as the setup
// program uses it: buffer mode, LZMS only. There is no LZMS decoder for the
// Windows side of the build host, so a buffer whose chunks are all stored is
// copied out and any LZMS chunk is refused as a damaged buffer. Failures carry
// the same last-error values as Windows' own cabinet.dll.
#include <windows.h>
#include <compressapi.h>

#include "format/compressapi_buffer.h"

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
};

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
    void* memory = nullptr;
    if (routines && routines->Allocate) {
        memory = routines->Allocate(routines->UserContext, sizeof(Decompressor));
    } else {
        memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(Decompressor));
    }
    if (!memory) return Fail(ERROR_OUTOFMEMORY);
    auto* d = static_cast<Decompressor*>(memory);
    d->tag = kHandleTag;
    d->custom = routines && routines->Allocate && routines->Free;
    d->routines = d->custom ? *routines : COMPRESS_ALLOCATION_ROUTINES{};
    *handle = reinterpret_cast<DECOMPRESSOR_HANDLE>(d);
    return TRUE;
}

// mingw-w64 declares the input as PVOID where the Windows SDK has LPCVOID;
// the same pointer either way, and the declaration has to match the header.
BOOL WINAPI Decompress(DECOMPRESSOR_HANDLE handle, PVOID compressed, SIZE_T compressedSize, PVOID output,
                       SIZE_T outputCapacity, PSIZE_T produced)
{
    if (!FromHandle(handle)) return Fail(ERROR_INVALID_HANDLE);
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

    // The chunk records are walked once to the end before anything is copied,
    // so a damaged buffer leaves the output untouched.
    const bool wellFormed = compressapi::ForEachChunk(buffer, compressedSize, header,
                                                      [](const compressapi::Chunk& chunk) { return chunk.stored(); });
    if (!wellFormed) return Fail(ERROR_BAD_COMPRESSION_BUFFER);

    auto* out = static_cast<std::uint8_t*>(output);
    compressapi::ForEachChunk(buffer, compressedSize, header, [&out](const compressapi::Chunk& chunk) {
        std::memcpy(out, chunk.data, chunk.rawSize);
        out += chunk.rawSize;
        return true;
    });
    if (produced) *produced = static_cast<SIZE_T>(header.totalSize);
    return TRUE;
}

BOOL WINAPI CloseDecompressor(DECOMPRESSOR_HANDLE handle)
{
    Decompressor* d = FromHandle(handle);
    if (!d) return Fail(ERROR_INVALID_HANDLE);
    d->tag = 0;
    if (d->custom) {
        d->routines.Free(d->routines.UserContext, d);
    } else {
        ::HeapFree(::GetProcessHeap(), 0, d);
    }
    return TRUE;
}

}  // extern "C"
