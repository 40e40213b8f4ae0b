#include "Components/ImgPanel/DecoderFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Components/ImgPanel/ImageFormat.h"
#include "Components/ImgPanel/ImgErrors.h"

DecoderFile::DecoderFile(const std::string& name) {
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        throw TImgDecodeError{ImgError::OpenFailed};
    }
    size_ = static_cast<uint64_t>(info.st_size);
}

DecoderFile::~DecoderFile() {
    ::close(fd_);
}

void DecoderFile::ReadExact(void* buffer, std::size_t count) {
    if (!ReadFileExact(fd_, buffer, count)) {
        throw TImgDecodeError{ImgError::ReadFault};
    }
}

void DecoderFile::SeekTo(uint64_t offset) {
    if (offset > size_ || !SeekFile(fd_, static_cast<off_t>(offset), SEEK_SET)) {
        throw TImgDecodeError{ImgError::ReadFault};
    }
}
