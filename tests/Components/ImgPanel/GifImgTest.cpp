// The GIF decoder against Qt's own reader, and the pictures no reader agrees on: images
// placed inside or beyond the screen, animations (transparency, disposal), files without
// colour map, cut files.

#include <gtest/gtest.h>

#include <QImage>

#include "Components/ImgPanel/GifImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"

namespace {

using decoderkit::Decode;
using decoderkit::Fixture;
using decoderkit::Log;
using decoderkit::PixelBgr;
using Bgr = std::array<uint8_t, 3>;

struct Decoded {
    TGifImg decoder;
    Log log;
    explicit Decoded(const char* file) { Decode(decoder, log, Fixture(file), 0.25); }
    PackedDib Picture() const { return decoder.Picture(); }
};

TEST(GifDecoder, FullScreenPicturesAreQtsDecodeWithTheMapAsPalette) {
    for (const char* file : {"gif/single.gif", "gif/interlaced.gif", "gif/screen-smaller.gif"}) {
        const Decoded gif(file);  // the coefficient does not matter: no resampling
        ASSERT_EQ(gif.decoder.ErrorCode(), 0u) << file;
        const QImage reference(QString::fromStdString(Fixture("gif/single.gif")));
        ASSERT_EQ(DibWidth(gif.Picture()), 37) << file;
        ASSERT_EQ(DibHeight(gif.Picture()), 23) << file;
        EXPECT_EQ(gif.Picture()->biBitCount, 8);
        EXPECT_EQ(gif.Picture()->biClrUsed, 64u) << file;  // the size of the file's map
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                const QRgb p = reference.pixel(x, y);
                ASSERT_EQ(PixelBgr(gif.Picture(), x, y),
                          (Bgr{uint8_t(qBlue(p)), uint8_t(qGreen(p)), uint8_t(qRed(p))}))
                    << file << " " << x << "," << y;
            }
        }
    }
}

TEST(GifDecoder, ImagesLandAtTheirPlaceAndLaterFramesDrawOverEarlierOnes) {
    const Decoded offset("gif/offset.gif");
    ASSERT_EQ(offset.decoder.ErrorCode(), 0u);
    const Bgr black{0, 0, 0}, white{255, 255, 255};
    EXPECT_EQ(PixelBgr(offset.Picture(), 20, 9), black);
    EXPECT_EQ(PixelBgr(offset.Picture(), 29, 14), black);
    EXPECT_EQ(PixelBgr(offset.Picture(), 19, 9), white);
    EXPECT_EQ(PixelBgr(offset.Picture(), 30, 14), white);
    EXPECT_EQ(PixelBgr(offset.Picture(), 20, 15), white);

    const Decoded animated("gif/animated.gif");
    ASSERT_EQ(animated.decoder.ErrorCode(), 0u);
    EXPECT_EQ(PixelBgr(animated.Picture(), 36, 22), (Bgr{255, 0, 0}));  // the last frame: blue
    // Cut right after its first frame: that frame shows, without an error.
    const Decoded cut("gif/cut-after-first.gif");
    ASSERT_EQ(cut.decoder.ErrorCode(), 0u);
    EXPECT_TRUE(cut.log.errors.empty());
    EXPECT_EQ(PixelBgr(cut.Picture(), 0, 0), (Bgr{0, 0, 255}));
}

// An animation stored as changes: its last picture, not its last image drawn over all.
TEST(GifDecoder, TransparentPixelsKeepWhatLiesBelowAndImagesAreDisposedOfAsMarked) {
    const Decoded gif("gif/transparent-frames.gif");
    ASSERT_EQ(gif.decoder.ErrorCode(), 0u);
    const Bgr red{0, 0, 255}, green{0, 255, 0}, blue{255, 0, 0};
    EXPECT_EQ(PixelBgr(gif.Picture(), 0, 0), blue);  // the second image, cleared
    EXPECT_EQ(PixelBgr(gif.Picture(), 3, 3), blue);
    EXPECT_EQ(PixelBgr(gif.Picture(), 6, 0), red);    // the third, the first given back
    EXPECT_EQ(PixelBgr(gif.Picture(), 4, 3), green);  // the fourth image
    EXPECT_EQ(PixelBgr(gif.Picture(), 5, 3), red);    // under its transparent pixel
    // The last image has no control block: the transparency before it is not its own.
    EXPECT_EQ(PixelBgr(gif.Picture(), 7, 3), (Bgr{0, 0, 0}));
}

// A later image's own map holds colours the first one lacks: they show as they are, and
// so do the images after it, drawn through the screen's map or cleared to the background.
TEST(GifDecoder, ImagesWithTheirOwnMapShowTheirExactColours) {
    const Decoded gif("gif/local-colour-maps.gif");
    ASSERT_EQ(gif.decoder.ErrorCode(), 0u);
    const Bgr red{0, 0, 255}, green{0, 255, 0}, blue{255, 0, 0}, black{0, 0, 0};
    const Bgr own0{30, 200, 10}, own1{7, 128, 250};
    const struct {
        int x, y;
        Bgr colour;
    } pixels[] = {{2, 1, own0}, {3, 1, own1}, {4, 1, red},   {2, 2, black},
                  {3, 2, red},  {4, 2, own0}, {1, 1, red},   {5, 2, red},
                  {6, 0, blue}, {7, 0, blue}, {7, 3, green}, {0, 3, red}};
    for (const auto& p : pixels) {
        EXPECT_EQ(PixelBgr(gif.Picture(), p.x, p.y), p.colour) << p.x << "," << p.y;
    }
}

TEST(GifDecoder, WithoutColourMapIndicesShowAsGreys) {
    const Decoded gif("gif/no-colour-map.gif");
    ASSERT_EQ(gif.decoder.ErrorCode(), 0u);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 20; ++x) {
            const auto grey = uint8_t((x * 7 + y * 3) % 256);
            ASSERT_EQ(PixelBgr(gif.Picture(), x, y), (Bgr{grey, grey, grey})) << x << "," << y;
        }
    }
}

}  // namespace
