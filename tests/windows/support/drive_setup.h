// Running a setup program as a person would: every message box it shows is
// read and answered with the next button of a script.
#pragma once

#include "tools/driver/driver.h"

#include <string>
#include <vector>

struct SetupRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<driver::WindowInfo> boxes;  // in the order shown
};

// The next message box of process (not its progress window, which shares
// the caption); null after timeoutMs.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs);

// One setup program to run: its arguments and the buttons that answer its
// boxes, in order.
struct SetupScript {
    std::wstring exe;
    std::wstring args;
    std::vector<int> buttons;
    std::wstring cwd;  // the working folder it starts in; empty: ours
};

// Starts exe with args, answers the boxes with buttons in order, and waits
// for the exit. A box that does not come ends the run (the process is ended).
SetupRun DriveSetup(const std::wstring& exe, const std::wstring& args, const std::vector<int>& buttons,
                    const std::wstring& cwd = L"");
// Starts every script at once and answers each one's boxes as they come,
// whichever shows first. Each run ends once its own buttons are used up and
// it exits; a run still going after the time given is ended.
std::vector<SetupRun> DriveSetupsTogether(const std::vector<SetupScript>& scripts, DWORD timeoutMs = 120000);
