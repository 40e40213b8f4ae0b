#include "app/imaging/PackedDib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// --- Helpers that read and write pixels by their place in the picture as seen (x to the
// right, y down from the top row), independent of the module's own storage code.

uint32_t StrideOf(int width, int bitCount) {
    return ((width * bitCount + 31) / 32) * 4;
}

uint8_t* StoredPixel(PackedDib dib, int x, int y) {
    const int storedRow = dib->biHeight - 1 - y;
    return DibBits(dib) + size_t(storedRow) * StrideOf(dib->biWidth, dib->biBitCount) +
           size_t(x) * dib->biBitCount / 8;
}

uint32_t GetPixel(PackedDib dib, int x, int y) {
    const uint8_t* p = StoredPixel(dib, x, y);
    switch (dib->biBitCount) {
        case 1:
            return (*p >> (7 - x % 8)) & 1;
        case 4:
            return x % 2 == 0 ? *p >> 4 : *p & 0x0F;
        case 8:
            return *p;
        case 16:
            return p[0] | (p[1] << 8);
        case 24:
            return p[0] | (p[1] << 8) | (p[2] << 16);
        default:
            return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
    }
}

void SetPixel(PackedDib dib, int x, int y, uint32_t v) {
    uint8_t* p = StoredPixel(dib, x, y);
    switch (dib->biBitCount) {
        case 1:
            *p = (*p & ~(0x80 >> (x % 8))) | ((v & 1) << (7 - x % 8));
            break;
        case 4:
            *p = x % 2 == 0 ? (*p & 0x0F) | (v << 4) : (*p & 0xF0) | (v & 0x0F);
            break;
        default:
            for (int i = 0; i < dib->biBitCount / 8; ++i) {
                p[i] = (v >> (8 * i)) & 0xFF;
            }
    }
}

// A value for every pixel that no other pixel of a picture up to 15 pixels shares, fitting
// the bit count (1-bit pictures are covered by the one-pixel pictures below).
uint32_t DistinctValue(int bitCount, int x, int y, int width) {
    const uint32_t n = uint32_t(y * width + x + 1);
    switch (bitCount) {
        case 4:
            return n;
        case 8:
            return n * 13;
        case 16:
            return n * 0x0421;
        case 24:
            return n | (uint32_t(x + 1) << 8) | (uint32_t(y + 7) << 16);
        default:
            return n | (uint32_t(x + 1) << 8) | (uint32_t(y + 7) << 16) | (0xA0u + n) << 24;
    }
}

struct Point {
    int x;
    int y;
};

// Where the pixel seen at (x, y) of a w x h picture is seen after the turn.
Point SeenAfterTurn(int dir, int w, int h, int x, int y) {
    switch (dir) {
        case 1:  // clockwise: the top edge becomes the right edge
            return {h - 1 - y, x};
        case -1:  // counterclockwise: the top edge becomes the left edge
            return {y, w - 1 - x};
        default:  // half turn
            return {w - 1 - x, h - 1 - y};
    }
}

void FillPalette(PackedDib dib) {
    RgbQuad* pal = DibPalette(dib);
    for (uint32_t i = 0; i < DibNumColors(dib); ++i) {
        pal[i] = RgbQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    }
}

void ExpectPaletteCopied(const DibInfoHeader* from, PackedDib to) {
    ASSERT_EQ(DibNumColors(from), DibNumColors(to));
    if (DibNumColors(from) != 0) {
        EXPECT_EQ(0, std::memcmp(DibPalette(from), DibPalette(to), 4 * DibNumColors(from)));
    }
}

