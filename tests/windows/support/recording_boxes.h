// The message boxes of the test programs that run setup code in-process:
// every MessageBoxW call is recorded instead of shown, and questions take
// their answers from a queue (No once it is empty).
#pragma once

#include <string>
#include <vector>

struct RecordedBox {
    std::wstring text;
    bool question = false;
    bool flag = false;  // defaultNo for a question, isError for a notice
    std::wstring caption;
    unsigned style = 0;
};

void ResetRecordedBoxes();
void AnswerNextQuestions(const std::vector<bool>& answers);
const std::vector<RecordedBox>& RecordedBoxes();
