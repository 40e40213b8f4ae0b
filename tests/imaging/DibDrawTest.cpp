#include "imaging/DibDraw.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

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
                // The upright copy shows the same.
                EXPECT_EQ(DrawnOn(Canvas(7, 4), dib.get(), QRect(0, 0, 7, 4), 0, 0, 7, 4),
                          DibToImage(dib.get()));
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
