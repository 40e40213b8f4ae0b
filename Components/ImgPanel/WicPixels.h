#pragma once
// The WIC decoder's output rows: transformed samples to 24-bit pixels (blue, green, red),
// the grey picture from the luminance alone and the colour picture from the luminance and
// the two colour differences, as YCbCr without offsets.

#include <cstdint>

namespace wic {

// A sample to a level: rounded half up, truncated towards zero, clamped to 0..255;
// not-a-number gives 0. Written as selects so that loops over a row can vectorise.
inline int32_t ToLevel(float sample) {
    float v = sample + 0.5f;
    v = v > 0.0f ? v : 0.0f;
    v = v < 255.0f ? v : 255.0f;
    return static_cast<int32_t>(v);
}

// The vectors a row is made with: the widest the processor has (eight pixels at a time
// with AVX2), or four at a time with SSE2 alone, which a processor without AVX2 runs and a
// test can ask for. Both give the same bytes.
enum class RowVectors { Widest, Sse2 };

// width pixels into out (3 * width bytes; nothing past them is written).
void GreyRow(const float* luma, int width, uint8_t* out, RowVectors vectors = RowVectors::Widest);
void ColourRow(const float* luma, const float* cr, const float* cb, int width, uint8_t* out,
               RowVectors vectors = RowVectors::Widest);

}  // namespace wic
