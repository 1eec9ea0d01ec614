// The interface language: the process-wide value, the chooser that an
// interactive start shows, and the file that remembers the choice for removal.
#pragma once

#include <optional>
#include <string>

namespace quro {

enum class UiLanguage { English, Arabic };

// English when the process starts; set at most once per run, before the first
// text that depends on it is shown.
UiLanguage CurrentUiLanguage();
void SetUiLanguage(UiLanguage language);

// The task dialog with "English" and "العربية"; nullopt when it was cancelled
// (close button, Escape, Alt+F4). A dialog that fails counts as English.
std::optional<UiLanguage> ChooseLanguage();

// Local application data + "\DraloHostTrial\language.txt".
std::wstring LanguageFilePath();
// Arabic when the file says exactly "Ar" (after the trimming of line ends,
// trailing spaces and a byte-order mark); English otherwise, silently.
UiLanguage ReadLanguageFile();
// Stores the current language as the two bytes "Ar" or "En"; failures are silent.
void WriteLanguageFile();

}  // namespace quro
