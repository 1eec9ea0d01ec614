// quro-driver: the driver library as a command, for scripts on the build
// host (screenshots, experiments). Lines out are UTF-8.
//
//   quro-driver wait CAPTION [MS]                exit 0 when the window appeared
//   quro-driver describe CAPTION [MS]            caption, class, text, buttons, styles, rect
//   quro-driver dialog CAPTION [MS]              the same, of the dialog (message box, task
//                                                dialog) among the windows of that caption
//   quro-driver press CAPTION ID [MS]            BM_CLICK on the dialog's button with that id
//   quro-driver key CAPTION escape|altf4|enter [MS]
//   quro-driver close CAPTION [MS]               the title bar's close button
//   quro-driver start [--unelevated] [--lc-all=VALUE] EXE [ARG...]        prints the pid
//   quro-driver start-wait [--unelevated] [--lc-all=VALUE] [--timeout=MS] EXE [ARG...]
//                                                exits with the child's exit code
//   quro-driver trace [--unelevated] [--timeout=MS] EXE [ARG...]
//                                                every process of the run: pid, exit code, command line
//   quro-driver end IMAGE                        ends every process of that image name
//   quro-driver cmdline PID                      the command line of a process
//   quro-driver tree CAPTION [MS]                every descendant: handle, class, id, style, text
//   quro-driver list                             every top-level window: handle, pid, visible, caption
//   quro-driver answers CAPTION [MS]             asks the window (not a dialog) over and over
//                                                whether it answers, until it is gone; prints
//                                                the longest wait for an answer, in ms
//
// Window commands wait up to MS (default 10000) for the window; exit code 2
// means it did not appear, 3 that the action failed, 64 a usage error.
#include "tools/driver/driver.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr int kNoWindow = 2;
constexpr int kActionFailed = 3;
constexpr int kUsage = 64;

void PrintLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void Print(const char* key, const std::wstring& value)
{
    std::wstring escaped;
    for (wchar_t c : value) {
        if (c == L'\n')
            escaped += L"\\n";
        else if (c == L'\r')
            escaped += L"\\r";
        else
            escaped += c;
    }
    PrintLine(std::string(key) + "=" + driver::Utf8(escaped));
}

void Print(const char* key, long long value) { PrintLine(std::string(key) + "=" + std::to_string(value)); }

// Quoted as CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

DWORD Milliseconds(int argc, wchar_t** argv, int index)
{
    return index < argc ? static_cast<DWORD>(std::wcstoul(argv[index], nullptr, 10)) : 10000;
}

int Describe(HWND window)
{
    const driver::WindowInfo info = driver::DescribeWindow(window);
    if (!info.window) return kNoWindow;
    Print("caption", info.caption);
    Print("class", info.className);
    Print("text", info.text);
    for (const driver::Button& button : info.buttons)
        PrintLine("button=" + std::to_string(button.id) + (button.isDefault ? " default " : " - ") +
                  driver::Utf8(button.text));
    Print("defaultButton", info.defaultButton);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(info.exStyle));
    PrintLine(std::string("exstyle=") + hex);
    Print("rtlLayout", info.rtlLayout);
    Print("rtlReading", info.rtlReading);
    Print("pid", info.processId);
    const RECT& r = info.rect;
    PrintLine("rect=" + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
              std::to_string(r.bottom));
    // As ImageMagick's -crop takes it.
    PrintLine("crop=" + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "+" +
              std::to_string(r.left) + "+" + std::to_string(r.top));
    return 0;
}

int Start(int argc, wchar_t** argv, bool wait, bool trace)
{
    bool unelevated = false;
    std::wstring lcAll;
    DWORD timeout = INFINITE;
    int i = 2;
    for (; i < argc && std::wcsncmp(argv[i], L"--", 2) == 0; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--unelevated")
            unelevated = true;
        else if (option.rfind(L"--lc-all=", 0) == 0)
            lcAll = option.substr(9);
        else if (option.rfind(L"--timeout=", 0) == 0)
            timeout = std::wcstoul(option.c_str() + 10, nullptr, 10);
        else
            return kUsage;
    }
    if (i >= argc) return kUsage;
    const std::wstring exe = argv[i];
    std::wstring arguments;
    for (++i; i < argc; ++i) arguments += (arguments.empty() ? L"" : L" ") + Quote(argv[i]);
    if (trace) {
        const auto processes =
            driver::TraceProcesses(exe, arguments, unelevated, timeout == INFINITE ? 60000 : timeout, nullptr);
        for (const driver::TracedProcess& process : processes)
            PrintLine("process=" + std::to_string(process.processId) +
                      " exit=" + (process.ended ? std::to_string(process.exitCode) : std::string("running")) + " " +
                      driver::Utf8(process.commandLine));
        return processes.empty() ? kActionFailed : 0;
    }
    driver::Started started = driver::StartProgram(exe, arguments, unelevated, lcAll);
    if (!started.process) return kActionFailed;
    Print("pid", started.processId);
    std::fflush(stdout);
    DWORD code = 0;
    if (wait) code = driver::WaitForExit(started.process.get(), timeout);
    return static_cast<int>(code);
}

