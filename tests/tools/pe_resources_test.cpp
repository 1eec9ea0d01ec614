// Packages put into a real mingw-built executable: the result must be a
// valid image that keeps every other resource byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "file_io.h"
#include "package_reader.h"
#include "pe_resources.h"
#include "test_support.h"

using namespace quro_pack;
using namespace quro_pack_test;

namespace {

Bytes Embed(const Bytes& stub, const Bytes& resource)
{
    Bytes out;
    pe::EmbedPackage(stub.data(), stub.size(), resource.data(), resource.size(),
                     [&](const std::uint8_t* d, std::size_t n) { out.insert(out.end(), d, d + n); });
    return out;
}

struct Leaf {
    std::vector<pe::ResourceKey> path;
    std::uint32_t codePage;
    Bytes data;
    bool operator==(const Leaf&) const = default;
};

std::vector<Leaf> Leaves(const Bytes& image, bool withoutPackage)
{
    std::vector<Leaf> out;
    for (const pe::ResourceLeaf& l : pe::ListResources(image.data(), image.size())) {
        const bool package = !l.path[0].named && l.path[0].id == 10 && !l.path[1].named && l.path[1].id == 101;
        if (!(withoutPackage && package))
            out.push_back(Leaf{l.path, l.codePage, Bytes(l.data.data, l.data.data + l.data.size)});
    }
    return out;
}

std::uint64_t AlignUp(std::uint64_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

// What a loader relies on, read back from the written image.
void ExpectConsistent(const Bytes& stub, const Bytes& out, std::size_t resourceSize)
{
    const pe::Image before = pe::ReadImage(stub.data(), stub.size());
    const pe::Image after = pe::ReadImage(out.data(), out.size());
    ASSERT_EQ(after.sections.size(), before.sections.size());
    const std::size_t n = after.sections.size();
    const pe::Section& rsrc = after.sections[n - 2];
    const pe::Section& reloc = after.sections[n - 1];
    ASSERT_EQ(rsrc.name, ".rsrc");
    ASSERT_EQ(reloc.name, ".reloc");
    for (std::size_t i = 0; i + 2 < n; ++i) EXPECT_EQ(after.sections[i].rawPointer, before.sections[i].rawPointer);
    EXPECT_EQ(rsrc.virtualAddress, before.sections[n - 2].virtualAddress);
    EXPECT_GE(rsrc.virtualSize, resourceSize);
    EXPECT_EQ(rsrc.rawSize, AlignUp(rsrc.virtualSize, after.fileAlignment));
    EXPECT_EQ(reloc.virtualAddress, AlignUp(rsrc.virtualAddress + rsrc.virtualSize, after.sectionAlignment));
    EXPECT_EQ(reloc.rawPointer, rsrc.rawPointer + rsrc.rawSize);
    EXPECT_EQ(std::uint64_t(reloc.rawPointer) + reloc.rawSize, out.size());
    const pe::Section& oldReloc = before.sections[n - 1];
    EXPECT_TRUE(std::equal(out.begin() + reloc.rawPointer, out.end(), stub.begin() + oldReloc.rawPointer));
    EXPECT_EQ(after.directories[pe::kResourceDirectory].rva, rsrc.virtualAddress);
    EXPECT_EQ(after.directories[pe::kResourceDirectory].size, rsrc.virtualSize);
    EXPECT_EQ(after.directories[pe::kRelocationDirectory].rva, reloc.virtualAddress);
    EXPECT_EQ(after.directories[pe::kRelocationDirectory].size, before.directories[pe::kRelocationDirectory].size);
    EXPECT_EQ(after.sizeOfImage, AlignUp(reloc.virtualAddress + reloc.virtualSize, after.sectionAlignment));
    EXPECT_EQ(after.sizeOfInitializedData,
              before.sizeOfInitializedData - before.sections[n - 2].rawSize + rsrc.rawSize);
    EXPECT_EQ(after.checkSum, pe::Checksum(out.data(), out.size(), after.checkSumOffset));
}

// The small PE32+ that made embed write past its copy of the headers:
// its section table (at 0x148) ends after its .rsrc data begins (0x100).
Bytes TinyImage(std::uint32_t sizeOfHeaders) { return MinimalImage(Bytes(0x300, 0), sizeOfHeaders, 0x100); }

}  // namespace

TEST(PeResources, ChecksumIsTheOneTheLinkerWrote)
{
    const Bytes stub = ReadBytes(QURO_TEST_STUB);
    const pe::Image image = pe::ReadImage(stub.data(), stub.size());
    ASSERT_NE(image.checkSum, 0u);
    EXPECT_EQ(pe::Checksum(stub.data(), stub.size(), image.checkSumOffset), image.checkSum);
}

TEST(PeResources, EmbedKeepsEveryOtherResourceAndAValidImage)
{
    const Bytes stub = ReadBytes(QURO_TEST_STUB);
    const std::vector<Leaf> kept = Leaves(stub, true);
    ASSERT_EQ(kept.size(), Leaves(stub, false).size() - 1);  // the stub has an old RCDATA 101 of its own
    struct Case {
        const char* name;
        Bytes resource;
    };
    const Case cases[] = {
        {"empty", {}},
        {"odd size", ToBytes("QUROSET1 and then not a package at all")},
        {"larger than the stub", Bytes(3 << 20, 0xA5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes out = Embed(stub, c.resource);
        ExpectConsistent(stub, out, c.resource.size());
        EXPECT_EQ(Leaves(out, true), kept);
        const auto found = pe::FindResource(out.data(), out.size(), 10, 101);
        ASSERT_TRUE(found);
        EXPECT_EQ(Bytes(found->data, found->data + found->size), c.resource);
        const std::vector<Leaf> all = Leaves(out, false);
        EXPECT_EQ(std::count_if(all.begin(), all.end(),
                                [](const Leaf& l) { return l.path[1].id == 101 && l.path[0].id == 10; }),
                  1);
    }
}

TEST(PeResources, EmbeddingAgainReplacesThePackage)
{
    const Bytes stub = ReadBytes(QURO_TEST_STUB);
    const Bytes first = Embed(stub, Bytes(70000, 1));
    const Bytes second = Embed(first, ToBytes("the second package"));
    // Nothing of the first package stays, and nothing accumulates.
    EXPECT_EQ(second, Embed(stub, ToBytes("the second package")));
    EXPECT_EQ(Leaves(second, true), Leaves(stub, true));
}

TEST(PeResources, ToolsOfTheToolchainReadTheResult)
{
    TempDir dir;
    const Bytes stub = ReadBytes(QURO_TEST_STUB);
    WriteBytes(dir / "setup.exe", Embed(stub, ToBytes("payload")));
    const RunResult objdump = RunTool({QURO_OBJDUMP, "-p", dir / "setup.exe"});
    EXPECT_EQ(objdump.exitCode, 0) << objdump.err;
    EXPECT_EQ(objdump.err, "");
    EXPECT_NE(objdump.out.find("Resource Directory [.rsrc]"), std::string::npos);
    EXPECT_NE(objdump.out.find("Base Relocation Directory [.reloc]"), std::string::npos);
    const RunResult windres = RunTool({QURO_WINDRES, "-i", dir / "setup.exe", "-O", "rc", "-o", dir / "setup.rc"});
    EXPECT_EQ(windres.exitCode, 0) << windres.err;
    const Bytes text = ReadBytes(dir / "setup.rc");
    std::string rc;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\n' && i > 0 && text[i - 1] == '\n')) rc.push_back(char(text[i]));
    EXPECT_NE(rc.find("LANGUAGE 0, 0\n101 RCDATA"), std::string::npos);
}

TEST(PeResources, RefusesLayoutsItCannotKeepValid)
{
    const Bytes stub = ReadBytes(QURO_TEST_STUB);
    const pe::Image image = pe::ReadImage(stub.data(), stub.size());
    auto changed = [&](auto edit) {
        Bytes b = stub;
        edit(b);
        return b;
    };
    struct Case {
        const char* name;
        Bytes stub;
        const char* reason;
    };
    // clang-format off
    const Case cases[] = {
        {"not an executable", ToBytes("QUROSET1"), "not a Windows executable"},
        {"unstripped build", ReadBytes(QURO_TEST_STUB_UNSTRIPPED), "symbol table"},
        {"32-bit", changed([&](Bytes& b) { PutLe16(b.data() + image.optionalHeader, 0x10B); }), "PE32+"},
        {"signed", changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 112 + 8 * 4, 0x1000); }), "signed"},
        {"bytes after the last section", changed([](Bytes& b) { b.push_back(0); }), "after its last section"},
        {"cut short", changed([](Bytes& b) { b.pop_back(); }), "cut short"},
        // Each of these made the edit write past its copy of the headers or
        // pad without bound before the checks that Windows' loader makes.
        {"section table past SizeOfHeaders", TinyImage(0), "SizeOfHeaders"},
        {"resource data inside the headers", TinyImage(0x200), "inside its headers"},
        {"SizeOfHeaders 0", changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 60, 0); }), "SizeOfHeaders"},
        {"SizeOfHeaders past the file",
         changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 60, std::uint32_t(b.size() + 1)); }), "SizeOfHeaders"},
        {"FileAlignment 0xFE020000",
         changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 36, 0xFE020000u); }), "file alignment"},
        {"FileAlignment 256", changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 36, 256); }), "file alignment"},
        {"FileAlignment 0", changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 36, 0); }), "file alignment"},
        {"SectionAlignment below FileAlignment",
         changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 32, 0x100); }), "section alignment"},
        {"SectionAlignment not a power of two",
         changed([&](Bytes& b) { PutLe32(b.data() + image.optionalHeader + 32, 0x3000); }), "section alignment"},
        {"a section after .reloc",
         changed([&](Bytes& b) { std::memcpy(b.data() + image.sectionTable + 40 * (image.sections.size() - 1), ".other\0\0", 8); }),
         "other than .reloc"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Embed(c.stub, ToBytes("x"));
            ADD_FAILURE() << "embedded";
        } catch (const Failure& f) {
            EXPECT_NE(std::string(f.what()).find(c.reason), std::string::npos) << f.what();
        }
    }
}

TEST(PeResources, AddsAResourceSectionWhereThereIsNone)
{
    const Bytes bare = ReadBytes(QURO_TEST_STUB_BARE);
    const PackageResource none = LocatePackage(bare.data(), bare.size());
    EXPECT_TRUE(none.fromSetup && !none.present);

    const Bytes out = Embed(bare, ToBytes("QUROSET1"));
    const PackageResource r = LocatePackage(out.data(), out.size());
    ASSERT_TRUE(r.present);
    EXPECT_EQ(Bytes(r.data, r.data + r.size), ToBytes("QUROSET1"));
    const pe::Image before = pe::ReadImage(bare.data(), bare.size());
    const pe::Image after = pe::ReadImage(out.data(), out.size());
    ASSERT_EQ(after.sections.size(), before.sections.size() + 1);
    EXPECT_EQ(after.sections[after.sections.size() - 2].name, ".rsrc");
    EXPECT_EQ(after.sections.back().name, ".reloc");
    EXPECT_EQ(after.checkSum, pe::Checksum(out.data(), out.size(), after.checkSumOffset));
    // Embedding again takes the ordinary path over the section just made.
    ExpectConsistent(out, Embed(out, ToBytes("again")), 5);
}
