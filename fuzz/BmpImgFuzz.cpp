// Feeds arbitrary bytes to the BMP decoder fitted into 256 pixels as the panel would, then
// at full and an enlarged size, within a budget like the panel's. Refusals with an error
// code are expected; a crash, a sanitizer report or a result that contradicts itself
// (success without a whole picture, failure with one) is a fault.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/ImageFormat.h"
#include "fuzz/DecoderFuzz.h"
#include "fuzz/FuzzInputFile.h"

namespace {

constexpr unsigned kFittedSide = 256;

// Decodes at coefficient (0: fitted into kFittedSide) within the panel-like budget.
void DecodeAt(const std::string& path, double coefficient) {
    TBmpImg decoder;
    decoder.SetMemoryBudget(fuzzing::kMemoryBudget);
    decoder.OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "bmpfuzz");
    if (!file.Ok()) {
        return 0;
    }
    (void)GetImageFormat(file.Path());
    for (const double coefficient : {0.0, 1.0, 2.0}) {
        DecodeAt(file.Path(), coefficient);
    }
    return 0;
}
