#pragma once

#include <string>

namespace quro {

// Writes one shell link to mainExecutable (working folder installFolder,
// description "Quro Host", icon index 0). Silent on failure. Needs COM.
void CreateShortcut(const std::wstring& linkPath, const std::wstring& mainExecutable,
                    const std::wstring& installFolder);

}  // namespace quro
