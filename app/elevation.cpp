#include "app/elevation.h"

#include "app/unique_handles.h"
#include "install/product.h"
#include "ui/message_box.h"
#include "ui/texts.h"

#include <windows.h>
#include <shellapi.h>

namespace {
constexpr DWORD kPathBufferLength = 520;
}  // namespace

bool IsElevated()
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation{};
    elevation.TokenIsElevated = 0;
    DWORD length = 0;
    const BOOL queried = ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &length);
    // A token that cannot be asked counts as without rights: the command is
    // then handed to an elevated copy rather than run here.
    return queried && elevation.TokenIsElevated != 0;
}

bool ConfirmInstall()
{
    return AskYesNo(Localize(InstallQuestionStart) + kProductVersion + Localize(InstallQuestionEnd), false);
}

std::wstring OwnExecutablePath()
{
    wchar_t path[kPathBufferLength] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, kPathBufferLength);
    // A path that filled the buffer was cut short, and a cut path may name
    // some other file: one that is started elevated or copied as the
    // uninstaller. It counts as no path, so the relaunch and the copy fail.
    if (length == 0 || length >= kPathBufferLength) return {};
    return std::wstring(path, length);
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
    return ::ShellExecuteExW(&info) != FALSE;
}
