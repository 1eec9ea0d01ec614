// What release managers ask quro-pack: its version and the stub's, the JSON
// of inspect, the difference between two releases, and the paths Windows
// would refuse to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sha256.h"
#include "test_support.h"

using namespace quro_pack_test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A setup of folder made with the test stub (version 1.2.3.4).
std::string MakeSetup(const TempDir& dir, const std::string& folder, const std::string& name)
{
    const std::string out = dir / name;
    const RunResult r = RunTool({QURO_PACK_EXE, "setup", folder, "--store", "--stub", QURO_TEST_STUB, "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return out;
}

std::string Sha256Hex(const Bytes& data)
{
    std::uint8_t digest[32];
    quro_pack::Sha256(data.data(), data.size(), digest);
    std::string hex;
    char two[3];
    for (std::uint8_t b : digest) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

}  // namespace

TEST(Release, InspectJsonListsEveryFileWithItsDigest)
{
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    WriteText(dir / "app/data/a b.txt", "text\n");
    WriteText(dir / "app/data/empty", "");
    const std::string setup = MakeSetup(dir, dir / "app", "Setup.exe");
    const RunResult r = RunTool({QURO_PACK_EXE, "inspect", "--json", setup});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["verdict"], "ok");
    EXPECT_EQ(doc["setupProgram"]["fileVersion"], "1.2.3.4");
    EXPECT_EQ(doc["signed"], false);
    std::vector<std::tuple<std::string, std::uint64_t, std::string>> listed, packed;
    for (const auto& f : doc["files"]) listed.emplace_back(f["name"], f["size"], f["sha256"]);
    for (auto [name, bytes] : ReadTree(dir / "app")) {
        std::replace(name.begin(), name.end(), '/', '\\');
        packed.emplace_back(name, bytes.size(), Sha256Hex(bytes));
    }
    // Listed in the package's own order.
    std::sort(listed.begin(), listed.end());
    std::sort(packed.begin(), packed.end());
    EXPECT_EQ(listed, packed);
}

TEST(Release, DiffReportsWhatAnUpdateChanges)
{
    TempDir dir;
    for (const char* side : {"old", "new"}) {
        WriteText(dir / side + std::string("/DraloHost.exe"), "MZ");
        WriteText(dir / side + std::string("/same/kept.txt"), "kept");
    }
    WriteText(dir / "old/gone.txt", "gone");
    WriteText(dir / "old/changed.dll", "before");
    WriteText(dir / "new/changed.dll", "after!!");
    WriteText(dir / "new/sub/added.txt", "added");
    const std::string before = MakeSetup(dir, dir / "old", "Old.exe"), after = MakeSetup(dir, dir / "new", "New.exe");
    RunResult package = RunTool({QURO_PACK_EXE, "pack", dir / "new", "-o", dir / "new.bin"});
    ASSERT_EQ(package.exitCode, 0) << package.err;

    struct Case {
        const char* name;
        std::string oldFile, newFile;
        int exitCode;
        std::vector<std::string> out;
    };
    const Case cases[] = {
        {"one added, one removed, one changed",
         before,
         after,
         1,
         {"changed                 6 -> 7  changed.dll", "removed                      4  gone.txt",
          "added                        5  sub\\added.txt", "files    4 -> 4 (1 added, 1 removed, 1 changed)",
          "unpacked 16 -> 18 bytes", "setup program 1.2.3.4"}},
        {"a setup against its own package",
         after,
         dir / "new.bin",
         0,
         {"files    4 -> 4 (0 added, 0 removed, 0 changed)", "unpacked 18 -> 18 bytes"}},
        {"a file that is no package", before, dir / "old/gone.txt", 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = RunTool({QURO_PACK_EXE, "diff", c.oldFile, c.newFile});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(LinesOf(r.out), c.out);
        EXPECT_EQ(r.err.empty(), c.exitCode != 2) << r.err;
    }
}

// The staging folder C:\Program Files\Quro.new\ has 26 UTF-16 units; Windows
// writes file paths up to 259 and makes folder paths up to 247.
TEST(Release, PathsWindowsCannotWriteAreWarnedAboutAndMarked)
{
    std::string e116;
    for (int i = 0; i < 116; ++i) e116 += "\xc3\xa9";  // one UTF-16 unit in two bytes
    const std::string d100(100, 'd'), g133(133, 'g'), k222(222, 'k');
    struct Case {
        std::string name;
        std::string warning;  // the start of its warning, empty for none
    };
    const Case cases[] = {
        {d100 + "/" + std::string(132, 'f'), ""},
        {d100 + "/" + g133, d100 + "\\" + g133 + ": 234 characters; "},
        {e116 + "/" + e116, ""},  // 233 units in 465 bytes
        {std::string(221, 'h') + "/x", ""},
        {k222 + "/x", "folder " + k222 + ": 222 characters; "},
    };
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    for (const Case& c : cases) WriteText(dir / "app/" + c.name, "x");
    const RunResult pack = RunTool({QURO_PACK_EXE, "pack", dir / "app", "-o", dir / "p.bin"});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    const RunResult inspect = RunTool({QURO_PACK_EXE, "inspect", dir / "p.bin"});
    ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
    EXPECT_EQ(LinesOf(pack.err).size(), 2u) << pack.err;
    for (const Case& c : cases) {
        std::string name = c.name;
        std::replace(name.begin(), name.end(), '/', '\\');
        SCOPED_TRACE(name);
        if (!c.warning.empty()) {
            EXPECT_NE(pack.err.find("quro-pack: warning: " + c.warning), std::string::npos) << pack.err;
        }
        const std::size_t at = inspect.out.find("  " + name);
        ASSERT_NE(at, std::string::npos);
        const std::string line = inspect.out.substr(at, inspect.out.find('\n', at) - at);
        EXPECT_EQ(line.find("[too long for Windows"), c.warning.empty() ? std::string::npos : 2 + name.size() + 2)
            << line;
    }
}
