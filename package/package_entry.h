// One packaged file as the rest of the program sees it, and the callback
// through which extraction reports finished files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PackageEntry {
    std::wstring name;                   // relative path, separators as stored
    const std::uint8_t* data = nullptr;  // view into UnpackedPackage, not owned
    std::uint64_t size = 0;
};

using PackageEntries = std::vector<PackageEntry>;

// Told the number of files written so far; may be empty.
using ProgressCallback = std::function<void(std::int32_t)>;
