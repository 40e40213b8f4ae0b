// The area filters against their definition: kernels, averages at every kind, depth, scale
// and size, straight copies, sources given as runs or averaged in blocks, failure codes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "tests/common/PhotoPicture.h"

namespace {

using Rows = std::vector<std::vector<uint8_t>>;  // top row first

FilterParams Params(int w, int h, int srcBpp, float sx, float sy, uint8_t kind) {
    FilterParams p;
    p.srcWidth = w;
    p.srcHeight = h;
    p.srcBpp = uint8_t(srcBpp);
    p.dstBpp = 24;
    p.scaleX = sx;
    p.scaleY = sy;
    p.kind = kind;
    return p;
}

// The kernel over every source pixel, however large the source.
FilterParams Exact(FilterParams p) {
    p.blockSide = 1;
    return p;
}

// Streams source rows through the filter the way a decoder does; returns the output rows.
// The averaging itself (filter_create), or as the decoders open it (filter_open: a straight
// copy where that gives the same bytes). feed(slot, y) writes source row y into a slot.
Rows RunFilter(FilterParams& p, const std::function<void(uint8_t*, size_t)>& feed,
               bool asDecodersOpenIt = false) {
    EXPECT_EQ(asDecodersOpenIt ? filter_open(&p) : filter_create(&p), 0u);
    FilterGuard guard(p);
    Rows out(size_t(p.dstHeight), std::vector<uint8_t>(DibRowBytesFor(p.dstWidth, p.dstBpp)));
    size_t next = 0;
    for (auto& row : out) {
        FilterNextRow(p, row.data(), [&](uint8_t* slot) { feed(slot, next++); });
    }
    return out;
}

Rows RunFilter(FilterParams& p, const Rows& source, bool asDecodersOpenIt = false) {
    return RunFilter(
        p,
        [&source](uint8_t* slot, size_t y) {
            ASSERT_LT(y, source.size()) << "asked for a row past the picture";
            std::memcpy(slot, source[y].data(), source[y].size());
        },
        asDecodersOpenIt);
}

TEST(FilterCreate, RefusesUnusableParametersWithTheirCodes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct {
        const char* what;
        FilterParams p;
        unsigned long code;
    } cases[] = {
        {"zero scale", Params(10, 10, 24, 0.0f, 0.5f, 12), ImgError::Unknown},
        {"negative scale", Params(10, 10, 24, 0.5f, -1.0f, 12), ImgError::Unknown},
        {"nan scale", Params(10, 10, 24, nan, 0.5f, 12), ImgError::Unknown},
        {"empty source", Params(0, 10, 24, 0.5f, 0.5f, 12), ImgError::Unknown},
        {"odd bit count", Params(10, 10, 2, 0.5f, 0.5f, 12), ImgError::Unknown},
        {"output past the pixel cap", Params(100000, 100000, 24, 1.0f, 1.0f, 12),
         ImgError::NotEnoughMemory},
        // 2^31-byte rows, a window of 2^17 of them: more than any address space holds.
        {"window cannot be allocated", Exact(Params(1 << 29, 1 << 17, 32, 1e-6f, 1e-6f, 12)),
         ImgError::NotEnoughMemory},
    };
    for (auto& c : cases) {
        EXPECT_EQ(filter_create(&c.p), c.code) << c.what;
        EXPECT_EQ(filter_feed_row(&c.p), nullptr) << c.what;
        filter_destroy(&c.p);
    }
    EXPECT_EQ(filter_create(nullptr), ImgError::Unknown);
}

// The kernels written straight from their formulas, d in output pixels, 0 <= d < K.
double FormulaKernel(int kind, double d) {
    const double pi = 3.14159265358979323846;
    const auto sinc = [pi](double x) { return x == 0 ? 1.0 : std::sin(pi * x) / (pi * x); };
    const double b = 1.0 / 3, c = 1.0 / 3;
    switch (kind) {
        case 1:
            return 2 * d * d * d - 3 * d * d + 1;
        case 3:
        case 9:
            return 1 - d;
        case 4:
            return d < 0.5 ? 0.75 - d * d : 0.5 * (d - 1.5) * (d - 1.5);
        case 5:
            return d * d >= 2 ? 0
                   : d < 1    ? d * d * d / 2 - d * d + 2.0 / 3
                              : std::pow(2 - d, 3) / 6;
        case 6:
            return sinc(d) * sinc(d / 3);
        case 7:
            return d < 1 ? ((12 - 9 * b - 6 * c) * d * d * d + (-18 + 12 * b + 6 * c) * d * d + 6 -
                            2 * b) /
                               6
                         : ((-b - 6 * c) * d * d * d + (6 * b + 30 * c) * d * d +
                            (-12 * b - 48 * c) * d + 8 * b + 24 * c) /
                               6;
        case 8:
            return std::exp(-d * d / 2) / std::sqrt(2 * pi);
        case 11:
            return 0.42 + 0.5 * std::cos(pi * d) + 0.08 * std::cos(2 * pi * d);
        case 12:
            return 1 / (1 + d);
        default:
            return 1;
    }
}

double FormulaSupport(int kind) {
    return kind == 4 ? 1.5 : kind == 5 || kind == 7 ? 2 : kind == 6 || kind == 8 ? 3 : 1;
}

// Kind 10 has no formula: these values, the weight at d2 = i / 100, are its definition.
constexpr float kKind10Weights[100] = {
    1.0000f, 0.8972f, 0.8030f, 0.7168f, 0.6381f, 0.5665f, 0.5015f, 0.4425f, 0.3894f, 0.3415f,
    0.2986f, 0.2604f, 0.2264f, 0.1963f, 0.1699f, 0.1469f, 0.1270f, 0.1100f, 0.0956f, 0.0836f,
    0.0738f, 0.0659f, 0.0599f, 0.0555f, 0.0526f, 0.0509f, 0.0505f, 0.0510f, 0.0525f, 0.0548f,
    0.0578f, 0.0613f, 0.0653f, 0.0698f, 0.0745f, 0.0795f, 0.0847f, 0.0900f, 0.0953f, 0.1007f,
    0.1060f, 0.1113f, 0.1164f, 0.1214f, 0.1261f, 0.1307f, 0.1350f, 0.1391f, 0.1429f, 0.1464f,
    0.1496f, 0.1524f, 0.1550f, 0.1572f, 0.1591f, 0.1606f, 0.1618f, 0.1627f, 0.1632f, 0.1634f,
    0.1633f, 0.1628f, 0.1620f, 0.1609f, 0.1595f, 0.1579f, 0.1559f, 0.1536f, 0.1511f, 0.1484f,
    0.1454f, 0.1421f, 0.1387f, 0.1350f, 0.1312f, 0.1271f, 0.1229f, 0.1185f, 0.1140f, 0.1094f,
    0.1046f, 0.0997f, 0.0947f, 0.0896f, 0.0845f, 0.0793f, 0.0740f, 0.0687f, 0.0633f, 0.0580f,
    0.0526f, 0.0472f, 0.0418f, 0.0365f, 0.0311f, 0.0258f, 0.0205f, 0.0153f, 0.0101f, 0.0050f,
};

// The weight a kind gives a squared distance: flat kinds 1, the box 1 up to d2 = 1, the
// others their kernel (kind 10 its values) at the tabulated distance below the limit and 0
// from it on.
double FormulaWeight(int kind, float d2) {
    if (kind == 10)
        return d2 >= 1 ? 0 : kKind10Weights[int(100.0f * d2)];
    if (kind == 0 || kind > 12)
        return 1;
    if (kind == 2)
        return d2 <= 1 ? 1 : 0;
    const double support = FormulaSupport(kind);
    if (d2 >= support * support)
        return 0;
    return FormulaKernel(kind, std::sqrt(int(100.0f * d2) / 100.0));
}

TEST(FilterKernels, EveryKindFollowsItsFormulaUpToAndPastItsLimit) {
    for (int kind = 0; kind <= 13; ++kind) {
        for (int step = 0; step <= 1100; ++step) {
            for (float d2 : {step / 100.0f, step * 0.0093f}) {
                ASSERT_NEAR(filter_weight(d2, uint8_t(kind)), FormulaWeight(kind, d2), 2e-6)
                    << "kind " << kind << " d2 " << d2;
            }
        }
    }
    EXPECT_EQ(filter_weight(1.0f, 10), 0.0f);  // kind 10 too ends at its limit
}

// One output byte computed straight from the definition: the weighted average of the
// window's source pixels, d2 = (px - c sx)^2 + (py - r sy)^2 in output pixels; with no
// positive weight in the window, the nearest source pixel.
int DirectAverage(const Rows& src, int w, int h, float scale, int kind, int x, int y, int byte) {
    const double s = std::min(scale, 1.0f), reach = FormulaSupport(kind) / s;
    const double cx = x / double(scale), cy = y / double(scale);
    const int left = std::max(0.0, std::trunc(cx - reach));
    const int right = std::min(w - 1.0, std::trunc(cx + reach + 0.99999));
    const int top = std::max(0.0, std::trunc(cy - reach));
    const int bottom = std::min(h - 1.0, std::trunc(cy + reach + 0.99999));
    double sum = 0, weights = 0;
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c) {
            const double dx = cx * s - c * s, dy = cy * s - r * s;
            const double weight = FormulaWeight(kind, float(dx * dx) + float(dy * dy));
            sum += weight * src[r][3 * c + byte];
            weights += weight;
        }
    }
    if (weights <= 1e-9) {  // none, or only negative lobes
        const int c = std::clamp(int(std::lround(cx)), left, right);
        return src[std::clamp(int(std::lround(cy)), top, bottom)][3 * c + byte];
    }
    return std::clamp(int(std::lround(sum / weights)), 0, 255);
}

