// quro-pack's operations as the commands use them, in process, and a few
// runs of the command itself for what only it does: option parsing, exit
// status, exactly one line on stderr for a failure.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "operations.h"
#include "pe_resources.h"
#include "tests/name_verdicts.h"
#include "test_support.h"

using namespace quro_pack;
using namespace quro_pack_test;
namespace fs = std::filesystem;

namespace {

// A stored package resource holding one file per name.
Bytes Package(const std::vector<std::string>& names)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : names) files.emplace_back(name, "x");
    return Resource(FileList(files, std::uint32_t(names.size())));
}

// The operation's failure text, empty when it succeeded.
template <typename Operation>
std::string FailureOf(Operation operation)
{
    try {
        operation();
        return {};
    } catch (const Failure& f) {
        return f.what();
    }
}

}  // namespace

// Each operation's refusals: the cause named, and nothing written or left
// behind. The cheap checks come before the walk, so that a folder that does
// not exist is not what they report.
TEST(Cli, OperationsRefuseWithTheCause)
{
    TempDir dir;
    WriteText(dir / "good/f", "x");
    WriteText(dir / "damaged.bin", "QUROSET1 and a size field of ASCII, far above 2 GiB, then nothing of use");
    WriteText(dir / "junk", "QUROSET1");
    WriteBytes(dir / "escape.bin", Package({"\x1b[31mred/"}));
    WriteBytes(dir / "two.bin", Resource(FileList({{"a/1", "1"}, {"b", "2"}}, 2)));
    WriteBytes(dir / "big.bin", Resource(FileList({{"a/small", "1"}, {"a/b/big", std::string(1 << 16, 'x')}}, 2)));
    fs::create_directories(dir / "blocked/b");
    fs::create_directories(dir / "out-linked");
    fs::create_directory_symlink(dir / "good", dir / "out-linked/b");
    const std::string none = dir / "none", stub = QURO_TEST_STUB;
    Bytes image = ReadBytes(stub);  // with a certificate table, as signing leaves it
    PutLe32(image.data() + pe::ReadImage(image.data(), image.size()).optionalHeader +
                pe::optional_header::kDirectories +
                pe::optional_header::kDirectoryEntrySize * pe::kCertificateDirectory + 4,
            8);
    WriteBytes(dir / "signed.exe", image);
    fs::copy_file(stub, dir / "stub.exe");
    WriteBytes(dir / "twice.bin", Package({"a/b", "a/b"}));
    WriteBytes(dir / "spellings.bin", Package({"DRALOHOST.EXE", "./DraloHost.exe"}));
    fs::create_directories(dir / "linked-folder");
    fs::create_directory_symlink(dir / "good", dir / "linked-folder/a");
    Bytes cut = ReadBytes(stub);
    cut.pop_back();
    WriteBytes(dir / "cut.exe", cut);
    fs::create_directory_symlink(dir / "good", dir / "alias");
    const auto pack = [&](std::string folder, std::string out, std::string stubPath) {
        return [=] { PackStored(folder, out, stubPath); };
    };
    struct Case {
        const char* name;
        std::function<void()> run;
        std::string failure;  // the expected part of the one line
    };
    const Case cases[] = {
        {"missing folder", pack(none, dir / "p.bin", ""), none + ": No such file or directory"},
        {"output is a folder", pack(none, dir / "good", ""), dir / "good: is a folder"},
        {"output's folder is missing", pack(none, dir / "no/p.bin", ""), dir / "no: No such file or directory"},
        {"empty output", pack(dir / "good", "", ""), "the output is an empty path"},
        {"stub without a version resource", pack(none, dir / "x.exe", QURO_TEST_STUB_BARE),
         "not a setup program of Quro Host"},
        {"stub that is not a program", pack(none, dir / "x.exe", dir / "junk"), "not a Windows executable"},
        {"output inside the folder", pack(dir / "good", dir / "good/x.exe", stub),
         "good/x.exe: lies inside " + dir / "good"},
        {"output inside it through a link and ..", pack(dir / "good", dir / "alias/../alias/f", stub),
         "alias/f: lies inside " + dir / "good"},
        {"output over the stub", pack(dir / "good", dir / "stub.exe", dir / "stub.exe"),
         "stub.exe: is " + dir / "stub.exe"},
        {"embed over its package", [&] { Embed(dir / "two.bin", stub, dir / "two.bin"); },
         "two.bin: is " + dir / "two.bin"},
        {"memory too small, found before reading",
         [&] {
             PackRequest r{dir / "good", dir / "p.bin", "", {}};
             r.options.compress.memoryBudget = 1024;
             r.options.progress = [](const ProgressEvent& e) {
                 if (e.phase == ProgressEvent::Phase::Reading) throw Failure("read first");
             };
             Pack(r);
         },
         "more than the memory budget of 1 KiB"},
        {"signed stub", pack(none, dir / "x.exe", dir / "signed.exe"), "it is signed"},
        {"embed of a file that is not a package", [&] { Embed(dir / "junk", stub, dir / "x.exe"); },
         "does not start with a package header"},
        {"embed of a program without a package", [&] { Embed(QURO_TEST_STUB_BARE, stub, dir / "x.exe"); },
         "carries no package"},
        {"unpack of a damaged resource", [&] { Unpack(dir / "damaged.bin", dir / "out"); },
         "the setup program is damaged (size)"},
        {"unpack into an empty target", [&] { Unpack(dir / "two.bin", ""); }, "the target folder is an empty path"},
        {"unpack of a name with an escape sequence", [&] { Unpack(dir / "escape.bin", dir / "out"); },
         "could not write \x1b[31mred/: the name ends in a separator"},
        {"unpack where a folder is in a file's place", [&] { Unpack(dir / "two.bin", dir / "blocked"); },
         "could not write b: a folder is where the file goes"},
        {"unpack through a planted link", [&] { Unpack(dir / "two.bin", dir / "out-linked"); },
         "could not write b: a symbolic link is in the way"},
        {"unpack through a link in a folder's place", [&] { Unpack(dir / "two.bin", dir / "linked-folder"); },
         "could not write a/1: a symbolic link is in the way"},
        {"unpack of a name listed twice", [&] { Unpack(dir / "twice.bin", dir / "out"); },
         "1 record names a file an earlier record already holds (first: a/b)"},
        {"unpack of two spellings of one file", [&] { Unpack(dir / "spellings.bin", dir / "out"); },
         "DRALOHOST.EXE and ./DraloHost.exe are one file on Windows"},
        {"embed of a setup cut short", [&] { Embed(dir / "cut.exe", stub, dir / "x.exe"); },
         "runs past the end of the file"},
        {"unpack onto a disk that fills up mid-file",
         [&] {
             struct rlimit before {
             }, small{4096, RLIM_INFINITY};
             ::getrlimit(RLIMIT_FSIZE, &before);
             const auto previous = std::signal(SIGXFSZ, SIG_IGN);
             small.rlim_max = before.rlim_max;
             ::setrlimit(RLIMIT_FSIZE, &small);
             const std::string failure = FailureOf([&] { Unpack(dir / "big.bin", dir / "out/new"); });
             ::setrlimit(RLIMIT_FSIZE, &before);
             std::signal(SIGXFSZ, previous);
             throw Failure(failure);
         },
         "could not write a/b/big: File too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string failure = FailureOf(c.run);
        EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
    }
    EXPECT_FALSE(fs::exists(dir / "p.bin"));
    EXPECT_FALSE(fs::exists(dir / "x.exe"));
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_FALSE(fs::exists(dir / "blocked/a"));
    EXPECT_FALSE(fs::exists(dir / "out-linked/a"));
    EXPECT_FALSE(fs::exists(dir / "good/1"));
    EXPECT_EQ(fs::directory_iterator(dir / "good")->path().filename(), "f");
    EXPECT_EQ(ReadBytes(dir / "stub.exe"), ReadBytes(stub));
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
        const std::string refused = "damaged list (name)";
        EXPECT_EQ(FailureOf([&] { PackStored(dir / "app", dir / "p.bin"); }).find(refused) != std::string::npos,
                  !v.accepted);
        EXPECT_EQ(Inspection(dir / "package.bin").ok(), v.accepted);
        EXPECT_EQ(FailureOf([&] { Unpack(dir / "package.bin", dir / "out"); }).find(refused) != std::string::npos,
                  !v.accepted);
        EXPECT_EQ(fs::exists(dir / "out"), v.accepted);
    }
}

