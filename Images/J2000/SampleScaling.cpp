#include "Images/J2000/SampleScaling.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "Images/J2000/FixedPoint.h"

namespace j2000 {

// Every value the 9/7 synthesis holds is a linear function of the samples it reconstructs, so
// it is at most the sum of the absolute weights of that function (its gain) times the largest
// sample. Worked out over every level count, line length and start parity (both directions of
// a level multiply), the largest gains are:
//   - 6.9 for what the plane holds between passes (coefficients and half-synthesised levels:
//     2.63, the largest band gain of one direction, squared);
//   - 24.3 for the lifting's own values, the sum of two neighbours that a step multiplies
//     included (9.24, that sum in a row of the second level, times 2.63 for the column).
// A checkerboard comes close to both. With the samples reconstructed within twice their range
// (below 2^precision in magnitude after the level shift, a lossy picture's overshoot
// included), the plane holds precision + fraction + log2(6.9) < 31 bits and a sign, and
// 32-bit lifting precision + fraction + log2(24.3) < 31. So the fraction is 28 - precision
// bits (at most 14), and above 12 bits the lifting runs in 64-bit lanes: 8-bit pictures keep
// the fast lanes, 16-bit ones keep 12 fraction bits.
int FixedFractionBits(int precision) {
    return std::clamp(28 - precision, 0, 14);
}

bool NeedsWideLifting(int precision) {
    return precision + FixedFractionBits(precision) > 26;
}

int32_t DequantiseCoefficient(int32_t v, int exponent, int mantissa, int rangeBits,
                              int fractionBits, int half) {
    if (v == 0) {
        return 0;
    }
    const int64_t magnitude = std::abs(static_cast<int64_t>(v));
    // (2|v| + half)(2^11 + mantissa) x 2^(rangeBits - exponent - 12 + fractionBits)
    int64_t x = (2 * magnitude + half) * (2048 + mantissa);
    const int shift = rangeBits - exponent - 12 + fractionBits;
    if (shift >= 0) {
        const int64_t limit = std::numeric_limits<int32_t>::max() >> std::min(shift, 31);
        x = x > limit ? std::numeric_limits<int32_t>::max() : x << shift;
    } else if (shift > -63) {
        x = (x + (int64_t{1} << (-shift - 1))) >> -shift;
    } else {
        x = 0;
    }
    x = std::min<int64_t>(x, std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(v < 0 ? -x : x);
}

int32_t RoundFixed(int32_t v, int fractionBits) {
    if (fractionBits == 0) {
        return v;
    }
    const int64_t half = int64_t{1} << (fractionBits - 1);
    const int64_t magnitude = (std::abs(static_cast<int64_t>(v)) + half - 1) >> fractionBits;
    return static_cast<int32_t>(v < 0 ? -magnitude : magnitude);
}

namespace {

inline uint32_t Magnitude(int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// An upper bound of the row's magnitudes (their bitwise or), found in one vectorised pass.
J2K_VECTOR_CLONES uint32_t MagnitudeBound(const int32_t* row, int n) {
    uint32_t bound = 0;
    for (int i = 0; i < n; ++i)
        bound |= Magnitude(row[i]);
    return bound;
}

// Which coefficients of a code-block get the half step: all (halfAll 1), none, or those of
// magnitude 1 (halfOnes 1).
struct HalfSteps {
    uint32_t halfAll, halfOnes;
};

HalfSteps HalfStepsOf(const CodeBlockDepth& depth) {
    if (depth.lastPlane > 0)
        return {0, 0};
    if (depth.lastPlane == 0 && depth.endsWithSignificancePass)
        return {0, 1};
    return {1, 0};
}

// DequantiseCoefficient for magnitudes whose product fits 32 bits: shifted left by `shift`, or
// right by it with rounding.
template <bool Left>
inline void DequantiseFast(int32_t* J2K_RESTRICT row, int n, uint32_t factor, int shift,
                           HalfSteps halves) {
    const uint32_t rounding = Left ? 0 : uint32_t{1} << (shift - 1);
    for (int i = 0; i < n; ++i) {
        const int32_t v = row[i];
        const uint32_t m = Magnitude(v);
        const uint32_t half = halves.halfAll | (halves.halfOnes & static_cast<uint32_t>(m == 1));
        uint32_t x = (2 * m + half) * factor;
        x = Left ? x << shift : (x + rounding) >> shift;
        const int32_t signed_x = v < 0 ? -static_cast<int32_t>(x) : static_cast<int32_t>(x);
        row[i] = v == 0 ? 0 : signed_x;
    }
}

J2K_VECTOR_CLONES void DequantiseRowFast(int32_t* row, int n, uint32_t factor, int shift,
                                         HalfSteps halves) {
    if (shift >= 0)
        DequantiseFast<true>(row, n, factor, shift, halves);
    else
        DequantiseFast<false>(row, n, factor, -shift, halves);
}

}  // namespace

BandScaling::BandScaling(const jpc_dec_band_t& band, int precision, bool reversible,
                         int fractionBits)
    // A shift beyond 31 bits leaves every 32-bit coefficient below the region's threshold.
    : roishift_(band.roishift >= 1 && band.roishift <= 31 ? band.roishift : 0),
      dequantise_(!reversible),
      exponent_(band.stepsize >> 11),
      mantissa_(band.stepsize & 0x7FF),
      rangeBits_(precision + band.analgain),
      fractionBits_(fractionBits) {
    factor_ = 2048 + static_cast<uint32_t>(mantissa_);
    shift_ = rangeBits_ - exponent_ - 12 + fractionBits_;
    // (2m + 1) x factor must stay below the bound for the shift and the rounding to fit.
    int64_t bound = -1;
    if (shift_ >= 0 && shift_ < 31)
        bound = std::numeric_limits<int32_t>::max() >> shift_;
    else if (shift_ < 0 && shift_ > -32)
        bound = std::numeric_limits<uint32_t>::max() - (int64_t{1} << (-shift_ - 1));
    if (bound >= factor_)
        fastLimit_ = (bound / factor_ - 1) / 2;
}

void BandScaling::Dequantise(int32_t* row, int n, const CodeBlockDepth& depth) const {
    const HalfSteps halves = HalfStepsOf(depth);
    if (MagnitudeBound(row, n) <= fastLimit_) {
        DequantiseRowFast(row, n, factor_, shift_, halves);
        return;
    }
    for (int i = 0; i < n; ++i) {
        const uint32_t half = halves.halfAll | (halves.halfOnes & (Magnitude(row[i]) == 1));
        row[i] = DequantiseCoefficient(row[i], exponent_, mantissa_, rangeBits_, fractionBits_,
                                       static_cast<int>(half));
    }
}

// Magnitudes of at least 2^s lose the region-of-interest shift s, and with it s of the
// bit-planes tier 1 went through: such a coefficient decoded down to bit-plane s or below is
// whole.
void BandScaling::DescaleAndDequantise(int32_t* row, int n, const CodeBlockDepth& depth) const {
    const int s = roishift_;
    for (int i = 0; i < n; ++i) {
        const int32_t v = row[i];
        const bool inRegion = Magnitude(v) >= (uint32_t{1} << s);
        const auto m = static_cast<int32_t>(inRegion ? Magnitude(v) >> s : Magnitude(v));
        const int32_t descaled = v < 0 ? -m : m;
        if (!dequantise_) {
            row[i] = descaled;
            continue;
        }
        const int plane = depth.lastPlane - (inRegion ? s : 0);
        const bool whole = plane < 0 || (plane == 0 && (!depth.endsWithSignificancePass || m == 1));
        row[i] = DequantiseCoefficient(descaled, exponent_, mantissa_, rangeBits_, fractionBits_,
                                       whole ? 1 : 0);
    }
}

void BandScaling::Apply(int32_t* origin, ptrdiff_t stride, int w, int h,
                        const CodeBlockDepth& depth) const {
    if (roishift_ == 0 && !dequantise_)
        return;  // reversible coefficients are the samples' own values
    for (int r = 0; r < h; ++r) {
        int32_t* row = origin + r * stride;
        if (roishift_ > 0)
            DescaleAndDequantise(row, w, depth);
        else
            Dequantise(row, w, depth);
    }
}

SampleRange::SampleRange(int precision, bool sgnd, int bits) : fractionBits(bits) {
    const int64_t lowest = sgnd ? -(int64_t{1} << (precision - 1)) : 0;
    const int64_t highest =
        sgnd ? (int64_t{1} << (precision - 1)) - 1 : (int64_t{1} << precision) - 1;
    const int64_t dc = sgnd ? 0 : int64_t{1} << (precision - 1);
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    shift = static_cast<int32_t>(dc);
    low = static_cast<int32_t>(std::clamp(lowest - dc, kMin, kMax));
    high = static_cast<int32_t>(std::clamp(highest - dc, kMin, kMax));
}

J2K_VECTOR_CLONES void ToSamples(int32_t* J2K_RESTRICT samples, size_t count,
                                 const SampleRange& range) {
    const int32_t low = range.low, high = range.high, shift = range.shift;
    const int bits = range.fractionBits;
    if (bits == 0) {
        for (size_t i = 0; i < count; ++i)
            samples[i] = std::clamp(samples[i], low, high) + shift;
        return;
    }
    // RoundFixed in 32 bits: the magnitude plus half a step less one cannot pass 2^32.
    const uint32_t bias = (uint32_t{1} << (bits - 1)) - 1;
    for (size_t i = 0; i < count; ++i) {
        const int32_t v = samples[i];
        const auto m = static_cast<int32_t>((Magnitude(v) + bias) >> bits);
        samples[i] = std::clamp(v < 0 ? -m : m, low, high) + shift;
    }
}

}  // namespace j2000
