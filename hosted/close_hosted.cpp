#include "hosted/close_hosted.h"

#include "base/unique_handles.h"
#include "base/hosted_app.h"
#include "ui/message_box.h"
#include "ui/texts.h"

#include <windows.h>
#include <tlhelp32.h>

namespace {

// Enough to end the process and to wait for it.
constexpr DWORD kEndAccess = PROCESS_TERMINATE | SYNCHRONIZE;
constexpr DWORD kWaitPerProcessMs = 10000;
// Gives the system time to let go of the ended processes' files before they
// are replaced, and lets a process that restarts itself show up again.
constexpr DWORD kSettleMs = 1500;

bool IsHostedImage(const wchar_t* imageName)
{
    // Ordinal, so that the user's locale cannot change what matches.
    for (const wchar_t* name : kHostedProcessNames) {
        if (::CompareStringOrdinal(imageName, -1, name, -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

}  // namespace

ProcessIdList FindHostedProcesses()
{
    ProcessIdList found;
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (IsHostedImage(entry.szExeFile)) found.push_back(entry.th32ProcessID);
    }
    return found;
}

bool CloseHostedApplication(bool forRemoval)
{
    const ProcessIdList running = FindHostedProcesses();
    if (running.empty()) return true;
    if (!AskYesNo(Localize(forRemoval ? OpenForRemoval : OpenForUpdate), false)) return false;
    for (DWORD id : running) {
        UniqueHandle process(::OpenProcess(kEndAccess, FALSE, id));
        // Gone already, or not ours to end: the second search tells which.
        if (!process) continue;
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), kWaitPerProcessMs);
    }
    ::Sleep(kSettleMs);
    return FindHostedProcesses().empty();
}
