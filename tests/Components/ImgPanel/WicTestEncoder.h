#pragma once
// A WIC writer for tests and benchmarks (no such files exist to test against): the QM
// arithmetic encoder of ITU-T T.81 Annex D, the zerotree scan mirrored from the decoder's
// decisions, and the forward 5/3 lifting that the decoder's inverse undoes.

#include <cstdint>
#include <string>
#include <vector>

#include "Components/ImgPanel/WicZerotree.h"
#include "imaging/PackedDib.h"

namespace wictest {

// T.81's encoder: 32-bit code register with its carry bit, 16-bit interval. Bytes go out
// unstuffed with carries carried back into them; Finish stuffs FF 00 and ends with FF 02.
class QmEncoder {
  public:
    explicit QmEncoder(int contexts);
    void Encode(int cx, int bit);
    // Flushes the registers, drops trailing zero bytes (the decoder reads zeros after the
    // end), stuffs every 0xFF and, when asked, appends the end escape FF 02.
    std::vector<uint8_t> Finish(bool endEscape = true);

  private:
    void Renormalise();
    void ByteOut();

    struct Context {
        uint8_t state = 0;
        uint8_t mps = 0;
    };
    std::vector<Context> contexts_;
    uint32_t c_ = 0;
    uint32_t a_ = 0x10000;
    int ct_ = 11;
    std::vector<uint8_t> raw_;
};

// Integer coefficients of the three colour planes, each matrix.width x matrix.height,
// row-major, in the dyadic layout the decoder expects.
struct Coefficients {
    int width = 0;  // the picture inside the matrices
    int height = 0;
    wic::WicGeometry matrix;
    uint32_t step = 0x10000;  // 16.16
    std::vector<int32_t> plane[3];
};

struct EncodeOptions {
    // When set, plane 0's data ends (a continue decision of 0) at the first node of its
    // last bit plane, so that bit plane is never sent.
    bool cutLumaLastBitPlane = false;
};

// A complete file: header and stream. Bit-plane counts are the planes' own.
std::vector<uint8_t> EncodeWic(const Coefficients& coefficients, EncodeOptions options = {});

// The forward lifting of one line of even length (low half first, scaled by step).
void ForwardLift(float* line, int n, float step);
// Picture (red, green, blue bytes, top row first) to rounded coefficients: YCbCr without
// offsets, edges repeated into the matrix margin, `levels` forward levels.
Coefficients TransformPicture(const std::vector<uint8_t>& rgb, int width, int height, int levels,
                              float step = 1.0f);

// A smooth photo-like test picture (shading, two hard-edged shapes, optional grain).
std::vector<uint8_t> TestPicture(int width, int height, bool grain);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// True when every pixel of screen rows from..to (either order, cut to the picture) of a
// 24-bit bottom-up picture has blue = green = red.
bool RowsAreGrey(const DibInfoHeader* dib, int from, int to);

}  // namespace wictest
