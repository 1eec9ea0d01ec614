#include "ui/progress_window.h"

#include "base/responsive.h"
#include "base/system_dll.h"
#include "base/unique_handles.h"
#include "ui/language.h"
#include "ui/run_mode.h"

#include <commctrl.h>

#include <utility>

namespace quro {

namespace {

struct ProgressWindow {
    HWND mainWindow = nullptr;
    HWND statusLine = nullptr;
    HWND progressBar = nullptr;
    UniqueFont font;  // empty while the stock font serves
};

ProgressWindow window;

constexpr wchar_t kClassName[] = L"QuroSetup";
// The layout at 96 DPI. The program declares itself per-monitor DPI aware,
// so Windows does not stretch it: at 150 % and more the window would come
// out small, its caption (drawn for the real DPI) eating into the bar. Every
// size is therefore scaled to the window's DPI, and again when the window
// moves to a monitor with another one.
constexpr int kBaseDpi = 96;
constexpr int kWidth = 560;
constexpr int kHeight = 200;
constexpr RECT kStatusLine = {20, 20, 20 + 510, 20 + 60};
constexpr RECT kProgressBar = {20, 100, 20 + 510, 100 + 22};

using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
// Windows 10 version 1607 and later; looked up, so that an older system
// lays the window out at 96 DPI rather than refusing to start the program.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

int Scaled(int pixels, UINT dpi) { return ::MulDiv(pixels, static_cast<int>(dpi), kBaseDpi); }

UINT WindowDpi(HWND hwnd)
{
    const auto dpiFor = SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = dpiFor ? dpiFor(hwnd) : 0;
    return dpi ? dpi : kBaseDpi;
}

// The system's message font at that DPI, the font Windows' own dialogs use
// there; null when it cannot be had, and the stock font serves instead.
HFONT MessageFontFor(UINT dpi)
{
    const auto metricsFor = SystemFunction<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
    if (!metricsFor) return nullptr;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!metricsFor(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) return nullptr;
    return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

void PlaceChild(HWND child, const RECT& at, UINT dpi)
{
    ::SetWindowPos(child, nullptr, Scaled(at.left, dpi), Scaled(at.top, dpi), Scaled(at.right - at.left, dpi),
                   Scaled(at.bottom - at.top, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

// Lays the controls out and gives the status line its font for dpi.
void LayOutFor(UINT dpi)
{
    PlaceChild(window.statusLine, kStatusLine, dpi);
    PlaceChild(window.progressBar, kProgressBar, dpi);
    UniqueFont font(MessageFontFor(dpi));
    const HGDIOBJ shown = font ? static_cast<HGDIOBJ>(font.get()) : ::GetStockObject(DEFAULT_GUI_FONT);
    ::SendMessageW(window.statusLine, WM_SETFONT, reinterpret_cast<WPARAM>(shown), 1);
    // The font shown before goes once the status line has let go of it.
    window.font = std::move(font);
}

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
    case WM_DPICHANGED: {
        // Moved to a monitor with another DPI: Windows suggests the rectangle.
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (hwnd == window.mainWindow) LayOutFor(HIWORD(wParam));
        return 0;
    }
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Sizes the window for dpi and centres it in the work area of its monitor:
// on the monitor Windows created it on (where the user started the setup),
// clear of the taskbar. A work area smaller than the window keeps its
// caption in view.
void PlaceInWorkArea(UINT dpi)
{
    RECT area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(window.mainWindow, MONITOR_DEFAULTTONEAREST), &monitor)) {
        area = monitor.rcWork;
    }
    const int width = Scaled(kWidth, dpi);
    const int height = Scaled(kHeight, dpi);
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    ::SetWindowPos(window.mainWindow, nullptr, x < area.left ? area.left : x, y < area.top ? area.top : y, width,
                   height, SWP_NOZORDER | SWP_NOACTIVATE);
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
    // A quiet run shows nothing at all; the other operations skip a window
    // that does not exist.
    if (CurrentRunOptions().mode == RunMode::Quiet) return;
    // From here the lower layers' long steps drain the queue between pieces.
    SetResponsiveHook(&PumpMessages);
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
    // Created hidden where Windows places a new window, with that monitor's
    // DPI; sized for it and centred in its work area. A window that the move
    // took onto a monitor of another DPI is placed again at that one, so
    // that the first layout below already has the DPI the window shows with.
    const UINT createdDpi = WindowDpi(window.mainWindow);
    PlaceInWorkArea(createdDpi);
    const UINT dpi = WindowDpi(window.mainWindow);
    if (dpi != createdDpi) PlaceInWorkArea(dpi);

    window.statusLine = ::CreateWindowExW(arabic ? WS_EX_RTLREADING : 0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                          0, window.mainWindow, nullptr, instance, nullptr);
    window.progressBar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0, 0, 0, 0,
                                           window.mainWindow, nullptr, instance, nullptr);
    LayOutFor(dpi);
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

void WaitPumping(HANDLE object)
{
    for (;;) {
        PumpMessages();
        // Woken by a message: drain it and wait on; signalled, or a handle
        // that cannot be waited on: done.
        if (::MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 + 1) return;
    }
}

}  // namespace quro
