#include "tree_walk.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <string_view>
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
    std::u32string s = Utf8ToCodePoints(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
    for (char32_t& c : s) c = UpperCase(c);
    return s;
}

std::int64_t ChangeTime(const struct stat& st)
{
    return std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}

// The names in a folder, sorted by their bytes.
std::vector<std::string> ListFolder(DIR* d, const std::string& dir)
{
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
        errno = 0;
    }
    if (errno != 0) throw Failure(dir + ": " + ErrnoText(errno));
    std::sort(names.begin(), names.end());
    return names;
}

// A folder's listing, which owns its descriptor (closedir closes it); the
// walk below the folder goes through that same descriptor.
std::unique_ptr<DIR, DirCloser> OpenListing(UniqueFd fd, const std::string& dir)
{
    DIR* d = ::fdopendir(fd.get());
    if (!d) throw Failure(dir + ": " + ErrnoText(errno));
    fd.Release();
    return std::unique_ptr<DIR, DirCloser>(d);
}

struct Walker {
    std::string root;
    const std::vector<std::string>* exclude = nullptr;
    Tree tree;
    // Everything that cannot go into a package as it is, one line each:
    // the maker learns of all of them in one run, not one a run.
    std::vector<std::string> problems;
    std::shared_ptr<WalkedFolders> walked = std::make_shared<WalkedFolders>();

    // One folder on the way down: its names, and how far they are walked.
    struct Level {
        std::unique_ptr<DIR, DirCloser> listing;
        std::size_t dirLength = 0, relativeLength = 0;  // of the level above, to cut back to
        std::size_t folder = 0;                         // in walked->folders
        std::vector<std::string> names;
        std::size_t next = 0;
        std::size_t found = 0;  // files below it so far
        std::size_t emptyBefore = 0;
    };
    std::vector<Level> levels;

    // The deepest level's host path and relative name, grown by a folder on
    // the way down and cut back on the way up: a deep tree's paths kept per
    // level would grow with the square of its depth.
    std::string dir, relativeDir;

    std::string Path(const std::string& n, bool relative) const
    {
        if (relative) return relativeDir.empty() ? n : relativeDir + "/" + n;
        return n.empty() ? dir : dir + "/" + n;
    }

    void Walk(UniqueFd rootFd)
    {
        walked->folders.push_back(WalkedFolder{});
        walked->root = UniqueFd(::dup(rootFd.get()));
        if (!walked->root) throw Failure(root + ": " + ErrnoText(errno));
        Level top;
        top.listing = OpenListing(std::move(rootFd), root);
        top.names = ListFolder(top.listing.get(), root);
        levels.push_back(std::move(top));
        while (!levels.empty()) {
            Level& level = levels.back();
            if (level.next == level.names.size()) {
                if (level.found == 0 && levels.size() > 1) {
                    tree.emptyFolders.resize(level.emptyBefore);  // report the topmost empty folder only
                    tree.emptyFolders.push_back(Path({}, false));
                }
                const std::size_t found = level.found;
                dir.resize(level.dirLength);
                relativeDir.resize(level.relativeLength);
                levels.pop_back();
                if (!levels.empty()) levels.back().found += found;
                continue;
            }
            const std::string& n = level.names[level.next++];
            if (Excluded(Path(n, true))) {
                ++tree.excluded;
                continue;
            }
            const int fd = ::dirfd(level.listing.get());
            struct stat st {};
            if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                Problem(n, "cannot be read: " + ErrnoText(errno));
                continue;
            }
            if (S_ISLNK(st.st_mode)) {
                Problem(n, "is a symbolic link; a package carries plain files only");
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                UniqueFd child(::openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!child && errno == EMFILE)
                    throw Failure(Path(n, false) + ": folders nested " + std::to_string(levels.size()) +
                                  " deep, more than the open files allowed (ulimit -n)");
                if (!child) {
                    // Gone or replaced by a link since it was listed is a
                    // change; no permission is the system's reason.
                    const int e = errno;
                    Problem(n, e == ENOENT || e == ELOOP || e == ENOTDIR
                                   ? "changed while it was packed (" + ErrnoText(e) + ")"
                                   : "cannot be read: " + ErrnoText(e));
                    continue;
                }
                struct stat opened {};
                if (::fstat(child.get(), &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
                    Problem(n, "changed while it was packed");
                    continue;
                }
                Level below;
                below.folder = walked->folders.size();
                walked->folders.push_back(
                    WalkedFolder{level.folder, n, std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)});
                below.emptyBefore = tree.emptyFolders.size();
                below.dirLength = dir.size();
                below.relativeLength = relativeDir.size();
                (relativeDir.empty() ? relativeDir : relativeDir += '/') += n;
                (dir += '/') += n;
                below.listing = OpenListing(std::move(child), dir);
                below.names = ListFolder(below.listing.get(), dir);
                levels.push_back(std::move(below));  // level is no longer valid
            } else if (S_ISREG(st.st_mode)) {
                // Opened once now, so that an unreadable file is named with
                // the others rather than minutes later.
                const UniqueFd readable(::openat(fd, n.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
                if (!readable) {
                    Problem(n, "cannot be read: " + ErrnoText(errno));
                    continue;
                }
                if (!Add(Path(n, false), Path(n, true), std::uint64_t(st.st_size))) continue;
                TreeFile& added = tree.files.back();
                added.walked = walked;
                added.folder = level.folder;
                added.leaf = n;
                added.device = std::uint64_t(st.st_dev);
                added.inode = std::uint64_t(st.st_ino);
                added.changed = ChangeTime(st);
                ++level.found;
            } else {
                Problem(n, "is a special file; a package carries plain files only");
            }
        }
    }

    bool Excluded(const std::string& relative) const
    {
        for (const std::string& pattern : *exclude)
            if (::fnmatch(pattern.c_str(), relative.c_str(), 0) == 0) return true;
        return false;
    }

    void Problem(const std::string& n, const std::string& why) { problems.push_back(Path(n, false) + ": " + why); }

    bool Add(const std::string& path, const std::string& relative, std::uint64_t size)
    {
        std::string name = relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(relative.data());
        std::string why;
        // The setup program's own rule decides first, so that pack refuses
        // exactly the names that /verify, inspect and unpack refuse.
        const std::string problem = WindowsNameProblem(relative);
        const std::u16string wide = Utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
        if (!IsValidUtf8(bytes, relative.size()))
            why = "the name is not valid UTF-8";
        else if (!file_list::IsAcceptableName(wide.data(), wide.size()))
            why = (problem.empty() ? "the name holds \"..\" or \":\"" : problem) + "; the setup program refuses it (" +
                  Narrow(file_list::kDamagedName) + ")";
        else if (!problem.empty())
            why = problem;
        else if (name.size() > file_list::kMaxNameBytes)
            why = "the name is longer than 65,535 bytes";
        if (!why.empty()) {
            problems.push_back(path + ": " + why);
            return false;
        }
        tree.files.push_back(TreeFile{name, path, size, nullptr, 0, {}, 0, 0, 0});
        return true;
    }
};

void FindCaseClashes(const Tree& tree, std::vector<std::string>& problems)
{
    // Each name once, folded; the files in order of their folded names, and
    // of the walk among equals. Every folder of a deep name is not kept
    // apart: the names under a folder follow its name and a backslash.
    std::vector<std::pair<std::u32string, std::size_t>> folded;
    folded.reserve(tree.files.size());
    for (std::size_t i = 0; i < tree.files.size(); ++i) folded.emplace_back(CaseFolded(tree.files[i].name), i);
    std::sort(folded.begin(), folded.end());
    // Each file whose name an earlier one (in the walk's order) took.
    for (std::size_t i = 1, first = 0; i < folded.size(); ++i) {
        if (folded[i].first != folded[first].first) {
            first = i;
            continue;
        }
        problems.push_back(tree.files[folded[i].second].path + ": differs from " +
                           tree.files[folded[first].second].path +
                           " only in case, and Windows would write both to one file");
    }
    for (const TreeFile& f : tree.files) {
        const std::u32string folder = CaseFolded(f.name) + U'\\';
        const auto below = std::lower_bound(folded.begin(), folded.end(), std::make_pair(folder, std::size_t(0)));
        if (below != folded.end() && below->first.compare(0, folder.size(), folder) == 0)
            problems.push_back(f.path + ": Windows sees a folder of the same name (differing only in case) beside it");
    }
}

}  // namespace

