// The files below a folder as a package carries them, and the refusal of
// everything that could not arrive on Windows as it left the build host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quro_pack {

struct TreeFile {
    std::string name;  // relative, UTF-8, backslash between folders
    std::string path;  // where the build host reads it
    std::uint64_t size = 0;
};

struct Tree {
    std::vector<TreeFile> files;            // sorted by the bytes of name
    std::vector<std::string> emptyFolders;  // host paths; each the topmost folder without any file below it
};

// Throws Failure naming the offending path. The root itself may be a link to
// a folder (it is what the user named); nothing below it is followed.
Tree WalkTree(const std::string& root);

// Why the setup program could not write this relative name on Windows as it
// is (UTF-8, '/' between folders), or empty when it could.
std::string WindowsNameProblem(const std::string& relative);

}  // namespace quro_pack
