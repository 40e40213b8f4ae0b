#include "app/imaging/DibDraw.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <climits>

namespace {

constexpr QRgb kBackground = 0xFF0A0B0C;

// The colour a pixel should show, read straight from the stored bytes. Row y counts from
// the top of the picture; `topDown` pictures keep their top row first in memory.
QRgb ExpectedColour(const DibInfoHeader* dib, int x, int y) {
    const int height = dib->biHeight < 0 ? -dib->biHeight : dib->biHeight;
    const int storedRow = dib->biHeight < 0 ? y : height - 1 - y;
    const uint32_t stride = ((dib->biWidth * dib->biBitCount + 31) / 32) * 4;
    const uint8_t* row = DibBits(dib) + size_t(storedRow) * stride;
    const RgbQuad* pal = DibPalette(dib);
    auto fromPalette = [&](unsigned i) {
        if (i >= DibNumColors(dib)) {
            return qRgb(0, 0, 0);
        }
        return qRgb(pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue);
    };
    auto widen = [](unsigned five) { return int((five << 3) | (five >> 2)); };
    switch (dib->biBitCount) {
        case 1:
            return fromPalette((row[x / 8] >> (7 - x % 8)) & 1);
        case 4:
            return fromPalette(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
        case 8:
            return fromPalette(row[x]);
        case 16: {
            const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            return qRgb(widen((v >> 10) & 31), widen((v >> 5) & 31), widen(v & 31));
        }
        case 24:
            return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        default:
            return qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
}

// A w x h picture whose every pixel has a colour of its own (as far as the depth allows),
// the fourth byte of 32-bit pixels left at 0 as decoders leave it.
UniqueDib ColourfulPicture(int w, int h, int bitCount) {
    UniqueDib dib(DibCreate(w, h, bitCount));
    if (!dib) {
        return dib;
    }
    RgbQuad* pal = DibPalette(dib.get());
    for (uint32_t i = 0; i < DibNumColors(dib.get()); ++i) {
        pal[i] = RgbQuad{uint8_t(40 + i * 9), uint8_t(200 - i * 5), uint8_t(i * 17), 0};
    }
    const uint32_t stride = DibRowBytes(dib.get());
    for (int row = 0; row < h; ++row) {
        uint8_t* bytes = DibBits(dib.get()) + size_t(row) * stride;
        for (uint32_t i = 0; i < stride; ++i) {
            bytes[i] = uint8_t(row * 31 + i * 7 + 3);
        }
        if (bitCount == 32) {
            for (int x = 0; x < w; ++x) {
                bytes[4 * x + 3] = 0;
            }
        }
    }
    return dib;
}

QImage Canvas(int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    image.fill(format == QImage::Format_RGB32 ? kBackground : 0u);
    return image;
}

bool Untouched(const QImage& canvas, int x, int y) {
    const QRgb c = canvas.pixel(x, y);
    return canvas.format() == QImage::Format_RGB32 ? c == kBackground : qAlpha(c) == 0;
}

// Draws the picture 1:1 with its top-left corner at (ox, oy) and checks every pixel of the
// canvas: the picture where it should be, the rest untouched.
void ExpectDrawnAt(const DibInfoHeader* dib, QImage& canvas, int ox, int oy) {
    const int w = dib->biWidth;
    const int h = dib->biHeight < 0 ? -dib->biHeight : dib->biHeight;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const bool inside = x >= ox && x < ox + w && y >= oy && y < oy + h;
            if (inside) {
                ASSERT_EQ(ExpectedColour(dib, x - ox, y - oy) | 0xFF000000u, canvas.pixel(x, y))
                    << "at " << x << "," << y;
            } else {
                ASSERT_TRUE(Untouched(canvas, x, y)) << "at " << x << "," << y;
            }
        }
    }
}

void Draw(const DibInfoHeader* dib, QImage& canvas, const QRect& dst, int sx, int sy, int sw,
          int sh, bool smooth = false) {
    QPainter painter(&canvas);
    DibDraw(dib, painter, dst, sx, sy, sw, sh, smooth);
}

const int kBitCounts[] = {1, 4, 8, 16, 24, 32};

TEST(DibDraw, DrawsEveryDepthUprightAtItsOwnSize) {
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        for (int bitCount : kBitCounts) {
            SCOPED_TRACE(::testing::Message() << bitCount << " bits, format " << format);
            UniqueDib dib = ColourfulPicture(7, 4, bitCount);
            ASSERT_NE(nullptr, dib);
            QImage canvas = Canvas(11, 9, format);
            Draw(dib.get(), canvas, QRect(2, 3, 7, 4), 0, 0, 7, 4);
            // On a canvas with alpha every drawn pixel must come out opaque, whatever the
            // fourth byte of a 32-bit pixel holds.
            ExpectDrawnAt(dib.get(), canvas, 2, 3);
        }
    }
}

