#include "pe_resources.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "common.h"

namespace quro_pack::pe {
namespace {

[[noreturn]] void Refuse(const std::string& label, const std::string& why)
{
    throw Failure(label.empty() ? why : label + ": " + why);
}

constexpr std::uint32_t kScnInitializedData = 0x00000040;
constexpr std::uint32_t kScnMemRead = 0x40000000;
constexpr std::uint64_t k4GiB = std::uint64_t(1) << 32;

std::uint64_t AlignUp(std::uint64_t v, std::uint32_t a) { return a ? (v + a - 1) / a * a : v; }

// The loader maps VirtualSize bytes, or SizeOfRawData when VirtualSize is 0.
std::uint64_t Extent(const Section& s) { return s.virtualSize ? s.virtualSize : s.rawSize; }

int SectionOf(const Image& image, std::uint32_t rva)
{
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const Section& s = image.sections[i];
        if (rva >= s.virtualAddress && rva - s.virtualAddress < std::max<std::uint64_t>(Extent(s), s.rawSize))
            return int(i);
    }
    return -1;
}

// The file bytes behind rva, up to the end of its section's raw data.
std::optional<Span> BytesAt(const Image& image, const std::uint8_t* file, std::size_t fileSize, std::uint32_t rva)
{
    const int i = SectionOf(image, rva);
    if (i < 0) return std::nullopt;
    const Section& s = image.sections[std::size_t(i)];
    const std::uint64_t within = rva - s.virtualAddress;
    const std::uint64_t rawEnd = std::min<std::uint64_t>(std::uint64_t(s.rawPointer) + s.rawSize, fileSize);
    if (std::uint64_t(s.rawPointer) + within >= rawEnd) return std::nullopt;
    return Span{file + s.rawPointer + within, std::size_t(rawEnd - s.rawPointer - within)};
}

// One node of the resource tree: a directory, or a data entry (a leaf).
struct Node {
    bool directory = true;
    std::uint32_t characteristics = 0;
    std::uint32_t timeDateStamp = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    struct Entry {
        bool named = false;
        std::uint32_t id = 0;
        // A name stays where the directory holds it (length-prefixed UTF-16):
        // entries may share one name, and copying each would let a small file
        // claim gigabytes.
        const std::uint8_t* name = nullptr;
        std::size_t nameUnits = 0;
        std::unique_ptr<Node> node;
    };
    std::vector<Entry> entries;  // named entries first, each group in the order Windows searches
    std::uint32_t codePage = 0;
    std::uint32_t reserved = 0;
    Span data;
    bool placeLast = false;  // the package: laid out after everything else
};

struct TreeReader {
    const Image& image;
    const std::uint8_t* file;
    std::size_t fileSize;
    Span view;  // the resource directory to the end of its section
    const std::string& label;
    std::size_t nodes = 0;

    [[noreturn]] void Damaged() { Refuse(label, "its resource directory is damaged"); }

    std::unique_ptr<Node> Read(std::uint32_t offset, bool directory, int depth)
    {
        // Windows trees are three levels deep; the limits stop loops and blowups.
        if (depth > 8 || ++nodes > 65536) Damaged();
        auto node = std::make_unique<Node>();
        node->directory = directory;
        if (!directory) {
            if (std::uint64_t(offset) + 16 > view.size) Damaged();
            const std::uint8_t* p = view.data + offset;
            const std::uint32_t rva = ReadLe32(p), size = ReadLe32(p + 4);
            node->codePage = ReadLe32(p + 8);
            node->reserved = ReadLe32(p + 12);
            if (size > 0) {
                const auto bytes = BytesAt(image, file, fileSize, rva);
                if (!bytes || bytes->size < size) Refuse(label, "a resource lies outside the file");
                node->data = Span{bytes->data, size};
            } else {
                node->data = Span{view.data, 0};
            }
            return node;
        }
        if (std::uint64_t(offset) + 16 > view.size) Damaged();
        const std::uint8_t* p = view.data + offset;
        node->characteristics = ReadLe32(p);
        node->timeDateStamp = ReadLe32(p + 4);
        node->majorVersion = ReadLe16(p + 8);
        node->minorVersion = ReadLe16(p + 10);
        const std::uint64_t count = std::uint64_t(ReadLe16(p + 12)) + ReadLe16(p + 14);
        if (offset + 16 + 8 * count > view.size) Damaged();
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* e = p + 16 + 8 * i;
            const std::uint32_t nameField = ReadLe32(e), dataField = ReadLe32(e + 4);
            Node::Entry entry;
            if (nameField & 0x80000000u) {
                const std::uint32_t at = nameField & 0x7FFFFFFFu;
                if (std::uint64_t(at) + 2 > view.size) Damaged();
                const std::uint16_t length = ReadLe16(view.data + at);
                if (std::uint64_t(at) + 2 + 2 * std::uint64_t(length) > view.size) Damaged();
                entry.named = true;
                entry.name = view.data + at + 2;
                entry.nameUnits = length;
            } else {
                entry.id = nameField;
            }
            entry.node = Read(dataField & 0x7FFFFFFFu, (dataField & 0x80000000u) != 0, depth + 1);
            node->entries.push_back(std::move(entry));
        }
        return node;
    }
};

