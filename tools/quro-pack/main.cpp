// quro-pack: turns the hosted application's folder into the setup program's
// package, puts packages into copies of the setup program, and reads them
// back the way the setup program does.
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "format/container_format.h"
#include "common.h"
#include "diff.h"
#include "file_io.h"
#include "inspection.h"
#include "folder_writer.h"
#include "json_report.h"
#include "lzms_buffer.h"
#include "package_reader.h"
#include "package_writer.h"
#include "pe_resources.h"
#include "progress.h"
#include "setup_facts.h"
#include "utf8.h"
#include "windows_paths.h"

#ifndef QURO_DEFAULT_STUB
#define QURO_DEFAULT_STUB ""
#endif
#ifndef QURO_PACK_VERSION
#define QURO_PACK_VERSION "unknown"
#endif
#ifndef QURO_INSTALLED_STUB
#define QURO_INSTALLED_STUB "../share/quro-pack/quro-setup-stub.exe"
#endif

namespace quro_pack {
namespace {

constexpr const char kUsage[] =
    "usage: quro-pack COMMAND ARGUMENTS\n"
    "\n"
    "  pack DIR -o FILE [--store] [--memory SIZE] [--threads N] [--strict]\n"
    "      write the package resource for every file below DIR\n"
    "  setup DIR -o OUT.exe [--store] [--memory SIZE] [--threads N] [--stub STUB.exe] [--strict]\n"
    "      pack DIR into a copy of the setup program\n"
    "  embed RESOURCE -o OUT.exe [--stub STUB.exe] [--strict]\n"
    "      put a resource file's bytes, as they are, into a copy of the setup program\n"
    "  inspect FILE [--json]\n"
    "      print the header, the verdict and the files; the verdict is ok, the setup program's\n"
    "      failure text, or why an intact package would not install (a path beyond Windows'\n"
    "      limit, a program that is no setup program of Quro Host); --json: as one JSON\n"
    "      document, with each file's SHA-256\n"
    "  unpack FILE DIR\n"
    "      verify as the setup program does, then write the files below DIR (what /extract-to does)\n"
    "  diff OLD NEW\n"
    "      the files that installing NEW over OLD adds, removes and changes; exit 0 same, 1 different, 2 error\n"
    "  --version\n"
    "      this tool's version and the setup program it copies by default\n"
    "\n"
    "FILE is a package resource or a setup executable (its RCDATA 101).\n"
    "  --store   keep every chunk uncompressed (quick to make, as large as the folder)\n"
    "  --memory  what compressing may take at once, such as 1536M or 2G (default 1G); every\n"
    "            64 MiB chunk being compressed needs about 640 MiB\n"
    "  --threads the most chunks compressed at once (default: one per core), as far as --memory allows\n"
    "  --strict  every warning is an error: an empty folder, no DraloHost.exe at the top, a path\n"
    "            beyond Windows' limit; nothing is written then\n"
    "  --stub    the setup program to copy; by default quro-setup-stub.exe beside quro-pack,\n"
    "            else in ../share/quro-pack/ from quro-pack's folder (installed), else the one this build made\n"
    "\n"
    "Exit status: 0 done, 1 failed (one line on stderr), 2 wrong usage.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    std::string output;
    std::string stub;
    bool store = false;
    bool json = false;
    bool strict = false;
    std::uint64_t memory = 0;  // 0: not given
    unsigned threads = 0;
};

unsigned ParseCount(const std::string& option, const std::string& text, unsigned most)
{
    const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
    const unsigned long n = digits ? std::stoul(text) : 0;
    if (n == 0 || n > most)
        throw UsageError(option + " takes a count from 1 to " + std::to_string(most) + ", not " + text);
    return unsigned(n);
}

// A byte count as people write it: 1073741824, 1024M, 1G (K, M and G are
// powers of 1,024).
std::uint64_t ParseSize(const std::string& option, const std::string& text)
{
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (UINT64_MAX - 9) / 10) throw UsageError(option + " " + text + " is too large");
        value = value * 10 + std::uint64_t(text[i] - '0');
    }
    const std::string unit = text.substr(i);
    unsigned shift = 0;
    if (unit == "K" || unit == "k")
        shift = 10;
    else if (unit == "M" || unit == "m")
        shift = 20;
    else if (unit == "G" || unit == "g")
        shift = 30;
    else if (!unit.empty())
        throw UsageError(option + " takes a size such as 1536M or 2G, not " + text);
    if (i == 0 || value == 0) throw UsageError(option + " takes a size such as 1536M or 2G, not " + text);
    if (value > (UINT64_MAX >> shift)) throw UsageError(option + " " + text + " is too large");
    return value << shift;
}

