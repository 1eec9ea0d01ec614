// quro-pack inspect --json: what inspect prints, as one JSON document for CI
// scripts, with each file's SHA-256 besides.
#pragma once

#include <string>

namespace quro_pack {

// Prints the document on stdout. Returns 0 when the setup program would
// accept the package; else throws Failure with its failure text after the
// document is out, as the plain inspect does.
int InspectJson(const std::string& path);

}  // namespace quro_pack
