#include "package_order.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <string_view>
#include <unistd.h>

#include "common.h"
#include "file_io.h"
#include "sha256.h"

namespace quro_pack {
namespace {

std::string_view Folder(const std::string& name)
{
    const std::size_t slash = name.rfind('\\');
    return std::string_view(name).substr(0, slash == std::string::npos ? 0 : slash);
}

std::string_view Leaf(const std::string& name)
{
    const std::size_t slash = name.rfind('\\');
    return std::string_view(name).substr(slash == std::string::npos ? 0 : slash + 1);
}

// What kind of file it is, as far as its name tells: the extension in ASCII
// lower case, empty for none (a leading dot starts no extension).
std::string Kind(const std::string& name)
{
    const std::string_view leaf = Leaf(name);
    const std::size_t dot = leaf.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string kind(leaf.substr(dot + 1));
    for (char& c : kind)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return kind;
}

using Digest = std::array<std::uint8_t, 32>;

Digest ContentDigest(const TreeFile& file)
{
    const UniqueFd fd = OpenWalkedFile(file);
    Sha256Stream sha;
    std::vector<std::uint8_t> block(std::min<std::uint64_t>(file.size, 1u << 20));
    for (std::uint64_t done = 0; done < file.size;) {
        const ssize_t n =
            ::pread(fd.get(), block.data(), std::min<std::uint64_t>(block.size(), file.size - done), off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(file.path + ": " + ErrnoText(errno));
        if (n == 0) throw Failure(file.path + ": changed while it was packed");
        sha.Add(block.data(), std::size_t(n));
        done += std::uint64_t(n);
    }
    Digest d;
    sha.Finish(d.data());
    return d;
}

}  // namespace

std::vector<const TreeFile*> PackageOrder(const Tree& tree)
{
    // Only files that share their size with another can be identical, so only
    // those are read here. Empty files have nothing to match.
    std::map<std::uint64_t, std::size_t> sizes;
    for (const TreeFile& f : tree.files) ++sizes[f.size];
    struct Key {
        std::string_view folder;
        std::string kind;
        std::string_view leaf;
        const TreeFile* file;
        bool mayHaveTwins;
        Digest content{};
    };
    std::vector<Key> keys;
    keys.reserve(tree.files.size());
    for (const TreeFile& f : tree.files) {
        Key k{Folder(f.name), Kind(f.name), Leaf(f.name), &f, f.size > 0 && sizes[f.size] > 1};
        if (k.mayHaveTwins) k.content = ContentDigest(f);
        keys.push_back(std::move(k));
    }
    // Folder and leaf make the name, which is unique: no two keys tie.
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.folder != b.folder) return a.folder < b.folder;
        if (a.kind != b.kind) return a.kind < b.kind;
        return a.leaf < b.leaf;
    });

    // Each file in its sorted place, and its twins right behind the first of them.
    std::map<std::pair<std::uint64_t, Digest>, std::vector<const TreeFile*>> twins;
    for (const Key& k : keys)
        if (k.mayHaveTwins) twins[{k.file->size, k.content}].push_back(k.file);
    std::vector<const TreeFile*> order;
    order.reserve(keys.size());
    for (const Key& k : keys) {
        if (!k.mayHaveTwins) {
            order.push_back(k.file);
            continue;
        }
        const std::vector<const TreeFile*>& same = twins[{k.file->size, k.content}];
        if (same.front() == k.file) order.insert(order.end(), same.begin(), same.end());
    }
    return order;
}

}  // namespace quro_pack
