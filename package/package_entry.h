// One packaged file as the rest of the program sees it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quro {

struct PackageEntry {
    std::wstring name;                   // relative path, separators as stored
    const std::uint8_t* data = nullptr;  // view into UnpackedPackage, not owned
    std::uint64_t size = 0;
};

using PackageEntries = std::vector<PackageEntry>;

}  // namespace quro
