// The package commands end to end: setup programs made from the stub with a
// crafted package resource, started as a user would start them, judged by
// their exit code and by what they leave on disk.
#include "tests/windows/support/package_builder.h"
#include "tests/windows/support/test_files.h"
#include "tools/driver/driver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <optional>

namespace {

std::wstring g_defaultSetup;

std::wstring Stub() { return ProgramFolder() + L"\\quro-setup-stub.exe"; }

// A copy of the stub carrying resource as its package (RCDATA 101), or none.
std::wstring MakeSetup(const ScratchFolder& folder, const std::wstring& name, const std::optional<Bytes>& resource)
{
    const std::wstring path = folder / (name + L".exe");
    EXPECT_TRUE(::CopyFileW(Stub().c_str(), path.c_str(), FALSE)) << "no stub beside the test program";
    if (!resource) return path;
    HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
    EXPECT_NE(update, nullptr);
    if (!update) return path;
    EXPECT_TRUE(::UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(101), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                  const_cast<std::uint8_t*>(resource->data()), static_cast<DWORD>(resource->size())));
    EXPECT_TRUE(::EndUpdateResourceW(update, FALSE));
    return path;
}

constexpr DWORD kStillRunning = 0xFFFFFFFF;

// Starts the setup program with arguments (as typed after its quoted path)
// in folder cwd and returns its exit code; a program still running after
// timeoutMs is ended and gives kStillRunning.
DWORD RunSetup(const std::wstring& exe, const std::wstring& arguments, const std::wstring& cwd, DWORD timeoutMs = 60000)
{
    const driver::Started started = driver::StartCommandLine(exe, L"\"" + exe + L"\" " + arguments, cwd);
    if (!started.process) {
        ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
        return kStillRunning - 1;
    }
    const HANDLE process = started.process.get();
    DWORD code = kStillRunning;
    if (::WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process, &code);
    } else {
        ::TerminateProcess(process, kStillRunning);
        ::WaitForSingleObject(process, 10000);
    }
    return code;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

const std::vector<TestFile>& SampleFiles()
{
    static const std::vector<TestFile> files = [] {
        Bytes everyByte(256 * 3);
        for (std::size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = std::uint8_t(i);
        Bytes larger(200000);
        for (std::size_t i = 0; i < larger.size(); ++i) larger[i] = std::uint8_t((i * 2654435761u) >> 24);
        return std::vector<TestFile>{
            {"DraloHost.exe", larger},
            {"bin\\every-byte.dat", everyByte},
            {"bin/nested/deep/empty.txt", {}},
            {"\xD9\x84\xD8\xBA\xD8\xA9/\xD9\x86\xD8\xB5.txt", BytesOf("Arabic names survive")},
            {".hidden", BytesOf("dot file")},
        };
    }();
    return files;
}

// Where a file of the package lands, with its separators made Windows ones.
std::wstring LandingPath(const std::wstring& folder, const std::string& name)
{
    std::wstring relative = Widen(name);
    for (wchar_t& c : relative) {
        if (c == L'/') c = L'\\';
    }
    return folder + L"\\" + relative;
}

void ExpectSampleFilesIn(const std::wstring& folder)
{
    for (const TestFile& file : SampleFiles()) {
        Bytes written;
        SCOPED_TRACE(file.name);
        ASSERT_TRUE(ReadBytes(LandingPath(folder, file.name), written));
        EXPECT_TRUE(written == file.data);
    }
}

Bytes ValidResource() { return Container(FileList(SampleFiles())); }

Bytes WithSize(std::uint64_t size)
{
    Bytes c = ValidResource();
    PutLe64(c.data() + 8, size);
    return c;
}

struct CommandCase {
    const char* what;
    std::optional<Bytes> resource;
    DWORD verifyExit;
    DWORD extractExit;
};

std::vector<CommandCase> CommandCases()
{
    Bytes shortResource = ValidResource();
    shortResource.resize(47);
    Bytes headerOnly = ValidResource();
    headerOnly.resize(48);
    Bytes wrongMagic = ValidResource();
    wrongMagic[0] = 'X';
    Bytes wrongByte = ValidResource();
    wrongByte.back() ^= 0x40;
    Bytes badName;
    AppendLe32(badName, 1);
    AppendRecord(badName, "..\\outside.txt", BytesOf("escape"));
    Bytes cutList;
    AppendLe32(cutList, 2);
    AppendRecord(cutList, "a.txt", BytesOf("a"));
    // Names Windows would turn into a device or into another name.
    const auto named = [](const char* name) {
        Bytes list;
        AppendLe32(list, 2);
        AppendRecord(list, "first.txt", BytesOf("1"));
        AppendRecord(list, name, BytesOf("payload"));
        return Container(list);
    };
    return {
        {"valid", ValidResource(), 0, 0},
        {"no_resource", std::nullopt, 1, 1},
        {"shorter_than_48", shortResource, 1, 1},
        {"exactly_48", headerOnly, 1, 1},
        {"wrong_magic", wrongMagic, 1, 1},
        {"size_0", WithSize(0), 1, 1},
        {"size_2147483648", WithSize(2147483648ull), 1, 1},
        {"size_2147483649", WithSize(2147483649ull), 1, 1},
        {"stream_one_byte_less", WithSize(FileList(SampleFiles()).size() + 1), 1, 1},
        {"stream_one_byte_more", WithSize(FileList(SampleFiles()).size() - 1), 1, 1},
        {"wrong_byte_under_digest", wrongByte, 1, 1},
        {"name_outside_the_folder", Container(badName), 1, 1},
        {"list_cut_short", Container(cutList), 1, 1},
        {"no_files", Container(FileList({})), 1, 0},
        {"device_AUX_tar_gz", named("AUX.tar.gz"), 1, 1},
        {"device_NUL", named("NUL"), 1, 1},
        {"trailing_dot", named("trail."), 1, 1},
        {"trailing_space", named("space "), 1, 1},
        {"folder_with_trailing_dot", named("dir.\\x.txt"), 1, 1},
    };
}

TEST(PackageCommands, ExitCodesAndFiles)
{
    ScratchFolder scratch;
    for (const CommandCase& c : CommandCases()) {
        SCOPED_TRACE(c.what);
        const std::wstring name = Widen(c.what);
        const std::wstring setup = MakeSetup(scratch, name, c.resource);
        EXPECT_EQ(RunSetup(setup, L"/verify", scratch.path()), c.verifyExit);

        const std::wstring target = scratch / (L"out-" + name + L"\\two levels");
        EXPECT_EQ(RunSetup(setup, L"/extract-to " + Quoted(target), scratch.path()), c.extractExit);
        if (std::string(c.what) == "valid") {
            ExpectSampleFilesIn(target);
        } else {
            // Nothing is written for a package that fails, nor for one without files.
            EXPECT_FALSE(Exists(scratch / (L"out-" + name)));
        }
    }
    EXPECT_FALSE(Exists(scratch / L"outside.txt"));
}

TEST(PackageCommands, FileThatCannotBeWritten)
{
    ScratchFolder scratch;
    const std::wstring setup = MakeSetup(scratch, L"setup", ValidResource());
    const std::wstring target = scratch / L"out";
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((target + L"\\.hidden").c_str(), nullptr));
    EXPECT_EQ(RunSetup(setup, L"/extract-to " + Quoted(target), scratch.path()), 2u);
    // Files before the one that failed are complete.
    Bytes first;
    ASSERT_TRUE(ReadBytes(target + L"\\DraloHost.exe", first));
    EXPECT_TRUE(first == SampleFiles()[0].data);
}

