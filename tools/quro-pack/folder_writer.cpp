#include "folder_writer.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_io.h"
#include "utf8.h"

namespace quro_pack {
namespace {

void MakeFolders(const std::string& folder)
{
    // One level at a time; whatever fails shows up when the file is opened.
    for (std::size_t p = folder.find('/', 1);; p = folder.find('/', p + 1)) {
        const std::string level = folder.substr(0, p);
        if (!level.empty() && level.back() != '/') ::mkdir(level.c_str(), 0777);
        if (p == std::string::npos) break;
    }
}

// The folder the user named is taken as it is, links and all; below it
// nothing is followed: a link already in the target, to a folder or a file,
// is refused rather than written through, and so is a pipe or a device.
bool WriteEntry(const std::string& folder, const std::string& relative, const PackageEntry& entry)
{
    MakeFolders(folder.empty() ? std::string(".") : folder);
    UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return false;
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
        const std::string component = relative.substr(start, slash - start);
        if (component.empty() || component == ".") continue;
        ::mkdirat(dir.get(), component.c_str(), 0777);
        UniqueFd child(::openat(dir.get(), component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child) return false;
        dir = std::move(child);
    }
    const std::string leaf = relative.substr(start);
    if (leaf.empty() || leaf == ".") return false;
    UniqueFd file(::openat(dir.get(), leaf.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!file) return false;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(file.get(), 0) != 0) return false;
    // WriteAll loops over short writes itself: one call for the whole file.
    const bool ok = WriteAll(file.get(), entry.data, std::size_t(entry.size));
    return file.Close() && ok;
}

}  // namespace

std::string ExtractEntry(const std::string& folder, const PackageEntry& entry)
{
    const std::string name = Utf16ToUtf8(entry.name);
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    // A NUL would end the path early on either system; no such file can be made as named.
    if (relative.find('\0') != std::string::npos || !WriteEntry(folder, relative, entry))
        return "could not write " + name;
    return {};
}

std::string ExtractToFolder(const std::string& folder, const std::vector<PackageEntry>& entries)
{
    for (const PackageEntry& entry : entries) {
        std::string failure = ExtractEntry(folder, entry);
        if (!failure.empty()) return failure;
    }
    return {};
}

}  // namespace quro_pack
