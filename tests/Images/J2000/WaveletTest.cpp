#include "Images/J2000/Wavelet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "Images/J2000/ComponentTransform.h"
#include "Images/J2000/SampleScaling.h"

namespace j2000 {
namespace {

// The forward transforms, written from the standard's analysis equations on the interleaved
// signal (coordinates i0 to i1 - 1, mirrored at both ends), in doubles for the 9/7 filter.
int Mirror(int k, int n) {
    return k < 0 ? -k : k >= n ? 2 * (n - 1) - k : k;
}

void Deinterleave(std::vector<double>& x, int i0, double* line, ptrdiff_t step) {
    const int n = static_cast<int>(x.size());
    int low = 0;
    for (int k = 0; k < n; ++k)
        low += ((i0 + k) & 1) == 0;
    int l = 0, h = 0;
    for (int k = 0; k < n; ++k) {
        if (((i0 + k) & 1) == 0)
            line[(l++) * step] = x[k];
        else
            line[(low + h++) * step] = x[k];
    }
}

void Analyse53(double* line, ptrdiff_t step, int i0, int i1) {
    const int n = i1 - i0;
    std::vector<double> x(n);
    for (int k = 0; k < n; ++k)
        x[k] = line[k * step];
    if (n == 1) {
        if (i0 & 1)
            line[0] = 2 * x[0];
        return;
    }
    std::vector<double> y = x;
    for (int k = 0; k < n; ++k)
        if ((i0 + k) & 1)
            y[k] = x[k] - std::floor((x[Mirror(k - 1, n)] + x[Mirror(k + 1, n)]) / 2);
    for (int k = 0; k < n; ++k)
        if (!((i0 + k) & 1))
            y[k] = x[k] + std::floor((y[Mirror(k - 1, n)] + y[Mirror(k + 1, n)] + 2) / 4);
    Deinterleave(y, i0, line, step);
}

void Analyse97(double* line, ptrdiff_t step, int i0, int i1) {
    const int n = i1 - i0;
    std::vector<double> y(n);
    for (int k = 0; k < n; ++k)
        y[k] = line[k * step];
    if (n == 1) {
        if (i0 & 1)
            line[0] = 2 * y[0];
        return;
    }
    const double a = -1.586134342059924, b = -0.052980118572961, g = 0.882911075530934,
                 d = 0.443506852043971, K = 1.230174104914001;
    auto lift = [&](int parity, double c) {
        for (int k = 0; k < n; ++k)
            if (((i0 + k) & 1) == parity)
                y[k] += c * (y[Mirror(k - 1, n)] + y[Mirror(k + 1, n)]);
    };
    lift(1, a);
    lift(0, b);
    lift(1, g);
    lift(0, d);
    for (int k = 0; k < n; ++k)
        y[k] = ((i0 + k) & 1) ? y[k] * K : y[k] / K;
    Deinterleave(y, i0, line, step);
}

using Analysis = void (*)(double*, ptrdiff_t, int, int);

// Analyses a picture into the layout the synthesis reads, level by level from full size.
std::vector<double> Analyse(std::vector<double> pic, int x0, int y0, int x1, int y1, int levels,
                            Analysis analyse) {
    const ptrdiff_t stride = x1 - x0;
    for (int r = levels; r >= 1; --r) {
        const int shift = levels - r;
        const int u0 = CeilDivPow2(x0, shift), u1 = CeilDivPow2(x1, shift);
        const int v0 = CeilDivPow2(y0, shift), v1 = CeilDivPow2(y1, shift);
        for (int col = 0; col < u1 - u0; ++col)
            analyse(pic.data() + col, stride, v0, v1);
        for (int row = 0; row < v1 - v0; ++row)
            analyse(pic.data() + row * stride, 1, u0, u1);
    }
    return pic;
}

struct Geometry {
    int x0, y0, x1, y1, levels;
};

const Geometry kGeometries[] = {{0, 0, 1, 1, 1},     {1, 0, 2, 1, 1},
                                {0, 0, 2, 2, 1},     {3, 5, 4, 9, 2},
                                {0, 0, 17, 9, 3},    {5, 3, 38, 30, 4},
                                {1, 1, 64, 64, 5},   {7, 2, 40, 11, 3},
                                {3, 1, 150, 20, 2},     // full 64-column strips and a rest
                                {2, 1, 139, 4300, 2}};  // columns in narrower strips

TEST(WaveletTest, ReversibleSynthesisUndoesTheAnalysisExactly) {
    std::mt19937 random(7);
    for (const Geometry& g : kGeometries) {
        const int w = g.x1 - g.x0, h = g.y1 - g.y0;
        std::vector<double> pic(static_cast<size_t>(w) * h);
        for (double& v : pic)
            v = static_cast<int>(random() % 512) - 256;
        const auto coefficients = Analyse(pic, g.x0, g.y0, g.x1, g.y1, g.levels, Analyse53);
        std::vector<int32_t> data(coefficients.begin(), coefficients.end());
        ASSERT_TRUE(SynthesiseReversible({data.data(), w, g.x0, g.y0, g.x1, g.y1, g.levels}));
        for (size_t i = 0; i < pic.size(); ++i) {
            ASSERT_EQ(data[i], pic[i])
                << "sample " << i << " of " << w << "x" << h << " at " << g.x0 << "," << g.y0;
        }
    }
}

TEST(WaveletTest, HandComputedReversibleLines) {
    std::vector<int32_t> buffer(8);
    int32_t pair[2] = {10, 4};  // L, H at coordinates 0, 1
    SynthesiseLine53(pair, 1, 0, 2, buffer.data());
    EXPECT_EQ(pair[0], 8);   // 10 - ((4 + 4 + 2) >> 2)
    EXPECT_EQ(pair[1], 12);  // 4 + ((8 + 8) >> 1)
    int32_t odd[1] = {14};   // one high-pass sample at an odd coordinate
    SynthesiseLine53(odd, 1, 3, 4, buffer.data());
    EXPECT_EQ(odd[0], 7);
    int32_t four[4] = {5, 9, -2, 6};  // L0 L1 H0 H1 at coordinates 0..3
    SynthesiseLine53(four, 1, 0, 4, buffer.data());
    // L0 = 5 - ((-2 - 2 + 2) >> 2) = 6, L1 = 9 - ((-2 + 6 + 2) >> 2) = 8,
    // H0 = -2 + ((6 + 8) >> 1) = 5, H1 = 6 + ((8 + 8) >> 1) = 14.
    EXPECT_EQ(std::vector<int32_t>(four, four + 4), (std::vector<int32_t>{6, 5, 8, 14}));
}

// Pictures that drive the synthesis's sums to their extremes (full-range checkerboards, impulses
// and steps) beside noise, at every precision and level count, in the fixed point the decoder
// keeps for that precision (and in its lanes): every sample must land within a twentieth of a
// level of the exact one, where a lifting sum that wraps lands thousands of levels off.
enum class Pattern { Noise, Checkerboard, Impulses, Step };

double PatternSample(Pattern pattern, int x, int y, int w, int bits, std::mt19937& random) {
    const int low = -(1 << (bits - 1)), high = (1 << (bits - 1)) - 1;
    switch (pattern) {
        case Pattern::Noise:
            return low + static_cast<int>(random() % (1u << bits));
        case Pattern::Checkerboard:
            return (x + y) & 1 ? high : low;
        case Pattern::Impulses:
            return x % 7 == 3 && y % 5 == 2 ? high : low;
        case Pattern::Step:
            return x < w / 2 ? low : high;
    }
    return 0;
}

TEST(WaveletTest, IrreversibleSynthesisLandsWithinATwentiethAtEveryPrecisionAndLevelCount) {
    std::vector<Geometry> geometries(std::begin(kGeometries), std::end(kGeometries));
    for (int levels = 0; levels <= 8; ++levels)
        geometries.push_back({5, 3, 75, 50, levels});
    std::mt19937 random(11);
    for (const Pattern pattern :
         {Pattern::Noise, Pattern::Checkerboard, Pattern::Impulses, Pattern::Step})
        for (int bits = 1; bits <= 16; ++bits) {
            double worst = 0;
            for (const Geometry& g : geometries) {
                const int w = g.x1 - g.x0, h = g.y1 - g.y0;
                const double one = 1 << FixedFractionBits(bits);
                std::vector<double> pic(static_cast<size_t>(w) * h);
                for (int i = 0; i < w * h; ++i)
                    pic[i] = PatternSample(pattern, g.x0 + i % w, g.y0 + i / w, g.x1, bits, random);
                const auto coefficients = Analyse(pic, g.x0, g.y0, g.x1, g.y1, g.levels, Analyse97);
                std::vector<int32_t> data;
                for (double c : coefficients)
                    data.push_back(static_cast<int32_t>(std::lround(c * one)));
                ASSERT_TRUE(SynthesiseIrreversible(
                    {data.data(), w, g.x0, g.y0, g.x1, g.y1, g.levels, NeedsWideLifting(bits)}));
                for (size_t i = 0; i < pic.size(); ++i)
                    worst = std::max(worst, std::abs(data[i] / one - pic[i]));
            }
            EXPECT_LT(worst, 0.05)
                << "pattern " << static_cast<int>(pattern) << ", " << bits << " bits";
        }
}

// Every pass runs as jobs through the runner: jobs run in any order on any worker's buffer give
// the samples of the plain synthesis, and a runner that stops ends the synthesis there. No job
// holds more than 2^18 samples or 16 columns, however tall the area: a stop waits for the jobs
// running.
TEST(WaveletTest, PassesRunAsIndependentJobsAndEndAtTheRunnersStop) {
    for (const Geometry& g : {Geometry{3, 1, 403, 230, 4}, Geometry{0, 0, 130, 20000, 1}}) {
        const int w = g.x1 - g.x0, h = g.y1 - g.y0;
        std::mt19937 random(5);
        std::vector<int32_t> coefficients(static_cast<size_t>(w) * h);
        for (int32_t& v : coefficients)
            v = static_cast<int32_t>(random() % 4096) - 2048;
        using Synthesis = bool (*)(const WaveletArea&, const PassRunner&);
        for (const Synthesis synthesise :
             {Synthesis{SynthesiseReversible}, Synthesis{SynthesiseIrreversible}})
            for (const bool wide : {false, true}) {
                const WaveletArea plain{nullptr, w, g.x0, g.y0, g.x1, g.y1, g.levels, wide};
                std::vector<int32_t> expected = coefficients, shuffled = coefficients;
                WaveletArea area = plain;
                area.data = expected.data();
                ASSERT_TRUE(synthesise(area, {}));
                int runs = 0;
                size_t fewestJobs = SIZE_MAX;
                const PassRunner backwards{3, [&](size_t count, const PassRunner::Job& job) {
                                               ++runs;
                                               fewestJobs = std::min(fewestJobs, count);
                                               for (size_t i = count; i-- > 0;)
                                                   job(i, static_cast<int>(i % 3));
                                               return true;
                                           }};
                area.data = shuffled.data();
                ASSERT_TRUE(synthesise(area, backwards));
                EXPECT_EQ(shuffled, expected);
                EXPECT_EQ(runs, 2 * g.levels);  // rows and columns of every level
                EXPECT_GE(fewestJobs * std::max<size_t>(size_t{1} << 18, 16 * size_t{1} * h),
                      size_t{1} * w * h)
                << w << "x" << h;
                for (int stopAt = 1; stopAt <= runs; ++stopAt) {
                    int calls = 0;
                    const PassRunner stopping{1, [&](size_t count, const PassRunner::Job& job) {
                                                  if (++calls >= stopAt)
                                                      return false;
                                                  for (size_t i = 0; i < count; ++i)
                                                      job(i, 0);
                                                  return true;
                                              }};
                    std::vector<int32_t> data = coefficients;
                    area.data = data.data();
                    EXPECT_FALSE(synthesise(area, stopping));
                    EXPECT_EQ(calls, stopAt);
                }
            }
    }
}

TEST(WaveletTest, ThirtyTwoBitFixedPointProductsEqualTheWideOnes) {
    std::mt19937 random(3);
    for (int i = 0; i < 100000; ++i) {
        const auto v = static_cast<int32_t>(random());
        for (int32_t c : {-25987, -868, 14466, 7266, 20155, 13318, 22970, 29032})
            ASSERT_EQ(FixMul(v, c), static_cast<int32_t>((int64_t{v} * c) >> 14))
                << v << " x " << c;
    }
}

TEST(ComponentTransformTest, ReversibleTransformRoundTripsAndIrreversibleMatchesTheFormula) {
    std::vector<int32_t> r = {0, 255, 17, -128, 127}, g = {0, 0, 200, 127, -128},
                         b = {255, 255, 3, 5, 0};
    auto c0 = r, c1 = g, c2 = b;
    mct_rct(c0.data(), c1.data(), c2.data(), r.size());
    mct_irct(c0.data(), c1.data(), c2.data(), r.size());
    EXPECT_EQ(c0, r);
    EXPECT_EQ(c1, g);
    EXPECT_EQ(c2, b);

    // 16-bit values with 12 fraction bits: the products must hold far more than 14 bits.
    const double y = 30000, cb = -20000, cr = 25000;
    int32_t p0 = static_cast<int32_t>(y * 4096), p1 = static_cast<int32_t>(cb * 4096),
            p2 = static_cast<int32_t>(cr * 4096);
    mct_iict(&p0, &p1, &p2, 1);
    EXPECT_NEAR(p0 / 4096.0, y + 1.402 * cr, 0.01);
    EXPECT_NEAR(p1 / 4096.0, y - 0.344136 * cb - 0.714136 * cr, 0.01);
    EXPECT_NEAR(p2 / 4096.0, y + 1.772 * cb, 0.01);
}

}  // namespace
}  // namespace j2000
