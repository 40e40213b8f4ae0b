// The TIFF decoder on every route (8-bit scanlines, palettes and grey ramps, JPEG, CMYK,
// tiles, planes, 16 bits, alpha) against decodes that share no code with the route: the
// source picture itself (kept as a PNG), libtiff's own RGBA decode for the scanline route,
// pixels composited in the test; reduced sizes, the tags it reports and its colour-map test.

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <tiffio.h>

#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"

namespace {

using decoderkit::Decode;
using decoderkit::Fixture;
using decoderkit::Log;
using decoderkit::PixelBgr;
using decoderkit::WorstDifference;

struct Reference {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;  // libtiff's packed red, green, blue, alpha; top row first
};

Reference ReadReference(const std::string& path) {
    Reference r;
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), TIFFClose);
    if (!tif) {
        return r;
    }
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &r.width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &r.height);
    r.pixels.resize(size_t(r.width) * r.height);
    if (!TIFFReadRGBAImageOriented(tif.get(), r.width, r.height, r.pixels.data(),
                                   ORIENTATION_TOPLEFT, 1)) {
        r.pixels.clear();
    }
    return r;
}

// Decoded at full size with a kernel that weighs 0 at distance 1: a plain copy.
struct FullSize {
    TTiffImg decoder;
    Log log;
    explicit FullSize(const std::string& file) {
        decoder.SetFilterKind(3);
        Decode(decoder, log, Fixture(file), 1.0);
    }
};

// The scanline route does not use libtiff's RGBA reader, which can so be its reference.
TEST(TiffDecoder, ScanlinesAreLibtiffsOwnDecode) {
    const struct {
        const char* file;
        int bitCount;  // the source's, as the decoder reports it
        int tolerance = 0;
    } cases[] = {{"tiff/bilevel-white.tif", 1}, {"tiff/bilevel-black.tif", 1},
                 {"tiff/palette8.tif", 8, 1},   {"tiff/grey4.tif", 4},
                 {"tiff/grey2.tif", 2},         {"tiff/jpeg.tif", 24},
                 {"tiff/jpeg-ycbcr.tif", 24}};
    for (const auto& c : cases) {
        const Reference reference = ReadReference(Fixture(c.file));
        ASSERT_FALSE(reference.pixels.empty()) << c.file;
        const FullSize tiff(c.file);
        ASSERT_EQ(tiff.decoder.ErrorCode(), 0u) << c.file;
        EXPECT_EQ(tiff.decoder.BitCount(), c.bitCount) << c.file;
        ASSERT_EQ(DibWidth(tiff.decoder.Picture()), int(reference.width)) << c.file;
        ASSERT_EQ(DibHeight(tiff.decoder.Picture()), int(reference.height)) << c.file;
        int worst = 0;
        for (uint32_t y = 0; y < reference.height; ++y) {
            for (uint32_t x = 0; x < reference.width; ++x) {
                const uint32_t p = reference.pixels[y * reference.width + x];
                const auto got = PixelBgr(tiff.decoder.Picture(), int(x), int(y));
                worst = std::max({worst, std::abs(got[0] - int(TIFFGetB(p))),
                                  std::abs(got[1] - int(TIFFGetG(p))),
                                  std::abs(got[2] - int(TIFFGetR(p)))});
            }
        }
        // 16-bit colour maps: libtiff keeps the high byte, we scale by 255 / 65535.
        EXPECT_LE(worst, c.tolerance) << c.file;
    }
}

// Every layout of the plasma picture that png/rgb.png holds as it was drawn.
TEST(TiffDecoder, EveryLayoutShowsTheSourcePicture) {
    const struct {
        const char* file;
        int bitCount;
    } cases[] = {{"tiff/rgb.tif", 24},        {"tiff/rgba.tif", 32},   {"tiff/tiled.tif", 24},
                 {"tiff/tiled-none.tif", 24}, {"tiff/planar.tif", 24}, {"tiff/rgb16.tif", 48},
                 {"tiff/cmyk.tif", 32},       {"tiff/cmyk16.tif", 64}};
    const QImage source(QString::fromStdString(Fixture("png/rgb.png")));
    ASSERT_EQ(source.size(), QSize(37, 23));
    for (const auto& c : cases) {
        const FullSize tiff(c.file);
        ASSERT_EQ(tiff.decoder.ErrorCode(), 0u) << c.file;
        EXPECT_EQ(tiff.decoder.BitCount(), c.bitCount) << c.file;
        ASSERT_EQ(DibWidth(tiff.decoder.Picture()), 37) << c.file;
        ASSERT_EQ(DibHeight(tiff.decoder.Picture()), 23) << c.file;
        EXPECT_EQ(WorstDifference(tiff.decoder.Picture(), source), 0) << c.file;
    }
}

