// The install unit tests' entry. The setup program's entry initialises COM
// as a single-threaded apartment before any install code runs; so does this.
//   --link-fixture=FOLDER  a tree with a planted folder link (see link-test.sh)
#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

void SetLinkFixture(const std::wstring& folder);

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg.rfind(L"--link-fixture=", 0) == 0) SetLinkFixture(arg.substr(15));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
