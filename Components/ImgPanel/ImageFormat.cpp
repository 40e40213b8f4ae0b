#include "Components/ImgPanel/ImageFormat.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kSignatureBytes = 4;

// Closes the descriptor when the scope ends.
class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

  private:
    int fd_;
};

// Reads what is there of the first bytes; a failing read leaves the rest zero, as a
// short file does.
void ReadSignature(int fd, uint8_t* out) {
    std::size_t got = 0;
    while (got < kSignatureBytes) {
        const ssize_t n = ::read(fd, out + got, kSignatureBytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        got += static_cast<std::size_t>(n);
    }
}

}  // namespace

TImgFormat ImageFormatOfBytes(const uint8_t* bytes, std::size_t count) {
    uint8_t b[kSignatureBytes] = {0, 0, 0, 0};
    if (bytes != nullptr) {
        std::memcpy(b, bytes, count < kSignatureBytes ? count : kSignatureBytes);
    }
    // The order matters: the first match decides.
    if (b[0] == 0xFF && b[1] == 0xD8) {
        return ifJpeg;
    }
    if (b[0] == 'B' && b[1] == 'M') {
        return ifBmp;
    }
    if (std::memcmp(b, "GIF8", 4) == 0) {
        return ifGif;
    }
    if (b[1] == 'P' && b[2] == 'N' && b[3] == 'G') {
        return ifPng;
    }
    // An icon or cursor directory: reserved 0, type 1 or 2. Two zero bytes alone are not
    // enough (a JPEG 2000 file starts with a box length of 00 00 00 0C).
    if (b[0] == 0 && b[1] == 0 && (b[2] == 1 || b[2] == 2) && b[3] == 0) {
        return ifIco;
    }
    if (b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51) {
        return ifJpeg2000;
    }
    if (b[0] == 0xCE && b[1] == 0x02 && b[2] == 0 && b[3] == 0) {
        return ifWic;
    }
    if ((b[0] == 'M' && b[1] == 'M') || (b[0] == 'I' && b[1] == 'I')) {
        return ifTiff;
    }
    return ifUnsupported;
}

TImgFormat GetImageFormat(const std::string& name) {
    // Non-blocking, so that naming a pipe cannot hang the caller; only regular files are
    // pictures (a directory or a device is never opened as one).
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return ifUnsupported;
    }
    FdCloser closer(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return ifUnsupported;
    }
    uint8_t bytes[kSignatureBytes] = {0, 0, 0, 0};
    ReadSignature(fd, bytes);
    return ImageFormatOfBytes(bytes, kSignatureBytes);
}

bool ReadFileExact(int fd, void* buffer, std::size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, out + got, count - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool SeekFile(int fd, off_t offset, int whence) {
    return ::lseek(fd, offset, whence) != -1;
}
