// The seams of a test build of the setup program that stops in the middle of
// one step, so that a kill or a swap lands there for certain rather than by
// chance: QURO_PAUSE_AT names the step ("start": the elevated run's first
// step, its elevation test, before it opens its own file; "swap": between the
// two renames; "copy": as the uninstaller is written into the staging folder;
// "registration": halfway through the uninstall entry; "walk": as a tree
// deletion opens the entry QURO_PAUSE_NAME). On reaching it the program
// creates the file QURO_PAUSED_FILE names and waits to be ended, or, when
// QURO_RESUME_FILE names a file, until that file exists, and then goes on.
// Files, not events, so that scripts on the build host can take part.
// "traced" is for driver::TraceProcesses: each copy waits at its elevation
// test until the tracer has seen it and set its event, so that a copy that
// ends at once is traced all the same. Without QURO_PAUSE_AT it behaves as
// the shipped program, but for the bounded wait of an unattended run for
// another setup's lock, which takes seconds here where the shipped program
// takes minutes.
#include "base/nt_create_file_call.h"
#include "base/unique_handles.h"
#include "package/write_file_call.h"
#include "install/lock_wait_call.h"
#include "install/move_file_call.h"
#include "install/reg_set_value_call.h"
#include "app/token_information_call.h"
#include "ui/progress_window.h"

#include <cwchar>
#include <string>

using namespace quro;

namespace {

bool PausesAt(const wchar_t* step)
{
    wchar_t value[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"QURO_PAUSE_AT", value, 32);
    return length > 0 && length < 32 && std::wcscmp(value, step) == 0;
}

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length < 1024 ? std::wstring(value, length) : std::wstring();
}

void Pause()
{
    const std::wstring paused = Environment(L"QURO_PAUSED_FILE");
    if (!paused.empty())
        UniqueFileHandle(::CreateFileW(paused.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    // The kill, or the resume, comes long before this ends. The windows go
    // on painting meanwhile, for the pictures taken of them here.
    const std::wstring resume = Environment(L"QURO_RESUME_FILE");
    for (int waited = 0; waited < 60000; waited += 20) {
        if (!resume.empty() && ::GetFileAttributesW(resume.c_str()) != INVALID_FILE_ATTRIBUTES) return;
        PumpMessagesFor(20);
    }
}

bool EndsWith(const std::wstring& text, const wchar_t* tail)
{
    const std::size_t n = std::wcslen(tail);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, tail) == 0;
}

}  // namespace

namespace quro {

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

NTSTATUS NtCreateFileCall(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* object, IO_STATUS_BLOCK* status,
                          ULONG attributes, ULONG share, ULONG disposition, ULONG options)
{
    const UNICODE_STRING* name = object->ObjectName;
    if (name && PausesAt(L"walk") &&
        std::wstring(name->Buffer, name->Length / sizeof(wchar_t)) == Environment(L"QURO_PAUSE_NAME")) {
        Pause();
    }
    return ::NtCreateFile(handle, access, object, status, nullptr, attributes, share, disposition, options, nullptr, 0);
}

BOOL TokenInformationCall(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD length, DWORD* returned)
{
    if (PausesAt(L"start")) Pause();
    if (PausesAt(L"traced")) {
        // The name driver::TraceProcesses gives the event of a copy it has seen.
        const std::wstring name = L"Local\\QuroTraced-" + std::to_wstring(::GetCurrentProcessId());
        const UniqueHandle seen(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        if (seen) ::WaitForSingleObject(seen.get(), 60000);
    }
    return ::GetTokenInformation(token, kind, information, length, returned);
}

DWORD LockWaitCall(HANDLE lock, DWORD milliseconds)
{
    return ::WaitForSingleObject(lock, milliseconds == INFINITE ? INFINITE : milliseconds / 60);
}

}  // namespace quro
