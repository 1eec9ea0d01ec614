// The interactive commands in-process: how the first argument picks a
// command, the language chooser, the questions and the elevated relaunch,
// with the boxes, the chooser, the token and the shell answered through
// seams. What only the real interface can tell (its close button, Alt+F4, a
// real relaunch) is ui.e2e's.
#include "base/exit_codes.h"
#include "base/product.h"
#include "base/system_paths.h"
#include "ui/language.h"
#include "ui/texts.h"
#include "app/command.h"
#include "app/interactive.h"
#include "app/shell_execute_call.h"
#include "app/token_information_call.h"
#include "tests/windows/support/language_file_support.h"
#include "tests/windows/support/test_files.h"
#include "tests/windows/support/ui_seams.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

using namespace quro;

namespace {
struct ShellRequest {
    std::wstring verb, file, parameters;
    ULONG mask;
};
std::vector<ShellRequest> g_shellRequests;
bool g_elevated = false;
// The exit code of the elevated copy that the shell starts when asked for
// its process; below 0 the user refuses the administrator prompt.
int g_copyExitCode = -1;
}  // namespace

namespace quro {

// What Windows reports when the user refuses the elevation prompt, or a
// copy that ends with the exit code the case says.
BOOL ShellExecuteCall(SHELLEXECUTEINFOW* info)
{
    g_shellRequests.push_back({info->lpVerb ? info->lpVerb : L"", info->lpFile ? info->lpFile : L"",
                               info->lpParameters ? info->lpParameters : L"", info->fMask});
    if (g_copyExitCode < 0) {
        ::SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    std::wstring command = L"cmd.exe /c exit " + std::to_wstring(g_copyExitCode);
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &started))
        return FALSE;
    ::CloseHandle(started.hThread);
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
        info->hProcess = started.hProcess;
    else
        ::CloseHandle(started.hProcess);
    return TRUE;
}

// Every Wine process is elevated: the token reads as the case says.
BOOL TokenInformationCall(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD length, DWORD* returned)
{
    const BOOL queried = ::GetTokenInformation(token, kind, information, length, returned);
    if (queried && kind == TokenElevation) static_cast<TOKEN_ELEVATION*>(information)->TokenIsElevated = g_elevated;
    return queried;
}

}  // namespace quro

