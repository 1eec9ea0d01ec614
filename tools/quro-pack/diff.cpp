#include "diff.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <new>

#include "common.h"
#include "file_io.h"
#include "package_reader.h"
#include "verdict.h"
#include "utf8.h"

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

// Both separators name the same folder on Windows, and a later record of a
// name overwrites an earlier one on the way in.
std::u16string InstalledName(std::u16string name)
{
    for (char16_t& c : name)
        if (c == u'/') c = u'\\';
    return name;
}

// One name of the window: the last record of it on either side.
struct Slot {
    const std::uint8_t* data[2] = {nullptr, nullptr};
    std::uint64_t size[2] = {0, 0};
    bool listed[2] = {false, false};
};

constexpr std::size_t kSlotBytes = 128;  // a map node, its name and slot, roughly

std::size_t Cost(const std::u16string& name) { return kSlotBytes + 2 * name.size(); }

bool SameContent(const Slot& s)
{
    return s.size[0] == s.size[1] && (s.size[0] == 0 || std::memcmp(s.data[0], s.data[1], std::size_t(s.size[0])) == 0);
}

}  // namespace

bool DiffSummary::Same() const
{
    const bool sameProgram = !oldVersion || !newVersion || DescribeVersion(*oldVersion) == DescribeVersion(*newVersion);
    return added + removed + changed == 0 && sameProgram;
}

DiffSummary ComparePackages(const std::string& oldPath, const std::string& newPath,
                            const std::function<void(const FileChange&)>& change, std::size_t windowBytes)
{
    const Side sides[2] = {Side(oldPath), Side(newPath)};
    DiffSummary summary;
    summary.oldVersion = sides[0].version;
    summary.newVersion = sides[1].version;
    std::optional<std::u16string> from;  // names before it were compared in earlier passes
    while (true) {
        std::map<std::u16string, Slot> window;
        std::size_t bytes = 0;
        std::optional<std::u16string> bound;  // names from it on wait for a later pass
        for (int side = 0; side < 2; ++side) {
            WalkFileList(sides[side].unpacked, [&](PackageEntry&& e) {
                std::u16string name = InstalledName(std::move(e.name));
                if ((from && name < *from) || (bound && name >= *bound)) return true;
                const auto [it, inserted] = window.try_emplace(std::move(name));
                if (inserted) bytes += Cost(it->first);
                it->second.data[side] = e.data;
                it->second.size[side] = e.size;
                it->second.listed[side] = true;
                while (bytes > windowBytes && window.size() > 1) {
                    auto last = std::prev(window.end());
                    bytes -= Cost(last->first);
                    bound = std::move(last->first);
                    window.erase(last);
                }
                return true;
            });
        }
        for (const auto& [name, slot] : window) {
            summary.oldFiles += slot.listed[0];
            summary.newFiles += slot.listed[1];
            summary.oldTotal += slot.size[0];
            summary.newTotal += slot.size[1];
            if (!slot.listed[0]) {
                ++summary.added;
                change(FileChange{FileChange::Kind::Added, name, 0, slot.size[1]});
            } else if (!slot.listed[1]) {
                ++summary.removed;
                change(FileChange{FileChange::Kind::Removed, name, slot.size[0], 0});
            } else if (!SameContent(slot)) {
                ++summary.changed;
                change(FileChange{FileChange::Kind::Changed, name, slot.size[0], slot.size[1]});
            }
        }
        if (!bound) return summary;
        from = std::move(bound);
    }
}

}  // namespace quro_pack
