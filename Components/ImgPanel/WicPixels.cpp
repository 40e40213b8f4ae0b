#include "Components/ImgPanel/WicPixels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define WIC_AVX2_ROWS 1
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

#if defined(WIC_AVX2_ROWS)
// Eight pixels at a time, in functions built for AVX2 whatever the rest of the program is
// built for, and run only where the processor has it. The samples go through the same
// operations in the same order as four at a time, so the bytes are the same.
#define WIC_AVX2 __attribute__((target("avx2")))

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}

WIC_AVX2 inline __m256i ToLevels8(__m256 samples) {
    __m256 v = _mm256_add_ps(samples, _mm256_set1_ps(0.5f));
    v = _mm256_max_ps(v, _mm256_setzero_ps());
    v = _mm256_min_ps(v, _mm256_set1_ps(255.0f));
    return _mm256_cvttps_epi32(v);
}

// Eight pixels (levels of blue, green and red) as their 24 bytes: one byte shuffle packs
// each half's four pixels into twelve bytes, stored as 16 with the second half's
// overwriting the first's last four (and the next eight pixels the second's).
WIC_AVX2 inline void StoreEight(__m256i blue, __m256i green, __m256i red, uint8_t* out) {
    const __m256i words = _mm256_or_si256(
        blue, _mm256_or_si256(_mm256_slli_epi32(green, 8), _mm256_slli_epi32(red, 16)));
    const __m256i pack = _mm256_setr_epi8(                        //
        0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,   // the first half
        0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);  // the second
    const __m256i packed = _mm256_shuffle_epi8(words, pack);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(packed, 1));
}

// The last store reaches 28 bytes past a group's first pixel: the loops stop while that
// still lies inside the row.
constexpr int kWideEnd = 10;

// Returns the pixels done.
WIC_AVX2 int GreyEight(const float* luma, int width, uint8_t* out) {
    int x = 0;
    for (; x + kWideEnd <= width; x += 8) {
        const __m256i level = ToLevels8(_mm256_loadu_ps(luma + x));
        StoreEight(level, level, level, out + 3 * x);
    }
    return x;
}

WIC_AVX2 inline __m256 Times(float weight, __m256 v) {
    return _mm256_mul_ps(_mm256_set1_ps(weight), v);
}

WIC_AVX2 int ColourEight(const float* luma, const float* cr, const float* cb, int width,
                         uint8_t* out) {
    int x = 0;
    for (; x + kWideEnd <= width; x += 8) {
        const __m256 y = _mm256_loadu_ps(luma + x);
        const __m256 r = _mm256_loadu_ps(cr + x);
        const __m256 b = _mm256_loadu_ps(cb + x);
        const __m256 blue = _mm256_add_ps(y, Times(kBlueFromCb, b));
        const __m256 green =
            _mm256_sub_ps(_mm256_sub_ps(y, Times(kGreenFromCb, b)), Times(kGreenFromCr, r));
        const __m256 red = _mm256_add_ps(y, Times(kRedFromCr, r));
        StoreEight(ToLevels8(blue), ToLevels8(green), ToLevels8(red), out + 3 * x);
    }
    return x;
}
#endif

}  // namespace

void GreyRow(const float* luma, int width, uint8_t* out, RowVectors vectors) {
    int x = 0;
#if defined(WIC_AVX2_ROWS)
    if (vectors == RowVectors::Widest && HasAvx2()) {
        x = GreyEight(luma, width, out);
    }
#else
    (void)vectors;
#endif
#if defined(__SSE2__)
    for (; x + kVectorEnd <= width; x += 4) {
        const __m128i level = ToLevels(_mm_loadu_ps(luma + x));
        StoreFour(PackPixels(level, level, level), out + 3 * x);
    }
#endif
    GreyPixels(luma, x, width, out);
}

void ColourRow(const float* luma, const float* cr, const float* cb, int width, uint8_t* out,
               RowVectors vectors) {
    int x = 0;
#if defined(WIC_AVX2_ROWS)
    if (vectors == RowVectors::Widest && HasAvx2()) {
        x = ColourEight(luma, cr, cb, width, out);
    }
#else
    (void)vectors;
#endif
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
