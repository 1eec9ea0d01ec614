#include "ui/language.h"

#include "base/file_tree.h"
#include "base/hosted_app.h"
#include "base/product.h"
#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "ui/task_dialog_call.h"
#include "ui/texts.h"

#include <windows.h>
#include <commctrl.h>
#include <winternl.h>
#include <shlobj.h>

namespace quro {

namespace {

UiLanguage g_language = UiLanguage::English;

// The chooser is shown before any language is known: its texts are the same
// whatever the language, and its title is the English caption.
constexpr int kEnglishButton = 100;
constexpr int kArabicButton = 101;
constexpr const wchar_t kEnglishLabel[] = L"English";
constexpr const wchar_t kArabicLabel[] = L"العربية";
constexpr WORD kIconGroup = 1;

constexpr char kArabicContent[2] = {'A', 'r'};
constexpr char kEnglishContent[2] = {'E', 'n'};

}  // namespace

UiLanguage CurrentUiLanguage() { return g_language; }

void SetUiLanguage(UiLanguage language) { g_language = language; }

std::optional<UiLanguage> ChooseLanguage()
{
    static_assert(sizeof(TASKDIALOGCONFIG) == 160, "TASKDIALOGCONFIG as 64-bit Windows lays it out");
    const TASKDIALOG_BUTTON buttons[2] = {{kEnglishButton, kEnglishLabel}, {kArabicButton, kArabicLabel}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = nullptr;
    config.hInstance = ::GetModuleHandleW(nullptr);
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_USE_COMMAND_LINKS | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = SetupCaption.english;
    config.pszMainIcon = MAKEINTRESOURCEW(kIconGroup);
    config.pszMainInstruction = kProductName;
    config.cButtons = 2;
    config.pButtons = buttons;
    // Every Arabic variant (0x0401, 0x0C01, ...) shares the primary language.
    config.nDefaultButton = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_ARABIC ? kArabicButton : kEnglishButton;

    int pressed = 0;
    if (FAILED(TaskDialogCall(&config, &pressed))) return UiLanguage::English;
    if (pressed == kEnglishButton) return UiLanguage::English;
    if (pressed == kArabicButton) return UiLanguage::Arabic;
    return std::nullopt;
}

std::wstring LanguageFilePath()
{
    // After a failed lookup the suffix alone remains, which Windows resolves
    // against the root of the current drive.
    return KnownFolderPath(FOLDERID_LocalAppData) + kLanguageFileSuffix;
}

namespace {

// The language file lies in a folder that every program of the user can
// write, and elevated copies of the setup program read and write it: a link
// planted in its place would make them read a pipe that never answers, or
// truncate and write any file on the disk. So the folder and the file are
// opened without following links, the folder is held without delete sharing
// (nobody can rename it or swap it for a link while the file is used), and
// only a regular file with a single link is read or written.
bool IsPlainEntry(HANDLE handle, const std::wstring& path, bool folder)
{
    // Wine shows a link to a folder only in the attributes of its path, not
    // in those of the handle opened on it; Windows shows it in both.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    if (folder) return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks == 1 &&
           ::GetFileType(handle) == FILE_TYPE_DISK;
}

UniqueFileHandle HoldLanguageFolder(const std::wstring& folder)
{
    UniqueFileHandle handle(::CreateFileW(folder.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (handle && !IsPlainEntry(handle.get(), folder, true)) handle.reset();
    return handle;
}

// Opens the language file as a plain file in a plain folder, relative to the
// folder's handle, so that the file is opened in the folder that was checked;
// the folder's handle comes back in folder and must outlive the file's use.
// disposition is FILE_OPEN or FILE_OPEN_IF: never one that truncates, so a
// file that turns out to be a link or to have a second name is left as it was.
UniqueFileHandle OpenLanguageFile(ACCESS_MASK access, ULONG disposition, UniqueFileHandle& folder)
{
    const std::wstring path = LanguageFilePath();
    const size_t slash = path.find_last_of(L'\\');
    folder = HoldLanguageFolder(slash == std::wstring::npos ? L"." : path.substr(0, slash));
    if (!folder) return UniqueFileHandle();
    UniqueFileHandle file = OpenInFolder(folder.get(), path.substr(slash + 1), access | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ, disposition, FILE_NON_DIRECTORY_FILE);
    if (file && !IsPlainEntry(file.get(), path, false)) file.reset();
    return file;
}

// Reading stops after this many bytes of the first line; a first line that
// long ("Ar" and 65,534 spaces or more) reads as English.
constexpr unsigned long long kLongestLine = 65536;

}  // namespace

UiLanguage ReadLanguageFile()
{
    UniqueFileHandle folder;
    UniqueFileHandle file = OpenLanguageFile(GENERIC_READ, FILE_OPEN, folder);
    if (!file) return UiLanguage::English;

    // Only "Ar", possibly behind a byte-order mark, can mean Arabic, so of the
    // first line only its first five bytes and the length it has once
    // trailing carriage returns and spaces are dropped matter. Reading stops
    // as soon as the answer is known, and after kLongestLine bytes at most.
    unsigned char head[5] = {};
    unsigned long long length = 0, trimmed = 0;
    unsigned char chunk[4096];
    DWORD got = 0;
    bool lineEnded = false;
    while (!lineEnded && trimmed <= sizeof head && length < kLongestLine &&
           ::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            const unsigned char byte = chunk[i];
            if (byte == '\n') {
                lineEnded = true;
                break;
            }
            if (length < sizeof head) head[length] = byte;
            ++length;
            if (byte != '\r' && byte != ' ') trimmed = length;
        }
    }
    if (!lineEnded && length >= kLongestLine) return UiLanguage::English;

    const unsigned char* rest = head;
    if (trimmed >= 3 && head[0] == 0xEF) {
        rest += 3;
        trimmed -= 3;
    }
    return trimmed == 2 && rest[0] == 'A' && rest[1] == 'r' ? UiLanguage::Arabic : UiLanguage::English;
}

void WriteLanguageFile()
{
    const std::wstring path = LanguageFilePath();
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 0) CreateFolderChain(path.substr(0, slash));

    UniqueFileHandle folder;
    UniqueFileHandle file = OpenLanguageFile(GENERIC_WRITE, FILE_OPEN_IF, folder);
    if (!file) return;
    if (!::SetEndOfFile(file.get())) return;
    const char* content = CurrentUiLanguage() == UiLanguage::Arabic ? kArabicContent : kEnglishContent;
    DWORD written = 0;
    ::WriteFile(file.get(), content, 2, &written, nullptr);
}

}  // namespace quro
