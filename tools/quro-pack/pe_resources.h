// Reading and editing the resources of a Windows executable on the build
// host, so that one build of the setup program serves every hosted folder:
// the package goes in as RCDATA 101 (language neutral) by rewriting the
// resource section of a copy, with no Windows toolchain at packing time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "format/container_format.h"

namespace quro_pack::pe {

inline constexpr std::uint16_t kRtRcdata = package_format::kResourceType;
inline constexpr std::uint16_t kPackageResourceId = package_format::kResourceId;

struct Span {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

struct Section {
    std::string name;
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t characteristics = 0;
};

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// Where the fields this tool reads and rewrites lie, named once for the
// reader and for the edit.
namespace coff {
enum : std::size_t { kHeaderSize = 20 };  // after the "PE\0\0" signature
enum : std::size_t { kNumberOfSections = 2, kPointerToSymbolTable = 8, kSizeOfOptionalHeader = 16 };
}  // namespace coff
namespace optional_header {  // offsets from its start; PE32+ unless noted
inline constexpr std::uint16_t kMagicPe32 = 0x10B;
inline constexpr std::uint16_t kMagicPe32Plus = 0x20B;
enum : std::size_t { kMagic = 0, kSizeOfInitializedData = 8, kSectionAlignment = 32, kFileAlignment = 36 };
enum : std::size_t { kSizeOfImage = 56, kSizeOfHeaders = 60, kCheckSum = 64 };
// Each directory entry: address, size; PE32 lacks four 32-bit fields' room before them.
enum : std::size_t { kDirectories = 112, kDirectoriesPe32 = 96, kDirectoryEntrySize = 8 };
}  // namespace optional_header
namespace section_header {
enum : std::size_t { kSize = 40, kVirtualSize = 8, kVirtualAddress = 12, kRawSize = 16, kRawPointer = 20 };
enum : std::size_t { kCharacteristics = 36 };
}  // namespace section_header

inline constexpr int kResourceDirectory = 2;
inline constexpr int kCertificateDirectory = 4;
inline constexpr int kRelocationDirectory = 5;

struct Image {
    bool pe32plus = false;
    std::size_t coffHeader = 0;      // file offset
    std::size_t optionalHeader = 0;  // file offset
    std::size_t sectionTable = 0;    // file offset
    std::uint32_t pointerToSymbolTable = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t checkSum = 0;
    std::size_t checkSumOffset = 0;  // file offset of the CheckSum field
    std::vector<Section> sections;
    std::vector<DataDirectory> directories;
};

// The headers of a PE file (PE32 or PE32+). Throws Failure, prefixed with
// label, when they cannot be read.
Image ReadImage(const std::uint8_t* file, std::size_t size, const std::string& label = {});

// The bytes of resource type/id, language neutral if present, else the first
// language; nullopt when there is none.
std::optional<Span> FindResource(const std::uint8_t* file, std::size_t size, std::uint16_t type, std::uint16_t id,
                                 const std::string& label = {});

struct ResourceKey {
    bool named = false;
    std::uint32_t id = 0;
    std::u16string name;
    bool operator==(const ResourceKey&) const = default;
};

struct ResourceLeaf {
    std::vector<ResourceKey> path;  // type, name, language
    std::uint32_t codePage = 0;
    Span data;
};

// Every resource, in the order of the directory tree.
std::vector<ResourceLeaf> ListResources(const std::uint8_t* file, std::size_t size, const std::string& label = {});

// The image checksum as Windows' CheckSumMappedFile computes it, with the
// four bytes at checkSumOffset taken as zero.
std::uint32_t Checksum(const std::uint8_t* file, std::size_t size, std::size_t checkSumOffset);

using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

// Refuses, with the reason, a stub whose layout EmbedPackage could not keep
// valid (or that is signed), without any package at hand: cheap enough to run
// before a long pack.
void CheckStub(const std::uint8_t* stub, std::size_t stubSize, const std::string& label = {});

// Writes a copy of stub (PE32+) that carries resource as RCDATA 101,
// language neutral, in place of any RCDATA 101 it had; every other resource
// stays byte for byte. Throws Failure before writing anything when the
// stub's layout is not one this edit keeps valid.
void EmbedPackage(const std::uint8_t* stub, std::size_t stubSize, const std::uint8_t* resource,
                  std::size_t resourceSize, const Sink& sink, const std::string& label = {});

}  // namespace quro_pack::pe
