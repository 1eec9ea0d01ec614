// The install sequence's branches that Wine will not produce by itself: a
// copy of this program carrying a package runs RunInstall with one of the
// folder renames refused (see move_file_seam.cpp), and the test judges the
// exit code, the recorded message boxes and what is left on disk.
#include "install/install_sequence.h"

#include "base/file_tree.h"
#include "base/unique_handles.h"
#include "install/locations.h"
#include "tests/windows/support/drive_setup.h"
#include "tests/windows/support/install_support.h"
#include "tests/windows/support/restart_list.h"
#include "tests/windows/support/ui_seams.h"
#include "delete_seam.h"
#include "move_file_seam.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <algorithm>
#include <cwchar>

using namespace quro;

namespace {

const std::vector<TestFile> kNewFiles = {
    {"DraloHost.exe", BytesOf("new main program")},
    {"Holvenar.exe", BytesOf("new helper")},
    {"data\\settings.ini", BytesOf("version=new")},
};

// A previous installation as an earlier setup would have left it.
const std::vector<TestFile> kOldFiles = {
    {"DraloHost.exe", BytesOf("old main program")},
    {"data\\settings.ini", BytesOf("version=old")},
    {"data\\only-old.txt", BytesOf("gone after an update")},
    {"Quro-Setup.exe", BytesOf("old setup copy")},
};

void PlantOldInstallation()
{
    const std::wstring folder = state::InstallFolder();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\data").c_str(), nullptr);
    for (const TestFile& f : kOldFiles) WriteBytes(folder + L"\\" + Widen(f.name), f.data);
}

struct ChildRun {
    DWORD exitCode = 0;
    std::vector<RecordedBox> boxes;
    std::wstring progress;       // ProgressAtFirstMove of the child
    unsigned long pausedMs = 0;  // RetryPauseTotal of the child
    std::wstring waiting;        // StatusWhileWaiting of the child
};

// Runs RunInstall in a copy of this program that carries kNewFiles.
ChildRun RunInstallWith(const wchar_t* mode)
{
    ScratchFolder scratch;
    const std::wstring exe = scratch / L"seam-setup.exe";
    const std::wstring log = scratch / L"boxes.log";
    // This very program, carrying the package, runs the case as a child.
    MakeSetupWithResource(exe, Container(FileList(kNewFiles)), L"install-seam-tests.exe");

    ChildRun run;
    run.exitCode = RunToExit(exe, std::wstring(L"--child ") + mode + L" \"" + log + L"\"");
    Bytes logged;
    ReadBytes(log, logged);
    const auto* text = reinterpret_cast<const wchar_t*>(logged.data());
    const std::wstring all(text, text + logged.size() / sizeof(wchar_t));
    // Records: kind (P: the progress window, Q, M: boxes), flag, text, each
    // record ended by U+0001.
    for (std::size_t start = 0, end; (end = all.find(L'\x01', start)) != std::wstring::npos; start = end + 1) {
        if (all[start] == L'P')
            run.progress = all.substr(start + 2, end - start - 2);
        else if (all[start] == L'W')
            run.pausedMs = std::wcstoul(all.c_str() + start + 2, nullptr, 10);
        else if (all[start] == L'S')
            run.waiting = all.substr(start + 2, end - start - 2);
        else
            run.boxes.push_back(
                {all.substr(start + 2, end - start - 2), all[start] == L'Q', all[start + 1] == L'1', {}, 0, nullptr});
    }
    return run;
}

class InstallSeam : public ::testing::Test {
protected:
    void SetUp() override { RemoveInstallation(); }
    void TearDown() override { RemoveInstallation(); }
};

// A rename that Windows refuses while something holds a file inside (an
// antivirus scanning the new program) is tried again for about a minute, the
// status line saying so after the first seconds: a refusal that passes ends
// in the new version; one that stays fails as ever, naming the holder where
// Windows tells it, with the previous installation as it was.
TEST_F(InstallSeam, ARefusedSwapIsTriedAgainThenFailsLeavingThePreviousInstallation)
{
    struct Case {
        const wchar_t* mode;
        const wchar_t* reason;  // null: the install goes through
    } cases[] = {
        {L"aside-refused-twice", nullptr},
        {L"into-place-refused-twice", nullptr},
        {L"aside-refused-for-10s", nullptr},
        {L"aside-fails",
         L"the old Quro Host folder is in use (close Quro Host and try again); in use by Contoso Scanner"},
        {L"into-place-fails", L"could not put the new files in place"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.mode)));
        RemoveInstallation();
        PlantOldInstallation();
        const Tree before = ReadTree(state::InstallFolder());
        const ChildRun run = RunInstallWith(c.mode);
        if (!c.reason) {
            EXPECT_EQ(run.exitCode, 0u);
            EXPECT_GT(run.pausedMs, 0u);
            EXPECT_EQ(run.waiting,
                      run.pausedMs >= 5000 ? L"Waiting for another program to let go of Quro Host's files..." : L"");
            EXPECT_EQ(WithoutSetupCopy(ReadTree(state::InstallFolder())), TreeOf(kNewFiles));
            EXPECT_FALSE(PathExists(state::InstallFolder() + L".new"));
            EXPECT_TRUE(state::OldFolders().empty());
            continue;
        }
        // Bounded: about a minute of pauses, not an endless wait.
        EXPECT_GE(run.pausedMs, 55000u);
        EXPECT_LE(run.pausedMs, 65000u);
        EXPECT_EQ(run.exitCode, 4u);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_FALSE(run.boxes[0].question);
        EXPECT_TRUE(run.boxes[0].flag) << "an error box";
        EXPECT_EQ(run.boxes[0].text,
                  std::wstring(L"Quro Host was not installed: ") + c.reason + L"\nNothing was changed.");
        EXPECT_EQ(ReadTree(state::InstallFolder()), before);
        EXPECT_FALSE(PathExists(state::InstallFolder() + L".new"));
        EXPECT_TRUE(state::OldFolders().empty());
        EXPECT_FALSE(
            state::ReadValue(HKEY_LOCAL_MACHINE, state::kUninstallKey, L"DisplayName", KEY_WOW64_64KEY).has_value());
    }
}

