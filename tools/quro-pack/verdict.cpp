#include "verdict.h"

#include "format/container_format.h"
#include "format/file_list_rules.h"
#include "windows_paths.h"

namespace quro_pack {

std::string DamageCause(const PackageResource& r, const wchar_t* failure)
{
    using namespace package_format;
    if (failure == kNoPackage)
        return "it carries no package (no RCDATA 101): a stub on its own, or a program quro-pack did not make";
    if (failure == kDamagedSize)
        return "the package header's unpacked size, " + std::to_string(ReadLe64(r.data + kSizeOffset)) +
               ", lies outside 1 to 2 GiB";
    if (failure == kDamaged && CheckHeader(r.data, r.size))
        return "the package resource (" + std::to_string(r.size) +
               " bytes) does not start with a package header (QUROSET1); it is not a package quro-pack wrote";
    if (failure == kDamaged)
        return "the compressed stream does not unpack to the size its header states: the file was cut short or "
               "altered after quro-pack wrote it";
    if (failure == kDamagedDigest)
        return "the unpacked bytes do not match the header's SHA-256: the file was altered after quro-pack wrote it";
    if (failure == kNoDecompressor) return "this machine has no LZMS decompressor";
    if (failure == file_list::kDamagedName)
        return "the file list holds a name the setup program refuses (empty, \"..\", \":\" or a leading separator)";
    return "the file list is cut short: its count or a record runs past the unpacked bytes";
}

Inspection::Inspection(const std::string& path_, InspectOptions options_) : path(path_), options(options_), file(path_)
{
    try {
        resource = LocatePackage(file.data(), file.size());
    } catch (const Failure& f) {
        // Still a verdict: a script reads "ok" and the reason, not silence.
        refusal = f.what();
        facts.executable = true;
        return;
    }
    facts = ReadSetupFacts(file.data(), file.size());
    failure = UnpackContainer(resource, unpacked);
    if (failure) {
        cause = DamageCause(resource, failure);
        return;
    }
    listRead = true;
    bool main = false;
    failure = WalkFileList(unpacked, [&](PackageEntry&& e) {
        ++fileCount;
        filesTotal += e.size;
        tooLong += CheckPath(e.name).tooLong;
        main |= IsMainExecutable(e.name);
        return true;
    });
    if (failure) {
        cause = DamageCause(resource, failure);
        return;
    }
    // A setup that /verify refuses installs nothing.
    if (fileCount == 0) installProblems.push_back("it holds no files, and the setup program refuses an empty package");
    if (facts.executable && !IsProductSetup(facts))
        installProblems.push_back(std::string("the program is not a setup program of ") + kProductName +
                                  " (its version resource names no " + kProductName + " product version)");
    if (tooLong)
        installProblems.push_back(std::to_string(tooLong) + (tooLong == 1 ? " file is" : " files are") +
                                  " beyond Windows' path limit below " + kStagingPrefix +
                                  " (the install would stop with exit 4)");
    // Two spellings of one file install whichever comes last: a package
    // that passes review in one order installs other bytes in the other.
    const NameClashes clashes = FindNameClashes(unpacked);
    std::vector<std::string> lines = clashes.Describe();
    if (clashes.folded) installProblems.push_back(lines.back());
    if (fileCount > 0 && !main) warnings.push_back(NoMainExecutable("the package"));
    if (clashes.repeated) warnings.push_back(lines.front());
}

std::string Inspection::Verdict() const
{
    if (!refusal.empty()) return refusal;
    if (failure) return cause + " (the setup program would say: " + Narrow(failure) + ")";
    if (installProblems.empty() && options.requireSigned && !SignatureProblem(facts).empty())
        return "--require-signed: " + SignatureProblem(facts);
    if (installProblems.empty() && options.strict && !warnings.empty()) {
        std::string verdict = "--strict: ";
        for (std::size_t i = 0; i < warnings.size(); ++i) verdict += (i ? "; " : "") + warnings[i];
        return verdict;
    }
    if (installProblems.empty()) return "ok";
    std::string verdict = "would not install: ";
    for (std::size_t i = 0; i < installProblems.size(); ++i) verdict += (i ? "; " : "") + installProblems[i];
    return verdict;
}

void ForEachFile(const Inspection& inspection, const std::function<void(const PackageEntry&)>& visit)
{
    if (!inspection.listRead) return;
    std::size_t visited = 0;
    WalkFileList(inspection.unpacked, [&](PackageEntry&& e) {
        if (visited == inspection.fileCount) return false;
        visit(e);
        return ++visited < inspection.fileCount;
    });
}

}  // namespace quro_pack
