// Reading inputs without copying them and writing outputs so that a failed
// run never leaves a half-written file under the requested name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quro_pack {

// The one owner of an open descriptor: it is closed when its owner goes, on
// every path out, and ownership moves but is never shared by copying.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}  // takes a failed open's -1 as well
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            fd_ = other.Release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Hands the descriptor to a new owner (fdopendir) and forgets it.
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes it and ignores what close says: for descriptors only read from,
    // and for output that is thrown away anyway.
    void Reset();
    // Closes it and says whether close succeeded (errno set when not): a
    // written file's last error can show up only here.
    bool Close();

private:
    int fd_ = -1;
};

// A whole file mapped read-only. Setups and packages reach 2 GiB, so they are
// mapped rather than read into a second copy.
class MappedFile {
public:
    explicit MappedFile(const std::string& path);  // throws Failure naming the path
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    void* mapping_ = nullptr;
};

// Writes into a temporary file beside the target and renames it into place
// on Commit; the temporary file goes away when the object dies uncommitted.
// A target that exists and is no regular file (a device, a pipe) is written
// directly.
class OutputFile {
public:
    OutputFile(const std::string& path, bool executable);  // throws Failure
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* data, std::size_t size);  // throws Failure
    void Commit();                                   // throws Failure

private:
    std::string path_;
    std::string temporary_;
    UniqueFd fd_;
};

// SIGINT, SIGTERM and SIGHUP remove the temporary file of the OutputFile
// being written before the process ends as the signal would end it.
void RemoveTemporaryOutputOnSignals();

// While one lives, those signals are held instead: the work asks
// Interrupted() between steps and takes back what it made; when it dies, a
// held signal ends the process as it would have. One at a time.
class HeldSignals {
public:
    HeldSignals();
    ~HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;
    bool Interrupted() const;
};

// Writes all of data, retrying short writes; false with errno set on failure.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size);

std::string ErrnoText(int error);

}  // namespace quro_pack
