// Feeds arbitrary bytes to the WIC decoder, as the panel runs it: the file is sniffed, then
// decoded at a reduced and at full size within a budget like the panel's. Any outcome
// short of a crash, an exit or a sanitizer report is acceptable: hostile files are expected
// to fail with an error code.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Components/ImgPanel/ImageFormat.h"
#include "Components/ImgPanel/WicImg.h"
#include "fuzz/DecoderFuzz.h"
#include "fuzz/FuzzInputFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "wicfuzz");
    if (!file.Ok()) {
        return 0;
    }
    (void)GetImageFormat(file.Path());
    for (const double coefficient : {0.3, 1.0}) {
        TWicImg decoder;
        fuzzing::DecodeAt(decoder, file.Path(), coefficient);
    }
    return 0;
}
