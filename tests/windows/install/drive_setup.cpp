#include "drive_setup.h"

#include "app/unique_handles.h"

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    do {
        for (const wchar_t* caption : {L"Quro Host Setup", L"\u0625\u0639\u062F\u0627\u062F Quro Host"}) {
            if (const HWND window = driver::WaitForDialog(caption, 0, processId)) return window;
        }
        ::Sleep(50);
    } while (::GetTickCount64() < end);
    return nullptr;
}

SetupRun DriveSetup(const std::wstring& exe, const std::wstring& args, const std::vector<int>& buttons)
{
    SetupRun run;
    const driver::Started started = driver::StartProgram(exe, args);
    UniqueHandle process(started.process.get());
    if (!process) return run;
    for (int button : buttons) {
        const HWND box = WaitForMessageBox(started.processId, 60000);
        if (!box) break;
        run.boxes.push_back(driver::DescribeWindow(box));
        driver::PressButton(box, button);
        driver::WaitUntilGone(box);
    }
    run.exitCode = driver::WaitForExit(process.get(), 60000);
    if (run.exitCode == driver::kStillRunning) {
        ::TerminateProcess(process.get(), 0xFFFFFFFF);
        ::WaitForSingleObject(process.get(), 10000);
        run.exitCode = 0xFFFFFFFF;
    }
    return run;
}
