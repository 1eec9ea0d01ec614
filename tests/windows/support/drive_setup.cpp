#include "tests/windows/support/drive_setup.h"

#include "base/unique_handles.h"

using namespace quro;

namespace {

DWORD EndAfter(HANDLE process, DWORD timeoutMs)
{
    const DWORD code = driver::WaitForExit(process, timeoutMs);
    if (code != driver::kStillRunning) return code;
    ::TerminateProcess(process, 0xFFFFFFFF);
    ::WaitForSingleObject(process, 10000);
    return 0xFFFFFFFF;
}

}  // namespace

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        for (const wchar_t* caption : {L"Quro Host Setup", L"\u0625\u0639\u062F\u0627\u062F Quro Host"}) {
            if (const HWND window = driver::WaitForDialog(caption, 0, processId)) return window;
        }
        if (::GetTickCount64() >= end) return nullptr;
        ::Sleep(50);
    }
}

std::vector<std::wstring> SetupRun::Texts() const
{
    std::vector<std::wstring> texts;
    for (const driver::WindowInfo& box : boxes) texts.push_back(box.text);
    return texts;
}

SetupRun DriveSetup(const SetupScript& script, DWORD timeoutMs)
{
    return DriveSetupsTogether({script}, timeoutMs).front();
}

std::vector<SetupRun> DriveSetupsTogether(const std::vector<SetupScript>& scripts, DWORD timeoutMs)
{
    std::vector<SetupRun> runs(scripts.size());
    std::vector<driver::Started> started;
    for (const SetupScript& script : scripts) {
        started.push_back(
            script.exe.empty() || !script.cwd.empty()
                ? driver::StartCommandLine(script.exe,
                                           script.exe.empty() ? script.args : L"\"" + script.exe + L"\" " + script.args,
                                           script.cwd)
                : driver::StartProgram(script.exe, script.args));
    }
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    // A program that hands over to a copy of itself ends once the copy runs:
    // from the copy's first box on, the run follows the copy.
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        if (!scripts[i].followCopy || !started[i].process) continue;
        const HWND first = WaitForMessageBox(0, 30000);
        const DWORD copyId = first ? driver::DescribeWindow(first).processId : 0;
        runs[i].handedOverExitCode = driver::WaitForExit(started[i].process.get(), 10000);
        started[i] = {
            UniqueHandle(copyId ? ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                                                FALSE, copyId)
                                : nullptr),
            copyId};
    }
    for (bool going = true; going && ::GetTickCount64() < end;) {
        going = false;
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            const HANDLE process = started[i].process.get();
            if (!process || ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) continue;
            going = true;
            if (runs[i].boxes.size() == scripts[i].buttons.size()) continue;
            if (const HWND box = WaitForMessageBox(started[i].processId, 0)) {
                runs[i].boxes.push_back(driver::DescribeWindow(box));
                const int button = scripts[i].buttons[runs[i].boxes.size() - 1];
                if (button == kEnter) {
                    driver::SendEnter(box);
                } else {
                    driver::PressButton(box, button);
                }
                driver::WaitUntilGone(box);
            }
        }
        if (going) ::Sleep(50);
    }
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        if (started[i].process) runs[i].exitCode = EndAfter(started[i].process.get(), 0);
    }
    return runs;
}

DWORD RunToExit(const std::wstring& exe, const std::wstring& arguments, const std::wstring& cwd, DWORD timeoutMs)
{
    const driver::Started started = cwd.empty() ? driver::StartProgram(exe, arguments)
                                                : driver::StartCommandLine(exe, L"\"" + exe + L"\" " + arguments, cwd);
    return started.process ? EndAfter(started.process.get(), timeoutMs) : 0xFFFFFFFF;
}
