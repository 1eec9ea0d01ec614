#include "tools/driver/driver.h"

#include "base/unique_handles.h"

#include <commctrl.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cwchar>
#include <mutex>
#include <thread>

namespace driver {

using quro::UniqueFileHandle;
using quro::UniqueHandle;

namespace {

constexpr DWORD kPollMs = 50;
constexpr ULONGLONG kQuietMs = 1500;

std::wstring WindowText(HWND window)
{
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

struct Search {
    const std::wstring* caption;
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    if (!::IsWindowVisible(window)) return TRUE;
    if (search->processId) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        if (pid != search->processId) return TRUE;
    }
    if (WindowText(window) == *search->caption) search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(const std::wstring& caption, DWORD processId)
{
    Search search{&caption, processId, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// EnumChildWindows visits every descendant, not only the direct children:
// the task dialog may host its command links in an inner window.
BOOL CALLBACK CollectDescendant(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> Descendants(HWND window)
{
    std::vector<HWND> all;
    ::EnumChildWindows(window, CollectDescendant, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND DescendantWithId(HWND window, int id)
{
    for (HWND child : Descendants(window))
        if (::GetDlgCtrlID(child) == id) return child;
    return nullptr;
}

bool HasDefaultStyle(HWND button)
{
    const LONG type = ::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_DEFPUSHBUTTON || type == BS_DEFCOMMANDLINK;
}

// Keyboard input goes to the focused control of the window's thread; that is
// where a typed key would arrive.
HWND KeyTarget(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    if (thread && ::GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
        (info.hwndFocus == window || ::IsChild(window, info.hwndFocus)))
        return info.hwndFocus;
    return window;
}

bool PostKey(HWND window, UINT down, UINT up, WPARAM key, LPARAM flags)
{
    if (!::IsWindow(window)) return false;
    const HWND target = KeyTarget(window);
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    const LPARAM base = 1 | (static_cast<LPARAM>(scan) << 16) | flags;
    if (!::PostMessageW(target, down, key, base)) return false;
    // Key up: previous-state and transition bits set. The key down alone may
    // end the window (Alt+F4, Escape, Enter on a dialog) before this is
    // posted, on a busy machine: a key up that finds it gone is no failure.
    ::PostMessageW(target, up, key, base | (1LL << 30) | (1LL << 31));
    return true;
}

std::vector<wchar_t> EnvironmentWithLcAll(const std::wstring& lcAll)
{
    std::vector<wchar_t> block;
    if (wchar_t* strings = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
            const std::wstring text = entry;
            if (text.size() >= 7 && SameTextIgnoringCase(text.substr(0, 7), L"LC_ALL=")) continue;
            block.insert(block.end(), text.begin(), text.end());
            block.push_back(L'\0');
        }
        ::FreeEnvironmentStringsW(strings);
    }
    const std::wstring mine = L"LC_ALL=" + lcAll;
    block.insert(block.end(), mine.begin(), mine.end());
    block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// The filtered token that Windows links to an elevated administrator's, as a
// primary token that a process can be started with.
UniqueHandle TokenWithoutAdministratorRights()
{
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, own.put())) return {};
    TOKEN_LINKED_TOKEN linked{};
    DWORD length = 0;
    if (!::GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof linked, &length)) return {};
    UniqueHandle linkedOwner(linked.LinkedToken);
    UniqueHandle primary;
    if (!::DuplicateTokenEx(linkedOwner.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                            primary.put()))
        return {};
    return primary;
}

std::wstring FileName(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring CommandLineOf(HANDLE process)
{
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return {};
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0 || !basic.PebBaseAddress) return {};
    // The 64-bit layouts: PEB.ProcessParameters at 0x20, and the command
    // line's UNICODE_STRING at 0x70 of the parameters.
    auto read = [&](const void* address, void* into, SIZE_T size) {
        SIZE_T got = 0;
        return ::ReadProcessMemory(process, address, into, size, &got) && got == size;
    };
    const char* parameters = nullptr;
    if (!read(reinterpret_cast<const char*>(basic.PebBaseAddress) + 0x20, &parameters, sizeof parameters) ||
        !parameters)
        return {};
    UNICODE_STRING commandLine{};
    if (!read(parameters + 0x70, &commandLine, sizeof commandLine) || !commandLine.Buffer) return {};
    std::wstring text(commandLine.Length / sizeof(wchar_t), L'\0');
    if (!text.empty() && !read(commandLine.Buffer, text.data(), commandLine.Length)) return {};
    return text;
}

// Under load Wine now and then refuses a start: the new process ends before
// it is set up (ERROR_INTERNAL_ERROR), most often while another copy of the
// same program goes down. A failed start is tried again after a pause (the
// program has not run, so nothing is done twice); one that can never work
// costs three seconds before it is reported.
Started StartRetrying(const std::function<BOOL(PROCESS_INFORMATION&)>& create)
{
    PROCESS_INFORMATION process{};
    for (int attempt = 0; !create(process); ++attempt) {
        if (attempt == 10) return {};
        ::Sleep(300);
    }
    const UniqueHandle thread(process.hThread);
    Started started;
    started.process.reset(process.hProcess);
    started.processId = process.dwProcessId;
    return started;
}

Started Launch(const std::wstring& exe, const std::wstring& arguments, bool withoutAdministratorRights,
               const std::wstring& environmentLcAll)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    std::vector<wchar_t> environment;
    if (!environmentLcAll.empty()) environment = EnvironmentWithLcAll(environmentLcAll);
    void* block = environment.empty() ? nullptr : environment.data();
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT;

    UniqueHandle token;
    if (withoutAdministratorRights) {
        token = TokenWithoutAdministratorRights();
        if (!token) return {};
    }
    return StartRetrying([&](PROCESS_INFORMATION& process) -> BOOL {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!token)
            return ::CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, flags, block, nullptr,
                                    &startup, &process);
        // Windows grants CreateProcessAsUserW only with the right to assign
        // primary tokens; an administrator may always use the token instead.
        return ::CreateProcessAsUserW(token.get(), exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, flags, block,
                                      nullptr, &startup, &process) ||
               ::CreateProcessWithTokenW(token.get(), 0, exe.c_str(), buffer.data(), flags, block, nullptr, &startup,
                                         &process);
    });
}

}  // namespace

HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs, DWORD processId)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        const std::vector<HWND> found = TopLevelWindows(caption, processId);
        if (!found.empty()) return found.front();
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(kPollMs);
    }
}