// The resource tree of image, or null when it has none.
std::unique_ptr<Node> ReadTree(const Image& image, const std::uint8_t* file, std::size_t size, const std::string& label)
{
    if (image.directories.size() <= std::size_t(kResourceDirectory)) return nullptr;
    const DataDirectory dir = image.directories[kResourceDirectory];
    if (dir.rva == 0) return nullptr;
    const auto view = BytesAt(image, file, size, dir.rva);
    if (!view) Refuse(label, "its resource directory lies outside the file");
    TreeReader reader{image, file, size, *view, label};
    return reader.Read(0, true, 0);
}

struct Flattener {
    const std::string& label;
    std::uint64_t budget;  // name units that may still be copied
    std::vector<ResourceLeaf> out;

    void Add(const Node& node, std::vector<ResourceKey>& path)
    {
        if (!node.directory) {
            out.push_back(ResourceLeaf{path, node.codePage, node.data});
            return;
        }
        for (const Node::Entry& e : node.entries) {
            ResourceKey key;
            key.named = e.named;
            key.id = e.id;
            // Entries may share one name; a listing copies at most as many
            // units as the file holds bytes.
            if (e.nameUnits > budget) Refuse(label, "its resource directory is damaged");
            budget -= e.nameUnits;
            for (std::size_t k = 0; k < e.nameUnits; ++k) key.name.push_back(char16_t(ReadLe16(e.name + 2 * k)));
            path.push_back(std::move(key));
            Add(*e.node, path);
            path.pop_back();
        }
    }
};

Node::Entry* FindId(Node& dir, std::uint32_t id)
{
    for (Node::Entry& e : dir.entries)
        if (!e.named && e.id == id) return &e;
    return nullptr;
}

// Windows binary-searches the ID entries, so a new one goes in sorted.
Node::Entry& InsertId(Node& dir, std::uint32_t id, std::unique_ptr<Node> node)
{
    auto at = std::find_if(dir.entries.begin(), dir.entries.end(),
                           [&](const Node::Entry& e) { return !e.named && e.id > id; });
    Node::Entry entry;
    entry.id = id;
    entry.node = std::move(node);
    return *dir.entries.insert(at, std::move(entry));
}

struct Serialized {
    Bytes head;  // the tables, the names and every resource but the package
    Span tail;   // the package, which ends the section
    std::uint64_t size = 0;
};