// Bytes past the last pixel of every row must stay zero.
void ExpectPaddingClear(PackedDib dib) {
    const uint32_t used = (uint32_t(dib->biWidth) * dib->biBitCount + 7) / 8;
    const uint32_t stride = StrideOf(dib->biWidth, dib->biBitCount);
    for (int row = 0; row < dib->biHeight; ++row) {
        const uint8_t* bytes = DibBits(dib) + size_t(row) * stride;
        for (uint32_t i = used; i < stride; ++i) {
            EXPECT_EQ(0, bytes[i]) << "row " << row << " byte " << i;
        }
        const unsigned spareBits = used * 8 - dib->biWidth * dib->biBitCount;
        if (spareBits != 0) {
            EXPECT_EQ(0, bytes[used - 1] & ((1u << spareBits) - 1)) << "row " << row;
        }
    }
}

const int kBitCounts[] = {1, 4, 8, 16, 24, 32};

// --- Sizes -----------------------------------------------------------------------------------

struct SizeCase {
    int width, height, bitCount;
    uint32_t rowBytes, size, clrUsed, numColors, bitsOffset;
};

TEST(DibCreate, LaysOutHeaderPaletteAndRows) {
    const SizeCase cases[] = {
        {3, 2, 24, 12, 64, 0, 0, 40},        {10, 10, 8, 12, 1184, 256, 256, 1064},
        {5, 1, 4, 4, 108, 16, 16, 104},      {9, 1, 1, 4, 52, 0, 2, 48},
        {7, 3, 32, 28, 124, 0, 0, 40},       {7, 3, 16, 16, 88, 0, 0, 40},
        {33, 2, 1, 8, 64, 0, 2, 48},         {1, 1, 24, 4, 44, 0, 0, 40},
        {1000, 3, 24, 3000, 9040, 0, 0, 40},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bitCount);
        UniqueDib dib(DibCreate(c.width, c.height, c.bitCount));
        ASSERT_NE(nullptr, dib);
        EXPECT_EQ(40u, dib->biSize);
        EXPECT_EQ(c.width, DibWidth(dib.get()));
        EXPECT_EQ(c.height, DibHeight(dib.get()));
        EXPECT_EQ(1, dib->biPlanes);
        EXPECT_EQ(c.bitCount, dib->biBitCount);
        EXPECT_EQ(0u, dib->biCompression);
        EXPECT_EQ(c.size, dib->biSizeImage);
        EXPECT_EQ(c.size, DibSize(dib.get()));
        EXPECT_EQ(c.size, DibCreateSize(c.width, c.height, c.bitCount));
        EXPECT_EQ(c.clrUsed, dib->biClrUsed);
        EXPECT_EQ(c.numColors, DibNumColors(dib.get()));
        EXPECT_EQ(c.rowBytes, DibRowBytes(dib.get()));
        EXPECT_EQ(c.rowBytes, DibRowBytesFor(c.width, c.bitCount));
        const auto* start = reinterpret_cast<const uint8_t*>(dib.get());
        EXPECT_EQ(c.bitsOffset, uint32_t(DibBits(dib.get()) - start));
        EXPECT_GE(DibBlockSize(dib.get()), c.size);
        EXPECT_TRUE(DibRowsInBlock(dib.get()));
        // Everything after the header starts zero: black pixels, all-zero palette.
        for (uint32_t i = 40; i < c.size; ++i) {
            ASSERT_EQ(0, start[i]) << "byte " << i;
        }
    }
}

TEST(DibCreate, RefusesWhatCannotBeAPicture) {
    struct Refused {
        int width, height, bitCount;
    };
    const Refused cases[] = {
        {0, 5, 24},
        {5, 0, 24},
        {-1, 5, 8},
        {5, -3, 8},
        {5, 5, 0},
        {5, 5, 2},
        {5, 5, 3},
        {5, 5, 12},
        {5, 5, 15},
        {5, 5, 33},
        {5, 5, -24},
        {INT32_MAX, 1, 1},
        {65536, 65536, 1},
        {32769, 32768, 1},
        {32768, 32768, 32},  // 2^30 pixels, 4 GiB + 40 bytes
        {INT32_MAX, INT32_MAX, 32},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bitCount);
        EXPECT_EQ(0u, DibCreateSize(c.width, c.height, c.bitCount));
        UniqueDib dib(DibCreate(c.width, c.height, c.bitCount));
        EXPECT_EQ(nullptr, dib);
    }
}