std::vector<HWND> FindWindows(const std::wstring& caption) { return TopLevelWindows(caption, 0); }

HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs, DWORD processId)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        for (HWND window : TopLevelWindows(caption, processId))
            if (ClassName(window) == L"#32770") return window;
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(kPollMs);
    }
}

bool WaitUntilGone(HWND window, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (::IsWindow(window)) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(25);
    }
    return true;
}

WindowInfo DescribeWindow(HWND window)
{
    WindowInfo info;
    if (!window || !::IsWindow(window)) return info;
    info.window = window;
    info.caption = WindowText(window);
    info.className = ClassName(window);
    info.exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    info.rtlLayout = (info.exStyle & WS_EX_LAYOUTRTL) != 0;
    info.rtlReading = (info.exStyle & WS_EX_RTLREADING) != 0;
    ::GetWindowThreadProcessId(window, &info.processId);
    ::GetWindowRect(window, &info.rect);

    const std::vector<HWND> descendants = Descendants(window);
    if (HWND messageText = ::GetDlgItem(window, 0xFFFF)) {
        info.text = WindowText(messageText);
    } else {
        for (HWND child : descendants) {
            // An icon is a STATIC too, one without text: pass it over.
            if (!SameTextIgnoringCase(ClassName(child), L"Static")) continue;
            info.text = WindowText(child);
            if (!info.text.empty()) break;
        }
    }

    int styledDefault = 0;
    for (HWND child : descendants) {
        if (!SameTextIgnoringCase(ClassName(child), L"Button")) continue;
        const int id = ::GetDlgCtrlID(child);
        if (id == 0) continue;
        if (!styledDefault && HasDefaultStyle(child)) styledDefault = id;
        info.buttons.push_back({id, WindowText(child), false});
    }
    // A dialog knows its default id even when the focus has moved the
    // default look to another button; ask it first.
    // Wine's message box answers IDOK, a button it does not have, and marks
    // the real default only by its style: an id without a button is no answer.
    DWORD_PTR answer = 0;
    info.defaultButton = styledDefault;
    if (info.className == L"#32770" &&
        ::SendMessageTimeoutW(window, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) &&
        HIWORD(answer) == DC_HASDEFID) {
        for (const Button& button : info.buttons)
            if (button.id == static_cast<int>(LOWORD(answer))) info.defaultButton = button.id;
    }
    for (Button& button : info.buttons) button.isDefault = button.id == info.defaultButton;
    return info;
}