namespace {

TEST(Commands, TheFirstArgumentPicksTheCommandExactly)
{
    const std::pair<std::vector<const wchar_t*>, Command> rows[] = {
        {{}, Command::Interactive},
        {{L"/verify"}, Command::Verify},
        {{L"/VERIFY"}, Command::Interactive},
        {{L"/extract-to"}, Command::Interactive},
        {{L"/EXTRACT-TO", L"out"}, Command::Interactive},
        {{L"-extract-to", L"out"}, Command::Interactive},
        {{L"/extract-to:", L"out"}, Command::Interactive},
        {{L"/extract-to", L"C:\\x"}, Command::ExtractTo},
        {{L"/install"}, Command::Install},
        {{L"/quiet", L"ar"}, Command::Install},
        {{L"/passive"}, Command::Install},
        {{L"/Quiet"}, Command::Interactive},
        {{L"/install", L"ar", L"extra"}, Command::Install},
        {{L"/Install"}, Command::Interactive},
        {{L"/installx"}, Command::Interactive},
        {{L"install"}, Command::Interactive},
        {{L"/uninstall"}, Command::Uninstall},
        {{L"/uninstall-temp"}, Command::UninstallTemp},
        {{L"/uninstall-tempx"}, Command::Interactive},
    };
    for (const auto& [arguments, command] : rows) {
        std::vector<wchar_t*> argv = {const_cast<wchar_t*>(L"Quro-Setup.exe")};
        for (const wchar_t* argument : arguments) argv.push_back(const_cast<wchar_t*>(argument));
        EXPECT_EQ(SelectCommand(static_cast<int>(argv.size()), argv.data()), command)
            << testing::PrintToString(arguments.empty() ? L"" : arguments[0]);
    }
}

// One start of the program: its arguments, whether it has administrator
// rights, the language file before, the chooser's answer (0: it must not
// show), the answers to its boxes, and what it must show, start and leave.
struct Row {
    std::vector<const wchar_t*> arguments;
    bool elevated;
    std::optional<std::string> fileBefore;
    int chooser;
    std::vector<int> answers;
    std::vector<std::wstring> boxes;
    const wchar_t* relaunch;  // the elevated copy's parameters; null: nothing started
    int exitCode;
    std::optional<std::string> fileAfter;
    bool relaunched = false;  // started by a relaunch that could not elevate
    bool visible = true;      // false: a window station nobody sees (session 0)
    int copyExitCode = -1;    // the elevated copy's, when one is started and waited for
};

TEST(Interactive, LanguageQuestionsAndRelaunch)
{
    constexpr int kEnglish = 100, kArabic = 101;
    const std::wstring removeEn = RemoveQuestion.english, removeAr = RemoveQuestion.arabic;
    const std::wstring noPackage =
        std::wstring(L"\u0644\u0645 \u064A\u064F\u062B\u0628\u064E\u0651\u062A Quro Host: ") +
        L"the setup program carries no Quro Host";
    const Row rows[] = {
        // The chooser cancelled: nothing stored, asked or started.
        {{}, false, "Ar\r\n", IDCANCEL, {}, {}, nullptr, exit_code::kRefused, "Ar\r\n"},
        // The choice is stored, whatever the file held, and asks in that language.
        {{}, false, "Ar", kEnglish, {IDNO}, {InstallQuestion(false)}, nullptr, exit_code::kRefused, "En"},
        {{}, false, "En", kArabic, {IDNO}, {InstallQuestion(true)}, nullptr, exit_code::kRefused, "Ar"},
        {{}, false, "Arabic\r\nmore", kArabic, {IDNO}, {InstallQuestion(true)}, nullptr, exit_code::kRefused, "Ar"},
        {{}, false, std::nullopt, kEnglish, {IDNO}, {InstallQuestion(false)}, nullptr, exit_code::kRefused, "En"},
        // "/install" takes its language from the command line, exactly "ar",
        // and leaves the file alone.
        {{L"/install", L"ar"}, false, "En", 0, {IDNO}, {InstallQuestion(true)}, nullptr, exit_code::kRefused, "En"},
        {{L"/install", L"ar", L"x"},
         false,
         "En",
         0,
         {IDNO},
         {InstallQuestion(true)},
         nullptr,
         exit_code::kRefused,
         "En"},
        {{L"/install", L"AR"}, false, "Ar", 0, {IDNO}, {InstallQuestion(false)}, nullptr, exit_code::kRefused, "Ar"},
        {{L"/install", L"xyz"}, false, "Ar", 0, {IDNO}, {InstallQuestion(false)}, nullptr, exit_code::kRefused, "Ar"},
        {{L"/install"}, false, "Ar", 0, {IDNO}, {InstallQuestion(false)}, nullptr, exit_code::kRefused, "Ar"},
        // Yes asks the shell for an elevated copy in the language asked in.
        {{L"/install", L"ar"},
         false,
         "En",
         0,
         {IDYES},
         {InstallQuestion(true)},
         L"/install ar",
         exit_code::kRefused,
         "En"},
        {{}, false, "Ar", kEnglish, {IDYES}, {InstallQuestion(false)}, L"/install en", exit_code::kRefused, "En"},
        {{L"/installer"},
         false,
         "En",
         kArabic,
         {IDYES},
         {InstallQuestion(true)},
         L"/install ar",
         exit_code::kRefused,
         "Ar"},
        // A removal asks nothing before its relaunch, always as "/uninstall".
        {{L"/uninstall"}, false, "Ar", 0, {}, {}, L"/uninstall", exit_code::kRefused, "Ar"},
        {{L"/uninstall-temp"}, false, "En", 0, {}, {}, L"/uninstall", exit_code::kRefused, "En"},
        {{L"/uninstall", L"ar"}, false, "En", 0, {}, {}, L"/uninstall", exit_code::kRefused, "En"},
        // A copy that a relaunch started without rights does not relaunch again.
        {{L"/uninstall"}, false, "En", 0, {}, {}, nullptr, exit_code::kRefused, "En", true},
        // With rights, a removal asks in the file's language, never the command line's.
        {{L"/uninstall-temp", L"ar"}, true, "En", 0, {IDNO}, {removeEn}, nullptr, exit_code::kRefused, "En"},
        {{L"/uninstall-temp"}, true, "Ar", 0, {IDNO}, {removeAr}, nullptr, exit_code::kRefused, "Ar"},
        {{L"/uninstall", L"ar"}, true, "En", 0, {IDNO}, {removeEn}, nullptr, exit_code::kRefused, "En"},
        // With rights, the interactive start installs without asking; this
        // program carries no package, which the install reports in the chosen
        // language with the reason in English.
        {{}, true, std::nullopt, kArabic, {}, {noPackage}, nullptr, exit_code::kPackageFailed, "Ar"},
        // Unattended: no chooser and no box; the elevated copy gets the same
        // words, and its exit code is this run's.
        {{L"/install", L"ar", L"/quiet", L"/closeapp"},
         false,
         "En",
         0,
         {},
         {},
         L"/install ar /quiet /closeapp",
         exit_code::kRestartNeeded,
         "En",
         false,
         true,
         exit_code::kRestartNeeded},
        {{L"/quiet"},
         false,
         std::nullopt,
         0,
         {},
         {},
         L"/install en /quiet",
         exit_code::kAnotherSetupRunning,
         std::nullopt,
         false,
         true,
         exit_code::kAnotherSetupRunning},
        {{L"/uninstall", L"/removedata", L"/passive"},
         false,
         "Ar",
         0,
         {},
         {},
         L"/uninstall /passive /removedata",
         exit_code::kRefused,
         "Ar"},
        // An unattended copy still without rights does not relaunch again.
        {{L"/passive"}, false, std::nullopt, 0, {}, {}, nullptr, exit_code::kRefused, std::nullopt, true},
        // Where nobody sees a window, the chooser is not shown and nothing is
        // stored; an install asks nothing and reports nothing in a box.
        {{}, false, "Ar", 0, {}, {}, nullptr, exit_code::kRefused, "Ar", false, false},
        {{L"/install"}, true, std::nullopt, 0, {}, {}, nullptr, exit_code::kPackageFailed, std::nullopt, false, false},
    };
    SavedLanguageFolder saved;
    const std::wstring self = OwnExecutablePath();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(row.arguments.empty() ? L"" : row.arguments[0])
                                        << (row.elevated ? " elevated" : "") << " chooser " << row.chooser);
        DeleteTree(LanguageFolder());
        if (row.fileBefore) {
            ::CreateDirectoryW(LanguageFolder().c_str(), nullptr);
            ASSERT_TRUE(WriteFileText(LanguageFilePath(), *row.fileBefore));
        }
        g_elevated = row.elevated;
        g_windowsVisible = row.visible;
        g_copyExitCode = row.copyExitCode;
        g_shellRequests.clear();
        g_seenTaskDialogs.clear();
        g_taskDialogButton = row.chooser;
        ResetRecordedBoxes();
        AnswerNextQuestions(row.answers);
        ::SetEnvironmentVariableW(L"QURO_SETUP_RELAUNCHED", row.relaunched ? L"1" : nullptr);
        std::vector<wchar_t*> argv = {const_cast<wchar_t*>(self.c_str())};
        for (const wchar_t* argument : row.arguments) argv.push_back(const_cast<wchar_t*>(argument));

