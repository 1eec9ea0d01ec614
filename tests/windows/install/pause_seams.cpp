// The seams of a test build of the setup program that stops in the middle of
// one step of the install, so that a kill lands there for certain rather than
// by chance: QURO_PAUSE_AT names the step ("start": the elevated run's first
// step, its elevation test, before it opens its own file; "swap": between the
// two renames; "copy": as the uninstaller is written into the staging folder;
// "registration": halfway through the uninstall entry). On reaching it the
// program sets the event named QURO_PAUSED_EVENT and waits to be ended, or,
// when QURO_RESUME_EVENT names an event, until that is set and then goes on.
// Without QURO_PAUSE_AT it behaves as the shipped program.
#include "app/token_information_call.h"
#include "base/unique_handles.h"
#include "install/move_file_call.h"
#include "install/reg_set_value_call.h"
#include "package/write_file_call.h"

#include <cwchar>
#include <string>

namespace {

bool PausesAt(const wchar_t* step)
{
    wchar_t value[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"QURO_PAUSE_AT", value, 32);
    return length > 0 && length < 32 && std::wcscmp(value, step) == 0;
}

void Pause()
{
    wchar_t name[128] = {};
    if (::GetEnvironmentVariableW(L"QURO_PAUSED_EVENT", name, 128) > 0) {
        const UniqueHandle paused(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
        if (paused) ::SetEvent(paused.get());
    }
    // The kill, or the resume, comes long before this ends.
    const UniqueHandle resume(::GetEnvironmentVariableW(L"QURO_RESUME_EVENT", name, 128) > 0
                                  ? ::OpenEventW(SYNCHRONIZE, FALSE, name)
                                  : nullptr);
    if (resume)
        ::WaitForSingleObject(resume.get(), 60000);
    else
        ::Sleep(60000);
}

bool EndsWith(const std::wstring& text, const wchar_t* tail)
{
    const std::size_t n = std::wcslen(tail);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, tail) == 0;
}

}  // namespace

BOOL MoveFileCall(const wchar_t* from, const wchar_t* to, DWORD flags)
{
    const BOOL moved = ::MoveFileExW(from, to, flags);
    // The first rename of the swap sets the install folder aside as an old folder.
    if (moved && EndsWith(from, L"\\Quro") && PausesAt(L"swap")) Pause();
    return moved;
}

BOOL WriteFileCall(HANDLE file, const void* data, DWORD length, DWORD* written)
{
    if (PausesAt(L"copy")) {
        wchar_t path[1024] = {};
        const DWORD n = ::GetFinalPathNameByHandleW(file, path, 1024, FILE_NAME_NORMALIZED);
        if (n > 0 && n < 1024 && EndsWith(path, L"\\Quro-Setup.exe")) Pause();
    }
    return ::WriteFile(file, data, length, written, nullptr);
}

LSTATUS RegSetValueCall(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size)
{
    if (std::wcscmp(name, L"InstallLocation") == 0 && PausesAt(L"registration")) Pause();
    return ::RegSetValueExW(key, name, 0, type, data, size);
}

BOOL TokenInformationCall(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD length, DWORD* returned)
{
    if (PausesAt(L"start")) Pause();
    return ::GetTokenInformation(token, kind, information, length, returned);
}
