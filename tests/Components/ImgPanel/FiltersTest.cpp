// The area filters: sizes, kernels, streaming against a whole-picture reference, bit
// depths and the failure codes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "Components/ImgPanel/FilterKernels.h"
#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/ImgErrors.h"

namespace {

using Rows = std::vector<std::vector<uint8_t>>;  // top row first

// Streams source rows through the filter the way a decoder does; returns the output rows
// top first, and how many source rows were asked for.
Rows RunFilter(FilterParams& p, const Rows& source, int* fedRows = nullptr) {
    EXPECT_EQ(filter_create(&p), 0u);
    FilterGuard guard(p);
    Rows out(static_cast<size_t>(p.dstHeight),
             std::vector<uint8_t>(DibRowBytesFor(p.dstWidth, p.dstBpp)));
    size_t next = 0;
    for (auto& row : out) {
        while (uint8_t* slot = filter_feed_row(&p)) {
            EXPECT_LT(next, source.size()) << "asked for a row past the picture";
            if (next >= source.size()) {
                return out;
            }
            std::memcpy(slot, source[next].data(), source[next].size());
            ++next;
        }
        filter_process_block(&p, row.data());
    }
    if (fedRows != nullptr) {
        *fedRows = static_cast<int>(next);
    }
    return out;
}

FilterParams Params(int w, int h, int srcBpp, float sx, float sy, uint8_t kind) {
    FilterParams p;
    p.srcWidth = w;
    p.srcHeight = h;
    p.srcBpp = static_cast<uint8_t>(srcBpp);
    p.dstBpp = 24;
    p.scaleX = sx;
    p.scaleY = sy;
    p.kind = kind;
    return p;
}

uint32_t g_seed = 12345;
uint8_t RandomByte() {
    g_seed = g_seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(g_seed >> 16);
}

Rows RandomRows24(int w, int h) {
    Rows rows(static_cast<size_t>(h), std::vector<uint8_t>(DibRowBytesFor(w, 24)));
    for (auto& row : rows) {
        for (int i = 0; i < 3 * w; ++i) {
            row[i] = RandomByte();
        }
    }
    return rows;
}

// The filter's definition applied with the whole picture at hand: window, positions and
// weights per output pixel, no streaming.
std::vector<uint8_t> ReferencePixel(const Rows& src, const FilterParams& p, int x, int y) {
    const FilterKernel& k = KernelOf(p.kind);
    const double sx = std::min<double>(p.scaleX, 1.0), sy = std::min<double>(p.scaleY, 1.0);
    const double rx = k.support / sx, ry = k.support / sy;
    const double cx = x / static_cast<double>(p.scaleX) + p.srcShiftX;
    const double cy = y / static_cast<double>(p.scaleY) + p.srcShiftY;
    auto clampTo = [](double v, int hi) { return static_cast<int>(std::clamp(v, 0.0, 1.0 * hi)); };
    const int left = clampTo(std::trunc(cx - rx), p.srcWidth - 1);
    const int right = clampTo(std::trunc(cx + rx + 0.99999), p.srcWidth - 1);
    const int top = clampTo(std::trunc(cy - ry), p.srcHeight - 1);
    const int bottom = clampTo(std::trunc(cy + ry + 0.99999), p.srcHeight - 1);
    double sum[3] = {0, 0, 0}, weights = 0;
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c) {
            const double dx = cx * sx - c * sx, dy = cy * sy - r * sy;
            const float w = filter_weight(static_cast<float>(dx * dx + dy * dy), p.kind);
            for (int i = 0; i < 3; ++i) {
                sum[i] += w * src[r][3 * c + i];
            }
            weights += w;
        }
    }
    std::vector<uint8_t> out(3);
    for (int i = 0; i < 3; ++i) {
        out[i] = static_cast<uint8_t>(std::clamp(std::lround(sum[i] / weights), 0L, 255L));
    }
    return out;
}

TEST(FilterSizes, OutputSizeRoundsUpAlmostAWholePixel) {
    struct Case {
        int src;
        float scale;
        int expected;
    } cases[] = {{10, 0.5f, 5},  {10, 0.3f, 3}, {10, 0.35f, 4},     {10, 1.0f, 10},
                 {10, 2.0f, 20}, {1, 0.01f, 1}, {6000, 0.049f, 294}};
    for (const Case& c : cases) {
        FilterParams p = Params(c.src, 1, 24, c.scale, 1.0f, 12);
        ASSERT_EQ(filter_create(&p), 0u);
        EXPECT_EQ(p.dstWidth, c.expected) << c.src << " x " << c.scale;
        EXPECT_EQ(FilterOutputSize(c.src, c.scale), c.expected);
        filter_destroy(&p);
    }
}

