#include "tests/windows/support/ui_seams.h"

#include "ui/message_box_call.h"
#include "ui/task_dialog_call.h"
#include "ui/window_station_call.h"

#include <deque>

using namespace quro;

namespace {

std::vector<RecordedBox> g_boxes;
std::deque<int> g_answers;

}  // namespace

std::vector<SeenTaskDialog> g_seenTaskDialogs;
HRESULT g_taskDialogResult = S_OK;
int g_taskDialogButton = 0;
bool g_windowsVisible = true;

void ResetRecordedBoxes()
{
    g_boxes.clear();
    g_answers.clear();
}

void AnswerNextQuestions(const std::vector<int>& buttons) { g_answers.assign(buttons.begin(), buttons.end()); }

const std::vector<RecordedBox>& RecordedBoxes() { return g_boxes; }

namespace quro {

// Stands in for the program's one MessageBoxW call, so that everything
// above it (texts, captions, styles) runs as in the program.
int MessageBoxCall(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style)
{
    const bool question = (style & MB_TYPEMASK) == MB_YESNO;
    const bool flag = question ? (style & MB_DEFMASK) == MB_DEFBUTTON2 : (style & MB_ICONMASK) == MB_ICONERROR;
    g_boxes.push_back({text ? text : L"", question, flag, caption ? caption : L"", style, owner});
    if (g_answers.empty()) return question ? IDNO : IDOK;
    const int answer = g_answers.front();
    g_answers.pop_front();
    return answer;
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

// Session 0 answers with a station that shows nothing; Wine's null driver,
// whose boxes block as they do there, still says it shows.
BOOL WindowStationFlagsCall(USEROBJECTFLAGS* flags)
{
    *flags = USEROBJECTFLAGS{};
    flags->dwFlags = g_windowsVisible ? WSF_VISIBLE : 0;
    return TRUE;
}

}  // namespace quro
