// Packed bitmaps and their drawing helper: layout, copies, turns, and drawing every depth
// as the stored bytes say, clipped and scaled.
#include "imaging/PackedDib.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "imaging/DibDraw.h"

namespace {

// Bytes that vary from one to the next; the fourth byte of 32-bit pixels left at 0 as
// decoders leave it.
UniqueDib ColourfulPicture(int w, int h, int bitCount) {
    UniqueDib dib(DibCreate(w, h, bitCount));
    for (uint32_t i = 0; i < DibNumColors(dib.get()); ++i) {
        DibPalette(dib.get())[i] =
            RgbQuad{uint8_t(40 + i * 9), uint8_t(200 - i * 5), uint8_t(i * 17), 0};
    }
    for (uint32_t i = 0; i < DibRowBytes(dib.get()) * h; ++i) {
        DibBits(dib.get())[i] = bitCount == 32 && i % 4 == 3 ? 0 : uint8_t(i * 7 + i / 13 * 31 + 3);
    }
    return dib;
}

TEST(DibCreate, LaysOutHeaderPaletteAndZeroedRows) {
    struct Case {
        int width, height, bitCount;
        uint32_t rowBytes, size, numColors;
        DibPages pages = DibPages::Small;
    };
    const Case cases[] = {{3, 2, 24, 12, 64, 0},
                          {10, 10, 8, 12, 1184, 256},
                          {5, 1, 4, 4, 108, 16},
                          {33, 2, 1, 8, 64, 2},
                          {7, 3, 32, 28, 124, 0},
                          {7, 3, 16, 16, 88, 0},
                          // Past 4 MiB: whole large pages, the block placed on their boundary.
                          {1501, 1001, 24, 4504, 4508544, 0, DibPages::Large},
                          {7, 3, 24, 24, 112, 0, DibPages::Large}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bitCount);
        UniqueDib dib(DibCreate(c.width, c.height, c.bitCount, c.pages));
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
    UniqueDib topDown = ColourfulPicture(5, 3, 8);
    topDown->biHeight = -3;  // not turned
    EXPECT_EQ(nullptr, DibRotate(topDown.get(), 1));
    EXPECT_EQ(nullptr, DibAlloc(SIZE_MAX - 16));
}

TEST(DibCopy, CopiesTheWholeBlockWhateverTheHeaderSays) {
    // A decoder may rewrite header fields; neither the copy nor the free may trust them,
    // and nothing reads rows that the block does not hold.
    for (int32_t height : {1000000, 1, -3}) {
        UniqueDib dib = ColourfulPicture(5, 3, 8);
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
            UniqueDib src = ColourfulPicture(size[0], size[1], bitCount);
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

// The colour a pixel should show, read straight from the stored bytes; y counts from the top.
QRgb ExpectedColour(const DibInfoHeader* dib, int x, int y) {
    const int storedRow = dib->biHeight < 0 ? y : dib->biHeight - 1 - y;
    const uint8_t* row = DibBits(dib) + size_t(storedRow) * DibRowBytes(dib);
    const int bits = dib->biBitCount;
    if (bits <= 8) {
        const unsigned index = (row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1 << bits) - 1);
        const RgbQuad q = DibPalette(dib)[index];
        return qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    if (bits == 16) {  // 5-5-5, each widened to 8 bits as Qt does
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        auto widen = [v](int shift) {
            return int((v >> shift & 31) << 3 | (v >> shift & 31) >> 2);
        };
        return qRgb(widen(10), widen(5), widen(0));
    }
    const uint8_t* p = row + x * bits / 8;
    return qRgb(p[2], p[1], p[0]);
}

QImage Canvas(int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    image.fill(format == QImage::Format_RGB32 ? 0xFF0A0B0Cu : 0u);
    return image;
}

QImage DrawnOn(QImage canvas, const DibInfoHeader* dib, const QRect& dst, int sx, int sy, int sw,
               int sh, bool smooth = false) {
    QPainter painter(&canvas);
    DibDraw(dib, painter, dst, sx, sy, sw, sh, smooth);
    return canvas;
}

// dst must show the picture `scale` times enlarged; the rest of the canvas, and the part
// of dst beyond the picture, stays as it was.
void ExpectDrawn(const DibInfoHeader* dib, const QImage& canvas, const QRect& dst, int sx, int sy,
                 int sw, int sh, int scale) {
    const QImage drawn = DrawnOn(canvas, dib, dst, sx, sy, sw, sh);
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const int px = sx + (x - dst.x()) / scale;
            const int py = sy + (y - dst.y()) / scale;
            const bool shown = dst.contains(x, y) && px >= 0 && px < dib->biWidth && py >= 0 &&
                               py < std::abs(dib->biHeight);
            ASSERT_EQ(shown ? ExpectedColour(dib, px, py) : canvas.pixel(x, y), drawn.pixel(x, y))
                << "at " << x << "," << y;
        }
    }
}

TEST(DibDraw, DrawsEveryDepthUprightAndOpaqueAsTheUprightCopyShowsIt) {
    // On a canvas with alpha every pixel must come out opaque, whatever a 32-bit pixel's
    // fourth byte holds.
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        for (int bitCount : {1, 4, 8, 16, 24, 32}) {
            for (bool topDown : {false, true}) {
                SCOPED_TRACE(::testing::Message() << bitCount << " bits, format " << format
                                                  << (topDown ? " top-down" : ""));
                UniqueDib dib = ColourfulPicture(7, 4, bitCount);
                dib->biHeight = topDown ? -4 : 4;
                ExpectDrawn(dib.get(), Canvas(11, 9, format), QRect(2, 3, 7, 4), 0, 0, 7, 4, 1);
                // The upright copy shows the same, opaque where a painter copies its pixels
                // onto a canvas with alpha.
                const QImage upright = DibToImage(dib.get());
                EXPECT_EQ(DrawnOn(Canvas(7, 4), dib.get(), QRect(0, 0, 7, 4), 0, 0, 7, 4), upright);
                QImage withAlpha = Canvas(7, 4, QImage::Format_ARGB32_Premultiplied);
                QPainter(&withAlpha).drawImage(0, 0, upright);
                EXPECT_EQ(withAlpha.pixel(6, 3) >> 24, 0xFFu);
            }
        }
    }
}

