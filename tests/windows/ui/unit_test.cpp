// The language file, the texts and the two message boxes in-process: the
// boxes and the chooser go through the test's own MessageBoxCall and
// TaskDialogCall, which record what the program asked for.
#include "ui/language.h"
#include "ui/message_box.h"
#include "ui/run_mode.h"
#include "ui/texts.h"
#include "app/interactive.h"
#include "tests/windows/support/language_file_support.h"
#include "tests/windows/support/ui_seams.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace quro;

namespace {

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUiLanguage(UiLanguage::English);
        ResetRecordedBoxes();
        g_seenTaskDialogs.clear();
        g_taskDialogResult = S_OK;
        g_taskDialogButton = 0;
    }
    void TearDown() override { SetUiLanguage(UiLanguage::English); }

    SavedLanguageFolder saved_;
};

const char* Name(UiLanguage language) { return language == UiLanguage::Arabic ? "Arabic" : "English"; }

TEST_F(LanguageTest, ReadLanguageFile)
{
    struct Row {
        const char* bytes;  // nullptr: no file
        size_t length;
        UiLanguage expected;
    };
#define BYTES(s) s, sizeof(s) - 1
    // clang-format off
    const Row rows[] = {
        {BYTES("Ar"), UiLanguage::Arabic},
        {BYTES("Ar\r\n"), UiLanguage::Arabic},
        {BYTES("Ar   "), UiLanguage::Arabic},
        {BYTES("Ar \r \r"), UiLanguage::Arabic},
        {BYTES("\xEF\xBB\xBF" "Ar"), UiLanguage::Arabic},
        {BYTES("\xEF\xBB\xBF" "Ar\r\n"), UiLanguage::Arabic},
        {BYTES("Ar\nEn"), UiLanguage::Arabic},  // only the first line counts
        {BYTES("En"), UiLanguage::English},
        {BYTES("ar"), UiLanguage::English},
        {BYTES("AR"), UiLanguage::English},
        {BYTES("Arabic"), UiLanguage::English},
        {BYTES(" Ar"), UiLanguage::English},
        {BYTES("A r"), UiLanguage::English},
        {BYTES("\tAr"), UiLanguage::English},
        {BYTES("Ar\t"), UiLanguage::English},
        {BYTES("x\nAr"), UiLanguage::English},
        {BYTES("\nAr"), UiLanguage::English},
        {BYTES("\xEF\xBB\xBF"), UiLanguage::English},
        {BYTES("\xEF\xBB" "Ar"), UiLanguage::English},  // a cut mark is no mark
        {BYTES("A"), UiLanguage::English},
        {BYTES(""), UiLanguage::English},
        {nullptr, 0, UiLanguage::English},
    };
    // clang-format on
#undef BYTES
    for (const Row& row : rows) {
        ::DeleteFileW(LanguageFilePath().c_str());
        if (row.bytes) {
            ASSERT_TRUE(WriteFileText(LanguageFilePath(), std::string(row.bytes, row.length)));
        }
        EXPECT_EQ(ReadLanguageFile(), row.expected)
            << "file: " << (row.bytes ? ::testing::PrintToString(std::string(row.bytes, row.length)) : "(none)");
    }

    // "Ar" followed by more spaces than one read takes in.
    ASSERT_TRUE(WriteFileText(LanguageFilePath(), "Ar" + std::string(10000, ' ') + "\r\nEn"));
    EXPECT_EQ(ReadLanguageFile(), UiLanguage::Arabic);

    DeleteTree(LanguageFolder());
    EXPECT_EQ(ReadLanguageFile(), UiLanguage::English) << "no folder";
}

TEST_F(LanguageTest, WriteLanguageFileStoresExactlyTwoBytes)
{
    struct Row {
        bool folderExists;
        std::string before;
        UiLanguage language;
        std::string after;
    };
    // clang-format off
    const Row rows[] = {
        {false, "", UiLanguage::Arabic, "Ar"},
        {false, "", UiLanguage::English, "En"},
        {true, "Ar", UiLanguage::English, "En"},
        {true, "\xEF\xBB\xBF" "En\r\nsomething longer", UiLanguage::Arabic, "Ar"},
    };
    // clang-format on
    for (const Row& row : rows) {
        DeleteTree(LanguageFolder());
        if (row.folderExists) {
            ASSERT_TRUE(WriteFileText(LanguageFilePath(), row.before));
        }
        SetUiLanguage(row.language);
        WriteLanguageFile();
        EXPECT_EQ(ReadFileText(LanguageFilePath()), row.after) << Name(row.language);
        EXPECT_EQ(ReadLanguageFile(), row.language);
    }
}

