#include "file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common.h"

namespace quro_pack {

std::string ErrnoText(int error) { return std::strerror(error); }

MappedFile::MappedFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Failure(path + ": " + ErrnoText(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        throw Failure(path + ": " + ErrnoText(e));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Failure(path + ": not a regular file");
    }
    size_ = std::size_t(st.st_size);
    if (size_ > 0) {
        void* m = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (m == MAP_FAILED) {
            const int e = errno;
            ::close(fd);
            throw Failure(path + ": " + ErrnoText(e));
        }
        mapping_ = m;
        data_ = static_cast<const std::uint8_t*>(m);
    }
    ::close(fd);
}

MappedFile::~MappedFile()
{
    if (mapping_) ::munmap(mapping_, size_);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        // Linux moves at most about 2 GiB per write call.
        const std::size_t step = size < (std::size_t(1) << 30) ? size : (std::size_t(1) << 30);
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
    // would replace it.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0) throw Failure(path + ": " + ErrnoText(errno));
        return;
    }
    temporary_ = path + ".tmp-XXXXXX";
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) throw Failure(path + ": " + ErrnoText(errno));
    // mkstemp makes the file 0600; give it what a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, (executable ? 0777 : 0666) & ~mask);
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
    }
}

void OutputFile::Write(const void* data, std::size_t size)
{
    if (!WriteAll(fd_, static_cast<const std::uint8_t*>(data), size)) throw Failure(path_ + ": " + ErrnoText(errno));
}

void OutputFile::Commit()
{
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int e = errno;
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        throw Failure(path_ + ": " + ErrnoText(e));
    }
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary_.c_str());
        throw Failure(path_ + ": " + ErrnoText(e));
    }
}

}  // namespace quro_pack
