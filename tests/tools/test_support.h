// Files, folders and child processes for quro-pack's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common.h"
#include "tests/package_records.h"
#include "operations.h"

namespace quro_pack_test {

using quro_pack::Bytes;

// A fresh folder under TMPDIR, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

Bytes ReadBytes(const std::string& path);
// Creates the missing folders of path too.
void WriteBytes(const std::string& path, const Bytes& bytes);
void WriteText(const std::string& path, const std::string& text);
Bytes ToBytes(const std::string& text);

// Every file below root as "relative/path" -> contents.
std::vector<std::pair<std::string, Bytes>> ReadTree(const std::string& root);

// A file list of files (name, data) under the count given, and the package
// resource around unpacked bytes (stored chunks unless store is false).
Bytes FileList(const std::vector<std::pair<std::string, std::string>>& files, std::uint32_t count);
Bytes Resource(const Bytes& unpacked, bool store = true);

// quro-pack pack (no stub) or setup, --store, without progress.
quro_pack::PackReport PackStored(const std::string& folder, const std::string& output, const std::string& stub = {},
                                 bool strict = false);

// A PE32+ image with one .rsrc section at file offset rsrcRaw (0x200 in a
// well-formed image), holding rsrc; the section table starts at 0x148.
Bytes MinimalImage(const Bytes& rsrc, std::uint32_t sizeOfHeaders = 0x200, std::uint32_t rsrcRaw = 0x200);

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
RunResult RunTool(const std::vector<std::string>& arguments);

}  // namespace quro_pack_test
