// Writing the packaged files below a folder.
#pragma once

#include "base/progress_callback.h"
#include "package/package_entry.h"

#include <string>

namespace quro {

// Writes every entry below folder, in list order, creating folders as it
// goes. After each complete file the callback (if any) gets the number of
// files written so far. Returns the failure text, empty on success: "could
// not write " + the entry's name; what was written before stays.
std::wstring ExtractToFolder(const std::wstring& folder, const PackageEntries& entries,
                             const ProgressCallback& progress);

}  // namespace quro
