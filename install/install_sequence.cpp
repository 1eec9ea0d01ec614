#include "install/install_sequence.h"

#include "base/exit_codes.h"
#include "base/file_tree.h"
#include "base/log.h"
#include "base/product.h"
#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "format/container_format.h"
#include "package/extract.h"
#include "package/file_list.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"
#include "ui/texts.h"
#include "hosted/close_hosted.h"
#include "install/file_holders_call.h"
#include "install/launch.h"
#include "install/locations.h"
#include "install/move_file_call.h"
#include "install/registration.h"
#include "install/restart_deletions.h"
#include "install/retry_wait_call.h"
#include "install/setup_copy.h"
#include "install/setup_lock.h"
#include "install/shortcuts.h"

#include <windows.h>

#include <algorithm>

namespace quro {

namespace {

constexpr wchar_t kFolderInUse[] = L"the old Quro Host folder is in use (close Quro Host and try again)";
constexpr wchar_t kNotInPlace[] = L"could not put the new files in place";
constexpr wchar_t kNoProgramFiles[] = L"Windows did not name the Program Files folder";

// Everything of a previous installation that resists deletion goes at the
// next restart, the folder itself included, so nothing of it outlives that.
void RemoveOldFolder(const std::wstring& oldFolder)
{
    RemoveTree(oldFolder);
    if (PathExists(oldFolder)) ScheduleTreeDeletionAtRestart(oldFolder, true);
}

// Old folders that an earlier run left behind, because it was cut off
// between the swap and the clean-up or between the two renames, would
// otherwise keep a stale copy of the program under Program Files for good.
void RemoveStaleOldFolders(const std::wstring& installFolder)
{
    const std::wstring prefix = installFolder + L".old-";
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(
        ::FindFirstFileExW((prefix + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!find) return;
    std::vector<std::wstring> stale;
    const std::size_t nameStart = installFolder.find_last_of(L'\\') + 1;
    const std::wstring namePrefix = prefix.substr(nameStart);
    do {
        // Only names of the form this program makes: the prefix and a tick count.
        const std::wstring name = found.cFileName;
        if (name.size() > namePrefix.size() &&
            ::CompareStringOrdinal(name.c_str(), static_cast<int>(namePrefix.size()), namePrefix.c_str(),
                                   static_cast<int>(namePrefix.size()), TRUE) == CSTR_EQUAL &&
            name.find_first_not_of(L"0123456789", namePrefix.size()) == std::wstring::npos) {
            stale.push_back(installFolder.substr(0, nameStart) + name);
        }
    } while (::FindNextFileW(find.get(), &found));
    for (const std::wstring& folder : stale) RemoveOldFolder(folder);
}

// Windows refuses to rename a folder while any file inside it is open, with
// ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION, and Defender or the search
// indexer open a freshly written program right after it is closed: the
// uninstaller, the largest file, is written moments before the staging
// folder is renamed. Microsoft documents no bound on how long a scanner may
// hold a file, and a slow scan of a large program takes many seconds; tools
// that meet the same refusal wait up to a minute. So a refused rename is
// tried again, the pauses doubling up to a second, for about a minute before
// it counts as failed, the status line saying after the first seconds what
// the install waits for. Any other error fails at once.
constexpr DWORD kFirstRetryPauseMs = 50;
constexpr DWORD kLongestRetryPauseMs = 1000;
constexpr DWORD kRetryBudgetMs = 60000;
constexpr DWORD kSayWaitingAfterMs = 3000;
// Enough files to find the holder of a program's folder, few enough that
// asking the Restart Manager stays quick.
constexpr std::size_t kMostFilesAskedAbout = 1000;

std::wstring InstallingText() { return Localize(InstallingStart) + kProductVersion + L"..."; }

bool RenameFolder(const std::wstring& from, const std::wstring& to)
{
    DWORD pause = kFirstRetryPauseMs;
    bool waitingShown = false;
    for (DWORD paused = 0;; paused += pause, pause = (std::min)(pause * 2, kLongestRetryPauseMs)) {
        if (MoveFileCall(from.c_str(), to.c_str(), 0)) {
            if (waitingShown) SetProgressStatus(InstallingText());
            return true;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || paused >= kRetryBudgetMs) {
            return false;
        }
        if (!waitingShown && paused >= kSayWaitingAfterMs) {
            Log(L"waiting for another program to let go of the files in " + from);
            SetProgressStatus(Localize(WaitingForFiles));
            waitingShown = true;
        }
        RetryWaitCall(pause);
    }
}

// "; in use by" and the programs Windows names as holding files of folder,
// or nothing when it names none: the user then knows what to close.
std::wstring HeldBy(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    for (const std::wstring& entry : WalkTree(folder)) {
        const DWORD attributes = ::GetFileAttributesW(entry.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(entry);
        if (files.size() == kMostFilesAskedAbout) break;
    }
    std::vector<std::wstring> names;
    std::wstring text;
    for (const std::wstring& name : FileHoldersCall(files)) {
        // A program holding many files is named once.
        if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) continue;
        text += (names.empty() ? L"; in use by " : L", ") + name;
        names.push_back(name);
    }
    return text;
}

int FailBeforeSwap(const std::wstring& stagingFolder, const std::wstring& reason)
{
    RemoveTree(stagingFolder);
    DestroyProgressWindow();
    ShowMessage(Localize(NotInstalledStart) + reason + Localize(NothingChangedLine), true);
    return exit_code::kNotPutInPlace;
}

}  // namespace

int RunInstall()
{
    // Before anything else: the file the uninstaller is copied from, held
    // so that it cannot be renamed or replaced from now on.
    UniqueFileHandle ownFile = OpenOwnExecutable();
    // A file put in the program's place since it started is not this
    // program, and would become the uninstaller that runs with administrator
    // rights; a file that cannot be opened (another program holds it without
    // sharing) cannot be copied, and the install would register an uninstall
    // command naming no file. Either way the setup stops as for any other
    // damaged program, before it asks or changes anything.
    if (!ownFile || !IsRunningImage(ownFile.get())) {
        ShowMessage(Localize(NotInstalledStart) + package_format::kDamaged, true);
        return exit_code::kPackageFailed;
    }
    // Held until the run ends: a second elevated run waits here, before it
    // asks or changes anything.
    const SetupLock lock = WaitForSetupLock();
    if (lock.timedOut) return exit_code::kAnotherSetupRunning;

    if (!CloseHostedApplication(false)) {
        ShowMessage(Localize(NothingChanged), false);
        return exit_code::kStillRunning;
    }

    CreateProgressWindow(Localize(SetupCaption));
    SetProgressStatus(InstallingText());

    Log(L"unpack and check the package");
    PackageEntries files;
    const std::wstring unpackFailure = UnpackPackage(files);
    if (!unpackFailure.empty()) {
        DestroyProgressWindow();
        ShowMessage(Localize(NotInstalledStart) + unpackFailure, true);
        return exit_code::kPackageFailed;
    }

    // Without Program Files the folder would be a bare "\Quro" at the root
    // of whatever drive is current: better to install nothing.
    if (KnownFolderPath(FOLDERID_ProgramFiles).empty()) {
        DestroyProgressWindow();
        ShowMessage(Localize(NotInstalledStart) + kNoProgramFiles + Localize(NothingChangedLine), true);
        return exit_code::kNotPutInPlace;
    }
    const std::wstring installFolder = InstallFolder();
    const std::wstring stagingFolder = StagingFolder(installFolder);
    const std::wstring oldFolder = OldFolder(installFolder, ::GetTickCount64());
    const std::wstring mainExecutable = MainExecutablePath(installFolder);

    const bool existedBefore = PathExists(installFolder);
    // A leftover of an interrupted run; whatever resists stays, and
    // extraction writes over it.
    RemoveTree(stagingFolder);

    Log(L"extract " + Decimal(files.size()) + L" files into " + stagingFolder);
    const std::wstring failure =
        ExtractToFolder(stagingFolder, files, MakeProgressCallback(static_cast<std::int32_t>(files.size())));
    if (!failure.empty()) return FailBeforeSwap(stagingFolder, failure);
    // The uninstaller travels with the files: from the moment of the swap the
    // registered "Quro-Setup.exe /uninstall" names a whole file. Best-effort,
    // like every step of registration.
    CopyFromHandle(ownFile.get(), SetupCopyPath(stagingFolder));
    // Let go before the swap: a setup started from the install folder itself
    // must not keep that folder from being set aside.
    ownFile.reset();

    // Both renames stay on one volume, so each one is atomic: at every moment
    // the install folder holds one complete version, or is absent while the
    // previous one waits complete under the old name.
    const bool hadFolder = PathExists(installFolder);
    Log(L"swap: " + (hadFolder ? installFolder + L" aside as " + oldFolder + L", then " : std::wstring()) +
        stagingFolder + L" into place");
    if (hadFolder && !RenameFolder(installFolder, oldFolder)) {
        return FailBeforeSwap(stagingFolder, kFolderInUse + HeldBy(installFolder));
    }
    if (!RenameFolder(stagingFolder, installFolder)) {
        const std::wstring reason = kNotInPlace + HeldBy(stagingFolder);
        if (hadFolder) RenameFolder(oldFolder, installFolder);
        return FailBeforeSwap(stagingFolder, reason);
    }

    // Past the swap every step is best-effort: the new version is in place.
    // A removal that found files in use asked Windows to delete the install
    // folder at the next restart; that would now delete the new version.
    ForgetRestartDeletions({installFolder, stagingFolder});
    if (hadFolder) RemoveOldFolder(oldFolder);
    RemoveStaleOldFolders(installFolder);
    Log(L"register in the list of installed programs");
    WriteUninstallEntry(installFolder, mainExecutable);
    Log(L"links in the Start menu and on the desktop");
    // A folder the shell cannot name would put the link at a drive's root.
    if (!KnownFolderPath(FOLDERID_CommonPrograms).empty()) {
        CreateShortcut(StartMenuShortcutPath(), mainExecutable, installFolder);
    }
    if (!KnownFolderPath(FOLDERID_PublicDesktop).empty()) {
        CreateShortcut(DesktopShortcutPath(), mainExecutable, installFolder);
    }
    RetargetAutostartValue(mainExecutable);
    DestroyProgressWindow();

    const std::wstring question =
        Localize(InstalledStart) + kProductVersion + Localize(existedBefore ? InstalledKeptEnd : InstalledEnd);
    if (AskYesNo(question, false, Question::OpenApplication)) LaunchHostedApplication(mainExecutable);
    return exit_code::kDone;
}

}  // namespace quro
