// The entry of removal: the setup copy inside the install folder cannot
// delete the folder it runs from, so it hands the work to a temporary copy.
#pragma once

#include <string>

namespace quro {

int RunRemoval(bool isTemporaryCopy);
// True when ownPath begins with installFolder's text, in any letter case.
bool IsInsideInstallFolder(const std::wstring& ownPath, const std::wstring& installFolder);

}  // namespace quro