// limit: the bytes the tables, names and other resources may take; a
// directory whose entries share names or data would otherwise unfold into
// far more than the file holds.
Serialized Serialize(const Node& root, std::uint32_t sectionRva, std::uint64_t limit, const std::string& label)
{
    std::vector<const Node*> dirs;
    std::vector<const Node*> leaves;
    std::deque<const Node*> queue{&root};
    while (!queue.empty()) {
        const Node* d = queue.front();
        queue.pop_front();
        dirs.push_back(d);
        for (const Node::Entry& e : d->entries) {
            if (e.node->directory)
                queue.push_back(e.node.get());
            else
                leaves.push_back(e.node.get());
        }
    }
    std::map<const Node*, std::uint64_t> at;
    std::map<const Node::Entry*, std::uint64_t> nameAt;
    std::uint64_t offset = 0;
    for (const Node* d : dirs) {
        at[d] = offset;
        offset += 16 + 8 * std::uint64_t(d->entries.size());
    }
    for (const Node* l : leaves) {
        at[l] = offset;
        offset += 16;
    }
    for (const Node* d : dirs)
        for (const Node::Entry& e : d->entries)
            if (e.named) {
                nameAt[&e] = offset;
                offset += 2 + 2 * std::uint64_t(e.nameUnits);
            }
    std::map<const Node*, std::uint64_t> dataAt;
    const Node* last = nullptr;
    for (const Node* l : leaves) {
        if (l->placeLast) {
            last = l;
            continue;
        }
        offset = AlignUp(offset, 8);
        dataAt[l] = offset;
        offset += l->data.size;
    }
    offset = AlignUp(offset, 8);
    Serialized out;
    if (offset > limit + 8 * std::uint64_t(leaves.size())) Refuse(label, "its resource directory is damaged");
    if (offset > 0x7FFFFFFFu) Refuse(label, "its resources are too large");
    out.head.assign(std::size_t(offset), 0);
    if (last) {
        dataAt[last] = offset;
        out.tail = last->data;
        offset += last->data.size;
    }
    out.size = offset;
    if (std::uint64_t(sectionRva) + offset >= k4GiB)
        throw Failure("with this package the setup program would reach 4 GiB");

    std::uint8_t* h = out.head.data();
    for (const Node* d : dirs) {
        std::uint8_t* p = h + at[d];
        PutLe32(p, d->characteristics);
        PutLe32(p + 4, d->timeDateStamp);
        PutLe16(p + 8, d->majorVersion);
        PutLe16(p + 10, d->minorVersion);
        const auto named =
            std::count_if(d->entries.begin(), d->entries.end(), [](const Node::Entry& e) { return e.named; });
        if (d->entries.size() > 0xFFFF) Refuse(label, "a resource directory has too many entries");
        PutLe16(p + 12, std::uint16_t(named));
        PutLe16(p + 14, std::uint16_t(d->entries.size() - std::size_t(named)));
        // The counts say "named first", whatever order the entries came in.
        std::vector<const Node::Entry*> ordered;
        for (const Node::Entry& e : d->entries)
            if (e.named) ordered.push_back(&e);
        for (const Node::Entry& e : d->entries)
            if (!e.named) ordered.push_back(&e);
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            const Node::Entry& e = *ordered[i];
            std::uint8_t* q = p + 16 + 8 * i;
            PutLe32(q, e.named ? 0x80000000u | std::uint32_t(nameAt[&e]) : e.id);
            PutLe32(q + 4, std::uint32_t(at[e.node.get()]) | (e.node->directory ? 0x80000000u : 0));
            if (e.named) {
                std::uint8_t* s = h + nameAt[&e];
                PutLe16(s, std::uint16_t(e.nameUnits));
                std::memcpy(s + 2, e.name, 2 * e.nameUnits);
            }
        }
    }
    for (const Node* l : leaves) {
        std::uint8_t* p = h + at[l];
        PutLe32(p, std::uint32_t(sectionRva + dataAt[l]));
        PutLe32(p + 4, std::uint32_t(l->data.size));
        PutLe32(p + 8, l->codePage);
        PutLe32(p + 12, l->reserved);
        if (l != last && l->data.size) std::memcpy(h + dataAt[l], l->data.data, l->data.size);
    }
    return out;
}

// CheckSumMappedFile: the sum of the file's 16-bit little-endian words
// with end-around carry (the CheckSum field counting as zero), folded to 16
// bits, plus the file length. Folding once at the end gives the same value
// as folding after every word.
class ChecksumAccumulator {
public:
    explicit ChecksumAccumulator(std::uint64_t checkSumOffset) : skip_(checkSumOffset) {}

    // data null: size zero bytes.
    void Add(const std::uint8_t* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size;) {
            const bool nearField = position_ + 2 > skip_ && position_ < skip_ + 4;
            if ((position_ & 1) || nearField || size - i < 2) {
                AddByte(data ? data[i] : 0);
                ++i;
                continue;
            }
            std::uint64_t run = (size - i) & ~std::uint64_t(1);
            if (position_ < skip_) run = std::min(run, (skip_ - position_) & ~std::uint64_t(1));
            if (data)
                for (std::uint64_t k = 0; k < run; k += 2)
                    sum_ += std::uint32_t(data[i + k]) | (std::uint32_t(data[i + k + 1]) << 8);
            position_ += run;
            i += std::size_t(run);
        }
    }

    std::uint32_t Finish()
    {
        std::uint64_t sum = sum_ + ((position_ & 1) ? pending_ : 0);
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        return std::uint32_t(sum + position_);
    }

private:
    void AddByte(std::uint8_t b)
    {
        if (position_ >= skip_ && position_ < skip_ + 4) b = 0;
        if (position_ & 1)
            sum_ += std::uint32_t(pending_) | (std::uint32_t(b) << 8);
        else
            pending_ = b;
        ++position_;
    }

    std::uint64_t skip_;
    std::uint64_t position_ = 0;
    std::uint64_t sum_ = 0;  // 2^32 words of 0xFFFF still fit
    std::uint8_t pending_ = 0;
};

}  // namespace

