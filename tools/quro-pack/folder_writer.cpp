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
    for (std::size_t p = folder.find('/', 1); ; p = folder.find('/', p + 1)) {
        const std::string level = folder.substr(0, p);
        if (!level.empty() && level.back() != '/') ::mkdir(level.c_str(), 0777);
        if (p == std::string::npos) break;
    }
}

bool WriteEntry(const std::string& path, const PackageEntry& entry)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) {
        std::size_t end = slash;
        while (end > 0 && path[end - 1] == '/') --end;
        if (end > 0) MakeFolders(path.substr(0, end));
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // WriteAll loops over short writes itself: one call for the whole file.
    const bool ok = WriteAll(fd, entry.data, std::size_t(entry.size));
    return ::close(fd) == 0 && ok;
}

}  // namespace

std::string ExtractToFolder(const std::string& folder, const std::vector<PackageEntry>& entries)
{
    for (const PackageEntry& entry : entries) {
        const std::string name = Utf16ToUtf8(entry.name);
        std::string relative = name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const bool joined = folder.empty() || folder.back() == '/';
        const std::string path = joined ? folder + relative : folder + "/" + relative;
        // A NUL would end the path early on either system; no such file can be made as named.
        if (relative.find('\0') != std::string::npos || !WriteEntry(path, entry)) return "could not write " + name;
    }
    return {};
}

}  // namespace quro_pack
