#include "remove/removal.h"

#include <gtest/gtest.h>

#include <string>

using namespace quro;

namespace {

// Which own paths count as inside the install folder (compared at a
// separator, in any case), and which as the temporary copy, the one place
// where "/uninstall-temp" is honoured.
TEST(IsInsideInstallFolderTest, ComparesAtASeparatorInAnyCaseAndKnowsTheTemporaryCopy)
{
    const std::wstring programFiles = L"C:\\Program Files", installFolder = programFiles + L"\\Quro";
    const struct {
        const wchar_t* ownPath;
        bool inside, temporaryCopy;
    } cases[] = {
        {L"C:\\Program Files\\Quro\\Quro-Setup.exe", true, false},
        {L"C:\\PROGRAM FILES\\QURO\\Quro-Setup.exe", true, false},
        {L"c:\\program files\\quro\\quro-setup.exe", true, false},
        // A sibling whose name begins with the folder's is not inside.
        {L"C:\\Program Files\\Quro-Remove-123\\Quro-Setup.exe", false, true},
        {L"c:\\program files\\quro-remove-0\\QURO-SETUP.EXE", false, true},
        {L"C:\\Program Files\\Quro.new\\Quro-Setup.exe", false, false},
        {L"C:\\Program Files\\Quro", true, false},
        {L"C:\\Program Files\\Qur", false, false},
        {L"C:\\Program Files", false, false},
        {L"", false, false},
        {L"C:\\Program Files\\Qura\\Quro-Setup.exe", false, false},
        {L"D:\\Program Files\\Quro\\Quro-Setup.exe", false, false},
        {L"\\\\?\\C:\\Program Files\\Quro\\Quro-Setup.exe", false, false},
        {L"C:\\Program Files\\Quro-Remove-\\Quro-Setup.exe", false, false},
        {L"C:\\Program Files\\Quro-Remove-12a\\Quro-Setup.exe", false, false},
        {L"C:\\Program Files\\Quro-Remove-1\\x\\Quro-Setup.exe", false, false},
        {L"C:\\Program Files\\Quro-Remove-1\\Other.exe", false, false},
        {L"C:\\Users\\me\\Quro-Remove-1\\Quro-Setup.exe", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.ownPath)));
        EXPECT_EQ(IsInsideInstallFolder(c.ownPath, installFolder), c.inside);
        EXPECT_EQ(IsTemporaryCopyPath(c.ownPath, programFiles), c.temporaryCopy);
    }
}

TEST(IsInsideInstallFolderTest, IgnoresCaseBeyondAscii)
{
    // Program Files may be localized or moved to a folder with non-ASCII letters.
    EXPECT_TRUE(IsInsideInstallFolder(L"C:\\ПРОГРАММЫ\\Quro\\Quro-Setup.exe", L"C:\\Программы\\Quro"));
    EXPECT_TRUE(IsInsideInstallFolder(L"C:\\Ärger\\Quro\\x.exe", L"C:\\ärger\\Quro"));
}

}  // namespace
