#include "Components/ImgPanel/WicTransform.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace wic {

namespace {

// Columns are lifted a strip at a time, as rows of a small buffer: the same arithmetic
// runs across the strip's columns side by side and the matrix is read row by row, instead
// of one cache line per sample of a lone column.
constexpr int kStrip = 16;

using Lane = float[kStrip];

void DivideLanes(Lane* rows, int count, float step) {
    if (step == 1.0f) {
        return;  // dividing by 1 changes nothing
    }
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < kStrip; ++c) {
            rows[i][c] /= step;
        }
    }
}

// The lifting of InverseLift on kStrip columns at once: in holds n rows (low half first),
// out receives the n rebuilt rows.
void LiftStrip(Lane* in, Lane* out, int n, float step) {
    const int m = n / 2;
    Lane* lo = in;
    const Lane* hi = in + m;
    DivideLanes(lo, m, step);
    for (int c = 0; c < kStrip; ++c) {
        out[0][c] = lo[0][c] - hi[0][c] * 0.5f;
    }
    for (int i = 1; i < m; ++i) {
        for (int c = 0; c < kStrip; ++c) {
            out[2 * i][c] = lo[i][c] - (hi[i - 1][c] + hi[i][c]) * 0.25f;
        }
    }
    for (int i = 0; i < m - 1; ++i) {
        for (int c = 0; c < kStrip; ++c) {
            out[2 * i + 1][c] = (out[2 * i][c] + out[2 * i + 2][c]) * 0.5f + hi[i][c];
        }
    }
    for (int c = 0; c < kStrip; ++c) {
        out[n - 1][c] = out[n - 2][c] + hi[m - 1][c];
    }
}

void LiftColumns(float* matrix, int width, int w, int h, float step,
                 const std::function<void()>& beforeLine) {
    // Lanes past a narrow last strip compute on stale but finite values and are never
    // written back.
    std::vector<Lane> in(static_cast<size_t>(h)), out(static_cast<size_t>(h));
    for (auto* buffer : {&in, &out}) {
        for (Lane& lane : *buffer) {
            std::fill(std::begin(lane), std::end(lane), 0.0f);
        }
    }
    for (int x0 = 0; x0 < w; x0 += kStrip) {
        const int columns = std::min(kStrip, w - x0);
        if (beforeLine) {
            for (int c = 0; c < columns; ++c) {
                beforeLine();
            }
        }
        const size_t bytes = static_cast<size_t>(columns) * sizeof(float);
        for (int r = 0; r < h; ++r) {
            std::memcpy(in[r], matrix + static_cast<size_t>(r) * width + x0, bytes);
        }
        LiftStrip(in.data(), out.data(), h, step);
        for (int r = 0; r < h; ++r) {
            std::memcpy(matrix + static_cast<size_t>(r) * width + x0, out[r], bytes);
        }
    }
}

}  // namespace

void InverseLift(float* line, int n, float step, float* scratch) {
    const int m = n / 2;
    float* lo = line;
    const float* hi = line + m;
    if (step != 1.0f) {
        for (int i = 0; i < m; ++i) {
            lo[i] /= step;
        }
    }
    float* y = scratch;
    y[0] = lo[0] - hi[0] * 0.5f;
    for (int i = 1; i < m; ++i) {
        y[2 * i] = lo[i] - (hi[i - 1] + hi[i]) * 0.25f;
    }
    for (int i = 0; i < m - 1; ++i) {
        y[2 * i + 1] = (y[2 * i] + y[2 * i + 2]) * 0.5f + hi[i];
    }
    y[n - 1] = y[n - 2] + hi[m - 1];
    std::memcpy(line, y, static_cast<size_t>(n) * sizeof(float));
}

void InverseWavelet(float* matrix, int width, int height, int levels, float step,
                    const std::function<void()>& beforeLine) {
    std::vector<float> scratch(static_cast<size_t>(width));
    for (int k = levels - 1; k >= 0; --k) {
        const int w = width >> k;
        const int h = height >> k;
        LiftColumns(matrix, width, w, h, step, beforeLine);
        for (int r = 0; r < h; ++r) {
            if (beforeLine) {
                beforeLine();
            }
            InverseLift(matrix + static_cast<size_t>(r) * width, w, step, scratch.data());
        }
    }
}

}  // namespace wic
