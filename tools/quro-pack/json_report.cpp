#include "json_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "format/container_format.h"
#include "common.h"
#include "file_io.h"
#include "lzms_buffer.h"
#include "package_reader.h"
#include "setup_facts.h"
#include "sha256.h"
#include "utf8.h"
#include "windows_paths.h"

namespace quro_pack {
namespace {

using nlohmann::ordered_json;

std::string Hex(const std::uint8_t* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < size; ++i) {
        s.push_back(digits[data[i] >> 4]);
        s.push_back(digits[data[i] & 15]);
    }
    return s;
}

ordered_json Header(const PackageResource& r)
{
    if (!r.present || r.size < package_format::kHeaderSize) return nullptr;
    ordered_json header;
    header["magic"] = Hex(r.data, sizeof package_format::kMagic);
    header["magicValid"] = std::memcmp(r.data, package_format::kMagic, sizeof package_format::kMagic) == 0;
    header["unpackedSize"] = ReadLe64(r.data + package_format::kSizeOffset);
    header["digest"] = Hex(r.data + package_format::kDigestOffset, package_format::kDigestSize);
    header["compressedSize"] = r.size - package_format::kHeaderSize;
    const lzms::BufferInfo info =
        lzms::Describe(r.data + package_format::kHeaderSize, r.size - package_format::kHeaderSize);
    if (!info.headerValid) {
        header["buffer"] = nullptr;
        return header;
    }
    ordered_json chunks = ordered_json::array();
    for (const lzms::ChunkInfo& c : info.chunks)
        chunks.push_back({{"stored", c.stored()}, {"size", c.rawSize}, {"compressedSize", c.compressedSize}});
    header["buffer"] = {{"totalSize", info.header.totalSize},
                        {"chunkSize", info.header.chunkSize},
                        {"recordsValid", info.recordsValid},
                        {"chunks", std::move(chunks)}};
    return header;
}

}  // namespace

int InspectJson(const std::string& path)
{
    const MappedFile file(path);
    const PackageResource r = LocatePackage(file.data(), file.size(), path);
    const SetupFacts facts = ReadSetupFacts(file.data(), file.size());
    Bytes unpacked;
    std::vector<PackageEntry> entries;
    const wchar_t* failure = UnpackPackage(r, unpacked, entries);

    ordered_json doc;
    doc["file"] = path;
    doc["kind"] = facts.executable ? "setup" : "package";
    if (facts.version)
        doc["setupProgram"] = {{"fileVersion", facts.version->fileVersion},
                               {"productVersion", facts.version->productVersion}};
    else
        doc["setupProgram"] = nullptr;
    doc["signed"] = facts.signature.present;
    doc["signature"] = nullptr;
    if (facts.signature.present)
        doc["signature"] = {{"authenticode", facts.signature.authenticode}, {"size", facts.signature.size}};
    doc["resourceSize"] = r.present ? ordered_json(r.size) : ordered_json(nullptr);
    doc["header"] = Header(r);
    doc["verdict"] = failure ? Narrow(failure) : "ok";
    doc["ok"] = failure == nullptr;
    ordered_json files = ordered_json::array();
    std::uint64_t total = 0;
    for (const PackageEntry& e : entries) {
        std::uint8_t digest[32];
        Sha256(e.data, std::size_t(e.size), digest);
        const PathCheck path = CheckPath(e.name);
        files.push_back({{"name", Utf16ToUtf8(e.name)},
                         {"size", e.size},
                         {"sha256", Hex(digest, sizeof digest)},
                         {"windowsPathLength", path.pathLength},
                         {"tooLongForWindows", path.tooLong}});
        total += e.size;
    }
    doc["fileCount"] = entries.size();
    doc["filesTotalSize"] = total;
    doc["files"] = std::move(files);
    const std::string text = doc.dump(2, ' ', false, ordered_json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (failure) throw Failure(path + ": " + Narrow(failure));
    return 0;
}

}  // namespace quro_pack
