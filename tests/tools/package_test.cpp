// Packages from folders and back: what the tree walk refuses, the setup
// program's verdict on damaged resources, and writing files out again.
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "format/container_format.h"
#include "format/file_list_rules.h"
#include "folder_writer.h"
#include "package_reader.h"
#include "operations.h"
#include "package_writer.h"
#include "test_support.h"
#include "tree_walk.h"
#include "utf8.h"

using namespace quro_pack;
using namespace quro_pack_test;
namespace fs = std::filesystem;

namespace {

void MakeSampleTree(const std::string& root)
{
    WriteText(root + "/DraloHost.exe", "MZ not really");
    WriteText(root + "/lib/x64/deep/er/core.dll", std::string(100000, 'c') + "end");
    WriteText(root + "/lib/empty.cfg", "");
    WriteText(root + "/lib/a.txt", "fichier\n");
    WriteText(root + "/plugins/d\xc3\xa9j\xc3\xa0 vu.txt", "fichier\n");
    WriteText(root + "/\xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a/\xe6\x96\x87.txt", "arabic folder, CJK name");
    fs::create_directories(root + "/share/nothing/here");
}

const wchar_t* Verdict(const Bytes& resource)
{
    Bytes unpacked;
    std::vector<PackageEntry> entries;
    PackageResource r;
    r.present = true;
    r.data = resource.data();
    r.size = resource.size();
    return UnpackPackage(r, unpacked, entries);
}

// depth folders "d" nested below root and a file at the bottom, or (make
// false) their removal: relative to one another, as no path reaches so deep.
void Nest(const std::string& root, std::size_t depth, bool make)
{
    int at = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (std::size_t i = 0; i < depth && at >= 0; ++i) {
        if (make) {
            ::mkdirat(at, "d", 0700);
            const int below = ::openat(at, "d", O_RDONLY | O_DIRECTORY);
            ::close(at);
            at = below;
            continue;
        }
        // The chain below d moves up in d's place, and d goes.
        const int below = ::openat(at, "d", O_RDONLY | O_DIRECTORY);
        ::renameat(below, "d", at, "next");
        if (i + 1 == depth) ::unlinkat(below, "f", 0);
        ::close(below);
        ::unlinkat(at, "d", AT_REMOVEDIR);
        ::renameat(at, "next", at, "d");
    }
    if (make) ::close(::openat(at, "f", O_WRONLY | O_CREAT, 0600));
    ::close(at);
}

}  // namespace

// Through the operations the commands run: pack or setup, inspect, unpack.
TEST(Package, RoundTripsATree)
{
    for (const bool setup : {true, false}) {
        SCOPED_TRACE(setup ? "a stored setup" : "an LZMS package");
        TempDir dir;
        MakeSampleTree(dir / "in");
        PackRequest request{dir / "in", dir / "out.bin", setup ? QURO_TEST_STUB : "", {}};
        request.options.compress.store = setup;
        EXPECT_EQ(
            Pack(request).warnings,
            std::vector<std::string>{dir / "in/share holds no files and is left out (a package carries files only)"});
        const Inspection inspection(dir / "out.bin");
        EXPECT_EQ(inspection.Verdict(), "ok");
        std::vector<std::string> names;
        ForEachFile(inspection, [&](const PackageEntry& e) { names.push_back(Utf16ToUtf8(e.name)); });
        // Each folder by kind, then name; an identical file right behind its twin.
        EXPECT_EQ(names, (std::vector<std::string>{"DraloHost.exe", "lib\\empty.cfg", "lib\\a.txt",
                                                   "plugins\\d\xc3\xa9j\xc3\xa0 vu.txt", "lib\\x64\\deep\\er\\core.dll",
                                                   "\xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a\\\xe6\x96\x87.txt"}));
        Unpack(dir / "out.bin", dir / "out/two/levels");
        EXPECT_EQ(ReadTree(dir / "out/two/levels"), ReadTree(dir / "in"));
    }
}

TEST(Package, SameFolderGivesSameBytes)
{
    TempDir dir;
    MakeSampleTree(dir / "a");
    // The same files made in another order.
    WriteText(dir / "b/\xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a/\xe6\x96\x87.txt", "arabic folder, CJK name");
    WriteText(dir / "b/plugins/d\xc3\xa9j\xc3\xa0 vu.txt", "fichier\n");
    WriteText(dir / "b/lib/empty.cfg", "");
    WriteText(dir / "b/lib/a.txt", "fichier\n");
    WriteText(dir / "b/lib/x64/deep/er/core.dll", std::string(100000, 'c') + "end");
    WriteText(dir / "b/DraloHost.exe", "MZ not really");
    const Bytes first = PackFolder(dir / "a", {});
    EXPECT_EQ(PackFolder(dir / "a", {}), first);
    EXPECT_EQ(PackFolder(dir / "b", {}), first);
}

