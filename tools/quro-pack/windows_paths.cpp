#include "windows_paths.h"

#include <cstdio>
#include <set>

#include "utf8.h"

namespace quro_pack {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The folders the setup program makes for name, shortest first: each
// prefix before a separator, without the separators that end it (as its
// ParentFolder drops them).
std::vector<std::u16string> FoldersOf(const std::u16string& name)
{
    std::vector<std::u16string> folders;
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (!IsSeparator(name[i]) || IsSeparator(name[i - 1])) continue;
        folders.push_back(name.substr(0, i));
    }
    return folders;
}

std::size_t StagingLength(const std::u16string& relative) { return kStagingPrefixLength + relative.size(); }

}  // namespace

std::vector<LongPath> FindLongPaths(const std::vector<std::u16string>& names)
{
    std::vector<LongPath> found;
    std::set<std::u16string> reported;
    for (const std::u16string& name : names) {
        for (const std::u16string& folder : FoldersOf(name))
            if (StagingLength(folder) >= kFolderPathLimit && reported.insert(folder).second)
                found.push_back(LongPath{folder, true, StagingLength(folder)});
        if (StagingLength(name) >= kFilePathLimit) found.push_back(LongPath{name, false, StagingLength(name)});
    }
    return found;
}

PathCheck CheckPath(const std::u16string& name)
{
    PathCheck check;
    check.pathLength = StagingLength(name);
    check.tooLong = check.pathLength >= kFilePathLimit;
    for (const std::u16string& folder : FoldersOf(name)) check.tooLong |= StagingLength(folder) >= kFolderPathLimit;
    return check;
}

std::string DescribeLongPath(const LongPath& path)
{
    const std::string limit = std::to_string(path.folder ? kFolderPathLimit : kFilePathLimit);
    return std::string(path.folder ? "folder " : "") + Escaped(Utf16ToUtf8(path.name)) + ": " +
           std::to_string(path.name.size()) + " characters; below " + kStagingPrefix + " its path has " +
           std::to_string(path.pathLength) + ", and Windows " + (path.folder ? "makes no folder" : "writes no file") +
           " whose path has " + limit + " or more (the install would stop with exit 4)";
}

void WarnAboutLongPaths(const Tree& tree)
{
    std::vector<std::u16string> names;
    for (const TreeFile& f : tree.files)
        names.push_back(Utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(f.name.data()), f.name.size()));
    for (const LongPath& p : FindLongPaths(names))
        std::fprintf(stderr, "quro-pack: warning: %s\n", DescribeLongPath(p).c_str());
}

}  // namespace quro_pack
