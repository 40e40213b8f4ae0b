// The area filters: kernels, known answers, bit depths and the failure codes.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/ImgErrors.h"

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

// Streams source rows through the filter the way a decoder does; returns the output rows.
Rows RunFilter(FilterParams& p, const Rows& source) {
    EXPECT_EQ(filter_create(&p), 0u);
    FilterGuard guard(p);
    Rows out(size_t(p.dstHeight), std::vector<uint8_t>(DibRowBytesFor(p.dstWidth, p.dstBpp)));
    size_t next = 0;
    for (auto& row : out) {
        while (uint8_t* slot = filter_feed_row(&p)) {
            if (next >= source.size()) {
                ADD_FAILURE() << "asked for a row past the picture";
                return out;
            }
            std::memcpy(slot, source[next].data(), source[next].size());
            ++next;
        }
        filter_process_block(&p, row.data());
    }
    return out;
}

// Every pixel of a picture of the given depth: the colour at 15 and 16 bits a pixel,
// palette index 1 below.
Rows UniformRows(int w, int h, int bpp, const uint8_t bgr[3]) {
    Rows rows(size_t(h), std::vector<uint8_t>(DibRowBytesFor(w, bpp)));
    const unsigned v555 = (bgr[0] >> 3) | ((bgr[1] >> 3) << 5) | ((bgr[2] >> 3) << 10);
    for (auto& row : rows) {
        for (int x = 0; x < w; ++x) {
            if (bpp >= 24) {
                std::memcpy(&row[bpp / 8 * x], bgr, 3);
            } else if (bpp == 16) {
                row[2 * x] = uint8_t(v555);
                row[2 * x + 1] = uint8_t(v555 >> 8);
            } else {
                row[x * bpp / 8] |= uint8_t(1 << (8 - bpp - x * bpp % 8));
            }
        }
    }
    return rows;
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
        {"window cannot be allocated", Params(1 << 29, 1 << 17, 32, 1e-6f, 1e-6f, 12),
         ImgError::NotEnoughMemory},
    };
    for (auto& c : cases) {
        EXPECT_EQ(filter_create(&c.p), c.code) << c.what;
        EXPECT_EQ(filter_feed_row(&c.p), nullptr) << c.what;
        filter_destroy(&c.p);
    }
    EXPECT_EQ(filter_create(nullptr), ImgError::Unknown);
}

TEST(FilterKernels, WeightsAtTheCentreInsideAndAtTheLimit) {
    const struct {
        uint8_t kind;
        float d2, expected;
    } cases[] = {
        {0, 100.0f, 1.0f},  {13, 50.0f, 1.0f},   {2, 1.0001f, 0.0f},   {1, 0.25f, 0.5f},
        {3, 0.255f, 0.5f},  {4, 0.0f, 0.75f},    {5, 1.995f, 0.0341f}, {6, 9.0f, 0.0f},
        {7, 1.0f, 0.0556f}, {8, 0.0f, 0.39894f}, {9, 1.0f, 0.0f},      {10, 0.265f, 0.0505f},
        {11, 0.25f, 0.34f}, {12, 1.0f, 0.5f},    {12, 1.0001f, 0.0f},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(filter_weight(c.d2, c.kind), c.expected, 6e-4)
            << "kind " << int(c.kind) << " d2 " << c.d2;
    }
}

TEST(FilterStreaming, KnownAnswersAlongEachAxisAndAroundASpot) {
    const std::vector<uint8_t> ramp = {0, 10, 20, 30, 40, 50, 60, 70};
    const struct {
        const char* what;
        int w, h;
        std::vector<uint8_t> grey;  // source levels, top row first
        uint8_t kind;
        float scale;
        std::vector<uint8_t> expected;
    } cases[] = {
        {"box across", 8, 1, ramp, 2, 0.5f, {10, 20, 40, 55}},
        {"box down", 1, 8, ramp, 2, 0.5f, {10, 20, 40, 55}},
        {"triangle across", 8, 1, ramp, 3, 0.5f, {3, 20, 40, 60}},
        {"triangle enlarging", 1, 4, {0, 10, 20, 30}, 3, 2.0f, {0, 5, 10, 15, 20, 25, 30, 30}},
        // Windows that start and end between source pixels, and overlap.
        {"flat across", 8, 1, ramp, 0, 0.3f, {20, 35, 50}},
        {"flat down", 1, 8, ramp, 0, 0.3f, {20, 35, 50}},
        // Radial weights: the diagonal neighbours lie beyond the reach of 1 / (1 + d).
        {"spot", 3, 3, {0, 0, 0, 0, 90, 0, 0, 0, 0}, 12, 1.0f, {0, 18, 0, 18, 30, 18, 0, 18, 0}},
    };
    for (const auto& c : cases) {
        Rows src(size_t(c.h), std::vector<uint8_t>(DibRowBytesFor(c.w, 24)));
        for (size_t i = 0; i < c.grey.size(); ++i) {
            std::fill_n(&src[i / c.w][3 * (i % c.w)], 3, c.grey[i]);
        }
        // A side of one pixel keeps its size.
        FilterParams p =
            Params(c.w, c.h, 24, c.w > 1 ? c.scale : 1.0f, c.h > 1 ? c.scale : 1.0f, c.kind);
        std::vector<uint8_t> got;
        for (const auto& row : RunFilter(p, src)) {
            for (int x = 0; x < p.dstWidth; ++x) {
                got.push_back(row[3 * x]);
            }
        }
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST(FilterDepths, UniformPicturesStayUniformForEveryKindDepthScaleAndSize) {
    const uint8_t colour[3] = {57, 165, 255};  // 5-bit levels 7, 20, 31 widened: exact in 5-5-5
    RgbQuad palette[2] = {{0, 0, 0, 0}, {colour[0], colour[1], colour[2], 0}};
    const std::pair<int, int> sizes[] = {{23, 17}, {1, 1}, {1, 9}, {9, 1}};
    for (const auto& [w, h] : sizes) {
        for (int bpp : {32, 24, 16, 8, 4, 1}) {
            const Rows src = UniformRows(w, h, bpp, colour);
            for (uint8_t kind = 0; kind <= 13; ++kind) {
                for (float scale : {1.0f, 0.5f, 0.37f, 0.1f, 1.6f}) {
                    FilterParams p = Params(w, h, bpp, scale, scale, kind);
                    p.palette = palette;
                    p.paletteSize = 2;
                    const Rows out = RunFilter(p, src);
                    bool uniform = true;
                    for (const auto& row : out) {
                        for (int x = 0; x < p.dstWidth; ++x) {
                            uniform = uniform && std::memcmp(&row[3 * x], colour, 3) == 0;
                        }
                    }
                    EXPECT_TRUE(uniform) << w << "x" << h << " bpp " << bpp << " kind " << int(kind)
                                         << " scale " << scale;
                }
            }
        }
    }
}

TEST(FilterDepths, IndexPastThePaletteReadsBlack) {
    RgbQuad palette[5] = {};
    std::fill(palette, palette + 5, RgbQuad{200, 200, 200, 0});
    const Rows src(3, std::vector<uint8_t>(4, 4));  // index 4 of a 4-entry palette
    FilterParams p = Params(3, 3, 8, 1.0f, 1.0f, 2);
    p.palette = palette;
    p.paletteSize = 4;
    for (const auto& row : RunFilter(p, src)) {
        EXPECT_EQ(row, std::vector<uint8_t>(12, 0));
    }
}

}  // namespace