TEST(FilterSizes, PresetSizeOverridesTheScaleButKeepsItsGeometry) {
    FilterParams p = Params(150, 100, 24, 0.392f, 0.392f, 12);
    p.presetDstWidth = 59;
    p.presetDstHeight = 40;
    ASSERT_EQ(filter_create(&p), 0u);
    EXPECT_EQ(p.dstWidth, 59);
    EXPECT_EQ(p.dstHeight, 40);
    filter_destroy(&p);
}

TEST(FilterCreate, RefusesUnusableParametersWithTheirCodes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
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
        {"window cannot be allocated", Params(1 << 29, 1 << 17, 32, 1e-6f, 1e-6f, 12),
         ImgError::NotEnoughMemory},
    };
    for (Case& c : cases) {
        EXPECT_EQ(filter_create(&c.p), c.code) << c.what;
        EXPECT_EQ(c.p.state, nullptr) << c.what;
        EXPECT_EQ(filter_feed_row(&c.p), nullptr);
        filter_destroy(&c.p);
    }
    EXPECT_EQ(filter_create(nullptr), ImgError::Unknown);
    filter_destroy(nullptr);
}

TEST(FilterKernels, WeightsAtTheCentreAtTheLimitAndBeyond) {
    struct Case {
        uint8_t kind;
        float d2;
        float expected;
    } cases[] = {
        {0, 100.0f, 1.0f},    {13, 50.0f, 1.0f},     {2, 1.0f, 1.0f},       {2, 1.0001f, 0.0f},
        {1, 0.0f, 1.0f},      {1, 1.0f, 0.0f},       {1, 1.01f, 0.0f},      {3, 0.255f, 0.5f},
        {9, 0.25f, 0.5f},     {4, 0.0f, 0.75f},      {4, 2.25f, 0.0f},      {5, 0.0f, 2.0f / 3},
        {5, 1.995f, 0.0341f}, {5, 2.0f, 0.0f},       {5, 3.5f, 0.0f},       {5, 4.0f, 0.0f},
        {6, 0.0f, 1.0f},      {6, 9.0f, 0.0f},       {7, 0.0f, 0.8889f},    {7, 1.0f, 0.0556f},
        {7, 4.0f, 0.0f},      {8, 0.0f, 0.39894f},   {8, 9.0f, 0.004432f},  {8, 9.01f, 0.0f},
        {10, 0.0f, 1.0f},     {10, 0.265f, 0.0505f}, {10, 0.595f, 0.1634f}, {10, 0.995f, 0.0050f},
        {10, 1.0f, 0.0f},     {11, 0.0f, 1.0f},      {11, 1.0f, 0.0f},      {12, 0.0f, 1.0f},
        {12, 1.0f, 0.5f},     {12, 1.0001f, 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(filter_weight(c.d2, c.kind), c.expected, 6e-4)
            << "kind " << int(c.kind) << " d2 " << c.d2;
    }
}

TEST(FilterKernels, TablesCoverTheLimitEntry) {
    for (uint8_t kind = 0; kind <= 12; ++kind) {
        const FilterKernel& k = KernelOf(kind);
        if (k.shape == KernelShape::Table) {
            EXPECT_EQ(k.entries, static_cast<int>(std::lround(100 * k.limit)) + 1) << int(kind);
        }
    }
}

TEST(FilterStreaming, MatchesTheWholePictureDefinition) {
    const Rows src = RandomRows24(37, 29);
    const std::pair<float, float> scales[] = {
        {0.5f, 0.5f}, {0.3f, 0.45f}, {1.0f, 1.0f}, {1.5f, 0.7f}, {0.11f, 0.2f}};
    for (uint8_t kind = 0; kind <= 13; ++kind) {
        for (const auto& [sx, sy] : scales) {
            FilterParams p = Params(37, 29, 24, sx, sy, kind);
            if (sx < 0.2f) {  // a reduced source: pixel centres half a block further on
                p.srcShiftX = -0.4375f;
                p.srcShiftY = -0.375f;
            }
            int fed = 0;
            const Rows out = RunFilter(p, src, &fed);
            EXPECT_LE(fed, 29);
            int worst = 0;
            for (int y = 0; y < p.dstHeight; ++y) {
                for (int x = 0; x < p.dstWidth; ++x) {
                    const auto want = ReferencePixel(src, p, x, y);
                    for (int i = 0; i < 3; ++i) {
                        worst = std::max(worst, std::abs(out[y][3 * x + i] - want[i]));
                    }
                }
            }
            EXPECT_LE(worst, 1) << "kind " << int(kind) << " scale " << sx << "," << sy;
        }
    }
}

// A uniform picture of the given depth and colour index; pixel value 1 everywhere.
Rows UniformRows(int w, int h, int bpp, const uint8_t bgr[3]) {
    Rows rows(static_cast<size_t>(h), std::vector<uint8_t>(DibRowBytesFor(w, bpp)));
    for (auto& row : rows) {
        for (int x = 0; x < w; ++x) {
            switch (bpp) {
                case 32:
                    std::memcpy(&row[4 * x], bgr, 3);
                    break;
                case 24:
                    std::memcpy(&row[3 * x], bgr, 3);
                    break;
                case 16: {
                    const unsigned v = (bgr[0] >> 3) | ((bgr[1] >> 3) << 5) | ((bgr[2] >> 3) << 10);
                    row[2 * x] = static_cast<uint8_t>(v);
                    row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
                    break;
                }
                case 8:
                    row[x] = 1;
                    break;
                case 4:
                    row[x / 2] = 0x11;
                    break;
                case 1:
                    row[x / 8] = 0xFF;
                    break;
            }
        }
    }
    return rows;
}

TEST(FilterDepths, UniformPicturesStayUniformForEveryKindDepthAndScale) {
    const uint8_t colour[3] = {57, 165, 255};  // 5-bit levels 7, 20, 31 widened: exact in 5-5-5
    RgbQuad palette[2] = {{0, 0, 0, 0}, {colour[0], colour[1], colour[2], 0}};
    const float scales[] = {1.0f, 0.5f, 0.37f, 0.1f, 1.6f};
    for (int bpp : {32, 24, 16, 8, 4, 1}) {
        const Rows src = UniformRows(23, 17, bpp, colour);
        for (uint8_t kind = 0; kind <= 13; ++kind) {
            for (float scale : scales) {
                FilterParams p = Params(23, 17, bpp, scale, scale, kind);
                p.palette = palette;
                p.paletteSize = 2;
                const Rows out = RunFilter(p, src);
                bool uniform = true;
                for (const auto& row : out) {
                    for (int x = 0; x < p.dstWidth; ++x) {
                        uniform = uniform && std::memcmp(&row[3 * x], colour, 3) == 0;
                    }
                }
                EXPECT_TRUE(uniform)
                    << "bpp " << bpp << " kind " << int(kind) << " scale " << scale;
            }
        }
    }
}

TEST(FilterDepths, SixteenBitSourceReadsAsFiveFiveFive) {
    Rows src(2, std::vector<uint8_t>(4));
    for (auto& row : src) {
        row = {0x00, 0x7C, 0x00, 0x7C};  // red at full 5-bit level
    }
    FilterParams p = Params(2, 2, 16, 0.5f, 0.5f, 2);
    const Rows out = RunFilter(p, src);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0][0], 0);
    EXPECT_EQ(out[0][1], 0);
    EXPECT_EQ(out[0][2], 255);
}

