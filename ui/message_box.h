// The program's two message boxes: a Yes/No question and a notice with OK.
// Both have no owner, are topmost, come to the foreground and carry the
// localized caption; in Arabic they read right-aligned, right to left.
#pragma once

#include "ui/run_mode.h"

#include <windows.h>

#include <string>

namespace quro {

// True exactly when the user chose Yes. defaultNo makes No the default button.
// In a run that nobody answers no box is shown: question's fixed answer is
// taken, and the log gets the text and the answer.
bool AskYesNo(const std::wstring& text, bool defaultNo, Question question);
// isError picks the error icon, else the information icon. The log gets the
// text in any run; a run that nobody answers shows no box.
void ShowMessage(const std::wstring& text, bool isError);

}  // namespace quro
