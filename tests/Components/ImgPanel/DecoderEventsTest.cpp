// What the decoders share: the progress events of every format, and for PNG, GIF and TIFF
// stopping from another thread and one error code per class of broken file.

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "Components/ImgPanel/DecoderFactory.h"
#include "Components/ImgPanel/GifImg.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"
#include "tests/Components/ImgPanel/WicTestEncoder.h"

namespace {

using decoderkit::Decode;
using decoderkit::Event;
using decoderkit::Fixture;
using decoderkit::Log;

using MakeDecoder = std::function<std::unique_ptr<TImgCtrl>()>;

template <class T>
MakeDecoder Make() {
    return [] { return std::make_unique<T>(); };
}

constexpr TImgEvent kHeader = TImgEvent::HeaderRead;
constexpr TImgEvent kRows = TImgEvent::RowsDecoded;
constexpr TImgEvent kDone = TImgEvent::Finished;

// Every format the factory knows, picked by the file's first bytes as the panel picks it,
// at full size with a report every 7 rows. The JPEG and WIC files are written on the spot
// (by libjpeg and the test encoder).
TEST(DecoderEvents, EachFormatReportsHeaderRowStripsAndFinished) {
    testjpeg::ScratchDir dir;
    const std::string jpeg = dir.File("ramps.jpg");
    testjpeg::WriteJpeg(jpeg, testjpeg::Ramps(31, 23));
    const std::string wic = dir.File("ramps.wic");
    ASSERT_TRUE(wictest::WriteFile(wic, wictest::EncodeWic(wictest::TransformPicture(
                                            wictest::TestPicture(31, 23, false), 31, 23, 2))));
    const std::vector<Event> everySeventhRow = {{0, 0, kHeader}, {0, 0, kRows},   {0, 7, kRows},
                                                {7, 14, kRows},  {14, 21, kRows}, {23, 23, kDone}};
    // The resampler counts the rows done: the report follows the 7th, 14th, 21st row.
    const std::vector<Event> afterEachSeventhRow = {
        {0, 0, kHeader}, {0, 7, kRows}, {7, 14, kRows}, {14, 21, kRows}, {23, 23, kDone}};
    const struct {
        std::string file;
        std::vector<Event> expected;
    } cases[] = {
        {Fixture("tiff/rgb.tif"), everySeventhRow},
        {Fixture("gif/single.gif"), everySeventhRow},
        {Fixture("png/rgb.png"), afterEachSeventhRow},
        // One report per interlace pass, over the whole picture.
        {Fixture("gif/interlaced.gif"),
         {{0, 0, kHeader},
          {0, 23, kRows},
          {0, 23, kRows},
          {0, 23, kRows},
          {0, 23, kRows},
          {23, 23, kDone}}},
        // An image inside the screen names its own rows only.
        {Fixture("gif/interlaced-inset.gif"),
         {{0, 0, kHeader},
          {7, 13, kRows},
          {7, 13, kRows},
          {7, 13, kRows},
          {7, 13, kRows},
          {23, 23, kDone}}},
        {Fixture("j2k/ramps.j2k"), everySeventhRow},
        // JPEG and BMP end with (0, 0).
        {jpeg,
         {{0, 0, kHeader},
          {0, 0, kRows},
          {0, 7, kRows},
          {7, 14, kRows},
          {14, 21, kRows},
          {0, 0, kDone}}},
        // Three rows from the bottom: the first strip is the bottom row alone.
        {Fixture("valid/rgb24.bmp"), {{0, 0, kHeader}, {2, 2, kRows}, {0, 0, kDone}}},
        // No strips: the end names the whole picture.
        {Fixture("valid/icon8.ico"), {{0, 0, kHeader}, {0, 16, kDone}}},
        // A grey pass, then the colour pass over the same strips.
        {wic,
         {{0, 0, kHeader},
          {0, 7, kRows},
          {7, 14, kRows},
          {14, 21, kRows},
          {21, 23, kRows},
          {0, 7, kRows},
          {7, 14, kRows},
          {14, 21, kRows},
          {21, 23, kRows},
          {23, 23, kDone}}},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<TImgCtrl> decoder = CreateImageDecoder(GetImageFormat(c.file));
        ASSERT_NE(decoder, nullptr) << c.file;
        decoder->SetDisplayScanlines(7);
        Log log;
        Decode(*decoder, log, c.file, 1.0);
        EXPECT_EQ(decoder->ErrorCode(), 0u) << c.file;
        EXPECT_EQ(log.events, c.expected) << c.file;
    }
}

const struct {
    const char* file;
    MakeDecoder make;
} kStoppable[] = {{"png/rgb.png", Make<TPNGImg>()},    {"png/interlaced.png", Make<TPNGImg>()},
                  {"gif/single.gif", Make<TGifImg>()}, {"gif/interlaced.gif", Make<TGifImg>()},
                  {"tiff/rgb.tif", Make<TTiffImg>()},  {"tiff/tiled.tif", Make<TTiffImg>()}};

void ExpectAborted(const TImgCtrl& decoder, const Log& log, const char* file) {
    EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted) << file;
    EXPECT_EQ(decoder.Picture(), nullptr) << file;
    EXPECT_EQ(log.errors, std::vector<std::string>{FormatErrorMessage(ImgError::Aborted)}) << file;
    ASSERT_FALSE(log.events.empty()) << file;
    EXPECT_NE(log.events.back().event, kDone) << file;
}

