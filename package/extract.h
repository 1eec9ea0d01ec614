// Writing the packaged files below a folder.
#pragma once

#include "package/package_entry.h"

#include <string>

// Writes every entry below folder, in list order, creating folders as it
// goes. After each complete file the callback (if any) gets the number of
// files written so far. On failure sets failure to "could not write " + the
// entry's name and returns false; what was written before stays.
bool ExtractToFolder(const std::wstring& folder, const PackageEntries& entries, std::wstring& failure,
                     const ProgressCallback& progress);
