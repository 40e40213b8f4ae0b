#pragma once
// The decoders take paths, so each fuzz input is written to a private file in $TMPDIR
// (else /tmp) that is removed on every exit.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

class FuzzInputFile {
  public:
    FuzzInputFile(const uint8_t* data, std::size_t size, const char* prefix) {
        const char* dir = std::getenv("TMPDIR");
        path_ =
            std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/" + prefix + "-XXXXXX";
        const int fd = mkstemp(path_.data());
        if (fd < 0) {
            path_.clear();
            return;
        }
        std::size_t written = 0;
        while (written < size) {
            const ssize_t n = write(fd, data + written, size - written);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        close(fd);
        ok_ = written == size;
    }
    ~FuzzInputFile() {
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    bool ok_ = false;
};
