// What the program relies on from the Compression API in buffer mode, checked
// against whichever cabinet.dll System32 holds: Windows' own, or the test
// bench's stand-in, which has to behave the same way.
#include "base/responsive.h"
#include "package/container.h"
#include "tests/windows/support/package_builder.h"
#include "tests/windows/support/test_files.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <compressapi.h>

#include <cstring>

namespace {

// winerror.h of mingw-w64 lacks it.
constexpr DWORD kBadCompressionBuffer = 605;

using CreateDecompressorFn = BOOL(WINAPI*)(DWORD, PCOMPRESS_ALLOCATION_ROUTINES, PDECOMPRESSOR_HANDLE);
using DecompressFn = BOOL(WINAPI*)(DECOMPRESSOR_HANDLE, LPCVOID, SIZE_T, PVOID, SIZE_T, PSIZE_T);
using CloseDecompressorFn = BOOL(WINAPI*)(DECOMPRESSOR_HANDLE);

struct Api {
    CreateDecompressorFn create = nullptr;
    DecompressFn decompress = nullptr;
    CloseDecompressorFn close = nullptr;
};

Api LoadApi()
{
    HMODULE cabinet = ::LoadLibraryExW(L"cabinet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    Api api;
    if (!cabinet) return api;
    api.create = reinterpret_cast<CreateDecompressorFn>(
        reinterpret_cast<void*>(::GetProcAddress(cabinet, "CreateDecompressor")));
    api.decompress = reinterpret_cast<DecompressFn>(reinterpret_cast<void*>(::GetProcAddress(cabinet, "Decompress")));
    api.close =
        reinterpret_cast<CloseDecompressorFn>(reinterpret_cast<void*>(::GetProcAddress(cabinet, "CloseDecompressor")));
    return api;
}

TEST(CompressionApi, OnlyLzmsDecompressorsAreAskedFor)
{
    const Api api = LoadApi();
    ASSERT_TRUE(api.create && api.decompress && api.close);
    DECOMPRESSOR_HANDLE handle = nullptr;
    ASSERT_TRUE(api.create(COMPRESS_ALGORITHM_LZMS, nullptr, &handle));
    EXPECT_TRUE(api.close(handle));
    EXPECT_FALSE(api.create(COMPRESS_ALGORITHM_INVALID, nullptr, &handle));
    EXPECT_FALSE(api.create(COMPRESS_ALGORITHM_MAX, nullptr, &handle));
}

// Buffers that Windows' own Compress wrote (tests/fixtures/compressapi-lzms,
// copied beside the test program), each with the data it was made from.
Bytes Genuine(const std::string& name)
{
    Bytes bytes;
    EXPECT_TRUE(ReadBytes(ProgramFolder() + L"\\compressapi-lzms\\" + Widen(name), bytes)) << name;
    return bytes;
}

TEST(CompressionApi, GenuineWindowsBuffersDecodeToTheirData)
{
    const Api api = LoadApi();
    ASSERT_TRUE(api.create && api.decompress && api.close);
    for (const std::string name : {"zeros", "sequential", "english", "small", "random"}) {
        SCOPED_TRACE(name);
        const Bytes buffer = Genuine(name + ".lzms"), raw = Genuine(name + ".raw");
        DECOMPRESSOR_HANDLE handle = nullptr;
        ASSERT_TRUE(api.create(COMPRESS_ALGORITHM_LZMS, nullptr, &handle));
        Bytes out(raw.size());
        SIZE_T produced = 0;
        EXPECT_TRUE(api.decompress(handle, buffer.data(), buffer.size(), out.data(), out.size(), &produced));
        api.close(handle);
        EXPECT_EQ(produced, raw.size());
        EXPECT_TRUE(out == raw);
    }
}

// The program hands each chunk to the Compression API on its own, framed as
// Windows frames a buffer of one chunk, and drains the window's queue
// between chunks and between pieces of the digest: Windows' own buffers, and
// a package of two chunks, come out whole.
int g_served = 0;

TEST(CompressionApi, TheProgramUnpacksChunkByChunkWhatWindowsWrote)
{
    quro::SetResponsiveHook([] { ++g_served; });
    std::vector<std::pair<Bytes, Bytes>> packages;  // resource, unpacked
    for (const std::string name : {"zeros", "sequential", "english", "small", "random"}) {
        const Bytes raw = Genuine(name + ".raw"), buffer = Genuine(name + ".lzms");
        Bytes resource = BytesOf("QUROSET1");
        AppendLe64(resource, raw.size());
        const Bytes digest = Sha256(raw);
        resource.insert(resource.end(), digest.begin(), digest.end());
        resource.insert(resource.end(), buffer.begin(), buffer.end());
        packages.emplace_back(resource, raw);
    }
    Bytes big((64u << 20) + 4096);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = std::uint8_t(i * 13 + (i >> 16));
    packages.emplace_back(Container(big), big);
    for (const auto& [resource, unpacked] : packages) {
        g_served = 0;
        ASSERT_EQ(quro::UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size())), L"");
        ASSERT_EQ(quro::UnpackedPackageSize(), unpacked.size());
        EXPECT_EQ(std::memcmp(quro::UnpackedPackageData(), unpacked.data(), unpacked.size()), 0);
    }
    // Two chunks and five pieces of 16 MiB to hash.
    EXPECT_GE(g_served, 7);
    quro::SetResponsiveHook(nullptr);
}

