// Windows' path length limits as the setup program meets them on the user's
// machine. It joins each name to its staging folder as it is, and its
// manifest does not declare long path awareness, so CreateFileW refuses a
// path of MAX_PATH (260) units or more and CreateDirectoryW one of 248 or
// more: the install then stops with exit 4. Wine writes such paths, so only
// the build host can warn about them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tree_walk.h"

namespace quro_pack {

// The setup program's staging folder with Program Files at its default place, and
// the separator that joins a name to it.
inline constexpr char kStagingPrefix[] = "C:\\Program Files\\Quro.new\\";
inline constexpr std::size_t kStagingPrefixLength = 26;  // UTF-16 units
inline constexpr std::size_t kFilePathLimit = 260;       // a file path of this length or more is refused
inline constexpr std::size_t kFolderPathLimit = 248;     // a folder path of this length or more is refused

struct LongPath {
    std::u16string name;  // relative, separators as stored
    bool folder = false;
    std::size_t pathLength = 0;  // UTF-16 units below the staging folder, prefix included
};

// The files and folders among names (relative, '\\' or '/' between folders)
// whose staging paths Windows refuses: each folder once, before the first
// file that needs it, in the order of names.
std::vector<LongPath> FindLongPaths(const std::vector<std::u16string>& names);

// For one file: its own staging path length, and whether it or one of its
// folders is refused.
struct PathCheck {
    std::size_t pathLength = 0;
    bool tooLong = false;
};
PathCheck CheckPath(const std::u16string& name);
// What inspect prints after such a file's name.
inline constexpr char kTooLongMark[] = "  [too long for Windows below C:\\Program Files\\Quro.new]";

// "data\x.txt: 234 characters, so C:\Program Files\Quro.new\data\x.txt has 260 ..." for a warning.
std::string DescribeLongPath(const LongPath& path);

// One warning line on stderr for each long path of a walked tree.
void WarnAboutLongPaths(const Tree& tree);

}  // namespace quro_pack