        const int argc = static_cast<int>(argv.size());
        EXPECT_EQ(RunInteractiveCommand(SelectCommand(argc, argv.data()), argc, argv.data()), row.exitCode);
        EXPECT_EQ(g_seenTaskDialogs.size(), row.chooser ? 1u : 0u);
        std::vector<std::wstring> texts;
        for (const RecordedBox& box : RecordedBoxes()) texts.push_back(box.text);
        EXPECT_EQ(texts, row.boxes);
        // The first question of every road defaults to Yes.
        if (!RecordedBoxes().empty() && RecordedBoxes()[0].question) {
            EXPECT_FALSE(RecordedBoxes()[0].flag);
        }
        ASSERT_EQ(g_shellRequests.size(), row.relaunch ? 1u : 0u);
        if (row.relaunch) {
            EXPECT_EQ(g_shellRequests[0].verb, L"runas");
            EXPECT_EQ(g_shellRequests[0].file, self);
            EXPECT_EQ(g_shellRequests[0].parameters, row.relaunch);
            // The first process ends, or waits, right after the shell call.
            EXPECT_TRUE(g_shellRequests[0].mask & SEE_MASK_NOASYNC);
        }
        EXPECT_EQ(ReadFileText(LanguageFilePath()), row.fileAfter);
    }
}

}  // namespace
