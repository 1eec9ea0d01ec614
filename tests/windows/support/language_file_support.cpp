#include "tests/windows/support/language_file_support.h"

#include "base/product.h"
#include "ui/language.h"
#include "ui/texts.h"
#include "tests/windows/support/test_files.h"

#include <windows.h>

using namespace quro;

std::wstring LanguageFolder()
{
    const std::wstring path = LanguageFilePath();
    return path.substr(0, path.find_last_of(L'\\'));
}

SavedLanguageFolder::SavedLanguageFolder() : folder_(LanguageFolder()), aside_(LanguageFolder() + L".saved-by-ui-test")
{
    DeleteTree(aside_);
    moved_ = ::MoveFileExW(folder_.c_str(), aside_.c_str(), 0) != FALSE;
}

SavedLanguageFolder::~SavedLanguageFolder()
{
    DeleteTree(folder_);
    if (moved_) ::MoveFileExW(aside_.c_str(), folder_.c_str(), 0);
}

std::wstring InstallQuestion(bool arabic)
{
    return std::wstring(arabic ? InstallQuestionStart.arabic : InstallQuestionStart.english) + kProductVersion +
           (arabic ? InstallQuestionEnd.arabic : InstallQuestionEnd.english);
}
