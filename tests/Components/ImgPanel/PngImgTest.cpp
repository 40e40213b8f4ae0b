// The PNG decoder against Qt's own reader: pixels and palettes at full size,
// transparency, reduced sizes and the coefficient it decodes at.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

#include <QColor>
#include <QImage>

#include "Components/ImgPanel/PngImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"

namespace {

using decoderkit::Decode;
using decoderkit::Fixture;
using decoderkit::Log;
using decoderkit::PixelBgr;

// Blends in linear light, as libpng does for a file of gamma 1/2.2 shown at 2.2.
int Composite(int colour, int alpha, int background) {
    const auto linear = [](int v) { return std::pow(v / 255.0, 2.2); };
    const double a = alpha / 255.0;
    const double mixed = a * linear(colour) + (1 - a) * linear(background);
    return int(std::lround(255.0 * std::pow(mixed, 1 / 2.2)));
}

struct Difference {
    int worst = 0;
    double mean = 0;
};

// How far our picture is from Qt's decode, composited over background (blue, green, red)
// where Qt's pixels are transparent.
Difference Compare(PackedDib dib, const QImage& reference, std::array<int, 3> background) {
    Difference d;
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            const QRgb p = reference.pixel(x, y);
            const int a = qAlpha(p);
            const int want[3] = {qBlue(p), qGreen(p), qRed(p)};
            const auto got = PixelBgr(dib, x, y);
            for (int c = 0; c < 3; ++c) {
                const int composited = a == 255 ? want[c] : Composite(want[c], a, background[c]);
                d.worst = std::max(d.worst, std::abs(got[c] - composited));
                d.mean += std::abs(got[c] - composited);
            }
        }
    }
    d.mean /= 3.0 * reference.width() * reference.height();
    return d;
}

TEST(PngDecoder, FullSizeIsQtsDecodeWithTheDecodedDepthAndPalette) {
    const struct {
        const char* file;
        int bitCount;
        int tolerance;  // 16-bit samples: the library keeps the high byte, Qt rounds
    } cases[] = {{"png/rgb.png", 24, 0},
                 {"png/interlaced.png", 24, 0},
                 {"png/grey16.png", 8, 1},
                 {"png/grey1.png", 1, 0},
                 {"png/palette4.png", 8, 0}};
    for (const auto& c : cases) {
        TPNGImg decoder;
        Log log;
        Decode(decoder, log, Fixture(c.file), 1.0);
        ASSERT_EQ(decoder.ErrorCode(), 0u) << c.file;
        const QImage reference(QString::fromStdString(Fixture(c.file)));
        ASSERT_EQ(DibWidth(decoder.Picture()), reference.width()) << c.file;
        ASSERT_EQ(DibHeight(decoder.Picture()), reference.height()) << c.file;
        EXPECT_EQ(decoder.Picture()->biBitCount, c.bitCount) << c.file;
        EXPECT_LE(Compare(decoder.Picture(), reference, {0, 0, 0}).worst, c.tolerance) << c.file;
    }
}

TEST(PngDecoder, PalettesAreThePlteEntriesOrAGreyRamp) {
    TPNGImg palette, grey16, grey1;
    Log log;
    Decode(palette, log, Fixture("png/palette4.png"), 1.0);
    Decode(grey16, log, Fixture("png/grey16.png"), 1.0);
    Decode(grey1, log, Fixture("png/grey1.png"), 1.0);
    const QImage indexed(QString::fromStdString(Fixture("png/palette4.png")));
    ASSERT_EQ(indexed.format(), QImage::Format_Indexed8);
    const RgbQuad* entries = DibPalette(palette.Picture());
    for (int i = 0; i < indexed.colorCount(); ++i) {
        const QRgb want = indexed.color(i);
        EXPECT_EQ(entries[i].rgbRed, qRed(want)) << i;
        EXPECT_EQ(entries[i].rgbGreen, qGreen(want)) << i;
        EXPECT_EQ(entries[i].rgbBlue, qBlue(want)) << i;
    }
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(DibPalette(grey16.Picture())[i].rgbGreen, i);
    }
    EXPECT_EQ(DibPalette(grey1.Picture())[0].rgbRed, 0);
    EXPECT_EQ(DibPalette(grey1.Picture())[1].rgbRed, 255);
}

TEST(PngDecoder, TransparencyIsCompositedOverTheFileBackgroundElseWhite) {
    const struct {
        const char* file;
        std::array<int, 3> background;  // blue, green, red
        int bitCount = 24;
    } cases[] = {{"png/rgba.png", {255, 255, 255}},
                 {"png/rgba-bkgd.png", {0xcc, 0x66, 0x33}},
                 // a background of 2 bits, widened with the pixels it stands behind
                 {"png/grey2-trns-bkgd.png", {170, 170, 170}, 8}};
    for (const auto& c : cases) {
        TPNGImg decoder;
        Log log;
        Decode(decoder, log, Fixture(c.file), 1.0);
        ASSERT_EQ(decoder.ErrorCode(), 0u) << c.file;
        EXPECT_EQ(decoder.Picture()->biBitCount, c.bitCount) << c.file;
        const QImage reference(QString::fromStdString(Fixture(c.file)));
        // libpng blends through 8-bit gamma tables, coarse near black: a few dark pixels
        // stray further, so the mean is held (over the wrong colour it is 30 and more).
        EXPECT_LE(Compare(decoder.Picture(), reference, c.background).mean, 1.0) << c.file;
    }
}

TEST(PngDecoder, ReducedSizesAndInterlacedFilesReduceLikeTheirPlainTwin) {
    for (const auto& [coefficient, width, height] :
         {std::tuple{0.5, 19, 12}, std::tuple{0.25, 10, 6}}) {
        TPNGImg plain, interlaced;
        Log log;
        Decode(plain, log, Fixture("png/rgb.png"), coefficient);
        Decode(interlaced, log, Fixture("png/interlaced.png"), coefficient);
        ASSERT_EQ(plain.ErrorCode(), 0u);
        ASSERT_EQ(interlaced.ErrorCode(), 0u);
        EXPECT_EQ(DibWidth(plain.Picture()), width);
        EXPECT_EQ(DibHeight(plain.Picture()), height);
        // The same pixels, so every pass must have been read before reducing.
        EXPECT_EQ(0, std::memcmp(DibBits(plain.Picture()), DibBits(interlaced.Picture()),
                                 DibRowBytes(plain.Picture()) * height))
            << coefficient;
    }
}

TEST(PngDecoder, MaximumSizeWhenSetElseThePanelsCoefficient) {
    TPNGImg fitted, unset;
    Log log;
    fitted.SetMaxDisplaySize(10, 100);  // 10 / 37 of the width: factor 3.7
    Decode(fitted, log, Fixture("png/rgb.png"), 1.0);
    Decode(unset, log, Fixture("png/rgb.png"), 1.0);
    EXPECT_EQ(DibWidth(fitted.Picture()), 10);
    EXPECT_EQ(DibHeight(fitted.Picture()), 7);
    EXPECT_EQ(DibWidth(unset.Picture()), 37);
    EXPECT_EQ(DibHeight(unset.Picture()), 23);
}

}  // namespace
