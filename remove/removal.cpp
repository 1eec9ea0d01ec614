#include "remove/removal.h"

#include "base/exit_codes.h"
#include "base/file_tree.h"
#include "base/system_paths.h"
#include "ui/message_box.h"
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
    // could be the install folder, which Windows then refuses to delete. The
    // copy carries on alone; whoever started us learns only that it started.
    if (!StartProcess(copy, L"\"" + copy + L"\" /uninstall-temp", folder, false).process) {
        RemoveTree(folder);
        return NoTemporaryCopyFailure();
    }
    return exit_code::kDone;
}

}  // namespace

}  // namespace quro
