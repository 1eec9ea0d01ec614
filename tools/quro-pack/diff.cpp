#include "diff.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common.h"
#include "file_io.h"
#include "package_reader.h"
#include "verdict.h"
#include "utf8.h"
#include "windows_paths.h"

namespace quro_pack {
namespace {

struct Side {
    explicit Side(const std::string& path) : file(path)
    {
        const PackageResource r = LocatePackage(file.data(), file.size(), path);
        version = ReadSetupFacts(file.data(), file.size()).version;
        if (const wchar_t* failure = UnpackChecked(r, unpacked))
            throw Failure(path + ": " + Narrow(failure) + "; " + DamageCause(r, failure));
    }
    MappedFile file;
    Bytes unpacked;
    std::optional<SetupVersion> version;
};

// A record's key, WindowsKeyDigest of its name, so that every spelling of one
// file sorts together; and where the record lies.
struct Record {
    std::uint32_t key[4];
    std::uint32_t at;  // the record's offset in the unpacked bytes (under 2 GiB)
};

// One file as the install leaves it: the first record's spelling names it
// (Windows keeps the name a file was made with), the last one's bytes fill it.
struct Installed {
    std::uint32_t key[4];
    std::uint32_t first, last;
};

bool KeyLess(const std::uint32_t* a, const std::uint32_t* b)
{
    return std::lexicographical_compare(a, a + 4, b, b + 4);
}
bool KeyEqual(const std::uint32_t* a, const std::uint32_t* b) { return std::equal(a, a + 4, b); }

// Every file each side installs, in key order: one walk and one sort.
std::vector<Installed> InstalledFiles(const Bytes& unpacked)
{
    std::vector<Record> records;
    std::uint64_t next = 4;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        Record r{};
        WindowsKeyDigest(e.name, reinterpret_cast<std::uint8_t*>(r.key));
        r.at = std::uint32_t(next);
        records.push_back(r);
        next = std::uint64_t(e.data - unpacked.data()) + e.size;
        return true;
    });
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return KeyLess(a.key, b.key) || (KeyEqual(a.key, b.key) && a.at < b.at);
    });
    std::vector<Installed> files;
    for (const Record& r : records) {
        if (!files.empty() && KeyEqual(files.back().key, r.key)) {
            files.back().last = r.at;
            continue;
        }
        Installed f{};
        std::memcpy(f.key, r.key, sizeof f.key);
        f.first = f.last = r.at;
        files.push_back(f);
    }
    return files;
}

// A record of verified bytes: its name, and its data.
struct View {
    std::u16string name;
    const std::uint8_t* data;
    std::uint64_t size;
};

View RecordAt(const Bytes& unpacked, std::uint32_t at)
{
    const std::uint8_t* r = unpacked.data() + at;
    const std::size_t n = ReadLe16(r);
    return View{Utf8ToUtf16(r + 2, n), r + 10 + n, ReadLe64(r + 2 + n)};
}

// The name the install folder shows: backslashes between folders.
std::u16string Shown(std::u16string name)
{
    for (char16_t& c : name)
        if (c == u'/') c = u'\\';
    return name;
}

}  // namespace

bool DiffSummary::Same() const
{
    const bool sameProgram = !oldVersion || !newVersion || DescribeVersion(*oldVersion) == DescribeVersion(*newVersion);
    return added + removed + changed == 0 && sameProgram;
}

DiffSummary ComparePackages(const std::string& oldPath, const std::string& newPath,
                            const std::function<void(const FileChange&)>& change)
{
    const Side sides[2] = {Side(oldPath), Side(newPath)};
    DiffSummary summary = CompareLists(sides[0].unpacked, sides[1].unpacked, change);
    summary.oldVersion = sides[0].version;
    summary.newVersion = sides[1].version;
    return summary;
}

DiffSummary CompareLists(const Bytes& oldList, const Bytes& newList,
                         const std::function<void(const FileChange&)>& change)
{
    const Bytes* lists[2] = {&oldList, &newList};
    DiffSummary summary;
    const std::vector<Installed> files[2] = {InstalledFiles(oldList), InstalledFiles(newList)};
    summary.oldFiles = files[0].size();
    summary.newFiles = files[1].size();

    // Merged by key; each change remembers the files it compares (an index
    // into each side, or none).
    constexpr std::size_t kNone = SIZE_MAX;
    struct Found {
        FileChange::Kind kind;
        std::size_t file[2];
    };
    std::vector<Found> found;
    std::size_t i = 0, j = 0;
    while (i < files[0].size() || j < files[1].size()) {
        const bool takeOld = j == files[1].size() || (i < files[0].size() && KeyLess(files[0][i].key, files[1][j].key));
        const bool takeNew = i == files[0].size() || (j < files[1].size() && KeyLess(files[1][j].key, files[0][i].key));
        if (takeOld) {
            summary.oldTotal += RecordAt(*lists[0], files[0][i].last).size;
            found.push_back({FileChange::Kind::Removed, {i++, kNone}});
        } else if (takeNew) {
            summary.newTotal += RecordAt(*lists[1], files[1][j].last).size;
            found.push_back({FileChange::Kind::Added, {kNone, j++}});
        } else {
            const View was = RecordAt(*lists[0], files[0][i].last);
            const View is = RecordAt(*lists[1], files[1][j].last);
            summary.oldTotal += was.size;
            summary.newTotal += is.size;
            if (was.size != is.size || (was.size && std::memcmp(was.data, is.data, std::size_t(was.size)) != 0))
                found.push_back({FileChange::Kind::Changed, {i, j}});
            ++i, ++j;
        }
    }
    // Reported in the order of the names as Windows sees them, each by the
    // spelling the install folder shows (the new side's where it has one).
    const auto shown = [&](const Found& f) {
        const int side = f.file[1] != kNone ? 1 : 0;
        return RecordAt(*lists[side], files[side][f.file[side]].first).name;
    };
    std::sort(found.begin(), found.end(),
              [&](const Found& a, const Found& b) { return WindowsKey(shown(a)) < WindowsKey(shown(b)); });
    for (const Found& f : found) {
        FileChange c{f.kind, Shown(shown(f)), 0, 0};
        if (f.file[0] != kNone) c.oldSize = RecordAt(*lists[0], files[0][f.file[0]].last).size;
        if (f.file[1] != kNone) c.newSize = RecordAt(*lists[1], files[1][f.file[1]].last).size;
        (f.kind == FileChange::Kind::Added     ? summary.added
         : f.kind == FileChange::Kind::Removed ? summary.removed
                                               : summary.changed)++;
        change(c);
    }
    return summary;
}

}  // namespace quro_pack
