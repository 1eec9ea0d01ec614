// quro-pack diff OLD NEW: what installing NEW over OLD changes in the install
// folder, for release notes and review. Each argument is a package resource
// or a setup executable; both must pass the setup program's checks.
#pragma once

#include <string>

namespace quro_pack {

// Prints the files added, removed and changed (by content) with their sizes,
// then the file counts and unpacked totals before and after. Returns 0 when
// the two install the same files, 1 when they differ, and 2 (after one line
// on stderr) when either cannot be read, as diff(1) does.
int Diff(const std::string& oldPath, const std::string& newPath);

}  // namespace quro_pack
