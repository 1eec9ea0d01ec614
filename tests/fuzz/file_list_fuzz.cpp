// The file-list walk over any bytes: every record it takes lies inside the
// bytes, every name passes the rule, and nothing is held per record beyond
// what the bytes can pay for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "format/file_list_rules.h"
#include "utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t entries = 0;
    const std::uint8_t* end = data + size;
    file_list::ParseFileListBytes(
        data, size, [](const std::uint8_t* name, std::size_t n) { return quro_pack::Utf8ToUtf16(name, n); },
        [&](std::u16string name, const std::uint8_t* bytes, std::uint64_t length) {
            if (!file_list::IsAcceptableName(name.data(), name.size())) std::abort();
            if (bytes < data || bytes > end || length > std::uint64_t(end - bytes)) std::abort();
            ++entries;
        });
    // Each record takes at least 11 bytes (a name of one byte at least).
    if (entries > size / 11) std::abort();
    return 0;
}