// Random bytes in every row, padding included.
Rows RandomBytes(int w, int h, int bpp, unsigned seed) {
    std::mt19937 random(seed);
    Rows rows(size_t(h), std::vector<uint8_t>(DibRowBytesFor(w, bpp)));
    for (auto& row : rows) {
        for (auto& byte : row)
            byte = uint8_t(random());
    }
    return rows;
}

// Each source pixel as blue, green, red, read the way bitmaps store it; an index past the
// palette is black.
Rows PlainTwentyFourBits(const Rows& src, int w, int bpp, const std::vector<RgbQuad>& palette) {
    Rows out(src.size(), std::vector<uint8_t>(DibRowBytesFor(w, 24)));
    for (size_t y = 0; y < src.size(); ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = src[y].data();
            uint8_t* d = &out[y][3 * x];
            if (bpp >= 24) {
                std::memcpy(d, s + bpp / 8 * x, 3);
            } else if (bpp == 16) {
                const unsigned v = s[2 * x] | (s[2 * x + 1] << 8);
                for (int c = 0; c < 3; ++c) {
                    const unsigned five = (v >> (5 * c)) & 31;
                    d[c] = uint8_t(five << 3 | five >> 2);
                }
            } else {
                const unsigned index =
                    (s[x * bpp / 8] >> (8 - bpp - x * bpp % 8)) & ((1 << bpp) - 1);
                const RgbQuad q = index < palette.size() ? palette[index] : RgbQuad{};
                d[0] = q.rgbBlue, d[1] = q.rgbGreen, d[2] = q.rgbRed;
            }
        }
    }
    return out;
}