TEST(DibDraw, ClipsTheSourceAndKeepsTheScale) {
    struct Case {
        QRect dst;
        int sx, sy, sw, sh, scale;
        bool topDown;
    };
    const Case cases[] = {
        {QRect(0, 0, 9, 6), -2, -1, 9, 6, 1, false},  // a panel scrolled past the picture
        {QRect(0, 0, 9, 6), 0, 0, 9, 6, 1, false},    // a client area wider than the picture
        {QRect(1, 1, 3, 2), 1, 1, 3, 2, 1, false},    // a part, counted from the top left
        {QRect(1, 1, 3, 2), 1, 1, 3, 2, 1, true},
        {QRect(0, 0, 20, 12), 0, 0, 5, 3, 4, false},  // right and bottom edges inclusive
        {QRect(0, 0, 12, 6), -1, 0, 6, 3, 2, false},
        {QRect(0, 0, 12, 6), -1, -1, 6, 3, 2, true},
        {QRect(0, 0, 100000, 100000), 0, 0, 100000, 100000, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sx << "," << c.sy << " x" << c.scale);
        UniqueDib dib = ColourfulPicture(5, 3, 24);
        dib->biHeight = c.topDown ? -3 : 3;
        ExpectDrawn(dib.get(), Canvas(22, 14), c.dst, c.sx, c.sy, c.sw, c.sh, c.scale);
    }
}

TEST(DibDraw, DrawsNothingForBadPicturesOrEmptyRequests) {
    UniqueDib dib = ColourfulPicture(5, 3, 24);
    UniqueDib forged = ColourfulPicture(5, 3, 24);
    forged->biHeight = 100000;  // claims rows its block does not hold
    UniqueDib compressed = ColourfulPicture(5, 3, 8);
    compressed->biCompression = 1;
    const QImage blank = Canvas(6, 4);
    for (const DibInfoHeader* bad :
         {static_cast<DibInfoHeader*>(nullptr), forged.get(), compressed.get()}) {
        EXPECT_EQ(blank, DrawnOn(blank, bad, QRect(0, 0, 5, 3), 0, 0, 5, 3));
    }
    EXPECT_EQ(blank, DrawnOn(blank, dib.get(), QRect(), 0, 0, 5, 3));
    const int requests[][4] = {
        {0, 0, 0, 3}, {0, 0, 5, -3}, {5, 0, 5, 3}, {-5, 0, 5, 3}, {INT_MIN, INT_MIN, 5, 3}};
    for (const auto& r : requests) {
        EXPECT_EQ(blank, DrawnOn(blank, dib.get(), QRect(0, 0, 5, 3), r[0], r[1], r[2], r[3]))
            << r[0] << "," << r[1] << " " << r[2] << "x" << r[3];
    }
    EXPECT_TRUE(DibToImage(forged.get()).isNull());
    // Sources whose far edge passes int must not crash either.
    DrawnOn(blank, dib.get(), QRect(0, 0, 8, 8), 0, 0, INT_MAX, INT_MAX);
    DrawnOn(blank, dib.get(), QRect(0, 0, 8, 8), -INT_MAX, -INT_MAX, INT_MAX, INT_MAX);
}

TEST(DibDraw, SmoothScalingOfAUniformPictureStaysUniformAndOpaque) {
    UniqueDib dib(DibCreate(4, 4, 32));
    std::fill_n(reinterpret_cast<uint32_t*>(DibBits(dib.get())), 16, 0x005A3C1Eu);
    QImage expected(36, 36, QImage::Format_ARGB32_Premultiplied);
    expected.fill(qRgb(90, 60, 30));
    const QImage canvas = Canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(expected,
              DrawnOn(canvas, dib.get(), QRect(0, 0, 40, 40), 0, 0, 4, 4, true).copy(2, 2, 36, 36));
}

}  // namespace
