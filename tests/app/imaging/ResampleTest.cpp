#include "app/imaging/Resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// A source picture as a decoder delivers it: rows top first, each padded to 4 bytes.
struct Source {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitCount = 24;
    uint32_t rowBytes = 0;
    std::vector<uint8_t> bytes;
    std::vector<RgbQuad> palette;

    const uint8_t* Row(uint32_t y) const { return bytes.data() + size_t(y) * rowBytes; }
};

uint32_t Stride(uint32_t width, int bitCount) {
    return ((width * bitCount + 31) / 32) * 4;
}

Source RandomSource(uint32_t w, uint32_t h, int bitCount, uint32_t seed) {
    std::mt19937 rng(seed);
    Source s;
    s.width = w;
    s.height = h;
    s.bitCount = bitCount;
    s.rowBytes = Stride(w, bitCount);
    s.bytes.assign(size_t(s.rowBytes) * h, 0);
    const uint32_t usedBits = w * bitCount;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t i = 0; i < usedBits / 8; ++i) {
            s.bytes[size_t(y) * s.rowBytes + i] = uint8_t(rng());
        }
        if (usedBits % 8 != 0) {  // the last partial byte keeps its padding bits clear
            s.bytes[size_t(y) * s.rowBytes + usedBits / 8] =
                uint8_t(rng() & (0xFF00 >> (usedBits % 8)));
        }
    }
    if (bitCount <= 8) {
        s.palette.resize(size_t(1) << bitCount);
        for (RgbQuad& q : s.palette) {
            q = RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
        }
    }
    return s;
}

// --- The reference: the same weighted average written the plain way, over the whole source
// picture at once, with the pass structure followed on row numbers only.

int ReferenceWeight(int mode, uint32_t n, uint32_t r, uint32_t c) {
    const int64_t centre = n / 2;
    const int64_t dr = std::llabs(int64_t(r) - centre);
    const int64_t dc = std::llabs(int64_t(c) - centre);
    int64_t shift;
    if (mode == 1) {
        shift = dr * dc + 1;
    } else if (mode == 2) {
        shift = dr * dc * dr * dc + 1;
    } else {
        return 1;
    }
    return shift >= 32 ? 0 : int(0xFFFFu >> shift);
}

