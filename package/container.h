// The package resource (RCDATA 101 of the running program): header checks,
// decompression into UnpackedPackage, and the SHA-256 check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quro {

// Finds, checks, decompresses and verifies the package resource. Empty text:
// UnpackedPackage holds the verified bytes. Otherwise one of the texts of
// container_format.h.
std::wstring UnpackContainer();

// The same checks on resource bytes given by the caller (null when the
// program carries no resource). UnpackContainer is this on RCDATA 101.
std::wstring UnpackContainerBytes(const std::uint8_t* resource, std::uint32_t size, bool found = true);

// The process-wide buffer of the decompressed package. Views taken from it
// stay valid until the next unpack, which in practice is the end of the process.
const std::uint8_t* UnpackedPackageData();
std::size_t UnpackedPackageSize();

}  // namespace quro
