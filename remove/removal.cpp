#include "remove/removal.h"

#include "base/exit_codes.h"
#include "base/file_tree.h"
#include "base/log.h"
#include "base/system_paths.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"
#include "ui/run_mode.h"
#include "ui/texts.h"
#include "install/locations.h"
#include "remove/process_start.h"
#include "remove/removal_sequence.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace quro {

namespace {

int NoTemporaryCopyFailure()
{
    ShowMessage(Localize(NoTemporaryCopy), true);
    return exit_code::kNoTemporaryCopy;
}

// Copies the program to Program Files\Quro-Remove-<ticks>, starts it with
// "/uninstall-temp" and returns 0 without waiting, or 5.
int StartTemporaryCopy(const std::wstring& ownPath);

}  // namespace

int RunRemoval(bool isTemporaryCopy)
{
    const std::wstring installFolder = InstallFolder();
    const std::wstring ownPath = OwnExecutablePath();
    if (isTemporaryCopy) return RunRemovalSequence(true);
    if (IsInsideInstallFolder(ownPath, installFolder)) return StartTemporaryCopy(ownPath);
    // A copy from elsewhere (a download started with "/uninstall") does the
    // work itself and leaves its own file alone.
    return RunRemovalSequence(false);
}

bool IsInsideInstallFolder(const std::wstring& ownPath, const std::wstring& installFolder)
{
    const std::size_t length = installFolder.size();
    if (ownPath.size() < length) return false;
    // Ordinal and case-insensitive, as the file system compares names; the
    // user's locale must not change what counts as inside.
    return ::CompareStringOrdinal(ownPath.c_str(), static_cast<int>(length), installFolder.c_str(),
                                  static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

namespace {

// An unattended removal waits for the temporary copy, and the waiting
// program's own file lies in the install folder that the copy deletes:
// Windows lets a running program's file be renamed on its volume but not
// deleted. So it moves into the temporary folder, which the copy hands to
// the restart's deletion with everything in it, and it comes back when the
// copy removed nothing, so that the installation keeps its uninstaller.
constexpr wchar_t kWaitingName[] = L"\\Quro-Setup-waiting.exe";

int RunTemporaryCopyAndWait(const std::wstring& ownPath, const std::wstring& folder, const std::wstring& copy,
                            const std::wstring& commandLine)
{
    const std::wstring moved = folder + kWaitingName;
    const bool away = ::MoveFileExW(ownPath.c_str(), moved.c_str(), 0) != FALSE;
    const StartedProcess started = StartProcess(copy, commandLine, folder, false);
    DWORD code = exit_code::kNoTemporaryCopy;
    if (started.process) {
        WaitPumping(started.process.get());
        if (!::GetExitCodeProcess(started.process.get(), &code)) code = exit_code::kNoTemporaryCopy;
    }
    const int result = static_cast<int>(code);
    if (result == exit_code::kDone || result == exit_code::kRestartNeeded) return result;
    // Nothing was removed (declined, the application left running, another
    // setup at work, or no copy at all): all as it was, the temporary folder
    // included, whose copy has ended.
    if (away) ::MoveFileExW(moved.c_str(), ownPath.c_str(), 0);
    RemoveTree(folder);
    if (!started.process) return NoTemporaryCopyFailure();
    return result;
}

int StartTemporaryCopy(const std::wstring& ownPath)
{
    // A sibling of the install folder: outside what removal deletes, and
    // writable only with the administrator rights this process has.
    const std::wstring programFiles = KnownFolderPath(FOLDERID_ProgramFiles);
    // Without Program Files the folder would land at the root of the current
    // drive, where ordinary users may have planted anything.
    if (programFiles.empty()) return NoTemporaryCopyFailure();
    const std::wstring folder = WithTickCount(programFiles + L"\\Quro-Remove-", ::GetTickCount64());
    const std::wstring copy = folder + L"\\Quro-Setup.exe";

    // A folder that exists already may not be ours: fail rather than run from it.
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) return NoTemporaryCopyFailure();
    // From here a failure takes back what this step made: nothing of a
    // removal that never began stays under Program Files.
    if (!::CopyFileW(ownPath.c_str(), copy.c_str(), TRUE)) {
        RemoveTree(folder);
        return NoTemporaryCopyFailure();
    }

    // The copy's own folder as its working folder: one inherited from us
    // could be the install folder, which Windows then refuses to delete. An
    // unattended run hands its mode and log on, and its caller, which reads
    // only the exit code, learns the removal's; a person's copy carries on
    // alone, and whoever started us learns only that it started.
    const std::wstring commandLine = L"\"" + copy + L"\" /uninstall-temp" + UnattendedWords();
    Log(L"temporary copy: " + commandLine);
    if (IsUnattended()) return RunTemporaryCopyAndWait(ownPath, folder, copy, commandLine);
    if (!StartProcess(copy, commandLine, folder, false).process) {
        RemoveTree(folder);
        return NoTemporaryCopyFailure();
    }
    return exit_code::kDone;
}

}  // namespace

}  // namespace quro
