// Feeds arbitrary bytes to the icon decoder. Refusals with an error code are expected; a
// crash, a sanitizer report or a result that contradicts itself (success without a whole
// picture of the directory's size, failure with a picture) is a fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Components/ImgPanel/IcoImg.h"
#include "Components/ImgPanel/ImageFormat.h"
#include "fuzz/DecoderFuzz.h"
#include "fuzz/FuzzInputFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "icofuzz");
    if (!file.Ok()) {
        return 0;
    }
    (void)GetImageFormat(file.Path());
    TIcoImg decoder;
    decoder.SetMemoryBudget(fuzzing::kMemoryBudget);
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(file.Path());
    const PackedDib picture = decoder.Picture();
    const bool succeeded = decoder.ErrorCode() == 0;
    const bool whole = picture != nullptr && DibRowsInBlock(picture) &&
                       DibWidth(picture) == decoder.Width() &&
                       DibHeight(picture) == decoder.Height();
    if (succeeded != whole) {
        std::abort();
    }
    return 0;
}
