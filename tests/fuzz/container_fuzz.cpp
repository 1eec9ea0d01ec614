// The package container as quro-pack reads it like the setup program: the
// 48-byte header, the Compression API buffer with its LZMS chunks (through
// wimlib), the fingerprint and the file list behind it. Whatever decodes must
// decode to exactly the stated size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "lzms_buffer.h"
#include "package_reader.h"

using namespace quro_pack;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The format allows 2 GiB; the fuzzer's memory does not.
    constexpr std::uint64_t kLargest = 16u << 20;
    if (size >= 48 && ReadLe64(data + 8) <= kLargest) {
        PackageResource r;
        r.present = true;
        r.data = data;
        r.size = size;
        Bytes unpacked;
        std::vector<PackageEntry> entries;
        if (!UnpackPackage(r, unpacked, entries) && unpacked.size() != ReadLe64(data + 8)) std::abort();
    }
    // The buffer alone, so that the fuzzer reaches the chunks without
    // having to forge a fingerprint.
    const lzms::BufferInfo info = lzms::Describe(data, size);
    if (info.headerValid && info.header.totalSize <= kLargest) {
        Bytes out(std::size_t(info.header.totalSize));
        std::size_t produced = 0;
        if (lzms::Decompress(data, size, out.data(), out.size(), produced) == lzms::Decoded::Ok &&
            produced > out.size())
            std::abort();
    }
    return 0;
}
