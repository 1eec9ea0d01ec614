// Every sentence the program shows, in English and in Arabic. Each text
// exists here once; Localize picks the form of the current interface
// language at each use and nothing caches it.
#pragma once

#include <string>

namespace quro {

struct TextPair {
    const wchar_t* english;
    const wchar_t* arabic;
};

extern const TextPair SetupCaption;
extern const TextPair InstallQuestionStart;
extern const TextPair InstallQuestionEnd;
extern const TextPair OpenForUpdate;
extern const TextPair OpenForRemoval;
extern const TextPair NothingChanged;
extern const TextPair InstallingStart;
extern const TextPair NotInstalledStart;
extern const TextPair NothingChangedLine;
extern const TextPair InstalledStart;
extern const TextPair InstalledEnd;
extern const TextPair InstalledKeptEnd;
extern const TextPair NoTemporaryCopy;
extern const TextPair RemoveQuestion;
extern const TextPair RemoveDataQuestion;
extern const TextPair RemovedWithRestart;
extern const TextPair Removed;
extern const TextPair WaitingForFiles;

// The form of pair for the current UiLanguage.
std::wstring Localize(const TextPair& pair);

}  // namespace quro
