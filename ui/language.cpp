#include "ui/language.h"

#include "app/unique_handles.h"
#include "hosted/hosted_app.h"
#include "install/file_tree.h"
#include "install/locations.h"
#include "install/product.h"
#include "ui/task_dialog_call.h"
#include "ui/texts.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

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

std::wstring Localize(const TextPair& pair)
{
    return CurrentUiLanguage() == UiLanguage::Arabic ? pair.arabic : pair.english;
}

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
    config.nDefaultButton =
        PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_ARABIC ? kArabicButton : kEnglishButton;

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

UiLanguage ReadLanguageFile()
{
    UniqueFileHandle file(::CreateFileW(LanguageFilePath().c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return UiLanguage::English;

    // Only "Ar", possibly behind a byte-order mark, can mean Arabic, so of the
    // first line only its first five bytes and the length it has once
    // trailing carriage returns and spaces are dropped matter. The line is
    // read in pieces and never held whole, whatever the file's size.
    unsigned char head[5] = {};
    unsigned long long length = 0, trimmed = 0;
    unsigned char chunk[4096];
    DWORD got = 0;
    bool lineEnded = false;
    while (!lineEnded && ::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
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

    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    const char* content = CurrentUiLanguage() == UiLanguage::Arabic ? kArabicContent : kEnglishContent;
    DWORD written = 0;
    ::WriteFile(file.get(), content, 2, &written, nullptr);
}