TEST(FilterDepths, IndexPastThePaletteReadsBlack) {
    RgbQuad palette[4] = {};
    for (auto& q : palette) {
        q = {200, 200, 200, 0};
    }
    Rows src(3, std::vector<uint8_t>(4, 7));  // index 7 of a 4-entry palette
    FilterParams p = Params(3, 3, 8, 1.0f, 1.0f, 2);
    p.palette = palette;
    p.paletteSize = 4;
    const Rows out = RunFilter(p, src);
    for (const auto& row : out) {
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(row[i], 0);
        }
    }
}

TEST(FilterDepths, IndexedOutputsPickTheNearestEntry) {
    RgbQuad palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const uint8_t light[3] = {230, 230, 230};
    const Rows src = UniformRows(19, 4, 24, light);
    for (int dstBpp : {8, 4, 1}) {
        FilterParams p = Params(19, 4, 24, 1.0f, 1.0f, 2);
        p.dstBpp = static_cast<uint8_t>(dstBpp);
        p.palette = palette;
        p.paletteSize = 2;
        const Rows out = RunFilter(p, src);
        for (int x = 0; x < 19; ++x) {
            int index = 0;
            if (dstBpp == 8) {
                index = out[0][x];
            } else if (dstBpp == 4) {
                index = (x & 1) ? (out[0][x / 2] & 0x0F) : (out[0][x / 2] >> 4);
            } else {
                index = (out[0][x / 8] >> (7 - x % 8)) & 1;
            }
            EXPECT_EQ(index, 1) << "depth " << dstBpp << " x " << x;
        }
    }
}

