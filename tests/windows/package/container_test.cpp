#include "base/system_dll.h"
#include "format/container_format.h"
#include "format/file_list_rules.h"
#include "package/container.h"
#include "package/create_decompressor_call.h"

#include "tests/windows/support/package_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace quro;

// This program's own CreateDecompressorCall: it refuses as a Windows without
// the Compression API does, or hands cabinet.dll an allocator that counts the
// blocks still held, so that a decompressor left open shows.
namespace decompressor_seam {
bool refuse = false;
int heldBlocks = 0;
void* __cdecl Allocate(void*, SIZE_T size)
{
    ++heldBlocks;
    return ::HeapAlloc(::GetProcessHeap(), 0, size);
}
void __cdecl Free(void*, void* block)
{
    if (block) --heldBlocks;
    ::HeapFree(::GetProcessHeap(), 0, block);
}
COMPRESS_ALLOCATION_ROUTINES counting{Allocate, Free, nullptr};
}  // namespace decompressor_seam

namespace quro {

// Replaces the library's definition at link time.
BOOL CreateDecompressorCall(DWORD algorithm, PCOMPRESS_ALLOCATION_ROUTINES routines, PDECOMPRESSOR_HANDLE handle)
{
    if (decompressor_seam::refuse) return FALSE;
    using CreateDecompressorFn = BOOL(WINAPI*)(DWORD, PCOMPRESS_ALLOCATION_ROUTINES, PDECOMPRESSOR_HANDLE);
    const auto create = SystemFunction<CreateDecompressorFn>(L"cabinet.dll", "CreateDecompressor");
    return create && create(algorithm, routines ? routines : &decompressor_seam::counting, handle);
}

}  // namespace quro

namespace {

// The words are an interface (the install sequence shows them, the build
// host's tool prints them): pinned here once, byte for byte.
TEST(FailureTexts, AreExactlyTheDocumentedWords)
{
    EXPECT_STREQ(package_format::kNoPackage, L"the setup program carries no Quro Host");
    EXPECT_STREQ(package_format::kDamaged, L"the setup program is damaged (download it again)");
    EXPECT_STREQ(package_format::kDamagedSize, L"the setup program is damaged (size)");
    EXPECT_STREQ(package_format::kNoDecompressor, L"Windows could not unpack Quro Host");
    EXPECT_STREQ(package_format::kDamagedDigest, L"the setup program is damaged (fingerprint)");
    EXPECT_STREQ(file_list::kDamagedList, L"damaged list");
    EXPECT_STREQ(file_list::kDamagedName, L"damaged list (name)");
}

const Bytes& SampleUnpacked()
{
    static const Bytes bytes = FileList({{"a.txt", BytesOf("alpha")}, {"dir/b.bin", Bytes(1000, 0x5A)}});
    return bytes;
}

Bytes Valid() { return Container(SampleUnpacked()); }

Bytes WithSize(std::uint64_t size)
{
    Bytes c = Valid();
    PutLe64(c.data() + package_format::kSizeOffset, size);
    return c;
}

struct ContainerCase {
    const char* what;
    std::function<Bytes()> make;
    const wchar_t* expected;
    bool noDecompressor = false;  // CreateDecompressor fails
};

void PrintTo(const ContainerCase& c, std::ostream* os) { *os << c.what; }

class UnpackContainerBytesTest : public testing::TestWithParam<ContainerCase> {};

TEST_P(UnpackContainerBytesTest, GivesTheFirstFailingCheck)
{
    const Bytes resource = GetParam().make();
    decompressor_seam::refuse = GetParam().noDecompressor;
    const std::wstring failure = UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size()));
    decompressor_seam::refuse = false;
    EXPECT_EQ(failure, std::wstring(GetParam().expected));
    EXPECT_EQ(decompressor_seam::heldBlocks, 0) << "a decompressor left open";
}

