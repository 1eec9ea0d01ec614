#include "setup_facts.h"

#include <algorithm>
#include <exception>

#include "common.h"
#include "pe_resources.h"
#include "utf8.h"

namespace quro_pack {
namespace {

constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint16_t kVersionResourceId = 1;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint16_t kWinCertTypePkcsSignedData = 0x0002;

std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t(3); }

// One node of a VS_VERSIONINFO tree: wLength, wValueLength, wType, the
// NUL-terminated UTF-16 key, padding to 32 bits, the value, padding, then
// the children up to wLength.
struct Block {
    std::u16string key;
    const std::uint8_t* value = nullptr;
    std::size_t valueSize = 0;  // bytes
    const std::uint8_t* children = nullptr;
    std::size_t childrenSize = 0;
    std::size_t length = 0;  // the whole block, unpadded
};

bool ReadBlock(const std::uint8_t* p, std::size_t available, Block& b)
{
    if (available < 6) return false;
    b.length = ReadLe16(p);
    if (b.length < 6 || b.length > available) return false;
    const std::size_t valueLength = ReadLe16(p + 2);
    const bool text = ReadLe16(p + 4) == 1;
    b.key.clear();
    std::size_t at = 6;
    for (;; at += 2) {
        if (at + 2 > b.length) return false;
        const char16_t c = char16_t(ReadLe16(p + at));
        if (c == 0) break;
        b.key.push_back(c);
    }
    at = Align4(at + 2);
    // A text value's length counts UTF-16 units, a binary one's bytes.
    const std::size_t valueSize = text ? 2 * valueLength : valueLength;
    if (at > b.length) at = b.length;
    b.value = p + at;
    b.valueSize = std::min(valueSize, b.length - at);
    const std::size_t childrenAt = std::min(Align4(at + b.valueSize), b.length);
    b.children = p + childrenAt;
    b.childrenSize = b.length - childrenAt;
    return true;
}

template <typename Visit>
void ForEachChild(const Block& parent, Visit visit)
{
    for (std::size_t at = 0; at < parent.childrenSize;) {
        Block child;
        if (!ReadBlock(parent.children + at, parent.childrenSize - at, child)) return;
        visit(child);
        at += Align4(child.length);
    }
}

std::string Dotted(std::uint32_t ms, std::uint32_t ls)
{
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
           std::to_string(ls & 0xFFFF);
}

std::optional<SetupVersion> ReadVersion(const std::uint8_t* file, std::size_t size)
{
    const auto resource = pe::FindResource(file, size, kRtVersion, kVersionResourceId);
    if (!resource) return std::nullopt;
    Block root;
    if (!ReadBlock(resource->data, resource->size, root) || root.key != u"VS_VERSION_INFO" || root.valueSize < 52 ||
        ReadLe32(root.value) != kFixedFileInfoSignature)
        return std::nullopt;
    SetupVersion version;
    version.fileVersion = Dotted(ReadLe32(root.value + 8), ReadLe32(root.value + 12));
    ForEachChild(root, [&](const Block& info) {
        if (info.key != u"StringFileInfo") return;
        ForEachChild(info, [&](const Block& table) {
            ForEachChild(table, [&](const Block& string) {
                std::string* field = string.key == u"ProductVersion" ? &version.productVersion
                                     : string.key == u"ProductName"  ? &version.productName
                                                                     : nullptr;
                if (!field || !field->empty()) return;
                std::u16string text;
                for (std::size_t i = 0; i + 1 < string.valueSize; i += 2) {
                    const char16_t c = char16_t(ReadLe16(string.value + i));
                    if (c == 0) break;
                    text.push_back(c);
                }
                *field = Utf16ToUtf8(text);
            });
        });
    });
    return version;
}

// The certificate table's data directory holds a file offset, not an
// address: the table is no part of the loaded image.
Signature ReadSignature(const pe::Image& image, const std::uint8_t* file, std::size_t size)
{
    Signature s;
    if (image.directories.size() <= std::size_t(pe::kCertificateDirectory)) return s;
    const pe::DataDirectory table = image.directories[pe::kCertificateDirectory];
    if (table.size == 0) return s;
    s.present = true;
    s.size = table.size;
    if (std::uint64_t(table.rva) + 8 <= size && table.size >= 8)
        s.authenticode = ReadLe16(file + table.rva + 6) == kWinCertTypePkcsSignedData;
    if (!s.authenticode || std::uint64_t(table.rva) + table.size > size) return s;
    // WIN_CERTIFICATE: its length (header included), revision and type, then the PKCS#7 bytes.
    const std::uint32_t length = std::min<std::uint32_t>(ReadLe32(file + table.rva), table.size);
    if (length < 8) return s;
    const std::size_t directory =
        image.optionalHeader +
        (image.pe32plus ? pe::optional_header::kDirectories : pe::optional_header::kDirectoriesPe32) +
        pe::optional_header::kDirectoryEntrySize * pe::kCertificateDirectory;
    if (image.checkSumOffset + 4 > directory || directory + 8 > table.rva) return s;
    s.check = CheckAuthenticode(file, table.rva, image.checkSumOffset, directory, file + table.rva + 8, length - 8);
    return s;
}

}  // namespace

SetupFacts ReadSetupFacts(const std::uint8_t* file, std::size_t size)
{
    SetupFacts facts;
    if (size < 2 || file[0] != 'M' || file[1] != 'Z') return facts;
    facts.executable = true;
    try {
        const pe::Image image = pe::ReadImage(file, size);
        facts.signature = ReadSignature(image, file, size);
        facts.version = ReadVersion(file, size);
    } catch (const std::exception&) {
        // A damaged resource tree: inspect reports the package's verdict.
    }
    return facts;
}

bool IsProductSetup(const SetupFacts& facts)
{
    return facts.version && facts.version->productName == kProductName && !facts.version->productVersion.empty();
}

std::string DescribeVersion(const SetupVersion& version)
{
    if (version.productVersion.empty()) return version.fileVersion;
    // The product version is text from the stub's resources, which whoever
    // built the stub chose: printed escaped, like every name.
    return version.fileVersion + " (product version " + Escaped(version.productVersion) + ")";
}

std::string DescribeSignature(const Signature& signature)
{
    if (!signature.present) return "none";
    std::string line = std::string(signature.authenticode ? "Authenticode" : "a certificate table of another kind") +
                       ", " + std::to_string(signature.size) + " bytes";
    const AuthenticodeCheck& c = signature.check;
    if (!signature.authenticode) return line;
    if (!c.parsed) return line + "; damaged: " + (c.problem.empty() ? "unreadable" : c.problem);
    line += c.digestMatches ? "; the signed digest matches the file"
                            : "; the signed digest does not match the file (altered after signing)";
    if (!c.signatureHolds) line += "; the signature over it does not verify";
    line += "; signer " + (c.subject.empty() ? std::string("unknown") : Escaped(c.subject));
    line += c.timestamp.empty() ? "; no time stamp" : "; time stamp " + c.timestamp;
    // Trust in the signer is the certificate authorities' to give.
    return line + " (the signer's authority is not checked here; osslsigncode verify -CAfile checks it)";
}

std::string SignatureProblem(const SetupFacts& facts)
{
    const Signature& s = facts.signature;
    if (!facts.executable) return "a package resource carries no signature";
    if (!s.present) return "it is not signed";
    if (!s.authenticode || !s.check.parsed) return "its signature cannot be read";
    if (!s.check.digestMatches) return "its signed digest does not match the file (altered after signing)";
    if (!s.check.signatureHolds) return "its signature does not verify";
    return {};
}

}  // namespace quro_pack
