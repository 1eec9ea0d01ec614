// The entry of removal: the setup copy inside the install folder cannot
// delete the folder it runs from, so it hands the work to a temporary copy.
#pragma once

#include <string>

namespace quro {

// isTemporaryCopy ("/uninstall-temp") counts only for a program that runs as
// a temporary copy (IsTemporaryCopyPath); anywhere else it removes as "/uninstall".
int RunRemoval(bool isTemporaryCopy);
// True when ownPath is installFolder or lies below it, in any letter case.
bool IsInsideInstallFolder(const std::wstring& ownPath, const std::wstring& installFolder);
// True when ownPath is <programFiles>\Quro-Remove-<digits>\Quro-Setup.exe,
// where StartTemporaryCopy puts the copy, in any letter case.
bool IsTemporaryCopyPath(const std::wstring& ownPath, const std::wstring& programFiles);

}  // namespace quro
