// A stand-in for the hosted application, so that the setup program can be
// built, installed, updated and removed end to end without the real one.
// It keeps to what the setup program relies on: a window that stays open
// until the user closes it, a few files in the data folders, and a
// "--screen-remove" call that clears those files and ends by itself without
// a window. Every clean-up call is recorded, so tests can tell that the
// setup program made it, from where, and with which window settings.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    wchar_t* path = nullptr;
    std::wstring result;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
    ::CoTaskMemFree(path);
    return result;
}

struct DataFile {
    REFKNOWNFOLDERID base;
    const wchar_t* folder;
    const wchar_t* file;
    const char* content;
};

// What the sample keeps in the hosted application's data folders.
const DataFile kDataFiles[] = {
    {FOLDERID_LocalAppData, L"\\DraloSecure", L"\\devices.txt", "paired: sample-phone\r\n"},
    {FOLDERID_LocalAppData, L"\\DraloTransferSecure", L"\\transfers.txt", "none\r\n"},
    {FOLDERID_LocalAppData, L"\\DraloHostTrial", L"\\trial.txt", "days left: 30\r\n"},
    {FOLDERID_ProgramData, L"\\DraloSecure", L"\\password.txt", "sample-password-hash\r\n"},
};

void WriteText(const std::wstring& path, const std::string& text, bool append)
{
    HANDLE file = ::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string Utf8(const std::wstring& text)
{
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void CreateDataFiles()
{
    for (const DataFile& d : kDataFiles) {
        const std::wstring folder = KnownFolder(d.base) + d.folder;
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring path = folder + d.file;
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) WriteText(path, d.content, false);
    }
}

int ScreenRemove()
{
    wchar_t own[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, own, MAX_PATH);
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const bool hidden = (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE;

    const std::wstring records = KnownFolder(FOLDERID_ProgramData) + L"\\QuroSample";
    ::CreateDirectoryW(records.c_str(), nullptr);
    const std::wstring line = std::wstring(L"exe=") + own + L"|cwd=" + current + L"|hidden=" + (hidden ? L"1" : L"0") +
                              L"|console=" + (::GetConsoleWindow() ? L"1" : L"0") + L"\r\n";
    WriteText(records + L"\\cleanup-calls.txt", Utf8(line), true);

    for (const DataFile& d : kDataFiles) {
        ::DeleteFileW((KnownFolder(d.base) + d.folder + d.file).c_str());
    }
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--screen-remove") == 0) return ScreenRemove();
    }

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CreateDataFiles();

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"QuroSampleHost";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, SAMPLE_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                    CW_USEDEFAULT, 420, 160, nullptr, nullptr, instance, nullptr);
    HWND label = ::CreateWindowExW(0, L"STATIC", L"The sample hosted application is running.", WS_CHILD | WS_VISIBLE,
                                   16, 16, 380, 40, window, nullptr, instance, nullptr);
    ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    ::ShowWindow(window, show);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
