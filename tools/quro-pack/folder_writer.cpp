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

std::string Why(int error)
{
    switch (error) {
    case ELOOP:
        return "a symbolic link is in the way, and unpack writes through none";
    case ENOTDIR:
        return "a file is where a folder goes";
    case EISDIR:
        return "a folder is where the file goes";
    default:
        return ErrnoText(error);
    }
}

}  // namespace

FolderExtraction::~FolderExtraction()
{
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
        if (::unlink(it->c_str()) != 0 && errno == EISDIR) ::rmdir(it->c_str());
}

// The folder the user named is taken as it is, links and all; below it
// nothing is followed: a link already in the target, to a folder or a file,
// is refused rather than written through, and so is a pipe or a device.
std::string FolderExtraction::Write(const PackageEntry& entry)
{
    const std::string name = Utf16ToUtf8(entry.name);
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const auto fail = [&](const std::string& why) { return "could not write " + name + ": " + why; };
    // A NUL would end the path early on either system; no such file can be made as named.
    if (relative.find('\0') != std::string::npos) return fail("the name holds a NUL character");

    // The target's own folders, one level at a time.
    std::string path;
    for (std::size_t p = folder_.find('/', 1);; p = folder_.find('/', p + 1)) {
        const std::string level = folder_.substr(0, p);
        if (!level.empty() && level.back() != '/') {
            if (::mkdir(level.c_str(), 0777) == 0)
                made_.push_back(level);
            else if (errno != EEXIST)
                return fail(level + ": " + Why(errno));
        }
        if (p == std::string::npos) break;
    }
    UniqueFd dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return fail(folder_ + ": " + Why(errno));
    path = folder_;
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
        const std::string component = relative.substr(start, slash - start);
        if (component.empty() || component == ".") continue;
        path += "/" + component;
        if (::mkdirat(dir.get(), component.c_str(), 0777) == 0)
            made_.push_back(path);
        else if (errno != EEXIST)
            return fail(Why(errno));
        UniqueFd child(::openat(dir.get(), component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child) return fail(Why(errno));
        dir = std::move(child);
    }
    const std::string leaf = relative.substr(start);
    if (leaf.empty() || leaf == ".") return fail("the name ends in a separator");
    path += "/" + leaf;
    struct stat st {};
    const bool exists = ::fstatat(dir.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(st.st_mode)) return fail(Why(ELOOP));
    if (exists && S_ISDIR(st.st_mode)) return fail(Why(EISDIR));
    if (exists && !S_ISREG(st.st_mode)) return fail("a pipe or a device is where the file goes");
    // A new file is written in place; an existing one through a temporary
    // name beside it, renamed over it when whole.
    std::string written = leaf;
    if (exists) written = ".quro-unpack-" + std::to_string(::getpid()) + "-" + leaf.substr(0, 200);
    UniqueFd file(
        ::openat(dir.get(), written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!file) return fail(Why(errno));
    const std::string writtenPath = path.substr(0, path.size() - leaf.size()) + written;
    if (!exists) made_.push_back(writtenPath);
    // WriteAll loops over short writes itself: one call for the whole file.
    const bool ok = WriteAll(file.get(), entry.data, std::size_t(entry.size));
    const int writeError = errno;
    const bool closed = file.Close();
    const int error = ok ? errno : writeError;
    if (ok && closed && (!exists || ::renameat(dir.get(), written.c_str(), dir.get(), leaf.c_str()) == 0)) return {};
    const int why = ok && closed ? errno : error;
    if (exists) ::unlinkat(dir.get(), written.c_str(), 0);
    return fail(Why(why));
}

std::string ExtractToFolder(const std::string& folder, const std::vector<PackageEntry>& entries)
{
    FolderExtraction extraction(folder);
    for (const PackageEntry& entry : entries) {
        std::string failure = extraction.Write(entry);
        if (!failure.empty()) return failure;
    }
    extraction.Keep();
    return {};
}

}  // namespace quro_pack
