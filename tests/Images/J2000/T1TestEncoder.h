#pragma once
// A test-only tier-1 encoder: the MQ encoder of the standard (with carry, byte stuffing and
// the usual flush) and the three coding passes written from the encoder's side, where the
// coefficients are known. Tests decode what it writes.

#include <cstdint>
#include <vector>

#include "Images/J2000/MqDecoder.h"

namespace j2000::testing {

class MqEncoder {
  public:
    explicit MqEncoder(int contexts);
    void SetContexts(const std::vector<MqContextInit>& list);
    void Encode(int bit, int ctx);
    // Ends the code and returns its bytes; the encoder starts a new code afterwards with the
    // context states it has.
    std::vector<uint8_t> Flush();

  private:
    void Start();
    void Renormalise();
    void ByteOut();

    std::vector<int> state_;
    std::vector<int> mps_;
    uint32_t a_ = 0, c_ = 0;
    int ct_ = 0;
    std::vector<uint8_t> out_;  // out_[0] stands before the code and is never emitted
};

struct EncodedSegment {
    std::vector<uint8_t> bytes;
    int passno = 0;
    int numpasses = 0;
    int type = 1;  // 1 arithmetic-coded, 2 raw
};

struct EncodedBlock {
    std::vector<EncodedSegment> segments;
    int passes = 0;
};

// Codes a width x height code-block of coefficients over numbps bit-planes with the style
// bits (bypass 0x01, reset 0x02, termall 0x04, vertically causal 0x08, segmentation symbols
// 0x20), split into segments as tier 2 would split them.
EncodedBlock EncodeCodeBlock(const std::vector<int32_t>& values, int width, int height, int orient,
                             int numbps, int style);

}  // namespace j2000::testing