Image ReadImage(const std::uint8_t* file, std::size_t size, const std::string& label)
{
    namespace oh = optional_header;
    namespace sh = section_header;
    if (size < 0x40 || file[0] != 'M' || file[1] != 'Z') Refuse(label, "not a Windows executable");
    const std::uint64_t pe = ReadLe32(file + 0x3C);
    if (pe + 4 + coff::kHeaderSize > size || std::memcmp(file + pe, "PE\0\0", 4) != 0) Refuse(label, "not a PE file");
    Image image;
    image.coffHeader = std::size_t(pe + 4);
    const std::uint8_t* header = file + image.coffHeader;
    const std::uint16_t sectionCount = ReadLe16(header + coff::kNumberOfSections);
    const std::uint16_t optionalSize = ReadLe16(header + coff::kSizeOfOptionalHeader);
    image.pointerToSymbolTable = ReadLe32(header + coff::kPointerToSymbolTable);
    image.optionalHeader = image.coffHeader + coff::kHeaderSize;
    if (image.optionalHeader + optionalSize > size || optionalSize < 2) Refuse(label, "its PE headers are cut short");
    const std::uint8_t* opt = file + image.optionalHeader;
    const std::uint16_t magic = ReadLe16(opt + oh::kMagic);
    if (magic != oh::kMagicPe32Plus && magic != oh::kMagicPe32) Refuse(label, "unknown optional header");
    image.pe32plus = magic == oh::kMagicPe32Plus;
    const std::size_t directoriesAt = image.pe32plus ? oh::kDirectories : oh::kDirectoriesPe32;
    if (optionalSize < directoriesAt) Refuse(label, "its PE headers are cut short");
    image.sizeOfInitializedData = ReadLe32(opt + oh::kSizeOfInitializedData);
    image.sectionAlignment = ReadLe32(opt + oh::kSectionAlignment);
    image.fileAlignment = ReadLe32(opt + oh::kFileAlignment);
    image.sizeOfImage = ReadLe32(opt + oh::kSizeOfImage);
    image.sizeOfHeaders = ReadLe32(opt + oh::kSizeOfHeaders);
    image.checkSum = ReadLe32(opt + oh::kCheckSum);
    image.checkSumOffset = image.optionalHeader + oh::kCheckSum;
    // The count of data directories is the field right before them.
    const std::uint32_t directoryCount = ReadLe32(opt + directoriesAt - 4);
    const std::size_t present =
        std::min<std::size_t>({directoryCount, 16, (optionalSize - directoriesAt) / oh::kDirectoryEntrySize});
    for (std::size_t i = 0; i < present; ++i) {
        const std::uint8_t* d = opt + directoriesAt + oh::kDirectoryEntrySize * i;
        image.directories.push_back(DataDirectory{ReadLe32(d), ReadLe32(d + 4)});
    }
    image.sectionTable = image.optionalHeader + optionalSize;
    if (image.sectionTable + sh::kSize * std::uint64_t(sectionCount) > size)
        Refuse(label, "its section table is cut short");
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* s = file + image.sectionTable + sh::kSize * i;
        Section section;
        section.name.assign(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8));
        section.virtualSize = ReadLe32(s + sh::kVirtualSize);
        section.virtualAddress = ReadLe32(s + sh::kVirtualAddress);
        section.rawSize = ReadLe32(s + sh::kRawSize);
        section.rawPointer = ReadLe32(s + sh::kRawPointer);
        section.characteristics = ReadLe32(s + sh::kCharacteristics);
        // Windows maps a section from the file: one that ends past it is a
        // download cut short, and no part of such a file can be trusted.
        if (std::uint64_t(section.rawPointer) + section.rawSize > size)
            Refuse(label, "its section " + section.name + " runs past the end of the file (cut short?)");
        image.sections.push_back(section);
    }
    // The certificate table's entry holds a file offset, and the table ends the file.
    if (image.directories.size() > std::size_t(kCertificateDirectory)) {
        const DataDirectory& certificates = image.directories[kCertificateDirectory];
        if (certificates.size && std::uint64_t(certificates.rva) + certificates.size > size)
            Refuse(label, "its certificate table runs past the end of the file (cut short?)");
    }
    return image;
}

std::optional<Span> FindResource(const std::uint8_t* file, std::size_t size, std::uint16_t type, std::uint16_t id,
                                 const std::string& label)
{
    const Image image = ReadImage(file, size, label);
    const std::unique_ptr<Node> root = ReadTree(image, file, size, label);
    if (!root) return std::nullopt;
    Node::Entry* t = FindId(*root, type);
    if (!t || !t->node->directory) return std::nullopt;
    Node::Entry* n = FindId(*t->node, id);
    if (!n) return std::nullopt;
    const Node* leaf = n->node.get();
    if (leaf->directory) {
        if (leaf->entries.empty()) return std::nullopt;
        const Node::Entry* neutral = FindId(*n->node, 0);
        leaf = (neutral ? neutral : &leaf->entries.front())->node.get();
        if (leaf->directory) return std::nullopt;
    }
    return leaf->data;
}

