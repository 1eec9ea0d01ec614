// The program's two message boxes: a Yes/No question and a notice with OK.
// Both have no owner, are topmost, come to the foreground and carry the
// localized caption; in Arabic they read right-aligned, right to left.
#pragma once

#include <windows.h>

#include <string>

namespace quro {

// True exactly when the user chose Yes. defaultNo makes No the default button.
bool AskYesNo(const std::wstring& text, bool defaultNo);
// isError picks the error icon, else the information icon.
void ShowMessage(const std::wstring& text, bool isError);

}  // namespace quro
