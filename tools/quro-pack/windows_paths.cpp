#include "windows_paths.h"

#include <strings.h>

#include "base/hosted_app.h"
#include "package_reader.h"
#include "utf8.h"

namespace quro_pack {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

constexpr std::size_t StagingLength(std::size_t relative) { return kStagingPrefixLength + relative; }

// The length of name's topmost folder whose staging path Windows refuses,
// or 0. The setup program makes each prefix before a separator, without the
// separators that end it (as its ParentFolder drops them); the prefixes only
// grow, so the first long one is the topmost.
std::size_t TopLongFolder(const std::u16string& name)
{
    for (std::size_t i = 1; i < name.size(); ++i)
        if (IsSeparator(name[i]) && !IsSeparator(name[i - 1]) && StagingLength(i) >= kFolderPathLimit) return i;
    return 0;
}

// The setup program links, opens and asks for clean-up the main executable
// at the top of the install folder; without it, the installed shortcuts lead
// nowhere. Windows matches the name in any letter case.
bool IsMainExecutable(const std::string& name)
{
    const std::string main = Narrow(quro::kMainExecutableName);
    return name.size() == main.size() && ::strncasecmp(name.c_str(), main.c_str(), main.size()) == 0;
}

std::string NoMainExecutable(const std::string& where)
{
    return where + " has no " + Narrow(quro::kMainExecutableName) +
           " at its top; the installed shortcuts would lead nowhere";
}

}  // namespace

std::optional<LongPath> FindLongPath(const std::u16string& name, std::set<std::u16string>& reported)
{
    if (const std::size_t folder = TopLongFolder(name)) {
        std::u16string prefix = name.substr(0, folder);
        if (reported.count(prefix)) return std::nullopt;
        reported.insert(prefix);
        return LongPath{std::move(prefix), true, StagingLength(folder)};
    }
    if (StagingLength(name.size()) >= kFilePathLimit) return LongPath{name, false, StagingLength(name.size())};
    return std::nullopt;
}

PathCheck CheckPath(const std::u16string& name)
{
    PathCheck check;
    check.pathLength = StagingLength(name.size());
    check.tooLong = check.pathLength >= kFilePathLimit || TopLongFolder(name) != 0;
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

std::vector<std::string> TreeWarnings(const std::string& folder, const Tree& tree)
{
    std::vector<std::string> warnings;
    for (const std::string& empty : tree.emptyFolders)
        warnings.push_back(Escaped(empty) + " holds no files and is left out (a package carries files only)");
    bool main = false;
    for (const TreeFile& f : tree.files) main |= IsMainExecutable(f.name);
    if (!main) warnings.push_back(NoMainExecutable(Escaped(folder)));
    std::set<std::u16string> reported;
    for (const TreeFile& f : tree.files)
        if (const auto p = FindLongPath(
                Utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(f.name.data()), f.name.size()), reported))
            warnings.push_back(DescribeLongPath(*p));
    return warnings;
}

std::vector<std::string> PackageWarnings(const Bytes& unpacked)
{
    // A list of a few hundred bytes may name millions of long paths: the
    // first ones tell the maker enough.
    constexpr std::size_t kMostLines = 20;
    std::vector<std::string> warnings;
    std::size_t more = 0;
    bool main = false;
    std::set<std::u16string> reported;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        main |= IsMainExecutable(Utf16ToUtf8(e.name));
        if (const auto p = FindLongPath(e.name, reported)) {
            if (warnings.size() < kMostLines)
                warnings.push_back(DescribeLongPath(*p));
            else
                ++more;
        }
        return true;
    });
    if (more) warnings.push_back(std::to_string(more) + " more paths beyond Windows' limit");
    if (!main) warnings.insert(warnings.begin(), NoMainExecutable("the package"));
    return warnings;
}

std::string StrictRefusal(std::size_t warnings)
{
    return "--strict: " + std::to_string(warnings) + (warnings == 1 ? " warning is an error" : " warnings are errors") +
           "; nothing was written";
}

}  // namespace quro_pack
