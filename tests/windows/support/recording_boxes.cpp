#include "tests/windows/support/recording_boxes.h"

#include "ui/message_box_call.h"

#include <deque>

namespace {

std::vector<RecordedBox> g_boxes;
std::deque<bool> g_answers;

}  // namespace

void ResetRecordedBoxes()
{
    g_boxes.clear();
    g_answers.clear();
}

void AnswerNextQuestions(const std::vector<bool>& answers) { g_answers.assign(answers.begin(), answers.end()); }

const std::vector<RecordedBox>& RecordedBoxes() { return g_boxes; }

// Stands in for the program's one MessageBoxW call, so that everything
// above it (texts, captions, styles) runs as in the program.
int MessageBoxCall(HWND, const wchar_t* text, const wchar_t* caption, UINT style)
{
    const bool question = (style & MB_TYPEMASK) == MB_YESNO;
    const bool flag = question ? (style & MB_DEFMASK) == MB_DEFBUTTON2 : (style & MB_ICONMASK) == MB_ICONERROR;
    g_boxes.push_back({text ? text : L"", question, flag, caption ? caption : L"", style});
    if (!question) return IDOK;
    if (g_answers.empty()) return IDNO;
    const bool answer = g_answers.front();
    g_answers.pop_front();
    return answer ? IDYES : IDNO;
}