Arguments Parse(int argc, char** argv)
{
    Arguments a;
    a.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* option) {
            if (i + 1 >= argc) throw UsageError(std::string(option) + " needs a value");
            return std::string(argv[++i]);
        };
        if (arg == "-o" || arg == "--output")
            a.output = value("-o");
        else if (arg == "--stub")
            a.stub = value("--stub");
        else if (arg == "--store")
            a.store = true;
        else if (arg == "--memory")
            a.memory = ParseSize(arg, value("--memory"));
        else if (arg == "--threads")
            a.threads = ParseCount(arg, value("--threads"), 1024);
        else if (arg == "--json")
            a.json = true;
        else if (arg == "--strict")
            a.strict = true;
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError("unknown option " + arg);
        else
            a.positional.push_back(arg);
    }
    return a;
}

void Expect(const Arguments& a, std::size_t positional, bool output, bool packing, bool stub)
{
    if (a.positional.size() != positional)
        throw UsageError(a.command + " takes " + std::to_string(positional) + " argument" +
                         (positional == 1 ? "" : "s"));
    if (output && a.output.empty()) throw UsageError(a.command + " needs -o");
    if (!output && !a.output.empty()) throw UsageError(a.command + " takes no -o");
    if (!packing && (a.store || a.memory || a.threads))
        throw UsageError(a.command + " takes no " + (a.store ? "--store" : a.memory ? "--memory" : "--threads"));
    if (!stub && !a.stub.empty()) throw UsageError(a.command + " takes no --stub");
}

bool Exists(const std::string& path) { return !path.empty() && ::access(path.c_str(), F_OK) == 0; }

std::string DefaultStub()
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string beside, installed;
    if (n > 0) {
        std::string exe(self, std::size_t(n));
        beside = exe.substr(0, exe.find_last_of('/') + 1) + "quro-setup-stub.exe";
        if (Exists(beside)) return beside;
        // Where cmake --install and the Debian package put it, relative to
        // the tool so that an unpacked package works wherever it lies.
        installed = exe.substr(0, exe.find_last_of('/') + 1) + QURO_INSTALLED_STUB;
        if (Exists(installed)) return installed;
    }
    if (Exists(QURO_DEFAULT_STUB)) return QURO_DEFAULT_STUB;
    throw Failure("no setup program to copy (looked for " + beside + ", " + installed +
                  (std::strlen(QURO_DEFAULT_STUB) ? std::string(" and ") + QURO_DEFAULT_STUB : std::string()) +
                  "); name one with --stub");
}

void PrintWarnings(const std::vector<std::string>& warnings, bool strict)
{
    for (const std::string& w : warnings)
        std::fprintf(stderr, "quro-pack: %s: %s\n", strict ? "error" : "warning", w.c_str());
}

void WriteSetup(const std::uint8_t* resource, std::size_t size, const std::string& stubPath, const std::string& output)
{
    const MappedFile stub(stubPath);
    OutputFile out(output, true);
    pe::EmbedPackage(
        stub.data(), stub.size(), resource, size, [&](const std::uint8_t* data, std::size_t n) { out.Write(data, n); },
        stubPath);
    out.Commit();
}

int Pack(const Arguments& a, bool setup)
{
    Expect(a, 1, true, true, setup);
    const std::string stub = setup ? (a.stub.empty() ? DefaultStub() : a.stub) : std::string();
    Progress progress;
    PackOptions options;
    options.store = a.store;
    options.threads = a.threads;
    if (a.memory) options.memoryBudget = a.memory;
    options.progress = &progress;
    options.strict = a.strict;
    std::vector<std::string> warnings;
    Bytes resource;
    try {
        resource = PackFolder(a.positional[0], options, nullptr, &warnings);
    } catch (const Failure&) {
        if (a.strict) PrintWarnings(warnings, true);
        throw;
    }
    progress.Show("quro-pack: writing " + Escaped(a.output), true);
    if (setup) {
        WriteSetup(resource.data(), resource.size(), stub, a.output);
    } else {
        OutputFile out(a.output, false);
        out.Write(resource.data(), resource.size());
        out.Commit();
    }
    progress.Clear();
    PrintWarnings(warnings, false);
    return 0;
}

int Embed(const Arguments& a)
{
    Expect(a, 1, true, false, true);
    const std::string stub = a.stub.empty() ? DefaultStub() : a.stub;
    const MappedFile resource(a.positional[0]);
    if (a.strict) {
        const std::vector<std::string> warnings =
            PackageWarnings(LocatePackage(resource.data(), resource.size(), a.positional[0]), a.positional[0]);
        PrintWarnings(warnings, true);
        if (!warnings.empty()) throw Failure(StrictRefusal(warnings.size()));
    }
    WriteSetup(resource.data(), resource.size(), stub, a.output);
    return 0;
}

std::string Printable(const std::uint8_t* data, std::size_t size)
{
    std::string s;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] >= 0x20 && data[i] < 0x7F && data[i] != '\\') {
            s.push_back(char(data[i]));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", data[i]);
            s += hex;
        }
    }
    return s;
}