bool PressButton(HWND window, int id)
{
    if (!window || !::IsWindow(window)) return false;
    HWND button = DescendantWithId(window, id);
    if (!button) return false;
    DWORD_PTR ignored = 0;
    // A slow handler (the dialog ends and the program goes on working)
    // times the send out after it was delivered: that still is a press.
    if (::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &ignored)) return true;
    return ::GetLastError() == ERROR_TIMEOUT;
}

bool SendEscape(HWND window) { return PostKey(window, WM_KEYDOWN, WM_KEYUP, VK_ESCAPE, 0); }

bool SendEnter(HWND window) { return PostKey(window, WM_KEYDOWN, WM_KEYUP, VK_RETURN, 0); }

bool SendAltF4(HWND window)
{
    // Bit 29: the Alt key is down, which is what makes F4 a close request.
    return PostKey(window, WM_SYSKEYDOWN, WM_SYSKEYUP, VK_F4, 1LL << 29);
}

bool CloseButton(HWND window)
{
    return window && ::IsWindow(window) && ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

Started StartProgram(const std::wstring& exe, const std::wstring& arguments, bool withoutAdministratorRights,
                     const std::wstring& environmentLcAll)
{
    return Launch(exe, arguments, withoutAdministratorRights, environmentLcAll);
}

Started StartCommandLine(const std::wstring& exe, const std::wstring& commandLine, const std::wstring& cwd)
{
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    return StartRetrying([&](PROCESS_INFORMATION& process) -> BOOL {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        return ::CreateProcessW(exe.empty() ? nullptr : exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                cwd.empty() ? nullptr : cwd.c_str(), &startup, &process);
    });
}

DWORD WaitForExit(HANDLE process, DWORD timeoutMs)
{
    if (!process) return kWaitFailed;
    const DWORD waited = ::WaitForSingleObject(process, timeoutMs);
    if (waited == WAIT_TIMEOUT) return kStillRunning;
    if (waited != WAIT_OBJECT_0) return kWaitFailed;
    DWORD code = kWaitFailed;
    if (!::GetExitCodeProcess(process, &code)) return kWaitFailed;
    return code;
}

std::vector<ProcessEntry> ProcessesByImageName(const std::wstring& imageName)
{
    std::vector<ProcessEntry> found;
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != self && SameTextIgnoringCase(entry.szExeFile, imageName))
            found.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    }
    return found;
}

int EndProcessesByImageName(const std::wstring& imageName)
{
    int ended = 0;
    // A copy that is starting its successor while we end it can hand on
    // after our snapshot: sweep until a snapshot comes back empty.
    for (int round = 0; round < 50; ++round) {
        const std::vector<ProcessEntry> running = ProcessesByImageName(imageName);
        if (running.empty()) break;
        for (const ProcessEntry& entry : running) {
            UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.processId));
            if (!process) continue;
            if (::TerminateProcess(process.get(), kEndedByDriver)) ++ended;
            ::WaitForSingleObject(process.get(), 5000);
        }
        ::Sleep(kPollMs);
    }
    return ended;
}

std::wstring ProcessCommandLine(DWORD processId)
{
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    return process ? CommandLineOf(process.get()) : std::wstring();
}

