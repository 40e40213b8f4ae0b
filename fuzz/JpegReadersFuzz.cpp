// Feeds arbitrary bytes to the format sniffer and both JPEG readers. Any outcome short of a
// crash or a sanitizer report is acceptable: refusals, error codes and EAbort all count
// as a pass, because hostile files are expected to fail cleanly.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Components/ImgPanel/ImageFormat.h"
#include "Components/ImgPanel/JpegImg.h"
#include "fuzz/DecoderFuzz.h"
#include "fuzz/FuzzInputFile.h"
#include "imaging/EAbort.h"
#include "imaging/JpgImage.h"

namespace {

// The preview loader has no memory budget (the slideshow bounds what it reads): pictures
// above this many pixels go to it only reduced, since a 16-byte header can claim
// 65535 x 65535. The panel's reader decodes every size within its budget.
constexpr long long kFullSizePixelLimit = 16LL * 1024 * 1024;

struct HeaderSize {
    long long width = 0;
    long long height = 0;
    long long Pixels() const { return width * height; }
};

// Decodes with the panel's reader at coefficient, set at the header event as the panel
// does; returns the size the header declared (zeros when it never got that far).
HeaderSize DecodeForPanel(const std::string& path, double coefficient) {
    HeaderSize size;
    TJpegImg decoder;
    decoder.SetMemoryBudget(fuzzing::kMemoryBudget);
    decoder.OnProgress = [&size, coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            size = {sender->Width(), sender->Height()};
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(path);
    return size;
}

// The preview loader reports every failure but an unopenable file as EAbort; anything
// else escaping is a fault and is left to terminate the run.
void DecodeForPreview(const std::string& path, int denominator) {
    TJpgImage image;
    image.OnProgress = [](TJpgImage*, PackedDib, int, int, int) {};
    try {
        image.LoadFromFile(path, denominator);
    } catch (const EAbort&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "jpegfuzz");
    if (!file.Ok()) {
        return 0;
    }
    const std::string& path = file.Path();
    (void)GetImageFormat(path);

    // The reduced decode runs first: it is cheap at any size and tells the declared size.
    const HeaderSize declared = DecodeForPanel(path, 0.1);
    DecodeForPreview(path, 8);
    DecodeForPanel(path, 1.0);
    if (declared.Pixels() <= kFullSizePixelLimit) {
        DecodeForPreview(path, 1);
    }
    return 0;
}
