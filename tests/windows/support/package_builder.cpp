#include "tests/windows/support/package_builder.h"

#include "format/compressapi_buffer.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdlib>
#include <cstring>

namespace {

using RtlComputeCrc32Fn = DWORD(WINAPI*)(DWORD, const BYTE*, INT);

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length)
{
    static const auto compute = reinterpret_cast<RtlComputeCrc32Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlComputeCrc32")));
    if (!compute) std::abort();
    return compute(crc, data, static_cast<INT>(length));
}

}  // namespace

Bytes StoredBuffer(const Bytes& data)
{
    Bytes out(compressapi::kHeaderSize);
    compressapi::WriteHeader(out.data(), data.size(), Crc32);
    const std::size_t chunk = compressapi::ChunkSizeFor(data.size());
    for (std::size_t o = 0; o < data.size(); o += chunk) {
        const std::size_t length = data.size() - o < chunk ? data.size() - o : chunk;
        AppendLe32(out, static_cast<std::uint32_t>(length));
        out.insert(out.end(), data.begin() + o, data.begin() + o + length);
    }
    return out;
}

Bytes Sha256(const Bytes& data)
{
    using BCryptHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG, PUCHAR, ULONG);
    static const auto hash = reinterpret_cast<BCryptHashFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "BCryptHash")));
    if (!hash) std::abort();
    Bytes digest(32);
    const NTSTATUS status = hash(reinterpret_cast<BCRYPT_ALG_HANDLE>(0x41), nullptr, 0, const_cast<PUCHAR>(data.data()),
                                 static_cast<ULONG>(data.size()), digest.data(), static_cast<ULONG>(digest.size()));
    if (status < 0) std::abort();
    return digest;
}

Bytes Container(const Bytes& unpacked)
{
    Bytes out = BytesOf("QUROSET1");
    AppendLe64(out, unpacked.size());
    const Bytes digest = Sha256(unpacked);
    out.insert(out.end(), digest.begin(), digest.end());
    const Bytes stream = StoredBuffer(unpacked);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}
