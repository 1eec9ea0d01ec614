#include "windows_paths.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "base/hosted_app.h"
#include "package_reader.h"
#include "sha256.h"
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
        main |= IsMainExecutable(e.name);
        // Past the lines shown, files are counted, not their folders kept.
        if (warnings.size() >= kMostLines)
            more += CheckPath(e.name).tooLong;
        else if (const auto p = FindLongPath(e.name, reported))
            warnings.push_back(DescribeLongPath(*p));
        return true;
    });
    if (more) warnings.push_back(std::to_string(more) + " more files whose path is beyond Windows' limit");
    if (!main) warnings.insert(warnings.begin(), NoMainExecutable("the package"));
    for (std::string& line : FindNameClashes(unpacked).Describe()) warnings.push_back(std::move(line));
    return warnings;
}

bool IsMainExecutable(const std::u16string& name)
{
    static const std::u32string main = [] {
        const std::string narrow = Narrow(quro::kMainExecutableName);
        return WindowsKey(std::u16string(narrow.begin(), narrow.end()));
    }();
    return WindowsKey(name) == main;
}

std::string NoMainExecutable(const std::string& where)
{
    return where + " has no " + Narrow(quro::kMainExecutableName) +
           " at its top; the installed shortcuts would lead nowhere";
}

std::u32string WindowsKey(const std::u16string& name)
{
    std::u32string key, part;
    const auto flush = [&](bool last) {
        // A part of one dot is this folder; Windows drops a part's last dot,
        // and every trailing dot and space of the name itself.
        if (part == U".") part.clear();
        if (!last && !part.empty() && part.back() == U'.') part.pop_back();
        while (last && !part.empty() && (part.back() == U'.' || part.back() == U' ')) part.pop_back();
        if (part.empty()) return;
        if (!key.empty()) key.push_back(U'\\');
        key += part;
        part.clear();
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00);
        if (c == U'\\' || c == U'/')
            flush(false);
        else
            part.push_back(UpperCase(c));
    }
    flush(true);
    return key;
}

std::vector<std::string> NameClashes::Describe() const
{
    std::vector<std::string> lines;
    if (repeated)
        lines.push_back(std::to_string(repeated) + (repeated == 1 ? " record names" : " records name") +
                        " a file an earlier record already holds (first: " + Escaped(repeatedName) +
                        "); the setup program writes it again and the last one stays");
    if (folded)
        lines.push_back(foldedPair + " are one file on Windows (letter case, \".\" parts and separators aside)" +
                        (folded > 1 ? ", and " + std::to_string(folded - 1) + " more such names" : std::string()) +
                        "; which content installs depends on the order of the list");
    return lines;
}

void WindowsKeyDigest(const std::u16string& name, std::uint8_t digest[16])
{
    const std::u32string key = WindowsKey(name);
    std::uint8_t full[32];
    Sha256(reinterpret_cast<const std::uint8_t*>(key.data()), key.size() * sizeof(char32_t), full);
    std::memcpy(digest, full, 16);
}

NameClashes FindNameClashes(const Bytes& unpacked)
{
    // Each record by a digest of its key, so that equal keys sort together
    // whatever their length; 128 bits of SHA-256, which no crafted list can
    // make collide. The names themselves are fetched in a second walk.
    struct Record {
        std::uint64_t key[2];
        std::uint32_t index;
    };
    std::vector<Record> records;
    std::uint32_t index = 0;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        Record r{{0, 0}, index++};
        WindowsKeyDigest(e.name, reinterpret_cast<std::uint8_t*>(r.key));
        records.push_back(r);
        return true;
    });
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        if (a.key[0] != b.key[0]) return a.key[0] < b.key[0];
        if (a.key[1] != b.key[1]) return a.key[1] < b.key[1];
        return a.index < b.index;
    });
    // Every record after the first of its key, with the first's index.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> later;
    for (std::size_t i = 1, first = 0; i < records.size(); ++i) {
        if (std::memcmp(records[i].key, records[first].key, sizeof records[i].key) != 0) {
            first = i;
            continue;
        }
        later.emplace_back(records[i].index, records[first].index);
    }
    std::vector<Record>().swap(records);
    NameClashes clashes;
    if (later.empty()) return clashes;
    // The names of the first records, as the walk reaches them.
    std::vector<std::uint32_t> firsts;
    for (const auto& l : later) firsts.push_back(l.second);
    std::sort(firsts.begin(), firsts.end());
    firsts.erase(std::unique(firsts.begin(), firsts.end()), firsts.end());
    std::sort(later.begin(), later.end());
    std::vector<std::u16string> firstNames(firsts.size());
    std::size_t nextFirst = 0, nextLater = 0;
    index = 0;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        if (nextFirst < firsts.size() && firsts[nextFirst] == index) firstNames[nextFirst++] = e.name;
        if (nextLater < later.size() && later[nextLater].first == index) {
            const std::size_t f =
                std::size_t(std::lower_bound(firsts.begin(), firsts.end(), later[nextLater].second) - firsts.begin());
            if (firstNames[f] == e.name) {
                if (!clashes.repeated++) clashes.repeatedName = Utf16ToUtf8(e.name);
            } else if (!clashes.folded++) {
                clashes.foldedPair = Escaped(Utf16ToUtf8(firstNames[f])) + " and " + Escaped(Utf16ToUtf8(e.name));
            }
            ++nextLater;
        }
        ++index;
        return nextLater < later.size();
    });
    return clashes;
}

std::string StrictRefusal(std::size_t warnings)
{
    return "--strict: " + std::to_string(warnings) + (warnings == 1 ? " warning is an error" : " warnings are errors") +
           "; nothing was written";
}

}  // namespace quro_pack
