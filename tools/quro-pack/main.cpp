// quro-pack's command line: options parsed with CLI11, the operations of
// operations.h run, their results printed as text (or JSON) and mapped to an
// exit status.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "format/container_format.h"
#include "common.h"
#include "diff.h"
#include "file_io.h"
#include "verdict.h"
#include "json_report.h"
#include "lzms_buffer.h"
#include "operations.h"
#include "progress.h"
#include "setup_facts.h"
#include "utf8.h"
#include "windows_paths.h"
#include "winget.h"

#ifndef QURO_PACK_VERSION
#define QURO_PACK_VERSION "unknown"
#endif
#ifndef QURO_INSTALLED_STUB
#define QURO_INSTALLED_STUB "../share/quro-pack/quro-setup-stub.exe"
#endif

namespace quro_pack {
namespace {

constexpr const char kFooter[] =
    "FILE, OLD and NEW are each a package resource or a setup executable (its RCDATA 101).\n"
    "Exit status: 0 done, 1 failed (one line on stderr), 2 wrong usage; inspect: 1 also when the\n"
    "setup program would refuse the package or a setup with it would not install; diff: 0 the same\n"
    "files and setup program, 1 they differ, 2 an error.";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A byte count as people write it: 1073741824, 1024M, 1G (K, M and G are
// powers of 1,024).
std::uint64_t ParseSize(const std::string& text)
{
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (UINT64_MAX - 9) / 10) throw UsageError(text + " is too large");
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
        throw UsageError("takes a size such as 1536M or 2G, not " + text);
    if (i == 0 || value == 0) throw UsageError("takes a size such as 1536M or 2G, not " + text);
    if (value > (UINT64_MAX >> shift)) throw UsageError(text + " is too large");
    return value << shift;
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
        // Where the build, cmake --install and the Debian package put it,
        // relative to the tool so that an unpacked package works wherever it
        // lies; no path of the build is built in.
        installed = exe.substr(0, exe.find_last_of('/') + 1) + QURO_INSTALLED_STUB;
        if (Exists(installed)) return installed;
    }
    throw Failure("no setup program to copy (looked for " + beside + " and " + installed + "); name one with --stub");
}

// Everything the commands take; each command declares the options it has.
struct Arguments {
    std::vector<std::string> positional;
    std::string output;
    std::string stub;
    bool stubGiven = false;
    std::vector<std::string> exclude;
    std::string memory;
    unsigned threads = 0;
    bool store = false;
    bool json = false;
    bool quiet = false;
    bool strict = false;
    bool requireSigned = false;
};

void Warn(const std::vector<std::string>& warnings, bool quiet)
{
    if (quiet) return;
    for (const std::string& w : warnings) std::fprintf(stderr, "quro-pack: warning: %s\n", w.c_str());
}

// The stub named, or the default one; an empty --stub "" is a mistake in a
// script, like every empty path, not a request for the default.
std::string StubOf(const Arguments& a)
{
    if (!a.stubGiven) return DefaultStub();
    if (a.stub.empty()) throw Failure("the stub is an empty path");
    return a.stub;
}

int RunPack(const Arguments& a, bool setup)
{
    const auto start = std::chrono::steady_clock::now();
    PackRequest request;
    request.folder = a.positional.at(0);
    request.output = a.output;
    if (setup) request.stub = StubOf(a);
    request.options.exclude = a.exclude;
    request.options.compress.store = a.store;
    request.options.compress.threads = a.threads;
    if (!a.memory.empty()) request.options.compress.memoryBudget = ParseSize(a.memory);  // checked when parsed
    request.options.strict = a.strict;
    Progress progress(Progress::ModeFor(a.quiet));
    request.options.progress = progress.Sink();
    const PackReport report = Pack(request);
    progress.Clear();
    Warn(report.warnings, a.quiet);
    if (a.quiet) return 0;
    // One line at the end, as a build ends: what was written, from what.
    const PackCounts& c = report.counts;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::string excluded = c.excluded ? " (" + std::to_string(c.excluded) + " excluded)" : "";
    std::fprintf(stderr, "quro-pack: wrote %s: %zu file%s%s, %llu bytes in, %llu bytes out (%.3f), %.1f s\n",
                 Escaped(a.output).c_str(), c.files, c.files == 1 ? "" : "s", excluded.c_str(),
                 static_cast<unsigned long long>(c.filesSize), static_cast<unsigned long long>(report.outputSize),
                 c.filesSize ? double(report.outputSize) / double(c.filesSize) : 0.0, took.count());
    return 0;
}

int RunEmbed(const Arguments& a)
{
    Warn(Embed(a.positional.at(0), StubOf(a), a.output, a.strict), a.quiet);
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
        std::printf("header           cut short (%zu of %zu bytes)\n", r.size, package_format::kHeaderSize);
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

// inspect's lines for an executable: its version and its signature.
void PrintSetupFacts(const SetupFacts& facts)
{
    if (!facts.executable) return;
    std::printf("setup program    %s\n",
                facts.version ? DescribeVersion(*facts.version).c_str() : "no version resource");
    std::printf("signature        %s\n", DescribeSignature(facts.signature).c_str());
}

// --version: the tool's version, and the setup program it copies by default
// (stubPath, empty when there is none: why is in noStub).
void PrintVersion(const char* toolVersion, const std::string& stubPath, const std::string& noStub)
{
    std::printf("quro-pack %s\n", toolVersion);
    if (stubPath.empty()) {
        std::printf("setup program    none: %s\n", noStub.c_str());
        return;
    }
    const MappedFile stub(stubPath);
    const SetupFacts facts = ReadSetupFacts(stub.data(), stub.size());
    std::printf("setup program    %s, version %s\n", Escaped(stubPath).c_str(),
                facts.version ? DescribeVersion(*facts.version).c_str() : "unknown (no version resource)");
}

int RunInspect(const Arguments& a)
{
    const std::string& path = a.positional.at(0);
    InspectOptions options;
    options.strict = a.strict;
    options.requireSigned = a.requireSigned;
    if (a.json) return InspectJson(path, options);
    const Inspection inspection(path, options);
    // A file refused whole has no facts to show, only why.
    if (inspection.refusal.empty()) {
        PrintSetupFacts(inspection.facts);
        PrintHeader(inspection.resource);
    }
    for (const std::string& w : inspection.warnings) std::printf("warning          %s\n", Escaped(w).c_str());
    std::printf("%s\n", Escaped(inspection.Verdict()).c_str());
    if (inspection.listRead && (inspection.intact() || inspection.fileCount > 0)) {
        std::printf("files            %zu\n", inspection.fileCount);
        ForEachFile(inspection, [](const PackageEntry& e) {
            std::printf("%14llu  %s%s\n", static_cast<unsigned long long>(e.size), Escaped(Utf16ToUtf8(e.name)).c_str(),
                        CheckPath(e.name).tooLong ? kTooLongMark : "");
        });
    }
    std::fflush(stdout);
    if (!inspection.ok()) throw Failure(path + ": " + inspection.Verdict());
    return 0;
}

// diff's exit status is diff(1)'s: 0 the same, 1 different, 2 trouble.
struct DiffTrouble : Failure {
    using Failure::Failure;
};

int RunDiff(const Arguments& a)
{
    try {
        if (a.json) return DiffJson(a.positional.at(0), a.positional.at(1));
        const DiffSummary s = ComparePackages(a.positional.at(0), a.positional.at(1), [](const FileChange& c) {
            const std::string name = Escaped(Utf16ToUtf8(c.name));
            const std::string sizes = c.kind == FileChange::Kind::Changed
                                          ? std::to_string(c.oldSize) + " -> " + std::to_string(c.newSize)
                                          : std::to_string(c.kind == FileChange::Kind::Added ? c.newSize : c.oldSize);
            const char* kind = c.kind == FileChange::Kind::Added     ? "added  "
                               : c.kind == FileChange::Kind::Removed ? "removed"
                                                                     : "changed";
            std::printf("%s  %21s  %s\n", kind, sizes.c_str(), name.c_str());
        });
        std::printf("files    %zu -> %zu (%zu added, %zu removed, %zu changed)\n", s.oldFiles, s.newFiles, s.added,
                    s.removed, s.changed);
        std::printf("unpacked %llu -> %llu bytes\n", static_cast<unsigned long long>(s.oldTotal),
                    static_cast<unsigned long long>(s.newTotal));
        // The install leaves the setup program itself beside the files, as the
        // uninstaller: a new setup program changes the install folder too.
        if (s.oldVersion && s.newVersion) {
            const std::string was = DescribeVersion(*s.oldVersion), is = DescribeVersion(*s.newVersion);
            std::printf("setup program %s%s\n", was.c_str(), was != is ? (" -> " + is).c_str() : "");
        }
        std::fflush(stdout);
        return s.Same() ? 0 : 1;
    } catch (const Failure& e) {
        throw DiffTrouble(e.what());
    } catch (const std::bad_alloc&) {
        throw DiffTrouble("out of memory");
    }
}

int RunUnpack(const Arguments& a)
{
    Unpack(a.positional.at(0), a.positional.at(1));
    return 0;
}

int RunWinget(const WingetRequest& request, bool quiet)
{
    const WingetReport report = WriteWingetManifests(request);
    Warn(report.warnings, quiet);
    if (quiet) return 0;
    for (const std::string& name : report.files)
        std::printf("wrote %s/%s\n", Escaped(request.output).c_str(), Escaped(name).c_str());
    std::printf("their folder in microsoft/winget-pkgs: %s\n", Escaped(report.repositoryFolder).c_str());
    return 0;
}

int RunVersion()
{
    std::string stub, noStub;
    try {
        stub = DefaultStub();
    } catch (const Failure& e) {
        noStub = e.what();
    }
    PrintVersion(QURO_PACK_VERSION, stub, noStub);
    return 0;
}

// Runs the command line; usage errors are thrown as UsageError, failures
// as Failure.
int Run(int argc, char** argv)
{
    CLI::App app("quro-pack packs a folder of Quro Host into a copy of the setup program, and reads setups back.",
                 "quro-pack");
    app.footer(kFooter);
    app.require_subcommand(0, 1);
    app.fallthrough();
    Arguments a;
    bool version = false;
    app.add_flag("--version", version, "this tool's version and the setup program it copies by default");
    app.add_flag("-q,--quiet", a.quiet, "print errors only: no progress, no warnings");

    const auto folder = [&](CLI::App* c, const char* name, const char* what) {
        c->add_option(name, a.positional, what)->required()->expected(1);
    };
    const auto packing = [&](CLI::App* c) {
        c->add_option("-o,--output", a.output, "the file to write")->required();
        c->add_flag("--store", a.store, "keep every chunk uncompressed (quick to make, as large as the folder)");
        c->add_option("--memory", a.memory,
                      "what compressing may take at once, such as 1536M or 2G (default 1G); every 64 MiB chunk "
                      "being compressed needs about 640 MiB")
            ->check(CLI::Validator(
                [](std::string& text) {
                    try {
                        ParseSize(text);
                        return std::string();
                    } catch (const UsageError& e) {
                        return std::string(e.what());
                    }
                },
                "SIZE"));
        c->add_option("--threads", a.threads, "the most chunks compressed at once (default: one per core)")
            ->check(CLI::Range(1u, 1024u));
        c->add_option("--exclude", a.exclude,
                      "leave out the files and folders whose relative path matches this shell pattern (* also "
                      "matches /: '*.pdb'); repeatable")
            ->allow_extra_args(false);
    };
    const auto strict = [&](CLI::App* c) {
        c->add_flag("--strict", a.strict,
                    "every warning is an error (an empty folder, no DraloHost.exe at the top, a path beyond "
                    "Windows' limit); nothing is written then");
    };
    std::vector<CLI::Option*> stubs;
    const auto stub = [&](CLI::App* c) {
        stubs.push_back(
            c->add_option("--stub", a.stub,
                          "the setup program to copy; by default quro-setup-stub.exe beside quro-pack, else the one in "
                          "../share/quro-pack/ from quro-pack's folder (where builds and installations put it)"));
    };
    CLI::App* pack = app.add_subcommand("pack", "write the package resource for every file below DIR");
    folder(pack, "DIR", "the folder to pack");
    packing(pack);
    strict(pack);
    CLI::App* setup = app.add_subcommand("setup", "pack DIR into a copy of the setup program");
    folder(setup, "DIR", "the folder to pack");
    packing(setup);
    strict(setup);
    stub(setup);
    CLI::App* embed =
        app.add_subcommand("embed", "put a package (or a setup's package) into a copy of the setup program");
    folder(embed, "FILE", "the package resource, or a setup whose package is taken");
    embed->add_option("-o,--output", a.output, "the setup to write")->required();
    strict(embed);
    stub(embed);
    CLI::App* inspect = app.add_subcommand(
        "inspect",
        "print the header, the verdict (ok, or what is wrong and what the setup program would say) and the files");
    folder(inspect, "FILE", "the package resource or setup");
    inspect->add_flag("--json", a.json, "as one JSON document, with each file's SHA-256");
    inspect->add_flag("--strict", a.strict,
                      "a warning fails the verdict too (no DraloHost.exe at the top, a name listed twice)");
    inspect->add_flag("--require-signed", a.requireSigned,
                      "a setup without an intact Authenticode signature (none, or one whose digest or signature "
                      "does not match) fails the verdict");
    CLI::App* unpack = app.add_subcommand(
        "unpack", "verify as the setup program does, then write the files below DIR (what /extract-to does)");
    unpack->add_option("FILE DIR", a.positional, "the package or setup, and the folder to write")
        ->required()
        ->expected(2);
    CLI::App* diff = app.add_subcommand("diff", "the files that installing NEW over OLD adds, removes and changes");
    diff->add_option("OLD NEW", a.positional, "the two releases")->required()->expected(2);
    diff->add_flag("--json", a.json, "as one JSON document: the changes, the counts, the totals");
    WingetRequest w;
    CLI::App* winget =
        app.add_subcommand("winget", "write the manifests that submit SETUP to winget's community repository (schema " +
                                         std::string(kWingetManifestVersion) + ")");
    winget->add_option("SETUP", w.setup, "a setup that inspect finds ok")->required();
    winget->add_option("--url", w.installerUrl, "where winget downloads SETUP (http or https)")->required();
    winget->add_option("-o,--output", w.output, "the folder for the three files, made when missing")->required();
    winget->add_option("--id", w.identifier, "the package identifier")->capture_default_str();
    winget->add_option("--license", w.license, "the licence's name, such as Proprietary or MIT");
    winget->add_option("--short-description", w.shortDescription, "one line on what the application does");
    winget->add_option("--description", w.description, "a longer text; left out by default");
    winget->add_option("--publisher-url", w.publisherUrl, "the publisher's home page");
    winget->add_option("--license-url", w.licenseUrl, "where the licence can be read");
    winget->add_option("--support-url", w.supportUrl, "the publisher's support page; left out by default");
    winget->add_flag("--strict", w.strict,
                     "a placeholder is an error (no --license, --short-description, --publisher-url or "
                     "--license-url); nothing is written then");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {  // --help of a command
            app.exit(e);
            return 0;
        }
        const std::vector<CLI::App*> given = app.get_subcommands();
        throw UsageError(std::string(e.what()) + " (see quro-pack " +
                         (given.empty() ? std::string() : given.front()->get_name() + " ") + "--help)");
    }
    for (const CLI::Option* s : stubs) a.stubGiven |= s->count() > 0;
    if (version) {
        if (app.get_subcommands().size() > 0) throw UsageError("--version takes no command (see quro-pack --help)");
        return RunVersion();
    }
    if (pack->parsed()) return RunPack(a, false);
    if (setup->parsed()) return RunPack(a, true);
    if (embed->parsed()) return RunEmbed(a);
    if (inspect->parsed()) return RunInspect(a);
    if (unpack->parsed()) return RunUnpack(a);
    if (diff->parsed()) return RunDiff(a);
    if (winget->parsed()) return RunWinget(w, a.quiet);
    throw UsageError("no command (see quro-pack --help)");
}

}  // namespace
}  // namespace quro_pack

int main(int argc, char** argv)
{
    quro_pack::RemoveTemporaryOutputOnSignals();
    try {
        return quro_pack::Run(argc, argv);
    } catch (const quro_pack::UsageError& e) {
        std::fprintf(stderr, "quro-pack: %s\n", quro_pack::Escaped(e.what()).c_str());
        return 2;
    } catch (const quro_pack::Failure& e) {
        // Failures name paths and packaged names, which may hold anything.
        for (const std::string& cause : e.details)
            std::fprintf(stderr, "quro-pack: error: %s\n", quro_pack::Escaped(cause).c_str());
        std::fprintf(stderr, "quro-pack: %s\n", quro_pack::Escaped(e.what()).c_str());
        return dynamic_cast<const quro_pack::DiffTrouble*>(&e) ? 2 : 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quro-pack: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quro-pack: %s\n", quro_pack::Escaped(e.what()).c_str());
        return 1;
    }
}
