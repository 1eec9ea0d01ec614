// Removal end to end: a real installation by the real setup program, then
// the registered uninstall command, answered through the real message boxes.
#include "ui/texts.h"
#include "tools/driver/driver.h"
#include "tests/windows/support/drive_setup.h"
#include "tests/windows/support/install_support.h"
#include "tests/windows/support/restart_list.h"
#include "tests/windows/support/system_state.h"
#include "tests/windows/support/test_files.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace quro;

namespace {

std::wstring g_setup;      // the setup program with the sample application
std::wstring g_outside;    // set by the host script that plants data-folder links
std::wstring g_probeLink;  // a planted link to a non-empty folder, free to delete
std::wstring g_restart;    // the command line that performs a restart's registered deletions

std::vector<std::wstring> Texts(bool arabic, std::initializer_list<TextPair> pairs)
{
    std::vector<std::wstring> texts;
    for (const TextPair& pair : pairs) texts.emplace_back(arabic ? pair.arabic : pair.english);
    return texts;
}

// ---- the installed state -------------------------------------------------

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// An installation by the real setup program, the final question answered No.
void InstallForReal()
{
    const SetupRun run = DriveSetup({g_setup, L"/install en", {IDNO}});
    ASSERT_EQ(run.boxes.size(), 1u);
    ASSERT_NE(run.boxes[0].text.find(L"is installed"), std::wstring::npos) << "unexpected box during the install";
    ASSERT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(Exists(state::InstallFolder() + L"\\DraloHost.exe"));
}

// What an installation leaves, taken after the suite's first real one and
// put back for every later case that only needs one to be there: removal is
// what these cases are about, and a real install costs seconds each time.
struct Installation {
    bool taken = false;
    Tree files;
    std::vector<std::pair<const wchar_t*, state::RegValue>> entry;
    Bytes startMenuLink, desktopLink;
} g_installation;

void Install()
{
    Installation& saved = g_installation;
    if (!saved.taken) {
        ASSERT_NO_FATAL_FAILURE(InstallForReal());
        saved.files = ReadTree(state::InstallFolder());
        for (const wchar_t* name : state::kUninstallValues) {
            const auto value = state::ReadValue(HKEY_LOCAL_MACHINE, state::kUninstallKey, name, KEY_WOW64_64KEY);
            ASSERT_TRUE(value.has_value());
            saved.entry.emplace_back(name, *value);
        }
        ASSERT_TRUE(ReadBytes(state::StartMenuShortcut(), saved.startMenuLink));
        ASSERT_TRUE(ReadBytes(state::DesktopShortcut(), saved.desktopLink));
        saved.taken = true;
        return;
    }
    ::CreateDirectoryW(state::InstallFolder().c_str(), nullptr);
    for (const auto& [path, bytes] : saved.files) {
        const std::wstring full = state::InstallFolder() + L"\\" + path;
        if (path.back() == L'\\') {
            ::CreateDirectoryW(full.c_str(), nullptr);
        } else {
            ASSERT_TRUE(WriteBytes(full, bytes));
        }
    }
    for (const auto& [name, value] : saved.entry) {
        ASSERT_TRUE(state::WriteValue(HKEY_LOCAL_MACHINE, state::kUninstallKey, name, value, KEY_WOW64_64KEY));
    }
    ASSERT_TRUE(WriteBytes(state::StartMenuShortcut(), saved.startMenuLink));
    ASSERT_TRUE(WriteBytes(state::DesktopShortcut(), saved.desktopLink));
}

std::vector<std::wstring> TemporaryFolders() { return List(state::ProgramFiles(), L"Quro-Remove-*"); }

bool AllDigits(const std::wstring& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

std::wstring ToUpper(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// Puts back everything a test may touch, so each test leaves the prefix as it found it.
class RemovalTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedPending_ = SavePendingDeletions();
        savedRun_ = state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
        savedLanguage_ = ReadFileText(state::LanguageFile());
        temporaryBefore_ = TemporaryFolders();
        dataBefore_.clear();  // cases that loop run SetUp again
        for (const std::wstring& folder : state::DataFolders()) dataBefore_.push_back(Exists(folder));
        ASSERT_FALSE(Exists(state::InstallFolder())) << "a previous run left an installation behind";
        ClearPendingDeletions();
        DeleteTree(state::CleanupRecord());
    }

    void TearDown() override
    {
        driver::EndProcessesByImageName(L"DraloHost.exe");
        driver::EndProcessesByImageName(L"Holvenar.exe");
        heldOpen_.reset();
        DeleteTree(state::InstallFolder());
        for (const std::wstring& name : TemporaryFolders()) {
            if (std::find(temporaryBefore_.begin(), temporaryBefore_.end(), name) == temporaryBefore_.end()) {
                DeleteTree(state::ProgramFiles() + L"\\" + name);
            }
        }
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY, 0);
        ::DeleteFileW(state::StartMenuShortcut().c_str());
        ::DeleteFileW(state::DesktopShortcut().c_str());
        state::RestoreValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue, savedRun_);
        const std::vector<std::wstring> data = state::DataFolders();
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (!dataBefore_[i]) DeleteTree(data[i]);
        }
        if (savedLanguage_) {
            ::CreateDirectoryW(FolderOf(state::LanguageFile()).c_str(), nullptr);
            WriteFileText(state::LanguageFile(), *savedLanguage_);
        } else {
            ::DeleteFileW(state::LanguageFile().c_str());
        }
        DeleteTree(FolderOf(state::CleanupRecord()));
        RestorePendingDeletions(savedPending_);
    }

    void SetLanguage(const char* code)
    {
        ::CreateDirectoryW(FolderOf(state::LanguageFile()).c_str(), nullptr);
        ASSERT_TRUE(WriteFileText(state::LanguageFile(), code));
    }

    // A file in each data folder that the sample's own clean-up leaves alone.
    void MakeDataFolders()
    {
        for (const std::wstring& folder : state::DataFolders()) {
            ::CreateDirectoryW(folder.c_str(), nullptr);
            ASSERT_TRUE(WriteFileText(folder + L"\\kept.txt", "user data"));
        }
    }

    void SetAutostart(const std::wstring& data)
    {
        ASSERT_TRUE(state::WriteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue, state::StringValue(data)));
    }

    bool AutostartPresent() const
    {
        return state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue).has_value();
    }

    // The registered uninstall command started as the list of installed
    // programs starts it, its boxes answered with buttons, followed into the
    // temporary copy it hands over to.
    SetupRun RemoveThroughRegisteredCommand(const std::vector<int>& buttons)
    {
        const std::optional<std::wstring> command =
            state::ReadString(HKEY_LOCAL_MACHINE, state::kUninstallKey, L"UninstallString", KEY_WOW64_64KEY);
        EXPECT_TRUE(command.has_value());
        return DriveSetup({L"", command.value_or(L"none.exe"), buttons, L"", true});
    }

    // The one temporary folder the run made, or nothing.
    std::wstring TemporaryFolder() const
    {
        const std::vector<std::wstring> made = NewTemporaryFolders();
        EXPECT_EQ(made.size(), 1u);
        return made.size() == 1 ? made[0] : L"";
    }

    std::vector<std::wstring> NewTemporaryFolders() const
    {
        std::vector<std::wstring> made;
        for (const std::wstring& name : TemporaryFolders()) {
            if (std::find(temporaryBefore_.begin(), temporaryBefore_.end(), name) == temporaryBefore_.end()) {
                made.push_back(state::ProgramFiles() + L"\\" + name);
            }
        }
        return made;
    }

    void ExpectInstallationIntact()
    {
        EXPECT_TRUE(Exists(state::InstallFolder() + L"\\DraloHost.exe"));
        EXPECT_TRUE(Exists(state::InstallFolder() + L"\\Quro-Setup.exe"));
        EXPECT_TRUE(state::KeyExists(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY));
        EXPECT_TRUE(Exists(state::StartMenuShortcut()));
        EXPECT_TRUE(Exists(state::DesktopShortcut()));
        EXPECT_FALSE(Exists(state::CleanupRecord())) << "the clean-up call ran";
        EXPECT_TRUE(PendingDeletions().empty());
    }

    void ExpectInstallationGone()
    {
        EXPECT_FALSE(Exists(state::InstallFolder()));
        EXPECT_FALSE(state::KeyExists(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY));
        EXPECT_FALSE(Exists(state::StartMenuShortcut()));
        EXPECT_FALSE(Exists(state::DesktopShortcut()));
    }

    void ExpectCleanupCallFromInstallFolder()
    {
        const std::optional<std::string> record = ReadFileText(state::CleanupRecord());
        ASSERT_TRUE(record.has_value()) << "no clean-up call";
        std::wstring expected = L"exe=" + state::InstallFolder() + L"\\DraloHost.exe|cwd=" + state::InstallFolder() +
                                L"|hidden=1|console=0\r\n";
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, record->data(), static_cast<int>(record->size()), nullptr, 0);
        std::wstring text(static_cast<std::size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, record->data(), static_cast<int>(record->size()), text.data(), n);
        EXPECT_EQ(text, expected);
    }

    void ExpectDataFolders(bool present)
    {
        for (const std::wstring& folder : state::DataFolders()) {
            EXPECT_EQ(Exists(folder + L"\\kept.txt"), present) << testing::PrintToString(folder);
            EXPECT_EQ(Exists(folder), present) << testing::PrintToString(folder);
        }
        EXPECT_EQ(Exists(state::LanguageFile()), present);
    }

    // Folders named like temporary ones that the test itself made.
    void TakeTemporaryFoldersAsFound() { temporaryBefore_ = TemporaryFolders(); }

    UniqueFileHandle heldOpen_;

