// Feeds arbitrary bytes to the WIC decoder, as the panel runs it: the file is sniffed, then
// decoded at a reduced and at full size. Any outcome short of a crash, an exit or a
// sanitizer report is acceptable: hostile files are expected to fail with an error code.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Components/ImgPanel/ImageFormat.h"
#include "Components/ImgPanel/WicImg.h"
#include "fuzz/FuzzInputFile.h"

namespace {

// Larger matrices are still parsed, but not decoded: a 24-byte header can ask for 2^25
// coefficients per plane and 30 bit planes, which takes long whatever the data says.
constexpr long long kDecodeCoefficientLimit = 1LL << 16;

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
    const FuzzInputFile file(data, size, "wicfuzz");
    if (!file.Ok()) {
        return 0;
    }
    (void)GetImageFormat(file.Path());
    DecodeAt(file.Path(), 0.3);
    DecodeAt(file.Path(), 1.0);
    return 0;
}
