// The progress window, inspected in this very process: it belongs to the
// thread that made it, as it does in the setup program.
#include "ui/progress_window.h"

#include "ui/language.h"
#include "ui/texts.h"

#include <gtest/gtest.h>

#include <commctrl.h>

using namespace quro;

namespace {

HWND FindProgressWindow() { return ::FindWindowW(L"QuroSetup", nullptr); }

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// The children in creation order: status line, then bar.
std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

RECT ClientRectIn(HWND parent, HWND child)
{
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    // Mirrored parents swap left and right when mapping.
    if (r.left > r.right) std::swap(r.left, r.right);
    return r;
}

// Every case in both languages: the layout mirrors in Arabic.
class ProgressWindowTest : public ::testing::TestWithParam<UiLanguage> {
protected:
    void SetUp() override { SetUiLanguage(GetParam()); }
    void TearDown() override
    {
        DestroyProgressWindow();
        SetUiLanguage(UiLanguage::English);
    }
};

bool Arabic() { return CurrentUiLanguage() == UiLanguage::Arabic; }

TEST_P(ProgressWindowTest, IsATopmostCentredWindowWithStatusAndBar)
{
    CreateProgressWindow(Localize(SetupCaption));
    SetProgressStatus(Localize(InstallingStart) + L"0J.76...");
    const HWND window = FindProgressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(TextOf(window), Localize(SetupCaption));

    const LONG style = ::GetWindowLongW(window, GWL_STYLE);
    const LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
              WS_CAPTION | WS_SYSMENU);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_EQ((exStyle & WS_EX_LAYOUTRTL) != 0, Arabic());

    // Sizes are those at 96 DPI, scaled to the window's, centred in the work
    // area of its monitor: 560 x 200 at (680, 440) on the bench's 1920 x 1080
    // screen at 96 DPI, which has no taskbar.
    const UINT dpi = ::GetDpiForWindow(window);
    const auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, static_cast<int>(dpi), 96); };
    RECT outer{};
    ::GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, scaled(560));
    EXPECT_EQ(outer.bottom - outer.top, scaled(200));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& work = monitor.rcWork;
    EXPECT_EQ(outer.left, work.left + (work.right - work.left - scaled(560)) / 2);
    EXPECT_EQ(outer.top, work.top + (work.bottom - work.top - scaled(200)) / 2);

    const std::vector<HWND> children = Children(window);
    ASSERT_EQ(children.size(), 2u);
    const HWND status = children[0];
    const HWND bar = children[1];
    EXPECT_EQ(ClassOf(status), L"Static");
    EXPECT_EQ(ClassOf(bar), L"msctls_progress32");
    EXPECT_EQ(TextOf(status), Arabic() ? Localize(InstallingStart) + L"0J.76..." : L"Installing Quro Host 0J.76...");
    EXPECT_EQ((::GetWindowLongW(status, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0, Arabic());
    EXPECT_EQ(::GetWindowLongW(bar, GWL_EXSTYLE) & WS_EX_RTLREADING, 0);
    EXPECT_TRUE(::GetWindowLongW(bar, GWL_STYLE) & PBS_SMOOTH);
    // The system's message font at the window's DPI.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi));
    LOGFONTW font{};
    ASSERT_TRUE(::GetObjectW(reinterpret_cast<HGDIOBJ>(::SendMessageW(status, WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_EQ(font.lfHeight, metrics.lfMessageFont.lfHeight);
    EXPECT_EQ(std::wstring(font.lfFaceName), std::wstring(metrics.lfMessageFont.lfFaceName));

    const RECT statusRect = ClientRectIn(window, status);
    EXPECT_EQ(statusRect.right - statusRect.left, scaled(510));
    EXPECT_EQ(statusRect.bottom - statusRect.top, scaled(60));
    EXPECT_EQ(statusRect.top, scaled(20));
    const RECT barRect = ClientRectIn(window, bar);
    EXPECT_EQ(barRect.right - barRect.left, scaled(510));
    EXPECT_EQ(barRect.bottom - barRect.top, scaled(22));
    EXPECT_EQ(barRect.top, scaled(100));
}

TEST_P(ProgressWindowTest, BarFollowsTheFilesWritten)
{
    CreateProgressWindow(L"Quro Host Setup");
    const HWND window = FindProgressWindow();
    ASSERT_NE(window, nullptr);
    const HWND bar = Children(window).at(1);
    const ProgressCallback progress = MakeProgressCallback(3);
    for (int written = 1; written <= 3; ++written) {
        progress(written);
        PBRANGE range{};
        ::SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, 0);
        EXPECT_EQ(range.iHigh, 3);
        EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), written);
    }
}

TEST_P(ProgressWindowTest, TheUserCannotCloseIt)
{
    CreateProgressWindow(L"Quro Host Setup");
    const HWND window = FindProgressWindow();
    ASSERT_NE(window, nullptr);
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    // Alt+F4, the close button and the system menu all come as SC_CLOSE.
    ::SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::PostMessageW(window, WM_SYSKEYDOWN, VK_F4, 1 << 29);
    PumpMessages();
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_TRUE(::IsWindowVisible(window));
}

TEST_P(ProgressWindowTest, DestroyingLeavesNoQuitMessageBehind)
{
    CreateProgressWindow(L"Quro Host Setup");
    const HWND window = FindProgressWindow();
    ASSERT_NE(window, nullptr);
    DestroyProgressWindow();
    EXPECT_FALSE(::IsWindow(window));
    MSG message;
    EXPECT_FALSE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "a message box would end at once";
    // Nothing to destroy: nothing happens, and the other calls skip the window.
    DestroyProgressWindow();
    SetProgressStatus(L"ignored");
    MakeProgressCallback(3)(1);
    EXPECT_EQ(FindProgressWindow(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, ProgressWindowTest, ::testing::Values(UiLanguage::English, UiLanguage::Arabic),
                         [](const auto& info) { return info.param == UiLanguage::Arabic ? "Arabic" : "English"; });

}  // namespace