// Right to left exactly in Arabic, the second button the default exactly
// when asked, an error icon exactly for errors; every box in front.
TEST_F(LanguageTest, MessageBoxStylesAndCaptions)
{
    for (const UiLanguage language : {UiLanguage::English, UiLanguage::Arabic}) {
        for (const bool question : {true, false}) {
            for (const bool flag : {false, true}) {  // defaultNo or isError
                SCOPED_TRACE(testing::Message() << Name(language) << (question ? " question " : " notice ") << flag);
                SetUiLanguage(language);
                ResetRecordedBoxes();
                if (question)
                    AskYesNo(L"question?", flag, Question::Install);
                else
                    ShowMessage(L"notice.", flag);
                ASSERT_EQ(RecordedBoxes().size(), 1u);
                const RecordedBox& box = RecordedBoxes()[0];
                const bool arabic = language == UiLanguage::Arabic;
                EXPECT_EQ(box.style & (MB_RTLREADING | MB_RIGHT), arabic ? UINT(MB_RTLREADING | MB_RIGHT) : 0u);
                EXPECT_EQ(box.style & MB_TYPEMASK, question ? UINT(MB_YESNO) : UINT(MB_OK));
                EXPECT_EQ(box.style & MB_DEFMASK, question && flag ? UINT(MB_DEFBUTTON2) : UINT(MB_DEFBUTTON1));
                const UINT icon = question ? MB_ICONQUESTION : flag ? MB_ICONERROR : MB_ICONINFORMATION;
                EXPECT_EQ(box.style & MB_ICONMASK, icon);
                EXPECT_EQ(box.style & (MB_SETFOREGROUND | MB_TOPMOST), UINT(MB_SETFOREGROUND | MB_TOPMOST));
                EXPECT_EQ(box.caption, arabic ? L"إعداد Quro Host" : L"Quro Host Setup");
                EXPECT_EQ(box.owner, nullptr);
            }
        }
    }
}

TEST_F(LanguageTest, AskYesNoIsYesOnlyForYes)
{
    const std::pair<int, bool> rows[] = {{IDYES, true}, {IDNO, false}, {0, false}, {IDCANCEL, false}, {IDOK, false}};
    for (const auto& [answer, expected] : rows) {
        AnswerNextQuestions({answer});
        EXPECT_EQ(AskYesNo(L"?", false, Question::Install), expected) << answer;
    }
}

// Nobody answers an unattended run: no box or chooser shows, each question
// takes its fixed answer, and the copies it starts are told the same.
TEST_F(LanguageTest, UnattendedRunsShowNothingAndAnswerThemselves)
{
    const struct {
        RunOptions options;
        std::vector<bool> answers;  // Install, CloseApplication, OpenApplication, Remove, RemoveData
        std::wstring words;
    } rows[] = {
        {{RunMode::Quiet, false, false, L""}, {true, false, false, true, false}, L" /quiet"},
        {{RunMode::Passive, true, true, L"C:\\logs\\"},
         {true, true, false, true, true},
         L" /passive /closeapp /removedata /log \"C:\\logs\\\\\""},
        {{RunMode::Quiet, false, false, L"C:\\a b\\x\"y.log"},
         {true, false, false, true, false},
         L" /quiet /log \"C:\\a b\\x\\\"y.log\""},
    };
    for (const auto& row : rows) {
        SetRunOptions(row.options);
        ResetRecordedBoxes();
        AnswerNextQuestions({IDYES, IDYES, IDYES, IDYES, IDYES});
        std::vector<bool> answers;
        for (const Question q : {Question::Install, Question::CloseApplication, Question::OpenApplication,
                                 Question::Remove, Question::RemoveData}) {
            answers.push_back(AskYesNo(L"?", false, q));
        }
        ShowMessage(L"notice.", true);
        EXPECT_EQ(answers, row.answers);
        EXPECT_TRUE(RecordedBoxes().empty());
        EXPECT_FALSE(ChooseLanguage().has_value());
        EXPECT_EQ(UnattendedWords(), row.words);
    }
    EXPECT_TRUE(g_seenTaskDialogs.empty());
    SetRunOptions({});
    EXPECT_EQ(UnattendedWords(), L"");
}

