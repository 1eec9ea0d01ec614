#include "ui/language.h"

#include "base/file_tree.h"
#include "base/hosted_app.h"
#include "base/log.h"
#include "base/plain_file.h"
#include "base/product.h"
#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "ui/run_mode.h"
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
    // Nobody would answer: the run ends as if the chooser had been closed,
    // rather than wait for ever for a click that never comes.
    if (IsUnattended()) {
        Log(L"the language chooser needs a person to answer it: no install (give /install with /quiet or /passive)");
        return std::nullopt;
    }
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
// write, and elevated copies of the setup program read and write it: it is
// used only as a plain file in a plain folder.
UniqueFileHandle OpenLanguageFile(ACCESS_MASK access, ULONG disposition, UniqueFileHandle& folder)
{
    return OpenPlainFile(LanguageFilePath(), access, FILE_SHARE_READ, disposition, folder);
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
