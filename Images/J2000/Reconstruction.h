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
#include "Images/J2000/SampleScaling.h"

namespace j2000 {

// The tile decoder for DecodeEnv::decodetile: 0, -1 when tier 1 fails, -4 when a component
// cannot be written.
int jpc_dec_tiledecode(jpc_dec_t& dec, jpc_dec_tile_t& tile);

}  // namespace j2000
