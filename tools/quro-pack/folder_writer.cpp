#include "folder_writer.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
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
    // Each name is removed from the very folder it was made in, and only
    // while it is still what was made there: a link or anything else put in
    // its place stays, and nothing behind a link is reached.
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
        const int at = folders_[it->parent].get();
        struct stat st {};
        if (::fstatat(at, it->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || std::uint64_t(st.st_dev) != it->device ||
            std::uint64_t(st.st_ino) != it->inode || S_ISDIR(st.st_mode) != it->folder)
            continue;
        ::unlinkat(at, it->name.c_str(), it->folder ? AT_REMOVEDIR : 0);
    }
}

void FolderExtraction::Remember(Held parent, const std::string& name, int fd, bool folder)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        made_.push_back(Made{parent, name, std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), folder});
}

std::string FolderExtraction::Enter(Held parent, const std::string& name, bool followLinks, Held& entered)
{
    const int at = folders_[parent].get();
    const bool made = ::mkdirat(at, name.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) return Why(errno);
    UniqueFd child(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW)));
    if (!child) {
        const int e = errno;
        if (e == EMFILE) return "more folders than the open files allowed (ulimit -n)";
        // O_DIRECTORY answers a link with "not a folder"; say what is there.
        struct stat st {};
        if ((e == ENOTDIR || e == ELOOP) && ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode))
            return Why(ELOOP);
        return Why(e);
    }
    if (made) Remember(parent, name, child.get(), true);
    folders_.push_back(std::move(child));
    entered = folders_.size() - 1;
    return {};
}

// The folder the user named is taken as it is, links and all, and made
// where missing, one level at a time from the root or the working folder.
std::string FolderExtraction::OpenTarget()
{
    // One descriptor per folder is held until the end.
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    UniqueFd start(::open(folder_[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!start) return folder_ + ": " + Why(errno);
    folders_.push_back(std::move(start));
    target_ = 0;
    std::size_t from = 0;
    while (from < folder_.size()) {
        const std::size_t slash = std::min(folder_.find('/', from), folder_.size());
        const std::string level = folder_.substr(from, slash - from);
        from = slash + 1;
        if (level.empty() || level == ".") continue;
        if (const std::string why = Enter(target_, level, true, target_); !why.empty())
            return folder_.substr(0, slash) + ": " + why;
    }
    opened_ = true;
    return {};
}

// Below the target nothing is followed: a link already there, to a folder
// or a file, is refused rather than written through, and so is a pipe or a
// device.
std::string FolderExtraction::Write(const PackageEntry& entry)
{
    const std::string name = Utf16ToUtf8(entry.name);
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const auto fail = [&](const std::string& why) { return "could not write " + name + ": " + why; };
    // A NUL would end the path early on either system; no such file can be made as named.
    if (relative.find('\0') != std::string::npos) return fail("the name holds a NUL character");
    if (!opened_)
        if (const std::string why = OpenTarget(); !why.empty()) return fail(why);

    Held dir = target_;
    std::string path;  // the folders so far, relative to the target
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
        const std::string component = relative.substr(start, slash - start);
        if (component.empty() || component == ".") continue;
        path += "/" + component;
        if (const auto known = entered_.find(path); known != entered_.end()) {
            dir = known->second;
            continue;
        }
        if (const std::string why = Enter(dir, component, false, dir); !why.empty()) return fail(why);
        entered_.emplace(path, dir);
    }
    const std::string leaf = relative.substr(start);
    if (leaf.empty() || leaf == ".") return fail("the name ends in a separator");
    const int at = folders_[dir].get();
    struct stat st {};
    const bool exists = ::fstatat(at, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(st.st_mode)) return fail(Why(ELOOP));
    if (exists && S_ISDIR(st.st_mode)) return fail(Why(EISDIR));
    if (exists && !S_ISREG(st.st_mode)) return fail("a pipe or a device is where the file goes");
    // A new file is written in place; an existing one through a temporary
    // name beside it, renamed over it when whole.
    std::string written = leaf;
    if (exists) written = ".quro-unpack-" + std::to_string(::getpid()) + "-" + leaf.substr(0, 200);
    UniqueFd file(
        ::openat(at, written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!file) return fail(Why(errno));
    if (!exists) Remember(dir, written, file.get(), false);
    struct stat replacement {};
    ::fstat(file.get(), &replacement);
    // WriteAll loops over short writes itself: one call for the whole file.
    const bool ok = WriteAll(file.get(), entry.data, std::size_t(entry.size));
    const int writeError = errno;
    const bool closed = file.Close();
    const int error = ok ? errno : writeError;
    if (ok && closed && !exists) return {};
    if (ok && closed && ::renameat(at, written.c_str(), at, leaf.c_str()) == 0) {
        // A file this run made and now replaced is still its own to take back.
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            if (it->parent == dir && it->name == leaf && !it->folder) {
                it->device = std::uint64_t(replacement.st_dev);
                it->inode = std::uint64_t(replacement.st_ino);
                break;
            }
        return {};
    }
    const int why = ok && closed ? errno : error;
    if (exists) ::unlinkat(at, written.c_str(), 0);
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
