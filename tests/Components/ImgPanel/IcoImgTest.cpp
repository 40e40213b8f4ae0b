// The icon decoder against Qt's own reader: bit depths and palettes, the first of several
// images, the 256 size, failures by code, progress and stopping.

#include <gtest/gtest.h>

#include <QImage>
#include <memory>

#include "Components/ImgPanel/IcoImg.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using decoderkit::Decode;
using decoderkit::Event;
using decoderkit::Fixture;
using decoderkit::Log;

TEST(IcoDecoder, ShowsTheColourBitmapAtItsOwnDepthAsQtDoes) {
    const struct {
        const char* file;
        int size, bitCount;
    } cases[] = {{"icon1.ico", 16, 1},   {"icon4.ico", 16, 4},
                 {"icon8.ico", 16, 8},   {"icon8-3-colours.ico", 16, 8},
                 {"icon24.ico", 16, 24}, {"icon32.ico", 16, 32},
                 {"cursor.cur", 8, 1}};  // 3 colours: the header stores fewer than 8 bits allow
    for (const auto& c : cases) {
        const std::string path = Fixture(std::string("valid/") + c.file);
        TIcoImg decoder;
        Log log;
        Decode(decoder, log, path, 0.5);  // icons ignore the coefficient
        ASSERT_EQ(decoder.ErrorCode(), 0u) << c.file;
        const PackedDib picture = decoder.Picture();
        EXPECT_EQ(DibWidth(picture), c.size) << c.file;
        EXPECT_EQ(DibHeight(picture), c.size) << c.file;
        EXPECT_EQ(picture->biBitCount, c.bitCount) << c.file;
        EXPECT_EQ(decoder.IconCount(), 1);
        // Qt makes masked pixels transparent; the picture keeps their colour bytes.
        const QImage reference(QString::fromStdString(path));
        ASSERT_FALSE(reference.isNull()) << c.file;
        int compared = 0;
        const auto opaque = [&](int x, int y) {
            const bool keep = qAlpha(reference.pixel(x, y)) == 255;
            compared += keep;
            return keep;
        };
        EXPECT_EQ(decoderkit::WorstDifference(picture, reference, opaque), 0) << c.file;
        EXPECT_GT(compared, 0) << c.file;
        EXPECT_EQ(log.events, (std::vector<Event>{{0, 0, TImgEvent::HeaderRead},
                                                  {0, c.size, TImgEvent::Finished}}));
    }
}

TEST(IcoDecoder, FirstOfSeveralImagesAndZeroMeaning256) {
    TIcoImg decoder;
    Log log;
    Decode(decoder, log, Fixture("valid/two-images.ico"), 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    EXPECT_EQ(decoder.IconCount(), 2);
    EXPECT_EQ(DibWidth(decoder.Picture()), 4);
    EXPECT_EQ(decoder.Picture()->biBitCount, 8);

    TIcoImg wide;
    Decode(wide, log, Fixture("valid/wide-256.ico"), 1.0);
    ASSERT_EQ(wide.ErrorCode(), 0u);
    EXPECT_EQ(DibWidth(wide.Picture()), 256);
    EXPECT_EQ(DibHeight(wide.Picture()), 1);
}

TEST(IcoDecoder, PngEntryIsDecodedAtItsOwnSizeAsTheStreamAlone) {
    TIcoImg decoder;
    Log log;
    Decode(decoder, log, Fixture("valid/png-entry.ico"), 0.5);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    const PackedDib picture = decoder.Picture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(DibWidth(picture), 5);  // the stream's size; the directory says 256
    EXPECT_EQ(DibHeight(picture), 3);
    EXPECT_EQ(decoder.Width(), 5);
    const QImage reference(QString::fromStdString(Fixture("valid/png-entry.png")));
    ASSERT_FALSE(reference.isNull());
    EXPECT_EQ(decoderkit::WorstDifference(picture, reference), 0);
    EXPECT_EQ(log.events.front(), (Event{0, 0, TImgEvent::HeaderRead}));
    EXPECT_EQ(log.events.back(), (Event{0, 3, TImgEvent::Finished}));
}

TEST(IcoDecoder, EachFailureEndsWithItsCodeAndNoPicture) {
    EXPECT_GE(
        decoderkit::CheckMalformedFixtures(".ico", [] { return std::make_unique<TIcoImg>(); }), 10);
    TIcoImg missing;
    Log log;
    Decode(missing, log, Fixture("malformed/absent.ico"), 1.0);
    EXPECT_EQ(missing.ErrorCode(), ImgError::OpenFailed);
}

TEST(IcoDecoder, StopsWhenAskedBeforeTheStartOrFromAnotherThread) {
    const std::string path = Fixture("valid/icon8.ico");
    TIcoImg early;
    Log log;
    early.AbortLoading();
    Decode(early, log, path, 1.0);
    EXPECT_EQ(early.ErrorCode(), ImgError::Aborted);
    EXPECT_EQ(early.Picture(), nullptr);

    TIcoImg decoder;
    const Log midLog =
        decoderkit::DecodeAbortedFromAnotherThread(decoder, path, TImgEvent::HeaderRead);
    EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted);
    EXPECT_EQ(decoder.Picture(), nullptr);
    EXPECT_EQ(midLog.events.size(), 1u);
}

}  // namespace
