#include "remove/process_start.h"

#include <windows.h>

#include <vector>

namespace quro {

static_assert(sizeof(STARTUPINFOW) == 104, "STARTUPINFOW as 64-bit Windows lays it out");

StartedProcess StartProcess(const std::wstring& application, const std::wstring& commandLine,
                            const std::wstring& folder, bool hidden)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    // CreateProcessW may write into the command line, so it gets its own buffer.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION started{};
    StartedProcess result;
    if (::CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE, hidden ? CREATE_NO_WINDOW : 0,
                         nullptr, folder.c_str(), &startup, &started)) {
        result.process.reset(started.hProcess);
        result.thread.reset(started.hThread);
    }
    return result;
}

}  // namespace quro