namespace {

// A copy of a test build that waits to be seen (QURO_PAUSE_AT=traced) goes
// on once the event of its id is set; the event is kept until the trace
// ends, so that a copy that asks for it later still finds it set.
UniqueHandle MarkSeen(DWORD processId)
{
    const std::wstring name = L"Local\\QuroTraced-" + std::to_wstring(processId);
    UniqueHandle event(::CreateEventW(nullptr, TRUE, TRUE, name.c_str()));
    if (event) ::SetEvent(event.get());
    return event;
}

}  // namespace

std::vector<TracedProcess> TraceProcesses(const std::wstring& exe, const std::wstring& arguments,
                                          bool withoutAdministratorRights, DWORD timeoutMs,
                                          const std::function<void(DWORD firstProcessId)>& whileRunning)
{
    const std::wstring image = FileName(exe);
    std::vector<DWORD> before;
    for (const ProcessEntry& entry : ProcessesByImageName(image)) before.push_back(entry.processId);

    Started started = StartProgram(exe, arguments, withoutAdministratorRights);
    if (!started.process) return {};

    std::vector<TracedProcess> traced;
    std::vector<UniqueHandle> handles;  // parallel to traced; each keeps its exit code readable
    std::vector<UniqueHandle> seen;     // the events that let copies waiting to be seen go on
    traced.push_back({started.processId, CommandLineOf(started.process.get()), false, kStillRunning});
    handles.push_back(std::move(started.process));
    seen.push_back(MarkSeen(started.processId));

    std::atomic<bool> watching{true};
    std::mutex lock;
    // Polled, not debugged: a debugger changes how Wine starts the helpers of
    // a new process. A copy is opened as soon as a snapshot shows it, and the
    // open handle keeps its exit code after it has ended.
    std::thread watcher([&] {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        ULONGLONG quietSince = 0;
        for (;;) {
            bool anyRunning = false;
            {
                std::lock_guard<std::mutex> guard(lock);
                for (const ProcessEntry& entry : ProcessesByImageName(image)) {
                    const DWORD id = entry.processId;
                    if (std::find(before.begin(), before.end(), id) != before.end()) continue;
                    if (std::any_of(traced.begin(), traced.end(),
                                    [&](const TracedProcess& p) { return p.processId == id; }))
                        continue;
                    UniqueHandle process(::OpenProcess(
                        PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
                    if (!process) continue;
                    traced.push_back({id, CommandLineOf(process.get()), false, kStillRunning});
                    handles.push_back(std::move(process));
                    seen.push_back(MarkSeen(id));
                    quietSince = 0;
                }
                for (size_t i = 0; i < traced.size(); ++i) {
                    if (traced[i].ended) continue;
                    // A process shows in the snapshot a moment before its
                    // parameters are in place: read again until they are.
                    if (traced[i].commandLine.empty()) traced[i].commandLine = CommandLineOf(handles[i].get());
                    if (::WaitForSingleObject(handles[i].get(), 0) == WAIT_OBJECT_0) {
                        traced[i].ended = true;
                        ::GetExitCodeProcess(handles[i].get(), &traced[i].exitCode);
                    } else {
                        anyRunning = true;
                    }
                }
            }
            const ULONGLONG now = ::GetTickCount64();
            if (!anyRunning) {
                // A copy may start its successor just before it ends.
                if (!quietSince) quietSince = now;
                if (now - quietSince >= kQuietMs && !watching) break;
                if (now - quietSince >= kQuietMs && now >= deadline) break;
            } else {
                quietSince = 0;
            }
            if (now >= deadline) {
                std::lock_guard<std::mutex> guard(lock);
                for (size_t i = 0; i < traced.size(); ++i)
                    if (!traced[i].ended) ::TerminateProcess(handles[i].get(), kEndedByDriver);
            }
            ::Sleep(5);
        }
    });

    if (whileRunning) whileRunning(started.processId);
    watching = false;
    watcher.join();
    return traced;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                              nullptr);
    return out;
}

}  // namespace driver
