#include "file_io.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common.h"

namespace quro_pack {

std::string ErrnoText(int error) { return std::strerror(error); }

namespace {

// The temporary output being written, for the signal handler: a fixed
// buffer, since a handler may only unlink what is already there. One output
// is written at a time.
char g_temporary[4096];
volatile std::sig_atomic_t g_temporarySet = 0;
volatile std::sig_atomic_t g_holdSignals = 0;
volatile std::sig_atomic_t g_heldSignal = 0;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void SetTemporary(const std::string& path)
{
    g_temporarySet = 0;
    if (path.size() >= sizeof g_temporary) return;
    std::memcpy(g_temporary, path.c_str(), path.size() + 1);
    g_temporarySet = 1;
}

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (g_holdSignals) {
        g_heldSignal = signal;
        return;
    }
    if (g_temporarySet) ::unlink(g_temporary);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void RemoveTemporaryOutputOnSignals()
{
    for (const int s : kEndingSignals) std::signal(s, RemoveTemporaryAndDie);
}

HeldSignals::HeldSignals()
{
    g_heldSignal = 0;
    g_holdSignals = 1;
}

HeldSignals::~HeldSignals()
{
    g_holdSignals = 0;
    if (const int s = g_heldSignal) {
        std::signal(s, SIG_DFL);
        std::raise(s);
    }
}

bool HeldSignals::Interrupted() const { return g_heldSignal != 0; }

void UniqueFd::Reset()
{
    if (fd_ >= 0) ::close(Release());
}

bool UniqueFd::Close()
{
    // Linux frees the descriptor even when close fails: it is never closed twice.
    return ::close(Release()) == 0;
}

MappedFile::MappedFile(const std::string& path)
{
    // The mapping outlives the descriptor; the descriptor goes on every way out.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) throw Failure(path + ": " + ErrnoText(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw Failure(path + ": " + ErrnoText(errno));
    if (!S_ISREG(st.st_mode)) throw Failure(path + ": not a regular file");
    size_ = std::size_t(st.st_size);
    if (size_ > 0) {
        void* m = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (m == MAP_FAILED) throw Failure(path + ": " + ErrnoText(errno));
        mapping_ = m;
        data_ = static_cast<const std::uint8_t*>(m);
    }
}

MappedFile::~MappedFile()
{
    if (mapping_) ::munmap(mapping_, size_);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        // Linux moves at most about 2 GiB per write call, and a signal is
        // handled only between calls: 64 MiB at a time lets an interrupt
        // remove the output promptly.
        const std::size_t step = size < (std::size_t(64) << 20) ? size : (std::size_t(64) << 20);
        const ssize_t n = ::write(fd, data, step);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

OutputFile::OutputFile(const std::string& path, bool executable) : path_(path)
{
    // A device or a pipe (/dev/stdout) is written as it is; renaming over it
    // would replace it. What is opened is judged, not what a stat saw before:
    // a regular file swapped in between is never truncated, it is replaced
    // by the rename like any other.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
        if (!fd && errno != ENOENT) throw Failure(path + ": " + ErrnoText(errno));
        if (fd && ::fstat(fd.get(), &st) == 0 && !S_ISREG(st.st_mode)) {
            // A device ignores a truncation; a pipe cannot take one.
            if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) ::ftruncate(fd.get(), 0);
            fd_ = std::move(fd);
            return;
        }
    }
    temporary_ = path + ".tmp-XXXXXX";
    fd_ = UniqueFd(::mkstemp(temporary_.data()));
    if (!fd_) throw Failure(path + ": " + ErrnoText(errno));
    SetTemporary(temporary_);
    // mkstemp makes the file 0600; give it what a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_.get(), (executable ? 0777 : 0666) & ~mask);
}

OutputFile::~OutputFile()
{
    g_temporarySet = 0;
    if (fd_) {
        fd_.Reset();
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
    }
}

void OutputFile::Write(const void* data, std::size_t size)
{
    if (!WriteAll(fd_.get(), static_cast<const std::uint8_t*>(data), size))
        throw Failure(path_ + ": " + ErrnoText(errno));
}

void OutputFile::Commit()
{
    if (!fd_.Close()) {
        const int e = errno;
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        throw Failure(path_ + ": " + ErrnoText(e));
    }
    if (temporary_.empty()) return;
    // Once renamed, the temporary name is the output's: a signal in between
    // must not remove it, so none is taken until the rename is done.
    sigset_t ending, before;
    sigemptyset(&ending);
    for (const int s : kEndingSignals) sigaddset(&ending, s);
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    g_temporarySet = 0;
    const bool renamed = ::rename(temporary_.c_str(), path_.c_str()) == 0;
    const int e = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!renamed) {
        ::unlink(temporary_.c_str());
        throw Failure(path_ + ": " + ErrnoText(e));
    }
}

}  // namespace quro_pack
