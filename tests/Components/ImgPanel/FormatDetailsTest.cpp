// What one format alone has, on pictures known by construction (see the fixture scripts of
// tests/data/imgpanel, or written here): run-length jumps, masks of few bits and assigned
// bitmaps of BMP, the count of icons, GIF images placed, animated, transparent and
// without colour map, the PNG maximum size, TIFF colour maps and tags, JPEG sizes with and
// without the library's reduction, CMYK and the budget of an enlarged picture.

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>

#include <tiffio.h>

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/GifImg.h"
#include "Components/ImgPanel/IcoImg.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/JpegImg.h"
#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using namespace decoderkit;
using Bgr = std::array<uint8_t, 3>;

// Decoded at full size with a kernel that weighs 0 at distance 1: a plain copy.
template <class Decoder>
struct FullSize {
    Decoder decoder;
    Log log;
    explicit FullSize(const std::string& file) {
        decoder.SetFilterKind(3);
        Decode(decoder, log, Fixture(file), 1.0);
        EXPECT_EQ(decoder.ErrorCode(), 0u) << file;
        EXPECT_TRUE(log.errors.empty()) << file;
    }
    PackedDib Picture() const { return decoder.Picture(); }
};

TEST(BmpDetails, RunLengthJumpsLeaveIndexZeroAndRunsStopAtTheRowsEnd) {
    // Screen rows, top first; make_bmp_ico.py's palette entry i is (255 - 30i, 90i, 50i).
    const auto colour = [](int i) {
        return Bgr{uint8_t(i * 50), uint8_t(i * 90), uint8_t(255 - i * 30)};
    };
    const struct {
        const char* file;
        std::vector<std::vector<int>> rows;
    } cases[] = {
        {"valid/rle8-jumps.bmp",
         {{0, 0, 0, 0, 0, 0, 0},
          {10, 11, 12, 13, 200, 200, 200},
          {0, 0, 0, 0, 7, 7, 7},
          {4, 4, 0, 0, 0, 0, 0}}},
        {"valid/rle4-jumps.bmp",
         {{0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 7, 7, 7, 7}, {0, 0, 0, 0, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        const FullSize<TBmpImg> bmp(c.file);
        for (size_t y = 0; y < c.rows.size(); ++y) {
            for (size_t x = 0; x < 7; ++x) {
                EXPECT_EQ(PixelBgr(bmp.Picture(), int(x), int(y)), colour(c.rows[y][x]))
                    << c.file << " at " << x << ", " << y;
            }
        }
    }
    // 4-4-4 masks with alpha, which Qt does not read: the first stored pixel, bytes 00 25,
    // is red 5 of 15.
    EXPECT_EQ(PixelBgr(FullSize<TBmpImg>("valid/v5-alpha56.bmp").Picture(), 0, 2), (Bgr{0, 0, 85}));
}

TEST(BmpDetails, AssignBitmapTakesAnyDepthAsTwentyFourBits) {
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(0);
    indexed.setPixel(2, 0, 1);
    QImage mono(5, 1, QImage::Format_Mono);
    mono.fill(1);
    for (const QImage& image : {indexed, mono, indexed.convertToFormat(QImage::Format_ARGB32)}) {
        TBmpImg decoder;
        decoder.AssignBitmap(image);
        ASSERT_NE(decoder.Picture(), nullptr) << image.format();
        EXPECT_EQ(decoder.Picture()->biBitCount, 24);
        EXPECT_EQ(decoder.OutputWidth(), image.width());
        EXPECT_EQ(decoder.OutputHeight(), image.height());
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                EXPECT_EQ(PixelBgr(decoder.Picture(), x, y),
                          (Bgr{uint8_t(qBlue(p)), uint8_t(qGreen(p)), uint8_t(qRed(p))}))
                    << image.format();
            }
        }
    }
    TBmpImg decoder;
    decoder.AssignBitmap(indexed);
    decoder.AssignBitmap(QImage());
    EXPECT_EQ(decoder.Picture(), nullptr);
    EXPECT_EQ(decoder.ErrorCode(), 0u);
}

// The picture is the first image's (see the decoders' reference table); the count is all.
TEST(IcoDetails, IconCountIsTheDirectorysCount) {
    EXPECT_EQ(FullSize<TIcoImg>("valid/icon8.ico").decoder.IconCount(), 1);
    EXPECT_EQ(FullSize<TIcoImg>("valid/two-images.ico").decoder.IconCount(), 2);
}

TEST(PngDetails, MaximumSizeWhenSetElseThePanelsCoefficient) {
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

TEST(TiffDetails, TagsAndColourMapsWideWhenAnyEntryPasses255) {
    const FullSize<TTiffImg> tiff("tiff/palette8.tif");
    EXPECT_EQ(tiff.decoder.Photometric(), PHOTOMETRIC_PALETTE);
    EXPECT_EQ(tiff.decoder.BitsPerSample(), 8);
    EXPECT_EQ(tiff.decoder.SamplesPerPixel(), 1);
    EXPECT_EQ(tiff.decoder.Compression(), COMPRESSION_NONE);
    std::vector<uint16_t> low(256), wide(256);
    for (int i = 0; i < 256; ++i) {
        low[i] = wide[i] = uint16_t(i);
    }
    wide[200] = 256;
    EXPECT_EQ(TTiffImg::CheckColorMap(256, low.data(), low.data(), low.data()), 8);
    EXPECT_EQ(TTiffImg::CheckColorMap(256, low.data(), low.data(), wide.data()), 16);
    EXPECT_EQ(TTiffImg::CheckColorMap(200, wide.data(), wide.data(), wide.data()), 8);
}

// The last picture of each animation, not its last image drawn over all: images land at
// their place (the screen grows to hold them), transparent pixels keep what lies below,
// images are disposed of as marked, a later image's own map holds colours the first one
// lacks, and a file cut right after its first image shows that image without an error.
TEST(GifDetails, PlacedTransparentAndDisposedImagesShowTheirLastPicture) {
    const Bgr red{0, 0, 255}, green{0, 255, 0}, blue{255, 0, 0}, black{0, 0, 0},
        white{255, 255, 255}, own0{30, 200, 10}, own1{7, 128, 250};
    struct Pixel {
        int x, y;
        Bgr colour;
    };
    const struct {
        const char* file;
        std::vector<Pixel> pixels;
    } cases[] = {
        // A 10 x 6 black image at (20, 9) of a white screen.
        {"gif/offset.gif",
         {{20, 9, black}, {29, 14, black}, {19, 9, white}, {30, 14, white}, {20, 15, white}}},
        {"gif/animated.gif", {{36, 22, blue}}},
        {"gif/cut-after-first.gif", {{0, 0, red}}},
        // The second image cleared, the third giving the first back, the fourth over its
        // own transparent pixel; the last image has no control block: the transparency
        // before it is not its own.
        {"gif/transparent-frames.gif",
         {{0, 0, blue}, {3, 3, blue}, {6, 0, red}, {4, 3, green}, {5, 3, red}, {7, 3, black}}},
        {"gif/local-colour-maps.gif",
         {{2, 1, own0},
          {3, 1, own1},
          {4, 1, red},
          {2, 2, black},
          {3, 2, red},
          {4, 2, own0},
          {1, 1, red},
          {5, 2, red},
          {6, 0, blue},
          {7, 0, blue},
          {7, 3, green},
          {0, 3, red}}},
    };
    for (const auto& c : cases) {
        const FullSize<TGifImg> gif(c.file);
        for (const Pixel& p : c.pixels) {
            EXPECT_EQ(PixelBgr(gif.Picture(), p.x, p.y), p.colour)
                << c.file << " " << p.x << "," << p.y;
        }
    }
    // Without a colour map, indices show as greys; with one, the palette is its size.
    const FullSize<TGifImg> greys("gif/no-colour-map.gif");
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 20; ++x) {
            const auto grey = uint8_t((x * 7 + y * 3) % 256);
            ASSERT_EQ(PixelBgr(greys.Picture(), x, y), (Bgr{grey, grey, grey})) << x << "," << y;
        }
    }
    EXPECT_EQ(FullSize<TGifImg>("gif/single.gif").Picture()->biClrUsed, 64u);
}

