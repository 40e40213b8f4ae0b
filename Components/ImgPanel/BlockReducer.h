#pragma once
// Averages blocks of side x side source pixels into one before the area filter's kernel
// sees them (internal to the filter module).
//
// The kernel weighs every source pixel under an output pixel, so its work grows with the
// source whatever the output's size: a picture of 65535 x 65535 shown small would cost a
// minute. A block sum costs a few additions a pixel, a bit count for eight pixels of a
// two-colour row, and for a row given as runs nothing per pixel at all; the kernel then
// works on the blocks as on a smaller picture.
//
// Rows come in order from the top; each completed row of blocks leaves as 24-bit pixels.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/PackedDib.h"

struct FilterRun;
namespace filterpixels {
struct Bgr;
}

class BlockReducer {
  public:
    // srcBpp: 1, 4, 8, 16, 24 or 32. std::bad_alloc when out of memory.
    BlockReducer(int srcWidth, int srcHeight, int side, uint8_t srcBpp);

    static int ReducedSide(int source, int side) { return (source + side - 1) / side; }
    // The memory a reducer of this width holds.
    static uint64_t MemoryBytes(int srcWidth, int side);

    // Adds the next source row as the filter stores it (8 bits and less through the
    // palette; an index past it reads black).
    void AddRow(const uint8_t* row, const RgbQuad* palette, int paletteSize);
    // Adds the next source row of palette indices given as runs over a fill index.
    void AddRuns(uint8_t fill, const FilterRun* runs, size_t count, const RgbQuad* palette,
                 int paletteSize);

    // True once every source row of the current row of blocks is in.
    bool RowComplete() const;
    // Writes the current row of blocks' averages (blue, green, red each) and starts the
    // next one.
    void TakeRow(uint8_t* out);

  private:
    template <class Reader>
    void AddPixels(const uint8_t* row, const Reader& read);
    void AddBits(const uint8_t* row, const RgbQuad* palette, int paletteSize);
    void AddToBlock(int block, int64_t b, int64_t g, int64_t r) {
        int64_t* sum = sums_.data() + static_cast<size_t>(block) * 3;
        sum[0] += b;
        sum[1] += g;
        sum[2] += r;
    }
    void AddFill(const filterpixels::Bgr& colour);  // every pixel of the row is colour
    void AddSpan(int from, int to, int db, int dg, int dr);
    bool CountRow();

    int width_;
    int height_;
    int side_;
    int reducedWidth_;
    uint8_t bpp_;
    int rowsIn_ = 0;              // source rows in the current row of blocks
    int rowsDone_ = 0;            // source rows added in all
    std::vector<int64_t> sums_;   // blue, green, red of each block
    std::vector<int64_t> steps_;  // the same, added to this block and every one after it
    // Colours a whole row has, summed over rows: every pixel of every block holds them.
    int64_t fill_[3] = {0, 0, 0};
};
