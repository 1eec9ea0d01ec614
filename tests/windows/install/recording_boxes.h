// The message boxes of the test programs that run setup code in-process:
// every box is recorded instead of shown, and questions take their answers
// from a queue (No once it is empty).
#pragma once

#include <string>
#include <vector>

struct RecordedBox {
    std::wstring text;
    bool question = false;
    bool flag = false;  // defaultNo for a question, isError for a notice
};

void ResetRecordedBoxes();
void AnswerNextQuestions(const std::vector<bool>& answers);
const std::vector<RecordedBox>& RecordedBoxes();
