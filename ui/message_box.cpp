#include "ui/message_box.h"

#include "base/log.h"
#include "ui/language.h"
#include "ui/message_box_call.h"
#include "ui/texts.h"

namespace quro {

namespace {

constexpr UINT kCommonStyle = MB_SETFOREGROUND | MB_TOPMOST;
constexpr UINT kRightToLeft = MB_RIGHT | MB_RTLREADING;

UINT LanguageStyle() { return CurrentUiLanguage() == UiLanguage::Arabic ? kRightToLeft : 0; }

UINT AskYesNoStyle(bool defaultNo)
{
    return MB_YESNO | MB_ICONQUESTION | kCommonStyle | LanguageStyle() | (defaultNo ? MB_DEFBUTTON2 : 0);
}

UINT ShowMessageStyle(bool isError)
{
    return MB_OK | kCommonStyle | LanguageStyle() | (isError ? MB_ICONERROR : MB_ICONINFORMATION);
}

}  // namespace

bool AskYesNo(const std::wstring& text, bool defaultNo, Question question)
{
    const bool unattended = IsUnattended();
    // A failed box (0) is no Yes: every caller takes that as No.
    const bool yes = unattended ? FixedAnswer(question)
                                : MessageBoxCall(nullptr, text.c_str(), Localize(SetupCaption).c_str(),
                                                 AskYesNoStyle(defaultNo)) == IDYES;
    Log(L"asked: " + text + (yes ? L" -> yes" : L" -> no") + (unattended ? L" (unattended)" : L""));
    return yes;
}

void ShowMessage(const std::wstring& text, bool isError)
{
    Log((isError ? L"failure: " : L"message: ") + text);
    if (IsUnattended()) return;
    MessageBoxCall(nullptr, text.c_str(), Localize(SetupCaption).c_str(), ShowMessageStyle(isError));
}

}  // namespace quro
