// Drives the setup program's windows from another process, as a person
// would: finds a window by its caption, reads its text and buttons, presses a
// button or a key, and starts and ends programs. Plain Win32: the same calls
// work on Windows and under Wine.
//
// All functions are safe to call with a null or vanished window (they then
// report failure or an empty description) and never throw.
#pragma once

#include "base/unique_handles.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace driver {

// A visible top-level window whose caption is exactly caption (and, when
// processId is not 0, that belongs to that process), polled with EnumWindows
// every 50 ms; null when none appeared within timeoutMs. 0 looks once.
HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs, DWORD processId = 0);

// Every visible top-level window with that caption, of any process.
std::vector<HWND> FindWindows(const std::wstring& caption);

// As WaitForWindow, but only a dialog (class #32770: a message box or a task
// dialog) counts, whichever of the windows with that caption it is: the
// setup program's progress window shares the caption and stands beside its
// boxes.
HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs, DWORD processId = 0);

// Polls until window no longer exists; false when it still did after timeoutMs.
bool WaitUntilGone(HWND window, DWORD timeoutMs = 5000);

struct Button {
    int id = 0;  // the control id: IDYES/IDNO/IDOK in a message box, 100/101 for command links
    std::wstring text;
    bool isDefault = false;
};

struct WindowInfo {
    HWND window = nullptr;
    std::wstring caption, className;
    // A message box's text (its static control 0xFFFF); for any other window
    // the text of its first STATIC descendant that has one (a task dialog's
    // main instruction).
    std::wstring text;
    // Every descendant of class Button with a non-zero id, in window order
    // (the task dialog's command links included, wherever they are hosted).
    std::vector<Button> buttons;
    int defaultButton = 0;    // DM_GETDEFID, else the button with a default style; 0 for none
    LONG exStyle = 0;         // GWL_EXSTYLE of the window itself
    bool rtlLayout = false;   // WS_EX_LAYOUTRTL
    bool rtlReading = false;  // WS_EX_RTLREADING
    DWORD processId = 0;
    RECT rect{};  // screen coordinates, as GetWindowRect reports them
};

// An empty WindowInfo (window null) when the window no longer exists.
WindowInfo DescribeWindow(HWND window);

// BM_CLICK on the descendant with that id; false when there is none. The
// click is sent, so when this returns the dialog has seen it.
bool PressButton(HWND window, int id);

// Keys as a person presses them: the key messages are posted to the control
// that has the keyboard focus in the window's thread (the window itself when
// none has), so they pass through the dialog's own message loop and
// IsDialogMessage exactly as typed keys do. Escape and Enter become the
// dialog's IDCANCEL and default-button commands there; Alt+F4 is a
// WM_SYSKEYDOWN with the Alt context bit, which DefWindowProc turns into
// SC_CLOSE unless the window class forbids closing (CS_NOCLOSE). Each returns
// false when the window is gone or the messages could not be posted.
bool SendEscape(HWND window);
bool SendAltF4(HWND window);
bool SendEnter(HWND window);
// The title bar's close button: WM_SYSCOMMAND SC_CLOSE, posted.
bool CloseButton(HWND window);

struct Started {
    // Null when the start failed.
    quro::UniqueHandle process;
    DWORD processId = 0;
};

// Starts exe with the command line "exe" arguments. withoutAdministratorRights
// starts it with the linked (filtered) token of our own, as Windows gives a
// standard user; under Wine, where every process is elevated, that is the one
// way to get a process without rights. A non-empty environmentLcAll sets
// LC_ALL in the child's environment block (Wine takes the user interface
// language from it).
Started StartProgram(const std::wstring& exe, const std::wstring& arguments, bool withoutAdministratorRights = false,
                     const std::wstring& environmentLcAll = L"");
// Starts a whole command line as CreateProcessW does: exe names the program,
// or, when empty, the command line's first word does (as the list of
// installed programs starts a registered command); an empty cwd is ours.
// Both kinds of start try a start that Wine refuses again.
Started StartCommandLine(const std::wstring& exe, const std::wstring& commandLine, const std::wstring& cwd = L"");

// WaitForExit's answer when the process still ran when the time was up, and
// when the handle could not be waited on.
constexpr DWORD kStillRunning = STILL_ACTIVE;  // 259
constexpr DWORD kWaitFailed = 0xFFFFFFFF;
// The exit code of the process, or one of the two values above.
DWORD WaitForExit(HANDLE process, DWORD timeoutMs);

// The exit code that EndProcessesByImageName gives the processes it ends.
constexpr UINT kEndedByDriver = 0xDEAD;

struct ProcessEntry {
    DWORD processId = 0;
    DWORD parentProcessId = 0;
};
// The running processes with that image file name (case-insensitive), ours excluded.
std::vector<ProcessEntry> ProcessesByImageName(const std::wstring& imageName);

// Ends every process with that image name, ours excluded, and repeats until a
// fresh snapshot finds none, so that a chain of relaunching copies cannot
// outrun it; waits for each to end. Returns how many it ended.
int EndProcessesByImageName(const std::wstring& imageName);

// The full command line of another process (read from its process
// parameters); empty when it cannot be read, or the process is gone.
std::wstring ProcessCommandLine(DWORD processId);

// Every copy of a program that one start of it leads to (relaunches
// included): each is seen by a snapshot polled every few milliseconds and
// opened at once, so its command line is read while it runs and its exit
// code is kept after it has ended.
struct TracedProcess {
    DWORD processId = 0;
    std::wstring commandLine;
    bool ended = false;
    DWORD exitCode = kStillRunning;
};

// Starts exe as StartProgram does and follows every new process with the
// same image file name. Meanwhile whileRunning runs on the calling thread,
// given the first process's id, to drive the windows. When it has returned,
// the trace ends as soon as no copy has run for 1.5 seconds; after
// timeoutMs every copy still running is ended with kEndedByDriver (and
// reported as such). The list is in the order the copies were seen, the
// first process first; empty when the start failed. A copy that ends within
// moments can end between two snapshots: the test build started with
// QURO_PAUSE_AT=traced waits at its start until its copy has been seen.
std::vector<TracedProcess> TraceProcesses(const std::wstring& exe, const std::wstring& arguments,
                                          bool withoutAdministratorRights, DWORD timeoutMs,
                                          const std::function<void(DWORD firstProcessId)>& whileRunning);

// UTF-16 to UTF-8, for printing.
std::string Utf8(const std::wstring& text);

}  // namespace driver
