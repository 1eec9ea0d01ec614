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

inline constexpr int kResourceDirectory = 2;
inline constexpr int kCertificateDirectory = 4;
inline constexpr int kRelocationDirectory = 5;

struct Image {
    bool pe32plus = false;
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

// Writes a copy of stub (PE32+) that carries resource as RCDATA 101,
// language neutral, in place of any RCDATA 101 it had; every other resource
// stays byte for byte. Throws Failure before writing anything when the
// stub's layout is not one this edit keeps valid.
void EmbedPackage(const std::uint8_t* stub, std::size_t stubSize, const std::uint8_t* resource,
                  std::size_t resourceSize, const Sink& sink, const std::string& label = {});

}  // namespace quro_pack::pe