BOOL CALLBACK ListWindow(HWND window, LPARAM)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t caption[512] = {};
    ::GetWindowTextW(window, caption, 512);
    char head[64];
    std::snprintf(head, sizeof head, "%p %lu %d ", static_cast<void*>(window), static_cast<unsigned long>(pid),
                  ::IsWindowVisible(window) ? 1 : 0);
    PrintLine(head + driver::Utf8(caption));
    return TRUE;
}

BOOL CALLBACK ListChild(HWND window, LPARAM)
{
    wchar_t name[256] = {}, text[512] = {};
    ::GetClassNameW(window, name, 256);
    ::GetWindowTextW(window, text, 512);
    char head[96];
    std::snprintf(head, sizeof head, "%p parent=%p id=%d style=0x%08lX ", static_cast<void*>(window),
                  static_cast<void*>(::GetParent(window)), ::GetDlgCtrlID(window),
                  static_cast<unsigned long>(::GetWindowLongW(window, GWL_STYLE)));
    PrintLine(head + driver::Utf8(name) + " " + driver::Utf8(text));
    return TRUE;
}

// Windows calls a window hung when it has not taken a message for five
// seconds; a message sent from another thread waits exactly until the
// window's thread drains its queue again, so the longest such wait is the
// longest stretch without draining.
int LongestUnanswered(HWND window)
{
    if (!window) return kNoWindow;
    ULONGLONG longest = 0;
    long long probes = 0;
    while (::IsWindow(window)) {
        const ULONGLONG sent = ::GetTickCount64();
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result) && !::IsWindow(window)) break;
        const ULONGLONG waited = ::GetTickCount64() - sent;
        if (waited > longest) longest = waited;
        ++probes;
        ::Sleep(10);
    }
    Print("probes", probes);
    Print("longest_ms", static_cast<long long>(longest));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && std::wstring(argv[1]) == L"list") return ::EnumWindows(ListWindow, 0) ? 0 : kActionFailed;
    if (argc < 3) return kUsage;
    const std::wstring command = argv[1];
    if (command == L"start") return Start(argc, argv, false, false);
    if (command == L"start-wait") return Start(argc, argv, true, false);
    if (command == L"trace") return Start(argc, argv, false, true);
    if (command == L"end") {
        Print("ended", driver::EndProcessesByImageName(argv[2]));
        return 0;
    }
    if (command == L"cmdline") {
        const std::wstring line = driver::ProcessCommandLine(std::wcstoul(argv[2], nullptr, 10));
        if (line.empty()) return kActionFailed;
        Print("cmdline", line);
        return 0;
    }

    const std::wstring caption = argv[2];
    if (command == L"wait") return driver::WaitForWindow(caption, Milliseconds(argc, argv, 3)) ? 0 : kNoWindow;
    if (command == L"describe") return Describe(driver::WaitForWindow(caption, Milliseconds(argc, argv, 3)));
    if (command == L"dialog") return Describe(driver::WaitForDialog(caption, Milliseconds(argc, argv, 3)));
    if (command == L"tree") {
        HWND window = driver::WaitForWindow(caption, Milliseconds(argc, argv, 3));
        if (!window) return kNoWindow;
        ::EnumChildWindows(window, ListChild, 0);
        return 0;
    }
    if (command == L"answers") return LongestUnanswered(driver::WaitForWindow(caption, Milliseconds(argc, argv, 3)));
    if (command == L"close") {
        HWND window = driver::WaitForWindow(caption, Milliseconds(argc, argv, 3));
        if (!window) return kNoWindow;
        return driver::CloseButton(window) ? 0 : kActionFailed;
    }
    if (argc < 4) return kUsage;
    // Buttons and keys are for the dialog: the progress window shares its caption.
    HWND window = driver::WaitForDialog(caption, Milliseconds(argc, argv, 4));
    if (!window) return kNoWindow;
    if (command == L"press") return driver::PressButton(window, std::wcstol(argv[3], nullptr, 10)) ? 0 : kActionFailed;
    if (command == L"key") {
        const std::wstring key = argv[3];
        bool ok = false;
        if (key == L"escape")
            ok = driver::SendEscape(window);
        else if (key == L"altf4")
            ok = driver::SendAltF4(window);
        else if (key == L"enter")
            ok = driver::SendEnter(window);
        else
            return kUsage;
        return ok ? 0 : kActionFailed;
    }
    return kUsage;
}