TEST(DibDraw, DrawsTopDownPicturesWithoutTurningThem) {
    for (int bitCount : kBitCounts) {
        SCOPED_TRACE(bitCount);
        UniqueDib dib = ColourfulPicture(5, 3, bitCount);
        ASSERT_NE(nullptr, dib);
        dib->biHeight = -3;
        QImage canvas = Canvas(6, 5);
        Draw(dib.get(), canvas, QRect(1, 1, 5, 3), 0, 0, 5, 3);
        ExpectDrawnAt(dib.get(), canvas, 1, 1);
    }
}

TEST(DibDraw, StretchesIntoTheInclusiveRectangle) {
    UniqueDib dib = ColourfulPicture(4, 2, 24);
    ASSERT_NE(nullptr, dib);
    QImage canvas = Canvas(102, 52);
    Draw(dib.get(), canvas, QRect(QPoint(0, 0), QPoint(99, 49)), 0, 0, 4, 2);
    for (int y = 0; y < 52; ++y) {
        for (int x = 0; x < 102; ++x) {
            if (x < 100 && y < 50) {
                ASSERT_EQ(ExpectedColour(dib.get(), x / 25, y / 25), canvas.pixel(x, y))
                    << "at " << x << "," << y;
            } else {
                ASSERT_TRUE(Untouched(canvas, x, y)) << "at " << x << "," << y;
            }
        }
    }
}

TEST(DibDraw, TakesTheSourceRectangleFromTheTopLeft) {
    for (int bitCount : kBitCounts) {
        SCOPED_TRACE(bitCount);
        UniqueDib dib = ColourfulPicture(5, 4, bitCount);
        ASSERT_NE(nullptr, dib);
        QImage canvas = Canvas(3, 2);
        Draw(dib.get(), canvas, QRect(0, 0, 3, 2), 1, 2, 3, 2);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(ExpectedColour(dib.get(), x + 1, y + 2), canvas.pixel(x, y));
            }
        }
    }
}

TEST(DibDraw, ClipsTheSourceAndKeepsTheScale) {
    UniqueDib dib = ColourfulPicture(5, 3, 24);
    ASSERT_NE(nullptr, dib);
    struct Case {
        QRect dst;
        int sx, sy, sw, sh;
        int ox, oy;  // where the picture's top-left pixel lands, drawn 1:1
    };
    const Case cases[] = {
        {QRect(0, 0, 9, 6), -2, -1, 9, 6, 2, 1},  // a panel scrolled past the picture
        {QRect(0, 0, 9, 6), 0, 0, 9, 6, 0, 0},    // a client area wider than the picture
        {QRect(4, 2, 5, 3), 0, 0, 5, 3, 4, 2},
        {QRect(0, 0, 9, 6), -4, -3, 9, 6, 4, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sx << "," << c.sy);
        QImage canvas = Canvas(10, 7);
        Draw(dib.get(), canvas, c.dst, c.sx, c.sy, c.sw, c.sh);
        ExpectDrawnAt(dib.get(), canvas, c.ox, c.oy);
    }
    // Twice the size: the picture starts two pixels in, each pixel a 2 x 2 block.
    QImage canvas = Canvas(12, 6);
    Draw(dib.get(), canvas, QRect(0, 0, 12, 6), -1, 0, 6, 3);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 12; ++x) {
            if (x < 2) {
                EXPECT_TRUE(Untouched(canvas, x, y));
            } else {
                EXPECT_EQ(ExpectedColour(dib.get(), (x - 2) / 2, y / 2), canvas.pixel(x, y));
            }
        }
    }
}

