#include "operations.h"

#include <cerrno>
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

void WriteSetup(const std::uint8_t* resource, std::size_t size, const MappedFile& stub, const std::string& stubPath,
                const std::string& output)
{
    OutputFile out(output, true);
    pe::EmbedPackage(
        stub.data(), stub.size(), resource, size, [&](const std::uint8_t* data, std::size_t n) { out.Write(data, n); },
        stubPath);
    out.Commit();
}

}  // namespace

PackReport Pack(const PackRequest& request)
{
    RequirePath("the folder", request.folder);
    CheckOutputPlace(request.output);
    std::optional<MappedFile> stub;
    if (!request.stub.empty()) {
        stub.emplace(request.stub);
        CheckStubFile(*stub, request.stub);
    }
    PackReport report;
    const Bytes resource = PackFolder(request.folder, request.options, &report.warnings);
    const ProgressSink& progress = request.options.progress;
    if (progress) progress({ProgressEvent::Phase::Writing, 0, resource.size()});
    if (stub) {
        WriteSetup(resource.data(), resource.size(), *stub, request.stub, request.output);
    } else {
        OutputFile out(request.output, false);
        out.Write(resource.data(), resource.size());
        out.Commit();
    }
    return report;
}

std::vector<std::string> Embed(const std::string& resourcePath, const std::string& stubPath, const std::string& output,
                               bool strict)
{
    RequirePath("the package", resourcePath);
    CheckOutputPlace(output);
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
    FolderExtraction extraction(folder);
    std::string written;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        written = extraction.Write(e);
        return written.empty();
    });
    if (!written.empty()) throw Failure(folder + ": " + written);
    extraction.Keep();
}

}  // namespace quro_pack
