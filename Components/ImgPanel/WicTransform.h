#pragma once
// The inverse 5/3 wavelet of WIC files, in floating point without rounding.
//
// A line of even length n holds its low half first and its high half after it. The low
// half is divided by the file's step, then the even samples are rebuilt from the low
// half and the neighbouring high samples, and the odd ones from their two even neighbours
// and their high sample; the edges mirror (the first even sample sees its one high
// neighbour twice, the last odd sample its one even neighbour twice).

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/LargeBlock.h"

namespace wic {

// The transform's working memory for one matrix size: half the matrix and two lines.
// std::bad_alloc when out of memory.
class WaveletScratch {
  public:
    WaveletScratch(int width, int height);
    // Works in borrowed memory of `floats` floats, which the caller keeps alive and lets
    // the transform overwrite, when it is large enough; else in memory of its own.
    WaveletScratch(int width, int height, float* borrowed, std::size_t floats);

    float* LowHalf() const { return memory_; }
    float* Line() const { return memory_ + lowHalf_; }
    float* SecondLine() const { return memory_ + lowHalf_ + width_; }

  private:
    std::size_t width_;
    std::size_t lowHalf_;
    platform::ZeroedArray<float> own_;
    float* memory_ = nullptr;
};

// One line of even length n >= 2, in place; scratch holds at least n floats.
void InverseLift(float* line, int n, float step, float* scratch);
// The same from `in` into `out` (n floats each, apart).
void InverseLiftInto(const float* in, int n, float step, float* out);

// The whole matrix (width x height, row-major, both multiples of 2^levels), coarsest level
// first: at each level the columns of the level's top-left block, then its rows.
// beforeLine runs once per column and once per row (it may throw to stop). scratch, when
// given, was made for this matrix size. Without finestLevel the transform stops before the
// finest level, whose rows FinestRows then makes.
void InverseWavelet(float* matrix, int width, int height, int levels, float step,
                    const std::function<void()>& beforeLine, WaveletScratch* scratch = nullptr,
                    bool finestLevel = true);

// The finest level's rows one at a time, from the top, without writing them back: a caller
// that reads each finished row once is spared a pass over the whole matrix. Each row is
// exactly the row InverseWavelet would leave in the matrix.
class FinestRows {
  public:
    // Fills row i of the matrix's upper (low) half and row i of its lower (high) half, as
    // they stand with every level but the finest done; asked for each i once, in order.
    using FetchRows = std::function<void(int i, float* low, float* high)>;

    // std::bad_alloc when out of memory.
    FinestRows(int width, int height, float step, FetchRows fetch);
    // Reads the rows from matrix (width x height), which must outlive this.
    FinestRows(const float* matrix, int width, int height, float step);

    // Row r of the finished matrix, valid until the next call; r never goes back.
    const float* Row(int r);
    // The same into out (width floats, apart from the rows fetched).
    void RowInto(int r, float* out);

  private:
    float* Line(int k) { return lines_.data() + static_cast<std::size_t>(k) * width_; }
    const float* High(int i) { return Line(6 + (i & 1)); }
    void LiftEven(int i);

    std::size_t width_;
    int half_;
    float step_;
    FetchRows fetch_;
    // Two even rows (columns lifted), an odd row (columns lifted), the low row, the
    // finished row, one spare, two high rows.
    std::vector<float> lines_;
    int lastEven_ = -1;
};

}  // namespace wic