TEST(DibCreate, AcceptsSizesJustInsideTheCaps) {
    // 2^30 pixels is allowed when the bytes fit; one row fewer at 32 bits fits 4 GiB - 1.
    EXPECT_EQ(40u + 8 + uint64_t(4096) * 32768, DibCreateSize(32768, 32768, 1));
    EXPECT_EQ(40u + uint64_t(131072) * 32767, DibCreateSize(32768, 32767, 32));
    EXPECT_EQ(0u, DibCreateSize(32768, 32769, 1));  // one row past the pixel cap
}

TEST(DibRowBytes, PadsToFourBytesAndRefusesNonsense) {
    EXPECT_EQ(4u, DibRowBytesFor(1, 1));
    EXPECT_EQ(4u, DibRowBytesFor(32, 1));
    EXPECT_EQ(8u, DibRowBytesFor(33, 1));
    EXPECT_EQ(4u, DibRowBytesFor(8, 4));
    EXPECT_EQ(8u, DibRowBytesFor(9, 4));
    EXPECT_EQ(8u, DibRowBytesFor(5, 8));
    EXPECT_EQ(12u, DibRowBytesFor(5, 16));
    EXPECT_EQ(16u, DibRowBytesFor(5, 24));
    EXPECT_EQ(20u, DibRowBytesFor(5, 32));
    EXPECT_EQ(0u, DibRowBytesFor(0, 24));
    EXPECT_EQ(0u, DibRowBytesFor(-5, 24));
    EXPECT_EQ(0u, DibRowBytesFor(5, 0));
    EXPECT_EQ(0x80000000u, DibRowBytesFor(INT32_MAX, 8));
    EXPECT_EQ(0u, DibRowBytesFor(INT32_MAX, 16));  // 4 GiB: past what a row may take
    EXPECT_EQ(0u, DibRowBytesFor(INT32_MAX, 32));
}

TEST(DibNumColors, HonoursUsedColoursWhenLocatingPixels) {
    UniqueDib dib(DibCreate(4, 4, 8));
    ASSERT_NE(nullptr, dib);
    dib->biClrUsed = 2;
    const auto* start = reinterpret_cast<const uint8_t*>(dib.get());
    EXPECT_EQ(2u, DibNumColors(dib.get()));
    EXPECT_EQ(48, DibBits(dib.get()) - start);
    EXPECT_EQ(40u + 1024 + 16, DibSize(dib.get()));  // the size counts the full palette

    UniqueDib rgb(DibCreate(4, 4, 24));
    ASSERT_NE(nullptr, rgb);
    EXPECT_EQ(nullptr, DibPalette(rgb.get()));
    rgb->biClrUsed = 3;  // a colour table beside true-colour pixels is honoured too
    EXPECT_EQ(52, DibBits(rgb.get()) - reinterpret_cast<const uint8_t*>(rgb.get()));
}

TEST(DibNullInputs, AnswerZeroNullOrNothing) {
    EXPECT_EQ(0, DibWidth(nullptr));
    EXPECT_EQ(0, DibHeight(nullptr));
    EXPECT_EQ(0u, DibSize(nullptr));
    EXPECT_EQ(0u, DibNumColors(nullptr));
    EXPECT_EQ(0u, DibRowBytes(nullptr));
    EXPECT_EQ(0u, DibBlockSize(nullptr));
    EXPECT_EQ(nullptr, DibBits(static_cast<PackedDib>(nullptr)));
    EXPECT_EQ(nullptr, DibPalette(static_cast<PackedDib>(nullptr)));
    EXPECT_FALSE(DibRowsInBlock(nullptr));
    EXPECT_EQ(nullptr, DibRotate(nullptr, 1));
    EXPECT_EQ(nullptr, DibRotate(nullptr, 0));
    PackedDib out = reinterpret_cast<PackedDib>(&out);
    DibCopy(nullptr, &out);
    EXPECT_EQ(nullptr, out);
    DibCopy(nullptr, nullptr);
    DibFree(nullptr);
    DibRelease(nullptr);
    DibSwapRGB(nullptr, 6);
    EXPECT_EQ(nullptr, DibAlloc(0));
}

