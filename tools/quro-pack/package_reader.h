// The setup program's unpacking on the build host: the same checks in the
// same order, ending in the same failure texts, so that inspect and unpack
// say what a setup built from this resource would say on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common.h"

namespace quro_pack {

struct PackageEntry {
    std::u16string name;  // as MultiByteToWideChar makes it, separators as stored
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
};

struct PackageResource {
    bool present = false;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool fromSetup = false;  // read out of a setup executable's RCDATA 101
};

// A setup executable (a file that starts with "MZ") yields its RCDATA 101,
// any language; any other file is a resource by itself. Throws Failure for a
// PE file whose headers cannot be read, its message prefixed with label.
PackageResource LocatePackage(const std::uint8_t* file, std::size_t size, const std::string& label = {});

// Header, decompression and fingerprint. Returns null on success, else the
// setup program's failure text.
const wchar_t* UnpackContainer(const PackageResource& resource, Bytes& unpacked);

// The file list walk over verified bytes, one entry at a time and nothing
// kept: visit returns false to stop early. Returns null when every record was
// read (or visit stopped), else the setup program's failure text.
const wchar_t* WalkFileList(const Bytes& unpacked, const std::function<bool(PackageEntry&&)>& visit);

// UnpackContainer, then a walk of the whole list, as the setup program checks
// a package before it writes anything; the entries are counted (when count is
// given), not kept. Null on success, else the setup program's failure text.
const wchar_t* UnpackChecked(const PackageResource& resource, Bytes& unpacked, std::size_t* count = nullptr);

// UnpackContainer, then the file list walk, the entries collected.
const wchar_t* UnpackPackage(const PackageResource& resource, Bytes& unpacked, std::vector<PackageEntry>& entries);

}  // namespace quro_pack
