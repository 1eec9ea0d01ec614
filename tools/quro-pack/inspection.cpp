#include "inspection.h"

#include "format/container_format.h"
#include "windows_paths.h"

namespace quro_pack {

Inspection::Inspection(const std::string& path_) : path(path_), file(path_)
{
    resource = LocatePackage(file.data(), file.size(), path);
    facts = ReadSetupFacts(file.data(), file.size());
    failure = UnpackContainer(resource, unpacked);
    if (failure) return;
    listRead = true;
    failure = WalkFileList(unpacked, [&](PackageEntry&& e) {
        ++fileCount;
        filesTotal += e.size;
        tooLong += CheckPath(e.name).tooLong;
        return true;
    });
    if (failure) return;
    // A setup that /verify refuses installs nothing.
    if (fileCount == 0) installProblems.push_back("it holds no files, and the setup program refuses an empty package");
    if (facts.executable && !IsProductSetup(facts))
        installProblems.push_back(std::string("the program is not a setup program of ") + kProductName +
                                  " (its version resource names no " + kProductName + " product version)");
    if (tooLong)
        installProblems.push_back(std::to_string(tooLong) + (tooLong == 1 ? " file is" : " files are") +
                                  " beyond Windows' path limit below " + kStagingPrefix +
                                  " (the install would stop with exit 4)");
}

std::string Inspection::Verdict() const
{
    if (failure) return Narrow(failure);
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
