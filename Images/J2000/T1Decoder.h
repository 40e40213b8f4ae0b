#pragma once
// Tier 1: turns the coded segments of one code-block into its coefficients, bit-plane by
// bit-plane, with the three coding passes (significance propagation, magnitude refinement,
// cleanup), arithmetic-coded or, in the bypass mode, raw.
//
// A code-block's decoder keeps its sample states and its MQ decoder from one call to the
// next, so segments that arrive with later layers continue where the earlier ones stopped.
// Single-threaded per code-block; the shared tables are read only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "Images/J2000/MqDecoder.h"

namespace j2000 {

// The code-block style bits that tier 1 reads itself.
enum T1StyleBits : int {
    kStyleBypass = 0x01,
    kStyleReset = 0x02,
    kStyleTermAll = 0x04,
    kStyleVerticallyCausal = 0x08,
    kStylePredictableTermination = 0x10,
    kStyleSegmentationSymbols = 0x20,
};

// One segment as tier 2 collected it: its bytes, the number of its first pass, how many
// passes it holds, and whether it is arithmetic-coded (1) or raw (2).
struct T1Segment {
    std::span<const uint8_t> bytes;
    int passno = 0;
    int numpasses = 0;
    int type = 1;
};

// What tier 1 needs to know of a code-block and its band.
struct T1CodeBlockInfo {
    int width = 0;
    int height = 0;
    int orient = 0;       // 0 LL, 1 LH, 2 HL, 3 HH
    int numbps = 0;       // the band's bit-planes
    int roishift = 0;     // the region-of-interest shift of the component
    int numimsbs = 0;     // the code-block's missing most significant bit-planes
    int firstpassno = 0;  // 3 x numimsbs
    int cblkctx = 0;      // code-block style bits
};

// Warnings go here ("warning: ..." texts with their line end); empty: nowhere.
using T1Diagnostics = std::function<void(std::string_view)>;

class T1CodeBlockDecoder {
  public:
    explicit T1CodeBlockDecoder(const T1CodeBlockInfo& info);

    // Decodes the segments in pass order, adding to what earlier calls decoded, and writes
    // the code-block's coefficients into data (rows stride entries apart). Returns 0, or -1
    // when a pass cannot be decoded (a bit-plane out of range, a cleanup pass in a raw
    // segment); the passes before the failing one are decoded and written. Memory short
    // throws std::bad_alloc: a want of resources, not a broken code-block.
    int Decode(std::span<const T1Segment> segments, int32_t* data, ptrdiff_t stride,
               const T1Diagnostics& diagnostics = {});

    // Starts over with another code-block, keeping the state words' and the MQ decoder's
    // memory: one decoder serves a whole band without an allocation per code-block.
    void Reset(const T1CodeBlockInfo& info);

  private:
    int DecodeSegment(const T1Segment& seg, const T1Diagnostics& diagnostics);
    void CopyOut(int32_t* data, ptrdiff_t stride) const;

    T1CodeBlockInfo info_;
    // The samples' state words, stripe by stripe with a border all round (see T1Decoder.cpp).
    std::vector<uint16_t> flags_;
    std::vector<int32_t> values_;  // the coefficients, in the same layout
    std::unique_ptr<mqdec_t> mq_;
};

}  // namespace j2000
