#include "Images/J2000/Wavelet.h"

#include <algorithm>
#include <new>
#include <vector>

namespace j2000 {

namespace {

// The lifting constants of the 9/7 filter, rounded to 14 fraction bits.
constexpr int64_t kAlpha = -25987;     // -1.586134342059924
constexpr int64_t kBeta = -868;        // -0.052980118572961
constexpr int64_t kGamma = 14466;      //  0.882911075530934
constexpr int64_t kDelta = 7266;       //  0.443506852043971
constexpr int64_t kScaleLow = 20155;   // K = 1.230174104914001
constexpr int64_t kScaleHigh = 13318;  // 1 / K

inline int32_t FixMul(int64_t a, int64_t b) {
    return static_cast<int32_t>((a * b) >> kFixedBits);
}

// Samples of a line or of a strip of neighbouring columns sit in a buffer in coordinate order,
// `lanes` values per coordinate (1 for a row; up to kStripLanes columns side by side, so the
// column pass reads and writes whole cache lines and the lane loops vectorise).
constexpr int kStripLanes = 16;

// Where coordinate i0 + k of a line sits among its stored samples (low-pass first).
inline int StoredIndex(int i0, int i1, int k) {
    const int i = i0 + k;
    const int lowCount = (i1 + 1) / 2 - (i0 + 1) / 2;
    return (i & 1) == 0 ? i / 2 - (i0 + 1) / 2 : lowCount + (i / 2 - i0 / 2);
}

// Copies a line of low-pass then high-pass samples into x, interleaved by coordinate:
// x[k] holds coordinate i0 + k, even coordinates low-pass, odd ones high-pass.
void Interleave(const int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* x) {
    const int n = i1 - i0;
    const int firstEven = i0 & 1;
    const int lowCount = (i1 + 1) / 2 - (i0 + 1) / 2;
    const int32_t* high = line + lowCount * step;
    for (int k = firstEven, j = 0; k < n; k += 2, ++j)
        x[k] = line[j * step];
    for (int k = 1 - firstEven, j = 0; k < n; k += 2, ++j)
        x[k] = high[j * step];
}

void Store(int32_t* line, ptrdiff_t step, const int32_t* x, int n) {
    for (int k = 0; k < n; ++k) {
        line[k * step] = x[k];
    }
}

// One lifting step over the samples of one parity, starting at index `first`, with the line
// mirrored at both ends (the standard's periodic symmetric extension; every lifting step reaches
// one sample out): x[k] = step(x[k], left, right) on every lane. n is at least 2.
template <class Step>
inline void Lift(int32_t* x, int n, int lanes, int first, Step step) {
    auto apply = [x, lanes, step](int k, int left, int right) {
        int32_t* __restrict v = x + static_cast<ptrdiff_t>(k) * lanes;
        const int32_t* __restrict l = x + static_cast<ptrdiff_t>(left) * lanes;
        const int32_t* __restrict r = x + static_cast<ptrdiff_t>(right) * lanes;
        for (int c = 0; c < lanes; ++c)
            v[c] = step(v[c], l[c], r[c]);
    };
    int k = first;
    if (k == 0) {
        apply(0, 1, 1);
        k = 2;
    }
    for (; k + 1 < n; k += 2)
        apply(k, k - 1, k + 1);
    if (k < n)
        apply(k, k - 1, k - 1);
}

template <class Scale>
inline void ScaleParity(int32_t* x, int n, int lanes, int first, Scale scale) {
    for (int k = first; k < n; k += 2) {
        int32_t* v = x + static_cast<ptrdiff_t>(k) * lanes;
        for (int c = 0; c < lanes; ++c)
            v[c] = scale(v[c]);
    }
}

// The 5/3 synthesis of an interleaved buffer of n >= 2 coordinates starting at i0.
void Lift53(int32_t* x, int n, int lanes, int i0) {
    const int firstEven = i0 & 1;
    Lift(x, n, lanes, firstEven,
         [](int32_t v, int32_t l, int32_t r) { return v - ((l + r + 2) >> 2); });
    Lift(x, n, lanes, 1 - firstEven,
         [](int32_t v, int32_t l, int32_t r) { return v + ((l + r) >> 1); });
}

// The 9/7 synthesis in fixed point, likewise. Its 64-bit products have no vector multiply in the
// baseline instruction set; GCC's emulation of one is slower than the scalar loop, so the lane
// loops stay scalar here.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
void Lift97(int32_t* x, int n, int lanes, int i0) {
    const int firstEven = i0 & 1;
    const int firstOdd = 1 - firstEven;
    ScaleParity(x, n, lanes, firstEven, [](int32_t v) { return FixMul(v, kScaleLow); });
    ScaleParity(x, n, lanes, firstOdd, [](int32_t v) { return FixMul(v, kScaleHigh); });
    Lift(x, n, lanes, firstEven,
         [](int32_t v, int32_t l, int32_t r) { return v - FixMul(int64_t{l} + r, kDelta); });
    Lift(x, n, lanes, firstOdd,
         [](int32_t v, int32_t l, int32_t r) { return v - FixMul(int64_t{l} + r, kGamma); });
    Lift(x, n, lanes, firstEven,
         [](int32_t v, int32_t l, int32_t r) { return v - FixMul(int64_t{l} + r, kBeta); });
    Lift(x, n, lanes, firstOdd,
         [](int32_t v, int32_t l, int32_t r) { return v - FixMul(int64_t{l} + r, kAlpha); });
}

// A line of one sample: an odd coordinate holds a high-pass sample of twice the value.
bool SingleSample(int32_t* line, int i0, int i1) {
    if (i1 - i0 != 1) {
        return false;
    }
    if (i0 & 1) {
        *line /= 2;
    }
    return true;
}

using BufferFilter = void (*)(int32_t*, int, int, int);

void SynthesiseLine(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* x,
                    BufferFilter filter) {
    if (i1 <= i0 || SingleSample(line, i0, i1)) {
        return;
    }
    const int n = i1 - i0;
    Interleave(line, step, i0, i1, x);
    filter(x, n, 1, i0);
    Store(line, step, x, n);
}

// Columns [col, col + lanes) of a level's area, rows i0..i1 of the level, as one strip.
void SynthesiseColumns(int32_t* data, ptrdiff_t stride, int lanes, int i0, int i1, int32_t* x,
                       BufferFilter filter) {
    const int n = i1 - i0;
    if (n <= 0)
        return;
    if (n == 1) {
        for (int c = 0; c < lanes; ++c)
            SingleSample(data + c, i0, i1);
        return;
    }
    for (int k = 0; k < n; ++k) {
        const int32_t* src = data + StoredIndex(i0, i1, k) * stride;
        std::copy(src, src + lanes, x + static_cast<ptrdiff_t>(k) * lanes);
    }
    filter(x, n, lanes, i0);
    for (int k = 0; k < n; ++k) {
        const int32_t* src = x + static_cast<ptrdiff_t>(k) * lanes;
        std::copy(src, src + lanes, data + k * stride);
    }
}

}  // namespace

void SynthesiseLine53(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* x) {
    SynthesiseLine(line, step, i0, i1, x, Lift53);
}

void SynthesiseLine97(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* x) {
    SynthesiseLine(line, step, i0, i1, x, Lift97);
}

namespace {

bool Synthesise(const WaveletArea& a, BufferFilter filter) {
    std::vector<int32_t> buffer;
    try {
        const int longest = std::max(a.x1 - a.x0, a.y1 - a.y0);
        buffer.resize(static_cast<size_t>(std::max(longest, 1)) * kStripLanes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int r = 1; r <= a.levels; ++r) {
        const int shift = a.levels - r;
        const int u0 = CeilDivPow2(a.x0, shift), u1 = CeilDivPow2(a.x1, shift);
        const int v0 = CeilDivPow2(a.y0, shift), v1 = CeilDivPow2(a.y1, shift);
        for (int row = 0; row < v1 - v0; ++row) {
            SynthesiseLine(a.data + row * a.stride, 1, u0, u1, buffer.data(), filter);
        }
        for (int col = 0; col < u1 - u0; col += kStripLanes) {
            const int lanes = std::min(kStripLanes, u1 - u0 - col);
            SynthesiseColumns(a.data + col, a.stride, lanes, v0, v1, buffer.data(), filter);
        }
    }
    return true;
}

}  // namespace

bool SynthesiseReversible(const WaveletArea& area) {
    return Synthesise(area, Lift53);
}

bool SynthesiseIrreversible(const WaveletArea& area) {
    return Synthesise(area, Lift97);
}

}  // namespace j2000
