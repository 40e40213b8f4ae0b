#include "imaging/DibScale.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/DibDraw.h"

namespace {

// Smooth shading in every channel (so that filters can agree closely), or for 8 bits a
// ramp of palette indices; the width is chosen by the tests so that some rows end
// exactly at the block's end.
UniqueDib ShadedPicture(int w, int h, int bitCount, bool topDown = false) {
    UniqueDib dib(DibCreate(w, h, bitCount));
    if (topDown) {
        dib->biHeight = -h;
    }
    for (int i = 0; i < 256 && bitCount == 8; ++i) {
        DibPalette(dib.get())[i] = RgbQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* row = DibBits(dib.get()) + size_t(y) * DibRowBytes(dib.get());
        for (int x = 0; x < w; ++x) {
            if (bitCount == 8) {
                row[x] = uint8_t((x * 255 / w + y * 64 / h) & 255);
            } else {
                row[3 * x] = uint8_t(128 + 100 * std::sin(x * 6.0 / w + y * 9.0 / h));
                row[3 * x + 1] = uint8_t(x * 255 / w);
                row[3 * x + 2] = uint8_t(y * 255 / h);
            }
        }
    }
    return dib;
}

// What the panel drew before frames were scaled in one pass: QPainter's smooth transform.
QImage PainterFrame(const DibInfoHeader* dib, QSize size) {
    QImage frame(size, QImage::Format_RGB32);
    frame.fill(Qt::black);
    QPainter painter(&frame);
    DibDraw(dib, painter, frame.rect(), true);
    return frame;
}

int LargestChannelDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)),
                                std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

}  // namespace

TEST(DibScale, OnePassFrameMatchesThePaintersSmoothDrawing) {
    struct Case {
        int w, h, bitCount;
        bool topDown;
        QSize size;
    } cases[] = {
        {8, 6, 24, false, {61, 45}},      // enlarged; 24-byte rows end at the row's last pixel
        {8, 6, 24, true, {61, 45}},       // the same stored top row first
        {300, 200, 24, false, {81, 54}},  // reduced 3.7 times, as a full-size photo is
        {600, 400, 24, false, {37, 25}},  // reduced 16 times, as for a thumbnail
        {90, 60, 24, false, {97, 65}},    // nearly the same size
        {40, 30, 8, false, {123, 17}},    // a grey picture's palette, stretched unevenly
    };
    for (const Case& c : cases) {
        const UniqueDib dib = ShadedPicture(c.w, c.h, c.bitCount, c.topDown);
        ASSERT_TRUE(DibScalable(dib.get()));
        const QImage single = DibScaleFrame(dib.get(), c.size, 1);
        ASSERT_EQ(single.size(), c.size);
        EXPECT_EQ(single.format(), QImage::Format_RGB32);
        EXPECT_EQ(single.pixel(0, 0) >> 24, 0xFFu);
        EXPECT_LE(LargestChannelDifference(single, PainterFrame(dib.get(), c.size)), 3)
            << c.w << "x" << c.h << " -> " << c.size.width() << "x" << c.size.height();
        // Bands made on other threads meet without a seam.
        EXPECT_EQ(DibScaleFrame(dib.get(), c.size, 4), single);
    }
}

TEST(DibScale, RefusesWhatItCannotScaleAndSharesOnlyLargeFrames) {
    for (int bits : {1, 4, 16, 32}) {
        const UniqueDib other(DibCreate(8, 8, bits));
        EXPECT_FALSE(DibScalable(other.get())) << bits;
        EXPECT_TRUE(DibScaleFrame(other.get(), {4, 4}, 1).isNull()) << bits;
    }
    const UniqueDib dib = ShadedPicture(8, 8, 24);
    EXPECT_TRUE(DibScaleFrame(dib.get(), {0, 4}, 1).isNull());
    QImage withAlpha(4, 4, QImage::Format_ARGB32);
    EXPECT_FALSE(DibScaleInto(dib.get(), withAlpha, 1));
    EXPECT_FALSE(DibScalable(nullptr));

    EXPECT_EQ(DibScaleThreadsFor({10, 10}, 20, 20, 8), 1);
    EXPECT_EQ(DibScaleThreadsFor({300, 200}, 750, 500, 8), 1);
    EXPECT_EQ(DibScaleThreadsFor({1620, 1080}, 6000, 4000, 8), 8);
    EXPECT_EQ(DibScaleThreadsFor({1620, 1080}, 750, 500, 3), 3);
    EXPECT_EQ(DibScaleThreadsFor({1620, 1080}, 750, 500, 0), 1);
}
