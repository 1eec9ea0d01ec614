#include "format/file_list_rules.h"
#include "package/container.h"
#include "package/file_list.h"

#include "tests/name_verdicts.h"
#include "tests/windows/support/package_builder.h"
#include "tests/windows/support/test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <functional>

using namespace quro;

// This program replaces operator new and delete, which GCC cannot see when it
// pairs the two.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Bytes that operator new may still hand out in this program; a test lowers
// it to make the file-list walk run out of memory on a list of ordinary size.
static std::size_t g_allocationBudget = SIZE_MAX;

void* operator new(std::size_t size)
{
    if (size > g_allocationBudget) throw std::bad_alloc();
    if (g_allocationBudget != SIZE_MAX) g_allocationBudget -= size;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Puts list into UnpackedPackage the way the program does, then parses it.
std::wstring Parse(const Bytes& list, PackageEntries& entries)
{
    const Bytes resource = Container(list);
    const std::wstring unpacked = UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size()));
    if (!unpacked.empty()) return L"(container refused: " + unpacked + L")";
    return ParseFileList(entries);
}

Bytes Count(std::uint32_t count)
{
    Bytes out;
    AppendLe32(out, count);
    return out;
}

struct ListCase {
    const char* what;
    std::function<Bytes()> make;
    const wchar_t* expected;
    std::size_t entries;  // on success
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.what; }

class ParseFileListBounds : public testing::TestWithParam<ListCase> {};

TEST_P(ParseFileListBounds, Text)
{
    PackageEntries entries;
    ASSERT_EQ(Parse(GetParam().make(), entries), std::wstring(GetParam().expected));
    if (GetParam().expected[0] == L'\0') {
        EXPECT_EQ(entries.size(), GetParam().entries);
    }
}

// clang-format off
const ListCase kListCases[] = {
    {"three_bytes", [] { return Bytes{0, 0, 0}; }, file_list::kDamagedList, 0},
    {"count_zero_only", [] { return Count(0); }, L"", 0},
    {"count_zero_then_junk", [] { Bytes b = Count(0); b.insert(b.end(), 100, 0xFF); return b; }, L"", 0},
    {"one_record_then_extra",
     [] { Bytes b = Count(1); AppendRecord(b, "x", BytesOf("data")); b.insert(b.end(), {1, 2, 3}); return b; }, L"", 1},
    {"count_two_one_record", [] { Bytes b = Count(2); AppendRecord(b, "x", BytesOf("data")); return b; },
     file_list::kDamagedList, 0},
    {"name_length_cut", [] { Bytes b = Count(1); b.push_back(5); return b; }, file_list::kDamagedList, 0},
    {"name_cut", [] { Bytes b = Count(1); AppendLe16(b, 5); b.insert(b.end(), {'a', 'b'}); return b; },
     file_list::kDamagedList, 0},
    {"data_size_cut",
     [] { Bytes b = Count(1); AppendLe16(b, 1); b.push_back('a'); b.insert(b.end(), 7, 0); return b; },
     file_list::kDamagedList, 0},
    {"empty_name", [] { Bytes b = Count(1); AppendRecord(b, "", BytesOf("data")); return b; },
     file_list::kDamagedName, 0},
    {"empty_name_data_size_cut", [] { Bytes b = Count(1); AppendLe16(b, 0); b.insert(b.end(), 7, 0); return b; },
     file_list::kDamagedList, 0},
    {"bad_name_and_cut_off", [] { Bytes b = Count(1); AppendRecord(b, "../x", 5, BytesOf("abcd")); return b; },
     file_list::kDamagedList, 0},
    {"first_bad_record_decides",
     [] { Bytes b = Count(2); AppendRecord(b, "a..b", BytesOf("1")); AppendRecord(b, "y", 9, {}); return b; },
     file_list::kDamagedName, 0},
    {"data_size_zero", [] { Bytes b = Count(1); AppendRecord(b, "empty", {}); return b; }, L"", 1},
    {"data_one_past_end", [] { Bytes b = Count(1); AppendRecord(b, "x", 5, BytesOf("abcd")); return b; },
     file_list::kDamagedList, 0},
    {"data_exactly_to_end", [] { Bytes b = Count(1); AppendRecord(b, "x", 4, BytesOf("abcd")); return b; }, L"", 1},
    // Sums of offset and size would wrap around here.
    {"data_size_2_to_64_minus_1", [] { Bytes b = Count(1); AppendRecord(b, "x", ~0ull, BytesOf("abcd")); return b; },
     file_list::kDamagedList, 0},
    {"data_size_wraps_to_start",
     [] { Bytes b = Count(2); AppendRecord(b, "x", ~0ull - 14, BytesOf("abcd")); return b; },
     file_list::kDamagedList, 0},
    {"count_huge", [] { Bytes b = Count(0xFFFFFFFFu); AppendRecord(b, "x", BytesOf("a")); return b; },
     file_list::kDamagedList, 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Lists, ParseFileListBounds, testing::ValuesIn(kListCases),
                         [](const testing::TestParamInfo<ListCase>& info) { return info.param.what; });

struct NameCase {
    std::string name;  // UTF-8 bytes as stored
    bool accepted;
    std::wstring converted;  // when accepted
};

std::string Backslashed(std::string name)
{
    for (char& c : name) {
        if (c == '/') c = '\\';
    }
    return name;
}

std::vector<NameCase> NameCases()
{
    std::vector<NameCase> cases;
    for (const char* refused : {"../x", "dir/../x", "a..b", "C:/x", "C:x", "x:y", "/x", "//server/share/x", "dir/..",
                                "..", "file.txt:stream", "x."}) {
        cases.push_back({refused, false, {}});
        cases.push_back({Backslashed(refused), false, {}});
    }
    // A trailing separator passes: such an entry fails when it is written.
    for (const char* accepted : {".hidden", "dir/./x", "dir//x", "a.b/c.d", "x/"}) {
        cases.push_back({accepted, true, Widen(accepted)});
        cases.push_back({Backslashed(accepted), true, Widen(Backslashed(accepted))});
    }
    cases.push_back({std::string(65535, 'n'), true, std::wstring(65535, L'n')});
    cases.push_back({"caf\xC3\xA9/\xD9\x85\xD9\x84\xD9\x81", true, L"caf\u00E9/\u0645\u0644\u0641"});
    cases.push_back(
        {"a\xFF"
         "b",
         true, L"a\uFFFDb"});
    // The table quro-pack's tests judge too; a name the file system maps to a
    // device or to another name is refused, in either kind of separator.
    for (const NameVerdict& v : kNameVerdicts) {
        cases.push_back({v.name, v.accepted, Widen(v.name)});
        cases.push_back({Backslashed(v.name), v.accepted, Widen(Backslashed(v.name))});
    }
    return cases;
}

TEST(ParseFileList, NameChecks)
{
    for (const NameCase& c : NameCases()) {
        SCOPED_TRACE(testing::Message() << "name of " << c.name.size()
                                        << " bytes: " << (c.name.size() < 100 ? c.name : c.name.substr(0, 10) + "..."));
        Bytes list = Count(1);
        AppendRecord(list, c.name, BytesOf("payload"));
        PackageEntries entries;
        const std::wstring text = Parse(list, entries);
        if (!c.accepted) {
            EXPECT_EQ(text, file_list::kDamagedName);
            continue;
        }
        ASSERT_EQ(text, L"");
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].name, c.converted);
    }
}