std::vector<ResourceLeaf> ListResources(const std::uint8_t* file, std::size_t size, const std::string& label)
{
    const Image image = ReadImage(file, size, label);
    Flattener flat{label, size, {}};
    if (const std::unique_ptr<Node> root = ReadTree(image, file, size, label)) {
        std::vector<ResourceKey> path;
        flat.Add(*root, path);
    }
    return std::move(flat.out);
}

std::uint32_t Checksum(const std::uint8_t* file, std::size_t size, std::size_t checkSumOffset)
{
    ChecksumAccumulator sum(checkSumOffset);
    sum.Add(file, size);
    return sum.Finish();
}

namespace {

// What the stub's layout allows, whatever the package: where the resource
// section is or goes, and what moves behind it.
struct StubLayout {
    Image image;
    std::uint64_t fileEnd = 0;
    int rsrc = -1;                // the resource section; -1 when there is none
    int at = 0;                   // where the resource section is, or goes
    int reloc = -1;               // a closing .reloc that moves behind the new resources; -1 when none
    std::uint64_t movedFrom = 0;  // the first address that moves
    const Section* relocSection() const { return reloc >= 0 ? &image.sections[std::size_t(reloc)] : nullptr; }
};

StubLayout ValidateStub(const std::uint8_t* stub, std::size_t stubSize, const std::string& label)
{
    StubLayout layout;
    layout.image = ReadImage(stub, stubSize, label);
    const Image& image = layout.image;
    if (!image.pe32plus) Refuse(label, "not a 64-bit (PE32+) program");
    if (image.directories.size() <= std::size_t(kRelocationDirectory))
        Refuse(label, "its PE headers lack data directories");
    const DataDirectory cert = image.directories[kCertificateDirectory];
    if (cert.rva || cert.size)
        Refuse(label, "it is signed (it has a certificate table); embed into the unsigned build and sign the result");
    if (image.pointerToSymbolTable)
        Refuse(label, "it carries a COFF symbol table (an unstripped build); strip it first");
    // What Windows' loader demands of an image. The edit copies the headers
    // up to the resource data and patches the section table inside that
    // copy, and pads to the file alignment: without these rules it would
    // write past the copy or pad without bound.
    const auto powerOfTwo = [](std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
    if (!powerOfTwo(image.fileAlignment) || image.fileAlignment < 512 || image.fileAlignment > 65536)
        Refuse(label, "its file alignment is not a power of two from 512 to 65,536");
    if (!powerOfTwo(image.sectionAlignment) || image.sectionAlignment < image.fileAlignment)
        Refuse(label, "its section alignment is not a power of two at least as large as its file alignment");
    if (image.sizeOfHeaders < image.sectionTable + section_header::kSize * image.sections.size() ||
        image.sizeOfHeaders > stubSize)
        Refuse(label, "its headers (SizeOfHeaders) do not hold its section table");

    const std::vector<Section>& sections = image.sections;
    std::uint64_t fileEnd = image.sizeOfHeaders;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].rawSize && sections[i].rawPointer < image.sizeOfHeaders)
            Refuse(label, "a section's data begins inside its headers");
        if (i > 0 && sections[i].virtualAddress < sections[i - 1].virtualAddress + Extent(sections[i - 1]))
            Refuse(label, "its sections are not in address order");
        if (sections[i].rawSize) {
            if (sections[i].rawPointer < fileEnd) Refuse(label, "its sections are not in file order");
            fileEnd = std::uint64_t(sections[i].rawPointer) + sections[i].rawSize;
        }
    }
    if (fileEnd < stubSize) Refuse(label, "it has data after its last section (a signature or an appended payload)");
    if (fileEnd > stubSize) Refuse(label, "it is cut short");
    layout.fileEnd = fileEnd;

    const DataDirectory res = image.directories[kResourceDirectory];
    const DataDirectory rel = image.directories[kRelocationDirectory];
    const int count = int(sections.size());
    if (res.rva) {
        layout.rsrc = SectionOf(image, res.rva);
        if (layout.rsrc < 0 || sections[std::size_t(layout.rsrc)].virtualAddress != res.rva ||
            sections[std::size_t(layout.rsrc)].rawSize == 0)
            Refuse(label, "its resource directory does not begin a section of its own");
    }
    const int reloc = rel.rva ? SectionOf(image, rel.rva) : -1;
    if (rel.rva && reloc < 0) Refuse(label, "its relocation directory lies outside its sections");
    // Where the resource section is, or goes: before a closing .reloc, else last.
    const bool relocLast = reloc >= 0 && reloc == count - 1 && sections[std::size_t(reloc)].name == ".reloc";
    layout.at = layout.rsrc >= 0 ? layout.rsrc : (relocLast ? reloc : count);
    const int after = count - layout.at - (layout.rsrc >= 0 ? 1 : 0);
    if (after > 1 || (after == 1 && !relocLast))
        Refuse(label,
               "sections other than .reloc follow its resource section, and only .rsrc followed by .reloc can be "
               "rewritten");
    if (after == 1) layout.reloc = reloc;
    const Section* relocSection = layout.relocSection();
    if (relocSection && relocSection->rawSize == 0) Refuse(label, "its .reloc section has no data");
    if (relocSection && std::uint64_t(relocSection->rawPointer) + relocSection->rawSize != fileEnd)
        Refuse(label, "its .reloc section does not end the file");
    if (layout.rsrc >= 0) {
        const Section& s = sections[std::size_t(layout.rsrc)];
        const std::uint64_t next = relocSection ? relocSection->rawPointer : fileEnd;
        if (std::uint64_t(s.rawPointer) + s.rawSize != next)
            Refuse(label, "its resource section is not where it can grow");
    }

    // The moved part of the image starts at the resource section; nothing but
    // the resource and relocation directories may point there, and no
    // relocation may apply to it.
    if (layout.rsrc >= 0)
        layout.movedFrom = sections[std::size_t(layout.rsrc)].virtualAddress;
    else if (relocSection)
        layout.movedFrom = relocSection->virtualAddress;
    else
        layout.movedFrom = count ? AlignUp(std::uint64_t(sections.back().virtualAddress) + Extent(sections.back()),
                                           image.sectionAlignment)
                                 : AlignUp(image.sizeOfHeaders, image.sectionAlignment);
    for (std::size_t i = 0; i < image.directories.size(); ++i) {
        if (int(i) == kResourceDirectory || int(i) == kRelocationDirectory || int(i) == kCertificateDirectory) continue;
        if (image.directories[i].rva >= layout.movedFrom)
            Refuse(label, "data directory " + std::to_string(i) + " points behind the resources, which would move");
    }
    if (rel.rva) {
        const auto blocks = BytesAt(image, stub, stubSize, rel.rva);
        if (!blocks || blocks->size < rel.size) Refuse(label, "its relocations lie outside the file");
        for (std::size_t o = 0; o + 8 <= rel.size;) {
            const std::uint32_t page = ReadLe32(blocks->data + o), blockSize = ReadLe32(blocks->data + o + 4);
            if (blockSize < 8 || blockSize > rel.size - o) Refuse(label, "its relocations are damaged");
            if (page >= layout.movedFrom) Refuse(label, "relocations apply behind its resources, which would move");
            o += blockSize;
        }
    }
    if (layout.rsrc < 0) {
        // A new section header goes into the headers' slack, which must be there and empty.
        const std::size_t tableEnd = image.sectionTable + section_header::kSize * (sections.size() + 1);
        std::uint64_t firstRaw = image.sizeOfHeaders;
        for (const Section& s : sections)
            if (s.rawSize) firstRaw = std::min<std::uint64_t>(firstRaw, s.rawPointer);
        if (tableEnd > firstRaw || std::any_of(stub + tableEnd - section_header::kSize, stub + tableEnd,
                                               [](std::uint8_t b) { return b != 0; }))
            Refuse(label, "it has no resource section and no room in its headers for one");
    }
    return layout;
}

