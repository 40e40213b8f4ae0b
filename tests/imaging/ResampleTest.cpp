#include "imaging/Resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Rows = std::vector<std::vector<uint8_t>>;  // top row first

uint32_t Stride(uint32_t width, int bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// A random picture as a decoder delivers it: rows top first, each padded to 4 bytes.
struct Source {
    uint32_t width, height;
    int bitCount;
    Rows rows;
    std::vector<RgbQuad> palette;
};

Source RandomSource(uint32_t w, uint32_t h, int bitCount, uint32_t seed) {
    std::mt19937 rng(seed);
    Source s{w, h, bitCount, Rows(h, std::vector<uint8_t>(Stride(w, bitCount))),
             std::vector<RgbQuad>(bitCount <= 8 ? size_t{1} << bitCount : 0)};
    for (auto& row : s.rows) {
        std::generate(row.begin(), row.end(), [&rng] { return uint8_t(rng()); });
    }
    for (RgbQuad& q : s.palette) {
        q = RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    }
    return s;
}

// --- The reference: each output pixel the weighted average of its window, written the plain
// way over the whole picture. The passes (which source rows make which output row) follow
// what the resampler read; the schedule has known-answer tests of its own.

int Weight(int mode, uint32_t n, uint32_t r, uint32_t c) {
    const uint64_t d = uint64_t(std::llabs(int64_t(r) - n / 2) * std::llabs(int64_t(c) - n / 2));
    const uint64_t shift = mode == 1 ? d + 1 : d * d + 1;
    return mode != 1 && mode != 2 ? 1 : shift >= 16 ? 0 : int(0xFFFFu >> shift);
}

// Bytes of a direct pixel; blue, green, red of a palette pixel; 0 or 255 for one bit.
std::vector<uint64_t> Channels(const Source& s, uint32_t y, uint32_t x) {
    const uint8_t* p = s.rows[y].data() + x * s.bitCount / 8;
    if (s.bitCount >= 24) {
        return std::vector<uint64_t>(p, p + s.bitCount / 8);
    }
    const unsigned index = (*p >> (8 - s.bitCount - x * s.bitCount % 8)) & ((1u << s.bitCount) - 1);
    const RgbQuad q = s.palette[index];
    return s.bitCount == 1 ? std::vector<uint64_t>{index * 255u}
                           : std::vector<uint64_t>{q.rgbBlue, q.rgbGreen, q.rgbRed};
}

void PutPixel(const Source& s, std::vector<uint8_t>& row, uint32_t x, const uint64_t* avg) {
    if (s.bitCount >= 24) {
        std::copy(avg, avg + s.bitCount / 8, row.begin() + x * s.bitCount / 8);
        return;
    }
    unsigned value = avg[0] >= 170;  // one bit: set from two thirds on
    int64_t best = std::numeric_limits<int64_t>::max();
    for (unsigned i = 0; s.bitCount > 1 && i < s.palette.size(); ++i) {
        const int64_t db = s.palette[i].rgbBlue - int64_t(avg[0]);
        const int64_t dg = s.palette[i].rgbGreen - int64_t(avg[1]);
        const int64_t dr = s.palette[i].rgbRed - int64_t(avg[2]);
        if (db * db + dg * dg + dr * dr < best) {  // the first of equally near colours wins
            best = db * db + dg * dg + dr * dr;
            value = i;
        }
    }
    row[x * s.bitCount / 8] |= uint8_t(value << (8 - s.bitCount - x * s.bitCount % 8));
}

Rows ReferenceReduce(const Source& s, double factor, int mode, const std::vector<uint32_t>& reads) {
    const uint32_t n = uint32_t(std::ceil(factor));
    const uint32_t outWidth = uint32_t(std::ceil(s.width / factor));
    Rows out;
    uint32_t first = 0;
    for (uint32_t read : reads) {
        // The last rows of a picture that ends inside a window make an output row alone.
        const uint32_t count = s.height - first >= factor ? read : 1;
        std::vector<uint8_t> row =
            factor == 1.0 ? s.rows[first] : std::vector<uint8_t>(Stride(outWidth, s.bitCount));
        for (uint32_t x = 0; factor != 1.0 && x < outWidth; ++x) {
            const uint32_t sx = uint32_t(std::floor(x * factor));
            uint64_t sum[4] = {0, 0, 0, 0}, total = 0;
            for (uint32_t r = 0; r < count; ++r) {
                for (uint32_t c = 0; c < n; ++c) {
                    const uint64_t w = uint64_t(Weight(mode, n, r, c));
                    // Columns past the right edge repeat the last pixel.
                    const auto ch = Channels(s, first + r, std::min(sx + c, s.width - 1));
                    for (size_t k = 0; k < ch.size(); ++k) {
                        sum[k] += ch[k] * w;
                    }
                    total += w;
                }
            }
            for (uint64_t& v : sum) {
                v /= total;
            }
            PutPixel(s, row, x, sum);
        }
        out.push_back(row);
        first += read;
    }
    // The source can run out one pass early: the last row is repeated.
    out.resize(uint32_t(std::ceil(s.height / factor)), out.back());
    return out;
}

// --- Driving the resampler as a decoder does, into a packed picture.

struct Reduction {
    Rows rows;
    std::vector<uint32_t> reads;  // rows read before each pass
};

Reduction RunResampler(const Source& s, double factor, uint8_t mode, bool withPalette = true) {
    Reduction run;
    std::vector<RgbQuad> palette = s.palette;
    ResampleState st;
    st.factor = factor;
    st.bitCount = uint8_t(s.bitCount);
    st.srcWidth = s.width;
    st.srcHeight = s.height;
    st.mode = mode;
    st.palette = withPalette && !palette.empty() ? palette.data() : nullptr;
    if (!ResampleCreateWeights(&st)) {
        ADD_FAILURE() << "refused";
        return run;
    }
    ResampleCreatePalette(&st);
    UniqueDib picture(DibCreate(int(st.outWidth), int(st.outHeight), s.bitCount));
    for (uint32_t next = 0; st.srcRowsDone < st.srcHeight;) {
        run.reads.push_back(st.rowsToRead);
        for (uint32_t i = 0; i < st.rowsToRead; ++i) {
            std::memcpy(st.writePos + i * st.srcRowBytes, s.rows[next++].data(), st.srcRowBytes);
        }
        EXPECT_TRUE(ResampleRows(&st));
        ResampleStoreRow(&st, picture.get(), st.outRowsDone - 1);
    }
    ResampleFinishRows(&st, picture.get());
    const uint32_t rowBytes = DibRowBytes(picture.get());
    for (uint32_t y = st.outHeight; y-- > 0;) {
        const uint8_t* row = DibBits(picture.get()) + size_t(y) * rowBytes;
        run.rows.emplace_back(row, row + rowBytes);
    }
    return run;
}

void ExpectMatchesReference(const Source& s, double factor, uint8_t mode) {
    SCOPED_TRACE(::testing::Message() << s.width << "x" << s.height << ", factor " << factor << ", "
                                      << s.bitCount << " bits, mode " << int(mode));
    const Reduction run = RunResampler(s, factor, mode);
    ASSERT_FALSE(run.reads.empty());
    const Rows expected = ReferenceReduce(s, factor, mode, run.reads);
    ASSERT_EQ(expected.size(), run.rows.size());
    for (size_t y = 0; y < expected.size(); ++y) {
        ASSERT_EQ(expected[y], run.rows[y]) << "output row " << y;
    }
}

TEST(Resample, MatchesTheReferenceForEveryFactorDepthAndMode) {
    // Pictures smaller than a window, and one pixel wide or high.
    const std::pair<uint32_t, uint32_t> smallSizes[] = {{1, 1}, {9, 1}, {1, 9}, {3, 200}};
    uint32_t seed = 1;
    for (double factor : {1.0, 1.5, 2.0, 7.3, 60.0}) {
        for (int depth : {1, 4, 8, 24, 32}) {
            // Sizes that leave a partial window at the right and bottom edges.
            const Source s =
                RandomSource(factor >= 60 ? 131 : 53, factor >= 60 ? 127 : 41, depth, seed++);
            for (uint8_t mode : {0, 1, 2, 7}) {
                ExpectMatchesReference(s, factor, mode);
            }
            for (const auto& size : smallSizes) {
                ExpectMatchesReference(RandomSource(size.first, size.second, depth, seed++), factor,
                                       1);
            }
        }
    }
}

TEST(ResampleRows, ReadsThePassesTheScheduleNames) {
    struct Case {
        double factor;
        uint32_t height;
        std::vector<uint32_t> reads;
        uint32_t outHeight;
    };
    const Case cases[] = {
        {2.5, 10, {3, 2, 3, 2}, 4},
        {1.0, 3, {1, 1, 1}, 3},
        {2.0, 5, {2, 2, 1}, 3},
        {1.5, 20, {2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2}, 14},  // one output row left over
        {7.3, 41, {8, 7, 7, 7, 8, 4}, 6},
        {60.0, 10, {10}, 1},  // never more rows than the picture has
    };
    for (const Case& c : cases) {
        const Reduction run = RunResampler(RandomSource(9, c.height, 24, 3), c.factor, 1);
        EXPECT_EQ(c.reads, run.reads) << "factor " << c.factor;
        EXPECT_EQ(c.outHeight, run.rows.size()) << "factor " << c.factor;
    }
}

TEST(ResampleCreateWeights, RefusesWhatItCannotReduce) {
    const double inf = std::numeric_limits<double>::infinity();
    const double maxWindow = kResampleMaxWindow;
    // The last one has rows past 4 GiB.
    const std::tuple<double, uint32_t, uint32_t> cases[] = {
        {0.5, 10, 10}, {std::nan(""), 10, 10},          {inf, 10, 10},        {2.0, 0, 10},
        {2.0, 10, 0},  {maxWindow + 0.5, 10000, 10000}, {1.0, 0xFFFFFFFFu, 1}};
    for (const auto& [factor, w, h] : cases) {
        ResampleState st;
        st.factor = factor;
        st.bitCount = 32;
        st.srcWidth = w;
        st.srcHeight = h;
        EXPECT_FALSE(ResampleCreateWeights(&st)) << factor << " " << w << "x" << h;
        EXPECT_EQ(nullptr, st.blockBuffer);
        EXPECT_FALSE(ResampleRows(&st));
    }
}

TEST(ResampleRows, KeepsTheMiddleIndexWhenThereIsNoPalette) {
    Source s = RandomSource(4, 2, 8, 1);
    s.rows = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    EXPECT_EQ((Rows{{6, 8, 0, 0}}), RunResampler(s, 2.0, 0, false).rows);
}

}  // namespace
