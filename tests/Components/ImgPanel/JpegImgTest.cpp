// The JPEG decoder against libjpeg's own decode: pixels, sizes with and without the
// library's reduction, CMYK and the memory budget. Events, stops and failures are in the
// decoders' shared tables, cut files in the preview loader's tests.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/JpegImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using decoderkit::Decode;
using decoderkit::Log;
using testjpeg::Picture;

// Screen row y (0 = top) of a bottom-up picture.
const uint8_t* ScreenRow(PackedDib dib, int y) {
    return DibBits(dib) + size_t(DibHeight(dib) - 1 - y) * DibRowBytes(dib);
}

class JpegDecoder : public ::testing::Test {
  protected:
    testjpeg::ScratchDir dir;

    std::string Write(const std::string& name, const Picture& p) {
        const std::string path = dir.File(name);
        testjpeg::WriteJpeg(path, p);
        return path;
    }
};

// At full size the default kernel copies the rows straight; grey files go through a
// palette of 236 greys, within a step of it.
TEST_F(JpegDecoder, FullSizeIsLibjpegsOwnDecode) {
    Picture grey = testjpeg::Ramps(203, 117, true);
    for (size_t i = 0; i < grey.samples.size() / 3; ++i) {
        grey.samples[i] = grey.samples[3 * i + 1];  // its green channel
    }
    grey.samples.resize(grey.samples.size() / 3);
    grey.components = 1;
    const std::string colour = Write("colour.jpg", testjpeg::Ramps(203, 117, true));
    for (const auto& [path, tolerance] : {std::pair{colour, 0}, {Write("grey.jpg", grey), 2}}) {
        const Picture reference = testjpeg::DecodeReference(path);
        TJpegImg decoder;
        Log log;
        Decode(decoder, log, path, 1.0);
        ASSERT_EQ(decoder.ErrorCode(), 0u);
        ASSERT_EQ(DibWidth(decoder.Picture()), 203);
        ASSERT_EQ(DibHeight(decoder.Picture()), 117);
        int worst = 0;
        for (int y = 0; y < 117; ++y) {
            for (int i = 0; i < 3 * 203; ++i) {
                const int want = reference.At(i / 3, y)[i % 3 % reference.components];
                worst = std::max(worst, std::abs(ScreenRow(decoder.Picture(), y)[i] - want));
            }
        }
        EXPECT_LE(worst, tolerance) << path;
    }
}

TEST_F(JpegDecoder, OutputSizesFollowTheCoefficientWithOrWithoutLibraryScaling) {
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
            for (int i = 0; i < 3 * c.width; ++i) {
                difference +=
                    std::abs(ScreenRow(fast.Picture(), y)[i] - ScreenRow(full.Picture(), y)[i]);
            }
        }
        // Both paths put the picture in the same place: only rounding, and at 1/4 the
        // library's own reduction (the filter then runs at 1:1) against the kernel's wider
        // average, tell them apart.
        EXPECT_LE(difference / (3.0 * c.width * c.height), 2.5) << c.coefficient;
    }
}

TEST_F(JpegDecoder, CmykFilesAreConvertedToColour) {
    // Adobe-style CMYK stores the inks inverted: 255 means no ink. Left red, right green.
    Picture cmyk{32, 16, 4, std::vector<uint8_t>(32 * 16 * 4)};
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
    const uint8_t* row = ScreenRow(decoder.Picture(), 8);
    const uint8_t red[3] = {0, 0, 255}, green[3] = {0, 255, 0};  // blue-green-red
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(row[3 * 4 + c], red[c], 35) << c;
        EXPECT_NEAR(row[3 * 27 + c], green[c], 35) << c;
    }
}

TEST_F(JpegDecoder, APictureOverTheMemoryBudgetFailsWith8BeforeItIsMade) {
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
