// The package resource's 48-byte header, shared by the setup program and the
// build host's quro-pack, so that both refuse exactly the same resources with
// exactly the same words.
//
//   offset 0   8 bytes  magic "QUROSET1"
//   offset 8   8 bytes  unpacked size, little-endian, 1 .. 2^31
//   offset 16 32 bytes  SHA-256 of the unpacked bytes
//   offset 48 ...       Compression API buffer (LZMS), to the end
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "format/little_endian.h"

namespace package_format {

// Where the package travels: the resource RT_RCDATA (10), 101, language neutral.
inline constexpr std::uint16_t kResourceType = 10;
inline constexpr std::uint16_t kResourceId = 101;

inline constexpr std::size_t kHeaderSize = 48;
inline constexpr char kMagic[8] = {'Q', 'U', 'R', 'O', 'S', 'E', 'T', '1'};
inline constexpr std::size_t kSizeOffset = 8;
inline constexpr std::size_t kDigestOffset = 16;
inline constexpr std::size_t kDigestSize = 32;
// The program holds the whole package in memory at once; quro-pack refuses more.
inline constexpr std::uint64_t kMaxUnpackedSize = 0x80000000ull;

inline constexpr const wchar_t kNoPackage[] = L"the setup program carries no Quro Host";
inline constexpr const wchar_t kDamaged[] = L"the setup program is damaged (download it again)";
inline constexpr const wchar_t kDamagedSize[] = L"the setup program is damaged (size)";
inline constexpr const wchar_t kNoDecompressor[] = L"Windows could not unpack Quro Host";
inline constexpr const wchar_t kDamagedDigest[] = L"the setup program is damaged (fingerprint)";

// Checks that need no decompression: presence, length, magic and size field,
// in that order. Returns the failure text, or null when the header passes.
inline const wchar_t* CheckHeader(const std::uint8_t* resource, std::size_t size)
{
    if (!resource || size < kHeaderSize || std::memcmp(resource, kMagic, sizeof kMagic) != 0) return kDamaged;
    const std::uint64_t unpacked = ReadLe64(resource + kSizeOffset);
    if (unpacked == 0 || unpacked > kMaxUnpackedSize) return kDamagedSize;
    return nullptr;
}

}  // namespace package_format
