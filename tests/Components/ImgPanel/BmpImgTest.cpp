// The BMP decoder against Qt's own reader: every header and pixel layout, sizes, palettes,
// failures by code, progress and stopping; and bitmap assignment.

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <memory>

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using decoderkit::Decode;
using decoderkit::Event;
using decoderkit::Fixture;
using decoderkit::Log;
using decoderkit::PixelAt;

constexpr uint8_t kExactAtFullSize = 1;  // Hermite: weight 0 at distance 1

// A 24-bit file written by Qt: a colour ramp with four white rows at the top and four red
// columns at the left, wide enough to stay white and red at a quarter of the size.
std::string WriteRamp(const testjpeg::ScratchDir& dir, const std::string& name, int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QColor ramp(x % 64, y % 256, 90);
            image.setPixelColor(x, y, y < 4 ? QColor(Qt::white) : x < 4 ? QColor(Qt::red) : ramp);
        }
    }
    const std::string path = dir.File(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    return path;
}

// The same file stored top-down: rows reversed and the height negated.
std::string WriteTopDown(const std::string& bottomUp) {
    std::vector<uint8_t> bytes = testjpeg::ReadBytes(bottomUp);
    int32_t width, height;
    uint32_t offset;
    std::memcpy(&offset, &bytes[10], 4);
    std::memcpy(&width, &bytes[18], 4);
    std::memcpy(&height, &bytes[22], 4);
    const size_t rowBytes = (size_t(width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> flipped(bytes.begin(), bytes.begin() + offset);
    for (int y = height - 1; y >= 0; --y) {
        auto row = bytes.begin() + offset + y * rowBytes;
        flipped.insert(flipped.end(), row, row + rowBytes);
    }
    const int32_t negative = -height;
    std::memcpy(&flipped[22], &negative, 4);
    const std::string path = bottomUp + ".top-down.bmp";
    testjpeg::WriteBytes(path, flipped);
    return path;
}

TEST(BmpDecoder, FullSizeIsQtsOwnDecodeForEveryLayout) {
    // Qt scales 5- and 6-bit values by shifting (31 -> 248); ours reach 255.
    const struct {
        const char* file;
        const char* reference;  // Qt reads neither OS/2 headers nor 56-byte ones
        int tolerance;
    } cases[] = {
        {"pal1.bmp", "pal1.bmp", 0},
        {"pal4.bmp", "pal4.bmp", 0},
        {"pal8.bmp", "pal8.bmp", 0},
        {"pal8-few-colours.bmp", "pal8-few-colours.bmp", 0},  // indices past 3 are black
        {"pal8-colours-1000.bmp", "pal8.bmp", 0},
        {"core8.bmp", "pal8.bmp", 0},
        {"offset-gap1.bmp", "offset-gap1.bmp", 0},
        {"os2-16.bmp", "rgb24.bmp", 0},
        {"rgb24.bmp", "rgb24.bmp", 0},
        {"top-down24.bmp", "top-down24.bmp", 0},
        {"rgb32.bmp", "rgb32.bmp", 0},
        {"v4-bitfields32.bmp", "v4-bitfields32.bmp", 0},
        {"rle8.bmp", "rle8.bmp", 0},
        {"rle4.bmp", "rle4.bmp", 0},
        {"rgb16-555.bmp", "rgb16-555.bmp", 7},
        {"bitfields16-565.bmp", "bitfields16-565.bmp", 7},
    };
    for (const auto& c : cases) {
        TBmpImg decoder;
        Log log;
        decoder.SetFilterKind(kExactAtFullSize);
        Decode(decoder, log, Fixture(std::string("valid/") + c.file), 1.0);
        ASSERT_EQ(decoder.ErrorCode(), 0u) << c.file;
        const QImage reference(
            QString::fromStdString(Fixture(std::string("valid/") + c.reference)));
        ASSERT_FALSE(reference.isNull()) << c.reference;
        ASSERT_EQ(DibWidth(decoder.Picture()), reference.width()) << c.file;
        ASSERT_EQ(DibHeight(decoder.Picture()), reference.height()) << c.file;
        EXPECT_EQ(decoder.Picture()->biBitCount, 24) << c.file;
        EXPECT_LE(decoderkit::WorstDifference(decoder.Picture(), reference), c.tolerance) << c.file;
    }
    // 4-4-4 masks with alpha: the first stored pixel, bytes 00 25, is red 5 of 15.
    TBmpImg decoder;
    Log log;
    decoder.SetFilterKind(kExactAtFullSize);
    Decode(decoder, log, Fixture("valid/v5-alpha56.bmp"), 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    EXPECT_EQ(PixelAt(decoder.Picture(), 0, 2), QColor(85, 0, 0));
}

TEST(BmpDecoder, RunLengthJumpsLeaveIndexZeroAndRunsStopAtTheRowsEnd) {
    // Screen rows, top first; make_bmp_ico.py's palette entry i is (255 - 30i, 90i, 50i).
    const auto colour = [](int i) {
        return QColor((255 - i * 30) & 255, (i * 90) & 255, (i * 50) & 255);
    };
    const struct {
        const char* file;
        std::vector<std::vector<int>> rows;
    } cases[] = {
        {"rle8-jumps.bmp",
         {{0, 0, 0, 0, 0, 0, 0},
          {10, 11, 12, 13, 200, 200, 200},
          {0, 0, 0, 0, 7, 7, 7},
          {4, 4, 0, 0, 0, 0, 0}}},
        {"rle4-jumps.bmp", {{0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 7, 7, 7, 7}, {0, 0, 0, 0, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        TBmpImg decoder;
        Log log;
        decoder.SetFilterKind(kExactAtFullSize);
        Decode(decoder, log, Fixture(std::string("valid/") + c.file), 1.0);
        ASSERT_EQ(decoder.ErrorCode(), 0u) << c.file;
        for (size_t y = 0; y < c.rows.size(); ++y) {
            for (size_t x = 0; x < 7; ++x) {
                EXPECT_EQ(PixelAt(decoder.Picture(), int(x), int(y)), colour(c.rows[y][x]))
                    << c.file << " at " << x << ", " << y;
            }
        }
    }
}

TEST(BmpDecoder, OutputSizesFollowTheCoefficientBothWaysUp) {
    testjpeg::ScratchDir dir;
    const std::string bottomUp = WriteRamp(dir, "ramp.bmp", 200, 120);
    const std::string topDown = WriteTopDown(bottomUp);
    for (const double coefficient : {0.5, 0.25}) {
        TBmpImg up, down;
        Log a, b;
        Decode(up, a, bottomUp, coefficient);
        Decode(down, b, topDown, coefficient);
        ASSERT_EQ(up.ErrorCode(), 0u);
        ASSERT_EQ(down.ErrorCode(), 0u);
        EXPECT_EQ(DibWidth(up.Picture()), int(200 * coefficient));
        EXPECT_EQ(DibHeight(up.Picture()), int(120 * coefficient));
        // Either order puts the white row at the top and the red column at the left.
        for (const TBmpImg* d : {&up, &down}) {
            EXPECT_GT(PixelAt(d->Picture(), 10, 0).blue(), 120);
            EXPECT_GT(PixelAt(d->Picture(), 0, 10).red(), 120);
            EXPECT_LT(PixelAt(d->Picture(), 0, 10).blue(), 120);
        }
    }
}

TEST(BmpDecoder, EachFailureEndsWithItsCodeAndNoPicture) {
    EXPECT_GE(
        decoderkit::CheckMalformedFixtures(".bmp", [] { return std::make_unique<TBmpImg>(); }), 20);
    TBmpImg missing, tooLarge;
    Log a, b;
    Decode(missing, a, Fixture("malformed/absent.bmp"), 1.0);
    EXPECT_EQ(missing.ErrorCode(), ImgError::OpenFailed);
    EXPECT_TRUE(a.events.empty());
    Decode(tooLarge, b, Fixture("valid/rgb24.bmp"), 1e5);  // past the picture cap
    EXPECT_EQ(tooLarge.ErrorCode(), ImgError::NotEnoughMemory);
}

TEST(BmpDecoder, EventsNameTheScreenRowsWrittenInEitherRowOrder) {
    testjpeg::ScratchDir dir;
    const std::string bottomUp = WriteRamp(dir, "tall.bmp", 30, 100);
    const std::string topDown = WriteTopDown(bottomUp);
    const auto rows = [](std::vector<Event> strips) {
        strips.insert(strips.begin(), {0, 0, TImgEvent::HeaderRead});
        strips.push_back({0, 0, TImgEvent::Finished});
        return strips;
    };
    const TImgEvent r = TImgEvent::RowsDecoded;
    const struct {
        std::string path;
        std::vector<Event> expected;
    } cases[] = {
        // From the bottom: the strip above each written row, the first one alone.
        {bottomUp, rows({{99, 99, r}, {99, 79, r}, {79, 59, r}, {59, 39, r}, {39, 19, r}})},
        {topDown, rows({{0, 0, r}, {0, 20, r}, {20, 40, r}, {40, 60, r}, {60, 80, r}})},
    };
    for (const auto& c : cases) {
        TBmpImg decoder;
        Log log;
        Decode(decoder, log, c.path, 1.0);
        ASSERT_EQ(decoder.ErrorCode(), 0u);
        EXPECT_EQ(log.events, c.expected) << c.path;
        EXPECT_EQ(decoder.FileName(), c.path);
    }
}

TEST(BmpDecoder, StopsWhenAskedBeforeTheStartOrFromAnotherThread) {
    testjpeg::ScratchDir dir;
    const std::string path = WriteRamp(dir, "ramp.bmp", 40, 100);
    TBmpImg early;
    Log log;
    early.AbortLoading();
    Decode(early, log, path, 1.0);
    EXPECT_EQ(early.ErrorCode(), ImgError::Aborted);
    EXPECT_EQ(early.Picture(), nullptr);
    EXPECT_EQ(log.events, (std::vector<Event>{{0, 0, TImgEvent::HeaderRead}}));

    TBmpImg decoder;
    decoder.SetDisplayScanlines(10);
    const Log midLog =
        decoderkit::DecodeAbortedFromAnotherThread(decoder, path, TImgEvent::RowsDecoded);
    EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted);
    EXPECT_EQ(decoder.Picture(), nullptr);
    EXPECT_EQ(midLog.events.size(), 2u);  // the header and one strip, no more
}

TEST(BmpDecoder, AssignBitmapTakesAnyDepthAsTwentyFourBits) {
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
        EXPECT_EQ(decoderkit::WorstDifference(decoder.Picture(), image), 0) << image.format();
    }
    TBmpImg decoder;
    decoder.AssignBitmap(indexed);
    decoder.AssignBitmap(QImage());
    EXPECT_EQ(decoder.Picture(), nullptr);
    EXPECT_EQ(decoder.ErrorCode(), 0u);
}

}  // namespace
