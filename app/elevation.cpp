#include "app/elevation.h"

#include "base/exit_codes.h"
#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "ui/progress_window.h"
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

namespace {

// The shell is asked to start the elevated copy; with keepProcess, the
// copy's process handle comes back in info.hProcess.
bool StartElevatedCopy(const std::wstring& parameters, bool keepProcess, SHELLEXECUTEINFOW& info)
{
    const std::wstring path = OwnExecutablePath();
    // With no path the shell would be asked to open nothing in particular.
    if (path.empty()) return false;
    static_assert(sizeof(SHELLEXECUTEINFOW) == 112, "SHELLEXECUTEINFOW as 64-bit Windows lays it out");
    info = SHELLEXECUTEINFOW{};
    info.cbSize = sizeof info;
    // This process ends, or waits, right after the call: Windows asks callers
    // that do so for SEE_MASK_NOASYNC, so that the start is complete before
    // the call returns rather than left to a thread of the shell's.
    info.fMask = SEE_MASK_NOASYNC | (keepProcess ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.hwnd = nullptr;
    info.lpVerb = L"runas";
    info.lpFile = path.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteCall(&info) != FALSE;
}

}  // namespace

bool RelaunchElevated(const std::wstring& parameters)
{
    SHELLEXECUTEINFOW info{};
    return StartElevatedCopy(parameters, false, info);
}

int RelaunchElevatedAndWait(const std::wstring& parameters)
{
    SHELLEXECUTEINFOW info{};
    if (!StartElevatedCopy(parameters, true, info)) return exit_code::kRefused;
    // No handle comes back when the shell handed the start to a program
    // already running; there is nothing then to wait for.
    const UniqueHandle copy(info.hProcess);
    if (!copy) return exit_code::kRefused;
    WaitPumping(copy.get());
    DWORD code = exit_code::kRefused;
    if (!::GetExitCodeProcess(copy.get(), &code)) return exit_code::kRefused;
    return static_cast<int>(code);
}

}  // namespace quro
