#include "Images/J2000/SampleScaling.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "Images/J2000/FixedPoint.h"

namespace j2000 {

int FixedFractionBits(int precision) {
    // Room for the samples, two bits of wavelet gain and a sign below bit 31.
    return std::clamp(28 - precision, 0, 14);
}

int32_t DequantiseCoefficient(int32_t v, int exponent, int mantissa, int rangeBits,
                              int fractionBits) {
    if (v == 0) {
        return 0;
    }
    const int64_t magnitude = std::abs(static_cast<int64_t>(v));
    // (2|v| + 1)(2^11 + mantissa) x 2^(rangeBits - exponent - 12 + fractionBits)
    int64_t x = (2 * magnitude + 1) * (2048 + mantissa);
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

// DequantiseCoefficient for magnitudes whose product fits 32 bits: shifted left by `shift`, or
// right by it with rounding.
template <bool Left>
inline void DequantiseFast(int32_t* J2K_RESTRICT row, int n, uint32_t factor, int shift) {
    const uint32_t half = Left ? 0 : uint32_t{1} << (shift - 1);
    for (int i = 0; i < n; ++i) {
        const int32_t v = row[i];
        uint32_t x = (2 * Magnitude(v) + 1) * factor;
        x = Left ? x << shift : (x + half) >> shift;
        const int32_t signed_x = v < 0 ? -static_cast<int32_t>(x) : static_cast<int32_t>(x);
        row[i] = v == 0 ? 0 : signed_x;
    }
}

J2K_VECTOR_CLONES void DequantiseRowFast(int32_t* row, int n, uint32_t factor, int shift) {
    if (shift >= 0)
        DequantiseFast<true>(row, n, factor, shift);
    else
        DequantiseFast<false>(row, n, factor, -shift);
}

// Magnitudes of at least 2^s lose the region-of-interest shift s.
void DescaleRegionOfInterest(int32_t* row, int n, int s) {
    for (int i = 0; i < n; ++i) {
        const int32_t v = row[i];
        if (Magnitude(v) >= (uint32_t{1} << s))
            row[i] = v < 0 ? -static_cast<int32_t>(Magnitude(v) >> s) : v >> s;
    }
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

void BandScaling::Dequantise(int32_t* row, int n) const {
    if (MagnitudeBound(row, n) <= fastLimit_) {
        DequantiseRowFast(row, n, factor_, shift_);
        return;
    }
    for (int i = 0; i < n; ++i)
        row[i] = DequantiseCoefficient(row[i], exponent_, mantissa_, rangeBits_, fractionBits_);
}

void BandScaling::Apply(int32_t* origin, ptrdiff_t stride, int w, int h) const {
    if (roishift_ == 0 && !dequantise_)
        return;  // reversible coefficients are the samples' own values
    for (int r = 0; r < h; ++r) {
        int32_t* row = origin + r * stride;
        if (roishift_ > 0)
            DescaleRegionOfInterest(row, w, roishift_);
        if (dequantise_)
            Dequantise(row, w);
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