// --- Blocks ------------------------------------------------------------------------------

TEST(DibAlloc, GivesZeroedWritableBlocksOfTheAskedSize) {
    for (size_t size : {size_t(1), size_t(4095), size_t(4096), size_t(4097), size_t(70000)}) {
        auto* block = static_cast<uint8_t*>(DibAlloc(size));
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(size, DibBlockSize(block));
        for (size_t i = 0; i < size; ++i) {
            ASSERT_EQ(0, block[i]);
        }
        block[0] = 1;
        block[size - 1] = 2;
        DibRelease(block);
    }
    EXPECT_EQ(nullptr, DibAlloc(SIZE_MAX));
    EXPECT_EQ(nullptr, DibAlloc(SIZE_MAX - 16));
}

TEST(DibCopy, CopiesTheWholeBlockWhateverTheHeaderSays) {
    // A decoder may rewrite header fields; neither the copy nor the free may trust them.
    struct Forgery {
        int32_t height;
        uint16_t bitCount;
        uint32_t clrUsed;
        bool rowsFit;
    };
    const Forgery forgeries[] = {
        {1000000, 32, 0xFFFFFFFF, false},  // claims far more than the block holds
        {1, 1, 0, true},                   // claims far less
        {-3, 8, 0, true},
    };
    for (const Forgery& f : forgeries) {
        SCOPED_TRACE(f.height);
        UniqueDib dib(DibCreate(5, 3, 8));
        ASSERT_NE(nullptr, dib);
        FillPalette(dib.get());
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                SetPixel(dib.get(), x, y, DistinctValue(8, x, y, 5));
            }
        }
        const size_t blockSize = DibBlockSize(dib.get());
        dib->biHeight = f.height;
        dib->biBitCount = f.bitCount;
        dib->biClrUsed = f.clrUsed;
        dib->biSizeImage = 16;
        PackedDib copy = nullptr;
        DibCopy(dib.get(), &copy);
        UniqueDib owned(copy);
        ASSERT_NE(nullptr, copy);
        EXPECT_NE(static_cast<void*>(copy), static_cast<void*>(dib.get()));
        EXPECT_EQ(blockSize, DibBlockSize(copy));
        EXPECT_EQ(0, std::memcmp(copy, dib.get(), blockSize));
        EXPECT_EQ(f.rowsFit, DibRowsInBlock(copy));
        if (!f.rowsFit) {
            // Nothing reads rows that the block does not hold.
            EXPECT_EQ(nullptr, DibRotate(copy, 1));
            EXPECT_EQ(nullptr, DibRotate(copy, 2));
        }
    }
}

TEST(DibCopy, IsIndependentOfTheSource) {
    UniqueDib dib(DibCreate(3, 2, 24));
    ASSERT_NE(nullptr, dib);
    SetPixel(dib.get(), 1, 1, 0x123456);
    PackedDib copy = nullptr;
    DibCopy(dib.get(), &copy);
    UniqueDib owned(copy);
    ASSERT_NE(nullptr, copy);
    SetPixel(dib.get(), 1, 1, 0);
    EXPECT_EQ(0x123456u, GetPixel(copy, 1, 1));
    EXPECT_EQ(64u, copy->biSizeImage);
}

// --- Byte order --------------------------------------------------------------------------

