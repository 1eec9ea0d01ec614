#include "remove/removal.h"

#include <gtest/gtest.h>

#include <string>

using namespace quro;

namespace {

struct InsideCase {
    const wchar_t* ownPath;
    bool inside;
};

TEST(IsInsideInstallFolderTest, ComparesTheFolderTextAsAPrefixInAnyCase)
{
    const std::wstring installFolder = L"C:\\Program Files\\Quro";
    const InsideCase cases[] = {
        {L"C:\\Program Files\\Quro\\Quro-Setup.exe", true},
        {L"C:\\PROGRAM FILES\\QURO\\Quro-Setup.exe", true},
        {L"c:\\program files\\quro\\quro-setup.exe", true},
        // Only the folder's text counts: a sibling whose name begins with it,
        // such as an older temporary folder, is inside and makes another copy.
        {L"C:\\Program Files\\Quro-Remove-123\\Quro-Setup.exe", true},
        {L"C:\\Program Files\\Quro.new\\Quro-Setup.exe", true},
        {L"C:\\Program Files\\Quro", true},
        {L"C:\\Program Files\\Qur", false},
        {L"C:\\Program Files", false},
        {L"", false},
        {L"C:\\Program Files\\Qura\\Quro-Setup.exe", false},
        {L"D:\\Program Files\\Quro\\Quro-Setup.exe", false},
        {L"C:\\Users\\me\\Downloads\\Quro-Setup.exe", false},
        {L"\\\\?\\C:\\Program Files\\Quro\\Quro-Setup.exe", false},
    };
    for (const InsideCase& c : cases) {
        EXPECT_EQ(IsInsideInstallFolder(c.ownPath, installFolder), c.inside)
            << "own path: " << testing::PrintToString(std::wstring(c.ownPath));
    }
}

TEST(IsInsideInstallFolderTest, IgnoresCaseBeyondAscii)
{
    // Program Files may be localized or moved to a folder with non-ASCII letters.
    EXPECT_TRUE(IsInsideInstallFolder(L"C:\\ПРОГРАММЫ\\Quro\\Quro-Setup.exe", L"C:\\Программы\\Quro"));
    EXPECT_TRUE(IsInsideInstallFolder(L"C:\\Ärger\\Quro\\x.exe", L"C:\\ärger\\Quro"));
}

}  // namespace
