// Writing a package's files below a folder, as the setup program's
// /extract-to does on Windows: list order, folders made as needed, existing
// files replaced, nothing deleted. Unlike the setup program, a failure takes
// back the files and folders this run created; files it replaced keep their
// new contents.
#pragma once

#include <string>
#include <vector>

#include "package_reader.h"

namespace quro_pack {

class FolderExtraction {
public:
    explicit FolderExtraction(std::string folder) : folder_(std::move(folder)) {}
    // Without Keep, every file and folder this extraction made is removed.
    ~FolderExtraction();
    FolderExtraction(const FolderExtraction&) = delete;
    FolderExtraction& operator=(const FolderExtraction&) = delete;

    // Empty on success, else "could not write NAME: why" (NAME as stored,
    // UTF-8). An existing file is replaced whole, by a rename, never left
    // half-written.
    std::string Write(const PackageEntry& entry);
    void Keep() { made_.clear(); }

private:
    std::string folder_;
    std::vector<std::string> made_;  // host paths of the files and folders made, in order
};

// Every entry in order; on failure nothing made remains, and the text is
// that of the failed entry.
std::string ExtractToFolder(const std::string& folder, const std::vector<PackageEntry>& entries);

}  // namespace quro_pack
