// Feeds arbitrary bytes to the BMP decoder at a reduced, the full and an enlarged size.
// Refusals with an error code are expected; a crash, a sanitizer report or a result that
// contradicts itself (success without a whole picture, failure with one) is a fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/ImageFormat.h"
#include "fuzz/FuzzInputFile.h"

namespace {

void DecodeAt(const std::string& path, double coefficient) {
    TBmpImg decoder;
    decoder.OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(path);
    const bool succeeded = decoder.ErrorCode() == 0;
    const bool whole = decoder.Picture() != nullptr && DibRowsInBlock(decoder.Picture());
    if (succeeded != whole) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "bmpfuzz");
    if (!file.Ok()) {
        return 0;
    }
    (void)GetImageFormat(file.Path());
    for (const double coefficient : {0.3, 1.0, 2.0}) {
        DecodeAt(file.Path(), coefficient);
    }
    return 0;
}
