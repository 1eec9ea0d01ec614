#include "test_support.h"

#include "package_writer.h"

#include <cstring>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace quro_pack_test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "quro-pack-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) { WriteBytes(path, ToBytes(text)); }

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<std::pair<std::string, Bytes>> ReadTree(const std::string& root)
{
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.emplace_back(fs::relative(e.path(), root).string(), ReadBytes(e.path().string()));
    std::sort(files.begin(), files.end());
    return files;
}

Bytes FileList(const std::vector<std::pair<std::string, std::string>>& files, std::uint32_t count)
{
    std::vector<TestFile> list;
    for (const auto& [name, data] : files) list.push_back({name, ToBytes(data)});
    return ::FileList(list, count);
}

Bytes Resource(const Bytes& unpacked, bool store)
{
    quro_pack::PackOptions o;
    o.compress.store = store;
    return quro_pack::MakeResource(unpacked, o);
}

quro_pack::PackReport PackStored(const std::string& folder, const std::string& output, const std::string& stub,
                                 bool strict)
{
    quro_pack::PackRequest request{folder, output, stub, {}};
    request.options.compress.store = true;
    request.options.strict = strict;
    return quro_pack::Pack(request);
}

Bytes MinimalImage(const Bytes& rsrc, std::uint32_t sizeOfHeaders, std::uint32_t rsrcRaw)
{
    const std::uint32_t rawSize = std::uint32_t((rsrc.size() + 0x1FF) / 0x200 * 0x200);
    Bytes b(rsrcRaw + rawSize, 0);
    // The data first: in a malformed image the headers overlap it.
    std::copy(rsrc.begin(), rsrc.end(), b.begin() + rsrcRaw);
    b[0] = 'M';
    b[1] = 'Z';
    PutLe32(b.data() + 0x3C, 0x40);
    std::memcpy(b.data() + 0x40, "PE\0\0", 4);
    PutLe16(b.data() + 0x44, 0x8664);
    PutLe16(b.data() + 0x46, 1);     // sections
    PutLe16(b.data() + 0x54, 0xF0);  // optional header size
    std::uint8_t* opt = b.data() + 0x58;
    PutLe16(opt, 0x20B);
    PutLe32(opt + 32, 0x1000);  // SectionAlignment
    PutLe32(opt + 36, 0x200);   // FileAlignment
    PutLe32(opt + 56, 0x1000 + (rawSize + 0xFFF) / 0x1000 * 0x1000);
    PutLe32(opt + 60, sizeOfHeaders);
    PutLe32(opt + 108, 16);  // data directories
    PutLe32(opt + 112 + 8 * 2, 0x1000);
    PutLe32(opt + 112 + 8 * 2 + 4, std::uint32_t(rsrc.size()));
    std::uint8_t* section = b.data() + 0x148;
    std::memcpy(section, ".rsrc", 5);
    PutLe32(section + 8, std::uint32_t(rsrc.size()));
    PutLe32(section + 12, 0x1000);
    PutLe32(section + 16, rawSize);
    PutLe32(section + 20, rsrcRaw);
    PutLe32(section + 36, 0x40000040);
    return b;
}

RunResult RunTool(const std::vector<std::string>& arguments)
{
    TempDir dir;
    const std::string out = dir / "out", err = dir / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    RunResult result;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    const Bytes o = ReadBytes(out), e = ReadBytes(err);
    result.out.assign(o.begin(), o.end());
    result.err.assign(e.begin(), e.end());
    return result;
}

}  // namespace quro_pack_test
