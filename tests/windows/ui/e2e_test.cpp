// The interactive start of the real setup program (the stub: none of these
// roads needs a package), driven through its windows from this process.
// Started without administrator rights, the program asks and relaunches;
// where the relaunched copy again has no rights (no administrator prompt on
// this system) the tests see that copy too.
#include "base/product.h"
#include "ui/language.h"
#include "ui/texts.h"
#include "tools/driver/driver.h"
#include "tests/windows/support/language_file_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>

using namespace quro;

namespace {

constexpr DWORD kWindowMs = 30000;  // a cold start of the first copy can take 10 s under Wine
constexpr DWORD kExitMs = 30000;
constexpr DWORD kTraceMs = 30000;
constexpr wchar_t kStubImage[] = L"quro-setup-stub.exe";
// The test build that, with QURO_PAUSE_AT=traced, waits at its start until a
// trace has seen it.
constexpr wchar_t kTracedImage[] = L"quro-setup-paused-stub.exe";
constexpr wchar_t kEnglishCaption[] = L"Quro Host Setup";
constexpr wchar_t kArabicCaption[] = L"إعداد Quro Host";

bool g_expectArabicDefault = false;  // set by the run under an Arabic user interface

std::wstring Beside(const wchar_t* image)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + image;
}

std::wstring Stub() { return Beside(kStubImage); }

// The next dialog of that process with the caption (0: of any process);
// the progress window shares the caption but is no dialog.
driver::WindowInfo WaitForDialog(const std::wstring& caption, DWORD processId, DWORD timeoutMs = kWindowMs)
{
    return driver::DescribeWindow(driver::WaitForDialog(caption, timeoutMs, processId));
}

void WaitUntilGone(HWND window) { driver::WaitUntilGone(window); }

bool HasButton(const driver::WindowInfo& info, int id, const std::wstring& text)
{
    for (const driver::Button& button : info.buttons)
        if (button.id == id && button.text == text) return true;
    return false;
}

struct Program {
    driver::Started started;
    DWORD Exit() const { return driver::WaitForExit(started.process.get(), kExitMs); }
};

class InteractiveStartTest : public ::testing::Test {
protected:
    // Whatever a case leaves running (a relaunch chain included) ends here.
    void TearDown() override { driver::EndProcessesByImageName(kStubImage); }
    SavedLanguageFolder saved_;
};

void ExpectChooser(const driver::WindowInfo& info)
{
    EXPECT_EQ(info.caption, kEnglishCaption);
    EXPECT_EQ(info.text, L"Quro Host");
    EXPECT_TRUE(HasButton(info, 100, L"English"));
    EXPECT_TRUE(HasButton(info, 101, L"العربية"));
}

TEST_F(InteractiveStartTest, EveryOtherStartShowsTheChooserAndCancellingItChangesNothing)
{
    enum class Cancel { CloseButton, AltF4 };
    const std::pair<const wchar_t*, Cancel> rows[] = {
        {L"", Cancel::CloseButton},
        {L"/VERIFY", Cancel::AltF4},
    };
    for (const auto& [arguments, cancel] : rows) {
        SCOPED_TRACE(driver::Utf8(arguments));
        ASSERT_TRUE(WriteFileText(LanguageFilePath(), "Ar\r\n"));
        Program run{driver::StartProgram(Stub(), arguments, true)};
        ASSERT_TRUE(run.started.process);
        const driver::WindowInfo chooser = WaitForDialog(kEnglishCaption, run.started.processId);
        ASSERT_TRUE(chooser.window);
        ExpectChooser(chooser);
        if (cancel == Cancel::CloseButton)
            EXPECT_TRUE(driver::CloseButton(chooser.window));
        else
            EXPECT_TRUE(driver::SendAltF4(chooser.window));
        EXPECT_EQ(run.Exit(), 1u);
        EXPECT_EQ(ReadFileText(LanguageFilePath()), "Ar\r\n");
    }
}

// Not under Wine: its task dialog ignores Escape.
TEST_F(InteractiveStartTest, EscapeCancelsTheChooser)
{
    ASSERT_TRUE(WriteFileText(LanguageFilePath(), "En"));
    Program run{driver::StartProgram(Stub(), L"", true)};
    const driver::WindowInfo chooser = WaitForDialog(kEnglishCaption, run.started.processId);
    ASSERT_TRUE(chooser.window);
    EXPECT_TRUE(driver::SendEscape(chooser.window));
    EXPECT_EQ(run.Exit(), 1u);
    EXPECT_EQ(ReadFileText(LanguageFilePath()), "En");
}

TEST_F(InteractiveStartTest, ChooserDefaultFollowsTheUserInterfaceLanguage)
{
    const bool arabic = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_ARABIC;
    if (g_expectArabicDefault) {
        ASSERT_TRUE(arabic) << std::hex << ::GetUserDefaultUILanguage();
    }
    // An existing file does not sway it.
    ASSERT_TRUE(WriteFileText(LanguageFilePath(), arabic ? "En" : "Ar"));
    Program run{driver::StartProgram(Stub(), L"", true)};
    const driver::WindowInfo chooser = WaitForDialog(kEnglishCaption, run.started.processId);
    ASSERT_TRUE(chooser.window);
    EXPECT_EQ(chooser.defaultButton, arabic ? 101 : 100);
    driver::CloseButton(chooser.window);
    EXPECT_EQ(run.Exit(), 1u);
}

