#include "recording_boxes.h"

#include "ui/message_box.h"

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

bool AskYesNo(const std::wstring& text, bool defaultNo)
{
    g_boxes.push_back({text, true, defaultNo});
    if (g_answers.empty()) return false;
    const bool answer = g_answers.front();
    g_answers.pop_front();
    return answer;
}

void ShowMessage(const std::wstring& text, bool isError) { g_boxes.push_back({text, false, isError}); }
