// Reconstruction: once a tile's packets are all read, tier 1 turns every code-block's
// segments into coefficients, and these become samples: region-of-interest de-scaling,
// dequantisation, the inverse wavelet transform, the inverse component transform, rounding,
// the DC level shift and clipping, and the tile-components are written into the image record.
//
// Each component takes its own path: a reversible one (5/3) stays in integers and is exact;
// an irreversible one (9/7) is carried in fixed point with as many fraction bits as its
// precision leaves room for in 32 bits (14 for 8-bit samples, fewer for 16-bit ones).
#pragma once

#include <cstdint>

#include "Images/J2000/Decoder.h"

namespace j2000 {

// The tile decoder for DecodeEnv::decodetile: 0, -1 when tier 1 fails, -4 when a component
// cannot be written.
int jpc_dec_tiledecode(jpc_dec_t& dec, jpc_dec_tile_t& tile);

// Fraction bits of an irreversible component of the given precision.
int FixedFractionBits(int precision);

// The reconstructed value of a decoded coefficient v of a band whose step has the given
// exponent and mantissa and whose dynamic range is rangeBits (precision + log2 gain), in
// fixed point with fractionBits: (|v| + 1/2) x step, signed, rounded once.
int32_t DequantiseCoefficient(int32_t v, int exponent, int mantissa, int rangeBits,
                              int fractionBits);

// A fixed-point sample rounded to the nearest integer, halves toward zero.
int32_t RoundFixed(int32_t v, int fractionBits);

}  // namespace j2000
