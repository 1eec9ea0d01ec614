#include "diff.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "common.h"
#include "file_io.h"
#include "package_reader.h"
#include "setup_facts.h"
#include "utf8.h"

namespace quro_pack {
namespace {

struct Side {
    std::unique_ptr<MappedFile> file;
    Bytes unpacked;
    std::map<std::u16string, const PackageEntry*> files;  // by name as the install folder shows it
    std::vector<PackageEntry> entries;
    std::uint64_t total = 0;
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

void Open(const std::string& path, Side& side)
{
    side.file = std::make_unique<MappedFile>(path);
    const PackageResource r = LocatePackage(side.file->data(), side.file->size(), path);
    side.version = ReadSetupFacts(side.file->data(), side.file->size()).version;
    if (const wchar_t* failure = UnpackPackage(r, side.unpacked, side.entries))
        throw Failure(path + ": " + Narrow(failure));
    for (const PackageEntry& e : side.entries) side.files[InstalledName(e.name)] = &e;
    for (const auto& [name, e] : side.files) side.total += e->size;
}

bool SameContent(const PackageEntry& a, const PackageEntry& b)
{
    return a.size == b.size && (a.size == 0 || std::memcmp(a.data, b.data, std::size_t(a.size)) == 0);
}

std::string Size(std::uint64_t n) { return std::to_string(n); }

int Compare(const Side& before, const Side& after)
{
    std::size_t added = 0, removed = 0, changed = 0;
    auto o = before.files.begin(), n = after.files.begin();
    while (o != before.files.end() || n != after.files.end()) {
        if (n == after.files.end() || (o != before.files.end() && o->first < n->first)) {
            std::printf("removed  %21s  %s\n", Size(o->second->size).c_str(), Escaped(Utf16ToUtf8(o->first)).c_str());
            ++removed, ++o;
        } else if (o == before.files.end() || n->first < o->first) {
            std::printf("added    %21s  %s\n", Size(n->second->size).c_str(), Escaped(Utf16ToUtf8(n->first)).c_str());
            ++added, ++n;
        } else {
            if (!SameContent(*o->second, *n->second)) {
                const std::string sizes = Size(o->second->size) + " -> " + Size(n->second->size);
                std::printf("changed  %21s  %s\n", sizes.c_str(), Escaped(Utf16ToUtf8(n->first)).c_str());
                ++changed;
            }
            ++o, ++n;
        }
    }
    std::printf("files    %zu -> %zu (%zu added, %zu removed, %zu changed)\n", before.files.size(), after.files.size(),
                added, removed, changed);
    std::printf("unpacked %llu -> %llu bytes\n", static_cast<unsigned long long>(before.total),
                static_cast<unsigned long long>(after.total));
    // The install leaves the setup program itself beside the files, as the
    // uninstaller: a new setup program changes the install folder too.
    bool programChanged = false;
    if (before.version && after.version) {
        const std::string was = DescribeVersion(*before.version), is = DescribeVersion(*after.version);
        programChanged = was != is;
        std::printf("setup program %s%s\n", was.c_str(), programChanged ? (" -> " + is).c_str() : "");
    }
    std::fflush(stdout);
    return added + removed + changed > 0 || programChanged ? 1 : 0;
}

}  // namespace

int Diff(const std::string& oldPath, const std::string& newPath)
{
    try {
        Side before, after;
        Open(oldPath, before);
        Open(newPath, after);
        return Compare(before, after);
    } catch (const Failure& e) {
        std::fprintf(stderr, "quro-pack: %s\n", e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quro-pack: out of memory\n");
    }
    return 2;
}

}  // namespace quro_pack