// Random colours for indices up to 199; indices from 200 on read black.
std::vector<RgbQuad> RandomPalette() {
    std::vector<RgbQuad> palette(200);
    std::mt19937 random(11);
    for (auto& q : palette)
        q = RgbQuad{uint8_t(random()), uint8_t(random()), uint8_t(random()), 0};
    return palette;
}

// Every kind at every depth, scale and size (one pixel wide or high included) averages a
// random picture as the definition does, reading each depth as bitmaps store it.
TEST(FilterStreaming, EveryKindDepthScaleAndSizeMatchesTheDirectAverage) {
    std::vector<RgbQuad> palette = RandomPalette();
    const std::pair<int, int> sizes[] = {{17, 13}, {1, 1}, {1, 9}, {9, 1}};
    for (const auto& [w, h] : sizes) {
        for (int bpp : {32, 24, 16, 8, 4, 1}) {
            const Rows src = RandomBytes(w, h, bpp, unsigned(w * bpp + h));
            const Rows plain = PlainTwentyFourBits(src, w, bpp, palette);
            for (int kind = 0; kind <= 13; ++kind) {
                for (float scale : {1.0f, 0.5f, 0.37f, 0.8f, 0.23f, 1.6f}) {
                    FilterParams p = Params(w, h, bpp, scale, scale, uint8_t(kind));
                    p.palette = palette.data();
                    p.paletteSize = int(palette.size());
                    const Rows out = RunFilter(p, src);
                    int worst = 0;
                    for (int y = 0; y < p.dstHeight; ++y) {
                        for (int i = 0; i < 3 * p.dstWidth; ++i) {
                            const int want =
                                DirectAverage(plain, w, h, scale, kind, i / 3, y, i % 3);
                            worst = std::max(worst, std::abs(out[y][i] - want));
                        }
                    }
                    // 1: a distance that falls on a table step either side of it.
                    EXPECT_LE(worst, 1) << w << "x" << h << " bpp " << bpp << " kind " << kind
                                        << " scale " << scale;
                }
            }
        }
    }
}