TEST(DibSwapRGB, SwapsFirstAndThirdOfEveryWholeTriple) {
    struct Case {
        std::vector<uint8_t> in;
        unsigned count;
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        {{1, 2, 3}, 3, {3, 2, 1}},
        {{1, 2, 3, 4, 5, 6}, 6, {3, 2, 1, 6, 5, 4}},
        {{1, 2, 3, 4, 5, 6, 7}, 7, {3, 2, 1, 6, 5, 4, 7}},
        {{1, 2, 3, 4, 5, 6, 7, 8}, 8, {3, 2, 1, 6, 5, 4, 7, 8}},
        {{1, 2, 3, 4, 5, 6}, 3, {3, 2, 1, 4, 5, 6}},  // only the bytes it was given
        {{1, 2}, 2, {1, 2}},
        {{9}, 0, {9}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = c.in;
        DibSwapRGB(bytes.data(), c.count);
        EXPECT_EQ(c.out, bytes) << "count " << c.count;
    }
}

// --- Rotation ----------------------------------------------------------------------------

UniqueDib DistinctPicture(int w, int h, int bitCount) {
    UniqueDib dib(DibCreate(w, h, bitCount));
    if (dib) {
        FillPalette(dib.get());
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                SetPixel(dib.get(), x, y, DistinctValue(bitCount, x, y, w));
            }
        }
    }
    return dib;
}

void ExpectTurned(const DibInfoHeader* srcConst, PackedDib turned, int dir) {
    auto* src = const_cast<PackedDib>(srcConst);
    const int w = src->biWidth;
    const int h = src->biHeight;
    const bool quarter = dir == 1 || dir == -1;
    ASSERT_EQ(quarter ? h : w, DibWidth(turned));
    ASSERT_EQ(quarter ? w : h, DibHeight(turned));
    ASSERT_EQ(src->biBitCount, turned->biBitCount);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Point p = SeenAfterTurn(dir, w, h, x, y);
            ASSERT_EQ(GetPixel(src, x, y), GetPixel(turned, p.x, p.y))
                << "pixel " << x << "," << y << " dir " << dir;
        }
    }
    ExpectPaletteCopied(src, turned);
    ExpectPaddingClear(turned);
}

TEST(DibRotate, TurnsDistinctPixelsEveryWayAtEveryDepth) {
    const int dirs[] = {1, -1, 2, -2};
    for (int bitCount : {4, 8, 16, 24, 32}) {
        for (int dir : dirs) {
            // 5 x 3 and 3 x 5 give rows with and without padding, and sub-byte boundaries.
            for (Point size : {Point{5, 3}, Point{3, 5}, Point{3, 2}, Point{2, 7}}) {
                SCOPED_TRACE(::testing::Message()
                             << size.x << "x" << size.y << "x" << bitCount << " dir " << dir);
                UniqueDib src = DistinctPicture(size.x, size.y, bitCount);
                ASSERT_NE(nullptr, src);
                UniqueDib turned(DibRotate(src.get(), dir));
                ASSERT_NE(nullptr, turned);
                ExpectTurned(src.get(), turned.get(), dir);
            }
        }
    }
}

TEST(DibRotate, MovesEachSinglePixelToItsPlaceAtEveryDepth) {
    // One lit pixel at a time: the only way to tell 1-bit pixels apart, and a check that
    // nothing else is written at the other depths.
    const int w = 11;
    const int h = 3;
    for (int bitCount : kBitCounts) {
        for (int dir : {1, -1, 2}) {
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    UniqueDib src(DibCreate(w, h, bitCount));
                    ASSERT_NE(nullptr, src);
                    SetPixel(src.get(), x, y, bitCount == 1 ? 1 : 0x0F);
                    UniqueDib turned(DibRotate(src.get(), dir));
                    ASSERT_NE(nullptr, turned);
                    ExpectTurned(src.get(), turned.get(), dir);
                }
            }
        }
    }
}