// clang-format off
const ContainerCase kContainerCases[] = {
    {"valid", Valid, L""},
    {"shorter_than_header", [] { Bytes c = Valid(); c.resize(47); return c; }, package_format::kDamaged},
    {"header_only", [] { Bytes c = Valid(); c.resize(48); return c; }, package_format::kDamaged},
    {"wrong_magic", [] { Bytes c = Valid(); c[7] = '2'; return c; }, package_format::kDamaged},
    {"wrong_magic_before_bad_size", [] { Bytes c = WithSize(0); c[0] = 'q'; return c; }, package_format::kDamaged},
    {"size_zero", [] { return WithSize(0); }, package_format::kDamagedSize},
    // Passes the size check; the stream then cannot fill 2 GiB.
    {"size_at_limit", [] { return WithSize(0x80000000ull); }, package_format::kDamaged},
    {"size_over_limit", [] { return WithSize(0x80000001ull); }, package_format::kDamagedSize},
    {"size_near_2_to_64", [] { return WithSize(~0ull); }, package_format::kDamagedSize},
    {"stream_one_byte_short", [] { return WithSize(SampleUnpacked().size() + 1); }, package_format::kDamaged},
    {"stream_one_byte_long", [] { return WithSize(SampleUnpacked().size() - 1); }, package_format::kDamaged},
    {"stream_with_trailing_byte", [] { Bytes c = Valid(); c.push_back(0); return c; }, package_format::kDamaged},
    {"stream_cut_short", [] { Bytes c = Valid(); c.pop_back(); return c; }, package_format::kDamaged},
    {"stream_header_damaged", [] { Bytes c = Valid(); c[48 + 8] ^= 1; return c; }, package_format::kDamaged},
    // A chunk that is not stored is LZMS; these bytes are no valid LZMS stream.
    {"lzms_chunk_garbage",
     [] {
         Bytes c = Valid();
         c.resize(48 + 24);
         AppendLe32(c, 7);
         for (int i = 0; i < 7; ++i) c.push_back(std::uint8_t(0xA5 + i));
         return c;
     },
     package_format::kDamaged},
    {"one_wrong_byte_under_digest",
     [] {
         Bytes c = Valid();
         c.back() ^= 0x01;  // inside the last stored chunk: decompresses, but hashes differently
         return c;
     },
     package_format::kDamagedDigest},
    {"digest_itself_wrong", [] { Bytes c = Valid(); c[package_format::kDigestOffset + 31] ^= 0x80; return c; },
     package_format::kDamagedDigest},
    // The header is judged before a decompressor is asked for.
    {"no_decompressor", Valid, package_format::kNoDecompressor, true},
    {"no_decompressor_wrong_magic", [] { Bytes c = Valid(); c[7] = '2'; return c; }, package_format::kDamaged, true},
    {"no_decompressor_size_zero", [] { return WithSize(0); }, package_format::kDamagedSize, true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Resources, UnpackContainerBytesTest, testing::ValuesIn(kContainerCases),
                         [](const testing::TestParamInfo<ContainerCase>& info) { return info.param.what; });

TEST(UnpackContainerBytes, NoResourceComesFirst)
{
    const Bytes c = Valid();
    EXPECT_EQ(UnpackContainerBytes(c.data(), static_cast<std::uint32_t>(c.size()), false), package_format::kNoPackage);
    EXPECT_EQ(UnpackContainerBytes(nullptr, 0), package_format::kDamaged);
}

// This test program carries no package resource of its own.
TEST(UnpackContainer, ProgramWithoutPackage) { EXPECT_EQ(UnpackContainer(), package_format::kNoPackage); }

TEST(UnpackContainerBytes, FillsUnpackedPackageExactly)
{
    // A large unpack first, then a smaller one that reuses the storage: the
    // second must not see the first one's bytes or length.
    const Bytes big = FileList({{"big", Bytes(300000, 0xEE)}});
    Bytes resource = Container(big);
    ASSERT_EQ(UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size())), L"");
    resource = Valid();
    ASSERT_EQ(UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size())), L"");
    ASSERT_EQ(UnpackedPackageSize(), SampleUnpacked().size());
    EXPECT_EQ(std::memcmp(UnpackedPackageData(), SampleUnpacked().data(), SampleUnpacked().size()), 0);
}

// Above 64 MiB the Compression API buffer holds more than one chunk, and the
// program still decompresses it in one call.
TEST(UnpackContainerBytes, StreamOfTwoChunks)
{
    Bytes unpacked = FileList({{"large.bin", Bytes((64u << 20) + 1, 0)}});
    for (std::size_t i = 0; i < unpacked.size(); i += 4093) unpacked[i] = std::uint8_t(i >> 12);
    const Bytes resource = Container(unpacked);
    ASSERT_EQ(UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size())), L"");
    ASSERT_EQ(UnpackedPackageSize(), unpacked.size());
    EXPECT_EQ(std::memcmp(UnpackedPackageData(), unpacked.data(), unpacked.size()), 0);
}

}  // namespace
