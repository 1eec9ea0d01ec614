// The administrator prompt answered No: the shell is asked once for an
// elevated copy, reports the refusal, and the first process ends with exit
// code 1 without starting anything.
#include "app/interactive.h"
#include "app/shell_execute_call.h"
#include "app/token_information_call.h"
#include "base/exit_codes.h"
#include "base/system_paths.h"
#include "tools/driver/driver.h"
#include "tests/windows/support/language_file_support.h"
#include "tests/windows/support/ui_seams.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {
struct ShellRequest {
    std::wstring verb, file, parameters;
};
std::vector<ShellRequest> g_shellRequests;
}  // namespace

// What Windows reports when the user refuses the elevation prompt.
BOOL ShellExecuteCall(SHELLEXECUTEINFOW* info)
{
    g_shellRequests.push_back({info->lpVerb ? info->lpVerb : L"", info->lpFile ? info->lpFile : L"",
                               info->lpParameters ? info->lpParameters : L""});
    ::SetLastError(ERROR_CANCELLED);
    return FALSE;
}

// Every Wine process is elevated: this one's token reads as without rights.
BOOL TokenInformationCall(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD length, DWORD* returned)
{
    const BOOL queried = ::GetTokenInformation(token, kind, information, length, returned);
    if (queried && kind == TokenElevation) static_cast<TOKEN_ELEVATION*>(information)->TokenIsElevated = 0;
    return queried;
}

namespace {

TEST(RefusedAdministratorPrompt, EndsWithExitCode1AndStartsNothing)
{
    struct Row {
        const char* what;
        Command command;
        const wchar_t* argument;    // after the program's own path, if any
        const wchar_t* parameters;  // what the elevated copy would have been given
    };
    // The install path answers the chooser with English and the question with Yes.
    const Row rows[] = {
        {"install", Command::Interactive, nullptr, L"/install en"},
        {"removal", Command::Uninstall, L"/uninstall", L"/uninstall"},
    };
    SavedLanguageFolder saved;
    const std::wstring self = OwnExecutablePath();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_shellRequests.clear();
        g_taskDialogButton = 100;
        ResetRecordedBoxes();
        AnswerNextQuestions({IDYES});
        // The case before leaves the relaunch mark in our environment, as the
        // first process does for the copy it starts; this case is a first process.
        ::SetEnvironmentVariableW(L"QURO_SETUP_RELAUNCHED", nullptr);
        wchar_t* argv[] = {const_cast<wchar_t*>(self.c_str()), const_cast<wchar_t*>(row.argument)};

        EXPECT_EQ(RunInteractiveCommand(row.command, row.argument ? 2 : 1, argv), exit_code::kRefused);
        ASSERT_EQ(g_shellRequests.size(), 1u);
        EXPECT_EQ(g_shellRequests[0].verb, L"runas");
        EXPECT_EQ(g_shellRequests[0].file, self);
        EXPECT_EQ(g_shellRequests[0].parameters, row.parameters);
        EXPECT_TRUE(driver::ProcessesByImageName(self.substr(self.find_last_of(L'\\') + 1)).empty());
    }
}

}  // namespace