TEST(DibDraw, DrawsNothingForNullEmptyOrOutsideRequests) {
    UniqueDib dib = ColourfulPicture(5, 3, 24);
    ASSERT_NE(nullptr, dib);
    UniqueDib forged = ColourfulPicture(5, 3, 24);
    ASSERT_NE(nullptr, forged);
    forged->biHeight = 100000;  // claims rows its block does not hold
    UniqueDib compressed = ColourfulPicture(5, 3, 8);
    ASSERT_NE(nullptr, compressed);
    compressed->biCompression = 1;
    UniqueDib oddDepth = ColourfulPicture(5, 3, 8);
    ASSERT_NE(nullptr, oddDepth);
    oddDepth->biBitCount = 2;
    struct Case {
        const DibInfoHeader* dib;
        QRect dst;
        int sx, sy, sw, sh;
    };
    const Case cases[] = {
        {nullptr, QRect(0, 0, 5, 3), 0, 0, 5, 3},
        {dib.get(), QRect(), 0, 0, 5, 3},
        {dib.get(), QRect(0, 0, 0, 3), 0, 0, 5, 3},
        {dib.get(), QRect(0, 0, 5, 3), 0, 0, 0, 3},
        {dib.get(), QRect(0, 0, 5, 3), 0, 0, 5, -3},
        {dib.get(), QRect(0, 0, 5, 3), 5, 0, 5, 3},
        {dib.get(), QRect(0, 0, 5, 3), 0, 3, 5, 3},
        {dib.get(), QRect(0, 0, 5, 3), -5, 0, 5, 3},
        {dib.get(), QRect(0, 0, 5, 3), INT_MIN, INT_MIN, 5, 3},
        {forged.get(), QRect(0, 0, 5, 3), 0, 0, 5, 3},
        {compressed.get(), QRect(0, 0, 5, 3), 0, 0, 5, 3},
        {oddDepth.get(), QRect(0, 0, 5, 3), 0, 0, 5, 3},
    };
    for (const Case& c : cases) {
        QImage canvas = Canvas(6, 4);
        const QImage before = canvas.copy();
        Draw(c.dib, canvas, c.dst, c.sx, c.sy, c.sw, c.sh);
        EXPECT_EQ(before, canvas) << "source " << c.sx << "," << c.sy << " " << c.sw << "x" << c.sh;
    }
}

