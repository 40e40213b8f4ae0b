#include "Images/J2000/Wavelet.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Images/J2000/FixedPoint.h"

namespace j2000 {

namespace {

// The lifting constants of the 9/7 filter.
constexpr FixConstant kAlpha = MakeFixConstant(-1.586134342059924);
constexpr FixConstant kBeta = MakeFixConstant(-0.052980118572961);
constexpr FixConstant kGamma = MakeFixConstant(0.882911075530934);
constexpr FixConstant kDelta = MakeFixConstant(0.443506852043971);
constexpr FixConstant kScaleLow = MakeFixConstant(1.230174104914001);  // K
constexpr FixConstant kScaleHigh = MakeFixConstant(1 / 1.230174104914001);

// A line (or a strip of `lanes` neighbouring columns) split into its low-pass and high-pass
// samples, each array in coordinate order with `lanes` values per coordinate and one padding
// entry before and after it. The padding holds the mirrored neighbour (the symmetric extension
// reaches one sample out), so every lifting step is one flat loop over contiguous memory,
// which the compiler vectorises for rows and strips alike. T is the lane: 32 bits, or 64 for
// the 9/7 lifting of deep samples.
template <class T>
struct SplitLine {
    T* low;   // entry 0 of the low-pass samples
    T* high;  // entry 0 of the high-pass samples
    int lowCount, highCount;
    int lanes;
    int parity;  // i0 & 1: 0 when the first coordinate holds a low-pass sample

