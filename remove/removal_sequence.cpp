#include "remove/removal_sequence.h"

#include "base/exit_codes.h"
#include "base/file_tree.h"
#include "base/hosted_app.h"
#include "base/log.h"
#include "base/path_compare.h"
#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "hosted/close_hosted.h"
#include "install/locations.h"
#include "install/registration.h"
#include "install/setup_lock.h"
#include "remove/process_start.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>
#include <string_view>

namespace quro {

namespace {

// The clean-up call is trusted to end by itself; past this we go on without it.
constexpr DWORD kCleanupWaitMs = 120000;
constexpr DWORD kAutostartBufferBytes = 2048;

// Lets the hosted application clean up after itself, without a window, from
// its own folder; its exit code tells us nothing we act on.
void RunCleanupCall(const std::wstring& installFolder)
{
    const std::wstring mainExecutable = MainExecutablePath(installFolder);
    if (!PathExists(mainExecutable)) return;

    const std::wstring commandLine = L"\"" + mainExecutable + L"\" " + kCleanupArgument;
    Log(L"clean-up call: " + commandLine);
    const StartedProcess started = StartProcess(mainExecutable, commandLine, installFolder, true);
    if (started.process) ::WaitForSingleObject(started.process.get(), kCleanupWaitMs);
}

// The autostart value goes only when it points into this installation: the
// user may have pointed it at another copy of the hosted application, in a
// sibling folder whose name begins like ours ("Quro-Beta") among others.
void DeleteAutostartValue(const std::wstring& installFolder)
{
    UniqueRegKey run;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, kRunAccess, run.put()) != ERROR_SUCCESS) return;

    wchar_t data[kAutostartBufferBytes / sizeof(wchar_t)] = {};
    DWORD size = kAutostartBufferBytes;
    DWORD type = REG_NONE;
    if (::RegQueryValueExW(run.get(), kAutostartValueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS) {
        return;
    }
    // A value that fills the buffer exactly has no terminator inside it: the
    // text ends at the first NUL or at the end of the data, whichever comes first.
    const std::size_t units = size / sizeof(wchar_t);
    const std::wstring_view text(data, ::wcsnlen(data, units));
    if (AutostartPointsInside(text, type, FormsOf(installFolder))) {
        Log(L"delete the autostart value");
        ::RegDeleteValueW(run.get(), kAutostartValueName);
    }
}

// The recursive removal of a known folder's child; skipped when the known
// folder cannot be resolved, since the path would then name a folder at the
// root of the current drive that is none of ours.
void RemoveDataFolder(REFKNOWNFOLDERID base, const wchar_t* suffix)
{
    const std::wstring root = KnownFolderPath(base);
    if (root.empty()) return;
    Log(L"delete " + root + suffix);
    RemoveTree(root + suffix);
}

// A shortcut of a known folder that cannot be resolved would be a bare
// "\Quro Host.lnk" in the current drive's root: nothing of ours.
void DeleteShortcut(REFKNOWNFOLDERID base, const std::wstring& path)
{
    if (KnownFolderPath(base).empty()) return;
    Log(L"delete " + path);
    ::DeleteFileW(path.c_str());
}

std::wstring ParentFolder(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

int RunRemovalSequence(bool isTemporaryCopy)
{
    // Held until the run ends, as an install holds it: a removal waits for a
    // running install before it asks anything, and an install for it.
    const SetupLock lock = WaitForSetupLock();
    if (lock.timedOut) return exit_code::kAnotherSetupRunning;
    const std::wstring installFolder = InstallFolder();
    const std::wstring ownPath = OwnExecutablePath();
    // Without Program Files the install folder would be "\Quro" at the root of
    // whatever drive is current: nothing of ours, and nothing to delete.
    const bool haveInstallFolder = !KnownFolderPath(FOLDERID_ProgramFiles).empty();

    // Both questions come before anything changes.
    if (!AskYesNo(Localize(RemoveQuestion), false, Question::Remove)) return exit_code::kRefused;
    const bool removeData = AskYesNo(Localize(RemoveDataQuestion), true, Question::RemoveData);
    if (!CloseHostedApplication(true)) return exit_code::kStillRunning;

    // From here on every step is tried once and its outcome ignored: the
    // final message only tells whether the install folder is gone.
    if (haveInstallFolder) RunCleanupCall(installFolder);
    DeleteShortcut(FOLDERID_CommonPrograms, StartMenuShortcutPath());
    DeleteShortcut(FOLDERID_PublicDesktop, DesktopShortcutPath());
    Log(L"delete the uninstall entry");
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY, 0);
    if (haveInstallFolder) {
        DeleteAutostartValue(installFolder);
        Log(L"delete " + installFolder);
        RemoveTree(installFolder);
        // Registered contents first and the folder itself last, so that each
        // folder is empty by its turn at restart and nothing of it survives.
        if (PathExists(installFolder)) {
            Log(L"in use, left for the next restart: " + installFolder);
            ScheduleTreeDeletionAtRestart(installFolder, true);
        }
    }

    if (removeData) {
        RemoveDataFolder(FOLDERID_ProgramData, kProgramDataFolder);
        for (const wchar_t* suffix : kLocalDataFolders) RemoveDataFolder(FOLDERID_LocalAppData, suffix);
    }

    if (isTemporaryCopy && !ownPath.empty()) {
        // The files before their folder, so that the folder is empty when its
        // turn comes: this copy, and the uninstaller of an unattended removal,
        // which moved itself here out of the install folder and waits for us.
        const std::wstring ownFolder = ParentFolder(ownPath);
        if (!ownFolder.empty()) ScheduleTreeDeletionAtRestart(ownFolder, true);
    }

    const bool leftovers = haveInstallFolder && PathExists(installFolder);
    ShowMessage(Localize(leftovers ? RemovedWithRestart : Removed), false);
    return leftovers ? exit_code::kRestartNeeded : exit_code::kDone;
}

}  // namespace quro
