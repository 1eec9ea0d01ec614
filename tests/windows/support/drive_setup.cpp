#include "drive_setup.h"

#include "base/unique_handles.h"

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

SetupRun DriveSetup(const std::wstring& exe, const std::wstring& args, const std::vector<int>& buttons,
                    const std::wstring& cwd)
{
    return DriveSetupsTogether({{exe, args, buttons, cwd}}).front();
}

std::vector<SetupRun> DriveSetupsTogether(const std::vector<SetupScript>& scripts, DWORD timeoutMs)
{
    std::vector<SetupRun> runs(scripts.size());
    std::vector<driver::Started> started;
    for (const SetupScript& script : scripts) {
        started.push_back(script.cwd.empty() ? driver::StartProgram(script.exe, script.args)
                                             : driver::StartCommandLine(
                                                   script.exe, L"\"" + script.exe + L"\" " + script.args, script.cwd));
    }
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (bool going = true; going && ::GetTickCount64() < end;) {
        going = false;
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            const HANDLE process = started[i].process.get();
            if (!process || ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) continue;
            going = true;
            if (runs[i].boxes.size() == scripts[i].buttons.size()) continue;
            if (const HWND box = WaitForMessageBox(started[i].processId, 0)) {
                runs[i].boxes.push_back(driver::DescribeWindow(box));
                driver::PressButton(box, scripts[i].buttons[runs[i].boxes.size() - 1]);
                driver::WaitUntilGone(box);
            }
        }
        if (going) ::Sleep(50);
    }
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        const HANDLE process = started[i].process.get();
        if (!process) continue;
        runs[i].exitCode = driver::WaitForExit(process, 0);
        if (runs[i].exitCode == driver::kStillRunning) {
            ::TerminateProcess(process, 0xFFFFFFFF);
            ::WaitForSingleObject(process, 10000);
            runs[i].exitCode = 0xFFFFFFFF;
        }
    }
    return runs;
}