void PrintHeader(const PackageResource& r)
{
    if (!r.present) {
        std::printf("resource         none (the executable has no RCDATA 101)\n");
        return;
    }
    std::printf("resource         %s%zu bytes\n", r.fromSetup ? "RCDATA 101 of a setup executable, " : "", r.size);
    if (r.size < package_format::kHeaderSize) {
        std::printf("header           cut short (%zu of 48 bytes)\n", r.size);
        return;
    }
    std::printf("magic            %s\n", Printable(r.data, sizeof package_format::kMagic).c_str());
    std::printf("unpacked size    %llu\n",
                static_cast<unsigned long long>(ReadLe64(r.data + package_format::kSizeOffset)));
    std::printf("digest           ");
    for (std::size_t i = 0; i < package_format::kDigestSize; ++i)
        std::printf("%02x", r.data[package_format::kDigestOffset + i]);
    std::printf("\ncompressed size  %zu\n", r.size - package_format::kHeaderSize);
    const lzms::BufferInfo info =
        lzms::Describe(r.data + package_format::kHeaderSize, r.size - package_format::kHeaderSize);
    if (!info.headerValid) {
        std::printf("buffer           not a Compression API LZMS buffer\n");
        return;
    }
    std::printf("buffer           %llu bytes in chunks of %u, %zu chunk%s%s\n",
                static_cast<unsigned long long>(info.header.totalSize), info.header.chunkSize, info.chunks.size(),
                info.chunks.size() == 1 ? "" : "s", info.recordsValid ? "" : " (the chunk records are damaged)");
    for (std::size_t i = 0; i < info.chunks.size(); ++i) {
        const lzms::ChunkInfo& c = info.chunks[i];
        if (c.stored())
            std::printf("  chunk %-8zu stored %u\n", i + 1, c.rawSize);
        else
            std::printf("  chunk %-8zu LZMS   %u -> %u\n", i + 1, c.rawSize, c.compressedSize);
    }
}

int Inspect(const Arguments& a)
{
    Expect(a, 1, false, false, false);
    if (a.json) return InspectJson(a.positional[0]);
    const Inspection inspection(a.positional[0]);
    PrintSetupFacts(inspection.facts);
    PrintHeader(inspection.resource);
    std::printf("%s\n", Escaped(inspection.Verdict()).c_str());
    if (inspection.listRead && (inspection.intact() || inspection.fileCount > 0)) {
        std::printf("files            %zu\n", inspection.fileCount);
        ForEachFile(inspection, [](const PackageEntry& e) {
            std::printf("%14llu  %s%s\n", static_cast<unsigned long long>(e.size), Escaped(Utf16ToUtf8(e.name)).c_str(),
                        CheckPath(e.name).tooLong ? kTooLongMark : "");
        });
    }
    std::fflush(stdout);
    if (!inspection.ok()) throw Failure(a.positional[0] + ": " + inspection.Verdict());
    return 0;
}

int Unpack(const Arguments& a)
{
    Expect(a, 2, false, false, false);
    const MappedFile file(a.positional[0]);
    const PackageResource r = LocatePackage(file.data(), file.size(), a.positional[0]);
    Bytes unpacked;
    // The whole list is checked before the first file is written, as the
    // setup program does; neither walk keeps the entries.
    const wchar_t* failure = UnpackContainer(r, unpacked);
    if (!failure) failure = WalkFileList(unpacked, [](PackageEntry&&) { return true; });
    if (failure) throw Failure(a.positional[0] + ": " + Narrow(failure));
    std::string written;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        written = ExtractEntry(a.positional[1], e);
        return written.empty();
    });
    if (!written.empty()) throw Failure(a.positional[1] + ": " + written);
    return 0;
}

int Run(int argc, char** argv)
{
    if (argc < 2) throw UsageError("no command");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        if (argc > 2) throw UsageError("--version takes no arguments");
        std::string stub, noStub;
        try {
            stub = DefaultStub();
        } catch (const Failure& e) {
            noStub = e.what();
        }
        PrintVersion(QURO_PACK_VERSION, stub, noStub);
        return 0;
    }
    const Arguments a = Parse(argc, argv);
    if (a.json && command != "inspect") throw UsageError(command + " takes no --json");
    if (a.strict && command != "pack" && command != "setup" && command != "embed")
        throw UsageError(command + " takes no --strict");
    if (command == "pack") return Pack(a, false);
    if (command == "setup") return Pack(a, true);
    if (command == "embed") return Embed(a);
    if (command == "inspect") return Inspect(a);
    if (command == "unpack") return Unpack(a);
    if (command == "diff") {
        Expect(a, 2, false, false, false);
        return Diff(a.positional[0], a.positional[1]);
    }
    throw UsageError("unknown command " + command);
}

}  // namespace
}  // namespace quro_pack

int main(int argc, char** argv)
{
    try {
        return quro_pack::Run(argc, argv);
    } catch (const quro_pack::UsageError& e) {
        std::fprintf(stderr, "quro-pack: %s (see quro-pack --help)\n", quro_pack::Escaped(e.what()).c_str());
        return 2;
    } catch (const quro_pack::Failure& e) {
        // Failures name paths and packaged names, which may hold anything.
        std::fprintf(stderr, "quro-pack: %s\n", quro_pack::Escaped(e.what()).c_str());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quro-pack: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quro-pack: %s\n", quro_pack::Escaped(e.what()).c_str());
        return 1;
    }
}
