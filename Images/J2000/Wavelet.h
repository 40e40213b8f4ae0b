#pragma once
// Inverse discrete wavelet transforms of a tile-component, in place: the reversible 5/3
// filter in integers and the irreversible 9/7 filter in fixed point (constants with 28 fraction
// bits).
//
// Layout: the tile-component covers [x0, x1) x [y0, y1) on the reference grid of its own
// resolution; at every decomposition level each line holds its low-pass samples first and
// its high-pass samples after them, so the lowest level's LL band sits in the top-left
// corner with HL to its right, LH below and HH diagonally.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "Images/J2000/FixedPoint.h"

namespace j2000 {

struct WaveletArea {
    int32_t* data;     // sample (0, 0) of the tile-component
    ptrdiff_t stride;  // entries from one row to the next
    int x0, y0, x1, y1;
    int levels;
    // The 9/7 lifting in 64-bit lanes, for samples whose sums need more than 32 bits
    // (NeedsWideLifting); the plane itself stays 32-bit.
    bool wideLifting = false;
};

// Where the passes of a synthesis run: `run(count, job)` calls job(index, worker) once for
// every index below count, on one thread or several at once (`worker`, below `workers`, names
// the thread, for its scratch memory), and answers false when it stopped before every job had
// run. The default runs every job on the calling thread.
struct PassRunner {
    using Job = std::function<void(size_t index, int worker)>;
    int workers = 1;
    std::function<bool(size_t count, const Job& job)> run;
};

// The standard's 2-D synthesis: from the lowest resolution up, every row and then every
// column of the level's area is synthesised. Returns false when a line buffer cannot be had
// or the runner stopped.
bool SynthesiseReversible(const WaveletArea& area, const PassRunner& runner = {});
bool SynthesiseIrreversible(const WaveletArea& area, const PassRunner& runner = {});

// One line of length i1 - i0 starting at coordinate i0 (low-pass samples first), samples step
// entries apart; buffer holds at least i1 - i0 + 4 entries. Exposed for tests.
void SynthesiseLine53(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* buffer);
void SynthesiseLine97(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* buffer);

// Integer helpers of the tile geometry: ceil(a / 2^n) and floor(a / 2^n) for a >= 0.
inline int CeilDivPow2(int a, int n) {
    return static_cast<int>((static_cast<int64_t>(a) + (int64_t{1} << n) - 1) >> n);
}

}  // namespace j2000