TEST(DecoderEvents, AbortBeforeTheStartStopsAfterTheHeader) {
    for (const auto& c : kStoppable) {
        const auto decoder = c.make();
        decoder->AbortLoading();
        Log log;
        Decode(*decoder, log, Fixture(c.file), 1.0);
        ExpectAborted(*decoder, log, c.file);
        EXPECT_EQ(log.events, (std::vector<Event>{{0, 0, kHeader}})) << c.file;
    }
}

// A second thread aborts once the first strip is reported; the decode waits for it, then
// must stop at its next check with nothing reported after that strip.
TEST(DecoderEvents, AbortFromAnotherThreadStopsMidDecode) {
    for (const auto& c : kStoppable) {
        const auto decoder = c.make();
        decoder->SetDisplayScanlines(1);
        std::mutex mutex;
        std::condition_variable changed;
        bool stripSeen = false, aborted = false;
        std::thread stopper([&] {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return stripSeen; });
            decoder->AbortLoading();
            aborted = true;
            changed.notify_all();
        });
        Log log;
        Decode(*decoder, log, Fixture(c.file), 1.0, [&](TImgCtrl*, const Event& e) {
            if (e.event == kRows && !stripSeen) {
                std::unique_lock lock(mutex);
                stripSeen = true;
                changed.notify_all();
                changed.wait(lock, [&] { return aborted; });
            }
        });
        if (!stripSeen) {
            std::lock_guard lock(mutex);
            stripSeen = true;  // frees the stopper even when the decode never got there
            changed.notify_all();
        }
        stopper.join();
        ExpectAborted(*decoder, log, c.file);
        EXPECT_EQ(std::count_if(log.events.begin(), log.events.end(),
                                [](const Event& e) { return e.event == kRows; }),
                  1)
            << c.file;
    }
}

TEST(DecoderEvents, BrokenFilesFailWithTheirCodeAndNoPicture) {
    const struct {
        const char* file;
        MakeDecoder make;
        unsigned long code;
        double coefficient = 1.0;
    } cases[] = {
        {"malformed/missing.png", Make<TPNGImg>(), ImgError::OpenFailed},
        {"malformed/signature.png", Make<TPNGImg>(), ImgError::OpenFailed},
        {"malformed/cut.png", Make<TPNGImg>(), ImgError::OpenFailed},
        {"malformed/no-data.png", Make<TPNGImg>(), ImgError::OpenFailed},
        {"malformed/colour-type-5.png", Make<TPNGImg>(), ImgError::BadFormat},
        {"png/rgb.png", Make<TPNGImg>(), ImgError::Unknown, 0.0},
        {"malformed/missing.gif", Make<TGifImg>(), ImgError::OpenFailed},
        {"malformed/cut-in-colour-map.gif", Make<TGifImg>(), ImgError::OpenFailed},
        {"malformed/garbage-records.gif", Make<TGifImg>(), ImgError::ReadFault},
        {"malformed/cut-in-image.gif", Make<TGifImg>(), ImgError::ReadFault},
        {"malformed/empty-screen.gif", Make<TGifImg>(), ImgError::BadFormat},
        {"malformed/missing.tif", Make<TTiffImg>(), ImgError::OpenFailed},
        {"malformed/header-only.tif", Make<TTiffImg>(), ImgError::TiffDirectory},
        {"malformed/bad-directory.tif", Make<TTiffImg>(), ImgError::TiffDirectory},
        {"malformed/damaged-strip.tif", Make<TTiffImg>(), ImgError::ReadFault},
        {"tiff/rgb.tif", Make<TTiffImg>(), ImgError::Unknown, 0.0},
    };
    for (const auto& c : cases) {
        const auto decoder = c.make();
        Log log;
        Decode(*decoder, log, Fixture(c.file), c.coefficient);
        EXPECT_EQ(decoder->ErrorCode(), c.code) << c.file;
        EXPECT_EQ(decoder->Picture(), nullptr) << c.file;
        EXPECT_EQ(log.errors, std::vector<std::string>{FormatErrorMessage(c.code)}) << c.file;
    }
}

