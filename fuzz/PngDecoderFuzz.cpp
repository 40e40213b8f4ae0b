// Feeds arbitrary bytes to the PNG decoder of the image panel, reduced and at full size.

#include <cstddef>
#include <cstdint>

#include "Components/ImgPanel/PngImg.h"
#include "fuzz/DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return fuzzing::FuzzDecoder<TPNGImg>(data, size);
}
