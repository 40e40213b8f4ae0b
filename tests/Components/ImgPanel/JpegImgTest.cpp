// The JPEG decoder against libjpeg's own decode: pixels, sizes, events, colour models,
// failures and stopping.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/JpegImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using decoderkit::Decode;
using decoderkit::Event;
using decoderkit::Log;
using testjpeg::Picture;

// Screen row y (0 = top) of a bottom-up picture.
const uint8_t* ScreenRow(PackedDib dib, int y) {
    return DibBits(dib) + size_t(DibHeight(dib) - 1 - y) * DibRowBytes(dib);
}

class JpegDecoder : public ::testing::Test {
  protected:
    testjpeg::ScratchDir dir;

    std::string Write(const std::string& name, const Picture& p, bool progressive = false) {
        const std::string path = dir.File(name);
        testjpeg::WriteJpeg(path, p, progressive);
        return path;
    }
};

TEST_F(JpegDecoder, FullSizeWithAnEndingKernelIsLibjpegsOwnDecode) {
    Picture grey = testjpeg::Ramps(203, 117, true);
    for (size_t i = 0; i < grey.samples.size() / 3; ++i) {
        grey.samples[i] = grey.samples[3 * i + 1];  // its green channel
    }
    grey.samples.resize(grey.samples.size() / 3);
    grey.components = 1;
    const std::string colour = Write("colour.jpg", testjpeg::Ramps(203, 117, true));
    const std::string greyPath = Write("grey.jpg", grey);
    // Grey files go through a palette of 236 greys: within a step of it.
    for (const auto& [path, tolerance] : {std::pair{colour, 0}, std::pair{greyPath, 2}}) {
        const Picture reference = testjpeg::DecodeReference(path);
        for (uint8_t kind : {1, 3, 9, 10, 11, 12}) {  // kernels that end at distance 1
            TJpegImg decoder;
            Log log;
            decoder.SetFilterKind(kind);
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
            EXPECT_LE(worst, tolerance) << path << " kind " << int(kind);
        }
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

TEST_F(JpegDecoder, EventsArriveAsHeaderThenEveryScanlinesRowsThenFinished) {
    const std::string path = Write("ramp.jpg", testjpeg::Ramps(200, 120));
    for (unsigned scanlines : {20u, 7u, 0u}) {  // 0 counts as 1
        TJpegImg decoder;
        Log log;
        decoder.SetDisplayScanlines(scanlines);
        Decode(decoder, log, path, 0.5);
        ASSERT_EQ(decoder.ErrorCode(), 0u);
        const int step = std::max(1, int(scanlines));
        std::vector<Event> expected = {{0, 0, TImgEvent::HeaderRead}};
        for (int i = 0; i < 60; i += step) {
            expected.push_back({std::max(i - step, 0), i, TImgEvent::RowsDecoded});
        }
        expected.push_back({0, 0, TImgEvent::Finished});
        EXPECT_EQ(log.events, expected) << scanlines;
        EXPECT_TRUE(log.errors.empty());
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
    decoder.SetFilterKind(3);
    Decode(decoder, log, Write("cmyk.jpg", cmyk), 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    const uint8_t* row = ScreenRow(decoder.Picture(), 8);
    const uint8_t red[3] = {0, 0, 255}, green[3] = {0, 255, 0};  // blue-green-red
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(row[3 * 4 + c], red[c], 35) << c;
        EXPECT_NEAR(row[3 * 27 + c], green[c], 35) << c;
    }
}

TEST_F(JpegDecoder, FailuresGiveTheirCodeNoPictureAndOneError) {
    const std::string good = Write("good.jpg", testjpeg::Ramps(300, 200, true));
    const std::vector<uint8_t> bytes = testjpeg::ReadBytes(good);
    testjpeg::WriteBytes(dir.File("header.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10});
    std::vector<uint8_t> garbled = bytes;
    for (size_t i = bytes.size() / 3; i < bytes.size() - 2; i += 7) {
        garbled[i] = 0xFF;  // stray markers in the entropy data
    }
    testjpeg::WriteBytes(dir.File("corrupt.jpg"), garbled);
    const struct {
        std::string name;
        double coefficient;
        unsigned long code;
        bool headerSeen;
    } cases[] = {{"missing.jpg", 1.0, ImgError::OpenFailed, false},
                 {"header.jpg", 1.0, ImgError::Unknown, false},
                 {"corrupt.jpg", 1.0, ImgError::Unknown, true},
                 {"good.jpg", 0.0, ImgError::Unknown, true},
                 {"good.jpg", -1.0, ImgError::Unknown, true}};
    for (const auto& c : cases) {
        TJpegImg decoder;
        Log log;
        Decode(decoder, log, dir.File(c.name), c.coefficient);
        EXPECT_EQ(decoder.ErrorCode(), c.code) << c.name << " " << c.coefficient;
        EXPECT_EQ(decoder.Picture(), nullptr) << c.name;
        EXPECT_EQ(log.errors, std::vector<std::string>{FormatErrorMessage(c.code)}) << c.name;
        const bool sawHeader = !log.events.empty() && log.events[0].event == TImgEvent::HeaderRead;
        EXPECT_EQ(sawHeader, c.headerSeen) << c.name;
        EXPECT_TRUE(log.events.empty() || log.events.back().event != TImgEvent::Finished);
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

// Only the missing end marker may be forgiven; a file cut anywhere before it fails.
void ExpectEveryCutFails(const std::vector<uint8_t>& bytes, const std::string& cut) {
    for (size_t length = 0; length + 2 < bytes.size(); length += 1 + bytes.size() / 60) {
        testjpeg::WriteBytes(cut, {bytes.begin(), bytes.begin() + length});
        TJpegImg decoder;
        Log log;
        Decode(decoder, log, cut, 0.5);
        EXPECT_EQ(decoder.ErrorCode(), ImgError::Unknown) << length << " of " << bytes.size();
        EXPECT_EQ(decoder.Picture(), nullptr);
        EXPECT_EQ(log.errors.size(), 1u);
    }
}

TEST_F(JpegDecoder, EveryCutOfABaselineFileFails) {
    const std::string path = Write("source.jpg", testjpeg::Ramps(120, 90, true));
    ExpectEveryCutFails(testjpeg::ReadBytes(path), dir.File("cut.jpg"));
}

TEST_F(JpegDecoder, EveryCutOfAProgressiveFileFails) {
    const std::string path = Write("source.jpg", testjpeg::Ramps(120, 90, true), true);
    ExpectEveryCutFails(testjpeg::ReadBytes(path), dir.File("cut.jpg"));
}

TEST_F(JpegDecoder, AbortStopsWith995AndNoLaterEvent) {
    for (bool progressive : {false, true}) {
        const std::string path = Write("big.jpg", testjpeg::Ramps(640, 480, true), progressive);
        for (int stopAt : {0, 40}) {  // at the header, or after the strip that ends at row 40
            TJpegImg decoder;
            Log log;
            Decode(decoder, log, path, 1.0, [stopAt](TImgCtrl* sender, const Event& e) {
                if (e.to >= stopAt) {
                    sender->AbortLoading();
                }
            });
            EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted) << progressive << " " << stopAt;
            ASSERT_FALSE(log.events.empty());
            EXPECT_EQ(log.events.back().to, stopAt);
            EXPECT_EQ(log.events.back().event,
                      stopAt == 0 ? TImgEvent::HeaderRead : TImgEvent::RowsDecoded);
            EXPECT_EQ(decoder.Picture(), nullptr);
            EXPECT_EQ(log.errors, std::vector<std::string>{FormatErrorMessage(ImgError::Aborted)});
        }
    }
}

}  // namespace
