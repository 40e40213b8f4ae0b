#pragma once
// A file descriptor that closes itself. Every descriptor is opened with O_CLOEXEC so that
// nothing the program starts inherits it, and every call is repeated when a signal
// interrupts it (EINTR), so callers never see a partial transfer they did not ask for.
// Functions return 0 or an errno value; nothing throws.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform {

// ReadExact's answer when the file ends before the requested bytes arrived. Negative so
// that it can never be mistaken for an errno value.
inline constexpr int kEndOfFile = -1;

class PosixFile {
  public:
    PosixFile() = default;
    explicit PosixFile(int fd) noexcept : fd_(fd) {}
    ~PosixFile();
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    // Opens path (closing what was open before); O_CLOEXEC is always added.
    int Open(const std::string& path, int flags, mode_t mode = 0666);
    // Closes and reports close()'s error: a network file system may report a failed
    // write only here. Closing a closed file gives 0.
    int Close();

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // Gives up ownership without closing.
    int Release() noexcept;

    // Reads exactly size bytes; kEndOfFile when the file ends first (bytesRead tells how
    // many did arrive when the caller passes it).
    int ReadExact(void* buffer, size_t size, size_t* bytesRead = nullptr);
    // Reads at most size bytes in one call; 0 bytes read means end of file.
    int ReadSome(void* buffer, size_t size, size_t& bytesRead);
    // Writes all of size bytes, however many calls it takes.
    int WriteAll(const void* buffer, size_t size);
    // lseek; the new position goes to position when given.
    int Seek(off_t offset, int whence, off_t* position = nullptr);
    int Size(off_t& size) const;
    int Sync();

  private:
    int fd_ = -1;
};

struct FileContents {
    int error = 0;  // errno, or EFBIG when the file is larger than the limit
    std::string bytes;
};

// Syncs a folder's entries (names made, renamed or removed in it) to the disk. A file
// system that cannot sync a folder (EINVAL) counts as done. Returns 0 or errno.
int SyncFolder(const std::string& folder);

// The whole content of a file up to maxBytes; a larger file is refused rather than cut.
FileContents ReadWholeFile(const std::string& path, size_t maxBytes = size_t{16} << 20);

}  // namespace platform
