// quro-pack inspect --json and diff --json: what they print, as one JSON
// document for CI scripts (inspect's with each file's SHA-256 besides).
// Part of the command line, not of the library.
#pragma once

#include <string>

#include "verdict.h"

namespace quro_pack {

// Prints the document on stdout, also for a file that is no setup or
// package at all (ok false, and the reason as the verdict). Returns 0 when
// the package is intact and a setup with it would install; else throws
// Failure with its failure text after the document is out, as the plain
// inspect does.
int InspectJson(const std::string& path, const InspectOptions& options);

// Prints the changes and the summary on stdout, the changes one at a time.
// Returns 0 when the two install the same files, 1 when they differ; throws
// Failure when either cannot be read, before anything is printed.
int DiffJson(const std::string& oldPath, const std::string& newPath);

}  // namespace quro_pack
