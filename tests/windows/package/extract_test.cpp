#include "package/extract.h"

#include "base/unique_handles.h"
#include "tests/windows/support/test_files.h"
#include "write_file_seam.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace quro;

namespace {

struct OwnedFile {
    std::wstring name;
    Bytes data;
};

// Entries are views: the test owns the bytes they point into.
PackageEntries Entries(const std::vector<OwnedFile>& files)
{
    PackageEntries entries;
    for (const OwnedFile& f : files) entries.push_back(PackageEntry{f.name, f.data.data(), f.data.size()});
    return entries;
}

struct Outcome {
    bool ok = false;
    std::wstring failure;
    std::vector<std::int32_t> progress;
};

Outcome Extract(const std::wstring& folder, const PackageEntries& entries)
{
    Outcome run;
    run.failure = ExtractToFolder(folder, entries, [&run](std::int32_t n) { run.progress.push_back(n); });
    run.ok = run.failure.empty();
    return run;
}

Bytes Contents(const std::wstring& path)
{
    Bytes bytes;
    EXPECT_TRUE(ReadBytes(path, bytes)) << "cannot read " << testing::PrintToString(path);
    return bytes;
}

class ExtractToFolderTest : public testing::Test {
protected:
    void SetUp() override { write_seam::Reset(); }
    void TearDown() override { write_seam::Reset(); }
    ScratchFolder scratch;
};

TEST_F(ExtractToFolderTest, EmptyListCreatesNothing)
{
    const std::wstring target = scratch / L"never";
    const Outcome run = Extract(target, {});
    EXPECT_TRUE(run.ok);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_FALSE(Exists(target));
}

TEST_F(ExtractToFolderTest, MissingTargetSeveralLevelsDeep)
{
    const std::vector<OwnedFile> files = {
        {L"top.txt", BytesOf("top")}, {L"sub\\mid.txt", BytesOf("mid")}, {L"sub/deeper//leaf.bin", Bytes(300, 7)}};
    const std::wstring target = scratch / L"a\\b\\c";
    const Outcome run = Extract(target, Entries(files));
    ASSERT_TRUE(run.ok) << testing::PrintToString(run.failure);
    EXPECT_EQ(run.progress, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(Contents(target + L"\\top.txt"), files[0].data);
    EXPECT_EQ(Contents(target + L"\\sub\\mid.txt"), files[1].data);
    EXPECT_EQ(Contents(target + L"\\sub\\deeper\\leaf.bin"), files[2].data);
}

TEST_F(ExtractToFolderTest, TargetFolderForms)
{
    const std::vector<OwnedFile> files = {{L"f.txt", BytesOf("x")}, {L"d/g.txt", BytesOf("yz")}};
    for (const wchar_t* suffix : {L"\\", L"/"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(suffix)));
        const std::wstring base = scratch / (std::wstring(L"trail") + (suffix[0] == L'/' ? L"1" : L"2"));
        ASSERT_TRUE(Extract(base + suffix, Entries(files)).ok);
        EXPECT_EQ(Contents(base + L"\\f.txt"), files[0].data);
        EXPECT_EQ(Contents(base + L"\\d\\g.txt"), files[1].data);
    }

    // An empty folder and a bare drive both mean the current folder (of that
    // drive): "D:" + name, never the drive's root.
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    const std::wstring current = scratch / L"current";
    ASSERT_TRUE(::CreateDirectoryW(current.c_str(), nullptr));
    ASSERT_TRUE(::SetCurrentDirectoryW(current.c_str()));
    const Outcome relative = Extract(L"", Entries({{L"rel/r.txt", BytesOf("r")}}));
    const std::wstring drive = current.substr(0, 2);
    const std::wstring rootName = L"quro-drive-relative-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    const Outcome onDrive = Extract(drive, Entries({{rootName, BytesOf("d")}}));
    ::SetCurrentDirectoryW(previous);
    const bool leakedToRoot = Exists(drive + L"\\" + rootName);
    ::DeleteFileW((drive + L"\\" + rootName).c_str());

    ASSERT_TRUE(relative.ok);
    EXPECT_EQ(Contents(current + L"\\rel\\r.txt"), BytesOf("r"));
    ASSERT_TRUE(onDrive.ok);
    EXPECT_FALSE(leakedToRoot);
    EXPECT_EQ(Contents(current + L"\\" + rootName), BytesOf("d"));
}

TEST_F(ExtractToFolderTest, ChunksOfAtMost16MiB)
{
    constexpr DWORD k16MiB = 16777216;
    struct Case {
        std::size_t size;
        std::vector<DWORD> chunks;
    } const cases[] = {
        {0, {}},
        {1, {1}},
        {k16MiB, {k16MiB}},
        {k16MiB + 1, {k16MiB, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Bytes data(c.size);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 131 + (i >> 16));
        write_seam::chunks.clear();
        const std::wstring target = scratch / (L"chunks" + std::to_wstring(c.size));
        ASSERT_TRUE(Extract(target, Entries({{L"big.bin", data}})).ok);
        EXPECT_EQ(write_seam::chunks, c.chunks);
        EXPECT_TRUE(Contents(target + L"\\big.bin") == data);
    }
}

TEST_F(ExtractToFolderTest, ExistingFilesAreReplacedOthersKept)
{
    WriteBytes(scratch / L"empty.txt", BytesOf("old contents"));
    WriteBytes(scratch / L"keep.txt", BytesOf("kept"));
    const std::vector<OwnedFile> files = {
        {L"empty.txt", {}}, {L"twice.txt", BytesOf("first, and longer")}, {L"twice.txt", BytesOf("second")}};
    const Outcome run = Extract(scratch.path(), Entries(files));
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.progress, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(Contents(scratch / L"empty.txt"), Bytes{});
    EXPECT_EQ(Contents(scratch / L"twice.txt"), BytesOf("second"));
    EXPECT_EQ(Contents(scratch / L"keep.txt"), BytesOf("kept"));
}

TEST_F(ExtractToFolderTest, FailureOnTheThirdOfFive)
{
    const std::vector<OwnedFile> files = {{L"one.txt", BytesOf("1")},
                                          {L"d/two.txt", BytesOf("22")},
                                          {L"d/three.txt", BytesOf("333")},
                                          {L"four.txt", BytesOf("4444")},
                                          {L"d/five.txt", BytesOf("55555")}};
    // A folder where the third file should go: CreateFileW cannot replace it.
    ASSERT_TRUE(::CreateDirectoryW((scratch / L"d").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((scratch / L"d\\three.txt").c_str(), nullptr));
    const Outcome run = Extract(scratch.path(), Entries(files));
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.failure, L"could not write d/three.txt");
    EXPECT_EQ(run.progress, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(Contents(scratch / L"one.txt"), files[0].data);
    EXPECT_EQ(Contents(scratch / L"d\\two.txt"), files[1].data);
    EXPECT_FALSE(Exists(scratch / L"four.txt"));
    EXPECT_FALSE(Exists(scratch / L"d\\five.txt"));
}

TEST(ExtractToFolder, FilesThatCannotBeCreated)
{
    const std::wstring name = L"sub\\blocked.dll";
    struct Case {
        const char* what;
        void (*prepare)(const ScratchFolder& target);
    } const cases[] = {
        {"folder_of_that_name",
         [](const ScratchFolder& t) {
             ::CreateDirectoryW((t / L"sub").c_str(), nullptr);
             ::CreateDirectoryW((t / L"sub\\blocked.dll").c_str(), nullptr);
         }},
        // The name's folder cannot be made: a file holds its name.
        {"file_where_its_folder_goes", [](const ScratchFolder& t) { WriteBytes(t / L"sub", BytesOf("a file")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder target;
        c.prepare(target);
        const Outcome run = Extract(target.path(), Entries({{name, BytesOf("new")}}));
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.failure, L"could not write " + name);
        EXPECT_TRUE(run.progress.empty());
    }
}

// A NUL would end the path early and write a file of a shorter name.
TEST_F(ExtractToFolderTest, NameWithNulIsRefusedNotShortened)
{
    using namespace std::string_literals;
    const std::wstring name = L"dir/a\0b.txt"s;
    const Outcome run = Extract(scratch.path(), Entries({{L"first.txt", BytesOf("1")}, {name, BytesOf("x")}}));
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.failure, L"could not write " + name);
    EXPECT_EQ(run.progress, (std::vector<std::int32_t>{1}));
    EXPECT_FALSE(Exists(scratch / L"dir\\a"));
}

TEST_F(ExtractToFolderTest, FileHeldOpenWithoutSharing)
{
    WriteBytes(scratch / L"busy.exe", BytesOf("running"));
    UniqueFileHandle holder(::CreateFileW((scratch / L"busy.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    const Outcome run = Extract(scratch.path(), Entries({{L"ok.txt", BytesOf("ok")}, {L"busy.exe", BytesOf("new")}}));
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.failure, L"could not write busy.exe");
    EXPECT_EQ(run.progress, (std::vector<std::int32_t>{1}));
}

TEST_F(ExtractToFolderTest, ShortOrFailedWriteStopsAtThatFile)
{
    for (write_seam::Mode mode : {write_seam::Mode::Short, write_seam::Mode::Fail}) {
        SCOPED_TRACE(static_cast<int>(mode));
        ScratchFolder own;
        // The first file has no bytes, so it makes no write and succeeds.
        const std::vector<OwnedFile> files = {
            {L"zero.txt", {}}, {L"cut.bin", Bytes(1000, 0x33)}, {L"after.txt", BytesOf("after")}};
        write_seam::mode = mode;
        write_seam::chunks.clear();
        const Outcome run = Extract(own.path(), Entries(files));
        write_seam::mode = write_seam::Mode::Pass;
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.failure, L"could not write cut.bin");
        EXPECT_EQ(run.progress, (std::vector<std::int32_t>{1}));
        EXPECT_EQ(write_seam::chunks, (std::vector<DWORD>{1000}));
        EXPECT_FALSE(Exists(own / L"after.txt"));
        // The partial file stays, and it is closed: it can be opened again.
        EXPECT_TRUE(Exists(own / L"cut.bin"));
        UniqueFileHandle reopened(::CreateFileW((own / L"cut.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(reopened);
    }
}

TEST_F(ExtractToFolderTest, EmptyCallbackIsNeverCalled)
{
    const Bytes data = BytesOf("x");
    EXPECT_EQ(ExtractToFolder(scratch.path(), Entries({{L"x", data}}), ProgressCallback{}), L"");
}

}  // namespace
