// Writing a package's files below a folder, as the setup program's
// /extract-to does on Windows: list order, folders made as needed, existing
// files replaced, nothing deleted. Unlike the setup program, a failure takes
// back the files and folders this run created; files it replaced keep their
// new contents.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "file_io.h"
#include "package_reader.h"

namespace quro_pack {

// Everything below the target is made, written and deleted relative to
// descriptors opened once and held until the end, never by a path: a
// folder swapped for a link after it was made leads nowhere, neither while
// writing nor while taking back.
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
    // A folder held open: its descriptor's index in folders_.
    using Held = std::size_t;
    struct Made {
        Held parent;  // the folder it was made in
        std::string name;
        std::uint64_t device = 0, inode = 0;
        bool folder = false;
    };
    std::string OpenTarget();
    // The folder name in parent, made when missing, opened and held; empty
    // on success, else why not.
    std::string Enter(Held parent, const std::string& name, bool followLinks, Held& entered);
    void Remember(Held parent, const std::string& name, int fd, bool folder);

    std::string folder_;
    std::vector<UniqueFd> folders_;        // every folder entered, held until the end
    std::map<std::string, Held> entered_;  // a folder below the target by its relative path
    Held target_ = 0;
    bool opened_ = false;
    std::vector<Made> made_;  // in the order made
};

// Every entry in order; on failure nothing made remains, and the text is
// that of the failed entry.
std::string ExtractToFolder(const std::string& folder, const std::vector<PackageEntry>& entries);

}  // namespace quro_pack