// JPEG files are written here by libjpeg.
class JpegDetails : public ::testing::Test {
  protected:
    testjpeg::ScratchDir dir;

    std::string Write(const std::string& name, const testjpeg::Picture& p) {
        testjpeg::WriteJpeg(dir.File(name), p);
        return dir.File(name);
    }
};

TEST_F(JpegDetails, OutputSizesFollowTheCoefficientWithOrWithoutLibraryScaling) {
    const std::string path = Write("photo.jpg", testjpeg::Ramps(1000, 600, true));
    const struct {
        double coefficient;
        int width, height, denominator;
    } cases[] = {// 0.33f is a little above 0.33: 330.00001 + 0.99999 truncates to 331.
                 {1.0, 1000, 600, 1}, {0.5, 500, 300, 2},  {0.25, 250, 150, 4},
                 {0.1, 100, 60, 8},   {0.33, 331, 198, 2}, {0.049, 49, 30, 8}};
    for (const auto& c : cases) {
        TJpegImg fast, full;
        Log a, b;
        full.SetLibraryScaling(false);
        Decode(fast, a, path, c.coefficient);
        Decode(full, b, path, c.coefficient);
        ASSERT_EQ(fast.ErrorCode(), 0u) << c.coefficient;
        ASSERT_EQ(full.ErrorCode(), 0u) << c.coefficient;
        // The library's reduction stops at the largest one still covering the output.
        EXPECT_EQ(fast.LibraryScaleDenominator(), c.denominator) << c.coefficient;
        for (const TJpegImg* d : {&fast, &full}) {
            EXPECT_EQ(DibWidth(d->Picture()), c.width) << c.coefficient;
            EXPECT_EQ(DibHeight(d->Picture()), c.height) << c.coefficient;
        }
        double difference = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const Bgr p = PixelBgr(fast.Picture(), x, y), q = PixelBgr(full.Picture(), x, y);
                difference += std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]);
            }
        }
        // Both paths put the picture in the same place: only rounding, and at 1/4 the
        // library's own reduction (the filter then runs at 1:1) against the kernel's wider
        // average, tell them apart.
        EXPECT_LE(difference / (3.0 * c.width * c.height), 2.5) << c.coefficient;
    }
}