private:
    PendingSnapshot savedPending_;
    std::optional<state::RegValue> savedRun_;
    std::optional<std::string> savedLanguage_;
    std::vector<std::wstring> temporaryBefore_;
    std::vector<bool> dataBefore_;
};

// The registered command hands over to a temporary copy and ends; declining
// the first question there changes nothing and asks nothing more.
TEST_F(RemovalTest, UninstallCommandRunsATemporaryCopyAndNoChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
    ASSERT_NO_FATAL_FAILURE(MakeDataFolders());

    const SetupRun run = RemoveThroughRegisteredCommand({IDNO});
    // The command itself ends as soon as the copy runs, and shows nothing.
    EXPECT_EQ(run.handedOverExitCode, 0u) << "the registered command waited for the copy, failed or asked itself";
    EXPECT_EQ(run.Texts(), Texts(false, {RemoveQuestion}));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].defaultButton, IDYES);
    EXPECT_EQ(run.exitCode, 1u);

    const std::wstring made = TemporaryFolder();
    const std::wstring name = made.substr(made.find_last_of(L'\\') + 1);
    EXPECT_TRUE(AllDigits(name.substr(std::wstring(L"Quro-Remove-").size()))) << testing::PrintToString(name);
    EXPECT_EQ(List(made), std::vector<std::wstring>{L"Quro-Setup.exe"});
    ExpectInstallationIntact();
    ExpectDataFolders(true);
}

