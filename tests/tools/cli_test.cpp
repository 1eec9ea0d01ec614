// The quro-pack command as scripts use it: exit status, exactly one line on
// stderr for a failure, and setups that read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "test_support.h"

using namespace quro_pack_test;
namespace fs = std::filesystem;

namespace {

std::size_t Lines(const std::string& s) { return std::size_t(std::count(s.begin(), s.end(), '\n')); }

}  // namespace

TEST(Cli, SetupInspectAndUnpackRoundTrip)
{
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    WriteText(dir / "app/data/a b.txt", "text\n");
    fs::create_directories(dir / "app/cache");
    const RunResult setup = RunTool({QURO_PACK_EXE, "setup", dir / "app", "--store", "--stub", QURO_TEST_STUB, "-o", dir / "Setup.exe"});
    ASSERT_EQ(setup.exitCode, 0) << setup.err;
    EXPECT_EQ(setup.err, "quro-pack: warning: " + (dir / "app/cache") + " holds no files and is left out (a package carries files only)\n");

    const RunResult inspect = RunTool({QURO_PACK_EXE, "inspect", dir / "Setup.exe"});
    EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
    EXPECT_NE(inspect.out.find("magic            QUROSET1\n"), std::string::npos) << inspect.out;
    EXPECT_NE(inspect.out.find("\nok\n"), std::string::npos) << inspect.out;
    EXPECT_NE(inspect.out.find("  chunk 1        stored "), std::string::npos) << inspect.out;
    EXPECT_NE(inspect.out.find("             5  data\\a b.txt\n"), std::string::npos) << inspect.out;

    const RunResult unpack = RunTool({QURO_PACK_EXE, "unpack", dir / "Setup.exe", dir / "out"});
    ASSERT_EQ(unpack.exitCode, 0) << unpack.err;
    EXPECT_EQ(ReadTree(dir / "out"), ReadTree(dir / "app"));
}

TEST(Cli, FailuresEndWithOneLine)
{
    TempDir dir;
    WriteText(dir / "linked/f", "x");
    fs::create_symlink("f", dir / "linked/l");
    WriteText(dir / "damaged.bin", "QUROSET1 and a size field of ASCII, far above 2 GiB, then nothing of use");
    WriteText(dir / "good/f", "x");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int exitCode;
        std::string err;  // expected part of the one line
    };
    const Case cases[] = {
        {"symbolic link", {"pack", dir / "linked", "-o", dir / "p.bin"}, 1, dir / "linked/l"},
        {"missing folder", {"pack", dir / "none", "-o", dir / "p.bin"}, 1, dir / "none"},
        {"damaged resource", {"inspect", dir / "damaged.bin"}, 1, "the setup program is damaged (size)"},
        {"unpack of a damaged resource", {"unpack", dir / "damaged.bin", dir / "out"}, 1, "the setup program is damaged (size)"},
        {"setup without RCDATA 101", {"inspect", QURO_TEST_STUB_BARE}, 1, "the setup program carries no Quro Host"},
        {"stub that is not a program", {"embed", dir / "damaged.bin", "--stub", dir / "damaged.bin", "-o", dir / "x.exe"}, 1, "not a Windows executable"},
        {"unknown command", {"squash"}, 2, "unknown command"},
        {"missing -o", {"pack", dir / "good"}, 2, "needs -o"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments{QURO_PACK_EXE};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const RunResult r = RunTool(arguments);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(Lines(r.err), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("quro-pack: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "p.bin"));
    EXPECT_FALSE(fs::exists(dir / "x.exe"));
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(Cli, EmbedTakesAnyBytes)
{
    TempDir dir;
    WriteText(dir / "junk", "QUROSET1");
    const RunResult embed = RunTool({QURO_PACK_EXE, "embed", dir / "junk", "--stub", QURO_TEST_STUB, "-o", dir / "Damaged.exe"});
    ASSERT_EQ(embed.exitCode, 0) << embed.err;
    const RunResult inspect = RunTool({QURO_PACK_EXE, "inspect", dir / "Damaged.exe"});
    EXPECT_EQ(inspect.exitCode, 1);
    EXPECT_NE(inspect.out.find("\nthe setup program is damaged (download it again)\n"), std::string::npos) << inspect.out;
    EXPECT_EQ(fs::status(dir / "Damaged.exe").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
}

TEST(Cli, DefaultStubIsTheOneBesideTheTool)
{
    TempDir dir;
    fs::create_directories(dir / "bin");
    fs::copy_file(QURO_PACK_EXE, dir / "bin/quro-pack");
    fs::copy_file(QURO_TEST_STUB_BARE, dir / "bin/quro-setup-stub.exe");
    WriteText(dir / "app/f", "x");
    const RunResult setup = RunTool({dir / "bin/quro-pack", "setup", dir / "app", "-o", dir / "Setup.exe"});
    ASSERT_EQ(setup.exitCode, 0) << setup.err;
    // The bare stub has no resources of its own, the built one has: built on
    // the bare stub, the result has exactly one section more, a .rsrc.
    const auto sections = [](const std::string& exe) {
        const RunResult objdump = RunTool({QURO_OBJDUMP, "-h", exe});
        std::vector<std::string> names;
        std::istringstream lines(objdump.out);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string index, name;
            if (fields >> index >> name && !index.empty() &&
                index.find_first_not_of("0123456789") == std::string::npos)
                names.push_back(name);
        }
        return names;
    };
    std::vector<std::string> expected = sections(QURO_TEST_STUB_BARE);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(std::count(expected.begin(), expected.end(), ".rsrc"), 0);
    const std::vector<std::string> got = sections(dir / "Setup.exe");
    EXPECT_EQ(got.size(), expected.size() + 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), ".rsrc"), 1);
    EXPECT_EQ(RunTool({dir / "bin/quro-pack", "inspect", dir / "Setup.exe"}).exitCode, 0);
}

TEST(Cli, HelpPrintsUsage)
{
    const RunResult r = RunTool({QURO_PACK_EXE, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("usage: quro-pack", 0), 0u);
}