TEST(DibRotate, TurnsBackToTheSameBytes) {
    for (int bitCount : kBitCounts) {
        SCOPED_TRACE(bitCount);
        UniqueDib src = DistinctPicture(3, 2, bitCount);
        ASSERT_NE(nullptr, src);
        const size_t size = DibSize(src.get());
        UniqueDib left(DibRotate(src.get(), -1));
        UniqueDib back(DibRotate(left.get(), 1));
        ASSERT_NE(nullptr, back);
        EXPECT_EQ(0, std::memcmp(src.get(), back.get(), size));
        UniqueDib half(DibRotate(src.get(), 2));
        UniqueDib full(DibRotate(half.get(), -2));
        ASSERT_NE(nullptr, full);
        EXPECT_EQ(0, std::memcmp(src.get(), full.get(), size));
        UniqueDib four(DibRotate(src.get(), 1));
        for (int i = 0; i < 3; ++i) {
            four.reset(DibRotate(four.get(), 1));
        }
        ASSERT_NE(nullptr, four);
        EXPECT_EQ(0, std::memcmp(src.get(), four.get(), size));
    }
}

TEST(DibRotate, ZeroCopiesAndOtherTurnsGiveABlackPicture) {
    for (int bitCount : kBitCounts) {
        SCOPED_TRACE(bitCount);
        UniqueDib src = DistinctPicture(5, 3, bitCount);
        ASSERT_NE(nullptr, src);
        UniqueDib same(DibRotate(src.get(), 0));
        ASSERT_NE(nullptr, same);
        EXPECT_EQ(0, std::memcmp(src.get(), same.get(), DibBlockSize(src.get())));
        for (int dir : {3, -3, 4, 90, INT32_MIN}) {
            UniqueDib other(DibRotate(src.get(), dir));
            ASSERT_NE(nullptr, other);
            EXPECT_EQ(5, DibWidth(other.get()));
            EXPECT_EQ(3, DibHeight(other.get()));
            ExpectPaletteCopied(src.get(), other.get());
            const uint8_t* bits = DibBits(other.get());
            for (uint32_t i = 0; i < DibRowBytes(other.get()) * 3; ++i) {
                ASSERT_EQ(0, bits[i]);
            }
        }
    }
}

TEST(DibRotate, HandlesOnePixelAndOnePixelWidePictures) {
    for (int bitCount : kBitCounts) {
        for (Point size : {Point{1, 1}, Point{1, 9}, Point{9, 1}, Point{1, 40}, Point{33, 1}}) {
            SCOPED_TRACE(::testing::Message() << size.x << "x" << size.y << "x" << bitCount);
            UniqueDib src(DibCreate(size.x, size.y, bitCount));
            ASSERT_NE(nullptr, src);
            FillPalette(src.get());
            SetPixel(src.get(), size.x - 1, 0, bitCount == 1 ? 1 : 5);
            for (int dir : {-2, -1, 0, 1, 2, 7}) {
                UniqueDib turned(DibRotate(src.get(), dir));
                ASSERT_NE(nullptr, turned);
                if (dir != 0 && dir != 7) {
                    ExpectTurned(src.get(), turned.get(), dir);
                }
            }
        }
    }
}

TEST(DibRotate, UsesTheShortPaletteThatTheHeaderNames) {
    // With fewer used colours the pixels start earlier; the turn must read them there.
    UniqueDib src(DibCreate(3, 2, 8));
    ASSERT_NE(nullptr, src);
    src->biClrUsed = 4;
    FillPalette(src.get());
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            SetPixel(src.get(), x, y, uint32_t(y * 3 + x));
        }
    }
    UniqueDib turned(DibRotate(src.get(), 1));
    ASSERT_NE(nullptr, turned);
    EXPECT_EQ(256u, DibNumColors(turned.get()));
    EXPECT_EQ(0, std::memcmp(DibPalette(src.get()), DibPalette(turned.get()), 16));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const Point p = SeenAfterTurn(1, 3, 2, x, y);
            EXPECT_EQ(GetPixel(src.get(), x, y), GetPixel(turned.get(), p.x, p.y));
        }
    }
}

TEST(DibRotate, RefusesTopDownPictures) {
    UniqueDib src(DibCreate(3, 2, 24));
    ASSERT_NE(nullptr, src);
    src->biHeight = -2;
    EXPECT_EQ(nullptr, DibRotate(src.get(), 1));
}

}  // namespace
