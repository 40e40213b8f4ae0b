// Feeds arbitrary bytes to the BMP decoder fitted into 256 pixels as the panel would, then
// at full and an enlarged size. Refusals with an error code are expected; a crash, a
// sanitizer report or a result that contradicts itself (success without a whole picture,
// failure with one) is a fault.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/ImageFormat.h"
#include "fuzz/FuzzInputFile.h"

namespace {

// Run-length files may declare 65535 x 65535 in a few bytes, and the filter's work grows
// with the source's pixels: such pictures are stopped after their header (the rows of a
// large picture run the same code as a small one's), and only small ones (every
// uncompressed picture that fits in an input of a few KB) are decoded at full and
// enlarged size.
constexpr long long kDecodedPixelLimit = 1024LL * 1024;
constexpr long long kFullSizePixelLimit = 64LL * 1024;
constexpr unsigned kFittedSide = 256;

// Decodes at coefficient (0: fitted into kFittedSide); returns the declared pixel count.
long long DecodeAt(const std::string& path, double coefficient) {
    long long declared = 0;
    TBmpImg decoder;
    decoder.OnProgress = [&declared, coefficient](TImgCtrl* sender, PackedDib, int, int,
                                                  TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            declared = 1LL * sender->Width() * sender->Height();
            if (declared > kDecodedPixelLimit) {
                sender->AbortLoading();
            }
            sender->SetDisplayCoeff(
                coefficient > 0
                    ? coefficient
                    : std::min(1.0, CalcDisplayCoeff(kFittedSide, kFittedSide, sender->Width(),
                                                     sender->Height())));
        }
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(path);
    const bool succeeded = decoder.ErrorCode() == 0;
    const bool whole = decoder.Picture() != nullptr && DibRowsInBlock(decoder.Picture());
    if (succeeded != whole) {
        std::abort();
    }
    return declared;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "bmpfuzz");
    if (!file.Ok()) {
        return 0;
    }
    (void)GetImageFormat(file.Path());
    if (DecodeAt(file.Path(), 0) <= kFullSizePixelLimit) {
        DecodeAt(file.Path(), 1.0);
        DecodeAt(file.Path(), 2.0);
    }
    return 0;
}
