#include "remove/removal.h"

#include "base/exit_codes.h"
#include "base/file_tree.h"
#include "base/log.h"
#include "base/path_compare.h"
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

#include <iterator>
#include <string>
#include <string_view>

namespace quro {

namespace {

// The temporary copy lives in <Program Files>\Quro-Remove-<ticks>.
constexpr wchar_t kTemporaryFolderPrefix[] = L"\\Quro-Remove-";
constexpr wchar_t kTemporaryCopyName[] = L"\\Quro-Setup.exe";

bool SameText(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                          static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

int NoTemporaryCopyFailure()
{
    ShowMessage(Localize(NoTemporaryCopy), true);
    return exit_code::kNoTemporaryCopy;
}

// Copies the program to Program Files\Quro-Remove-<ticks>, starts it with
// "/uninstall-temp" and returns 0 without waiting, or 5; an unattended run
// waits for the copy and returns its exit code.
int StartTemporaryCopy(const std::wstring& ownPath);

}  // namespace

int RunRemoval(bool isTemporaryCopy)
{
    const std::wstring installFolder = InstallFolder();
    const std::wstring ownPath = OwnExecutablePath();
    if (isTemporaryCopy && IsTemporaryCopyPath(ownPath, KnownFolderPath(FOLDERID_ProgramFiles))) {
        return RunRemovalSequence(true);
    }
    if (IsInsideInstallFolder(ownPath, installFolder)) return StartTemporaryCopy(ownPath);
    // A copy from elsewhere (a download started with "/uninstall") does the
    // work itself and leaves its own file alone.
    return RunRemovalSequence(false);
}

bool IsInsideInstallFolder(const std::wstring& ownPath, const std::wstring& installFolder)
{
    // Only at a separator: the temporary folder "Quro-Remove-<ticks>" and the
    // staging folder "Quro.new" begin with the install folder's text but are
    // not inside it.
    return IsAtOrBelow(ownPath, installFolder);
}

bool IsTemporaryCopyPath(const std::wstring& ownPath, const std::wstring& programFiles)
{
    // The copy registers its own file and folder for deletion at the restart,
    // by path. Started from a folder a user can write, a user could turn that
    // folder into a junction before the restart and have the system delete a
    // file of that name anywhere; under Program Files no user can make one.
    const std::wstring_view path(ownPath);
    const std::size_t prefix = programFiles.size() + std::size(kTemporaryFolderPrefix) - 1;
    const std::size_t name = std::size(kTemporaryCopyName) - 1;
    if (programFiles.empty() || path.size() <= prefix + name) return false;
    if (!SameText(path.substr(0, programFiles.size()), programFiles) ||
        !SameText(path.substr(programFiles.size(), prefix - programFiles.size()), kTemporaryFolderPrefix) ||
        !SameText(path.substr(path.size() - name), kTemporaryCopyName)) {
        return false;
    }
    // The tick count in decimal, as StartTemporaryCopy writes it.
    const std::wstring_view digits = path.substr(prefix, path.size() - name - prefix);
    if (digits.size() > 20) return false;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;
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
    // Both renames by path, between the install folder and the temporary
    // folder: folders under Program Files that only administrators can write,
    // so nobody can swap either for a link in between.
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
    const std::wstring folder = WithTickCount(programFiles + kTemporaryFolderPrefix, ::GetTickCount64());
    const std::wstring copy = folder + kTemporaryCopyName;

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
