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

// Copies a line of low-pass then high-pass samples into x, interleaved by coordinate:
// x[k] holds coordinate i0 + k, even coordinates low-pass, odd ones high-pass.
void Interleave(const int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* x) {
    const int lowCount = (i1 + 1) / 2 - (i0 + 1) / 2;
    const int32_t* low = line;
    const int32_t* high = line + lowCount * step;
    for (int i = i0; i < i1; ++i) {
        if ((i & 1) == 0) {
            *x++ = *low;
            low += step;
        } else {
            *x++ = *high;
            high += step;
        }
    }
}

void Store(int32_t* line, ptrdiff_t step, const int32_t* x, int n) {
    for (int k = 0; k < n; ++k) {
        line[k * step] = x[k];
    }
}

// The two neighbours of x[k] with the line mirrored at both ends (the standard's periodic
// symmetric extension; every lifting step reaches one sample out).
inline int32_t Left(const int32_t* x, int k) {
    return k > 0 ? x[k - 1] : x[k + 1];
}
inline int32_t Right(const int32_t* x, int k, int n) {
    return k + 1 < n ? x[k + 1] : x[k - 1];
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

}  // namespace

void SynthesiseLine53(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* x) {
    if (i1 <= i0 || SingleSample(line, i0, i1)) {
        return;
    }
    const int n = i1 - i0;
    Interleave(line, step, i0, i1, x);
    const int firstEven = i0 & 1;  // index of the first even coordinate
    for (int k = firstEven; k < n; k += 2) {
        x[k] -= (Left(x, k) + Right(x, k, n) + 2) >> 2;
    }
    for (int k = 1 - firstEven; k < n; k += 2) {
        x[k] += (Left(x, k) + Right(x, k, n)) >> 1;
    }
    Store(line, step, x, n);
}

void SynthesiseLine97(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* x) {
    if (i1 <= i0 || SingleSample(line, i0, i1)) {
        return;
    }
    const int n = i1 - i0;
    Interleave(line, step, i0, i1, x);
    const int firstEven = i0 & 1;
    const int firstOdd = 1 - firstEven;
    for (int k = firstEven; k < n; k += 2)
        x[k] = FixMul(x[k], kScaleLow);
    for (int k = firstOdd; k < n; k += 2)
        x[k] = FixMul(x[k], kScaleHigh);
    for (int k = firstEven; k < n; k += 2)
        x[k] -= FixMul(int64_t{Left(x, k)} + Right(x, k, n), kDelta);
    for (int k = firstOdd; k < n; k += 2)
        x[k] -= FixMul(int64_t{Left(x, k)} + Right(x, k, n), kGamma);
    for (int k = firstEven; k < n; k += 2)
        x[k] -= FixMul(int64_t{Left(x, k)} + Right(x, k, n), kBeta);
    for (int k = firstOdd; k < n; k += 2)
        x[k] -= FixMul(int64_t{Left(x, k)} + Right(x, k, n), kAlpha);
    Store(line, step, x, n);
}

namespace {

using LineFilter = void (*)(int32_t*, ptrdiff_t, int, int, int32_t*);

bool Synthesise(const WaveletArea& a, LineFilter filter) {
    std::vector<int32_t> buffer;
    try {
        const int longest = std::max(a.x1 - a.x0, a.y1 - a.y0);
        buffer.resize(static_cast<size_t>(std::max(longest, 1)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int r = 1; r <= a.levels; ++r) {
        const int shift = a.levels - r;
        const int u0 = CeilDivPow2(a.x0, shift), u1 = CeilDivPow2(a.x1, shift);
        const int v0 = CeilDivPow2(a.y0, shift), v1 = CeilDivPow2(a.y1, shift);
        for (int row = 0; row < v1 - v0; ++row) {
            filter(a.data + row * a.stride, 1, u0, u1, buffer.data());
        }
        for (int col = 0; col < u1 - u0; ++col) {
            filter(a.data + col, a.stride, v0, v1, buffer.data());
        }
    }
    return true;
}

}  // namespace

bool SynthesiseReversible(const WaveletArea& area) {
    return Synthesise(area, SynthesiseLine53);
}

bool SynthesiseIrreversible(const WaveletArea& area) {
    return Synthesise(area, SynthesiseLine97);
}

}  // namespace j2000