// The setup program's /verify refuses a package without files, and an
// install would put an empty folder in place.
TEST(Package, RefusesAFolderWithoutFiles)
{
    TempDir dir;
    fs::create_directories(dir / "in/only/folders");
    EXPECT_THROW(PackFolder(dir / "in", {}), Failure);
}

TEST(Package, RefusesWhatCouldNotArriveAsItLeft)
{
    struct Case {
        const char* name;
        void (*make)(const std::string& root);
        const char* path;          // the path the message names, below root
        std::size_t problems = 1;  // all named in one run
    };
    // clang-format off
    const Case cases[] = {
        {"link to a file", [](const std::string& r) { WriteText(r + "/f", "x"); fs::create_symlink("f", r + "/sub/link"); }, "sub/link"},
        {"link to a folder", [](const std::string& r) { WriteText(r + "/d/f", "x"); fs::create_directory_symlink("d", r + "/dlink"); }, "dlink"},
        {"named pipe", [](const std::string& r) { ASSERT_EQ(::mkfifo((r + "/pipe").c_str(), 0600), 0); }, "pipe"},
        {"two dots inside a name", [](const std::string& r) { WriteText(r + "/a..b", "x"); }, "a..b"},
        {"colon", [](const std::string& r) { WriteText(r + "/x:y", "x"); }, "x:y"},
        {"backslash inside a name", [](const std::string& r) { WriteText(r + "/a\\b", "x"); }, "a\\b"},
        {"device name", [](const std::string& r) { WriteText(r + "/sub/con.txt", "x"); }, "sub/con.txt"},
        {"trailing dot", [](const std::string& r) { WriteText(r + "/name.", "x"); }, "name."},
        {"character Windows refuses", [](const std::string& r) { WriteText(r + "/what?", "x"); }, "what?"},
        {"malformed UTF-8", [](const std::string& r) { WriteText(r + "/bad\xff", "x"); }, "bad\xff"},
        {"names differing in case", [](const std::string& r) { WriteText(r + "/Readme", "1"); WriteText(r + "/README", "2"); }, "Readme"},
        {"non-ASCII names differing in case", [](const std::string& r) { WriteText(r + "/\xc3\xa9t\xc3\xa9", "1"); WriteText(r + "/\xc3\x89T\xc3\x89", "2"); }, "\xc3\xa9t\xc3\xa9"},
        {"file beside a folder differing in case", [](const std::string& r) { WriteText(r + "/lib", "1"); WriteText(r + "/LIB/x", "2"); }, "lib"},
        {"several at once", [](const std::string& r) { fs::create_symlink("f", r + "/link"); WriteText(r + "/x:y", "1"); WriteText(r + "/A", "2"); WriteText(r + "/a", "3"); }, "x:y", 3},
        {"over 2 GiB", [](const std::string& r) { WriteText(r + "/big", ""); ASSERT_EQ(::truncate((r + "/big").c_str(), 0x80000000ll - 16), 0); }, "big"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directories(dir / "in/sub");
        c.make(dir / "in");
        try {
            PackFolder(dir / "in", {});
            ADD_FAILURE() << "packed";
        } catch (const Failure& f) {
            std::string all = f.what();
            for (const std::string& d : f.details) all += "\n" + d;
            EXPECT_NE(all.find(dir / "in/" + c.path), std::string::npos) << all;
            EXPECT_EQ(std::string(f.what()).find('\n'), std::string::npos);
            EXPECT_EQ(std::max<std::size_t>(1, f.details.size()), c.problems) << all;
            if (c.problems > 1) EXPECT_EQ(std::string(f.what()).rfind(std::to_string(c.problems) + " files", 0), 0u);
        }
    }
}

// The walk holds a descriptor per level, not per folder, and no stack frame
// per level: 2,000 folders of files pack within 256 open files, and a chain
// of 15,000 folders packs, or is refused in one line where the open files
// allowed are fewer.
TEST(Package, WalksWideAndDeepTrees)
{
    TempDir dir;
    for (int i = 0; i < 2000; ++i) WriteText(dir / "wide/" + std::to_string(i) + "/f", "");
    fs::create_directories(dir / "deep");
    Nest(dir / "deep", 15000, true);
    for (const char* tree : {"wide", "deep"}) {
        SCOPED_TRACE(tree);
        const bool wide = tree == std::string("wide");
        const RunResult r = RunTool({"/bin/sh", "-c", wide ? "ulimit -n 256; exec \"$0\" \"$@\"" : "exec \"$0\" \"$@\"",
                                     QURO_PACK_EXE, "pack", "--store", dir / tree, "-o", dir / tree + ".bin"});
        EXPECT_TRUE(r.exitCode == 0 || (!wide && r.exitCode == 1 && std::count(r.err.begin(), r.err.end(), '\n') == 1 &&
                                        r.err.find("(ulimit -n)") != std::string::npos))
            << r.err.substr(0, 300);
        EXPECT_EQ(fs::exists(dir / tree + ".bin"), r.exitCode == 0);
    }
    Nest(dir / "deep", 15000, false);
}

// Between the walk and the reading of the files the tree may change under
// pack's feet: nothing from outside the folder may be read, and a pipe put in
// a file's place must not block it.
TEST(Package, ReadsOnlyWhatItWalked)
{
    struct Case {
        const char* name;
        void (*change)(const std::string& root, const std::string& outside);
        bool packs;  // the files walked are still there to be read, through the folders walked
    };
    // clang-format off
    const Case cases[] = {
        {"folder swapped for a link outside", [](const std::string& r, const std::string& o) {
             fs::rename(r + "/sub", r + "/sub.old");
             fs::create_directory_symlink(o, r + "/sub");
         }, false},
        {"file swapped for a link outside", [](const std::string& r, const std::string& o) {
             fs::remove(r + "/sub/f");
             fs::create_symlink(o + "/f", r + "/sub/f");
         }, false},
        {"file swapped for a pipe", [](const std::string& r, const std::string&) {
             fs::remove(r + "/sub/f");
             ASSERT_EQ(::mkfifo((r + "/sub/f").c_str(), 0600), 0);
         }, false},
        {"file replaced by another of its size", [](const std::string& r, const std::string& o) {
             fs::remove(r + "/sub/f");
             fs::copy_file(o + "/f", r + "/sub/f");
         }, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteText(dir / "in/sub/f", "public");
        WriteText(dir / "secret/f", "SECRET");
        const Tree tree = WalkTree(dir / "in");
        c.change(dir / "in", dir / "secret");
        try {
            const Bytes list = BuildFileList(tree);
            EXPECT_TRUE(c.packs);
            const std::string text(list.begin(), list.end());
            EXPECT_NE(text.find("public"), std::string::npos) << "the walked file is packed";
            EXPECT_EQ(text.find("SECRET"), std::string::npos);
        } catch (const Failure& f) {
            EXPECT_FALSE(c.packs) << f.what();
            EXPECT_NE(std::string(f.what()).find(dir / "in/sub/f"), std::string::npos) << f.what();
        }
    }
}

TEST(Package, UnpackNeverWritesThroughALink)
{
    struct Case {
        const char* name;
        void (*plant)(const std::string& out, const std::string& outside);
    };
    // clang-format off
    const Case cases[] = {
        {"link to a file", [](const std::string& o, const std::string& x) { fs::create_symlink(x + "/victim", o + "/a.txt"); }},
        {"link to a folder", [](const std::string& o, const std::string& x) { fs::create_directory_symlink(x, o + "/sub"); }},
        {"pipe", [](const std::string& o, const std::string&) { ASSERT_EQ(::mkfifo((o + "/a.txt").c_str(), 0600), 0); }},
    };
    // clang-format on
    const Bytes resource = Resource(FileList({{"a.txt", "packaged"}, {"sub/victim", "packaged"}}, 2));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteText(dir / "outside/victim", "untouched");
        fs::create_directories(dir / "out");
        c.plant(dir / "out", dir / "outside");
        Bytes unpacked;
        std::vector<PackageEntry> entries;
        ASSERT_EQ(UnpackPackage(LocatePackage(resource.data(), resource.size()), unpacked, entries), nullptr);
        EXPECT_NE(ExtractToFolder(dir / "out", entries), "");
        EXPECT_EQ(ReadBytes(dir / "outside/victim"), ToBytes("untouched"));
    }
    // A folder it made, swapped for a link before the clean-up: what it made
    // goes from the folder it made, and the file behind the link stays.
    TempDir dir;
    WriteText(dir / "outside/victim", "untouched");
    {
        FolderExtraction extraction(dir / "out");
        ASSERT_EQ(extraction.Write(PackageEntry{u"sub/victim", resource.data(), 1}), "");
        fs::rename(dir / "out/sub", dir / "moved");
        fs::create_directory_symlink(dir / "outside", dir / "out/sub");
    }
    EXPECT_EQ(ReadBytes(dir / "outside/victim"), ToBytes("untouched"));
    EXPECT_FALSE(fs::exists(dir / "moved/victim"));
}

TEST(Package, VerdictOnDamagedResources)
{
    const Bytes list = FileList({{"a.txt", "hello"}}, 1);
    const Bytes good = Resource(list);
    auto changed = [&](auto edit) {
        Bytes b = good;
        edit(b);
        return b;
    };
    auto withSize = [&](std::uint64_t size) { return changed([&](Bytes& b) { PutLe64(b.data() + 8, size); }); };
    struct Case {
        const char* name;
        Bytes resource;
        const wchar_t* text;
    };
    // clang-format off
    const Case cases[] = {
        {"good", good, nullptr},
        {"good, LZMS", Resource(list, false), nullptr},
        {"shorter than 48 bytes", Bytes(good.begin(), good.begin() + 47), package_format::kDamaged},
        {"exactly the header", Bytes(good.begin(), good.begin() + 48), package_format::kDamaged},
        {"wrong magic", changed([](Bytes& b) { b[7] = '2'; }), package_format::kDamaged},
        {"wrong magic and size 0", changed([](Bytes& b) { b[0] = 'q'; PutLe64(b.data() + 8, 0); }), package_format::kDamaged},
        {"size 0", withSize(0), package_format::kDamagedSize},
        {"size 2^31 + 1", withSize(0x80000001ull), package_format::kDamagedSize},
        {"size 2^31, stream far smaller", withSize(0x80000000ull), package_format::kDamaged},
        {"size one more than the stream", withSize(list.size() + 1), package_format::kDamaged},
        {"size one less than the stream", withSize(list.size() - 1), package_format::kDamaged},
        {"stream cut short", changed([](Bytes& b) { b.pop_back(); }), package_format::kDamaged},
        {"one digest byte flipped", changed([](Bytes& b) { b[16 + 31] ^= 0x01; }), package_format::kDamagedDigest},
        {"one data byte flipped", changed([](Bytes& b) { b.back() ^= 0x20; }), package_format::kDamagedDigest},
        {"count 2, one record", Resource(FileList({{"a.txt", "hello"}}, 2)), file_list::kDamagedList},
        {"fewer than 4 bytes", Resource(Bytes{1, 0}), file_list::kDamagedList},
        {"a..b", Resource(FileList({{"a..b", "x"}}, 1)), file_list::kDamagedName},
        {"empty name", Resource(FileList({{"", "x"}}, 1)), file_list::kDamagedName},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const wchar_t* text = Verdict(c.resource);
        EXPECT_EQ(text ? Narrow(text) : "ok", c.text ? Narrow(c.text) : "ok");
    }
}

TEST(Package, ExtractsAsTheSetupProgramDoes)
{
    TempDir dir;
    const Bytes list = FileList({{"same.txt", "first"},
                                 {"sub/deeper\\same.txt", "slash and backslash"},
                                 {"bad\xe2\x82.txt", "malformed"},
                                 {"same.txt", "later wins"},
                                 {"existing.txt", ""}},
                                5);
    WriteText(dir / "out/existing.txt", "to be emptied");
    WriteText(dir / "out/unrelated.txt", "stays");
    const Bytes resource = Resource(list);
    Bytes unpacked;
    std::vector<PackageEntry> entries;
    ASSERT_EQ(UnpackPackage(LocatePackage(resource.data(), resource.size()), unpacked, entries), nullptr);
    ASSERT_EQ(ExtractToFolder(dir / "out/", entries), "");
    const std::vector<std::pair<std::string, Bytes>> expected{
        {"bad\xef\xbf\xbd.txt", ToBytes("malformed")}, {"existing.txt", {}},
        {"same.txt", ToBytes("later wins")},           {"sub/deeper/same.txt", ToBytes("slash and backslash")},
        {"unrelated.txt", ToBytes("stays")},
    };
    EXPECT_EQ(ReadTree(dir / "out"), expected);
}

TEST(Utf8, MalformedSequencesBecomeOneReplacementEach)
{
    const std::u16string R = u"\uFFFD";
    struct Case {
        const char* bytes;
        std::u16string expected;
    };
    // clang-format off
    const Case cases[] = {
        {"plain", u"plain"},
        {"d\xc3\xa9j\xc3\xa0", u"d\u00e9j\u00e0"},
        {"\xf0\x9f\x98\x80", u"\U0001F600"},
        {"a\x80" "b", u"a" + R + u"b"},
        {"\xc0\x80", R + R},                      // overlong lead is never valid
        {"\xe0\x80\x80", R + R + R},              // overlong three-byte form
        {"\xed\xa0\x80", R + R + R},              // UTF-16 surrogate
        {"\xf4\x90\x80\x80", R + R + R + R},      // above U+10FFFF
        {"\xe2\x82", R},                          // cut short: one subpart
        {"\xf0\x9f\x98", R},
        {"\xe2\x82" "A", R + u"A"},
        {"\xf0\x9f\x98\xf0\x9f\x98\x80", R + u"\U0001F600"},
        {"\xff\xfe", R + R},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const auto* b = reinterpret_cast<const std::uint8_t*>(c.bytes);
        const std::size_t n = std::strlen(c.bytes);
        EXPECT_EQ(Utf8ToUtf16(b, n), c.expected);
        EXPECT_EQ(IsValidUtf8(b, n), Utf16ToUtf8(c.expected) == c.bytes);
    }
}