// Overlong forms of '.' and '/' must not become a step to the parent folder:
// they are malformed, so they come out as U+FFFD, never as dots.
TEST(ParseFileList, OverlongDotsAreNoParentStep)
{
    Bytes list = Count(1);
    AppendRecord(list, "\xC0\xAE\xC0\xAE\xC0\xAFx", BytesOf("payload"));
    PackageEntries entries;
    ASSERT_EQ(Parse(list, entries), L"");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name.find_first_of(L"./\\"), std::wstring::npos);
    EXPECT_EQ(entries[0].name.back(), L'x');
}

// A package of a few hundred compressed bytes can hold more one-letter
// records than memory can hold entries: the list is refused, the process goes on.
TEST(ParseFileList, EntriesMemoryCannotHoldAreADamagedList)
{
    Bytes list = Count(100000);
    for (int i = 0; i < 100000; ++i) AppendRecord(list, "a", {});
    const Bytes resource = Container(list);
    ASSERT_EQ(UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size())), L"");
    PackageEntries entries;
    g_allocationBudget = 1 << 20;
    const std::wstring text = ParseFileList(entries);
    g_allocationBudget = SIZE_MAX;
    EXPECT_EQ(text, file_list::kDamagedList);
    EXPECT_TRUE(entries.empty());
}

TEST(ParseFileList, EntriesAreViewsInListOrder)
{
    Bytes list = Count(3);
    AppendRecord(list, "same", BytesOf("first"));
    AppendRecord(list, "empty", {});
    AppendRecord(list, "same", BytesOf("second!"));
    PackageEntries entries;
    ASSERT_EQ(Parse(list, entries), L"");
    ASSERT_EQ(entries.size(), 3u);
    const char* expected[] = {"first", "", "second!"};
    const wchar_t* names[] = {L"same", L"empty", L"same"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i].name, names[i]);
        ASSERT_EQ(entries[i].size, std::strlen(expected[i]));
        EXPECT_GE(entries[i].data, UnpackedPackageData());
        EXPECT_LE(entries[i].data + entries[i].size, UnpackedPackageData() + UnpackedPackageSize());
        EXPECT_EQ(std::memcmp(entries[i].data, expected[i], entries[i].size), 0);
    }
}

}  // namespace