TEST(CompressionApi, DecompressOutcomes)
{
    const Api api = LoadApi();
    ASSERT_TRUE(api.create && api.decompress && api.close);
    Bytes data(70000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7 + (i >> 8));
    const Bytes good = StoredBuffer(data);

    struct Case {
        const char* what;
        Bytes buffer;
        std::size_t capacity;
        bool ok;
        DWORD error;           // when !ok
        std::size_t produced;  // the count reported either way
    };
    Bytes trailing = good;
    trailing.push_back(0);
    Bytes truncated = good;
    truncated.resize(truncated.size() - 1);
    Bytes badCrc = good;
    badCrc[6] ^= 0xFF;
    Bytes garbageChunk(good.begin(), good.begin() + 24);
    AppendLe32(garbageChunk, 1000);
    garbageChunk.insert(garbageChunk.end(), 1000, 0xC3);
    // A genuine LZMS chunk whose last two bytes are gone, its record shortened to match.
    Bytes cutChunk = Genuine("english.lzms");
    cutChunk.resize(cutChunk.size() - 2);
    PutLe32(cutChunk.data() + 24, static_cast<std::uint32_t>(cutChunk.size() - 28));
    const Case cases[] = {
        {"fits_exactly", good, data.size(), true, 0, data.size()},
        {"room_to_spare", good, data.size() + 10, true, 0, data.size()},
        {"one_byte_too_small", good, data.size() - 1, false, ERROR_INSUFFICIENT_BUFFER, data.size()},
        {"trailing_byte", trailing, data.size(), false, kBadCompressionBuffer, 0},
        {"truncated", truncated, data.size(), false, kBadCompressionBuffer, 0},
        {"header_crc", badCrc, data.size(), false, kBadCompressionBuffer, 0},
        {"header_only_cut", Bytes(good.begin(), good.begin() + 23), data.size(), false, kBadCompressionBuffer, 0},
        {"corrupt_lzms_chunk", garbageChunk, data.size(), false, kBadCompressionBuffer, 0},
        {"lzms_chunk_cut_short", cutChunk, Genuine("english.raw").size(), false, kBadCompressionBuffer, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DECOMPRESSOR_HANDLE handle = nullptr;
        ASSERT_TRUE(api.create(COMPRESS_ALGORITHM_LZMS, nullptr, &handle));
        Bytes out(c.capacity + 1, 0xEE);
        SIZE_T produced = 12345;
        ::SetLastError(0);
        const BOOL ok = api.decompress(handle, c.buffer.data(), c.buffer.size(), out.data(), c.capacity, &produced);
        const DWORD error = ::GetLastError();
        api.close(handle);
        EXPECT_EQ(ok != FALSE, c.ok);
        if (c.ok) {
            EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
        } else {
            EXPECT_EQ(error, c.error);
        }
        if (c.ok || c.error == ERROR_INSUFFICIENT_BUFFER) {
            EXPECT_EQ(produced, c.produced);
        }
    }
}

}  // namespace
