// unpack's clean-up on any file list, with one folder it made swapped for a
// link to a folder outside after entry k: nothing outside is touched, and no
// file it wrote remains.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "folder_writer.h"
#include "package_reader.h"

using namespace quro_pack;
namespace fs = std::filesystem;

namespace {

const fs::path& Scratch()
{
    static const fs::path scratch = [] {
        std::string t = (fs::temp_directory_path() / "quro-unpack-fuzz-XXXXXX").string();
        if (!::mkdtemp(t.data())) std::abort();
        return fs::path(t);
    }();
    return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::size_t swapAfter = data[0], swapFolder = data[1];
    const Bytes list(data + 2, data + size);
    std::vector<PackageEntry> entries;
    if (WalkFileList(list, [&](PackageEntry&& e) {
            entries.push_back(std::move(e));
            return entries.size() < 64;
        }))
        return 0;
    const fs::path root = Scratch() / "run", out = root / "out", outside = root / "outside";
    fs::remove_all(root);
    fs::create_directories(outside);
    std::FILE* canary = std::fopen((outside / "canary").c_str(), "w");
    std::fputs("canary", canary);
    std::fclose(canary);
    {
        FolderExtraction extraction(out.string());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (!extraction.Write(entries[i]).empty()) break;
            if (i != swapAfter) continue;
            std::vector<fs::path> folders;
            std::error_code e;
            for (auto it = fs::recursive_directory_iterator(out, e); !e && it != fs::recursive_directory_iterator();
                 it.increment(e))
                if (it->is_directory() && !it->is_symlink()) folders.push_back(it->path());
            if (folders.empty()) continue;
            const fs::path swapped = folders[swapFolder % folders.size()];
            fs::rename(swapped, root / "moved", e);
            if (!e) fs::create_directory_symlink(outside, swapped, e);
        }
    }
    // Outside: the canary alone, as it was. Anywhere else: no file it wrote.
    std::size_t outsideEntries = 0;
    for (auto it = fs::directory_iterator(outside); it != fs::directory_iterator(); ++it) ++outsideEntries;
    std::error_code e;
    if (outsideEntries != 1 || fs::file_size(outside / "canary", e) != 6) std::abort();
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_symlink()) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() && it->path() != outside / "canary") std::abort();
    }
    fs::remove_all(root);
    return 0;
}
