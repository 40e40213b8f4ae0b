#pragma once
// What the image decoders' fuzz harnesses share: the input written to a private file (the
// decoders take paths) and a decode the way the panel runs it. Any outcome short of a
// crash or a sanitizer report passes: hostile files are expected to fail with a code.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Components/ImgPanel/ImgCtrl.h"

namespace fuzzing {

// Pictures above this many pixels are decoded only reduced: a few header bytes can claim
// a huge picture, and allocating it at full size says nothing about the parser.
inline constexpr long long kFullSizePixelLimit = 16LL * 1024 * 1024;

// The input in a mkstemp file, removed on every exit.
class ScratchFile {
  public:
    ScratchFile(const uint8_t* data, std::size_t size) {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/imgfuzz-XXXXXX";
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
    ~ScratchFile() {
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    bool ok_ = false;
};

// Decodes path with a new Decoder at coefficient, set at the header event as the panel
// does; returns the number of pixels the header declared (0 when it never got that far).
template <class Decoder>
long long DecodeAt(const std::string& path, double coefficient) {
    long long pixels = 0;
    Decoder decoder;
    decoder.SetDisplayScanlines(7);
    decoder.OnProgress = [&pixels, coefficient](TImgCtrl* sender, PackedDib, int, int,
                                                TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            pixels = static_cast<long long>(sender->Width()) * sender->Height();
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(path);
    return pixels;
}

// The reduced decode first (cheap at any size), then full size when the picture is small.
template <class Decoder>
int FuzzDecoder(const uint8_t* data, std::size_t size) {
    const ScratchFile file(data, size);
    if (!file.Ok()) {
        return 0;
    }
    if (DecodeAt<Decoder>(file.Path(), 0.1) <= kFullSizePixelLimit) {
        DecodeAt<Decoder>(file.Path(), 1.0);
    }
    return 0;
}

}  // namespace fuzzing
