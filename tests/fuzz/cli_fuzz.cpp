// quro-pack's command line on arguments split from the input (at NUL bytes),
// run in a scratch folder that holds a small application, a package and a
// setup: the exit status is 0, 1 or 2, and nothing outside the scratch
// folder changes. Arguments that name a place outside it (an absolute path,
// "..") are not given, since writing there would be what was asked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

int QuroPackMain(int argc, char** argv);  // main.cpp's main, renamed for this target

namespace {

void Write(const fs::path& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// The scratch folder's parent, with a file beside the scratch folder that
// must stay as it is.
const fs::path& Root()
{
    static const fs::path root = [] {
        std::string t = (fs::temp_directory_path() / "quro-cli-fuzz-XXXXXX").string();
        if (!::mkdtemp(t.data())) std::abort();
        Write(fs::path(t) / "outside", "outside");
        return fs::path(t);
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments{"quro-pack"};
    std::string current;
    for (std::size_t i = 0; i <= size && arguments.size() < 12; ++i) {
        if (i < size && data[i] != 0) {
            current.push_back(char(data[i]));
            continue;
        }
        if ((!current.empty() && current.front() == '/') || current.find("..") != std::string::npos ||
            current.find("/dev") != std::string::npos)
            return 0;
        arguments.push_back(current);
        current.clear();
    }
    const fs::path scratch = Root() / "scratch";
    fs::remove_all(scratch);
    fs::create_directories(scratch / "app/lib");
    Write(scratch / "app/DraloHost.exe", "MZ");
    Write(scratch / "app/lib/x.dll", "library");
    // Back where libFuzzer was afterwards: it reads its corpus by relative paths.
    static const int home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (::chdir(scratch.c_str()) != 0) std::abort();
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The tool's lines go nowhere while it runs (the oracle is the status and
    // the tree); libFuzzer's own come back after.
    std::fflush(stdout);
    std::fflush(stderr);
    static const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int out = ::dup(1), err = ::dup(2);
    ::dup2(null, 1);
    ::dup2(null, 2);
    const int status = QuroPackMain(int(arguments.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::close(out);
    ::close(err);
    if (::fchdir(home) != 0) std::abort();
    if (status < 0 || status > 2) std::abort();
    std::size_t beside = 0;
    for (auto it = fs::directory_iterator(Root()); it != fs::directory_iterator(); ++it) ++beside;
    if (beside != 2 || fs::file_size(Root() / "outside") != 7) std::abort();
    return 0;
}
