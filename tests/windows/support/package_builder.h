// Builds package resources byte by byte for the tests: file lists, Compression
// API buffers of stored chunks (which Windows and the test bench's stand-in
// both decode), and the 48-byte container around them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/little_endian.h"

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text);

// One file record: name length, UTF-8 name, data size, data. The size given
// is written as is, so a record can claim more data than it carries.
void AppendRecord(Bytes& out, const std::string& name, std::uint64_t size, const Bytes& data);
void AppendRecord(Bytes& out, const std::string& name, const Bytes& data);

struct TestFile {
    std::string name;  // UTF-8, as stored in the package
    Bytes data;
};
Bytes FileList(const std::vector<TestFile>& files);

// The Compression API buffer for data, every chunk stored.
Bytes StoredBuffer(const Bytes& data);

Bytes Sha256(const Bytes& data);

// A valid package resource holding unpacked: magic, size, digest, stream.
Bytes Container(const Bytes& unpacked);
