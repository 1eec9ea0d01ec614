// What inspect says of a package resource or a setup executable: whether
// the package is intact (the setup program's own checks) and whether a
// setup with it would install, with its files walked one at a time so that
// nothing grows with the number of records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common.h"
#include "file_io.h"
#include "package_reader.h"
#include "setup_facts.h"

namespace quro_pack {

// What a verdict asks beyond an intact package that would install.
struct InspectOptions {
    bool strict = false;         // a warning fails it too
    bool requireSigned = false;  // so does a setup without an intact Authenticode signature
};

struct Inspection {
    // Maps the file, unpacks the package and walks its list. Throws Failure
    // only for a file that cannot be read; an executable whose layout is
    // damaged is reported in refusal, a package that fails the checks in
    // failure.
    explicit Inspection(const std::string& path, InspectOptions options = {});

    std::string path;
    InspectOptions options;
    std::string
        refusal;  // why the file cannot be taken at all (a PE image cut short), without the path; empty otherwise
    MappedFile file;
    PackageResource resource;
    SetupFacts facts;
    Bytes unpacked;
    const wchar_t* failure = nullptr;  // the setup program's failure text; null when the package is intact
    std::string cause;                 // with failure: what is wrong with the file, said to its maker
    bool listRead = false;             // the container passed, so the list was walked up to its first bad record
    std::size_t fileCount = 0;         // the records read before the end or the first bad one
    std::uint64_t filesTotal = 0;      // their sizes added up
    std::size_t tooLong = 0;           // of them, those whose path or a folder's path Windows refuses
    // Why an intact package would not install, one line each; empty for a
    // damaged one (that says enough).
    std::vector<std::string> installProblems;
    // What pack and embed warn of in an intact package: no main executable,
    // a name listed again. Errors under options.strict.
    std::vector<std::string> warnings;

    bool intact() const { return failure == nullptr && refusal.empty(); }
    bool ok() const
    {
        return intact() && installProblems.empty() && !(options.strict && !warnings.empty()) &&
               !(options.requireSigned && !SignatureProblem(facts).empty());
    }
    // One line: "ok", what is wrong and what the setup program would say of
    // it, or "would not install: " and the problems.
    std::string Verdict() const;
};

// What is wrong with a resource that fails the setup program's checks
// (failure, its text), said to whoever built it: the setup program's own
// words address the customer ("download it again").
std::string DamageCause(const PackageResource& resource, const wchar_t* failure);

// The records the walk counted, in list order, one at a time, nothing kept.
void ForEachFile(const Inspection& inspection, const std::function<void(const PackageEntry&)>& visit);

}  // namespace quro_pack
