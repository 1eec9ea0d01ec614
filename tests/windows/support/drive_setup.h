// Running a setup program as a person would: every message box it shows is
// read and answered with the next button of a script.
#pragma once

#include "tools/driver/driver.h"

#include <string>
#include <vector>

struct SetupRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<driver::WindowInfo> boxes;  // in the order shown
    // With followCopy: the exit code of the program that handed over.
    DWORD handedOverExitCode = 0xFFFFFFFF;

    std::vector<std::wstring> Texts() const;
};

// The next message box of the process (of any process: 0), whichever
// language its caption is in; the progress window shares the caption but is
// no dialog. Null after timeoutMs.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs);

// Answers a box with Enter, that is with its default button.
constexpr int kEnter = -1;

// One setup program to run: its arguments and the buttons that answer its
// boxes, in order.
struct SetupScript {
    std::wstring exe;   // empty: the first word of args names the program
    std::wstring args;  // after exe's quoted path; without exe, the whole command line
    std::vector<int> buttons;
    std::wstring cwd = L"";  // the working folder it starts in; empty: ours
    // The boxes come from a copy that the program starts and hands over to:
    // the first box of any process is taken as the copy's, so such a script
    // runs alone.
    bool followCopy = false;
};

// Starts the script's program, answers the boxes with its buttons in order,
// and waits for the exit. A box that does not come ends the run (the
// process is ended).
SetupRun DriveSetup(const SetupScript& script, DWORD timeoutMs = 150000);
// Starts every script at once and answers each one's boxes as they come,
// whichever shows first. Each run ends once its own buttons are used up and
// it exits; a run still going after the time given is ended.
std::vector<SetupRun> DriveSetupsTogether(const std::vector<SetupScript>& scripts, DWORD timeoutMs = 150000);

// Starts exe with arguments (in folder cwd; empty: ours) and waits for its
// exit code; a program still running after the timeout is ended and gives
// 0xFFFFFFFF.
DWORD RunToExit(const std::wstring& exe, const std::wstring& arguments, const std::wstring& cwd = L"",
                DWORD timeoutMs = 60000);
