// The file list of the unpacked package, and UnpackPackage, the one call
// through which the commands and the install sequence get the packaged files.
#pragma once

#include "package/package_entry.h"

#include <string>

namespace quro {

// Appends one entry per record of UnpackedPackage; empty text on success,
// else "damaged list" or "damaged list (name)".
std::wstring ParseFileList(PackageEntries& entries);

// UnpackContainer, then ParseFileList. Callers pass an empty list and use it
// only when the text is empty.
std::wstring UnpackPackage(PackageEntries& entries);

}  // namespace quro
