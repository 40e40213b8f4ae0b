#include "imaging/PackedDib.h"

#include <gtest/gtest.h>

#include <QTransform>
#include <cstring>

#include "imaging/DibDraw.h"

namespace {

// A picture whose bytes, and so its pixels at every depth, vary from one to the next, with
// a palette of distinct colours.
UniqueDib PatternedPicture(int w, int h, int bitCount) {
    UniqueDib dib(DibCreate(w, h, bitCount));
    for (uint32_t i = 0; i < DibNumColors(dib.get()); ++i) {
        DibPalette(dib.get())[i] = RgbQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    }
    for (uint32_t i = 0; i < DibRowBytes(dib.get()) * uint32_t(h); ++i) {
        DibBits(dib.get())[i] = uint8_t(i * 37 + 11);
    }
    return dib;
}

TEST(DibCreate, LaysOutHeaderPaletteAndZeroedRows) {
    struct Case {
        int width, height, bitCount;
        uint32_t rowBytes, size, numColors;
    };
    const Case cases[] = {{3, 2, 24, 12, 64, 0}, {10, 10, 8, 12, 1184, 256}, {5, 1, 4, 4, 108, 16},
                          {33, 2, 1, 8, 64, 2},  {7, 3, 32, 28, 124, 0},     {7, 3, 16, 16, 88, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bitCount);
        UniqueDib dib(DibCreate(c.width, c.height, c.bitCount));
        ASSERT_NE(nullptr, dib);
        EXPECT_EQ(c.width, DibWidth(dib.get()));
        EXPECT_EQ(c.height, DibHeight(dib.get()));
        EXPECT_EQ(c.size, dib->biSizeImage);
        EXPECT_EQ(c.size, DibSize(dib.get()));
        EXPECT_EQ(c.rowBytes, DibRowBytes(dib.get()));
        EXPECT_EQ(c.numColors, DibNumColors(dib.get()));
        const auto* start = reinterpret_cast<const uint8_t*>(dib.get());
        EXPECT_EQ(40 + 4 * c.numColors, uint32_t(DibBits(dib.get()) - start));
        for (uint32_t i = 40; i < c.size; ++i) {
            ASSERT_EQ(0, start[i]) << "byte " << i;
        }
    }
}

TEST(DibCreate, RefusesWhatCannotBeAPicture) {
    // The last three pass the pixel cap, the 4 GiB block limit and every limit at once.
    const int cases[][3] = {{0, 5, 24},        {5, -3, 8},         {5, 5, 0},
                            {5, 5, 2},         {5, 5, 15},         {INT32_MAX, 1, 1},
                            {32769, 32768, 1}, {32768, 32768, 32}, {INT32_MAX, INT32_MAX, 32}};
    for (const auto& c : cases) {
        EXPECT_EQ(nullptr, UniqueDib(DibCreate(c[0], c[1], c[2])))
            << c[0] << "x" << c[1] << "x" << c[2];
    }
    EXPECT_EQ(40u + 8 + uint64_t(4096) * 32768, DibCreateSize(32768, 32768, 1));
    EXPECT_EQ(40u + uint64_t(131072) * 32767, DibCreateSize(32768, 32767, 32));
    EXPECT_EQ(0u, DibRowBytesFor(INT32_MAX, 16));
    EXPECT_EQ(nullptr, DibRotate(nullptr, 1));
    UniqueDib topDown = PatternedPicture(5, 3, 8);
    topDown->biHeight = -3;  // not turned
    EXPECT_EQ(nullptr, DibRotate(topDown.get(), 1));
    EXPECT_EQ(nullptr, DibAlloc(SIZE_MAX - 16));
}

TEST(DibCopy, CopiesTheWholeBlockWhateverTheHeaderSays) {
    // A decoder may rewrite header fields; neither the copy nor the free may trust them,
    // and nothing reads rows that the block does not hold.
    for (int32_t height : {1000000, 1, -3}) {
        UniqueDib dib = PatternedPicture(5, 3, 8);
        ASSERT_NE(nullptr, dib);
        const size_t blockSize = DibBlockSize(dib.get());
        dib->biHeight = height;
        dib->biClrUsed = height > 1 ? 0xFFFFFFFF : 0;
        dib->biSizeImage = 16;
        PackedDib copy = nullptr;
        DibCopy(dib.get(), &copy);
        UniqueDib owned(copy);
        ASSERT_NE(nullptr, copy);
        EXPECT_EQ(blockSize, DibBlockSize(copy));
        EXPECT_EQ(0, std::memcmp(copy, dib.get(), blockSize));
        UniqueDib turned(DibRotate(copy, 1));
        EXPECT_EQ(height == 1, turned != nullptr) << height;
    }
}

// Every pixel must land where the turn puts it, seen through the drawing helper's upright
// copy, which also shows the palette's colours.
TEST(DibRotate, TurnsEveryWayAtEveryDepth) {
    const int sizes[][2] = {{5, 3}, {2, 7}, {1, 1}, {33, 2}};
    for (int bitCount : {1, 4, 8, 16, 24, 32}) {
        for (const auto& size : sizes) {
            UniqueDib src = PatternedPicture(size[0], size[1], bitCount);
            for (int dir : {1, -1, 2, -2, 0}) {  // 0: an unturned copy
                SCOPED_TRACE(::testing::Message()
                             << size[0] << "x" << size[1] << "x" << bitCount << " dir " << dir);
                UniqueDib turned(DibRotate(src.get(), dir));
                ASSERT_NE(nullptr, turned);
                const QTransform turn = QTransform().rotate(dir == 2 || dir == -2 ? 180 : 90 * dir);
                EXPECT_EQ(DibToImage(src.get()).transformed(turn), DibToImage(turned.get()));
            }
        }
    }
}

}  // namespace
