// Figures, not a test: what the list order and wimlib's LZMS level do to a
// package of one folder. The file list is built once in name order and once
// in the order quro-pack packs it, then compressed as quro-pack does at each
// level asked for; every figure is the buffer's size, and the wall time and
// processor time (all threads) of compressing it, side by side in one run.
// On a machine that others share, the processor time is the steadier one.
// For scale, the whole list as one LZMS stream, which no package can be: what
// compressing every 64 MiB chunk on its own costs.
//
//   quro-lzms-levels FOLDER LEVEL...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <memory>
#include <wimlib.h>

#include "lzms_buffer.h"
#include "package_writer.h"
#include "tree_walk.h"

using namespace quro_pack;

namespace {

// The list as quro-pack wrote it before it had an order of its own: files by
// the bytes of their names, as the walk sorts them.
Bytes NameOrderList(const Tree& tree)
{
    Bytes list(4);
    PutLe32(list.data(), std::uint32_t(tree.files.size()));
    for (const TreeFile& f : tree.files) {
        AppendLe16(list, std::uint16_t(f.name.size()));
        list.insert(list.end(), f.name.begin(), f.name.end());
        AppendLe64(list, f.size);
        const std::size_t at = list.size();
        list.resize(at + f.size);
        const UniqueFd fd = OpenWalkedFile(f);
        for (std::size_t done = 0; done < f.size;) {
            const ssize_t n = ::read(fd.get(), list.data() + at + done, f.size - done);
            if (n <= 0) throw Failure(f.path + ": could not be read");
            done += std::size_t(n);
        }
    }
    return list;
}

double ProcessorSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Measure(const char* what, const Bytes& list, unsigned level)
{
    lzms::CompressOptions options;
    options.level = level;
    // One chunk per core whatever it takes: the figures are about size and
    // time, and the bench machine has the memory.
    options.memoryBudget = ~std::uint64_t(0);
    Bytes out;
    const auto start = std::chrono::steady_clock::now();
    const double processor = ProcessorSeconds();
    lzms::AppendBuffer(list.data(), list.size(), options, out);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("  %-14s level %3u  %12zu bytes  %7.1f s  %7.1f s processor\n", what, level, out.size(), took.count(),
                ProcessorSeconds() - processor);
    std::fflush(stdout);
}

void MeasureOneStream(const Bytes& list)
{
    wimlib_compressor* c = nullptr;
    if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, list.size(), lzms::kLevel, &c) != 0) {
        std::printf("  one stream: wimlib could not make a compressor for %zu bytes\n", list.size());
        return;
    }
    std::unique_ptr<wimlib_compressor, void (*)(wimlib_compressor*)> compressor(c, wimlib_free_compressor);
    const std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[list.size()]);
    const double processor = ProcessorSeconds();
    const std::size_t n = wimlib_compress(list.data(), list.size(), out.get(), list.size(), compressor.get());
    std::printf("  %-14s level %3u  %12zu bytes  %7s    %7.1f s processor\n", "one stream", lzms::kLevel, n, "",
                ProcessorSeconds() - processor);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: quro-lzms-levels FOLDER LEVEL...\n");
        return 2;
    }
    try {
        const Tree tree = WalkTree(argv[1]);
        std::vector<unsigned> levels;
        for (int i = 2; i < argc; ++i) levels.push_back(unsigned(std::strtoul(argv[i], nullptr, 10)));
        {
            const Bytes byName = NameOrderList(tree);
            Measure("name order", byName, lzms::kLevel);
        }
        const Bytes packed = BuildFileList(tree);
        Measure("package order", packed, lzms::kLevel);
        MeasureOneStream(packed);
        for (const unsigned level : levels)
            if (level != lzms::kLevel) Measure("package order", packed, level);
    } catch (const Failure& e) {
        std::fprintf(stderr, "quro-lzms-levels: %s\n", e.what());
        return 1;
    }
    return 0;
}