// The questions come in the language picked in the chooser of an interactive
// install, which the setup program keeps in the language file for later.
TEST_F(RemovalTest, QuestionsFollowTheLanguageChosenAtInstallation)
{
    for (const bool arabic : {true, false}) {
        SCOPED_TRACE(arabic ? "Arabic" : "English");
        ::DeleteFileW(state::LanguageFile().c_str());
        // Every Wine process has administrator rights, so the interactive
        // start installs right after the chooser (buttons 100 and 101).
        const SetupRun installed = DriveSetup({g_setup, L"", {arabic ? 101 : 100, IDNO}});
        ASSERT_EQ(installed.exitCode, 0u);
        EXPECT_EQ(ReadFileText(state::LanguageFile()), std::optional<std::string>(arabic ? "Ar" : "En"));

        // Wine's message box ignores MB_RIGHT and MB_RTLREADING, so the
        // right-to-left styles are checked where the box is asked for (ui.unit).
        const SetupRun removal = RemoveThroughRegisteredCommand({IDYES, IDNO, IDOK});
        EXPECT_EQ(removal.Texts(), Texts(arabic, {RemoveQuestion, RemoveDataQuestion, Removed}));
        for (const driver::WindowInfo& box : removal.boxes) {
            EXPECT_EQ(box.caption, arabic ? SetupCaption.arabic : SetupCaption.english);
        }
        EXPECT_EQ(removal.exitCode, 0u);
        ExpectInstallationGone();

        TearDown();
        SetUp();
    }
}

