// quro-pack diff OLD NEW: what installing NEW over OLD changes in the install
// folder, for release notes and review. Each argument is a package resource
// or a setup executable; both must pass the setup program's checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common.h"
#include "setup_facts.h"

namespace quro_pack {

struct FileChange {
    enum class Kind { Added, Removed, Changed } kind;
    std::u16string name;  // as the install folder shows it: the first spelling, backslashes between folders
    std::uint64_t oldSize = 0, newSize = 0;
};

struct DiffSummary {
    std::size_t oldFiles = 0, newFiles = 0;  // files each installs (a name listed twice is one file)
    std::size_t added = 0, removed = 0, changed = 0;
    std::uint64_t oldTotal = 0, newTotal = 0;  // their unpacked sizes added up
    std::optional<SetupVersion> oldVersion, newVersion;
    // The install folder is left the same: the same files, and the same setup
    // program beside them (it stays there as the uninstaller).
    bool Same() const;
};

// Reports the files added, removed and changed (by content), keyed by the
// file Windows would open for each name (WindowsKey: letter case, "." parts
// and both separators aside; the last record of a file is what it holds),
// in the order of those names, one at a time. Takes some 44 bytes a record
// besides the two unpacked packages, and one sort of each list. Throws
// Failure, before the first change, when either file cannot be read or
// fails the setup program's checks.
DiffSummary ComparePackages(const std::string& oldPath, const std::string& newPath,
                            const std::function<void(const FileChange&)>& change);

// The same for two unpacked file lists that passed the setup program's checks
// (UnpackChecked); no versions.
DiffSummary CompareLists(const Bytes& oldList, const Bytes& newList,
                         const std::function<void(const FileChange&)>& change);

}  // namespace quro_pack