TEST(FilterStreaming, OneToOneCopiesStraightExactlyWhereTheAveragingChangesNothing) {
    // Where the averaging hands every pixel of a random picture back, and only there, the
    // decoders' filter copies rows straight, to the same bytes, at every depth.
    const std::set<int> handsBack = {1, 3, 9, 10, 11, 12};
    std::vector<RgbQuad> palette = RandomPalette();
    for (int bpp : {32, 24, 16, 8, 4, 1}) {
        const Rows src = RandomBytes(11, 7, bpp, unsigned(bpp));
        const Rows plain = PlainTwentyFourBits(src, 11, bpp, palette);
        for (uint8_t kind = 0; kind <= 13; ++kind) {
            FilterParams averaged = Params(11, 7, bpp, 1.0f, 1.0f, kind);
            averaged.palette = palette.data();
            averaged.paletteSize = int(palette.size());
            FilterParams opened = averaged;
            const Rows byAveraging = RunFilter(averaged, src);
            const bool straight = filter_copies_straight(&opened);
            EXPECT_EQ(straight, handsBack.count(kind) == 1) << "kind " << int(kind);
            EXPECT_EQ(byAveraging == plain, straight) << "bpp " << bpp << " kind " << int(kind);
            EXPECT_EQ(RunFilter(opened, src, true), byAveraging)
                << "bpp " << bpp << " kind " << int(kind);
        }
    }
    // Only exactly 1:1 copies straight.
    const auto straightWith = [](const std::function<void(FilterParams&)>& change) {
        FilterParams p = Params(11, 7, 24, 1.0f, 1.0f, 12);
        change(p);
        return filter_copies_straight(&p);
    };
    EXPECT_FALSE(straightWith([](FilterParams& p) { p.scaleY = 0.999f; }));
    EXPECT_FALSE(straightWith([](FilterParams& p) { p.scaleX = 1.001f; }));
    EXPECT_FALSE(straightWith([](FilterParams& p) { p.srcShiftX = -0.375f; }));
    EXPECT_FALSE(straightWith([](FilterParams& p) { p.presetDstHeight = 8; }));
    EXPECT_TRUE(straightWith([](FilterParams& p) { p.presetDstWidth = 11; }));
}

// Rows of palette indices as a run-length file gives them: runs over index 0.
using RunRows = std::vector<std::vector<FilterRun>>;

RunRows RandomRuns(int w, int h, int colours, unsigned seed) {
    std::mt19937 random(seed);
    RunRows rows{size_t(h)};
    for (auto& row : rows) {
        for (int x = int(random() % 50); x < w; x += int(random() % 90)) {
            const int count = 1 + int(random() % 60);
            row.push_back({x, count, uint8_t(random() % colours)});
            x += count;  // runs may pass the row's end: they are cut
        }
    }
    return rows;
}

// The same rows as stored pixels of 8 or 1 bits.
Rows Pixels(const RunRows& runs, int w, int bpp) {
    Rows rows(runs.size(), std::vector<uint8_t>(DibRowBytesFor(w, bpp)));
    for (size_t y = 0; y < runs.size(); ++y) {
        for (const FilterRun& run : runs[y]) {
            for (int x = run.x; x < std::min(w, run.x + run.count); ++x) {
                if (bpp == 8) {
                    rows[y][x] = run.index;
                } else if (run.index != 0) {
                    rows[y][x / 8] |= uint8_t(0x80 >> (x % 8));
                }
            }
        }
    }
    return rows;
}

