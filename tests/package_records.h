// The package's file list built byte by byte, as the tests of both sides
// craft it: a count, then for each file its UTF-8 name's length and bytes,
// its data size and its data, little-endian. quro-pack's tests build the
// container around it with the tool's own writer, the setup program's tests
// by hand (tests/windows/support/package_builder.h).
#pragma once

#include "format/little_endian.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// One file record. The size given is written as is, so a record can claim
// more data than it carries.
inline void AppendRecord(Bytes& out, const std::string& name, std::uint64_t size, const Bytes& data)
{
    AppendLe16(out, static_cast<std::uint16_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    AppendLe64(out, size);
    out.insert(out.end(), data.begin(), data.end());
}

inline void AppendRecord(Bytes& out, const std::string& name, const Bytes& data)
{
    AppendRecord(out, name, data.size(), data);
}

struct TestFile {
    std::string name;  // UTF-8, as stored in the package
    Bytes data;
};

// The list of files, under their own count or the one given.
inline Bytes FileList(const std::vector<TestFile>& files, std::optional<std::uint32_t> count = std::nullopt)
{
    Bytes out;
    AppendLe32(out, count.value_or(static_cast<std::uint32_t>(files.size())));
    for (const TestFile& file : files) AppendRecord(out, file.name, file.data);
    return out;
}