unsigned ReadIndex(const Source& s, uint32_t y, uint32_t x) {
    const uint8_t* row = s.Row(y);
    if (s.bitCount == 8) {
        return row[x];
    }
    if (s.bitCount == 4) {
        return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
    }
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

// Channel values of one pixel: bytes, palette colour (blue, green, red) or 0/255.
std::vector<uint64_t> PixelChannels(const Source& s, uint32_t y, uint32_t x) {
    if (s.bitCount >= 24) {
        const uint8_t* p = s.Row(y) + size_t(x) * (s.bitCount / 8);
        return std::vector<uint64_t>(p, p + s.bitCount / 8);
    }
    const unsigned index = ReadIndex(s, y, x);
    if (s.bitCount == 1) {
        return {index ? 255u : 0u};
    }
    const RgbQuad q = s.palette[index];
    return {q.rgbBlue, q.rgbGreen, q.rgbRed};
}

unsigned NearestEntry(const std::vector<RgbQuad>& palette, uint64_t b, uint64_t g, uint64_t r) {
    unsigned best = 0;
    int64_t bestDistance = std::numeric_limits<int64_t>::max();
    for (unsigned i = 0; i < palette.size(); ++i) {
        const int64_t db = int64_t(palette[i].rgbBlue) - int64_t(b);
        const int64_t dg = int64_t(palette[i].rgbGreen) - int64_t(g);
        const int64_t dr = int64_t(palette[i].rgbRed) - int64_t(r);
        const int64_t d = db * db + dg * dg + dr * dr;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

void PutOutputPixel(const Source& s, std::vector<uint8_t>& row, uint32_t x,
                    const std::vector<uint64_t>& avg) {
    if (s.bitCount >= 24) {
        for (size_t k = 0; k < avg.size(); ++k) {
            row[x * (s.bitCount / 8) + k] = uint8_t(avg[k]);
        }
    } else if (s.bitCount == 1) {
        if (avg[0] >= 170) {
            row[x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    } else {
        const unsigned index = NearestEntry(s.palette, avg[0], avg[1], avg[2]);
        if (s.bitCount == 8) {
            row[x] = uint8_t(index);
        } else {
            row[x / 2] |= uint8_t(x % 2 == 0 ? index << 4 : index);
        }
    }
}

// One output row averaged from `count` source rows starting at source row `first`.
std::vector<uint8_t> ReferenceRow(const Source& s, double factor, int mode, uint32_t first,
                                  uint32_t count, uint32_t outWidth) {
    const uint32_t n = uint32_t(std::ceil(factor));
    std::vector<uint8_t> row(Stride(outWidth, s.bitCount), 0);
    if (factor == 1.0) {
        std::memcpy(row.data(), s.Row(first), row.size());
        return row;
    }
    for (uint32_t x = 0; x < outWidth; ++x) {
        const uint32_t sx = uint32_t(std::floor(x * factor));
        std::vector<uint64_t> sum;
        uint64_t weights = 0;
        for (uint32_t r = 0; r < count; ++r) {
            for (uint32_t c = 0; c < n; ++c) {
                const uint32_t px = std::min(sx + c, s.width - 1);  // the edge pixel repeats
                const std::vector<uint64_t> ch = PixelChannels(s, first + r, px);
                sum.resize(ch.size(), 0);
                const uint64_t w = uint64_t(ReferenceWeight(mode, n, r, c));
                for (size_t k = 0; k < ch.size(); ++k) {
                    sum[k] += ch[k] * w;
                }
                weights += w;
            }
        }
        for (uint64_t& v : sum) {
            v /= weights;
        }
        PutOutputPixel(s, row, x, sum);
    }
    return row;
}

struct Reduced {
    uint32_t outWidth = 0;
    uint32_t outHeight = 0;
    std::vector<std::vector<uint8_t>> rows;  // top first, every output row filled
    std::vector<uint32_t> rowsReadPerPass;
};

Reduced ReferenceReduce(const Source& s, double factor, int mode) {
    Reduced out;
    const uint32_t n = uint32_t(std::ceil(factor));
    out.outWidth = uint32_t(std::ceil(s.width / factor));
    out.outHeight = uint32_t(std::ceil(s.height / factor));
    uint32_t done = 0;
    uint32_t toRead = std::min(n, s.height);
    while (done < s.height) {
        const uint32_t used = double(s.height - done) >= factor ? toRead : 1;
        out.rows.push_back(ReferenceRow(s, factor, mode, done, used, out.outWidth));
        out.rowsReadPerPass.push_back(toRead);
        done += toRead;
        const uint32_t left = s.height - done;
        if (double(left) < factor) {
            toRead = left;
        } else if (double(done) > double(out.rows.size()) * factor) {
            toRead = n - 1;  // the source ran ahead: one row fewer next time
        } else {
            toRead = n;
        }
    }
    while (out.rows.size() < out.outHeight) {
        out.rows.push_back(out.rows.back());
    }
    return out;
}

// --- Driving the resampler as a decoder does ---------------------------------------------

Reduced RunResampler(const Source& s, double factor, uint8_t mode) {
    Reduced out;
    ResampleState st;
    st.factor = factor;
    st.bitCount = uint8_t(s.bitCount);
    st.srcWidth = s.width;
    st.srcHeight = s.height;
    st.mode = mode;
    std::vector<RgbQuad> palette = s.palette;
    st.palette = palette.empty() ? nullptr : palette.data();
    EXPECT_TRUE(ResampleCreateWeights(&st));
    ResampleCreatePalette(&st);
    if (st.blockBuffer == nullptr || st.outRow == nullptr) {
        ADD_FAILURE() << "no buffers";
        return out;
    }
    out.outWidth = st.outWidth;
    out.outHeight = st.outHeight;
    UniqueDib picture(DibCreate(int(st.outWidth), int(st.outHeight), s.bitCount));
    EXPECT_NE(nullptr, picture);
    if (!picture) {
        return out;
    }
    uint32_t nextSourceRow = 0;
    while (st.srcRowsDone < st.srcHeight) {
        out.rowsReadPerPass.push_back(st.rowsToRead);
        for (uint32_t i = 0; i < st.rowsToRead; ++i) {
            std::memcpy(st.writePos + size_t(i) * st.srcRowBytes, s.Row(nextSourceRow++),
                        st.srcRowBytes);
        }
        EXPECT_TRUE(ResampleRows(&st));
        EXPECT_LE(st.outRowsDone, st.outHeight);
        ResampleStoreRow(&st, picture.get(), st.outRowsDone - 1);
    }
    EXPECT_EQ(s.height, nextSourceRow);
    ResampleFinishRows(&st, picture.get());
    const uint32_t rowBytes = DibRowBytes(picture.get());
    for (uint32_t y = 0; y < st.outHeight; ++y) {
        const uint8_t* row = DibBits(picture.get()) + size_t(st.outHeight - 1 - y) * rowBytes;
        out.rows.emplace_back(row, row + rowBytes);
    }
    return out;
}

void ExpectSameReduction(const Reduced& expected, const Reduced& actual) {
    ASSERT_EQ(expected.outWidth, actual.outWidth);
    ASSERT_EQ(expected.outHeight, actual.outHeight);
    ASSERT_EQ(expected.rowsReadPerPass, actual.rowsReadPerPass);
    ASSERT_EQ(expected.rows.size(), actual.rows.size());
    for (size_t y = 0; y < expected.rows.size(); ++y) {
        ASSERT_EQ(expected.rows[y], actual.rows[y]) << "output row " << y;
    }
}

// --- Against the reference ---------------------------------------------------------------

TEST(Resample, MatchesTheReferenceForEveryFactorDepthAndMode) {
    const double factors[] = {1.0, 1.5, 2.0, 7.3, 60.0};
    const int depths[] = {1, 4, 8, 24, 32};
    const uint8_t modes[] = {0, 1, 2, 7};
    uint32_t seed = 1;
    for (double factor : factors) {
        for (int depth : depths) {
            // Sizes that leave a partial window at the right and bottom edges.
            const Source s =
                RandomSource(factor >= 60 ? 131 : 53, factor >= 60 ? 127 : 41, depth, seed++);
            for (uint8_t mode : modes) {
                SCOPED_TRACE(::testing::Message() << "factor " << factor << ", " << depth
                                                  << " bits, mode " << int(mode));
                ExpectSameReduction(ReferenceReduce(s, factor, mode),
                                    RunResampler(s, factor, mode));
            }
        }
    }
}

TEST(Resample, MatchesTheReferenceOnOddShapes) {
    struct Shape {
        uint32_t w, h;
        double factor;
    };
    const Shape shapes[] = {{1, 1, 1.0},   {1, 1, 2.0},   {1, 9, 1.5}, {9, 1, 1.5},
                            {10, 10, 60},  {3, 200, 7.3}, {200, 3, 2}, {20, 20, 1.5},
                            {10, 10, 2.5}, {64, 64, 6},   {97, 97, 12}};
    for (const Shape& shape : shapes) {
        for (int depth : {1, 4, 8, 24, 32}) {
            const Source s = RandomSource(shape.w, shape.h, depth, shape.w * 7 + shape.h);
            for (uint8_t mode : {0, 1, 2}) {
                SCOPED_TRACE(::testing::Message()
                             << shape.w << "x" << shape.h << " factor " << shape.factor << ", "
                             << depth << " bits, mode " << int(mode));
                ExpectSameReduction(ReferenceReduce(s, shape.factor, mode),
                                    RunResampler(s, shape.factor, mode));
            }
        }
    }
}

// --- Known answers -----------------------------------------------------------------------

TEST(ResampleCreateWeights, DerivesSizesAndWeights) {
    ResampleState st;
    st.factor = 2.0;
    st.bitCount = 24;
    st.srcWidth = 7;
    st.srcHeight = 5;
    st.mode = kResampleHalvingWithProduct;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    EXPECT_EQ(2u, st.window);
    EXPECT_EQ(3, st.bytesPerPixel);
    EXPECT_EQ(4u, st.outWidth);
    EXPECT_EQ(3u, st.outHeight);
    EXPECT_EQ(24u, st.srcRowBytes);
    EXPECT_EQ(12u, st.outRowBytes);
    EXPECT_EQ(2u, st.rowsToRead);
    EXPECT_EQ(st.blockBuffer, st.writePos);
    ASSERT_NE(nullptr, st.outRow);
    EXPECT_GE(DibBlockSize(st.blockBuffer), size_t(48));
    const std::vector<std::vector<int>> expected = {{0x3FFF, 0x7FFF}, {0x7FFF, 0x7FFF}};
    EXPECT_EQ(expected, st.weights);
    EXPECT_EQ(0x1BFFC, st.weightTotal);
}

TEST(ResampleCreateWeights, GivesZeroWeightsForVeryLongShifts) {
    struct Case {
        uint8_t mode;
        double factor;
    };
    // Shift counts of 32 and more at the corners: mode 2 from a window of 6, mode 1 from 12.
    for (const Case& c : {Case{2, 6.0}, Case{1, 12.0}, Case{2, 60.0}, Case{1, 300.0}}) {
        ResampleState st;
        st.factor = c.factor;
        st.bitCount = 8;
        st.srcWidth = 400;
        st.srcHeight = 400;
        st.mode = c.mode;
        ASSERT_TRUE(ResampleCreateWeights(&st));
        const uint32_t n = st.window;
        int64_t total = 0;
        for (uint32_t r = 0; r < n; ++r) {
            for (uint32_t cc = 0; cc < n; ++cc) {
                EXPECT_EQ(ReferenceWeight(c.mode, n, r, cc), st.weights[r][cc]);
                total += st.weights[r][cc];
            }
        }
        EXPECT_EQ(0, st.weights[0][0]);
        EXPECT_EQ(0x7FFF, st.weights[n / 2][0]);
        EXPECT_EQ(total, st.weightTotal);
    }
}

TEST(ResampleCreateWeights, TakesBitCountZeroAsOne) {
    ResampleState st;
    st.factor = 3.0;
    st.bitCount = 0;
    st.srcWidth = 40;
    st.srcHeight = 4;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    EXPECT_EQ(1, st.bitCount);
    EXPECT_EQ(0, st.bytesPerPixel);
    EXPECT_EQ(8u, st.srcRowBytes);
    EXPECT_EQ(4u, st.outRowBytes);
    EXPECT_EQ(std::vector<int>(3, 1), st.weights[0]);  // equal weights
    EXPECT_EQ(9, st.weightTotal);
}

TEST(ResampleCreateWeights, RefusesWhatItCannotReduce) {
    struct Case {
        double factor;
        uint32_t w, h;
    };
    const Case cases[] = {
        {0.5, 10, 10},
        {0.0, 10, 10},
        {-2.0, 10, 10},
        {std::nan(""), 10, 10},
        {std::numeric_limits<double>::infinity(), 10, 10},
        {double(kResampleMaxWindow) + 0.5, 10000, 10000},
        {2.0, 0, 10},
        {2.0, 10, 0},
        {1.0, 0xFFFFFFFFu, 1},  // a row past 4 GiB
    };
    for (const Case& c : cases) {
        ResampleState st;
        st.factor = c.factor;
        st.bitCount = 32;
        st.srcWidth = c.w;
        st.srcHeight = c.h;
        EXPECT_FALSE(ResampleCreateWeights(&st)) << c.factor << " " << c.w << "x" << c.h;
        EXPECT_EQ(nullptr, st.blockBuffer);
        EXPECT_EQ(nullptr, st.outRow);
        EXPECT_FALSE(ResampleRows(&st));
        EXPECT_EQ(0u, st.srcRowsDone);
    }
    EXPECT_FALSE(ResampleCreateWeights(nullptr));
    EXPECT_FALSE(ResampleRows(nullptr));
    EXPECT_EQ(0u, ResampleRowsLeft(nullptr));
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
        {2.0, 6, {2, 2, 2}, 3},
        {2.0, 5, {2, 2, 1}, 3},
        {1.5, 20, {2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2}, 14},
        {60.0, 10, {10}, 1},  // never more rows than the picture has
        {3.0, 2, {2}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "factor " << c.factor << " over " << c.height);
        const Source s = RandomSource(9, c.height, 24, 3);
        const Reduced r = RunResampler(s, c.factor, 1);
        EXPECT_EQ(c.reads, r.rowsReadPerPass);
        EXPECT_EQ(c.outHeight, r.outHeight);
    }
}

TEST(ResampleRows, FillsRowsLeftWhenTheSourceRunsOutEarly) {
    // 20 rows at factor 1.5: 13 passes for 14 output rows.
    const Source s = RandomSource(12, 20, 24, 11);
    ResampleState st;
    st.factor = 1.5;
    st.bitCount = 24;
    st.srcWidth = 12;
    st.srcHeight = 20;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    UniqueDib picture(DibCreate(int(st.outWidth), int(st.outHeight), 24));
    ASSERT_NE(nullptr, picture);
    uint32_t next = 0;
    while (st.srcRowsDone < st.srcHeight) {
        EXPECT_EQ(0u, ResampleRowsLeft(&st));
        for (uint32_t i = 0; i < st.rowsToRead; ++i) {
            std::memcpy(st.writePos + i * st.srcRowBytes, s.Row(next++), st.srcRowBytes);
        }
        ASSERT_TRUE(ResampleRows(&st));
        ResampleStoreRow(&st, picture.get(), st.outRowsDone - 1);
    }
    EXPECT_EQ(13u, st.outRowsDone);
    EXPECT_EQ(1u, ResampleRowsLeft(&st));
    EXPECT_FALSE(ResampleRows(&st));  // nothing more to do once the source is used up
    ResampleFinishRows(&st, picture.get());
    const uint32_t rowBytes = DibRowBytes(picture.get());
    const uint8_t* bottom = DibBits(picture.get());
    EXPECT_EQ(0, std::memcmp(bottom, bottom + rowBytes, rowBytes));
    bool anyNonZero = false;
    for (uint32_t i = 0; i < rowBytes; ++i) {
        anyNonZero |= bottom[i] != 0;
    }
    EXPECT_TRUE(anyNonZero);
}

TEST(ResampleRows, CopiesRowsUnchangedAtFactorOne) {
    for (int depth : {1, 4, 8, 16, 24, 32}) {
        const Source s = RandomSource(13, 5, depth, 5);
        ResampleState st;
        st.factor = 1.0;
        st.bitCount = uint8_t(depth);
        st.srcWidth = 13;
        st.srcHeight = 5;
        ASSERT_TRUE(ResampleCreateWeights(&st));
        EXPECT_EQ(13u, st.outWidth);
        EXPECT_EQ(5u, st.outHeight);
        for (uint32_t y = 0; y < 5; ++y) {
            ASSERT_EQ(1u, st.rowsToRead);
            std::memcpy(st.writePos, s.Row(y), st.srcRowBytes);
            ASSERT_TRUE(ResampleRows(&st));
            EXPECT_EQ(0, std::memcmp(st.outRow, s.Row(y), st.outRowBytes)) << depth << " bits";
        }
    }
}

TEST(ResampleRows, SetsAOneBitPixelFromTwoThirdsOn) {
    // Factor 3 with equal weights over 3 x 3 pixels: 6 of 9 set is exactly 170, 5 of 9 is 141.
    for (int set : {5, 6, 9, 0}) {
        ResampleState st;
        st.factor = 3.0;
        st.bitCount = 1;
        st.srcWidth = 3;
        st.srcHeight = 3;
        ASSERT_TRUE(ResampleCreateWeights(&st));
        for (int i = 0; i < set; ++i) {
            st.writePos[(i / 3) * st.srcRowBytes] |= uint8_t(0x80 >> (i % 3));
        }
        st.outRow[0] = 0xFF;  // a stale bit must be cleared as well as set
        ASSERT_TRUE(ResampleRows(&st));
        EXPECT_EQ(set >= 6 ? 0x80 : 0x00, st.outRow[0] & 0x80) << set << " set";
    }
}

TEST(ResampleRows, KeepsWhiteWhiteWithHugeWeightSums) {
    // A 300-wide window of full weights passes 32 bits in its sums.
    for (int depth : {24, 32}) {
        ResampleState st;
        st.factor = 300.0;
        st.bitCount = uint8_t(depth);
        st.srcWidth = 600;
        st.srcHeight = 600;
        st.mode = kResampleHalvingWithProduct;
        ASSERT_TRUE(ResampleCreateWeights(&st));
        while (st.srcRowsDone < st.srcHeight) {
            std::memset(st.writePos, 0xFF, size_t(st.rowsToRead) * st.srcRowBytes);
            ASSERT_TRUE(ResampleRows(&st));
            for (uint32_t i = 0; i < st.outWidth * (depth / 8); ++i) {
                ASSERT_EQ(0xFF, st.outRow[i]);
            }
        }
    }
}

TEST(ResampleRows, FallsBackToTheNearestPixelWhenNoWeightApplies) {
    const Source s = RandomSource(9, 3, 24, 21);
    ResampleState st;
    st.factor = 3.0;
    st.bitCount = 24;
    st.srcWidth = 9;
    st.srcHeight = 3;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    for (auto& row : st.weights) {
        std::fill(row.begin(), row.end(), 0);
    }
    std::memcpy(st.writePos, s.bytes.data(), s.bytes.size());
    ASSERT_TRUE(ResampleRows(&st));
    for (uint32_t x = 0; x < 3; ++x) {
        // The window's middle pixel: row 1, column 3x + 1.
        EXPECT_EQ(0, std::memcmp(st.outRow + 3 * x, s.Row(1) + 3 * (3 * x + 1), 3)) << x;
    }
}

TEST(ResampleRows, WritesNothingForSixteenBitPictures) {
    ResampleState st;
    st.factor = 2.0;
    st.bitCount = 16;
    st.srcWidth = 8;
    st.srcHeight = 4;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    std::memset(st.outRow, 0xAB, st.outRowBytes);
    std::memset(st.writePos, 0x11, size_t(st.rowsToRead) * st.srcRowBytes);
    ASSERT_TRUE(ResampleRows(&st));
    for (uint32_t i = 0; i < st.outRowBytes; ++i) {
        EXPECT_EQ(0xAB, st.outRow[i]);
    }
}

TEST(ResampleRows, KeepsIndicesWhenThereIsNoPalette) {
    ResampleState st;
    st.factor = 2.0;
    st.bitCount = 8;
    st.srcWidth = 4;
    st.srcHeight = 2;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    ResampleCreatePalette(&st);  // no palette given: nothing to build
    EXPECT_EQ(nullptr, st.paletteLookup);
    const uint8_t rows[2][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    std::memcpy(st.writePos, rows[0], 4);
    std::memcpy(st.writePos + st.srcRowBytes, rows[1], 4);
    ASSERT_TRUE(ResampleRows(&st));
    EXPECT_EQ(6, st.outRow[0]);  // row 1, column 1: the window's middle
    EXPECT_EQ(8, st.outRow[1]);
}

TEST(ResamplePalette, FindsTheNearestColourFirstOneWinning) {
    const RgbQuad entries[] = {
        {0, 0, 0, 0}, {10, 10, 10, 0}, {200, 0, 0, 0}, {10, 10, 10, 0}, {0, 0, 250, 9}};
    ResamplePalette palette(entries, 5);
    EXPECT_EQ(5u, palette.Count());
    EXPECT_EQ(0, palette.NearestIndex(4, 4, 4));
    EXPECT_EQ(1, palette.NearestIndex(6, 6, 6));  // entries 1 and 3 tie: the first wins
    EXPECT_EQ(1, palette.NearestIndex(10, 10, 10));
    EXPECT_EQ(2, palette.NearestIndex(255, 0, 0));  // blue is the first byte
    EXPECT_EQ(4, palette.NearestIndex(0, 0, 255));
    EXPECT_EQ(1, palette.NearestIndex(6, 6, 6));  // asked again, answered the same
}

TEST(ResampleDestroy, IsSafeAtAnyPointAndTwice) {
    ResampleDestroy(nullptr);
    ResampleState empty;
    ResampleDestroy(&empty);
    ResampleDestroy(&empty);
    RgbQuad palette[16] = {};
    ResampleState st;
    st.factor = 2.0;
    st.bitCount = 4;
    st.srcWidth = 10;
    st.srcHeight = 10;
    st.palette = palette;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    ResampleCreatePalette(&st);
    EXPECT_NE(nullptr, st.paletteLookup);
    ResampleDestroy(&st);
    EXPECT_EQ(nullptr, st.blockBuffer);
    EXPECT_EQ(nullptr, st.outRow);
    EXPECT_EQ(nullptr, st.paletteLookup);
    EXPECT_TRUE(st.weights.empty());
    EXPECT_FALSE(ResampleRows(&st));
    ResampleDestroy(&st);
    // Weights made twice over the same state release the first buffers (checked by ASan).
    ASSERT_TRUE(ResampleCreateWeights(&st));
    ASSERT_TRUE(ResampleCreateWeights(&st));
}

TEST(ResampleStoreRow, IgnoresRowsOutsideThePicture) {
    ResampleState st;
    st.factor = 1.0;
    st.bitCount = 24;
    st.srcWidth = 4;
    st.srcHeight = 2;
    ASSERT_TRUE(ResampleCreateWeights(&st));
    std::memset(st.outRow, 0x7E, st.outRowBytes);
    UniqueDib picture(DibCreate(4, 2, 24));
    ASSERT_NE(nullptr, picture);
    ResampleStoreRow(&st, picture.get(), 2);
    ResampleStoreRow(&st, picture.get(), 0xFFFFFFFFu);
    ResampleStoreRow(&st, nullptr, 0);
    for (uint32_t i = 0; i < DibRowBytes(picture.get()) * 2; ++i) {
        ASSERT_EQ(0, DibBits(picture.get())[i]);
    }
    ResampleStoreRow(&st, picture.get(), 0);  // the top row: last in memory
    EXPECT_EQ(0x7E, DibBits(picture.get())[DibRowBytes(picture.get())]);
    EXPECT_EQ(0, DibBits(picture.get())[0]);
}

}  // namespace