// Where everything lands once the package is in.
struct Plan {
    Serialized section;
    std::uint64_t rsrcRva = 0, rsrcRaw = 0, rsrcRawSize = 0;
    std::uint64_t relocRva = 0, relocRaw = 0;
    std::uint64_t sizeOfImage = 0, initialized = 0;
};

// The resource tree with the package as RCDATA 101 (language neutral, every
// old language of it gone), serialized, and the new layout around it.
Plan PlanLayout(const StubLayout& layout, const std::uint8_t* stub, std::size_t stubSize, const std::uint8_t* resource,
                std::size_t resourceSize, const std::string& label)
{
    const Image& image = layout.image;
    const std::vector<Section>& sections = image.sections;
    const Section* relocSection = layout.relocSection();
    if (resourceSize >= k4GiB) throw Failure("the package is too large for a resource (4 GiB or more)");
    std::unique_ptr<Node> root = ReadTree(image, stub, stubSize, label);
    if (!root) root = std::make_unique<Node>();
    Node::Entry* type = FindId(*root, kRtRcdata);
    if (!type) type = &InsertId(*root, kRtRcdata, std::make_unique<Node>());
    if (!type->node->directory) Refuse(label, "its RCDATA resources are damaged");
    auto language = std::make_unique<Node>();
    language->directory = false;
    language->data = Span{resource, resourceSize};
    language->placeLast = true;
    auto names = std::make_unique<Node>();
    InsertId(*names, 0, std::move(language));
    if (Node::Entry* old = FindId(*type->node, kPackageResourceId))
        old->node = std::move(names);
    else
        InsertId(*type->node, kPackageResourceId, std::move(names));

    Plan plan;
    plan.rsrcRva = layout.movedFrom;
    if (layout.rsrc >= 0)
        plan.rsrcRaw = sections[std::size_t(layout.rsrc)].rawPointer;
    else
        plan.rsrcRaw = relocSection ? relocSection->rawPointer : AlignUp(layout.fileEnd, image.fileAlignment);
    const auto tooLarge = [] { throw Failure("with this package the setup program would reach 4 GiB"); };
    if (plan.rsrcRva >= k4GiB) tooLarge();
    const std::uint64_t oldResources = layout.rsrc >= 0 ? sections[std::size_t(layout.rsrc)].rawSize : 0;
    plan.section = Serialize(*root, std::uint32_t(plan.rsrcRva), oldResources + 1024, label);
    plan.rsrcRawSize = AlignUp(plan.section.size, image.fileAlignment);
    plan.relocRva = AlignUp(plan.rsrcRva + plan.section.size, image.sectionAlignment);
    plan.relocRaw = plan.rsrcRaw + plan.rsrcRawSize;
    const std::uint64_t newFileSize = relocSection ? plan.relocRaw + relocSection->rawSize : plan.relocRaw;
    std::uint64_t imageEnd = relocSection ? plan.relocRva + Extent(*relocSection) : plan.rsrcRva + plan.section.size;
    for (int i = 0; i < layout.at; ++i)
        imageEnd = std::max(imageEnd,
                            std::uint64_t(sections[std::size_t(i)].virtualAddress) + Extent(sections[std::size_t(i)]));
    plan.sizeOfImage = AlignUp(imageEnd, image.sectionAlignment);
    if (plan.sizeOfImage >= k4GiB || newFileSize >= k4GiB) tooLarge();
    // The copy holds the stub, the package, the new directory entries and
    // padding; anything more comes from a layout read wrongly.
    if (newFileSize > std::uint64_t(stubSize) + resourceSize + 2 * std::uint64_t(image.fileAlignment) + (1u << 20))
        Refuse(label, "the copy would be larger than the setup program and the package need");
    // The linker's sum of initialized-data sections, with the resource
    // section's share replaced (a new .rsrc counts as initialized data).
    plan.initialized = image.sizeOfInitializedData;
    if (layout.rsrc < 0)
        plan.initialized += plan.rsrcRawSize;
    else if (sections[std::size_t(layout.rsrc)].characteristics & kScnInitializedData)
        plan.initialized = plan.initialized -
                           std::min<std::uint64_t>(plan.initialized, sections[std::size_t(layout.rsrc)].rawSize) +
                           plan.rsrcRawSize;
    if (plan.initialized >= k4GiB) tooLarge();
    return plan;
}