TEST_F(RemovalTest, RunningApplicationNotClosedChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_NO_FATAL_FAILURE(MakeDataFolders());
    ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
    const driver::Started hosted = driver::StartProgram(state::InstallFolder() + L"\\DraloHost.exe", L"");
    ASSERT_TRUE(driver::WaitForWindow(L"DraloHost (sample)", 20000, hosted.processId));

    const SetupRun run = RemoveThroughRegisteredCommand({IDYES, IDYES, IDNO});
    EXPECT_EQ(run.Texts(), Texts(false, {RemoveQuestion, RemoveDataQuestion, OpenForRemoval}));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(::WaitForSingleObject(hosted.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the application was ended";
    ExpectInstallationIntact();
    ExpectDataFolders(true);
}

// Yes and then either answer about the data: everything of the installation
// goes, the data only on request, and the temporary copy is left for restart.
TEST_F(RemovalTest, YesRemovesTheInstallationAndTheDataOnlyOnRequest)
{
    // Enter answers the data question with its default button, No.
    for (const bool removeData : {false, true}) {
        SCOPED_TRACE(removeData ? "data removed" : "data kept");
        ASSERT_NO_FATAL_FAILURE(Install());
        ASSERT_NO_FATAL_FAILURE(MakeDataFolders());
        ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
        // Installation points an existing value at the installed program;
        // the user may have added arguments since.
        ASSERT_NO_FATAL_FAILURE(SetAutostart(L"\"" + state::InstallFolder() + L"\\DraloHost.exe\" --minimized"));
        ClearPendingDeletions();

        const SetupRun run = RemoveThroughRegisteredCommand({IDYES, removeData ? IDYES : kEnter, IDOK});
        EXPECT_EQ(run.Texts(), Texts(false, {RemoveQuestion, RemoveDataQuestion, Removed}));
        ASSERT_EQ(run.boxes.size(), 3u);
        EXPECT_EQ(run.boxes[1].defaultButton, IDNO);
        EXPECT_EQ(run.exitCode, 0u);

        ExpectInstallationGone();
        ExpectCleanupCallFromInstallFolder();
        EXPECT_FALSE(AutostartPresent());
        ExpectDataFolders(!removeData);
        const std::wstring temporary = TemporaryFolder();
        EXPECT_EQ(PendingDeletions(), (std::vector<std::wstring>{temporary + L"\\Quro-Setup.exe", temporary}));

        TearDown();
        SetUp();
    }
}

// A file held open stops the deletion; what is left is registered for
// restart, each folder after its contents and the install folder last.
TEST_F(RemovalTest, FileInUseLeavesTheRestForRestart)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
    ClearPendingDeletions();
    const std::wstring held = state::InstallFolder() + L"\\data\\licenses\\notice.txt";
    heldOpen_.reset(
        ::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(heldOpen_);

    const SetupRun run = RemoveThroughRegisteredCommand({IDYES, IDNO, IDOK});
    EXPECT_EQ(run.Texts(), Texts(false, {RemoveQuestion, RemoveDataQuestion, RemovedWithRestart}));
    EXPECT_EQ(run.exitCode, 0u);
    const std::wstring temporary = TemporaryFolder();

    const std::wstring folder = state::InstallFolder();
    const std::vector<std::wstring> left = Walk(folder);
    ASSERT_FALSE(left.empty());
    const std::vector<std::wstring> pending = PendingDeletions();
    // The exact order inside the folder is the walk's; what matters is that
    // everything left is there, folders after their contents, the folder last.
    ASSERT_EQ(pending.size(), left.size() + 3);
    std::vector<std::wstring> inside(pending.begin(), pending.begin() + static_cast<long>(left.size()));
    std::vector<std::wstring> sortedLeft = left;
    std::sort(inside.begin(), inside.end());
    std::sort(sortedLeft.begin(), sortedLeft.end());
    EXPECT_EQ(inside, sortedLeft);
    for (std::size_t i = 0; i < left.size(); ++i) {
        for (std::size_t j = i + 1; j < left.size(); ++j) {
            const std::wstring& later = pending[j];
            EXPECT_NE(later.rfind(pending[i] + L"\\", 0), 0u)
                << "folder before its contents: " << testing::PrintToString(pending[i]);
        }
    }
    EXPECT_EQ(pending[left.size()], folder);
    EXPECT_EQ(pending[left.size() + 1], temporary + L"\\Quro-Setup.exe");
    EXPECT_EQ(pending[left.size() + 2], temporary);
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(state::KeyExists(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY));
}

// Held with delete sharing, as an antivirus or the indexer holds a file: it
// goes at once where Windows deletes the POSIX way (Windows 10 1809 and later
// on NTFS); elsewhere, Wine included, it stays pending while held, its folder
// "not empty", and the removal ends as for a file in use.
TEST_F(RemovalTest, FileHeldWithDeleteSharingGoesWhereWindowsDeletesThePosixWay)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
    heldOpen_.reset(::CreateFileW((state::InstallFolder() + L"\\data\\licenses\\notice.txt").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(heldOpen_);
    const SetupRun run = RemoveThroughRegisteredCommand({IDYES, IDNO, IDOK});
    // The platform's own answer to a POSIX deletion.
    ScratchFolder scratch;
    ASSERT_TRUE(WriteFileText(scratch / L"probe.txt", "x"));
    const UniqueFileHandle probe(
        ::CreateFileW((scratch / L"probe.txt").c_str(), DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const DWORD posixDelete = 0x1 | 0x2;  // FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS
    const bool posix = probe && ::SetFileInformationByHandle(probe.get(), static_cast<FILE_INFO_BY_HANDLE_CLASS>(21),
                                                             const_cast<DWORD*>(&posixDelete), sizeof posixDelete);
    ASSERT_EQ(run.boxes.size(), 3u);
    EXPECT_EQ(run.boxes[2].text, (posix ? Removed : RemovedWithRestart).english);
    EXPECT_EQ(Exists(state::InstallFolder()), !posix);
}

// A removal that found a file in use left the install folder to the next
// restart; installing again before that restart must take those
// registrations back, or the restart deletes the new installation. Whatever
// else the list holds stays as it was.
TEST_F(RemovalTest, ReinstallSurvivesTheRestartThatAnEarlierRemovalAskedFor)
{
    ASSERT_FALSE(g_restart.empty()) << "needs --restart-command";
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
    const std::wstring folder = state::InstallFolder();
    heldOpen_.reset(::CreateFileW((folder + L"\\data\\licenses\\notice.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(heldOpen_);
    const SetupRun run = RemoveThroughRegisteredCommand({IDYES, IDNO, IDOK});
    ASSERT_EQ(run.Texts(), Texts(false, {RemoveQuestion, RemoveDataQuestion, RemovedWithRestart}));
    heldOpen_.reset();

    // Another program's deletion and rename, registered after the removal's.
    const std::wstring scratch = state::ProgramData() + L"\\quro-restart-test";
    ::CreateDirectoryW(scratch.c_str(), nullptr);
    ASSERT_TRUE(WriteFileText(scratch + L"\\delete.txt", "x"));
    ASSERT_TRUE(WriteFileText(scratch + L"\\from.txt", "moved"));
    ASSERT_TRUE(::MoveFileExW((scratch + L"\\delete.txt").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(
        ::MoveFileExW((scratch + L"\\from.txt").c_str(), (scratch + L"\\to.txt").c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
    const std::vector<std::wstring> registered = PendingStrings(kPendingValues[0]);
    ASSERT_GE(registered.size(), 4u);
    const std::vector<std::wstring> unrelated(registered.end() - 4, registered.end());

    ASSERT_NO_FATAL_FAILURE(InstallForReal());
    const std::vector<std::wstring> after = PendingStrings(kPendingValues[0]);
    const std::wstring below = ToUpper(L"\\??\\" + folder);
    for (std::size_t i = 0; i < after.size(); i += 2) {
        const std::wstring path = ToUpper(after[i]);
        EXPECT_FALSE(path == below || path.rfind(below + L"\\", 0) == 0)
            << "still registered: " << testing::PrintToString(after[i]);
    }
    ASSERT_GE(after.size(), 4u);
    EXPECT_EQ(std::vector<std::wstring>(after.end() - 4, after.end()), unrelated);

    const driver::Started restart = driver::StartCommandLine(L"", g_restart);
    ASSERT_TRUE(restart.process);
    driver::WaitForExit(restart.process.get(), 60000);
    // The package as the setup program writes it, beside the installed tree.
    const std::wstring extracted = scratch + L"\\package";
    ASSERT_EQ(RunToExit(g_setup, L"/extract-to \"" + extracted + L"\""), 0u);
    const auto relative = [](const std::wstring& root) {
        std::vector<std::wstring> paths = Walk(root);
        for (std::wstring& path : paths) path.erase(0, root.size());
        std::sort(paths.begin(), paths.end());
        return paths;
    };
    std::vector<std::wstring> installed = relative(folder);
    installed.erase(std::remove(installed.begin(), installed.end(), L"\\Quro-Setup.exe"), installed.end());
    ASSERT_EQ(installed, relative(extracted)) << "the restart took files of the new installation";
    for (const std::wstring& path : installed) {
        EXPECT_EQ(ReadFileText(folder + path), ReadFileText(extracted + path));
    }
    EXPECT_EQ(ReadFileText(folder + L"\\Quro-Setup.exe"), ReadFileText(g_setup));
    EXPECT_TRUE(state::KeyExists(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY));
    EXPECT_TRUE(Exists(state::StartMenuShortcut()));
    EXPECT_TRUE(Exists(state::DesktopShortcut()));
    EXPECT_FALSE(Exists(scratch + L"\\delete.txt")) << "the other program's deletion was lost";
    EXPECT_EQ(ReadFileText(scratch + L"\\to.txt"), std::optional<std::string>("moved"));
    DeleteTree(scratch);
}

// A main program the user deleted by hand gets no clean-up call, and the
// rest goes as ever; folders beside the install folder that look like ours
// (a staging folder, an old folder, an earlier temporary folder) are none of
// removal's business and stay.
TEST_F(RemovalTest, WithoutTheMainProgramAndBesideLookAlikeFolders)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
    ClearPendingDeletions();
    ASSERT_TRUE(::DeleteFileW((state::InstallFolder() + L"\\DraloHost.exe").c_str()));
    const std::vector<std::wstring> beside = {state::InstallFolder() + L".new", state::InstallFolder() + L".old-5",
                                              state::ProgramFiles() + L"\\Quro-Remove-1"};
    for (const std::wstring& folder : beside) {
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(WriteFileText(folder + L"\\kept.txt", "not removal's"));
    }
    TakeTemporaryFoldersAsFound();

    const SetupRun run = RemoveThroughRegisteredCommand({IDYES, IDNO, IDOK});
    EXPECT_EQ(run.Texts(), Texts(false, {RemoveQuestion, RemoveDataQuestion, Removed}));
    EXPECT_EQ(run.exitCode, 0u);
    ExpectInstallationGone();
    EXPECT_FALSE(Exists(state::CleanupRecord())) << "a clean-up call without the main program";
    for (const std::wstring& folder : beside) {
        EXPECT_TRUE(Exists(folder + L"\\kept.txt")) << testing::PrintToString(folder);
        DeleteTree(folder);
    }
}

// A setup program that is not the installed copy removes in place: it makes
// no temporary copy and does not schedule itself, "/uninstall-temp" included
// (only a copy in a temporary folder under Program Files is one). The
// autostart value goes only when its text names a path inside the install
// folder, in any letter case, expanded, with "/" or in the short form;
// one that names a sibling folder stays.
TEST_F(RemovalTest, NothingInstalledFromAnotherFolder)
{
    const std::wstring folder = state::InstallFolder();
    wchar_t shortProgramFiles[MAX_PATH] = {};
    ::GetShortPathNameW(state::ProgramFiles().c_str(), shortProgramFiles, MAX_PATH);
    std::wstring slashes = folder;
    std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
    struct Case {
        const char* language;
        bool removeData;
        std::wstring autostart;  // empty: written as raw bytes below
        bool autostartStays;
        std::vector<BYTE> raw;
        DWORD type = REG_SZ;
        const wchar_t* command = L"/uninstall";
    };
    auto exactly = [&](std::size_t bytes) {
        // A REG_SZ without terminator that ends in a path inside the install folder.
        std::wstring text = std::wstring(bytes / 2 - folder.size() - 1, L'x') + folder + L'\\';
        const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
        return std::vector<BYTE>(p, p + bytes);
    };
    const Case cases[] = {
        {"En", false, L"\"C:\\Other\\Quro\\DraloHost.exe\"", true, {}},
        {"Ar", true, L"\"" + ToUpper(folder) + L"\\DraloHost.exe\"", false, {}},
        {"En", false, L"\"" + folder + L"-Beta\\DraloHost.exe\"", true, {}},
        {"Ar", false, L"cmd /c start \"\" \"" + folder + L"\\DraloHost.exe\"", false, {}},
        {"En", true, L"", false, exactly(2048)},
        {"En", false, L"", true, exactly(2050)},
        {"En", false, L"%ProgramFiles%\\Quro\\DraloHost.exe", false, {}, REG_EXPAND_SZ},
        {"En", false, L"%ProgramFiles%\\Quro-Beta\\DraloHost.exe", true, {}, REG_EXPAND_SZ},
        {"En", false, std::wstring(shortProgramFiles) + L"\\Quro\\DraloHost.exe", false, {}},
        {"En", false, L"\"" + slashes + L"/DraloHost.exe\" --minimized", false, {}},
        {"En", false, L"\"C:\\Other\\Quro\\DraloHost.exe\"", true, {}, REG_SZ, L"/uninstall-temp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << driver::Utf8(c.command) << " " << c.language
                                        << (c.removeData ? " data" : " keep") << " autostart "
                                        << testing::PrintToString(c.autostart) << " raw " << c.raw.size());
        ASSERT_NO_FATAL_FAILURE(MakeDataFolders());
        ASSERT_NO_FATAL_FAILURE(SetLanguage(c.language));
        if (c.raw.empty()) {
            state::RegValue value = state::StringValue(c.autostart);
            value.type = c.type;
            ASSERT_TRUE(state::WriteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue, value));
        } else {
            // Wine's RegSetValueExW takes one character more when the one
            // after the data is NUL; a guard there keeps the value unterminated.
            std::vector<BYTE> guarded = c.raw;
            guarded.push_back('x');
            guarded.push_back(0);
            UniqueRegKey run;
            ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, state::kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                        run.put(), nullptr),
                      ERROR_SUCCESS);
            const LSTATUS written = ::RegSetValueExW(run.get(), state::kRunValue, 0, REG_SZ, guarded.data(),
                                                     static_cast<DWORD>(c.raw.size()));
            ASSERT_EQ(written, ERROR_SUCCESS);
            const auto stored = state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
            ASSERT_TRUE(stored.has_value());
            ASSERT_EQ(stored->data.size(), c.raw.size()) << "the value was stored with a terminator";
        }
        const SetupRun run = DriveSetup({g_setup, c.command, {IDYES, c.removeData ? IDYES : IDNO, IDOK}});
        EXPECT_EQ(run.Texts(), Texts(c.language[0] == 'A', {RemoveQuestion, RemoveDataQuestion, Removed}));
        EXPECT_EQ(run.exitCode, 0u);

        EXPECT_TRUE(NewTemporaryFolders().empty());
        EXPECT_TRUE(PendingDeletions().empty());
        EXPECT_EQ(AutostartPresent(), c.autostartStays);
        for (const std::wstring& dataFolder : state::DataFolders()) {
            EXPECT_EQ(Exists(dataFolder), !c.removeData) << testing::PrintToString(dataFolder);
        }
        TearDown();
        SetUp();
    }
}

// Links in the data folders, planted by the host script: removal deletes the
// link and never what lies behind it. The data folders live where ordinary
// users write, and the removal runs with administrator rights.
TEST_F(RemovalTest, DataFolderLinksAreRemovedNotFollowed)
{
    if (g_outside.empty()) GTEST_SKIP() << "run by the link-planting script";
    const std::wstring local = state::LocalAppData();
    const std::wstring linkInside = local + L"\\DraloSecure\\linked";
    const std::wstring linkFolder = local + L"\\DraloTransferSecure";
    ASSERT_TRUE(OwnAttributes(linkInside) & FILE_ATTRIBUTE_REPARSE_POINT) << "link not planted";
    ASSERT_TRUE(OwnAttributes(linkFolder) & FILE_ATTRIBUTE_REPARSE_POINT) << "link not planted";
    const std::vector<std::wstring> outsideBefore = Walk(g_outside);
    ASSERT_FALSE(outsideBefore.empty());
    // Windows deletes a link to a folder with RemoveDirectoryW; a platform
    // that refuses (Wine keeps a Unix link to a non-empty folder) must still
    // leave what lies behind untouched, and the removal then leaves the link.
    ASSERT_TRUE(OwnAttributes(g_probeLink) & FILE_ATTRIBUTE_REPARSE_POINT) << "probe link not planted";
    const bool linksDeletable = ::RemoveDirectoryW(g_probeLink.c_str()) != FALSE;
    if (!linksDeletable) std::printf("note: this platform does not delete links to folders; expecting them to stay\n");
    ASSERT_NO_FATAL_FAILURE(SetLanguage("En"));
    ::CreateDirectoryW(state::DataFolders()[0].c_str(), nullptr);
    ASSERT_TRUE(WriteFileText(state::DataFolders()[0] + L"\\kept.txt", "user data"));

    const SetupRun run = DriveSetup({g_setup, L"/uninstall", {IDYES, IDYES, IDOK}});
    EXPECT_EQ(run.Texts(), Texts(false, {RemoveQuestion, RemoveDataQuestion, Removed}));
    EXPECT_EQ(run.exitCode, 0u);

    EXPECT_EQ(Walk(g_outside), outsideBefore);
    EXPECT_EQ(OwnAttributes(linkInside) == INVALID_FILE_ATTRIBUTES, linksDeletable);
    EXPECT_EQ(OwnAttributes(linkFolder) == INVALID_FILE_ATTRIBUTES, linksDeletable);
    EXPECT_EQ(Exists(local + L"\\DraloSecure"), !linksDeletable);
    // The data folders without links go in any case.
    EXPECT_FALSE(Exists(state::DataFolders()[0]));
    EXPECT_FALSE(Exists(state::DataFolders()[1]));
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int wargc = 0;
    wchar_t** wargv = ::CommandLineToArgvW(::GetCommandLineW(), &wargc);
    for (int i = 1; wargv && i < wargc; ++i) {
        const std::wstring arg = wargv[i];
        if (arg.rfind(L"--setup=", 0) == 0) g_setup = arg.substr(8);
        if (arg.rfind(L"--outside=", 0) == 0) g_outside = arg.substr(10);
        if (arg.rfind(L"--probe-link=", 0) == 0) g_probeLink = arg.substr(13);
        if (arg.rfind(L"--restart-command=", 0) == 0) g_restart = arg.substr(18);
    }
    if (g_setup.empty()) {
        fprintf(stderr, "usage: remove-e2e-tests --setup=<Quro-Setup.exe> [--outside=<folder>]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