namespace {

// Gone, or replaced by a link, since the walk is a change; anything else (no
// permission, an I/O error) is the system's reason.
[[noreturn]] void RefuseOpen(const TreeFile& file, int error)
{
    if (error == ENOENT || error == ELOOP || error == ENXIO || error == ENOTDIR)
        throw Failure(file.path + ": changed while it was packed (" + ErrnoText(error) + ")");
    throw Failure(file.path + ": cannot be read: " + ErrnoText(error));
}

}  // namespace

UniqueFd OpenWalkedFile(const TreeFile& file)
{
    const WalkedFolders& walked = *file.walked;
    std::vector<const WalkedFolder*> chain;
    for (std::size_t i = file.folder; i != 0; i = walked.folders[i].parent) chain.push_back(&walked.folders[i]);
    UniqueFd folder;
    int at = walked.root.get();
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        UniqueFd next(::openat(at, (*it)->leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) RefuseOpen(file, errno);
        struct stat st {};
        if (::fstat(next.get(), &st) != 0 || std::uint64_t(st.st_dev) != (*it)->device ||
            std::uint64_t(st.st_ino) != (*it)->inode)
            throw Failure(file.path + ": changed while it was packed");
        folder = std::move(next);
        at = folder.get();
    }
    UniqueFd fd(::openat(at, file.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) RefuseOpen(file, errno);
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

Tree WalkTree(const std::string& rootArgument, const std::vector<std::string>& exclude)
{
    std::string root = rootArgument;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0) throw Failure(root + ": " + ErrnoText(errno));
    if (!S_ISDIR(st.st_mode)) throw Failure(root + ": not a folder");
    UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) throw Failure(root + ": " + ErrnoText(errno));
    // One descriptor per level stays open while the walk is below it.
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    Walker w;
    w.root = root;
    w.exclude = &exclude;
    w.dir = root;
    w.Walk(std::move(fd));
    std::sort(w.tree.files.begin(), w.tree.files.end(),
              [](const TreeFile& a, const TreeFile& b) { return a.name < b.name; });
    FindCaseClashes(w.tree, w.problems);
    // One problem is the failure's own line; several are listed first, as a
    // compiler lists its errors, and the run fails once.
    if (w.problems.size() == 1) throw Failure(w.problems[0]);
    if (!w.problems.empty()) {
        const std::string count = std::to_string(w.problems.size());
        throw Failure(count + " files or folders cannot go into a package as they are; nothing was written",
                      std::move(w.problems));
    }
    return std::move(w.tree);
}

}  // namespace quro_pack
