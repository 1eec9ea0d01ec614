// Windows' path length limits as the setup program meets them on the user's
// machine. It joins each name to its staging folder as it is, and its
// manifest does not declare long path awareness, so CreateFileW refuses a
// path of MAX_PATH (260) units or more and CreateDirectoryW one of 248 or
// more: the install then stops with exit 4. Wine writes such paths, so only
// the build host can warn about them.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common.h"
#include "package_reader.h"
#include "tree_walk.h"

namespace quro_pack {

// The setup program's staging folder with Program Files at its default place, and
// the separator that joins a name to it.
inline constexpr char kStagingPrefix[] = "C:\\Program Files\\Quro.new\\";
inline constexpr std::size_t kStagingPrefixLength = sizeof kStagingPrefix - 1;  // ASCII: as many UTF-16 units
inline constexpr std::size_t kFilePathLimit = 260;    // a file path of this length or more is refused
inline constexpr std::size_t kFolderPathLimit = 248;  // a folder path of this length or more is refused

struct LongPath {
    std::u16string name;  // relative, separators as stored
    bool folder = false;
    std::size_t pathLength = 0;  // UTF-16 units below the staging folder, prefix included
};

// Whether name (relative, '\\' or '/' between folders) meets one of those
// limits: the topmost of its folders whose staging path Windows refuses,
// else the file itself when its path is refused. A folder already in
// reported is not found again (each is reported once, before the first file
// that needs it); the folders below it and the files in them are not found
// at all, as Windows stops at the first. Linear in the name's length.
std::optional<LongPath> FindLongPath(const std::u16string& name, std::set<std::u16string>& reported);

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

// What a setup of a walked tree would meet on Windows although the package
// can carry it, one line each: the topmost folders that hold no file (left
// out), no main executable at the top, and every path beyond Windows' limit.
// folder is the tree's root as the user named it.
std::vector<std::string> TreeWarnings(const std::string& folder, const Tree& tree);

// The same for a package's file list (unpacked and checked: UnpackChecked),
// which has no folders: the main executable and the paths.
std::vector<std::string> PackageWarnings(const Bytes& unpacked);

// The file Windows opens for a packaged name when the setup program joins it
// to its staging folder: both separators alike, empty and "." parts dropped,
// a part's one trailing dot and the name's trailing dots and spaces dropped
// (Win32 path normalisation), letters in upper case (the file system ignores
// case). Two names with one key are one file on the user's machine, however
// their bytes differ.
std::u32string WindowsKey(const std::u16string& name);
// 128 bits of the SHA-256 of name's WindowsKey: equal exactly for names that
// Windows opens as one file (no crafted list can make two keys collide), and
// of one size whatever the name's, so that a list sorts by them cheaply.
void WindowsKeyDigest(const std::u16string& name, std::uint8_t digest[16]);

// Whether a packaged name is the main executable at the top, as Windows
// would open it; and the warning when no name is.
bool IsMainExecutable(const std::u16string& name);
std::string NoMainExecutable(const std::string& where);

// Records of a file list that Windows would write to a file an earlier
// record already wrote.
struct NameClashes {
    std::size_t repeated = 0;  // the same name as an earlier record, byte for byte
    std::size_t folded = 0;    // another name for an earlier record's file ("X.DLL", "./x.dll", "lib\\x" and "lib/x")
    std::string repeatedName;  // the first repeated name, UTF-8
    std::string foldedPair;    // the first such pair, "A and B", names escaped
    // One line each: what a maker should know.
    std::vector<std::string> Describe() const;
};
// Memory grows with the record count (some 24 bytes each), not with the
// names: a list of millions of one-letter records is judged within bounds.
NameClashes FindNameClashes(const Bytes& unpacked);

// The failure of a --strict run that met warnings; the warnings themselves
// are printed as errors before it.
std::string StrictRefusal(std::size_t warnings);

}  // namespace quro_pack
