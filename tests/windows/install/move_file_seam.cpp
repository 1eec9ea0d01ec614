// The install's folder renames for the seam tests. Wine renames a folder
// that holds an open file, where Windows refuses; these modes make the
// refusals happen on any platform, at exactly the rename a test names.
#include "install/file_holders_call.h"
#include "install/move_file_call.h"
#include "install/retry_wait_call.h"

#include "move_file_seam.h"

#include <commctrl.h>

#include <string>

using namespace quro;

namespace {

MoveMode g_mode = MoveMode::PassThrough;
HANDLE g_held = INVALID_HANDLE_VALUE;

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsOldFolder(const std::wstring& path) { return path.find(L"\\Quro.old-") != std::wstring::npos; }

std::wstring g_progress;
std::wstring g_waitingStatus;
bool g_moved = false;
unsigned long g_paused = 0;
int g_refusedTries = 0;

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

HWND StatusLine()
{
    const HWND main = ::FindWindowW(L"QuroSetup", nullptr);
    return main ? ::FindWindowExW(main, nullptr, L"Static", nullptr) : nullptr;
}

void SnapshotProgressWindow()
{
    const HWND main = ::FindWindowW(L"QuroSetup", nullptr);
    if (!main) return;
    const HWND status = ::FindWindowExW(main, nullptr, L"Static", nullptr);
    const HWND bar = ::FindWindowExW(main, nullptr, L"msctls_progress32", nullptr);
    const LRESULT position = bar ? ::SendMessageW(bar, PBM_GETPOS, 0, 0) : -1;
    const LRESULT end = bar ? ::SendMessageW(bar, PBM_GETRANGE, FALSE, 0) : -1;
    g_progress = TextOf(main) + L"|" + (status ? TextOf(status) : L"<no status>") + L"|" + std::to_wstring(position) +
                 L"|" + std::to_wstring(end);
}

}  // namespace

void SetMoveMode(MoveMode mode) { g_mode = mode; }

const std::wstring& ProgressAtFirstMove() { return g_progress; }

unsigned long RetryPauseTotal() { return g_paused; }

const std::wstring& StatusWhileWaiting() { return g_waitingStatus; }

namespace quro {

void RetryWaitCall(DWORD milliseconds)
{
    g_paused += milliseconds;
    if (g_waitingStatus.empty() && g_paused >= 5000) {
        const HWND status = StatusLine();
        g_waitingStatus = status ? TextOf(status) : L"<no status line>";
    }
}

std::vector<std::wstring> FileHoldersCall(const std::vector<std::wstring>& files)
{
    if (g_mode == MoveMode::AsideFails && !files.empty()) return {kSeamHolder, kSeamHolder};
    return {};
}

BOOL MoveFileCall(const wchar_t* from, const wchar_t* to, DWORD flags)
{
    if (!g_moved) SnapshotProgressWindow();
    g_moved = true;
    const std::wstring source = from;
    const std::wstring target = to ? to : L"";
    const bool aside = EndsWith(source, L"\\Quro") && IsOldFolder(target);
    const bool intoPlace = EndsWith(source, L"\\Quro.new") && EndsWith(target, L"\\Quro");
    const bool back = IsOldFolder(source) && EndsWith(target, L"\\Quro");
    const bool refuse =
        (g_mode == MoveMode::AsideFails && aside) ||
        ((g_mode == MoveMode::IntoPlaceFails || g_mode == MoveMode::IntoPlaceAndBackFail) && intoPlace) ||
        (g_mode == MoveMode::IntoPlaceAndBackFail && back);
    const bool refuseTwice =
        (g_mode == MoveMode::AsideRefusedTwice && aside) || (g_mode == MoveMode::IntoPlaceRefusedTwice && intoPlace);
    const bool refuseForAWhile = g_mode == MoveMode::AsideRefusedFor10s && aside && g_paused < 10000;
    if (refuse || (refuseTwice && g_refusedTries < 2) || refuseForAWhile) {
        ++g_refusedTries;
        // Both answers Windows gives for a folder with an open file inside.
        ::SetLastError(g_refusedTries % 2 ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const BOOL moved = ::MoveFileExW(from, to, flags);
    if (moved && aside && g_mode == MoveMode::HoldAfterAside) {
        // As if the old program still had its file open: the folder has moved
        // aside, but this file cannot be deleted until the process ends.
        g_held =
            ::CreateFileW((target + L"\\DraloHost.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    return moved;
}

}  // namespace quro
