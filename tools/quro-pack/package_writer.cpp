#include "package_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "format/container_format.h"
#include "format/file_list_rules.h"
#include "file_io.h"
#include "package_order.h"
#include "sha256.h"
#include "windows_paths.h"

namespace quro_pack {
namespace {

// Where each file's record lies in the file list: a 16-bit name length, the
// name, a 64-bit size, then the file's bytes.
class FileList {
public:
    explicit FileList(const Tree& tree) : files_(PackageOrder(tree))
    {
        if (files_.size() > 0xFFFFFFFFu) throw Failure(files_[0xFFFFFFFFu]->path + ": more than 2^32-1 files");
        std::uint64_t total = 4;
        for (const TreeFile* f : files_) {
            // Where the 16-bit length field is written, so no caller can wrap it.
            if (f->name.size() > file_list::kMaxNameBytes)
                throw Failure(f->path + ": the name is longer than 65,535 bytes");
            starts_.push_back(total);
            total += 10 + f->name.size() + f->size;
            if (total > package_format::kMaxUnpackedSize || f->size > package_format::kMaxUnpackedSize)
                throw Failure(f->path + ": with this file the package exceeds 2 GiB (2,147,483,648 bytes) unpacked");
        }
        size_ = total;
    }

    std::uint64_t size() const { return size_; }

    // The list's bytes [offset, offset + n), each file read from the folder
    // the walk listed; safe to call from several threads at once.
    void Read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const
    {
        const std::uint64_t end = offset + n;
        if (offset < 4) {
            std::uint8_t count[4];
            PutLe32(count, std::uint32_t(files_.size()));
            const std::size_t take = std::size_t(std::min<std::uint64_t>(4, end) - offset);
            std::memcpy(out, count + offset, take);
            out += take;
            offset += take;
        }
        // The first record that ends after offset.
        std::size_t i = std::size_t(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) - 1;
        for (; offset < end; ++i) {
            const TreeFile& f = *files_[i];
            const std::uint64_t dataStart = starts_[i] + 10 + f.name.size();
            if (offset < dataStart) {
                Bytes head(10 + f.name.size());
                PutLe16(head.data(), std::uint16_t(f.name.size()));
                std::memcpy(head.data() + 2, f.name.data(), f.name.size());
                PutLe64(head.data() + 2 + f.name.size(), f.size);
                const std::size_t take = std::size_t(std::min(end, dataStart) - offset);
                std::memcpy(out, head.data() + (offset - starts_[i]), take);
                out += take;
                offset += take;
            }
            const std::uint64_t dataEnd = dataStart + f.size;
            if (offset < end && offset < dataEnd) {
                const std::size_t take = std::size_t(std::min(end, dataEnd) - offset);
                ReadPart(f, offset - dataStart, out, take);
                out += take;
                offset += take;
            }
        }
    }

private:
    static void ReadPart(const TreeFile& file, std::uint64_t from, std::uint8_t* out, std::size_t n)
    {
        const UniqueFd fd = OpenWalkedFile(file);
        for (std::size_t done = 0; done < n;) {
            const ssize_t got =
                ::pread(fd.get(), out + done, std::min<std::size_t>(n - done, 1u << 30), off_t(from + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw Failure(file.path + ": " + ErrnoText(errno));
            if (got == 0) throw Failure(file.path + ": changed while it was packed");
            done += std::size_t(got);
        }
        if (from + n < file.size) return;
        // A file that grew since the walk is not the file that was walked.
        std::uint8_t extra;
        ssize_t got;
        while ((got = ::pread(fd.get(), &extra, 1, off_t(file.size))) < 0 && errno == EINTR) {}
        if (got != 0) throw Failure(file.path + ": changed while it was packed");
    }

    std::vector<const TreeFile*> files_;
    std::vector<std::uint64_t> starts_;
    std::uint64_t size_ = 0;
};

Bytes MakeResource(std::uint64_t size, const lzms::ReadRange& read, const PackOptions& options)
{
    Bytes resource(package_format::kHeaderSize);
    std::memcpy(resource.data(), package_format::kMagic, sizeof package_format::kMagic);
    PutLe64(resource.data() + package_format::kSizeOffset, size);
    // The digest comes first, in order, through a small buffer; the chunks
    // are read again as the compressors take them.
    {
        Sha256Stream sha;
        Bytes block(std::size_t(std::min<std::uint64_t>(size, 16u << 20)));
        if (options.progress) options.progress({ProgressEvent::Phase::Reading, 0, size});
        for (std::uint64_t done = 0; done < size;) {
            const std::size_t n = std::size_t(std::min<std::uint64_t>(block.size(), size - done));
            read(done, block.data(), n);
            sha.Add(block.data(), n);
            done += n;
            if (options.progress) options.progress({ProgressEvent::Phase::Reading, done, size});
        }
        sha.Finish(resource.data() + package_format::kDigestOffset);
    }
    lzms::CompressOptions c = options.compress;
    if (options.progress) {
        c.progress = [&progress = options.progress](std::size_t done, std::size_t count) {
            progress({ProgressEvent::Phase::Compressing, done, count});
        };
        const std::uint64_t chunk = compressapi::kMaxChunkSize;
        options.progress({ProgressEvent::Phase::Compressing, 0, (size + chunk - 1) / chunk});
    }
    lzms::AppendBuffer(size, read, c, resource);
    return resource;
}

}  // namespace

Bytes BuildFileList(const Tree& tree)
{
    const FileList list(tree);
    Bytes bytes(static_cast<std::size_t>(list.size()));
    list.Read(0, bytes.data(), bytes.size());
    return bytes;
}

Bytes MakeResource(const Bytes& unpacked, const PackOptions& options)
{
    return MakeResource(
        unpacked.size(),
        [&unpacked](std::uint64_t offset, std::uint8_t* out, std::size_t n) {
            std::memcpy(out, unpacked.data() + offset, n);
        },
        options);
}

Bytes PackFolder(const std::string& folder, const PackOptions& options, std::vector<std::string>* warnings,
                 PackCounts* counts)
{
    const Tree tree = WalkTree(folder, options.exclude);
    // The setup program would refuse to verify such a package, and install
    // an empty folder from it.
    if (tree.files.empty()) throw Failure(folder + ": holds no files, and a package needs at least one");
    const std::vector<std::string> found = TreeWarnings(folder, tree);
    if (warnings) *warnings = found;
    if (options.strict && !found.empty()) throw Failure(StrictRefusal(found.size()), found);
    // The list's size follows from the names and sizes the walk saw: the
    // budget is judged before the first file is read (the order reads twins).
    std::uint64_t listSize = 4, filesSize = 0;
    for (const TreeFile& f : tree.files) {
        listSize += 10 + f.name.size() + f.size;
        filesSize += f.size;
    }
    lzms::CheckMemoryBudget(listSize, options.compress);
    const FileList list(tree);
    if (counts) *counts = PackCounts{tree.files.size(), tree.excluded, filesSize, list.size()};
    return MakeResource(
        list.size(), [&list](std::uint64_t offset, std::uint8_t* out, std::size_t n) { list.Read(offset, out, n); },
        options);
}

}  // namespace quro_pack