TEST(PackageCommands, FolderArgumentForms)
{
    ScratchFolder scratch;
    const std::wstring setup = MakeSetup(scratch, L"setup", ValidResource());

    // An empty folder argument is passed on as is: names land in the current folder.
    const std::wstring current = scratch / L"current";
    ASSERT_TRUE(::CreateDirectoryW(current.c_str(), nullptr));
    EXPECT_EQ(RunSetup(setup, L"/extract-to \"\"", current), 0u);
    ExpectSampleFilesIn(current);

    // Later arguments are ignored.
    const std::wstring target = scratch / L"with extra";
    EXPECT_EQ(RunSetup(setup, L"/extract-to " + Quoted(target) + L" more /verify", scratch.path()), 0u);
    ExpectSampleFilesIn(target);
    EXPECT_FALSE(Exists(scratch / L"more"));
}

// Without a folder, or in other letters, the switch is no package command at
// all: the run becomes the interactive start, whose language chooser comes
// up, and nothing is extracted.
TEST(PackageCommands, NotTheExtractCommand)
{
    ScratchFolder scratch;
    const std::wstring setup = MakeSetup(scratch, L"setup", ValidResource());
    for (const wchar_t* arguments : {L"/extract-to", L"/EXTRACT-TO out", L"-extract-to out", L"/extract-to: out"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        ScratchFolder current;
        const driver::Started started =
            driver::StartCommandLine(setup, L"\"" + setup + L"\" " + arguments, current.path());
        ASSERT_TRUE(started.process);
        EXPECT_NE(driver::WaitForDialog(L"Quro Host Setup", 30000, started.processId), nullptr)
            << "no language chooser";
        ::TerminateProcess(started.process.get(), kStillRunning);
        ::WaitForSingleObject(started.process.get(), 10000);
        EXPECT_TRUE(List(current.path()).empty());
    }
}

// The setup program usually starts from Downloads, where anyone may have left
// a cabinet.dll. Neither one beside it nor one in its current folder may be
// loaded: the Compression API comes from System32 only.
TEST(PackageCommands, ACabinetDllBesideTheSetupIsNeverLoaded)
{
    ScratchFolder scratch;
    const std::wstring setup = MakeSetup(scratch, L"setup", ValidResource());
    ScratchFolder current;
    for (const std::wstring& folder : {scratch.path(), current.path()}) {
        ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"\\planted-cabinet.dll").c_str(),
                                (folder + L"\\cabinet.dll").c_str(), FALSE));
    }
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring mark = std::wstring(temp) + L"quro-planted-cabinet-loaded";

    // The mark works: loading the planted DLL on purpose leaves it.
    ::DeleteFileW(mark.c_str());
    const HMODULE planted = ::LoadLibraryW((scratch / L"cabinet.dll").c_str());
    ASSERT_NE(planted, nullptr);
    ::FreeLibrary(planted);
    ASSERT_TRUE(Exists(mark));
    ::DeleteFileW(mark.c_str());

    EXPECT_EQ(RunSetup(setup, L"/verify", current.path()), 0u);
    EXPECT_EQ(RunSetup(setup, L"/extract-to out", current.path()), 0u);
    ExpectSampleFilesIn(current / L"out");
    EXPECT_FALSE(Exists(mark)) << "the setup program loaded the planted cabinet.dll";
    ::DeleteFileW(mark.c_str());
}

TEST(PackageCommands, DefaultSetupVerifies)
{
    ASSERT_TRUE(Exists(g_defaultSetup)) << "no default setup program at " << testing::PrintToString(g_defaultSetup);
    ScratchFolder scratch;
    EXPECT_EQ(RunSetup(g_defaultSetup, L"/verify", scratch.path()), 0u);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const char prefix[] = "--default-setup=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, sizeof prefix - 1) == 0) g_defaultSetup = Widen(argv[i] + sizeof prefix - 1);
    }
    return RUN_ALL_TESTS();
}