TEST(FilterPalette, NearestIndexWeighsBlueMostAndLowestWinsTies) {
    RgbQuad palette[4] = {{10, 0, 0, 0}, {0, 0, 20, 0}, {0, 0, 20, 0}, {128, 128, 128, 0}};
    FilterParams p;
    p.palette = palette;
    p.paletteSize = 4;
    EXPECT_EQ(get_nearest_palette_index(&p, 0, 0, 0), 1);  // 59*100 > 11*400; 1 before 2
    EXPECT_EQ(get_nearest_palette_index(&p, 120, 120, 120), 3);
    EXPECT_EQ(get_nearest_palette_index(nullptr, 1, 2, 3), 0);
    p.paletteSize = 0;
    EXPECT_EQ(get_nearest_palette_index(&p, 1, 2, 3), 0);
}

TEST(FilterEdges, NegativeLobesAreClampedNotWrapped) {
    // A hard black/white edge: Lanczos and Mitchell overshoot past 0 and 255 next to it.
    Rows src(8, std::vector<uint8_t>(DibRowBytesFor(40, 24)));
    for (auto& row : src) {
        for (int x = 20; x < 40; ++x) {
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 255;
        }
    }
    for (uint8_t kind : {6, 7}) {
        FilterParams p = Params(40, 8, 24, 0.5f, 0.5f, kind);
        const Rows out = RunFilter(p, src);
        for (int x = 0; x < p.dstWidth; ++x) {
            const int v = out[1][3 * x];
            if (x < 8) {
                EXPECT_LE(v, 40) << "kind " << int(kind) << " x " << x;
            } else if (x > 11) {
                EXPECT_GE(v, 215) << "kind " << int(kind) << " x " << x;
            }
        }
    }
}

TEST(FilterEdges, SingleRowAndSingleColumnWindowsAreValid) {
    const uint8_t colour[3] = {9, 99, 199};
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 9}, std::pair{9, 1}}) {
        const Rows src = UniformRows(w, h, 24, colour);
        FilterParams p = Params(w, h, 24, 0.5f, 0.5f, 12);
        const Rows out = RunFilter(p, src);
        for (const auto& row : out) {
            EXPECT_EQ(std::memcmp(row.data(), colour, 3), 0) << w << "x" << h;
        }
    }
}

TEST(FilterEdges, TopRowOfOutputComesFromTheTopOfTheSource) {
    Rows src(10, std::vector<uint8_t>(DibRowBytesFor(4, 24)));
    for (int y = 0; y < 10; ++y) {
        std::fill(src[y].begin(), src[y].begin() + 12, static_cast<uint8_t>(y < 5 ? 0 : 250));
    }
    FilterParams p = Params(4, 10, 24, 0.2f, 0.2f, 3);
    const Rows out = RunFilter(p, src);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0][0], 0);
    // Triangle weights about 1, .8, .6, .4, .2 on the bright rows, .8 to .2 on the dark.
    EXPECT_NEAR(out[1][0], 150, 3);
}

TEST(FilterLifecycle, CreateTwiceAndDestroyTwiceAreSafe) {
    FilterParams p = Params(8, 8, 24, 0.5f, 0.5f, 12);
    ASSERT_EQ(filter_create(&p), 0u);
    ASSERT_EQ(filter_create(&p), 0u);
    filter_destroy(&p);
    filter_destroy(&p);
    EXPECT_EQ(p.state, nullptr);
    uint8_t row[16] = {};
    filter_process_block(&p, row);  // no state: nothing happens
    EXPECT_EQ(get_dib_row_bytes(nullptr), 0u);
}

}  // namespace
