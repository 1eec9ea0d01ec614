#include "package_reader.h"

#include <cstring>
#include <new>

#include "format/container_format.h"
#include "format/file_list_rules.h"
#include "lzms_buffer.h"
#include "pe_resources.h"
#include "sha256.h"
#include "utf8.h"

namespace quro_pack {

PackageResource LocatePackage(const std::uint8_t* file, std::size_t size, const std::string& label)
{
    PackageResource r;
    if (size >= 2 && file[0] == 'M' && file[1] == 'Z') {
        r.fromSetup = true;
        if (const auto found = pe::FindResource(file, size, pe::kRtRcdata, pe::kPackageResourceId, label)) {
            r.present = true;
            r.data = found->data;
            r.size = found->size;
        }
        return r;
    }
    r.present = true;
    r.data = file;
    r.size = size;
    return r;
}

const wchar_t* UnpackContainer(const PackageResource& resource, Bytes& unpacked)
{
    if (!resource.present) return package_format::kNoPackage;
    if (const wchar_t* failure = package_format::CheckHeader(resource.data, resource.size)) return failure;
    const std::uint64_t size = ReadLe64(resource.data + package_format::kSizeOffset);
    const std::uint8_t* stream = resource.data + package_format::kHeaderSize;
    const std::size_t streamSize = resource.size - package_format::kHeaderSize;

    // Windows would fill a buffer of the stated size and fail in Decompress;
    // a buffer header that cannot fill it exactly fails the same way here,
    // without the allocation.
    compressapi::BufferHeader header;
    if (!compressapi::ReadHeader(stream, streamSize, header, &lzms::Crc32) || header.totalSize != size)
        return package_format::kDamaged;
    try {
        unpacked.assign(std::size_t(size), 0);
    } catch (const std::bad_alloc&) {
        throw Failure("not enough memory for " + std::to_string(size) + " unpacked bytes");
    }
    std::size_t produced = 0;
    switch (lzms::Decompress(stream, streamSize, unpacked.data(), unpacked.size(), produced)) {
    case lzms::Decoded::NoDecompressor:
        return package_format::kNoDecompressor;
    case lzms::Decoded::Corrupt:
        return package_format::kDamaged;
    case lzms::Decoded::Ok:
        break;
    }
    if (produced != size) return package_format::kDamaged;
    std::uint8_t digest[32];
    Sha256(unpacked.data(), unpacked.size(), digest);
    if (std::memcmp(digest, resource.data + package_format::kDigestOffset, sizeof digest) != 0)
        return package_format::kDamagedDigest;
    return nullptr;
}

const wchar_t* WalkFileList(const Bytes& unpacked, const std::function<bool(PackageEntry&&)>& visit)
{
    // A list of millions of one-letter records unpacks from a few hundred
    // bytes; walking it without holding its entries keeps memory at the size
    // of the unpacked bytes.
    struct Stop {};
    try {
        return file_list::ParseFileListBytes(
            unpacked.data(), unpacked.size(),
            [](const std::uint8_t* name, std::size_t n) { return Utf8ToUtf16(name, n); },
            [&](std::u16string name, const std::uint8_t* data, std::uint64_t size) {
                if (!visit(PackageEntry{std::move(name), data, size})) throw Stop{};
            });
    } catch (const Stop&) {
        return nullptr;
    }
}

const wchar_t* UnpackChecked(const PackageResource& resource, Bytes& unpacked, std::size_t* count)
{
    if (const wchar_t* failure = UnpackContainer(resource, unpacked)) return failure;
    std::size_t n = 0;
    const wchar_t* failure = WalkFileList(unpacked, [&n](PackageEntry&&) { return ++n, true; });
    if (count) *count = n;
    return failure;
}

const wchar_t* UnpackPackage(const PackageResource& resource, Bytes& unpacked, std::vector<PackageEntry>& entries)
{
    if (const wchar_t* failure = UnpackContainer(resource, unpacked)) return failure;
    return WalkFileList(unpacked, [&](PackageEntry&& e) {
        entries.push_back(std::move(e));
        return true;
    });
}

}  // namespace quro_pack
