// The quro-pack command as scripts use it: exit status, exactly one line on
// stderr for a failure, and setups that read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/name_verdicts.h"
#include "test_support.h"

using namespace quro_pack_test;
namespace fs = std::filesystem;

namespace {

std::size_t Lines(const std::string& s) { return std::size_t(std::count(s.begin(), s.end(), '\n')); }

// A stored package resource holding one file per name.
Bytes Package(const std::vector<std::string>& names)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : names) files.emplace_back(name, "x");
    return Resource(FileList(files, std::uint32_t(names.size())));
}

}  // namespace

TEST(Cli, SetupInspectAndUnpackRoundTrip)
{
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    WriteText(dir / "app/data/a b.txt", "text\n");
    fs::create_directories(dir / "app/cache");
    const RunResult setup =
        RunTool({QURO_PACK_EXE, "setup", dir / "app", "--store", "--stub", QURO_TEST_STUB, "-o", dir / "Setup.exe"});
    ASSERT_EQ(setup.exitCode, 0) << setup.err;
    EXPECT_EQ(setup.err, "quro-pack: warning: " + (dir / "app/cache") +
                             " holds no files and is left out (a package carries files only)\n");

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

// Every failure ends with one line, and none needs more than 1 GiB.
TEST(Cli, FailuresEndWithOneLine)
{
    TempDir dir;
    WriteText(dir / "linked/f", "x");
    fs::create_symlink("f", dir / "linked/l");
    WriteText(dir / "damaged.bin", "QUROSET1 and a size field of ASCII, far above 2 GiB, then nothing of use");
    WriteText(dir / "good/f", "x");
    WriteText(dir / "newline/a\n##vso[task.setvariable variable=x]1", "x");
    WriteBytes(dir / "escape.bin", Package({"\x1b[31mred/"}));
    // 65,535 named resources that share one name of 65,535 units.
    {
        const std::size_t entries = 65535, units = 65535;
        Bytes section(16 + 8 * entries + 16 + 2 + 2 * units, 0);
        PutLe16(section.data() + 12, std::uint16_t(entries));
        const std::uint32_t leaf = std::uint32_t(16 + 8 * entries), name = leaf + 16;
        for (std::size_t i = 0; i < entries; ++i) {
            PutLe32(section.data() + 16 + 8 * i, 0x80000000u | name);
            PutLe32(section.data() + 16 + 8 * i + 4, leaf);
        }
        PutLe16(section.data() + name, std::uint16_t(units));
        WriteBytes(dir / "named.exe", MinimalImage(section));
    }
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int exitCode;
        std::string err;  // expected part of the one line
    };
    // clang-format off
    const Case cases[] = {
        {"symbolic link", {"pack", dir / "linked", "-o", dir / "p.bin"}, 1, dir / "linked/l"},
        {"missing folder", {"pack", dir / "none", "-o", dir / "p.bin"}, 1, dir / "none"},
        {"damaged resource", {"inspect", dir / "damaged.bin"}, 1, "the setup program is damaged (size)"},
        {"unpack of a damaged resource", {"unpack", dir / "damaged.bin", dir / "out"}, 1, "the setup program is damaged (size)"},
        {"setup without RCDATA 101", {"inspect", QURO_TEST_STUB_BARE}, 1, "the setup program carries no Quro Host"},
        {"stub that is not a program", {"embed", dir / "damaged.bin", "--stub", dir / "damaged.bin", "-o", dir / "x.exe"}, 1, "not a Windows executable"},
        {"unknown command", {"squash"}, 2, "unknown command"},
        {"name with a newline and a CI logging command",
         {"pack", dir / "newline", "-o", dir / "p.bin"}, 1, "a\\x0a##vso[task.setvariable variable=x]1"},
        {"unpack of a name with an escape sequence", {"unpack", dir / "escape.bin", dir / "escaped"}, 1,
         "could not write \\x1b[31mred"},
        {"missing -o", {"pack", dir / "good"}, 2, "needs -o"},
        {"memory for no compressor", {"pack", dir / "good", "-o", dir / "p.bin", "--memory", "1K"}, 1, "more than the memory budget of 1 KiB"},
        {"memory in another unit", {"setup", dir / "good", "-o", dir / "x.exe", "--memory", "1T"}, 2, "--memory takes a size such as"},
        {"no threads", {"pack", dir / "good", "-o", dir / "p.bin", "--threads", "0"}, 2, "--threads takes a count from 1 to 1024"},
        // Inputs of a few hundred kilobytes that unfold into gigabytes when
        // read naively. The list bomb holds 24 million empty files named "a"
        // and then one named "..", in 178 bytes (LZMS).
        {"inspect of a shared resource name", {"inspect", dir / "named.exe"}, 1, "carries no Quro Host"},
        {"embed into it", {"embed", dir / "named.exe", "--stub", dir / "named.exe", "-o", dir / "x.exe"}, 1,
         "resource directory is damaged"},
        {"inspect of 24 million records", {"inspect", QURO_LIST_BOMB}, 1, "damaged list (name)"},
        {"unpack of 24 million records", {"unpack", QURO_LIST_BOMB, dir / "out"}, 1, "damaged list (name)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Every run within 1 GiB of address space.
        std::vector<std::string> arguments{"/bin/sh", "-c", "ulimit -v 1048576 && exec \"$0\" \"$@\" >/dev/null",
                                           QURO_PACK_EXE};
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
    const RunResult embed =
        RunTool({QURO_PACK_EXE, "embed", dir / "junk", "--stub", QURO_TEST_STUB, "-o", dir / "Damaged.exe"});
    ASSERT_EQ(embed.exitCode, 0) << embed.err;
    const RunResult inspect = RunTool({QURO_PACK_EXE, "inspect", dir / "Damaged.exe"});
    EXPECT_EQ(inspect.exitCode, 1);
    EXPECT_NE(inspect.out.find("\nthe setup program is damaged (download it again)\n"), std::string::npos)
        << inspect.out;
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
            if (fields >> index >> name && !index.empty() && index.find_first_not_of("0123456789") == std::string::npos)
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
    // The bare stub has no version resource either: no setup of this product.
    const RunResult inspect = RunTool({dir / "bin/quro-pack", "inspect", dir / "Setup.exe"});
    EXPECT_EQ(inspect.exitCode, 1);
    EXPECT_NE(inspect.out.find("\nwould not install: the program is not a setup program of Quro Host"),
              std::string::npos)
        << inspect.out;
}

TEST(Cli, HelpPrintsUsage)
{
    const RunResult r = RunTool({QURO_PACK_EXE, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("usage: quro-pack", 0), 0u);
}

// Every command judges a name as the setup program does (the same table
// drives its own tests under Wine): pack refuses it in the folder, inspect
// and unpack refuse a package that carries it.
TEST(Cli, NamesGetOneVerdictEverywhere)
{
    for (const NameVerdict& v : kNameVerdicts) {
        SCOPED_TRACE(v.name);
        TempDir dir;
        WriteText(dir / ("app/" + std::string(v.name)), "x");
        WriteBytes(dir / "package.bin", Package({v.name}));
        const RunResult pack = RunTool({QURO_PACK_EXE, "pack", dir / "app", "--store", "-o", dir / "p.bin"});
        const RunResult inspect = RunTool({QURO_PACK_EXE, "inspect", dir / "package.bin"});
        const RunResult unpack = RunTool({QURO_PACK_EXE, "unpack", dir / "package.bin", dir / "out"});
        for (const RunResult* r : {&pack, &inspect, &unpack}) {
            EXPECT_EQ(r->exitCode, v.accepted ? 0 : 1) << r->err;
            if (!v.accepted) {
                EXPECT_NE(r->err.find("damaged list (name)"), std::string::npos) << r->err;
            }
        }
        EXPECT_EQ(fs::exists(dir / "out"), v.accepted);
    }
}

// inspect lists names as they are, but a terminal or a CI log sees no
// control character of them: one line per file.
TEST(Cli, InspectPrintsNamesEscaped)
{
    TempDir dir;
    WriteBytes(dir / "package.bin", Package({"a\n##[error]b",
                                             "\x1b]0;title\x07"
                                             "c",
                                             "\xc2\x9b"
                                             "d",
                                             "e\xe2\x80\xae"
                                             "f"}));
    const RunResult r = RunTool({QURO_PACK_EXE, "inspect", dir / "package.bin"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string listed = r.out.substr(r.out.find("files            4\n"));
    EXPECT_EQ(listed,
              "files            4\n"
              "             1  a\\x0a##[error]b\n"
              "             1  \\x1b]0;title\\x07c\n"
              "             1  \\x9bd\n"
              "             1  e\\u202ef\n");
}