// The headers and every section before the resources, with the section table,
// the sizes and the two directories rewritten; the checksum is left zero.
Bytes PatchHeaders(const StubLayout& layout, const Plan& plan, const std::uint8_t* stub)
{
    namespace oh = optional_header;
    namespace sh = section_header;
    const Image& image = layout.image;
    const Section* relocSection = layout.relocSection();
    const int at = layout.at;
    Bytes head(stub, stub + std::min<std::uint64_t>(plan.rsrcRaw, layout.fileEnd));
    std::vector<Section> sections = image.sections;
    if (layout.rsrc < 0) {
        Section added;
        added.name = ".rsrc";
        added.characteristics = kScnInitializedData | kScnMemRead;
        sections.insert(sections.begin() + at, added);
        // Keep the fields this edit does not own (relocations, line numbers)
        // with the header that moves one slot on.
        if (relocSection)
            std::memmove(head.data() + image.sectionTable + sh::kSize * std::size_t(at + 1),
                         head.data() + image.sectionTable + sh::kSize * std::size_t(at), sh::kSize);
        std::memset(head.data() + image.sectionTable + sh::kSize * std::size_t(at), 0, sh::kSize);
        PutLe16(head.data() + image.coffHeader + coff::kNumberOfSections, std::uint16_t(sections.size()));
    }
    Section& r = sections[std::size_t(at)];
    r.virtualAddress = std::uint32_t(plan.rsrcRva);
    r.virtualSize = std::uint32_t(plan.section.size);
    r.rawPointer = std::uint32_t(plan.rsrcRaw);
    r.rawSize = std::uint32_t(plan.rsrcRawSize);
    if (relocSection) {
        sections[std::size_t(at) + 1].virtualAddress = std::uint32_t(plan.relocRva);
        sections[std::size_t(at) + 1].rawPointer = std::uint32_t(plan.relocRaw);
    }
    for (std::size_t i = std::size_t(at); i < sections.size(); ++i) {
        std::uint8_t* s = head.data() + image.sectionTable + sh::kSize * i;
        if (layout.rsrc < 0 && i == std::size_t(at)) std::memcpy(s, sections[i].name.data(), sections[i].name.size());
        PutLe32(s + sh::kVirtualSize, sections[i].virtualSize);
        PutLe32(s + sh::kVirtualAddress, sections[i].virtualAddress);
        PutLe32(s + sh::kRawSize, sections[i].rawSize);
        PutLe32(s + sh::kRawPointer, sections[i].rawPointer);
        PutLe32(s + sh::kCharacteristics, sections[i].characteristics);
    }
    std::uint8_t* opt = head.data() + image.optionalHeader;
    PutLe32(opt + oh::kSizeOfInitializedData, std::uint32_t(plan.initialized));
    PutLe32(opt + oh::kSizeOfImage, std::uint32_t(plan.sizeOfImage));
    PutLe32(opt + oh::kCheckSum, 0);
    std::uint8_t* directories = opt + oh::kDirectories;
    PutLe32(directories + oh::kDirectoryEntrySize * kResourceDirectory, std::uint32_t(plan.rsrcRva));
    PutLe32(directories + oh::kDirectoryEntrySize * kResourceDirectory + 4, std::uint32_t(plan.section.size));
    if (relocSection) {
        const std::uint32_t relRva = image.directories[kRelocationDirectory].rva;
        PutLe32(directories + oh::kDirectoryEntrySize * kRelocationDirectory,
                std::uint32_t(relRva - relocSection->virtualAddress + plan.relocRva));
    }
    return head;
}

