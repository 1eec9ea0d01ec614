// The package commands end to end: setup programs made from the stub with a
// crafted package resource, started as a user would start them, judged by
// their exit code and by what they leave on disk.
#include "tools/driver/driver.h"
#include "tests/windows/support/drive_setup.h"
#include "tests/windows/support/install_support.h"
#include "tests/windows/support/package_builder.h"
#include "tests/windows/support/test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <optional>

using namespace quro;

namespace {

std::wstring g_defaultSetup;

// A copy of the stub carrying resource as its package (RCDATA 101), or none.
std::wstring MakeSetup(const ScratchFolder& folder, const std::wstring& name, const std::optional<Bytes>& resource)
{
    const std::wstring path = folder / (name + L".exe");
    if (resource) {
        MakeSetupWithResource(path, *resource);
    } else {
        EXPECT_TRUE(::CopyFileW((ProgramFolder() + L"\\quro-setup-stub.exe").c_str(), path.c_str(), FALSE));
    }
    return path;
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

struct CommandCase {
    const char* what;
    std::optional<Bytes> resource;
    DWORD verifyExit;
    DWORD extractExit;
};

// What the exit codes tell and what is written; how each kind of damage is
// found is the package tests' (package.unit), in-process.
std::vector<CommandCase> CommandCases()
{
    Bytes wrongByte = ValidResource();
    wrongByte.back() ^= 0x40;
    Bytes badName;
    AppendLe32(badName, 1);
    AppendRecord(badName, "..\\outside.txt", BytesOf("escape"));
    return {
        {"valid", ValidResource(), 0, 0},
        {"no_resource", std::nullopt, 1, 1},
        {"wrong_byte_under_digest", wrongByte, 1, 1},
        {"name_outside_the_folder", Container(badName), 1, 1},
        {"no_files", Container(FileList({})), 1, 0},
    };
}

TEST(PackageCommands, ExitCodesAndFiles)
{
    ScratchFolder scratch;
    for (const CommandCase& c : CommandCases()) {
        SCOPED_TRACE(c.what);
        const std::wstring name = Widen(c.what);
        const std::wstring setup = MakeSetup(scratch, name, c.resource);
        EXPECT_EQ(RunToExit(setup, L"/verify", scratch.path()), c.verifyExit);

        const std::wstring target = scratch / (L"out-" + name + L"\\two levels");
        EXPECT_EQ(RunToExit(setup, L"/extract-to " + Quoted(target), scratch.path()), c.extractExit);
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
    EXPECT_EQ(RunToExit(setup, L"/extract-to " + Quoted(target), scratch.path()), 2u);
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
    EXPECT_EQ(RunToExit(setup, L"/extract-to \"\"", current), 0u);
    ExpectSampleFilesIn(current);

    // Later arguments are ignored.
    const std::wstring target = scratch / L"with extra";
    EXPECT_EQ(RunToExit(setup, L"/extract-to " + Quoted(target) + L" more /verify", scratch.path()), 0u);
    ExpectSampleFilesIn(target);
    EXPECT_FALSE(Exists(scratch / L"more"));
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

    EXPECT_EQ(RunToExit(setup, L"/verify", current.path()), 0u);
    EXPECT_EQ(RunToExit(setup, L"/extract-to out", current.path()), 0u);
    ExpectSampleFilesIn(current / L"out");
    EXPECT_FALSE(Exists(mark)) << "the setup program loaded the planted cabinet.dll";
    ::DeleteFileW(mark.c_str());
}

TEST(PackageCommands, DefaultSetupVerifies)
{
    ASSERT_TRUE(Exists(g_defaultSetup)) << "no default setup program at " << testing::PrintToString(g_defaultSetup);
    ScratchFolder scratch;
    EXPECT_EQ(RunToExit(g_defaultSetup, L"/verify", scratch.path()), 0u);
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