TEST_F(InstallSeam, WhenMovingBackFailsTooThePreviousInstallationWaitsUnderTheOldName)
{
    PlantOldInstallation();
    const Tree before = ReadTree(state::InstallFolder());
    const ChildRun run = RunInstallWith(L"into-place-and-back-fail");
    EXPECT_EQ(run.exitCode, 4u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text,
              L"Quro Host was not installed: could not put the new files in place\nNothing was changed.");
    EXPECT_FALSE(PathExists(state::InstallFolder()));
    EXPECT_FALSE(PathExists(state::InstallFolder() + L".new"));
    const std::vector<std::wstring> old = state::OldFolders();
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(ReadTree(old[0]), before);
}

TEST_F(InstallSeam, AnOldFolderStillInUseGoesAtTheNextRestartWithoutAWord)
{
    const PendingDeletionsGuard guard;
    PlantOldInstallation();
    const ChildRun run = RunInstallWith(L"hold-after-aside");
    const std::vector<std::wstring> pending = PendingDeletions();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u) << "only the final question";
    EXPECT_TRUE(run.boxes[0].question);
    EXPECT_EQ(run.boxes[0].text,
              L"Quro Host 0J.76 is installed. Your devices and password are kept.\nYou can delete the old unzipped "
              L"Quro folder.\n\nOpen Quro Host now?");
    EXPECT_EQ(WithoutSetupCopy(ReadTree(state::InstallFolder())), TreeOf(kNewFiles));

    // The held file and then the old folder itself end the list.
    const std::vector<std::wstring> old = state::OldFolders();
    ASSERT_EQ(old.size(), 1u);
    ASSERT_GE(pending.size(), 2u);
    EXPECT_EQ(pending[pending.size() - 1], old[0]);
    EXPECT_EQ(pending[pending.size() - 2], old[0] + L"\\DraloHost.exe");
}

TEST_F(InstallSeam, FoldersLeftByAnInterruptedRunAreCleared)
{
    // Cut off between the two renames: no install folder, the previous one
    // under an old name; and a half-written staging folder.
    PlantOldInstallation();
    ASSERT_TRUE(::MoveFileExW(state::InstallFolder().c_str(), (state::InstallFolder() + L".old-12345").c_str(), 0));
    ::CreateDirectoryW((state::InstallFolder() + L".new").c_str(), nullptr);
    WriteBytes(state::InstallFolder() + L".new\\stray.txt", BytesOf("half"));
    const ChildRun run = RunInstallWith(L"pass-through");
    EXPECT_EQ(run.exitCode, 0u);
    // Every file written, the status line as the install sets it.
    EXPECT_EQ(run.progress, L"Quro Host Setup|Installing Quro Host 0J.76...|3|3");
    EXPECT_EQ(WithoutSetupCopy(ReadTree(state::InstallFolder())), TreeOf(kNewFiles));
    EXPECT_FALSE(PathExists(state::InstallFolder() + L".new"));
    EXPECT_TRUE(state::OldFolders().empty());
}

