#include "Components/ImgPanel/WicTransform.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace wic {

namespace {

// Columns are lifted a strip at a time: the strip's rows are copied out, and the rebuilt
// rows are written straight back, so every loop runs along a row of the strip (the
// arithmetic of neighbouring columns side by side) and the matrix is read row by row
// instead of one cache line per sample of a lone column. A strip of a tall level still
// fits the core's cache.
constexpr int kStrip = 64;

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

void LiftColumns(float* matrix, int width, int w, int h, float step, std::vector<float>& strip,
                 const std::function<void()>& beforeLine) {
    const int m = h / 2;
    for (int x0 = 0; x0 < w; x0 += kStrip) {
        const int columns = std::min(kStrip, w - x0);
        if (beforeLine) {
            for (int c = 0; c < columns; ++c) {
                beforeLine();
            }
        }
        const auto row = [&](int r) { return matrix + static_cast<size_t>(r) * width + x0; };
        const auto in = [&](int r) { return strip.data() + static_cast<size_t>(r) * columns; };
        for (int r = 0; r < h; ++r) {
            std::memcpy(in(r), row(r), static_cast<size_t>(columns) * sizeof(float));
        }
        DivideByStep(strip.data(), static_cast<size_t>(m) * columns, step);
        EvenRow(row(0), in(0), nullptr, in(m), columns);
        for (int i = 1; i < m; ++i) {
            EvenRow(row(2 * i), in(i), in(m + i - 1), in(m + i), columns);
            OddRow(row(2 * i - 1), row(2 * i - 2), row(2 * i), in(m + i - 1), columns);
        }
        OddRow(row(h - 1), row(h - 2), nullptr, in(h - 1), columns);
    }
}

}  // namespace

void InverseLift(float* line, int n, float step, float* scratch) {
    const int m = n / 2;
    float* lo = line;
    const float* hi = line + m;
    DivideByStep(lo, static_cast<size_t>(m), step);
    // Even samples first, then odd ones, each in a straight loop, then interleaved.
    float* even = scratch;
    float* odd = scratch + m;
    even[0] = lo[0] - hi[0] * 0.5f;
    for (int i = 1; i < m; ++i) {
        even[i] = lo[i] - (hi[i - 1] + hi[i]) * 0.25f;
    }
    for (int i = 0; i < m - 1; ++i) {
        odd[i] = (even[i] + even[i + 1]) * 0.5f + hi[i];
    }
    odd[m - 1] = even[m - 1] + hi[m - 1];
    for (int i = 0; i < m; ++i) {
        line[2 * i] = even[i];
        line[2 * i + 1] = odd[i];
    }
}

void InverseWavelet(float* matrix, int width, int height, int levels, float step,
                    const std::function<void()>& beforeLine) {
    std::vector<float> scratch(static_cast<size_t>(width));
    std::vector<float> strip(static_cast<size_t>(height) * kStrip);
    for (int k = levels - 1; k >= 0; --k) {
        const int w = width >> k;
        const int h = height >> k;
        LiftColumns(matrix, width, w, h, step, strip, beforeLine);
        for (int r = 0; r < h; ++r) {
            if (beforeLine) {
                beforeLine();
            }
            InverseLift(matrix + static_cast<size_t>(r) * width, w, step, scratch.data());
        }
    }
}

}  // namespace wic