// Each file of budget/ (see make_budget_fixtures.py) needs more than its budget: the decode
// fails with 8 and no picture is left. The first ones declare a picture past the budget,
// which no report ever carries: were it made, the decode would go on and end with another
// code (0 where one pixel is all there is to read). The others are small pictures at their
// coefficient whose decode holds more (the filter's window of 16000-pixel rows, a 16-bit
// strip libtiff decodes whole, the WIC matrices, the area a GIF image saves to give back,
// at three bytes a pixel once the picture has turned 24-bit):
// each fits the budget but for that, and succeeds without a budget.
TEST(DecoderEvents, ADecodeOverTheBudgetFailsWith8BeforeItAllocates) {
    const uint64_t kMiB = 1 << 20;
    const struct {
        const char* file;
        uint64_t budget;
        double coefficient = 1.0;
        bool pictureFits = false;
    } cases[] = {{"huge.jpg", kMiB},
                 {"huge-rle8.bmp", kMiB},
                 {"huge.wic", kMiB},
                 {"huge-screen.gif", kMiB},
                 {"huge.png", kMiB},
                 {"huge.tif", kMiB},
                 {"small.j2k", 256},
                 {"huge-png-entry.ico", kMiB},
                 {"256-bitmap-entry.ico", 64 << 10},
                 {"rle8-16000x1000.bmp", kMiB, 0.01, true},
                 {"deflate16-3000.tif", 32 * kMiB, 0.01, true},
                 {"zero-planes-8192.wic", 64 * kMiB, 0.01, true},
                 {"dispose-previous.gif", 40 * kMiB, 1.0, true},
                 {"dispose-previous-24-bit.gif", 128 * kMiB, 1.0, true}};
    std::set<TImgFormat> formats;
    for (const auto& c : cases) {
        const std::string path = Fixture(std::string("budget/") + c.file);
        formats.insert(GetImageFormat(path));
        for (const bool budgeted : {true, false}) {
            if (!budgeted && !c.pictureFits) {
                continue;  // a picture past any budget is not made here either
            }
            const std::unique_ptr<TImgCtrl> decoder = CreateImageDecoder(GetImageFormat(path));
            ASSERT_NE(decoder, nullptr) << c.file;
            decoder->SetMemoryBudget(budgeted ? std::optional<uint64_t>(c.budget) : std::nullopt);
            bool sawPicture = false;
            Log log;
            Decode(*decoder, log, path, c.coefficient, [&](TImgCtrl* sender, const Event&) {
                sawPicture |= sender->Picture() != nullptr;
            });
            EXPECT_EQ(decoder->ErrorCode(), budgeted ? ImgError::NotEnoughMemory : 0) << c.file;
            EXPECT_EQ(decoder->Picture() != nullptr, !budgeted) << c.file;
            EXPECT_TRUE(!sawPicture || c.pictureFits) << c.file;
        }
    }
    EXPECT_EQ(formats.size(), 8u);  // every format the factory makes a decoder for
}

// The JPEG 2000 decode works at full size however small the picture is shown: 256 x 256 at
// 1/8 is a picture of 3 KiB, which 64 KiB has room for but the full-size decode has not;
// 4 MiB holds both.
TEST(DecoderEvents, AJpeg2000DecodeOverTheBudgetFailsWith8HoweverSmallThePicture) {
    const std::string path = Fixture("budget/256.j2k");
    for (const auto& [budget, code] : {std::pair{uint64_t{64} << 10, ImgError::NotEnoughMemory},
                                       std::pair{uint64_t{4} << 20, 0ul}}) {
        const std::unique_ptr<TImgCtrl> decoder = CreateImageDecoder(GetImageFormat(path));
        ASSERT_NE(decoder, nullptr);
        decoder->SetMemoryBudget(budget);
        Log log;
        Decode(*decoder, log, path, 0.125);
        EXPECT_EQ(decoder->ErrorCode(), code) << budget;
        EXPECT_EQ(decoder->Picture() != nullptr, code == 0) << budget;
    }
}

}  // namespace