    // Lays the two arrays out in a buffer of at least BufferEntries(n, lanes) values.
    SplitLine(T* buffer, int i0, int i1, int lanesPerEntry)
        : lowCount((i1 + 1) / 2 - (i0 + 1) / 2),
          highCount(i1 / 2 - i0 / 2),
          lanes(lanesPerEntry),
          parity(i0 & 1) {
        low = buffer + lanes;
        high = low + static_cast<ptrdiff_t>(lowCount + 2) * lanes;
    }
    static size_t BufferEntries(int n, int lanes) { return (static_cast<size_t>(n) + 4) * lanes; }
};

// Copies the first and last entries of an array into its padding.
template <class T>
inline void Mirror(T* x, int count, int lanes) {
    std::memcpy(x - lanes, x, sizeof(T) * lanes);
    std::memcpy(x + static_cast<ptrdiff_t>(count) * lanes,
                x + static_cast<ptrdiff_t>(count - 1) * lanes, sizeof(T) * lanes);
}

// x[e] = step(x[e], left[e], right[e]) over `count` values.
template <class T, class Step>
inline void LiftRun(T* J2K_RESTRICT x, const T* J2K_RESTRICT left, const T* J2K_RESTRICT right,
                    ptrdiff_t count, Step step) {
    for (ptrdiff_t e = 0; e < count; ++e)
        x[e] = step(x[e], left[e], right[e]);
}

// Updates the low-pass samples from their two high-pass neighbours. A low sample at coordinate
// 2m sits between the high ones at 2m - 1 and 2m + 1: entries j - 1 and j when the line starts
// on a low sample, j and j + 1 when it starts on a high one.
template <class T, class Step>
inline void LiftLow(const SplitLine<T>& s, Step step) {
    Mirror(s.high, s.highCount, s.lanes);
    const T* left = s.high + static_cast<ptrdiff_t>(s.parity - 1) * s.lanes;
    LiftRun(s.low, left, left + s.lanes, static_cast<ptrdiff_t>(s.lowCount) * s.lanes, step);
}

// Likewise the high-pass samples from their low-pass neighbours.
template <class T, class Step>
inline void LiftHigh(const SplitLine<T>& s, Step step) {
    Mirror(s.low, s.lowCount, s.lanes);
    const T* left = s.low - static_cast<ptrdiff_t>(s.parity) * s.lanes;
    LiftRun(s.high, left, left + s.lanes, static_cast<ptrdiff_t>(s.highCount) * s.lanes, step);
}

// The 5/3 synthesis of a split line with at least two coordinates.
J2K_VECTOR_CLONES void Lift53(const SplitLine<int32_t>& s) {
    LiftLow(s, [](int32_t v, int32_t l, int32_t r) {
        return WrapSub(v, WrapAdd(WrapAdd(l, r), 2) >> 2);
    });
    LiftHigh(s, [](int32_t v, int32_t l, int32_t r) { return WrapAdd(v, WrapAdd(l, r) >> 1); });
}

// The 9/7 synthesis in fixed point, likewise. The low samples' scaling joins their first
// lifting step (it needs only the already scaled high samples), saving a pass.
template <class T>
J2K_ALWAYS_INLINE void Lift97Steps(const SplitLine<T>& s) {
    T* J2K_RESTRICT high = s.high;
    const ptrdiff_t highValues = static_cast<ptrdiff_t>(s.highCount) * s.lanes;
    for (ptrdiff_t e = 0; e < highValues; ++e)
        high[e] = FixMul(high[e], kScaleHigh);
    LiftLow(s, [](T v, T l, T r) {
        return WrapSub(FixMul(v, kScaleLow), FixMul(WrapAdd(l, r), kDelta));
    });
    LiftHigh(s, [](T v, T l, T r) { return WrapSub(v, FixMul(WrapAdd(l, r), kGamma)); });
    LiftLow(s, [](T v, T l, T r) { return WrapSub(v, FixMul(WrapAdd(l, r), kBeta)); });
    LiftHigh(s, [](T v, T l, T r) { return WrapSub(v, FixMul(WrapAdd(l, r), kAlpha)); });
}

J2K_VECTOR_CLONES void Lift97(const SplitLine<int32_t>& s) {
    Lift97Steps(s);
}

J2K_VECTOR_CLONES void Lift97Wide(const SplitLine<int64_t>& s) {
    Lift97Steps(s);
}

// A line of one sample: an odd coordinate holds a high-pass sample of twice the value.
void SingleSample(int32_t* sample, int i0) {
    if (i0 & 1)
        *sample /= 2;
}

// Samples step entries apart: the stored line (low-pass first) into the split buffer, and the
// synthesised samples back in coordinate order. A 64-bit lane goes back to the plane cut to
// 32 bits, which holds every sample of a picture in range.
template <class T>
void Split(const int32_t* line, ptrdiff_t step, const SplitLine<T>& s) {
    for (int j = 0; j < s.lowCount; ++j)
        s.low[j] = line[j * step];
    const int32_t* stored = line + s.lowCount * step;
    for (int j = 0; j < s.highCount; ++j)
        s.high[j] = stored[j * step];
}

template <class T>
void Merge(const SplitLine<T>& s, int32_t* line, ptrdiff_t step) {
    int32_t* even = line + s.parity * step;
    int32_t* odd = line + (1 - s.parity) * step;
    for (int j = 0; j < s.lowCount; ++j)
        even[2 * j * step] = static_cast<int32_t>(s.low[j]);
    for (int j = 0; j < s.highCount; ++j)
        odd[2 * j * step] = static_cast<int32_t>(s.high[j]);
}

// The same for a row, whose samples are contiguous: block copies in, and one loop writing
// coordinate pairs out, which the compiler turns into vector interleaves.
template <class T>
void SplitRow(const int32_t* J2K_RESTRICT row, const SplitLine<T>& s) {
    if constexpr (sizeof(T) == sizeof(int32_t)) {
        std::memcpy(s.low, row, sizeof(int32_t) * s.lowCount);
        std::memcpy(s.high, row + s.lowCount, sizeof(int32_t) * s.highCount);
    } else {
        Split(row, 1, s);
    }
}

template <class T>
void MergeRow(const SplitLine<T>& s, int32_t* J2K_RESTRICT row) {
    // The row's first coordinate belongs to `first`, which holds as many samples as `second`
    // or one more.
    const T* J2K_RESTRICT first = s.parity ? s.high : s.low;
    const T* J2K_RESTRICT second = s.parity ? s.low : s.high;
    const int pairs = s.parity ? s.lowCount : s.highCount;
    for (int j = 0; j < pairs; ++j) {
        row[2 * j] = static_cast<int32_t>(first[j]);
        row[2 * j + 1] = static_cast<int32_t>(second[j]);
    }
    if (s.lowCount + s.highCount > 2 * pairs)
        row[2 * pairs] = static_cast<int32_t>(first[pairs]);
}

template <class T>
using SplitFilter = void (*)(const SplitLine<T>&);

template <class T>
void SynthesiseLine(int32_t* line, ptrdiff_t step, int i0, int i1, T* buffer,
                    SplitFilter<T> filter) {
    if (i1 - i0 == 1)
        SingleSample(line, i0);
    if (i1 - i0 < 2)
        return;
    const SplitLine<T> s(buffer, i0, i1, 1);
    if (step == 1) {
        SplitRow(line, s);
        filter(s);
        MergeRow(s, line);
        return;
    }
    Split(line, step, s);
    filter(s);
    Merge(s, line, step);
}

// Copies `lanes` values; a constant count becomes a few vector moves instead of a call.
template <int Lanes, class To, class From>
inline void CopyLanes(To* J2K_RESTRICT to, const From* J2K_RESTRICT from, int lanes) {
    const int count = Lanes > 0 ? Lanes : lanes;
    for (int c = 0; c < count; ++c)
        to[c] = static_cast<To>(from[c]);
}

// Columns [0, lanes) of a level's area, rows i0..i1 of the level, as one strip: rows of the
// stored layout (low-pass rows first) into the split buffer, and back in coordinate order.
template <int Lanes, class T>
void SynthesiseStrip(int32_t* data, ptrdiff_t stride, int lanes, int i0, int i1, T* buffer,
                     SplitFilter<T> filter) {
    const SplitLine<T> s(buffer, i0, i1, lanes);
    for (int j = 0; j < s.lowCount; ++j)
        CopyLanes<Lanes>(s.low + j * lanes, data + j * stride, lanes);
    const int32_t* storedHigh = data + s.lowCount * stride;
    for (int j = 0; j < s.highCount; ++j)
        CopyLanes<Lanes>(s.high + j * lanes, storedHigh + j * stride, lanes);
    filter(s);
    int32_t* even = data + s.parity * stride;
    int32_t* odd = data + (1 - s.parity) * stride;
    for (int j = 0; j < s.lowCount; ++j)
        CopyLanes<Lanes>(even + 2 * j * stride, s.low + j * lanes, lanes);
    for (int j = 0; j < s.highCount; ++j)
        CopyLanes<Lanes>(odd + 2 * j * stride, s.high + j * lanes, lanes);
}

// Strips this wide read and write four whole cache lines of every row they touch, enough for
// the processor to fetch ahead within a row, while the split buffer of a 4000-row column (1 MiB)
// stays in the second-level cache.
constexpr int kStripLanes = 64;

// A strip's split buffer holds about this many values: columns taller than about 4000 rows go
// in narrower strips, so that a thread's buffer and a job (during which a stop waits) grow
// less with the picture's height; but never narrower than a cache line of 32-bit samples, or
// the strip would read a whole line of every row for a sample or two.
constexpr int64_t kStripValues = int64_t{1} << 18;
constexpr int kFewestLanes = 16;

// The columns of one strip of a level `height` rows tall.
int StripLanes(int height) {
    return static_cast<int>(
        std::clamp<int64_t>(kStripValues / (int64_t{height} + 4), kFewestLanes, kStripLanes));
}

// Columns [c0, c1) of a level's area, in strips of `lanes` columns.
template <class T>
void SynthesiseColumns(int32_t* data, ptrdiff_t stride, int c0, int c1, int i0, int i1, int lanes,
                       T* buffer, SplitFilter<T> filter) {
    if (i1 - i0 == 1) {
        for (int c = c0; c < c1; ++c)
            SingleSample(data + c, i0);
    }
    if (i1 - i0 < 2)
        return;
    int col = c0;
    if (lanes == kStripLanes) {
        for (; col + kStripLanes <= c1; col += kStripLanes)
            SynthesiseStrip<kStripLanes>(data + col, stride, kStripLanes, i0, i1, buffer, filter);
    }
    for (; col < c1; col += lanes)
        SynthesiseStrip<0>(data + col, stride, std::min(lanes, c1 - col), i0, i1, buffer, filter);
}

}  // namespace

void SynthesiseLine53(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* buffer) {
    SynthesiseLine(line, step, i0, i1, buffer, Lift53);
}

void SynthesiseLine97(int32_t* line, ptrdiff_t step, int i0, int i1, int32_t* buffer) {
    SynthesiseLine(line, step, i0, i1, buffer, Lift97);
}

namespace {

// About this many samples make one job of a pass: a pass over a small level (or a small tile)
// is one job on the calling thread, and each job ends, and lets a stop be seen, within a
// fraction of a millisecond.
constexpr int64_t kJobSamples = int64_t{1} << 15;

// Runs every job of a pass on the calling thread.
bool RunHere(size_t count, const PassRunner::Job& job) {
    for (size_t i = 0; i < count; ++i)
        job(i, 0);
    return true;
}

template <class T>
bool Synthesise(const WaveletArea& a, const PassRunner& runner, SplitFilter<T> filter) {
    const int workers = std::max(runner.workers, 1);
    const auto run = [&runner](size_t count, const PassRunner::Job& job) {
        return runner.run ? runner.run(count, job) : RunHere(count, job);
    };
    // One split buffer per thread, for a row or a strip, left untouched (and so unmapped) by
    // threads that get no job.
    size_t entries = SplitLine<T>::BufferEntries(std::max(a.x1 - a.x0, 1), 1);
    for (int r = 1; r <= a.levels; ++r) {
        const int shift = a.levels - r;
        const int height = CeilDivPow2(a.y1, shift) - CeilDivPow2(a.y0, shift);
        entries = std::max(entries, SplitLine<T>::BufferEntries(height, StripLanes(height)));
    }
    std::vector<std::unique_ptr<T[]>> buffers(static_cast<size_t>(workers));
    for (auto& buffer : buffers) {
        buffer.reset(new (std::nothrow) T[entries]);
        if (!buffer)
            return false;
    }
    for (int r = 1; r <= a.levels; ++r) {
        const int shift = a.levels - r;
        const int u0 = CeilDivPow2(a.x0, shift), u1 = CeilDivPow2(a.x1, shift);
        const int v0 = CeilDivPow2(a.y0, shift), v1 = CeilDivPow2(a.y1, shift);
        const int width = u1 - u0, height = v1 - v0;
        const int rowsPerJob =
            static_cast<int>(std::max<int64_t>(1, kJobSamples / std::max(width, 1)));
        const auto rows = [&](size_t job, int worker) {
            const int first = static_cast<int>(job) * rowsPerJob;
            for (int row = first; row < std::min(height, first + rowsPerJob); ++row)
                SynthesiseLine(a.data + row * a.stride, 1, u0, u1, buffers[worker].get(), filter);
        };
        const int lanes = StripLanes(height);
        const int strips = (width + lanes - 1) / lanes;
        const int stripsPerJob = static_cast<int>(
            std::max<int64_t>(1, kJobSamples / (int64_t{lanes} * std::max(height, 1))));
        const auto columns = [&](size_t job, int worker) {
            const int c0 = static_cast<int>(job) * stripsPerJob * lanes;
            SynthesiseColumns(a.data, a.stride, c0, std::min(width, c0 + stripsPerJob * lanes), v0,
                              v1, lanes, buffers[worker].get(), filter);
        };
        if (!run(static_cast<size_t>((height + rowsPerJob - 1) / rowsPerJob), rows) ||
            !run(static_cast<size_t>((strips + stripsPerJob - 1) / stripsPerJob), columns))
            return false;
    }
    return true;
}

}  // namespace

bool SynthesiseReversible(const WaveletArea& area, const PassRunner& runner) {
    return Synthesise<int32_t>(area, runner, Lift53);
}

bool SynthesiseIrreversible(const WaveletArea& area, const PassRunner& runner) {
    if (area.wideLifting)
        return Synthesise<int64_t>(area, runner, Lift97Wide);
    return Synthesise<int32_t>(area, runner, Lift97);
}

}  // namespace j2000
