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
#include <sys/stat.h>

#include "../../package/file_list_rules.h"
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
    // Win32 maps these names, with any extension, to devices in every folder.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
           base[3] <= '9';
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

struct Walker {
    Tree tree;

    // Returns the number of files found below dir.
    std::size_t Walk(const std::string& dir, const std::string& relative)
    {
        std::unique_ptr<DIR, DirCloser> d(::opendir(dir.c_str()));
        if (!d) throw Failure(dir + ": " + ErrnoText(errno));
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* e = ::readdir(d.get())) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
            errno = 0;
        }
        if (errno != 0) throw Failure(dir + ": " + ErrnoText(errno));
        d.reset();
        std::sort(names.begin(), names.end());

        const std::size_t warningsBefore = tree.emptyFolders.size();
        std::size_t found = 0;
        for (const std::string& n : names) {
            const std::string path = dir + "/" + n;
            const std::string rel = relative.empty() ? n : relative + "/" + n;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) throw Failure(path + ": " + ErrnoText(errno));
            if (S_ISLNK(st.st_mode)) throw Failure(path + ": is a symbolic link; a package carries plain files only");
            if (S_ISDIR(st.st_mode)) {
                found += Walk(path, rel);
            } else if (S_ISREG(st.st_mode)) {
                Add(path, rel, std::uint64_t(st.st_size));
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
        const std::string problem = WindowsNameProblem(relative);
        if (!problem.empty()) throw Failure(path + ": " + problem);
        if (!file_list::IsAcceptableName(name.data(), name.size()))
            throw Failure(path + ": the setup program refuses this name (\"..\" or \":\")");
        tree.files.push_back(TreeFile{name, path, size});
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
        if (IsReservedDeviceName(component)) return "the name is a Windows device name (CON, NUL, COM1, ...)";
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
    Walker w;
    w.Walk(root, "");
    std::sort(w.tree.files.begin(), w.tree.files.end(),
              [](const TreeFile& a, const TreeFile& b) { return a.name < b.name; });
    RefuseCaseClashes(w.tree);
    return std::move(w.tree);
}

}  // namespace quro_pack
