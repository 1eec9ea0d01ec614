// Builds package resources byte by byte for the tests: file lists (shared
// with quro-pack's tests), Compression API buffers of stored chunks (which
// Windows and the test bench's stand-in both decode), and the 48-byte
// container around them.
#pragma once

#include "tests/package_records.h"

// The Compression API buffer for data, every chunk stored.
Bytes StoredBuffer(const Bytes& data);

Bytes Sha256(const Bytes& data);

// A valid package resource holding unpacked: magic, size, digest, stream.
Bytes Container(const Bytes& unpacked);
