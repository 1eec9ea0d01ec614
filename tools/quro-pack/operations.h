// quro-pack's commands as operations: each takes what the command was given
// and returns what it found (a report, a verdict), or throws Failure with the
// one line that says why it could not. Nothing here prints; the command line
// (main.cpp) formats the results and chooses the exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lzms_buffer.h"
#include "package_reader.h"
#include "package_writer.h"
#include "setup_facts.h"
#include "windows_paths.h"

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
    std::size_t files = 0;
    std::uint64_t outputSize = 0;
};

// The cheap checks first (the output's place, the stub), then the walk and
// its checks, then the reading and compressing. The output appears whole or
// not at all.
PackReport Pack(const PackRequest& request);

// Puts the package of resourcePath (a package resource, or a setup whose
// package is taken over) into a copy of stub. The package must pass the
// setup program's own checks; a file that is not one is refused before
// anything is written.
void Embed(const std::string& resourcePath, const std::string& stub, const std::string& output);

// What inspect finds before the file list: valid while the callbacks run.
struct Inspection {
    SetupFacts facts;
    PackageResource resource;
    std::optional<lzms::BufferInfo> buffer;  // when the header is whole
    const wchar_t* failure = nullptr;        // the setup program's failure text; null: it would unpack
    std::string cause;                       // for the maker: what is wrong with the file, when failure
    bool listRead = false;                   // the container was whole, so the list could be walked
    std::size_t fileCount = 0;               // records read before the end or the first bad one
    std::uint64_t filesTotal = 0;            // their bytes
};

// Reads path as the setup program would, calls summary once, then file for
// each record in list order (up to the first bad one); nothing is kept, so
// memory does not grow with the record count.
void Inspect(const std::string& path, const std::function<void(const Inspection&)>& summary,
             const std::function<void(const PackageEntry&)>& file);

struct UnpackReport {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};

// Verifies the whole package first, as the setup program does, then writes
// its files below folder; on failure nothing this run made remains.
UnpackReport Unpack(const std::string& path, const std::string& folder);

// The warnings of Pack for a walked tree.
std::vector<std::string> TreeWarnings(const std::string& folder, const Tree& tree);

}  // namespace quro_pack
