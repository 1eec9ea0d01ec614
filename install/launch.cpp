#include "install/launch.h"

#include "base/system_paths.h"
#include "install/locations.h"

#include <windows.h>
#include <shellapi.h>

namespace quro {

void LaunchHostedApplication(const std::wstring& mainExecutable)
{
    // The setup program runs elevated here; explorer.exe starts the program
    // in the user's own session instead of as a child of ours.
    const std::wstring argument = L"\"" + mainExecutable + L"\"";
    const std::wstring explorer = KnownFolderPath(FOLDERID_Windows) + L"\\explorer.exe";
    ::ShellExecuteW(nullptr, L"open", explorer.c_str(), argument.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace quro