TEST_F(InteractiveStartTest, YesRelaunchesWithTheLanguage)
{
    enum class Answer { PressYes, Enter };
    struct Row {
        const wchar_t* arguments;
        int chooserButton;  // 0: no chooser
        Answer answer;
        bool arabic;
    };
    const Row rows[] = {
        {L"/install ar", 0, Answer::PressYes, true},
        {L"", 100, Answer::Enter, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(driver::Utf8(row.arguments));
        const std::wstring caption = row.arabic ? kArabicCaption : kEnglishCaption;
        std::wstring relaunchedText;
        const auto processes = driver::TraceProcesses(Stub(), row.arguments, true, kTraceMs, [&](DWORD first) {
            if (row.chooserButton) {
                const driver::WindowInfo chooser = WaitForDialog(kEnglishCaption, first);
                ASSERT_TRUE(chooser.window);
                driver::PressButton(chooser.window, row.chooserButton);
                WaitUntilGone(chooser.window);
            }
            const driver::WindowInfo question = WaitForDialog(caption, first);
            ASSERT_TRUE(question.window);
            if (row.answer == Answer::Enter)
                driver::SendEnter(question.window);
            else
                driver::PressButton(question.window, IDYES);
            WaitUntilGone(question.window);
            // The relaunched copy, again without rights here, asks once more.
            const driver::WindowInfo again = WaitForDialog(caption, 0);
            ASSERT_TRUE(again.window);
            EXPECT_NE(again.processId, first);
            relaunchedText = again.text;
            driver::PressButton(again.window, IDNO);
        });
        ASSERT_EQ(processes.size(), 2u);
        EXPECT_EQ(processes[0].exitCode, 0u);
        const std::wstring& line = processes[1].commandLine;
        const std::wstring tail = row.arabic ? L"\" /install ar" : L"\" /install en";
        EXPECT_TRUE(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
            << driver::Utf8(line);
        EXPECT_EQ(processes[1].exitCode, 1u);
        EXPECT_EQ(relaunchedText, InstallQuestion(row.arabic));
    }
}

TEST_F(InteractiveStartTest, RemovalRelaunchesWithUninstallAndAsksNothing)
{
    const std::pair<const wchar_t*, const char*> rows[] = {
        {L"/uninstall", "Ar"},
        {L"/uninstall-temp", "En"},
    };
    for (const auto& [arguments, file] : rows) {
        SCOPED_TRACE(driver::Utf8(arguments) + " " + file);
        ASSERT_TRUE(WriteFileText(LanguageFilePath(), file));
        bool sawWindow = false;
        // The relaunched copy ends within moments: each copy waits until the
        // trace has seen it, however busy the machine.
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", L"traced");
        const auto processes = driver::TraceProcesses(Beside(kTracedImage), arguments, true, kTraceMs, [&](DWORD) {
            for (;;) {
                sawWindow = sawWindow || !driver::FindWindows(kEnglishCaption).empty() ||
                            !driver::FindWindows(kArabicCaption).empty();
                if (driver::ProcessesByImageName(kTracedImage).empty()) break;
                ::Sleep(20);
            }
        });
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", nullptr);
        EXPECT_FALSE(sawWindow);
        // The relaunched copy still has no rights: it must not relaunch again.
        ASSERT_EQ(processes.size(), 2u);
        EXPECT_EQ(processes[0].exitCode, 0u);
        const std::wstring& line = processes[1].commandLine;
        const std::wstring tail = L"\" /uninstall";
        EXPECT_TRUE(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
            << driver::Utf8(line);
        EXPECT_EQ(processes[1].exitCode, 1u);
        EXPECT_EQ(ReadFileText(LanguageFilePath()), file);
    }
}

TEST_F(InteractiveStartTest, ElevatedRemovalTakesItsLanguageFromTheFile)
{
    const std::pair<const wchar_t*, bool> rows[] = {{L"/uninstall-temp", true}};
    for (const auto& [arguments, arabic] : rows) {
        SCOPED_TRACE(driver::Utf8(arguments));
        ASSERT_TRUE(WriteFileText(LanguageFilePath(), arabic ? "Ar" : "En"));
        Program run{driver::StartProgram(Stub(), arguments, false)};
        const driver::WindowInfo question =
            WaitForDialog(arabic ? kArabicCaption : kEnglishCaption, run.started.processId);
        ASSERT_TRUE(question.window);
        EXPECT_EQ(question.text, arabic ? RemoveQuestion.arabic : RemoveQuestion.english);
        driver::PressButton(question.window, IDNO);
        EXPECT_EQ(run.Exit(), 1u);
    }
}

TEST_F(InteractiveStartTest, ElevatedInteractiveStartInstallsWithoutAsking)
{
    DeleteTree(LanguageFolder());
    Program run{driver::StartProgram(Stub(), L"", false)};
    const driver::WindowInfo chooser = WaitForDialog(kEnglishCaption, run.started.processId);
    ASSERT_TRUE(chooser.window);
    driver::PressButton(chooser.window, 101);
    WaitUntilGone(chooser.window);
    // The stub carries no package: the install itself reports that.
    const driver::WindowInfo notice = WaitForDialog(kArabicCaption, run.started.processId);
    ASSERT_TRUE(notice.window);
    // The prefix in the chosen language, the reason in English always.
    EXPECT_EQ(notice.text, std::wstring(L"\u0644\u0645 \u064A\u064F\u062B\u0628\u064E\u0651\u062A Quro Host: ") +
                               L"the setup program carries no Quro Host")
        << driver::Utf8(notice.text);
    EXPECT_EQ(ReadFileText(LanguageFilePath()), "Ar");
    driver::PressButton(notice.window, IDOK);
    EXPECT_EQ(run.Exit(), 3u);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::wcscmp(argv[i], L"--expect-arabic-default") == 0) g_expectArabicDefault = true;
    return RUN_ALL_TESTS();
}