// Deleting a tree as Windows answers: the POSIX way where it is taken, the
// classic way where it is refused (as Wine refuses it), an entry someone
// else is deleting counted as gone, a folder not empty for a moment waited
// for, and one that stays not empty, or a read-only file with a second name
// elsewhere, left in place. A folder with a reparse tag that is no link (a
// cloud-file placeholder) is emptied, one with a link's tag never entered;
// ids are compared whole where Windows lists 128-bit ones, and the opens ask
// not to be reparsed, without where Windows refuses that.
TEST(RemoveTreeSeam, FollowsWindowsAnswers)
{
    constexpr auto kPosix = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    constexpr DWORD kCloudTag = 0x9000101A;    // IO_REPARSE_TAG_CLOUD_1
    constexpr DWORD kSymlinkTag = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK
    struct Case {
        const char* what;
        DeleteAnswers answers;
        bool secondName;  // a read-only file of the tree has a hard link outside it
        bool removed;
    } cases[] = {
        // clang-format off
        // what: POSIX, pending name, not empty, reparse name and tag, 128-bit listing, other id, no FILE_ID_INFO, no OBJ_DONT_REPARSE
        {"POSIX accepted", {true, L"", 0, L"", 0, false, L"", false, false}, false, true},
        {"POSIX refused with 87, classic deletion", {false, L"", 0, L"", 0, false, L"", false, false}, false, true},
        {"an entry already being deleted", {false, L"pending.txt", 0, L"", 0, false, L"", false, false}, false, true},
        {"a folder not empty, then empty", {false, L"", 2, L"", 0, false, L"", false, false}, false, true},
        {"a folder that stays not empty", {false, L"", -1, L"", 0, false, L"", false, false}, false, false},
        {"a read-only file with a second name", {false, L"", 0, L"", 0, false, L"", false, false}, true, false},
        {"a cloud placeholder folder", {false, L"", 0, L"sub", kCloudTag, false, L"", false, false}, false, true},
        {"a folder with a link's tag", {false, L"", 0, L"deeper", kSymlinkTag, false, L"", false, false}, false, false},
        {"128-bit ids listed", {false, L"", 0, L"", 0, true, L"", false, false}, false, true},
        {"an id that differs in its upper half", {false, L"", 0, L"", 0, true, L"ro.txt", false, false}, false, false},
        {"FILE_ID_INFO refused", {false, L"", 0, L"", 0, false, L"", true, false}, false, true},
        {"OBJ_DONT_REPARSE refused", {false, L"", 0, L"", 0, false, L"", false, true}, false, true},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        const std::wstring tree = scratch / L"tree";
        for (const wchar_t* folder : {L"", L"\\sub", L"\\sub\\deeper"})
            ::CreateDirectoryW((tree + folder).c_str(), nullptr);
        for (const wchar_t* file : {L"\\a.txt", L"\\sub\\pending.txt", L"\\sub\\deeper\\ro.txt"})
            WriteBytes(tree + file, BytesOf("x"));
        const std::wstring readOnly = tree + L"\\sub\\deeper\\ro.txt";
        ::SetFileAttributesW(readOnly.c_str(), c.secondName ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        const std::wstring elsewhere = scratch / L"elsewhere.txt";
        if (c.secondName) {
            ASSERT_TRUE(::CreateHardLinkW(elsewhere.c_str(), readOnly.c_str(), nullptr));
        }

        SetDeleteAnswers(c.answers);
        const bool removed = RemoveTree(tree);
        const std::vector<FILE_INFO_BY_HANDLE_CLASS> calls = DeleteCalls();
        EXPECT_TRUE(EveryOpenRefusedReparse());
        SetDeleteAnswers({});
        EXPECT_EQ(removed, c.removed);
        EXPECT_EQ(PathExists(tree), !c.removed);
        if (c.answers.reparseTag == kSymlinkTag) {
            EXPECT_TRUE(PathExists(tree + L"\\sub\\deeper\\ro.txt")) << "a link was entered";
        }
        const bool classic = std::find(calls.begin(), calls.end(), FileDispositionInfo) != calls.end();
        EXPECT_EQ(classic, !c.answers.posixAccepted) << "the classic way only where the POSIX way is refused";
        EXPECT_NE(std::find(calls.begin(), calls.end(), kPosix), calls.end());
        if (c.secondName) {
            EXPECT_TRUE(::GetFileAttributesW(elsewhere.c_str()) & FILE_ATTRIBUTE_READONLY)
                << "the attribute of the file's other name was cleared";
            ::SetFileAttributesW(elsewhere.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}

}  // namespace

namespace {

int RunChild(const std::wstring& mode, const std::wstring& log)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const struct {
        const wchar_t* name;
        MoveMode mode;
    } modes[] = {{L"aside-fails", MoveMode::AsideFails},
                 {L"into-place-fails", MoveMode::IntoPlaceFails},
                 {L"into-place-and-back-fail", MoveMode::IntoPlaceAndBackFail},
                 {L"hold-after-aside", MoveMode::HoldAfterAside},
                 {L"aside-refused-twice", MoveMode::AsideRefusedTwice},
                 {L"into-place-refused-twice", MoveMode::IntoPlaceRefusedTwice},
                 {L"aside-refused-for-10s", MoveMode::AsideRefusedFor10s},
                 {L"pass-through", MoveMode::PassThrough}};
    for (const auto& m : modes) {
        if (mode == m.name) SetMoveMode(m.mode);
    }
    const int code = RunInstall();
    std::wstring records = L"P0" + ProgressAtFirstMove() + L'\x01' + L"W0" + std::to_wstring(RetryPauseTotal()) +
                           L'\x01' + L"S0" + StatusWhileWaiting() + L'\x01';
    for (const RecordedBox& box : RecordedBoxes()) {
        records += box.question ? L'Q' : L'M';
        records += box.flag ? L'1' : L'0';
        records += box.text + L'\x01';
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(records.data());
    WriteBytes(log, Bytes(bytes, bytes + records.size() * sizeof(wchar_t)));
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wcscmp(argv[1], L"--child") == 0) return RunChild(argv[2], argv[3]);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
