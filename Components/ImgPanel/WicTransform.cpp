#include "Components/ImgPanel/WicTransform.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <utility>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace wic {

namespace {

void DivideByStep(float* values, size_t count, float step) {
    if (step == 1.0f) {
        return;  // dividing by 1 changes nothing
    }
    for (size_t i = 0; i < count; ++i) {
        values[i] /= step;
    }
}

// Even output: the low sample less a quarter of its two high neighbours (half of the one
// neighbour at the start).
void EvenRow(float* out, const float* lo, const float* hiBefore, const float* hi, int count) {
    if (hiBefore == nullptr) {
        for (int c = 0; c < count; ++c) {
            out[c] = lo[c] - hi[c] * 0.5f;
        }
        return;
    }
    for (int c = 0; c < count; ++c) {
        out[c] = lo[c] - (hiBefore[c] + hi[c]) * 0.25f;
    }
}

// Odd output: the mean of its two even neighbours (the one neighbour at the end) plus its
// high sample.
void OddRow(float* out, const float* even, const float* evenAfter, const float* hi, int count) {
    if (evenAfter == nullptr) {
        for (int c = 0; c < count; ++c) {
            out[c] = even[c] + hi[c];
        }
        return;
    }
    for (int c = 0; c < count; ++c) {
        out[c] = (even[c] + evenAfter[c]) * 0.5f + hi[c];
    }
}

// One level on the w x h top-left block: its columns, then its rows. The columns are
// lifted a whole row of the block at a time, from the top down, so each row is read and
// written once, in order, and a row is lifted along its length as soon as the columns no
// longer need it, while it is still in the cache. In place, the output rows pass over the
// high half no faster than it is used up; only the low half is copied out first, and the
// one high row that an even output row lands on before its odd neighbour has read it.
void LiftLevel(float* matrix, size_t width, int w, int h, float step, const WaveletScratch& scratch,
               const std::function<void()>& beforeLine) {
    const int m = h / 2;
    const size_t rowBytes = static_cast<size_t>(w) * sizeof(float);
    const auto row = [&](int r) { return matrix + static_cast<size_t>(r) * width; };
    const auto low = [&](int i) { return scratch.LowHalf() + static_cast<size_t>(i) * w; };
    const auto finishRow = [&](int r) {
        if (beforeLine) {
            beforeLine();
        }
        InverseLift(row(r), w, step, scratch.Line());
    };
    if (beforeLine) {
        for (int c = 0; c < w; ++c) {
            beforeLine();
        }
    }
    for (int i = 0; i < m; ++i) {
        std::memcpy(low(i), row(i), rowBytes);
    }
    DivideByStep(scratch.LowHalf(), static_cast<size_t>(m) * w, step);
    EvenRow(row(0), low(0), nullptr, row(m), w);
    for (int i = 1; i < m; ++i) {
        const float* hiBefore = row(m + i - 1);
        if (m + i - 1 == 2 * i) {
            std::memcpy(scratch.SecondLine(), hiBefore, rowBytes);
            hiBefore = scratch.SecondLine();
        }
        EvenRow(row(2 * i), low(i), hiBefore, row(m + i), w);
        OddRow(row(2 * i - 1), row(2 * i - 2), row(2 * i), hiBefore, w);
        finishRow(2 * i - 2);
        finishRow(2 * i - 1);
    }
    OddRow(row(h - 1), row(h - 2), nullptr, row(h - 1), w);
    finishRow(h - 2);
    finishRow(h - 1);
}

}  // namespace

namespace {

// The low sample i divided by the step, as DivideByStep leaves it.
float LowAt(const float* lo, int i, float step) {
    return step == 1.0f ? lo[i] : lo[i] / step;
}

// Even output i of a line: the low sample less a quarter of its two high neighbours (half
// of the one neighbour at the start).
float EvenAt(const float* lo, const float* hi, int i, float step) {
    return i == 0 ? LowAt(lo, 0, step) - hi[0] * 0.5f
                  : LowAt(lo, i, step) - (hi[i - 1] + hi[i]) * 0.25f;
}

#if defined(__SSE2__)
// Even outputs j to j + 3 (j >= 1), by the same operations as EvenAt.
__m128 EvenFour(const float* lo, const float* hi, int j, float step) {
    __m128 low = _mm_loadu_ps(lo + j);
    if (step != 1.0f) {
        low = _mm_div_ps(low, _mm_set1_ps(step));
    }
    const __m128 highs = _mm_add_ps(_mm_loadu_ps(hi + j - 1), _mm_loadu_ps(hi + j));
    return _mm_sub_ps(low, _mm_mul_ps(highs, _mm_set1_ps(0.25f)));
}

// Outputs 0 to 2i - 1 four even and four odd at a time, interleaved as they are stored;
// returns i. Each odd output needs the even one after it, so the even ones are made a
// block ahead.
int LiftBlocks(const float* lo, const float* hi, int m, float step, float* out) {
    if (m < 8) {
        return 0;
    }
    __m128 even = _mm_setr_ps(EvenAt(lo, hi, 0, step), EvenAt(lo, hi, 1, step),
                              EvenAt(lo, hi, 2, step), EvenAt(lo, hi, 3, step));
    int i = 0;
    for (; i + 8 <= m; i += 4) {
        const __m128 nextEven = EvenFour(lo, hi, i + 4, step);
        // Even outputs i + 1 to i + 4: this block shifted down by one, the next block's first.
        const __m128 moved = _mm_move_ss(even, nextEven);
        const __m128 after = _mm_shuffle_ps(moved, moved, _MM_SHUFFLE(0, 3, 2, 1));
        const __m128 odd = _mm_add_ps(_mm_mul_ps(_mm_add_ps(even, after), _mm_set1_ps(0.5f)),
                                      _mm_loadu_ps(hi + i));
        _mm_storeu_ps(out + 2 * i, _mm_unpacklo_ps(even, odd));
        _mm_storeu_ps(out + 2 * i + 4, _mm_unpackhi_ps(even, odd));
        even = nextEven;
    }
    return i;
}
#endif

}  // namespace

