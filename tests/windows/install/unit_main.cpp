// The install unit tests' entry. The setup program's entry initialises COM
// as a single-threaded apartment before any install code runs; so does this.
//   --arabic               run with Arabic as the interface language
//   --link-fixture=FOLDER  a tree with a planted folder link (see link-test.sh)
//   --show-progress=MS     only show the progress window for MS milliseconds
#include "ui/language.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cwchar>
#include <string>

void SetLinkFixture(const std::wstring& folder);
void ShowProgressWindowFor(DWORD milliseconds);

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    long showFor = -1;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--arabic") SetUiLanguage(UiLanguage::Arabic);
        if (arg.rfind(L"--link-fixture=", 0) == 0) SetLinkFixture(arg.substr(15));
        if (arg.rfind(L"--show-progress=", 0) == 0) showFor = std::wcstol(arg.c_str() + 16, nullptr, 10);
    }
    if (showFor >= 0) {
        ShowProgressWindowFor(static_cast<DWORD>(showFor));
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
