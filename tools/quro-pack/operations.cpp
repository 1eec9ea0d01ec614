#include "operations.h"

#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/hosted_app.h"
#include "base/product.h"
#include "format/container_format.h"
#include "format/file_list_rules.h"
#include "common.h"
#include "file_io.h"
#include "folder_writer.h"
#include "pe_resources.h"
#include "utf8.h"

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
    if (!IsQuroSetupProgram(ReadSetupFacts(stub.data(), stub.size())))
        throw Failure(path + ": not a setup program of " + Narrow(kProductName) +
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

// What is wrong with a resource that fails the setup program's checks, said
// to whoever built it: the setup program's own words address the customer.
std::string Cause(const PackageResource& r, const wchar_t* failure)
{
    using namespace package_format;
    if (failure == kNoPackage)
        return "it carries no package (no RCDATA 101): a stub on its own, or a program quro-pack did not make";
    if (failure == kDamagedSize)
        return "the package header's unpacked size, " + std::to_string(ReadLe64(r.data + kSizeOffset)) +
               ", lies outside 1 to 2 GiB";
    if (failure == kDamaged && CheckHeader(r.data, r.size))
        return "the package resource (" + std::to_string(r.size) +
               " bytes) does not start with a package header (QUROSET1); it is not a package quro-pack wrote";
    if (failure == kDamaged)
        return "the compressed stream does not unpack to the size its header states: the file was cut short or "
               "altered after quro-pack wrote it";
    if (failure == kDamagedDigest)
        return "the unpacked bytes do not match the header's SHA-256: the file was altered after quro-pack wrote it";
    if (failure == kNoDecompressor) return "this machine has no LZMS decompressor";
    if (failure == file_list::kDamagedName)
        return "the file list holds a name the setup program refuses (empty, \"..\", \":\" or a leading separator)";
    return "the file list is cut short: its count or a record runs past the unpacked bytes";
}

}  // namespace

std::vector<std::string> TreeWarnings(const std::string& folder, const Tree& tree)
{
    std::vector<std::string> warnings;
    for (const std::string& empty : tree.emptyFolders)
        warnings.push_back(Escaped(empty) + " holds no files and is left out (a package carries files only)");
    // The setup program links, opens and asks for clean-up the main
    // executable at the top of the install folder; without it, the installed
    // shortcuts lead nowhere. Windows matches the name in any letter case.
    const std::string main = Narrow(kMainExecutableName);
    bool found = false;
    for (const TreeFile& f : tree.files)
        found |= f.name.size() == main.size() && ::strncasecmp(f.name.c_str(), main.c_str(), main.size()) == 0;
    if (!found)
        warnings.push_back(Escaped(folder) + " has no " + main +
                           " at its top; the installed shortcuts would lead nowhere");
    std::vector<std::u16string> names;
    for (const TreeFile& f : tree.files)
        names.push_back(Utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(f.name.data()), f.name.size()));
    for (const LongPath& p : FindLongPaths(names)) warnings.push_back(DescribeLongPath(p));
    return warnings;
}

PackReport Pack(const PackRequest& request)
{
    RequirePath("the folder", request.folder);
    CheckOutputPlace(request.output);
    std::optional<MappedFile> stub;
    if (!request.stub.empty()) {
        stub.emplace(request.stub);
        CheckStubFile(*stub, request.stub);
    }
    Tree tree = WalkTree(request.folder);
    // The setup program would refuse to verify such a package, and install
    // an empty folder from it.
    if (tree.files.empty()) throw Failure(request.folder + ": holds no files, and a package needs at least one");
    // Every file opened once before minutes of compression: one that cannot
    // be read is found now.
    for (const TreeFile& f : tree.files) OpenWalkedFile(f);
    PackReport report;
    report.warnings = TreeWarnings(request.folder, tree);
    report.files = tree.files.size();
    const Bytes resource = PackTree(tree, request.options);
    const ProgressSink& progress = request.options.progress;
    if (progress) progress({ProgressEvent::Phase::Writing, 0, resource.size()});
    if (stub) {
        WriteSetup(resource.data(), resource.size(), *stub, request.stub, request.output);
    } else {
        OutputFile out(request.output, false);
        out.Write(resource.data(), resource.size());
        out.Commit();
    }
    struct stat st {};
    report.outputSize = ::stat(request.output.c_str(), &st) == 0 ? std::uint64_t(st.st_size) : 0;
    return report;
}

void Embed(const std::string& resourcePath, const std::string& stubPath, const std::string& output)
{
    RequirePath("the package", resourcePath);
    CheckOutputPlace(output);
    const MappedFile stub(stubPath);
    CheckStubFile(stub, stubPath);
    const MappedFile file(resourcePath);
    const PackageResource r = LocatePackage(file.data(), file.size(), resourcePath);
    Bytes unpacked;
    const wchar_t* failure = UnpackContainer(r, unpacked);
    std::size_t count = 0;
    if (!failure) failure = WalkFileList(unpacked, [&](PackageEntry&&) { return ++count, true; });
    if (!failure && count == 0) throw Failure(resourcePath + ": the package holds no files");
    if (failure) throw Failure(resourcePath + ": not a package the setup program would take: " + Cause(r, failure));
    unpacked = Bytes();
    WriteSetup(r.data, r.size, stub, stubPath, output);
}

void Inspect(const std::string& path, const std::function<void(const Inspection&)>& summary,
             const std::function<void(const PackageEntry&)>& file)
{
    RequirePath("the file", path);
    const MappedFile mapped(path);
    Inspection in;
    in.resource = LocatePackage(mapped.data(), mapped.size(), path);
    in.facts = ReadSetupFacts(mapped.data(), mapped.size());
    const PackageResource& r = in.resource;
    if (r.present && r.size >= package_format::kHeaderSize)
        in.buffer = lzms::Describe(r.data + package_format::kHeaderSize, r.size - package_format::kHeaderSize);
    // Two walks, nothing kept: the first for the verdict and the count, the
    // second hands out the entries as it reads them.
    Bytes unpacked;
    in.failure = UnpackContainer(r, unpacked);
    in.listRead = in.failure == nullptr;
    if (in.listRead)
        in.failure = WalkFileList(unpacked, [&](PackageEntry&& e) {
            ++in.fileCount;
            in.filesTotal += e.size;
            return true;
        });
    if (in.failure) in.cause = Cause(r, in.failure);
    summary(in);
    if (!in.listRead || in.fileCount == 0) return;
    std::size_t given = 0;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        file(e);
        return ++given < in.fileCount;
    });
}

UnpackReport Unpack(const std::string& path, const std::string& folder)
{
    RequirePath("the file", path);
    RequirePath("the target folder", folder);
    const MappedFile file(path);
    const PackageResource r = LocatePackage(file.data(), file.size(), path);
    Bytes unpacked;
    // The whole list is checked before the first file is written, as the
    // setup program does; neither walk keeps the entries.
    const wchar_t* failure = UnpackContainer(r, unpacked);
    if (!failure) failure = WalkFileList(unpacked, [](PackageEntry&&) { return true; });
    if (failure) throw Failure(path + ": " + Narrow(failure) + "; " + Cause(r, failure));
    UnpackReport report;
    FolderExtraction extraction(folder);
    std::string written;
    WalkFileList(unpacked, [&](PackageEntry&& e) {
        written = extraction.Write(e);
        ++report.files;
        report.bytes += e.size;
        return written.empty();
    });
    if (!written.empty()) throw Failure(folder + ": " + written);
    extraction.Keep();
    return report;
}

}  // namespace quro_pack
