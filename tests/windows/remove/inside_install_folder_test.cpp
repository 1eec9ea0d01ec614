#include "remove/removal.h"

#include <gtest/gtest.h>

#include <string>

using namespace quro;

namespace {

struct InsideCase {
    const wchar_t* ownPath;
    bool inside;
};

TEST(IsInsideInstallFolderTest, ComparesTheFolderAtASeparatorInAnyCase)
{
    const std::wstring installFolder = L"C:\\Program Files\\Quro";
    const InsideCase cases[] = {
        {L"C:\\Program Files\\Quro\\Quro-Setup.exe", true},
        {L"C:\\PROGRAM FILES\\QURO\\Quro-Setup.exe", true},
        {L"c:\\program files\\quro\\quro-setup.exe", true},
        // A sibling whose name begins with the folder's, such as a temporary
        // folder, is not inside.
        {L"C:\\Program Files\\Quro-Remove-123\\Quro-Setup.exe", false},
        {L"C:\\Program Files\\Quro.new\\Quro-Setup.exe", false},
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

// "/uninstall-temp" counts only for the copy where the removal puts it.
TEST(IsTemporaryCopyPathTest, OnlyTheCopyInATemporaryFolderUnderProgramFiles)
{
    const std::wstring programFiles = L"C:\\Program Files";
    const InsideCase cases[] = {
        {L"C:\\Program Files\\Quro-Remove-123\\Quro-Setup.exe", true},
        {L"c:\\program files\\quro-remove-0\\QURO-SETUP.EXE", true},
        {L"C:\\Program Files\\Quro-Remove-\\Quro-Setup.exe", false},
        {L"C:\\Program Files\\Quro-Remove-12a\\Quro-Setup.exe", false},
        {L"C:\\Program Files\\Quro-Remove-1\\x\\Quro-Setup.exe", false},
        {L"C:\\Program Files\\Quro-Remove-1\\Other.exe", false},
        {L"C:\\Program Files\\Quro\\Quro-Setup.exe", false},
        {L"C:\\Users\\me\\Quro-Remove-1\\Quro-Setup.exe", false},
    };
    for (const InsideCase& c : cases) {
        EXPECT_EQ(IsTemporaryCopyPath(c.ownPath, programFiles), c.inside)
            << "own path: " << testing::PrintToString(std::wstring(c.ownPath));
    }
}

}  // namespace
