#include "json_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "format/container_format.h"
#include "common.h"
#include "diff.h"
#include "file_io.h"
#include "verdict.h"
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
    std::string s(2 * size, '0');
    for (std::size_t i = 0; i < size; ++i) {
        s[2 * i] = digits[data[i] >> 4];
        s[2 * i + 1] = digits[data[i] & 15];
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

int InspectJson(const std::string& path, const InspectOptions& options)
{
    const Inspection inspection(path, options);
    const PackageResource& r = inspection.resource;
    const SetupFacts& facts = inspection.facts;

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
    if (facts.signature.present) {
        const AuthenticodeCheck& c = facts.signature.check;
        const auto text = [](const std::string& s) { return s.empty() ? ordered_json(nullptr) : ordered_json(s); };
        doc["signature"] = {{"authenticode", facts.signature.authenticode},
                            {"size", facts.signature.size},
                            {"readable", c.parsed},
                            {"digestMatches", c.digestMatches},
                            {"signatureVerifies", c.signatureHolds},
                            {"signer", text(c.subject)},
                            {"timestamp", text(c.timestamp)},
                            {"problem", text(c.problem)}};
    }
    doc["resourceSize"] = r.present ? ordered_json(r.size) : ordered_json(nullptr);
    doc["header"] = Header(r);
    doc["verdict"] = inspection.Verdict();
    doc["failure"] = inspection.failure ? ordered_json(Narrow(inspection.failure)) : ordered_json(nullptr);
    doc["ok"] = inspection.ok();
    doc["intact"] = inspection.intact();
    doc["installProblems"] = inspection.installProblems;
    doc["warnings"] = inspection.warnings;
    doc["fileCount"] = inspection.fileCount;
    doc["filesTotalSize"] = inspection.filesTotal;
    doc["files"] = ordered_json::array();

    // The document as dump(2) writes it, but the files go out one at a time
    // as the list is walked: a package of a few hundred bytes may hold
    // millions of records. Everything before them is printed as it is, up to
    // the empty array that closes it.
    const auto dump = [](const ordered_json& j, int indent) {
        return j.dump(indent, ' ', false, ordered_json::error_handler_t::replace);
    };
    std::string text = dump(doc, 2);
    const std::size_t empty = text.rfind("[]");
    std::fwrite(text.data(), 1, empty, stdout);
    if (inspection.fileCount == 0) {
        std::fputs("[]\n}\n", stdout);
    } else {
        std::fputc('[', stdout);
        std::size_t written = 0;
        ForEachFile(inspection, [&](const PackageEntry& e) {
            // By hand, as dump(2) would indent it within the array: millions
            // of records make a JSON value per file the slow part.
            std::uint8_t digest[32];
            Sha256(e.data, std::size_t(e.size), digest);
            const PathCheck check = CheckPath(e.name);
            const std::string name = dump(ordered_json(Utf16ToUtf8(e.name)), -1);
            std::printf(
                "%s\n    {\n      \"name\": %s,\n      \"size\": %llu,\n      \"sha256\": \"%s\",\n"
                "      \"windowsPathLength\": %zu,\n      \"tooLongForWindows\": %s\n    }",
                written++ ? "," : "", name.c_str(), static_cast<unsigned long long>(e.size),
                Hex(digest, sizeof digest).c_str(), check.pathLength, check.tooLong ? "true" : "false");
        });
        std::fputs("\n  ]\n}\n", stdout);
    }
    std::fflush(stdout);
    if (!inspection.ok()) throw Failure(path + ": " + inspection.Verdict());
    return 0;
}

int DiffJson(const std::string& oldPath, const std::string& newPath)
{
    const auto text = [](const std::string& s) {
        return ordered_json(s).dump(-1, ' ', false, ordered_json::error_handler_t::replace);
    };
    // The changes go out as they are found: a diff of two packages of
    // millions of records stays within the comparison's own memory.
    std::string out = "{\n  \"old\": " + text(oldPath) + ",\n  \"new\": " + text(newPath) + ",\n  \"changes\": [";
    std::size_t written = 0;
    const DiffSummary s = ComparePackages(oldPath, newPath, [&](const FileChange& c) {
        const char* kind = c.kind == FileChange::Kind::Added     ? "added"
                           : c.kind == FileChange::Kind::Removed ? "removed"
                                                                 : "changed";
        out += std::string(written++ ? "," : "") + "\n    {\"change\": \"" + kind +
               "\", \"name\": " + text(Utf16ToUtf8(c.name));
        if (c.kind != FileChange::Kind::Added) out += ", \"oldSize\": " + std::to_string(c.oldSize);
        if (c.kind != FileChange::Kind::Removed) out += ", \"newSize\": " + std::to_string(c.newSize);
        out += "}";
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    });
    if (written == 0) std::fwrite(out.data(), 1, out.size(), stdout);
    const auto version = [](const std::optional<SetupVersion>& v) {
        return v ? ordered_json(DescribeVersion(*v)) : ordered_json(nullptr);
    };
    ordered_json summary = {{"same", s.Same()},
                            {"oldFiles", s.oldFiles},
                            {"newFiles", s.newFiles},
                            {"added", s.added},
                            {"removed", s.removed},
                            {"changed", s.changed},
                            {"oldTotalSize", s.oldTotal},
                            {"newTotalSize", s.newTotal},
                            {"oldSetupProgram", version(s.oldVersion)},
                            {"newSetupProgram", version(s.newVersion)}};
    std::string rest = summary.dump(2, ' ', false, ordered_json::error_handler_t::replace);
    // The summary's members follow the changes in the same object.
    std::printf("\n  ],\n%s\n", rest.substr(2).c_str());
    std::fflush(stdout);
    return s.Same() ? 0 : 1;
}

}  // namespace quro_pack
