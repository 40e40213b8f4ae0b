// The value scaling around the wavelet synthesis: region-of-interest de-scaling and
// dequantisation of a band's decoded coefficients before it, and rounding from fixed point,
// the DC level shift and clipping of the samples after it.
//
// The loops run over 32-bit lanes so that the compiler vectorises them; wherever 32 bits could
// overflow they fall back to the 64-bit arithmetic, so both give the same values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Images/J2000/TileStructure.h"

namespace j2000 {

// How an irreversible component of the given precision is carried: the fraction bits of its
// fixed point (14 up to 14 bits, then 28 - precision), and whether its 9/7 lifting needs 64-bit
// lanes (above 12 bits). The reasons are in SampleScaling.cpp.
int FixedFractionBits(int precision);
bool NeedsWideLifting(int precision);

// The reconstructed value of a decoded coefficient v of a band whose step has the given
// exponent and mantissa and whose dynamic range is rangeBits (precision + log2 gain), in
// fixed point with fractionBits: (|v| + half/2) x step, signed, rounded once. half is 1 for a
// coefficient decoded down to its last bit, 0 for one tier 1 left at an interval's middle.
int32_t DequantiseCoefficient(int32_t v, int exponent, int mantissa, int rangeBits,
                              int fractionBits, int half);

// A fixed-point sample rounded to the nearest integer, halves toward zero.
int32_t RoundFixed(int32_t v, int fractionBits);

// How far tier 1 took a code-block: the bit-plane of its last pass (counted with the region
// shift) and whether that pass was a significance pass. Tier 1 leaves a coefficient whose last
// decoded bit-plane is b >= 1 at the middle of the interval it knows, q + 2^(b-1), but one
// decoded to bit-plane 0 at q itself; so the half step is added to the latter only, and every
// coefficient is reconstructed at the middle of what the stream says about it. A block that
// stopped after the significance pass of bit-plane 0 holds both kinds: that pass's new
// coefficients (magnitude 1) are whole, the others wait one refinement.
struct CodeBlockDepth {
    int lastPlane = 0;
    bool endsWithSignificancePass = false;
};

// What turns one band's decoded coefficients into the synthesis's input.
class BandScaling {
  public:
    BandScaling(const jpc_dec_band_t& band, int precision, bool reversible, int fractionBits);

    // In place on a w x h rectangle (a code-block), rows `stride` entries apart.
    void Apply(int32_t* origin, ptrdiff_t stride, int w, int h, const CodeBlockDepth& depth) const;

  private:
    void Dequantise(int32_t* row, int n, const CodeBlockDepth& depth) const;
    void DescaleAndDequantise(int32_t* row, int n, const CodeBlockDepth& depth) const;

    int roishift_ = 0;
    bool dequantise_ = false;
    int exponent_ = 0, mantissa_ = 0, rangeBits_ = 0, fractionBits_ = 0;
    uint32_t factor_ = 0;  // 2^11 + mantissa
    int shift_ = 0;        // the power of two applied to (2|v| + 1) x factor_
    // Magnitudes up to this bound are dequantised in 32 bits; -1 when none can be.
    int64_t fastLimit_ = -1;
};

// The range of a component's samples and the rounding that leads to it.
struct SampleRange {
    SampleRange(int precision, bool sgnd, int fractionBits);
    int fractionBits;
    int32_t low, high;  // clipping bounds before the level shift
    int32_t shift;      // the DC level shift, 0 for a signed component
};

// Fixed-point samples (or integers with 0 fraction bits) rounded, clipped and level-shifted.
void ToSamples(int32_t* samples, size_t count, const SampleRange& range);

}  // namespace j2000
