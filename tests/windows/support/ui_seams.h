// What the unit tests' stand-ins for MessageBoxW and TaskDialogIndirect saw,
// and what they answer.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

struct SeenBox {
    HWND owner;
    std::wstring text, caption;
    UINT style;
};

struct SeenTaskDialog {
    TASKDIALOGCONFIG config;  // pointers inside it are valid only during the call
    std::wstring title, instruction;
    std::vector<std::pair<int, std::wstring>> buttons;
};

extern std::vector<SeenBox> g_seenBoxes;
extern int g_boxAnswer;  // what MessageBoxCall returns

extern std::vector<SeenTaskDialog> g_seenTaskDialogs;
extern HRESULT g_taskDialogResult;
extern int g_taskDialogButton;
