#include "package_writer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "format/container_format.h"
#include "format/file_list_rules.h"
#include "file_io.h"
#include "lzms_buffer.h"
#include "progress.h"
#include "sha256.h"

namespace quro_pack {
namespace {

void ReadExactly(const TreeFile& file, std::uint8_t* out)
{
    const UniqueFd f = OpenWalkedFile(file);
    std::uint64_t left = file.size;
    while (left > 0) {
        const std::size_t step = left < (1u << 30) ? std::size_t(left) : (1u << 30);
        const ssize_t n = ::read(f.get(), out, step);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(file.path + ": " + ErrnoText(errno));
        if (n == 0) throw Failure(file.path + ": changed while it was packed");
        out += n;
        left -= std::uint64_t(n);
    }
    std::uint8_t extra;
    ssize_t n;
    while ((n = ::read(f.get(), &extra, 1)) < 0 && errno == EINTR) {}
    if (n != 0) throw Failure(file.path + ": changed while it was packed");
}

}  // namespace

Bytes BuildFileList(const Tree& tree, Progress* progress)
{
    if (tree.files.size() > 0xFFFFFFFFu) throw Failure(tree.files[0xFFFFFFFFu].path + ": more than 2^32-1 files");
    std::uint64_t total = 4;
    for (const TreeFile& f : tree.files) {
        // Where the 16-bit length field is written, so no caller can wrap it.
        if (f.name.size() > file_list::kMaxNameBytes) throw Failure(f.path + ": the name is longer than 65,535 bytes");
        total += 10 + f.name.size() + f.size;
        if (total > package_format::kMaxUnpackedSize || f.size > package_format::kMaxUnpackedSize)
            throw Failure(f.path + ": with this file the package exceeds 2 GiB (2,147,483,648 bytes) unpacked");
    }
    Bytes list(static_cast<std::size_t>(total));
    std::uint8_t* p = list.data();
    PutLe32(p, std::uint32_t(tree.files.size()));
    p += 4;
    std::size_t done = 0;
    for (const TreeFile& f : tree.files) {
        PutLe16(p, std::uint16_t(f.name.size()));
        std::memcpy(p + 2, f.name.data(), f.name.size());
        p += 2 + f.name.size();
        PutLe64(p, f.size);
        p += 8;
        ReadExactly(f, p);
        p += f.size;
        if (progress)
            progress->Show("quro-pack: reading " + std::to_string(++done) + " of " + std::to_string(tree.files.size()) +
                           " files");
    }
    return list;
}

Bytes MakeResource(const Bytes& unpacked, const PackOptions& options)
{
    Bytes resource(package_format::kHeaderSize);
    std::memcpy(resource.data(), package_format::kMagic, sizeof package_format::kMagic);
    PutLe64(resource.data() + package_format::kSizeOffset, unpacked.size());
    Sha256(unpacked.data(), unpacked.size(), resource.data() + package_format::kDigestOffset);
    lzms::CompressOptions c;
    c.store = options.store;
    if (options.progress)
        c.progress = [progress = options.progress](std::size_t done, std::size_t count) {
            progress->Show(
                "quro-pack: compressing " + std::to_string(done) + " of " + std::to_string(count) + " chunks", true);
        };
    if (options.progress && !options.store) options.progress->Show("quro-pack: compressing", true);
    lzms::AppendBuffer(unpacked.data(), unpacked.size(), c, resource);
    return resource;
}

Bytes PackFolder(const std::string& folder, const PackOptions& options, Tree* walked)
{
    Tree tree = WalkTree(folder);
    // The setup program would refuse to verify such a package, and install
    // an empty folder from it.
    if (tree.files.empty()) throw Failure(folder + ": holds no files, and a package needs at least one");
    Bytes resource;
    {
        const Bytes unpacked = BuildFileList(tree, options.progress);
        resource = MakeResource(unpacked, options);
    }
    if (walked) *walked = std::move(tree);
    return resource;
}

}  // namespace quro_pack
