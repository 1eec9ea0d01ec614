// Stand-ins for the program's MessageBoxCall and TaskDialogCall, for the test
// programs that run its code in-process: every box and chooser is recorded
// instead of shown, and answered as the test says. Linked into a test
// program, they keep the library's own out.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

struct RecordedBox {
    std::wstring text;
    bool question = false;  // Yes and No
    bool flag = false;      // defaultNo for a question, isError for a notice
    std::wstring caption;
    UINT style = 0;
    HWND owner = nullptr;
};

// Forgets the boxes and the answers.
void ResetRecordedBoxes();
// The buttons that the next boxes return, in turn; once they are used up, a
// question returns No and a notice OK.
void AnswerNextQuestions(const std::vector<int>& buttons);
const std::vector<RecordedBox>& RecordedBoxes();

struct SeenTaskDialog {
    TASKDIALOGCONFIG config;  // pointers inside it are valid only during the call
    std::wstring title, instruction;
    std::vector<std::pair<int, std::wstring>> buttons;
};

extern std::vector<SeenTaskDialog> g_seenTaskDialogs;
extern HRESULT g_taskDialogResult;
extern int g_taskDialogButton;
// What the window station says: visible, as on a desktop, unless a test
// makes it the station of session 0.
extern bool g_windowsVisible;
