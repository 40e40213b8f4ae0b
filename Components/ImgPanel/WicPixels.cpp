#include "Components/ImgPanel/WicPixels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wic {

namespace {

// The colour difference weights of the YCbCr colour space.
constexpr float kBlueFromCb = 1.772f;
constexpr float kGreenFromCb = 0.34414f;
constexpr float kGreenFromCr = 0.71414f;
constexpr float kRedFromCr = 1.402f;

void StorePixel(int32_t blue, int32_t green, int32_t red, uint8_t* out) {
    out[0] = static_cast<uint8_t>(blue);
    out[1] = static_cast<uint8_t>(green);
    out[2] = static_cast<uint8_t>(red);
}

void GreyPixels(const float* luma, int from, int width, uint8_t* out) {
    for (int x = from; x < width; ++x) {
        const int32_t level = ToLevel(luma[x]);
        StorePixel(level, level, level, out + 3 * x);
    }
}

// Each channel is computed in the same order of operations as the vector loop below, so
// that both give the same bytes.
void ColourPixels(const float* luma, const float* cr, const float* cb, int from, int width,
                  uint8_t* out) {
    for (int x = from; x < width; ++x) {
        StorePixel(ToLevel(luma[x] + kBlueFromCb * cb[x]),
                   ToLevel(luma[x] - kGreenFromCb * cb[x] - kGreenFromCr * cr[x]),
                   ToLevel(luma[x] + kRedFromCr * cr[x]), out + 3 * x);
    }
}

#if defined(__SSE2__)
// ToLevel four samples at a time. Maximum and minimum return their second operand when
// the first is not a number, as the selects of ToLevel do, which GCC does not see itself.
__m128i ToLevels(__m128 samples) {
    __m128 v = _mm_add_ps(samples, _mm_set1_ps(0.5f));
    v = _mm_max_ps(v, _mm_setzero_ps());
    v = _mm_min_ps(v, _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(v);
}

// Four pixels (levels of blue, green and red) as their twelve bytes in the low part of the
// register. SSE2 has no byte shuffle: each 64-bit half first closes the gap between its two
// pixels, then the upper half moves down next to the lower one.
__m128i PackPixels(__m128i blue, __m128i green, __m128i red) {
    const __m128i words =
        _mm_or_si128(blue, _mm_or_si128(_mm_slli_epi32(green, 8), _mm_slli_epi32(red, 16)));
    const __m128i first = _mm_and_si128(words, _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF));
    const __m128i second = _mm_and_si128(
        _mm_srli_epi64(words, 8), _mm_set_epi32(0x0000FFFF, -0x1000000, 0x0000FFFF, -0x1000000));
    const __m128i halves = _mm_or_si128(first, second);
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

// Four pixels go out as 16 bytes, the last four overwritten by the next four; so the vector
// loops stop while 16 bytes still fit in the row and leave the rest to the scalar ones.
constexpr int kVectorEnd = 6;

void StoreFour(__m128i pixels, uint8_t* out) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pixels);
}
#endif

}  // namespace

void GreyRow(const float* luma, int width, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + kVectorEnd <= width; x += 4) {
        const __m128i level = ToLevels(_mm_loadu_ps(luma + x));
        StoreFour(PackPixels(level, level, level), out + 3 * x);
    }
#endif
    GreyPixels(luma, x, width, out);
}

void ColourRow(const float* luma, const float* cr, const float* cb, int width, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    const auto times = [](float weight, __m128 v) { return _mm_mul_ps(_mm_set1_ps(weight), v); };
    for (; x + kVectorEnd <= width; x += 4) {
        const __m128 y = _mm_loadu_ps(luma + x);
        const __m128 r = _mm_loadu_ps(cr + x);
        const __m128 b = _mm_loadu_ps(cb + x);
        const __m128 blue = _mm_add_ps(y, times(kBlueFromCb, b));
        const __m128 green =
            _mm_sub_ps(_mm_sub_ps(y, times(kGreenFromCb, b)), times(kGreenFromCr, r));
        const __m128 red = _mm_add_ps(y, times(kRedFromCr, r));
        StoreFour(PackPixels(ToLevels(blue), ToLevels(green), ToLevels(red)), out + 3 * x);
    }
#endif
    ColourPixels(luma, cr, cb, x, width, out);
}

}  // namespace wic
