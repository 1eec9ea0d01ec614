// Writing a package's files below a folder, as the setup program's
// /extract-to does on Windows: list order, folders made as needed, existing
// files replaced, nothing deleted.
#pragma once

#include <string>
#include <vector>

#include "package_reader.h"

namespace quro_pack {

// Returns the empty string on success, else "could not write " and the
// entry's name (UTF-8); files written before the failure stay.
std::string ExtractToFolder(const std::string& folder, const std::vector<PackageEntry>& entries);

// One entry of the above: empty on success, else "could not write " and its name.
std::string ExtractEntry(const std::string& folder, const PackageEntry& entry);

}  // namespace quro_pack
