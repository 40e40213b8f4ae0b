// What the PNG, GIF and TIFF decoders share: their progress events, stopping from another
// thread, and one error code per class of broken file.

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "Components/ImgPanel/GifImg.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"
#include "tests/Components/ImgPanel/DecoderKit.h"

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

TEST(DecoderEvents, EachFormatReportsHeaderRowStripsAndFinished) {
    // 23 rows at full size, a report every 7 rows.
    const std::vector<Event> everySeventhRow = {{0, 0, kHeader}, {0, 0, kRows},   {0, 7, kRows},
                                                {7, 14, kRows},  {14, 21, kRows}, {0, 0, kDone}};
    const struct {
        const char* file;
        MakeDecoder make;
        std::vector<Event> expected;
    } cases[] = {
        {"tiff/rgb.tif", Make<TTiffImg>(), everySeventhRow},
        {"gif/single.gif", Make<TGifImg>(), everySeventhRow},
        // The resampler counts the rows done: the report follows the 7th, 14th, 21st row.
        {"png/rgb.png",
         Make<TPNGImg>(),
         {{0, 0, kHeader}, {0, 7, kRows}, {7, 14, kRows}, {14, 21, kRows}, {0, 0, kDone}}},
        // One report per interlace pass, over the whole picture.
        {"gif/interlaced.gif",
         Make<TGifImg>(),
         {{0, 0, kHeader},
          {0, 23, kRows},
          {0, 23, kRows},
          {0, 23, kRows},
          {0, 23, kRows},
          {0, 0, kDone}}},
    };
    for (const auto& c : cases) {
        const auto decoder = c.make();
        decoder->SetDisplayScanlines(7);
        Log log;
        Decode(*decoder, log, Fixture(c.file), 1.0);
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

}  // namespace
