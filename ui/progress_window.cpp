#include "ui/progress_window.h"

#include "base/system_dll.h"
#include "ui/language.h"

#include <commctrl.h>

namespace {

struct ProgressWindow {
    HWND mainWindow = nullptr;
    HWND statusLine = nullptr;
    HWND progressBar = nullptr;
};

ProgressWindow window;

constexpr wchar_t kClassName[] = L"QuroSetup";
// Pixels, not scaled for the display's DPI.
constexpr int kWidth = 560;
constexpr int kHeight = 200;

using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

LRESULT CALLBACK ProgressWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        // The close button, Alt+F4 and the system menu all land here: the
        // install must not be cut off halfway by the user.
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void InitProgressClass()
{
    // comctl32 is outside the Known DLLs, so it comes from System32 at run
    // time rather than from the import table.
    auto init = SystemFunction<InitCommonControlsExFn>(L"comctl32.dll", "InitCommonControlsEx");
    if (!init) return;
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    init(&controls);
}

}  // namespace

void CreateProgressWindow(const std::wstring& title)
{
    InitProgressClass();
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProgressWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    // A second registration in the same process fails and the first class serves.
    ::RegisterClassW(&windowClass);

    const bool arabic = CurrentUiLanguage() == UiLanguage::Arabic;
    window.mainWindow = ::CreateWindowExW(WS_EX_TOPMOST | (arabic ? WS_EX_LAYOUTRTL : 0), kClassName, title.c_str(),
                                          WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, kWidth, kHeight,
                                          nullptr, nullptr, instance, nullptr);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    ::SetWindowPos(window.mainWindow, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    const HGDIOBJ font = ::GetStockObject(DEFAULT_GUI_FONT);
    window.statusLine = ::CreateWindowExW(arabic ? WS_EX_RTLREADING : 0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 20, 20,
                                          510, 60, window.mainWindow, nullptr, instance, nullptr);
    ::SendMessageW(window.statusLine, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
    window.progressBar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 20, 100, 510,
                                           22, window.mainWindow, nullptr, instance, nullptr);
    ::ShowWindow(window.mainWindow, SW_SHOW);
    ::UpdateWindow(window.mainWindow);
}

void SetProgressStatus(const std::wstring& text)
{
    if (window.statusLine) ::SetWindowTextW(window.statusLine, text.c_str());
}

ProgressCallback MakeProgressCallback(std::int32_t total)
{
    return [total](std::int32_t written) {
        if (window.progressBar) {
            // The range goes with every report, so a bar that reset itself
            // still shows the right share.
            ::SendMessageW(window.progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
            ::SendMessageW(window.progressBar, PBM_SETPOS, static_cast<WPARAM>(static_cast<INT_PTR>(written)), 0);
        }
        PumpMessages();
    };
}

void DestroyProgressWindow()
{
    if (!window.mainWindow) return;
    ::DestroyWindow(window.mainWindow);
    window = ProgressWindow{};
    // Takes the quit message of WM_DESTROY off the queue; left there, it
    // would end the next message box before the user could answer it.
    PumpMessages();
}

void PumpMessages()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void PumpMessagesFor(DWORD milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        PumpMessages();
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}