TEST_F(LanguageTest, ConfirmInstallAsksTheComposedQuestionWithYesAsDefault)
{
    const std::pair<UiLanguage, const wchar_t*> rows[] = {
        {UiLanguage::English,
         L"Install Quro Host 0J.76 on this PC (in Program Files)?\nWindows will ask for permission once. Your "
         L"devices and password are kept."},
        {UiLanguage::Arabic,
         L"هل تريد تثبيت Quro Host 0J.76 على هذا الحاسوب (في مجلد Program Files)؟\nسيطلب Windows الإذن مرة "
         L"واحدة. أجهزتك وكلمة السر كما هي."},
    };
    for (const auto& [language, text] : rows) {
        SetUiLanguage(language);
        ResetRecordedBoxes();
        AnswerNextQuestions({IDYES});
        EXPECT_TRUE(ConfirmInstall());
        ASSERT_EQ(RecordedBoxes().size(), 1u);
        EXPECT_EQ(RecordedBoxes()[0].text, text);
        EXPECT_FALSE(ConfirmInstall()) << "no answer given: No";
    }
}

TEST_F(LanguageTest, ChooserConfiguration)
{
    g_taskDialogButton = 100;
    ChooseLanguage();
    ASSERT_EQ(g_seenTaskDialogs.size(), 1u);
    const SeenTaskDialog& seen = g_seenTaskDialogs[0];
    const TASKDIALOGCONFIG& c = seen.config;
    EXPECT_EQ(c.hwndParent, nullptr);
    EXPECT_TRUE(c.dwFlags & TDF_ALLOW_DIALOG_CANCELLATION) << "the close button, Alt+F4 and Escape cancel";
    EXPECT_EQ(seen.title, L"Quro Host Setup");
    EXPECT_EQ(seen.instruction, L"Quro Host");
    const std::vector<std::pair<int, std::wstring>> buttons = {{100, L"English"}, {101, L"العربية"}};
    EXPECT_EQ(seen.buttons, buttons);
    const int expectedDefault = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_ARABIC ? 101 : 100;
    EXPECT_EQ(c.nDefaultButton, expectedDefault);
}

TEST_F(LanguageTest, ChooserAnswers)
{
    struct Row {
        HRESULT result;
        int button;
        std::optional<UiLanguage> expected;
    };
    const Row rows[] = {
        {S_OK, 100, UiLanguage::English},
        {S_OK, 101, UiLanguage::Arabic},
        {S_OK, IDCANCEL, std::nullopt},
        {S_OK, 0, std::nullopt},
        {E_OUTOFMEMORY, 101, UiLanguage::English},  // a failed dialog counts as English
        {E_NOTIMPL, 0, UiLanguage::English},        // comctl32 without the function
    };
    for (const Row& row : rows) {
        g_taskDialogResult = row.result;
        g_taskDialogButton = row.button;
        EXPECT_EQ(ChooseLanguage(), row.expected) << std::hex << row.result << " " << std::dec << row.button;
    }
}

// Run by plant-language-links.sh once for each thing it plants where the
// language file or its folder belongs: a link to a folder outside, whose
// language.txt says "Ar"; a second name (hard link) of that file; a pipe.
// Following any of them would read Arabic, or overwrite the file outside.
TEST(LanguageFileLinks, NeverFollowed)
{
    const std::wstring outside = L"C:\\quro-language-outside\\language.txt";
    ASSERT_EQ(ReadFileText(outside), std::optional<std::string>("Ar")) << "nothing planted";
    EXPECT_EQ(ReadLanguageFile(), UiLanguage::English);
    SetUiLanguage(UiLanguage::English);
    WriteLanguageFile();
    EXPECT_EQ(ReadFileText(outside), std::optional<std::string>("Ar"));
    EXPECT_EQ(ReadLanguageFile(), UiLanguage::English);
}

}  // namespace