// Whether or not the source is averaged in blocks first, a row given as runs and the same
// row stored as 8-bit or 1-bit pixels come out alike, to the byte.
TEST(FilterBlocks, RowsGivenAsRunsOrAsBitsAverageLikeTheirPixels) {
    RgbQuad palette[4] = {{10, 200, 30, 0}, {250, 40, 90, 0}, {0, 0, 0, 0}, {77, 140, 255, 0}};
    const int w = 301, h = 203;
    for (int side : {1, 2, 5}) {
        for (int colours : {4, 2}) {
            const RunRows runs = RandomRuns(w, h, colours, unsigned(side * 10 + colours));
            FilterParams p = Params(w, h, 8, 0.06f, 0.06f, 12);
            p.blockSide = side;
            p.palette = palette;
            p.paletteSize = 4;
            const Rows want = RunFilter(p, Pixels(runs, w, 8));
            EXPECT_EQ(p.blockSide, side);
            FilterParams fromRuns = p;
            const auto feedRuns = [&fromRuns, &runs](uint8_t* slot, size_t y) {
                filter_fill_row(&fromRuns, slot, 0, runs.at(y).data(), runs.at(y).size());
            };
            EXPECT_EQ(RunFilter(fromRuns, feedRuns), want) << "side " << side;
            if (colours == 2) {
                FilterParams bits = p;
                bits.srcBpp = 1;
                EXPECT_EQ(RunFilter(bits, Pixels(runs, w, 1)), want) << "side " << side;
            }
        }
    }
}

// Blocks are weighed at their centre: on a photo-like picture the result differs from
// weighing every pixel by a level or two. Kind 0 weighs its whole window alike, whose edge
// then falls on a block's edge rather than a pixel's.
TEST(FilterBlocks, AveragedBlocksKeepThePictureEveryPixelWeighedGives) {
    const int w = 640, h = 480;
    Rows src(size_t(h), std::vector<uint8_t>(DibRowBytesFor(w, 24)));
    uint32_t seed = testpicture::kPhotoSeed;
    for (int y = 0; y < h; ++y) {
        testpicture::PhotoRow(y, w, h, 16, src[y].data(), seed);
    }
    const struct {
        uint8_t kind;
        int worst;
        double mean;
    } cases[] = {{12, 3, 0.6}, {5, 3, 0.6}, {2, 3, 0.6}, {6, 3, 0.6}, {0, 12, 2.0}};
    for (const auto& c : cases) {
        FilterParams exact = Exact(Params(w, h, 24, 0.05f, 0.05f, c.kind));
        const Rows want = RunFilter(exact, src);
        FilterParams blocks = Params(w, h, 24, 0.05f, 0.05f, c.kind);
        blocks.blockSide = 5;
        const Rows got = RunFilter(blocks, src);
        ASSERT_EQ(got.size(), want.size());
        long total = 0, count = 0;
        int worst = 0;
        for (size_t y = 0; y < got.size(); ++y) {
            for (size_t i = 0; i < size_t(3 * exact.dstWidth); ++i) {
                const int difference = std::abs(got[y][i] - want[y][i]);
                worst = std::max(worst, difference);
                total += difference;
                ++count;
            }
        }
        EXPECT_LE(worst, c.worst) << "kind " << int(c.kind);
        EXPECT_LT(double(total) / double(count), c.mean) << "kind " << int(c.kind);
    }
}

// Up to kFilterExactPixels every source pixel is weighed; past it the kernel sees about as
// many blocks, never fewer than four across an output pixel's reach.
TEST(FilterBlocks, OnlyVeryLargeSourcesAreAveragedInBlocks) {
    const struct {
        int w, h;
        float scale;
        int side;
    } cases[] = {
        {4096, 4096, 0.01f, 1},       // 16 M pixels: weighed one by one
        {4097, 4096, 0.01f, 2},       // past it: 2048 x 2048 blocks
        {65535, 65535, 0.0015f, 16},  // about 4096 x 4096 blocks
        {65535, 65535, 0.25f, 1},     // no room for blocks of 2 in an output pixel's reach
        {65535, 65535, 0.0625f, 4},   // four blocks across, however many pixels that leaves
    };
    for (const auto& c : cases) {
        FilterParams p = Params(c.w, c.h, 8, c.scale, c.scale, 12);
        uint64_t bytes = 0;
        ASSERT_EQ(filter_plan(&p, &bytes), 0u);
        EXPECT_EQ(p.blockSide, c.side) << c.w << " at " << c.scale;
    }
}

}  // namespace
