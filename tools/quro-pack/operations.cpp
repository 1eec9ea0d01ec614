#include "operations.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "format/container_format.h"
#include "common.h"
#include "file_io.h"
#include "folder_writer.h"
#include "pe_resources.h"
#include "windows_paths.h"

namespace quro_pack {
namespace {

void RequirePath(const char* what, const std::string& path)
{
    // An empty argument is a mistake in a script (an unset variable), not
    // the current folder.
    if (path.empty()) throw Failure(std::string(what) + " is an empty path");
}

// Where the output goes must take it: a name that is no folder, in a folder
// that exists and can be written. Found now rather than after the compression.
void CheckOutputPlace(const std::string& output)
{
    RequirePath("the output", output);
    struct stat st {};
    if (::stat(output.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw Failure(output + ": is a folder; name the file to write");
    const std::size_t slash = output.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
    if (::stat(folder.c_str(), &st) != 0) throw Failure(folder + ": " + ErrnoText(errno) + " (the output's folder)");
    if (!S_ISDIR(st.st_mode)) throw Failure(folder + ": not a folder (the output's folder)");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw Failure(folder + ": " + ErrnoText(errno) + " (the output's folder)");
}

std::string RealPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string s = real;
    std::free(real);
    return s;
}

// Where a name lands in its folder: the folder's links and ".." resolved,
// the name itself taken as it is (a rename replaces a link, never follows it).
std::string LandsAt(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = RealPath(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    return (folder == "/" ? folder : folder + "/") + leaf;
}

bool Below(const std::string& path, const std::string& folder)
{
    return path == folder || folder == "/" || path.rfind(folder + "/", 0) == 0;
}

struct Input {
    const char* what;  // "the folder being packed", "the stub"
    std::string path;
};

// The output must not land in what is being read: a setup written into the
// folder it packs is packed into the next one, and an output that is one of
// the inputs destroys it. Judged where the output really lands (its folder's
// links and ".." resolved, and a link in its place followed), before any
// input is read.
void RefuseOutputOverInputs(const std::string& output, const std::vector<Input>& inputs)
{
    // The rename lands beside a link in the output's place; a pipe or a
    // device is written through it.
    const std::string lands[] = {LandsAt(output), RealPath(output)};
    struct stat out {};
    const bool exists = ::stat(output.c_str(), &out) == 0;
    for (const Input& input : inputs) {
        if (input.path.empty()) continue;
        struct stat in {};
        const bool found = ::stat(input.path.c_str(), &in) == 0;
        const bool folder = found && S_ISDIR(in.st_mode);
        if (exists && found && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
            throw Failure(output + ": is " + input.path + ", " + input.what + "; write the output elsewhere");
        const std::string real = RealPath(input.path);
        for (const std::string& land : lands)
            if (!land.empty() && !real.empty() && (folder ? Below(land, real) : land == real))
                throw Failure(output + ": lies " + (folder ? "inside " : "at ") + input.path + " (" + real + "), " +
                              input.what + "; write the output elsewhere");
    }
}

// The stub must be this product's setup program, unsigned, and laid out so
// that the package can go in.
void CheckStubFile(const MappedFile& stub, const std::string& path)
{
    pe::ReadImage(stub.data(), stub.size(), path);
    if (!IsProductSetup(ReadSetupFacts(stub.data(), stub.size())))
        throw Failure(path + ": not a setup program of " + std::string(kProductName) +
                      " (its version resource names no such product); give the quro-setup-stub.exe built with "
                      "this tool");
    pe::CheckStub(stub.data(), stub.size(), path);
}

std::uint64_t WriteSetup(const std::uint8_t* resource, std::size_t size, const MappedFile& stub,
                         const std::string& stubPath, const std::string& output)
{
    OutputFile out(output, true);
    std::uint64_t written = 0;
    pe::EmbedPackage(
        stub.data(), stub.size(), resource, size,
        [&](const std::uint8_t* data, std::size_t n) {
            out.Write(data, n);
            written += n;
        },
        stubPath);
    out.Commit();
    return written;
}

}  // namespace

PackReport Pack(const PackRequest& request)
{
    RequirePath("the folder", request.folder);
    CheckOutputPlace(request.output);
    RefuseOutputOverInputs(
        request.output, {{"the folder being packed", request.folder}, {"the setup program it copies", request.stub}});
    std::optional<MappedFile> stub;
    if (!request.stub.empty()) {
        stub.emplace(request.stub);
        CheckStubFile(*stub, request.stub);
    }
    PackReport report;
    const Bytes resource = PackFolder(request.folder, request.options, &report.warnings, &report.counts);
    const ProgressSink& progress = request.options.progress;
    if (progress) progress({ProgressEvent::Phase::Writing, 0, resource.size()});
    if (stub) {
        report.outputSize = WriteSetup(resource.data(), resource.size(), *stub, request.stub, request.output);
    } else {
        OutputFile out(request.output, false);
        out.Write(resource.data(), resource.size());
        out.Commit();
        report.outputSize = resource.size();
    }
    return report;
}

std::vector<std::string> Embed(const std::string& resourcePath, const std::string& stubPath, const std::string& output,
                               bool strict)
{
    RequirePath("the package", resourcePath);
    RequirePath("the stub", stubPath);
    CheckOutputPlace(output);
    RefuseOutputOverInputs(output,
                           {{"the package it embeds", resourcePath}, {"the setup program it copies", stubPath}});
    const MappedFile stub(stubPath);
    CheckStubFile(stub, stubPath);
    const MappedFile file(resourcePath);
    const PackageResource r = LocatePackage(file.data(), file.size(), resourcePath);
    Bytes unpacked;
    std::size_t count = 0;
    if (const wchar_t* failure = UnpackChecked(r, unpacked, &count))
        throw Failure(resourcePath + ": not a package the setup program would take: " + DamageCause(r, failure));
    if (count == 0) throw Failure(resourcePath + ": the package holds no files");
    std::vector<std::string> warnings = PackageWarnings(unpacked);
    unpacked = Bytes();
    if (strict && !warnings.empty()) throw Failure(StrictRefusal(warnings.size()), warnings);
    WriteSetup(r.data, r.size, stub, stubPath, output);
    return warnings;
}

void Unpack(const std::string& path, const std::string& folder)
{
    RequirePath("the file", path);
    RequirePath("the target folder", folder);
    const MappedFile file(path);
    const PackageResource r = LocatePackage(file.data(), file.size(), path);
    Bytes unpacked;
    // The whole list is checked before the first file is written, as the
    // setup program does; neither walk keeps the entries.
    if (const wchar_t* failure = UnpackChecked(r, unpacked))
        throw Failure(path + ": " + Narrow(failure) + "; " + DamageCause(r, failure));
    // A name listed again would be written again (millions of times in a
    // list of a few hundred bytes), and two spellings of one file leave
    // whichever came last: refused before the first file is written.
    const NameClashes clashes = FindNameClashes(unpacked);
    if (clashes.repeated || clashes.folded) {
        const std::vector<std::string> lines = clashes.Describe();
        throw Failure(path + ": " + lines.front() + (lines.size() > 1 ? "; " + lines.back() : std::string()));
    }
    // Declared first, so that an interrupt ends the process only after the
    // extraction has taken back what it made.
    const HeldSignals held;
    FolderExtraction extraction(folder);
    std::string written;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        written = held.Interrupted() ? "interrupted; nothing it made was kept" : extraction.Write(e);
        return written.empty();
    });
    if (!written.empty()) throw Failure(folder + ": " + written);
    extraction.Keep();
}

}  // namespace quro_pack
