#include "platform/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

namespace {

// Closes without retrying on EINTR: on Linux the descriptor is released even then, and a
// retry could close a descriptor that another thread has just been given.
int CloseDescriptor(int fd) {
    if (fd < 0) {
        return 0;
    }
    if (::close(fd) != 0 && errno != EINTR) {
        return errno;
    }
    return 0;
}

}  // namespace

PosixFile::~PosixFile() {
    CloseDescriptor(fd_);
}

PosixFile::PosixFile(PosixFile&& other) noexcept : fd_(other.Release()) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        CloseDescriptor(fd_);
        fd_ = other.Release();
    }
    return *this;
}

int PosixFile::Open(const std::string& path, int flags, mode_t mode) {
    Close();
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return errno;
    }
    fd_ = fd;
    return 0;
}

int PosixFile::Close() {
    return CloseDescriptor(std::exchange(fd_, -1));
}

int PosixFile::Release() noexcept {
    return std::exchange(fd_, -1);
}

int PosixFile::ReadSome(void* buffer, size_t size, size_t& bytesRead) {
    bytesRead = 0;
    ssize_t n;
    do {
        n = ::read(fd_, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return errno;
    }
    bytesRead = static_cast<size_t>(n);
    return 0;
}

int PosixFile::ReadExact(void* buffer, size_t size, size_t* bytesRead) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    int error = 0;
    while (done < size) {
        size_t got = 0;
        error = ReadSome(out + done, size - done, got);
        if (error != 0) {
            break;
        }
        if (got == 0) {
            error = kEndOfFile;
            break;
        }
        done += got;
    }
    if (bytesRead != nullptr) {
        *bytesRead = done;
    }
    return error;
}

int PosixFile::WriteAll(const void* buffer, size_t size) {
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, in + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

int PosixFile::Seek(off_t offset, int whence, off_t* position) {
    off_t result = ::lseek(fd_, offset, whence);
    if (result < 0) {
        return errno;
    }
    if (position != nullptr) {
        *position = result;
    }
    return 0;
}

int PosixFile::Size(off_t& size) const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        return errno;
    }
    size = info.st_size;
    return 0;
}

int PosixFile::Sync() {
    int result;
    do {
        result = ::fsync(fd_);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

int SyncFolder(const std::string& folder) {
    PosixFile handle;
    int error = handle.Open(folder, O_RDONLY | O_DIRECTORY);
    if (error == 0) {
        error = handle.Sync();
    }
    return error == EINVAL ? 0 : error;
}

FileContents ReadWholeFile(const std::string& path, size_t maxBytes) {
    FileContents contents;
    PosixFile file;
    contents.error = file.Open(path, O_RDONLY);
    if (contents.error != 0) {
        return contents;
    }
    // Read until end of file rather than trusting st_size: files under /proc and /sys
    // report a size of 0 or of a page whatever they hold.
    char chunk[16384];
    for (;;) {
        size_t got = 0;
        contents.error = file.ReadSome(chunk, sizeof chunk, got);
        if (contents.error != 0 || got == 0) {
            break;
        }
        if (contents.bytes.size() + got > maxBytes) {
            contents.error = EFBIG;
            break;
        }
        contents.bytes.append(chunk, got);
    }
    if (contents.error != 0) {
        contents.bytes.clear();
    }
    return contents;
}

}  // namespace platform
