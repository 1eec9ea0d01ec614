// quro-pack's commands as operations: each takes what the command was given
// and returns what it found (a report, a verdict), or throws Failure with the
// one line that says why it could not. Nothing here prints; the command line
// (main.cpp) formats the results and chooses the exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "verdict.h"
#include "package_writer.h"

namespace quro_pack {

struct PackRequest {
    std::string folder;
    std::string output;
    std::string stub;  // setup: the setup program to copy; empty: the package resource alone
    PackOptions options;
};

struct PackReport {
    // What the maker should know about the folder, one line each, without
    // any prefix: empty folders, no main executable, paths Windows refuses.
    std::vector<std::string> warnings;
    PackCounts counts;
    std::uint64_t outputSize = 0;  // the bytes written
};

// The cheap checks first (the output's place, the stub), then the walk and
// its checks (with options.strict, a warning fails the pack here, the
// warnings as the failure's details), then the reading and compressing. The
// output appears whole or not at all.
PackReport Pack(const PackRequest& request);

// Puts the package of resourcePath (a package resource, or a setup whose
// package is taken over) into a copy of stub. The package must pass the
// setup program's own checks; a file that is not one is refused before
// anything is written. Returns the warnings about its list (PackageWarnings);
// with strict, they fail the embed instead, before anything is written.
std::vector<std::string> Embed(const std::string& resourcePath, const std::string& stub, const std::string& output,
                               bool strict = false);

// inspect is the Inspection of verdict.h: the verdict, the counts, and
// the files one at a time.

// Verifies the whole package first, as the setup program does, then writes
// its files below folder; on failure nothing this run made remains.
void Unpack(const std::string& path, const std::string& folder);

}  // namespace quro_pack
