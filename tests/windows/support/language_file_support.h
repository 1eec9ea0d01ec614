// The tests write the real language file of the user they run as; this
// keeps what was there and puts it back afterwards.
#pragma once

#include "tests/windows/support/test_files.h"

#include <string>

// The install question as the program composes it, in either language.
std::wstring InstallQuestion(bool arabic);

// The language file's folder.
std::wstring LanguageFolder();

// Moves the whole language folder aside on construction (so the test starts
// without one) and back on destruction, whatever the test left there.
class SavedLanguageFolder : NotCopied {
public:
    SavedLanguageFolder();
    ~SavedLanguageFolder();

private:
    std::wstring folder_, aside_;
    bool moved_ = false;
};
