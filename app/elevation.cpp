#include "app/elevation.h"

#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "app/shell_execute_call.h"
#include "app/token_information_call.h"

#include <windows.h>

namespace quro {

bool IsElevated()
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation{};
    elevation.TokenIsElevated = 0;
    DWORD length = 0;
    const BOOL queried = TokenInformationCall(token.get(), TokenElevation, &elevation, sizeof elevation, &length);
    // A token that cannot be asked counts as without rights: the command is
    // then handed to an elevated copy rather than run here.
    return queried && elevation.TokenIsElevated != 0;
}

bool RelaunchElevated(const std::wstring& parameters)
{
    const std::wstring path = OwnExecutablePath();
    // With no path the shell would be asked to open nothing in particular.
    if (path.empty()) return false;
    static_assert(sizeof(SHELLEXECUTEINFOW) == 112, "SHELLEXECUTEINFOW as 64-bit Windows lays it out");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = 0;  // no process handle: nothing waits for the elevated copy
    info.hwnd = nullptr;
    info.lpVerb = L"runas";
    info.lpFile = path.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteCall(&info) != FALSE;
}

}  // namespace quro
