// Stand-ins for the program's MessageBoxCall and TaskDialogCall: defined
// here, they keep the library's out of the link.
#include "tests/windows/support/ui_seams.h"

#include "ui/message_box_call.h"
#include "ui/task_dialog_call.h"

std::vector<SeenBox> g_seenBoxes;
int g_boxAnswer = IDNO;
std::vector<SeenTaskDialog> g_seenTaskDialogs;
HRESULT g_taskDialogResult = S_OK;
int g_taskDialogButton = 0;

int MessageBoxCall(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style)
{
    g_seenBoxes.push_back({owner, text ? text : L"", caption ? caption : L"", style});
    return g_boxAnswer;
}

HRESULT TaskDialogCall(const TASKDIALOGCONFIG* config, int* pressedButton)
{
    SeenTaskDialog seen{*config,
                        config->pszWindowTitle ? config->pszWindowTitle : L"",
                        config->pszMainInstruction ? config->pszMainInstruction : L"",
                        {}};
    for (UINT i = 0; i < config->cButtons; ++i)
        seen.buttons.emplace_back(config->pButtons[i].nButtonID, config->pButtons[i].pszButtonText);
    g_seenTaskDialogs.push_back(std::move(seen));
    if (SUCCEEDED(g_taskDialogResult) && pressedButton) *pressedButton = g_taskDialogButton;
    return g_taskDialogResult;
}
