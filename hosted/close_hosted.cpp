#include "hosted/close_hosted.h"

#include "base/hosted_app.h"
#include "base/path_compare.h"
#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "hosted/process_image_call.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace quro {

namespace {

// Enough to read the image's path, to end the process and to wait for it.
constexpr DWORD kEndAccess = PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kWaitPerProcessMs = 10000;
// Gives the system time to let go of the ended processes' files before they
// are replaced, and lets a process that restarts itself show up again.
constexpr DWORD kSettleMs = 1500;
// The longest path Windows hands out, in UTF-16 units.
constexpr DWORD kLongestPath = 32768;

bool IsHostedImage(const wchar_t* imageName)
{
    // Ordinal, so that the user's locale cannot change what matches.
    for (const wchar_t* name : kHostedProcessNames) {
        if (::CompareStringOrdinal(imageName, -1, name, -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

// Whether the process behind handle runs a file inside folder. Only that
// copy of the application holds our files: a program of the same name
// elsewhere (a portable copy, another product's helper) is none of ours to
// ask about or end, and one that keeps coming back would otherwise block
// every install and removal. A process whose image cannot be read is not
// taken for ours. Windows reports the image by the name it was started with,
// which may be the folder's short (8.3) form; the reported path is compared
// with the folder's forms and never resolved itself: anyone may run a
// DraloHost.exe from \\their-host\share, and resolving that path would have
// this elevated process sign in to their server as the administrator.
bool RunsFromInside(HANDLE process, const FolderForms& folder)
{
    std::vector<wchar_t> image(kLongestPath);
    DWORD length = kLongestPath;
    if (!ProcessImageCall(process, image.data(), &length)) return false;
    return IsBelowAny(std::wstring_view(image.data(), length), folder);
}

// Every hosted process whose image lies inside folder.
ProcessIdList FindHostedProcessesIn(const FolderForms& folder)
{
    ProcessIdList found;
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (!IsHostedImage(entry.szExeFile)) continue;
        const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process && RunsFromInside(process.get(), folder)) found.push_back(entry.th32ProcessID);
    }
    return found;
}

// Administrators hold the debug privilege switched off; switched on, this
// process may open and end the application's processes of other accounts
// too (another user of this machine, or the user whose password was typed
// at the administrator prompt). Without it those are left to the second
// search, which then reports them as still running. It is on only while the
// application is closed: whatever this process starts later (the clean-up
// call, the application itself) gets a copy of its token.
class DebugPrivilegeOn {
public:
    DebugPrivilegeOn()
    {
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put())) return;
        TOKEN_PRIVILEGES on{};
        on.PrivilegeCount = 1;
        on.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!::LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &on.Privileges[0].Luid)) return;
        DWORD length = 0;
        // The previous state lists only what the call changed: nothing to
        // put back when the privilege was on already.
        adjusted_ = ::AdjustTokenPrivileges(token_.get(), FALSE, &on, sizeof previous_, &previous_, &length) != FALSE;
    }
    ~DebugPrivilegeOn()
    {
        if (adjusted_) ::AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
    }
    DebugPrivilegeOn(const DebugPrivilegeOn&) = delete;
    DebugPrivilegeOn& operator=(const DebugPrivilegeOn&) = delete;

private:
    UniqueHandle token_;
    TOKEN_PRIVILEGES previous_{};
    bool adjusted_ = false;
};

}  // namespace

ProcessIdList FindHostedProcesses() { return FindHostedProcessesIn(FormsOf(InstallFolder())); }

bool CloseHostedApplication(bool forRemoval)
{
    const DebugPrivilegeOn debug;
    const FolderForms folder = FormsOf(InstallFolder());
    const ProcessIdList running = FindHostedProcessesIn(folder);
    if (running.empty()) return true;
    if (!AskYesNo(Localize(forRemoval ? OpenForRemoval : OpenForUpdate), false, Question::CloseApplication)) {
        return false;
    }
    for (DWORD id : running) {
        UniqueHandle process(::OpenProcess(kEndAccess, FALSE, id));
        // Gone already, or not ours to end: the second search tells which.
        if (!process) continue;
        // The id may have gone to another program since the search: the
        // handle that ends the process is the one whose image was checked.
        if (!RunsFromInside(process.get(), folder)) continue;
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), kWaitPerProcessMs);
    }
    ::Sleep(kSettleMs);
    return FindHostedProcessesIn(folder).empty();
}

}  // namespace quro
