// The files below a folder as a package carries them, and the refusal of
// everything that could not arrive on Windows as it left the build host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file_io.h"

namespace quro_pack {

// The folders a walk went through, as it saw them: each is opened again,
// relative to the one above it, when a file in it is read.
struct WalkedFolder {
    std::size_t parent = 0;  // index of the folder that holds it; the root (index 0) has none
    std::string leaf;        // its name in that folder
    std::uint64_t device = 0, inode = 0;
};
struct WalkedFolders {
    UniqueFd root;  // open since the walk began
    std::vector<WalkedFolder> folders;
};

struct TreeFile {
    std::string name;  // relative, UTF-8, backslash between folders
    std::string path;  // where the build host reads it (for messages)
    std::uint64_t size = 0;
    // What the walk saw, so that the file is read from the very folders the
    // walk listed, without following a link, and only if it is still the
    // same file.
    std::shared_ptr<const WalkedFolders> walked;
    std::size_t folder = 0;  // the folder that holds it, in walked
    std::string leaf;        // its name in that folder
    std::uint64_t device = 0, inode = 0;
    std::int64_t changed = 0;  // status change time in ns: a new file may get a freed inode number
};

// Opens a walked file for reading: its folders from the root down, each the
// one the walk saw, then the file; no link followed, no blocking open (a pipe
// put in its place), and only the regular file of the device and inode the
// walk saw, unchanged since. Throws Failure naming the path otherwise. Safe
// from several threads at once.
UniqueFd OpenWalkedFile(const TreeFile& file);

struct Tree {
    std::vector<TreeFile> files;            // sorted by the bytes of name
    std::vector<std::string> emptyFolders;  // host paths; each the topmost folder without any file below it
    std::size_t excluded = 0;               // files and folders left out by a pattern (a folder counts once)
};

// Throws Failure naming the offending path; when several files or folders
// cannot go into a package (links, names, unreadable entries, names that
// differ only in case), all of them, as the failure's details. The root
// itself may be a link to a folder (it is what the user named); nothing
// below it is followed. Every folder is opened relative to the one that
// listed it; the walk holds one descriptor per level of the tree (not per
// folder) and no recursion, so neither a wide nor a deep tree exhausts it.
// A file or folder whose relative path ('/' between folders) matches one of
// the shell patterns of exclude (fnmatch, where '*' also matches '/') is
// left out, a folder with everything below it.
Tree WalkTree(const std::string& root, const std::vector<std::string>& exclude = {});

// Why the setup program could not write this relative name on Windows as it
// is (UTF-8, '/' between folders), or empty when it could.
std::string WindowsNameProblem(const std::string& relative);

}  // namespace quro_pack