// Over white in the light a 2.2 display gives, as libpng composites a PNG without gamma
// or background: the PNG of the same straight colours is held to the same rule.
TEST(TiffDecoder, AlphaIsCompositedOverWhiteLikePngOnEveryLayout) {
    const QImage straight = QImage(QString::fromStdString(Fixture("png/straight-alpha.png")))
                                .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(straight.size(), QSize(20, 18));
    QImage expected(straight.size(), QImage::Format_RGB888);
    bool transparent = false;
    for (int y = 0; y < straight.height(); ++y) {
        for (int x = 0; x < straight.width(); ++x) {
            const QRgb p = straight.pixel(x, y);
            const double a = qAlpha(p) / 255.0;
            const auto over = [a](int c) {
                const double light = a * std::pow(c / 255.0, 2.2) + (1.0 - a);
                return int(std::lround(255.0 * std::pow(light, 1.0 / 2.2)));
            };
            expected.setPixel(x, y, qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p))));
            transparent |= qAlpha(p) == 0;
        }
    }
    ASSERT_TRUE(transparent);
    const struct {
        const char* file;
        int tolerance;
    } cases[] = {{"tiff/alpha-straight-strips.tif", 1},
                 {"tiff/alpha-straight-tiles.tif", 1},
                 {"tiff/alpha-straight-planar.tif", 1},
                 {"tiff/alpha-premultiplied-strips.tif", 1},
                 {"tiff/alpha-premultiplied-tiles.tif", 1},
                 {"tiff/alpha-premultiplied-planar.tif", 1},
                 {"tiff/alpha-straight-cmyk.tif", 1},
                 {"png/straight-alpha.png", 2}};  // libpng's tables round more coarsely
    for (const auto& c : cases) {
        std::unique_ptr<TImgCtrl> decoder = std::string(c.file).ends_with(".png")
                                                ? std::unique_ptr<TImgCtrl>(new TPNGImg)
                                                : std::unique_ptr<TImgCtrl>(new TTiffImg);
        decoder->SetFilterKind(3);
        decoder->SetMaxDisplaySize(1000, 1000);  // full size for the PNG decoder
        Log log;
        Decode(*decoder, log, Fixture(c.file), 1.0);
        ASSERT_EQ(decoder->ErrorCode(), 0u) << c.file;
        EXPECT_LE(WorstDifference(decoder->Picture(), expected), c.tolerance) << c.file;
    }
}

TEST(TiffDecoder, ReducedSizesAndTags) {
    for (const auto& [coefficient, width, height] :
         {std::tuple{0.5, 19, 12}, std::tuple{0.25, 10, 6}}) {
        for (const char* file : {"tiff/rgb.tif", "tiff/tiled.tif", "tiff/bilevel-black.tif"}) {
            TTiffImg decoder;
            Log log;
            Decode(decoder, log, Fixture(file), coefficient);
            ASSERT_EQ(decoder.ErrorCode(), 0u) << file;
            EXPECT_EQ(DibWidth(decoder.Picture()), width) << file;
            EXPECT_EQ(DibHeight(decoder.Picture()), height) << file;
            EXPECT_EQ(decoder.Picture()->biBitCount, 24) << file;
        }
    }
    TTiffImg decoder;
    Log log;
    Decode(decoder, log, Fixture("tiff/palette8.tif"), 1.0);
    EXPECT_EQ(decoder.Photometric(), PHOTOMETRIC_PALETTE);
    EXPECT_EQ(decoder.BitsPerSample(), 8);
    EXPECT_EQ(decoder.SamplesPerPixel(), 1);
    EXPECT_EQ(decoder.Compression(), COMPRESSION_NONE);
}

// The scanline route reads rows as stored, so the RGBA reader must too: asked to turn a
// picture stored bottom-up it would turn each strip on its own.
TEST(TiffDecoder, RowsComeInStoredOrderWhateverTheOrientationTag) {
    TTiffImg plain, bottomUp;
    Log log;
    plain.SetFilterKind(3);
    bottomUp.SetFilterKind(3);
    Decode(plain, log, Fixture("tiff/rgb16.tif"), 1.0);
    Decode(bottomUp, log, Fixture("tiff/rgb16-bottom-left.tif"), 1.0);
    ASSERT_EQ(bottomUp.ErrorCode(), 0u);
    EXPECT_EQ(0, std::memcmp(DibBits(plain.Picture()), DibBits(bottomUp.Picture()),
                             DibRowBytes(plain.Picture()) * DibHeight(plain.Picture())));
}

TEST(TiffDecoder, ColourMapsAreWideWhenAnyEntryPasses255) {
    std::vector<uint16_t> low(256), wide(256);
    for (int i = 0; i < 256; ++i) {
        low[i] = uint16_t(i);
        wide[i] = uint16_t(i);
    }
    wide[200] = 256;
    EXPECT_EQ(TTiffImg::CheckColorMap(256, low.data(), low.data(), low.data()), 8);
    EXPECT_EQ(TTiffImg::CheckColorMap(256, low.data(), low.data(), wide.data()), 16);
    EXPECT_EQ(TTiffImg::CheckColorMap(200, wide.data(), wide.data(), wide.data()), 8);
}

}  // namespace
