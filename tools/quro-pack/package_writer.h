// Making a package resource: the file list of a tree, then the 48-byte
// header ("QUROSET1", unpacked size, SHA-256) and the Compression API buffer.
#pragma once

#include <cstdint>
#include <string>

#include "common.h"
#include "tree_walk.h"

namespace quro_pack {

class Progress;

struct PackOptions {
    bool store = false;  // stored chunks, for setups that run under Wine
    Progress* progress = nullptr;
};

// The unpacked bytes for tree, read straight into one buffer. Throws Failure
// when the setup program could not take the list (over 2 GiB in all, more
// than 2^32-1 files) or a file changed while it was read.
Bytes BuildFileList(const Tree& tree, Progress* progress = nullptr);

// The resource for unpacked bytes.
Bytes MakeResource(const Bytes& unpacked, const PackOptions& options);

// WalkTree, BuildFileList and MakeResource in a row.
Bytes PackFolder(const std::string& folder, const PackOptions& options, Tree* walked = nullptr);

}  // namespace quro_pack
