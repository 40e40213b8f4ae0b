// Feeds arbitrary bytes to the WIC decoder, as the panel runs it: the file is sniffed, then
// decoded at a reduced and at full size. Any outcome short of a crash, an exit or a
// sanitizer report is acceptable: hostile files are expected to fail with an error code.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Components/ImgPanel/ImageFormat.h"
#include "Components/ImgPanel/WicImg.h"

namespace {

// Larger matrices are still parsed, but not decoded: a 24-byte header can ask for 2^25
// coefficients per plane and 30 bit planes, which takes long whatever the data says.
constexpr long long kDecodeCoefficientLimit = 1LL << 16;

// The decoder takes a path, so each input lives in a private file removed on every exit.
class ScratchFile {
  public:
    ScratchFile(const uint8_t* data, std::size_t size) {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/wicfuzz-XXXXXX";
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

void DecodeAt(const std::string& path, double coefficient) {
    TWicImg decoder;
    decoder.OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    WicHeader header;
    if (ParseWicHeader(data, size, header) &&
        static_cast<long long>(header.matrix.width) * header.matrix.height >
            kDecodeCoefficientLimit) {
        return 0;
    }
    const ScratchFile file(data, size);
    if (!file.Ok()) {
        return 0;
    }
    (void)GetImageFormat(file.Path());
    DecodeAt(file.Path(), 0.3);
    DecodeAt(file.Path(), 1.0);
    return 0;
}
