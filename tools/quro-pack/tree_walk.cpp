#include "tree_walk.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cwctype>
#include <dirent.h>
#include <map>
#include <memory>
#include <cctype>
#include <string_view>
#include <set>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "format/file_list_rules.h"
#include "common.h"
#include "file_io.h"
#include "utf8.h"

namespace quro_pack {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

bool IsReservedDeviceName(const std::string& component)
{
    const std::u16string wide = Utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(component.data()), component.size());
    return file_list::IsDeviceName(wide.data(), wide.size());
}

// Windows compares names without regard to case; two names that differ only
// in case would overwrite each other on the way in.
std::u32string CaseFolded(const std::string& name)
{
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    std::u32string s = Utf8ToCodePoints(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
    for (char32_t& c : s) {
        if (c < 0x80)
            c = char32_t(std::toupper(int(c)));
        else if (utf8)
            c = char32_t(::towupper_l(wint_t(c), utf8));
    }
    return s;
}

std::int64_t ChangeTime(const struct stat& st)
{
    return std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}

struct Walker {
    Tree tree;

    // Returns the number of files found below folder, which is open as the
    // descriptor its files keep and named dir for messages.
    std::size_t Walk(const std::shared_ptr<const UniqueFd>& folder, const std::string& dir, const std::string& relative)
    {
        const int fd = folder->get();
        std::vector<std::string> names;
        {
            // closedir closes what fdopendir was given, and the folder's own
            // descriptor must stay open for the files in it: a copy is listed.
            UniqueFd listed(::dup(fd));
            DIR* opened = listed ? ::fdopendir(listed.get()) : nullptr;
            if (!opened) throw Failure(dir + ": " + ErrnoText(errno));
            listed.Release();  // the DIR owns it now
            std::unique_ptr<DIR, DirCloser> d(opened);
            errno = 0;
            while (const dirent* e = ::readdir(d.get())) {
                const std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
                errno = 0;
            }
            if (errno != 0) throw Failure(dir + ": " + ErrnoText(errno));
        }
        std::sort(names.begin(), names.end());

        const std::size_t warningsBefore = tree.emptyFolders.size();
        std::size_t found = 0;
        for (const std::string& n : names) {
            const std::string path = dir + "/" + n;
            const std::string rel = relative.empty() ? n : relative + "/" + n;
            struct stat st {};
            if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) throw Failure(path + ": " + ErrnoText(errno));
            if (S_ISLNK(st.st_mode)) throw Failure(path + ": is a symbolic link; a package carries plain files only");
            if (S_ISDIR(st.st_mode)) {
                UniqueFd child(::openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!child) {
                    if (errno == EMFILE) throw Failure(path + ": too many folders are open at once (ulimit -n)");
                    throw Failure(path + ": changed while it was packed (" + ErrnoText(errno) + ")");
                }
                struct stat opened {};
                if (::fstat(child.get(), &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)
                    throw Failure(path + ": changed while it was packed");
                found += Walk(std::make_shared<const UniqueFd>(std::move(child)), path, rel);
            } else if (S_ISREG(st.st_mode)) {
                Add(path, rel, std::uint64_t(st.st_size));
                TreeFile& added = tree.files.back();
                added.folder = folder;
                added.leaf = n;
                added.device = std::uint64_t(st.st_dev);
                added.inode = std::uint64_t(st.st_ino);
                added.changed = ChangeTime(st);
                ++found;
            } else {
                throw Failure(path + ": is a special file; a package carries plain files only");
            }
        }
        if (found == 0 && !relative.empty()) {
            tree.emptyFolders.resize(warningsBefore);  // report the topmost empty folder only
            tree.emptyFolders.push_back(dir);
        }
        return found;
    }

    void Add(const std::string& path, const std::string& relative, std::uint64_t size)
    {
        std::string name = relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(relative.data());
        if (!IsValidUtf8(bytes, relative.size())) throw Failure(path + ": the name is not valid UTF-8");
        // The setup program's own rule decides first, so that pack refuses
        // exactly the names that /verify, inspect and unpack refuse.
        const std::string problem = WindowsNameProblem(relative);
        const std::u16string wide = Utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
        if (!file_list::IsAcceptableName(wide.data(), wide.size()))
            throw Failure(path + ": " + (problem.empty() ? "the name holds \"..\" or \":\"" : problem) +
                          "; the setup program refuses it (" + Narrow(file_list::kDamagedName) + ")");
        if (!problem.empty()) throw Failure(path + ": " + problem);
        tree.files.push_back(TreeFile{name, path, size, nullptr, {}, 0, 0, 0});
    }
};

void RefuseCaseClashes(const Tree& tree)
{
    std::map<std::u32string, const TreeFile*> files;
    std::set<std::u32string> folders;
    for (const TreeFile& f : tree.files) {
        auto [it, inserted] = files.emplace(CaseFolded(f.name), &f);
        if (!inserted)
            throw Failure(f.path + ": differs from " + it->second->path +
                          " only in case, and Windows would write both to one file");
        for (std::size_t p = f.name.find('\\'); p != std::string::npos; p = f.name.find('\\', p + 1))
            folders.insert(CaseFolded(f.name.substr(0, p)));
    }
    for (const TreeFile& f : tree.files)
        if (folders.count(CaseFolded(f.name)))
            throw Failure(f.path + ": Windows sees a folder of the same name (differing only in case) beside it");
}

}  // namespace

UniqueFd OpenWalkedFile(const TreeFile& file)
{
    UniqueFd fd(::openat(file.folder->get(), file.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        // Gone or replaced by a link since the walk is a change; anything
        // else (no permission, an I/O error) is the system's reason.
        const int e = errno;
        if (e == ENOENT || e == ELOOP || e == ENXIO)
            throw Failure(file.path + ": changed while it was packed (" + ErrnoText(e) + ")");
        throw Failure(file.path + ": cannot be read: " + ErrnoText(e));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_dev) != file.device ||
        std::uint64_t(st.st_ino) != file.inode || std::uint64_t(st.st_size) != file.size ||
        ChangeTime(st) != file.changed)
        throw Failure(file.path + ": changed while it was packed");
    return fd;
}

std::string WindowsNameProblem(const std::string& relative)
{
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string component = relative.substr(start, end - start);
        for (const char ch : component) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c == '\\') return "the name holds a backslash, which Windows reads as a folder separator";
            if (c < 0x20 || std::string_view("<>\"|?*").find(char(c)) != std::string_view::npos)
                return "the name holds a character that Windows file names cannot hold";
        }
        if (!component.empty() && (component.back() == '.' || component.back() == ' '))
            return "the name ends in a dot or a space, which Windows drops";
        if (IsReservedDeviceName(component)) return "the name is a Windows device name (CON, NUL, COM1, CONIN$, ...)";
        if (end == relative.size()) return {};
        start = end + 1;
    }
}

Tree WalkTree(const std::string& rootArgument)
{
    std::string root = rootArgument;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0) throw Failure(root + ": " + ErrnoText(errno));
    if (!S_ISDIR(st.st_mode)) throw Failure(root + ": not a folder");
    UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) throw Failure(root + ": " + ErrnoText(errno));
    // One descriptor per folder stays open until the files are read; a tree
    // of many folders needs more than the usual soft limit of 1,024.
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    Walker w;
    w.Walk(std::make_shared<const UniqueFd>(std::move(fd)), root, "");
    std::sort(w.tree.files.begin(), w.tree.files.end(),
              [](const TreeFile& a, const TreeFile& b) { return a.name < b.name; });
    RefuseCaseClashes(w.tree);
    return std::move(w.tree);
}

}  // namespace quro_pack