void InverseLiftInto(const float* in, int n, float step, float* out) {
    const int m = n / 2;
    const float* lo = in;
    const float* hi = in + m;
    int i = 0;
#if defined(__SSE2__)
    i = LiftBlocks(lo, hi, m, step, out);
#endif
    // The rest one pair at a time; the odd output is the mean of its two even neighbours
    // (the one neighbour at the end) plus its high sample.
    for (; i < m; ++i) {
        const float even = EvenAt(lo, hi, i, step);
        out[2 * i] = even;
        out[2 * i + 1] =
            i + 1 < m ? (even + EvenAt(lo, hi, i + 1, step)) * 0.5f + hi[i] : even + hi[i];
    }
}

void InverseLift(float* line, int n, float step, float* scratch) {
    InverseLiftInto(line, n, step, scratch);
    std::memcpy(line, scratch, static_cast<size_t>(n) * sizeof(float));
}

WaveletScratch::WaveletScratch(int width, int height) : WaveletScratch(width, height, nullptr, 0) {}

WaveletScratch::WaveletScratch(int width, int height, float* borrowed, size_t floats)
    : width_(static_cast<size_t>(width)), lowHalf_(static_cast<size_t>(height / 2) * width_) {
    const size_t needed = lowHalf_ + 2 * width_;
    if (borrowed != nullptr && floats >= needed) {
        memory_ = borrowed;
    } else {
        own_ = platform::ZeroedArray<float>(needed);
        memory_ = own_.data();
    }
}

void InverseWavelet(float* matrix, int width, int height, int levels, float step,
                    const std::function<void()>& beforeLine, WaveletScratch* scratch,
                    bool finestLevel) {
    std::optional<WaveletScratch> own;
    if (scratch == nullptr) {
        scratch = &own.emplace(width, height);
    }
    for (int k = levels - 1; k >= (finestLevel ? 0 : 1); --k) {
        LiftLevel(matrix, static_cast<size_t>(width), width >> k, height >> k, step, *scratch,
                  beforeLine);
    }
}

FinestRows::FinestRows(int width, int height, float step, FetchRows fetch)
    : width_(static_cast<size_t>(width)),
      half_(height / 2),
      step_(step),
      fetch_(std::move(fetch)),
      lines_(8 * width_) {}

FinestRows::FinestRows(const float* matrix, int width, int height, float step)
    : FinestRows(width, height, step, [matrix, width, height](int i, float* low, float* high) {
          const auto n = static_cast<size_t>(width);
          std::memcpy(low, matrix + static_cast<size_t>(i) * n, n * sizeof(float));
          std::memcpy(high, matrix + static_cast<size_t>(height / 2 + i) * n, n * sizeof(float));
      }) {}

// The columns' even output 2i, as LiftLevel makes it.
void FinestRows::LiftEven(int i) {
    float* low = Line(3);
    fetch_(i, low, Line(6 + (i & 1)));
    DivideByStep(low, width_, step_);
    EvenRow(Line(i & 1), low, i == 0 ? nullptr : High(i - 1), High(i), static_cast<int>(width_));
    lastEven_ = i;
}

const float* FinestRows::Row(int r) {
    RowInto(r, Line(4));
    return Line(4);
}

void FinestRows::RowInto(int r, float* out) {
    const int i = r / 2;
    const int evenNeeded = std::min((r + 1) / 2, half_ - 1);
    while (lastEven_ < evenNeeded) {
        LiftEven(lastEven_ + 1);
    }
    const auto even = [&](int k) { return Line(k & 1); };
    const int n = static_cast<int>(width_);
    const float* columns = even(i);
    if (r % 2 != 0) {
        OddRow(Line(2), even(i), i + 1 < half_ ? even(i + 1) : nullptr, High(i), n);
        columns = Line(2);
    }
    InverseLiftInto(columns, n, step_, out);
}

}  // namespace wic