// The command line itself: usage alike for every command, exit status, one
// line on stderr for a failure, escaped names, and no run over 1 GiB.
TEST(Cli, CommandLine)
{
    TempDir dir;
    WriteText(dir / "good/f", "x");
    WriteText(dir / "app/DraloHost.exe", "x");
    WriteText(dir / "app/DraloHost.pdb", "x");
    WriteText(dir / "app/obj/x.o", "x");
    WriteText(dir / "-dash/f", "x");
    WriteBytes(dir / "spellings.bin", Package({"DRALOHOST.EXE", "./DraloHost.exe"}));
    Bytes cut = ReadBytes(QURO_TEST_STUB);
    cut.resize(cut.size() - 512);
    WriteBytes(dir / "cut.exe", cut);
    WriteText(dir / "newline/a\n##vso[task.setvariable variable=x]1", "x");
    WriteBytes(dir / "names.bin", Package({"a\n##[error]b",
                                           "\x1b]0;title\x07"
                                           "c",
                                           "\xc2\x9b"
                                           "d",
                                           "e\xe2\x80\xae"
                                           "f"}));
    PackStored(dir / "app", dir / "Setup.exe", QURO_TEST_STUB);
    const auto winget = [&](std::vector<std::string> more) {
        more.insert(more.begin(), {"winget", "--url", "https://q.example/S.exe", "-o", dir / "w"});
        return more;
    };
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int exitCode;
        std::string err;  // expected part of the last line on stderr; empty: nothing on stderr
        std::string out;  // expected part of stdout
    };
    // clang-format off
    const Case cases[] = {
        {"help", {"--help"}, 0, "", "Usage: quro-pack [OPTIONS] [SUBCOMMAND]"},
        {"help of a command", {"unpack", "--help"}, 0, "", "Usage: quro-pack unpack [OPTIONS] FILE DIR"},
        {"no command", {}, 2, "no command (see quro-pack --help)", ""},
        {"unknown command", {"squash"}, 2, "squash (see quro-pack --help)", ""},
        {"missing -o", {"pack", dir / "good"}, 2, "--output is required (see quro-pack pack --help)", ""},
        {"memory in another unit", {"setup", dir / "good", "-o", dir / "x.exe", "--memory=1T"}, 2,
         "--memory: takes a size such as 1536M or 2G, not 1T (see quro-pack setup --help)", ""},
        {"no threads", {"pack", dir / "good", "-o", dir / "p.bin", "--threads", "0"}, 2, "not in range 1 to 1024", ""},
        {"a folder after --", {"pack", "-q", "--output=" + dir / "p.bin", "--store", "--", dir / "-dash"}, 0, "", ""},
        {"a summary after the progress", {"pack", "--exclude", "*.pdb", "--exclude=obj", dir / "app", "-o", dir / "p.bin"}, 0, "quro-pack: wrote " + dir / "p.bin: 1 file (2 excluded), 1 bytes in, ", ""},
        {"an empty stub", {"setup", dir / "good", "-o", dir / "x.exe", "--stub", ""}, 1, "the stub is an empty path", ""},
        {"a warning under --strict", {"pack", "--strict", dir / "good", "-o", dir / "s.bin"}, 1,
         "--strict: 1 warning is an error; nothing was written", ""},
        {"memory for no compressor", {"pack", dir / "good", "-o", dir / "p.bin", "--memory", "1K"}, 1,
         "more than the memory budget of 1 KiB", ""},
        {"name with a newline and a CI logging command", {"pack", dir / "newline", "-o", dir / "p.bin"}, 1,
         "a\\x0a##vso[task.setvariable variable=x]1", ""},
        {"names listed escaped", {"inspect", dir / "names.bin"}, 0, "",
         "             1  a\\x0a##[error]b\n             1  \\x1b]0;title\\x07c\n             1  \\x9bd\n             1  e\\u202ef\n"},
        {"no DraloHost.exe: a warning", {"inspect", dir / "names.bin"}, 0, "", "warning          the package has no DraloHost.exe"},
        {"no DraloHost.exe under --strict", {"inspect", "--strict", dir / "names.bin"}, 1, "--strict: the package has no DraloHost.exe", ""},
        {"two spellings of one file", {"inspect", dir / "spellings.bin"}, 1, "would not install: DRALOHOST.EXE and ./DraloHost.exe are one file", ""},
        {"a setup cut short, as JSON", {"inspect", "--json", dir / "cut.exe"}, 1, "cut.exe: its section", "\"ok\": false"},
        {"setup without a package", {"inspect", QURO_TEST_STUB_BARE}, 1,
         "carries no package (no RCDATA 101): a stub on its own", "(the setup program would say: the setup program carries no Quro Host)"},
        // Inputs of a few hundred bytes that unfold into gigabytes when read
        // naively. The list bomb holds 24 million empty files named "a" and
        // then one named "..", in 178 bytes (LZMS).
        {"inspect of 24 million records", {"inspect", QURO_LIST_BOMB}, 1, "damaged list (name)", ""},
        {"unpack of 24 million records", {"unpack", QURO_LIST_BOMB, dir / "out"}, 1, "damaged list (name)", ""},
        {"winget of a package resource", winget({dir / "names.bin"}), 1, "a package resource, not a setup", ""},
        {"winget of a program without a package", winget({QURO_TEST_STUB_BARE}), 1, "carries no package", ""},
        {"winget with placeholders under --strict", winget({"--strict", dir / "Setup.exe"}), 1,
         "--strict: 4 warnings are errors; nothing was written", ""},
        {"winget with a one-part id", winget({dir / "Setup.exe", "--id", "QuroHost"}), 1,
         "--id: QuroHost: two to eight parts", ""},
        {"winget of an ftp URL", {"winget", dir / "Setup.exe", "--url", "ftp://q", "-o", dir / "w"}, 1,
         "--url: not an http or https URL", ""},
        {"winget without --url", {"winget", dir / "Setup.exe", "-o", dir / "w"}, 2,
         "--url is required (see quro-pack winget --help)", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string run =
            "ulimit -v 1048576 && exec \"$0\" \"$@\"" + std::string(c.out.empty() ? " >/dev/null" : "");
        std::vector<std::string> arguments{"/bin/sh", "-c", run, QURO_PACK_EXE};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const RunResult r = RunTool(arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;  // stdout is /dev/null when none is expected
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
            continue;
        }
        // Progress lines may come first; the failure is one line, the last.
        const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
        EXPECT_EQ(last.rfind("quro-pack: ", 0), 0u) << r.err;
        EXPECT_NE(last.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "no escape code in a log";
    }
    EXPECT_TRUE(fs::exists(dir / "p.bin"));
    EXPECT_FALSE(fs::exists(dir / "s.bin"));
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_FALSE(fs::exists(dir / "w"));
}

// An interrupt while unpack writes (sent as soon as it makes its target,
// with 20,000 files still to come) ends it by the signal, and nothing it made
// remains: the target it created, the files, the temporary names.
TEST(Cli, InterruptedUnpackLeavesNothing)
{
    TempDir dir;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 20000; ++i) files.emplace_back("d/" + std::to_string(i), "x");
    WriteBytes(dir / "many.bin", Resource(FileList(files, 20000)));
    fs::create_directories(dir / "out");
    const int events = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(events, (dir / "out").c_str(), IN_CREATE), 0);
    const std::string package = dir / "many.bin", target = dir / "out/new";
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(QURO_PACK_EXE, "quro-pack", "unpack", package.c_str(), target.c_str(), nullptr);
        ::_exit(127);
    }
    char event[4096];
    ASSERT_GT(::read(events, event, sizeof event), 0);
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(events);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST(Cli, DefaultStubIsTheOneBesideTheTool)
{
    TempDir dir;
    fs::create_directories(dir / "bin");
    fs::copy_file(QURO_PACK_EXE, dir / "bin/quro-pack");
    fs::copy_file(QURO_TEST_STUB, dir / "bin/quro-setup-stub.exe");
    WriteText(dir / "app/f", "x");
    const RunResult setup = RunTool({dir / "bin/quro-pack", "-q", "setup", dir / "app", "-o", dir / "Setup.exe"});
    ASSERT_EQ(setup.exitCode, 0) << setup.err;
    EXPECT_TRUE(Inspection(dir / "Setup.exe").ok());
}