// The copy, piece by piece: patched headers, padding, the new resource
// section, padding, the moved .reloc; the checksum over all of it goes into
// the headers before the first byte leaves.
void Write(const StubLayout& layout, const Plan& plan, Bytes& head, const std::uint8_t* stub, const Sink& sink)
{
    static const std::uint8_t zeros[4096] = {};
    const Section* relocSection = layout.relocSection();
    const std::uint64_t padBefore = plan.rsrcRaw - head.size();
    const std::uint64_t padAfter = plan.rsrcRawSize - plan.section.size;
    std::vector<Span> pieces{Span{head.data(), head.size()}, Span{nullptr, std::size_t(padBefore)},
                             Span{plan.section.head.data(), plan.section.head.size()}, plan.section.tail,
                             Span{nullptr, std::size_t(padAfter)}};
    if (relocSection) pieces.push_back(Span{stub + relocSection->rawPointer, relocSection->rawSize});
    ChecksumAccumulator sum(layout.image.checkSumOffset);
    for (const Span& p : pieces) sum.Add(p.data, p.size);
    PutLe32(head.data() + layout.image.checkSumOffset, sum.Finish());
    for (const Span& p : pieces) {
        if (p.data) {
            sink(p.data, p.size);
        } else {
            for (std::size_t left = p.size; left > 0;) {
                const std::size_t n = std::min(left, sizeof zeros);
                sink(zeros, n);
                left -= n;
            }
        }
    }
}

}  // namespace

void CheckStub(const std::uint8_t* stub, std::size_t stubSize, const std::string& label)
{
    const StubLayout layout = ValidateStub(stub, stubSize, label);
    ReadTree(layout.image, stub, stubSize, label);  // a damaged resource tree is found now, too
}

void EmbedPackage(const std::uint8_t* stub, std::size_t stubSize, const std::uint8_t* resource,
                  std::size_t resourceSize, const Sink& sink, const std::string& label)
{
    const StubLayout layout = ValidateStub(stub, stubSize, label);
    const Plan plan = PlanLayout(layout, stub, stubSize, resource, resourceSize, label);
    Bytes head = PatchHeaders(layout, plan, stub);
    Write(layout, plan, head, stub, sink);
}

}  // namespace quro_pack::pe