TEST(DibDraw, SurvivesExtremeSourceRectangles) {
    UniqueDib dib = ColourfulPicture(5, 3, 24);
    ASSERT_NE(nullptr, dib);
    QImage canvas = Canvas(8, 8);
    Draw(dib.get(), canvas, QRect(0, 0, 8, 8), 0, 0, INT_MAX, INT_MAX);
    Draw(dib.get(), canvas, QRect(0, 0, 8, 8), INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    Draw(dib.get(), canvas, QRect(0, 0, 8, 8), -INT_MAX, -INT_MAX, INT_MAX, INT_MAX);
    // Drawn 1:1 to a huge rectangle, the picture still lands at the origin.
    QImage big = Canvas(6, 4);
    Draw(dib.get(), big, QRect(0, 0, 100000, 100000), 0, 0, 100000, 100000);
    ExpectDrawnAt(dib.get(), big, 0, 0);
}

TEST(DibDraw, DrawsOnePixelAndOneRowPictures) {
    for (int bitCount : kBitCounts) {
        for (QSize size : {QSize(1, 1), QSize(1, 6), QSize(6, 1), QSize(33, 1)}) {
            SCOPED_TRACE(::testing::Message()
                         << size.width() << "x" << size.height() << "x" << bitCount);
            UniqueDib dib = ColourfulPicture(size.width(), size.height(), bitCount);
            ASSERT_NE(nullptr, dib);
            QImage canvas = Canvas(35, 8);
            Draw(dib.get(), canvas, QRect(1, 1, size.width(), size.height()), 0, 0, size.width(),
                 size.height());
            ExpectDrawnAt(dib.get(), canvas, 1, 1);
            QPainter painter(&canvas);
            DibDraw(dib.get(), painter, QRect(0, 0, 35, 8), true);  // stretched and smoothed
        }
    }
}

TEST(DibDraw, SmoothScalingOfAUniformPictureStaysUniformAndOpaque) {
    UniqueDib dib(DibCreate(4, 4, 32));
    ASSERT_NE(nullptr, dib);
    uint8_t* bits = DibBits(dib.get());
    for (int i = 0; i < 16; ++i) {
        bits[4 * i] = 30;
        bits[4 * i + 1] = 60;
        bits[4 * i + 2] = 90;
        bits[4 * i + 3] = 0;
    }
    QImage canvas = Canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
    Draw(dib.get(), canvas, QRect(0, 0, 40, 40), 0, 0, 4, 4, true);
    for (int y = 2; y < 38; ++y) {
        for (int x = 2; x < 38; ++x) {
            ASSERT_EQ(qRgb(90, 60, 30), canvas.pixel(x, y)) << "at " << x << "," << y;
        }
    }
}

// --- Wrapping ----------------------------------------------------------------------------

TEST(DibWrapRows, SharesThePicturesMemory) {
    struct Case {
        int bitCount;
        QImage::Format format;
        int colours;
    };
    const Case cases[] = {
        {1, QImage::Format_Mono, 2},    {8, QImage::Format_Indexed8, 256},
        {16, QImage::Format_RGB555, 0}, {24, QImage::Format_BGR888, 0},
        {32, QImage::Format_RGB32, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bitCount);
        UniqueDib dib = ColourfulPicture(9, 5, c.bitCount);
        ASSERT_NE(nullptr, dib);
        const QImage rows = DibWrapRows(dib.get());
        ASSERT_FALSE(rows.isNull());
        EXPECT_EQ(c.format, rows.format());
        EXPECT_EQ(static_cast<const void*>(DibBits(dib.get())),
                  static_cast<const void*>(rows.constBits()));
        EXPECT_EQ(qsizetype(DibRowBytes(dib.get())), rows.bytesPerLine());
        EXPECT_EQ(QSize(9, 5), rows.size());
        EXPECT_EQ(c.colours, rows.colorCount());
    }
}

TEST(DibWrapRows, ExpandsFourBitPicturesIntoIndexedBytes) {
    UniqueDib dib = ColourfulPicture(7, 3, 4);
    ASSERT_NE(nullptr, dib);
    const QImage rows = DibWrapRows(dib.get());
    ASSERT_EQ(QImage::Format_Indexed8, rows.format());
    ASSERT_EQ(16, rows.colorCount());
    for (int stored = 0; stored < 3; ++stored) {
        const uint8_t* from = DibBits(dib.get()) + stored * DibRowBytes(dib.get());
        for (int x = 0; x < 7; ++x) {
            const int expected = x % 2 == 0 ? from[x / 2] >> 4 : from[x / 2] & 0x0F;
            EXPECT_EQ(expected, rows.pixelIndex(x, stored));
        }
    }
}

TEST(DibWrapRows, PadsAShortPaletteWithBlack) {
    UniqueDib dib = ColourfulPicture(4, 1, 8);
    ASSERT_NE(nullptr, dib);
    dib->biClrUsed = 2;  // the pixels now start right after two entries
    uint8_t* bits = DibBits(dib.get());
    bits[0] = 0;
    bits[1] = 1;
    bits[2] = 200;
    bits[3] = 255;
    QImage canvas = Canvas(4, 1);
    Draw(dib.get(), canvas, QRect(0, 0, 4, 1), 0, 0, 4, 1);
    const RgbQuad* pal = DibPalette(dib.get());
    EXPECT_EQ(qRgb(pal[0].rgbRed, pal[0].rgbGreen, pal[0].rgbBlue), canvas.pixel(0, 0));
    EXPECT_EQ(qRgb(pal[1].rgbRed, pal[1].rgbGreen, pal[1].rgbBlue), canvas.pixel(1, 0));
    EXPECT_EQ(qRgb(0, 0, 0), canvas.pixel(2, 0));
    EXPECT_EQ(qRgb(0, 0, 0), canvas.pixel(3, 0));
}

TEST(DibToImage, GivesAnUprightOpaqueCopy) {
    for (int bitCount : kBitCounts) {
        SCOPED_TRACE(bitCount);
        UniqueDib dib = ColourfulPicture(6, 4, bitCount);
        ASSERT_NE(nullptr, dib);
        const QImage image = DibToImage(dib.get());
        ASSERT_EQ(QSize(6, 4), image.size());
        EXPECT_NE(static_cast<const void*>(DibBits(dib.get())),
                  static_cast<const void*>(image.constBits()));
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                EXPECT_EQ(ExpectedColour(dib.get(), x, y) | 0xFF000000u, image.pixel(x, y));
            }
        }
    }
    EXPECT_TRUE(DibToImage(nullptr).isNull());
}

}  // namespace
