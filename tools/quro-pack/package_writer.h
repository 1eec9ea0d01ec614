// Making a package resource: the file list of a tree, then the 48-byte
// header ("QUROSET1", unpacked size, SHA-256) and the Compression API buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common.h"
#include "lzms_buffer.h"
#include "tree_walk.h"

namespace quro_pack {

// Where a pack is: each phase once as it starts (done 0), then as it goes.
struct ProgressEvent {
    enum class Phase { Reading, Compressing, Writing };
    Phase phase = Phase::Reading;
    std::uint64_t done = 0;   // bytes read or written, chunks compressed
    std::uint64_t total = 0;  // of as many
};
// Called on the packing thread, or from a compressing thread one at a time.
using ProgressSink = std::function<void(const ProgressEvent&)>;

struct PackOptions {
    // Stored chunks (for setups that must be fast to make), the threads, the
    // memory budget; its progress is not called, progress below is.
    lzms::CompressOptions compress;
    ProgressSink progress;
    // Every warning about the tree (TreeWarnings) is an error: PackFolder
    // fails after the walk, before anything is compressed, with the warnings
    // as the failure's details.
    bool strict = false;
    // Shell patterns of what the walk leaves out (WalkTree).
    std::vector<std::string> exclude;
};

// What a pack took in, for its summary.
struct PackCounts {
    std::size_t files = 0;
    std::size_t excluded = 0;     // files and folders a pattern left out
    std::uint64_t filesSize = 0;  // the files' bytes added up
    std::uint64_t unpacked = 0;   // the file list's bytes
};

// The unpacked bytes for tree, files in PackageOrder, read straight into one
// buffer. Throws Failure when the setup program could not take the list
// (over 2 GiB in all, more than 2^32-1 files) or a file changed while it was
// read.
Bytes BuildFileList(const Tree& tree);

// The resource for unpacked bytes.
Bytes MakeResource(const Bytes& unpacked, const PackOptions& options);

// WalkTree and the resource for its files in PackageOrder. The files are read
// twice, once for the digest and once chunk by chunk as the chunks are
// compressed, and never held whole. The tree's warnings go to warnings (when
// given) right after the walk; with options.strict, any of them ends the
// call there with a Failure, and so does a memory budget too small for the
// list's chunks, before any file is read.
Bytes PackFolder(const std::string& folder, const PackOptions& options, std::vector<std::string>* warnings = nullptr,
                 PackCounts* counts = nullptr);

}  // namespace quro_pack
