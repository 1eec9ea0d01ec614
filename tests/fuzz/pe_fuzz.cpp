// quro-pack's PE reader and rewriter on any stub: reading never fails but by
// Failure (and what inspect reads of a setup, its version and signature,
// never at all), and whatever embed accepts it writes within bounds and
// reads back: the package comes out byte for byte, under a valid checksum.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common.h"
#include "package_reader.h"
#include "pe_resources.h"
#include "setup_facts.h"

using namespace quro_pack;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ReadSetupFacts(data, size);
    try {
        LocatePackage(data, size);
        pe::ListResources(data, size);
    } catch (const Failure&) {
    }
    static const std::uint8_t package[] = "QUROSET1 a package resource of a few bytes";
    const std::size_t packageSize = sizeof package - 1;
    Bytes out;
    try {
        pe::EmbedPackage(data, size, package, packageSize, [&](const std::uint8_t* d, std::size_t n) {
            // An output no larger than the inputs need.
            if (out.size() + n > size + packageSize + (4u << 20)) std::abort();
            out.insert(out.end(), d, d + n);
        });
    } catch (const Failure&) {
        return 0;
    }
    const PackageResource r = LocatePackage(out.data(), out.size());
    if (!r.present || r.size != packageSize || std::memcmp(r.data, package, packageSize) != 0) std::abort();
    const pe::Image image = pe::ReadImage(out.data(), out.size());
    if (image.checkSum != pe::Checksum(out.data(), out.size(), image.checkSumOffset)) std::abort();
    return 0;
}
