// diff on two file lists against a plain model: each side keyed by the file
// Windows opens (WindowsKey), the first record's spelling and the last
// record's bytes; the changes are exactly the model's, in key order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "diff.h"
#include "package_reader.h"
#include "windows_paths.h"

using namespace quro_pack;

namespace {

struct File {
    std::u16string name;
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
};

bool Model(const Bytes& list, std::map<std::u32string, File>& files)
{
    return WalkFileList(list, [&](PackageEntry&& e) {
               const auto [it, made] = files.try_emplace(WindowsKey(e.name), File{e.name, e.data, e.size});
               it->second.data = e.data;
               it->second.size = e.size;
               return true;
           }) == nullptr;
}

std::u16string Shown(std::u16string name)
{
    for (char16_t& c : name)
        if (c == u'/') c = u'\\';
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::size_t split = 2 + std::min<std::size_t>(ReadLe16(data), size - 2);
    const Bytes lists[2] = {Bytes(data + 2, data + split), Bytes(data + split, data + size)};
    std::map<std::u32string, File> model[2];
    if (!Model(lists[0], model[0]) || !Model(lists[1], model[1])) return 0;

    using Change = std::tuple<int, std::u16string, std::uint64_t, std::uint64_t>;
    std::vector<Change> expected, seen;
    for (const auto& [key, was] : model[0]) {
        const auto is = model[1].find(key);
        if (is == model[1].end())
            expected.emplace_back(int(FileChange::Kind::Removed), Shown(was.name), was.size, 0);
        else if (was.size != is->second.size ||
                 (was.size && std::memcmp(was.data, is->second.data, std::size_t(was.size)) != 0))
            expected.emplace_back(int(FileChange::Kind::Changed), Shown(is->second.name), was.size, is->second.size);
    }
    for (const auto& [key, is] : model[1])
        if (!model[0].count(key)) expected.emplace_back(int(FileChange::Kind::Added), Shown(is.name), 0, is.size);
    std::u32string last;
    const DiffSummary s = CompareLists(lists[0], lists[1], [&](const FileChange& c) {
        const std::u32string key = WindowsKey(c.name);
        if (!seen.empty() && key < last) std::abort();  // in the order of the names
        last = key;
        seen.emplace_back(int(c.kind), c.name, c.oldSize, c.newSize);
    });
    std::sort(expected.begin(), expected.end());
    std::sort(seen.begin(), seen.end());
    if (seen != expected || s.oldFiles != model[0].size() || s.newFiles != model[1].size()) std::abort();
    return 0;
}