TEST_F(JpegDetails, CmykFilesAreConvertedToColour) {
    // Adobe-style CMYK stores the inks inverted: 255 means no ink. Left red, right green.
    testjpeg::Picture cmyk{32, 16, 4, std::vector<uint8_t>(32 * 16 * 4)};
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint8_t ink[4] = {uint8_t(x < 16 ? 255 : 0), uint8_t(x < 16 ? 0 : 255), 0, 255};
            std::memcpy(cmyk.At(x, y), ink, 4);
        }
    }
    TJpegImg decoder;
    Log log;
    Decode(decoder, log, Write("cmyk.jpg", cmyk), 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    const Bgr red{0, 0, 255}, green{0, 255, 0};
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(PixelBgr(decoder.Picture(), 4, 8)[c], red[c], 35) << c;
        EXPECT_NEAR(PixelBgr(decoder.Picture(), 27, 8)[c], green[c], 35) << c;
    }
}

TEST_F(JpegDetails, AnEnlargedPictureOverTheBudgetFailsWith8BeforeItIsMade) {
    const std::string path = Write("budget.jpg", testjpeg::Ramps(300, 200));
    const uint64_t twiceEnlarged = 2 * DibCreateSize(600, 400, 24);  // with the panel's copy
    const uint64_t withRows = twiceEnlarged + (1 << 20);             // and the filter's rows
    for (const uint64_t budget : {twiceEnlarged - 1, withRows}) {
        TJpegImg decoder;
        Log log;
        decoder.SetMemoryBudget(budget);
        Decode(decoder, log, path, 2.0);
        const bool fits = budget == withRows;
        EXPECT_EQ(decoder.ErrorCode(), fits ? 0u : ImgError::NotEnoughMemory) << budget;
        EXPECT_EQ(decoder.Picture() != nullptr, fits) << budget;
        EXPECT_EQ(log.events.back().event, fits ? TImgEvent::Finished : TImgEvent::HeaderRead);
    }
}

}  // namespace
