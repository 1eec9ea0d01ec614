// The package header's fingerprint. Writing a package computes it, reading
// one checks it, and inspect --json lists it for every file; none of them
// should need the others to get at it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quro_pack {

// Throws Failure when OpenSSL cannot compute it.
void Sha256(const std::uint8_t* data, std::size_t size, std::uint8_t digest[32]);

}  // namespace quro_pack
