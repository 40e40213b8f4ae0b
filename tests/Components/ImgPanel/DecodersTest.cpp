// What every decoder the factory makes shares, each in one table across the formats: the
// progress events, full-size pictures against decodes that share no code with them,
// pictures stored two ways that must decode alike, stopping, failures by code and the
// memory budget.

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <tiffio.h>

#include "Components/ImgPanel/DecoderFactory.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"
#include "tests/Components/ImgPanel/WicTestEncoder.h"

namespace {

using namespace decoderkit;

constexpr TImgEvent kHeader = TImgEvent::HeaderRead;
constexpr TImgEvent kRows = TImgEvent::RowsDecoded;
constexpr TImgEvent kDone = TImgEvent::Finished;

// Every format the factory knows, picked by the file's first bytes as the panel picks it,
// at full size with a report every `scanlines` rows.
TEST(Decoders, EachFormatReportsHeaderRowStripsAndFinished) {
    const testjpeg::ScratchDir dir;  // for a WIC file written by the test encoder
    const std::string wic = dir.File("ramps.wic");
    ASSERT_TRUE(wictest::WriteFile(wic, wictest::EncodeWic(wictest::TransformPicture(
                                            wictest::TestPicture(31, 23, false), 31, 23, 2))));
    // The strips reported between the header and the end; every strip of 7 rows, the first
    // one empty, or (the resampler counts the rows done) after each 7th row.
    using Strips = std::vector<std::pair<int, int>>;
    const Strips sevenths = {{0, 0}, {0, 7}, {7, 14}, {14, 21}},
                 after = {{0, 7}, {7, 14}, {14, 21}};
    const struct {
        std::string file;
        Strips strips;
        std::pair<int, int> end = {23, 23};
        unsigned scanlines = 7;
    } cases[] = {
        {Fixture("tiff/rgb.tif"), sevenths},
        {Fixture("gif/single.gif"), sevenths},
        {Fixture("png/rgb.png"), after},
        {Fixture("j2k/ramps.j2k"), sevenths},
        {Fixture("jpeg/rgb.jpg"), sevenths, {0, 0}},  // JPEG and BMP end with (0, 0)
        // One report per interlace pass, over the whole picture or the image inside it.
        {Fixture("gif/interlaced.gif"), {{0, 23}, {0, 23}, {0, 23}, {0, 23}}},
        {Fixture("gif/interlaced-inset.gif"), {{7, 13}, {7, 13}, {7, 13}, {7, 13}}},
        // Every row (0 counts as 1), in the file's order: from the bottom the strip above
        // each written row, the first one alone; from the top the strip below it.
        {Fixture("valid/rgb24.bmp"), {{2, 2}, {2, 1}, {1, 0}}, {0, 0}, 0},
        {Fixture("valid/top-down24.bmp"), {{0, 0}, {0, 1}, {1, 2}}, {0, 0}, 0},
        // No strips: the end names the whole picture; an icon's PNG image reports as the icon.
        {Fixture("valid/icon8.ico"), {}, {0, 16}},
        {Fixture("valid/png-entry.ico"), {}, {0, 3}},
        // A grey pass, then the colour pass over the same strips.
        {wic, {{0, 7}, {7, 14}, {14, 21}, {21, 23}, {0, 7}, {7, 14}, {14, 21}, {21, 23}}},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<TImgCtrl> decoder = CreateImageDecoder(GetImageFormat(c.file));
        ASSERT_NE(decoder, nullptr) << c.file;
        decoder->SetDisplayScanlines(c.scanlines);
        Log log;
        Decode(*decoder, log, c.file, 1.0);
        std::vector<Event> expected = {{0, 0, kHeader}};
        for (const auto& [from, to] : c.strips) {
            expected.push_back({from, to, kRows});
        }
        expected.push_back({c.end.first, c.end.second, kDone});
        EXPECT_EQ(decoder->ErrorCode(), 0u) << c.file;
        EXPECT_EQ(log.events, expected) << c.file;
        EXPECT_EQ(decoder->FileName(), c.file);
    }
}

// libtiff's own decode, packed red, green, blue, alpha, as an image.
QImage LibtiffDecode(const std::string& path) {
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), TIFFClose);
    uint32_t w = 0, h = 0;
    if (!tif || !TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h)) {
        return {};
    }
    std::vector<uint32_t> pixels(size_t(w) * h);
    if (!TIFFReadRGBAImageOriented(tif.get(), w, h, pixels.data(), ORIENTATION_TOPLEFT, 1)) {
        return {};
    }
    QImage image(int(w), int(h), QImage::Format_ARGB32);
    for (uint32_t i = 0; i < pixels.size(); ++i) {
        const uint32_t p = pixels[i];
        image.setPixel(int(i % w), int(i / w),
                       qRgba(TIFFGetR(p), TIFFGetG(p), TIFFGetB(p), TIFFGetA(p)));
    }
    return image;
}

// A pixel over a background in the light of a 2.2 display, as libpng composites: pixel and
// background stored with the file's gamma (1/2.2 but where a file says otherwise), white
// being white in any.
QRgb Over(QRgb pixel, QColor background, double fileGamma) {
    const double a = qAlpha(pixel) / 255.0;
    const auto light = [fileGamma](int value) { return std::pow(value / 255.0, 1 / fileGamma); };
    const auto over = [&](int colour, int below) {
        const double mixed = a * light(colour) + (1 - a) * light(below);
        return int(std::lround(255.0 * std::pow(mixed, 1 / 2.2)));
    };
    return qRgb(over(qRed(pixel), background.red()), over(qGreen(pixel), background.green()),
                over(qBlue(pixel), background.blue()));
}

// Decoded at full size with a kernel that weighs 0 at distance 1 (a plain copy) and held
// against a decode that shares no code with the route: Qt's reader, libtiff's RGBA reader,
// or straight colours composited here. `bits` is the file's bit count as the decoder
// reports it, `depth` the picture's. Where `background` is given, reference pixels are
// composited over it with the file's `gamma` (Qt hands back the stored values); an icon's
// masked pixels, which Qt makes transparent and the picture keeps as stored, are left out.
TEST(DecodedPictures, FullSizeIsAnIndependentDecode) {
    const struct {
        const char* file;
        int bits, depth;
        int worst = 0;
        const char* reference = nullptr;  // a file for Qt, or "libtiff"; else `file` for Qt
        QColor background = {};
        double mean = 255;
        double gamma = 1 / 2.2;
    } cases[] = {
        // Qt reads neither OS/2 headers nor 56-byte ones, and widens 5- and 6-bit values by
        // shifting (31 -> 248) where ours reach 255; indices past a short palette are black.
        {"valid/pal1.bmp", 1, 24},
        {"valid/pal4.bmp", 4, 24},
        {"valid/pal8.bmp", 8, 24},
        {"valid/pal8-few-colours.bmp", 8, 24},
        {"valid/pal8-colours-1000.bmp", 8, 24, 0, "valid/pal8.bmp"},
        {"valid/core8.bmp", 8, 24, 0, "valid/pal8.bmp"},
        {"valid/offset-gap1.bmp", 1, 24},
        {"valid/os2-16.bmp", 24, 24, 0, "valid/rgb24.bmp"},
        {"valid/rgb24.bmp", 24, 24},
        {"valid/top-down24.bmp", 24, 24},
        {"valid/rgb32.bmp", 32, 24},
        {"valid/v4-bitfields32.bmp", 32, 24},
        {"valid/rle8.bmp", 8, 24},
        {"valid/rle4.bmp", 4, 24},
        {"valid/rgb16-555.bmp", 16, 24, 7},
        {"valid/bitfields16-565.bmp", 16, 24, 7},
        // Icons keep their own depth; a header may store fewer colours than its bits allow.
        {"valid/icon1.ico", 1, 1},
        {"valid/icon4.ico", 4, 4},
        {"valid/icon8.ico", 8, 8},
        {"valid/icon8-3-colours.ico", 8, 8},
        {"valid/icon24.ico", 24, 24},
        {"valid/icon32.ico", 32, 32},
        {"valid/cursor.cur", 1, 1},
        {"valid/two-images.ico", 8, 8},  // the first image
        {"valid/wide-256.ico", 1, 1},    // a width of 0 in the directory is 256
        // A PNG image in an icon: the stream's size, whatever the directory says.
        {"valid/png-entry.ico", 24, 24, 0, "valid/png-entry.png"},
        // 16-bit samples: the library keeps the high byte, Qt rounds.
        {"png/rgb.png", 24, 24},
        {"png/interlaced.png", 24, 24},
        {"png/grey16.png", 8, 8, 1},
        {"png/grey1.png", 1, 1},
        {"png/palette4.png", 8, 8},
        // Transparency over the file's background, else white. libpng blends through 8-bit
        // gamma tables, coarse near black: a few dark pixels stray further, so the mean is
        // held (over the wrong colour it is 30 and more). A 2-bit background is widened with
        // the pixels it stands behind.
        {"png/rgba.png", 24, 24, 255, nullptr, Qt::white, 1.0},
        {"png/rgba-bkgd.png", 24, 24, 255, nullptr, QColor(0x33, 0x66, 0xcc), 1.0},
        {"png/grey2-trns-bkgd.png", 8, 8, 255, nullptr, QColor(170, 170, 170), 1.0},
        {"png/straight-alpha.png", 24, 24, 2, nullptr, Qt::white},
        // A file's gamma other than 1/2.2 is undone for the screen in every palette,
        // transparent or not, and in the background a low-bit grey is widened with
        // (background colours as the file stores them; white stays the default).
        {"png/palette1-gamma1.png", 1, 1, 1, nullptr, Qt::white, 255, 1.0},
        {"png/palette8-gamma025.png", 8, 8, 1, nullptr, Qt::white, 255, 0.25},
        {"png/palette8-bkgd-gamma05.png", 8, 8, 1, nullptr, QColor(205, 3, 109), 255, 0.5},
        {"png/palette4-trns-gamma1.png", 8, 8, 1, nullptr, Qt::white, 255, 1.0},
        {"png/palette8-trns-bkgd-gamma07.png", 8, 8, 1, nullptr, QColor(23, 185, 215), 255, 0.7},
        {"png/grey2-trns-bkgd-gamma07.png", 8, 8, 1, nullptr, QColor(85, 85, 85), 255, 0.7},
        {"png/grey4-trns-bkgd-gamma07.png", 8, 8, 1, nullptr, QColor(85, 85, 85), 255, 0.7},
        {"png/grey2-trns-gamma07.png", 8, 8, 1, nullptr, Qt::white, 255, 0.7},
        {"png/grey8-gamma07.png", 8, 8, 1, nullptr, Qt::white, 255, 0.7},
        // Grey JPEG files go through a palette of 236 greys: within a step of it.
        {"jpeg/rgb.jpg", 24, 24},
        {"jpeg/progressive.jpg", 24, 24},
        {"jpeg/grey.jpg", 8, 24, 2},
        // JPEG 2000 coded losslessly: red in the third byte, 12-bit samples shown as their
        // top 8 bits, components at half size shown with each pixel's nearest sample.
        {"j2k/ramps.j2k", 24, 24, 0, "j2k/ramps.ppm"},
        {"j2k/deep12.j2k", 24, 24, 0, "j2k/deep12.ppm"},
        {"j2k/subsampled.j2k", 24, 24, 0, "j2k/subsampled.ppm"},
        {"gif/single.gif", 8, 8},
        {"gif/interlaced.gif", 8, 8, 0, "gif/single.gif"},
        {"gif/screen-smaller.gif", 8, 8, 0, "gif/single.gif"},  // the picture grows to the image
        // The scanline route does not use libtiff's RGBA reader, which can so be its
        // reference; 16-bit colour maps: libtiff keeps the high byte, we scale by 255 / 65535.
        {"tiff/bilevel-white.tif", 1, 24, 0, "libtiff"},
        {"tiff/bilevel-black.tif", 1, 24, 0, "libtiff"},
        {"tiff/palette8.tif", 8, 24, 1, "libtiff"},
        {"tiff/grey4.tif", 4, 24, 0, "libtiff"},
        {"tiff/grey2.tif", 2, 24, 0, "libtiff"},
        {"tiff/jpeg.tif", 24, 24, 0, "libtiff"},
        {"tiff/jpeg-ycbcr.tif", 24, 24, 0, "libtiff"},
        // Every other layout of the picture png/rgb.png holds as it was drawn.
        {"tiff/rgb.tif", 24, 24, 0, "png/rgb.png"},
        {"tiff/rgba.tif", 32, 24, 0, "png/rgb.png"},
        {"tiff/tiled.tif", 24, 24, 0, "png/rgb.png"},
        {"tiff/tiled-none.tif", 24, 24, 0, "png/rgb.png"},
        {"tiff/planar.tif", 24, 24, 0, "png/rgb.png"},
        {"tiff/rgb16.tif", 48, 24, 0, "png/rgb.png"},
        {"tiff/cmyk.tif", 32, 24, 0, "png/rgb.png"},
        {"tiff/cmyk16.tif", 64, 24, 0, "png/rgb.png"},
        // Alpha over white on every layout, as libpng composites a PNG of the same colours.
        {"tiff/alpha-straight-strips.tif", 32, 24, 1, "png/straight-alpha.png", Qt::white},
        {"tiff/alpha-straight-tiles.tif", 32, 24, 1, "png/straight-alpha.png", Qt::white},
        {"tiff/alpha-straight-planar.tif", 32, 24, 1, "png/straight-alpha.png", Qt::white},
        {"tiff/alpha-premultiplied-strips.tif", 32, 24, 1, "png/straight-alpha.png", Qt::white},
        {"tiff/alpha-premultiplied-tiles.tif", 32, 24, 1, "png/straight-alpha.png", Qt::white},
        {"tiff/alpha-premultiplied-planar.tif", 32, 24, 1, "png/straight-alpha.png", Qt::white},
        {"tiff/alpha-straight-cmyk.tif", 40, 24, 1, "png/straight-alpha.png", Qt::white},
    };
    for (const auto& c : cases) {
        const std::string file = c.file, reference = c.reference ? c.reference : c.file;
        QImage want = reference == "libtiff" ? LibtiffDecode(Fixture(file))
                                             : QImage(QString::fromStdString(Fixture(reference)));
        ASSERT_FALSE(want.isNull()) << file;
        want = want.convertToFormat(QImage::Format_ARGB32);
        const std::unique_ptr<TImgCtrl> decoder = DecoderFor(file);
        decoder->SetFilterKind(3);
        Log log;
        Decode(*decoder, log, Fixture(file), 1.0);
        ASSERT_EQ(decoder->ErrorCode(), 0u) << file;
        const PackedDib picture = decoder->Picture();
        ASSERT_EQ(QSize(DibWidth(picture), DibHeight(picture)), want.size()) << file;
        EXPECT_EQ(decoder->BitCount(), c.bits) << file;
        EXPECT_EQ(picture->biBitCount, c.depth) << file;
        const bool icon = file.ends_with(".ico") || file.ends_with(".cur");
        int worst = 0, compared = 0;
        double total = 0;
        for (int y = 0; y < want.height(); ++y) {
            for (int x = 0; x < want.width(); ++x) {
                QRgb p = want.pixel(x, y);
                if (icon && qAlpha(p) != 255) {
                    continue;
                }
                p = c.background.isValid() ? Over(p, c.background, c.gamma) : p;
                const auto got = PixelBgr(picture, x, y);
                for (const int d : {got[2] - qRed(p), got[1] - qGreen(p), got[0] - qBlue(p)}) {
                    worst = std::max(worst, std::abs(d));
                    total += std::abs(d);
                }
                ++compared;
            }
        }
        ASSERT_GT(compared, 0) << file;
        EXPECT_LE(worst, c.worst) << file;
        EXPECT_LE(total / (3.0 * compared), c.mean) << file;
    }
}

// The same picture stored two ways (interlaced, tiled, turned, in planes, bottom-up, ...)
// decodes to the same bytes at full size and reduced: every pass, tile and row must have
// been read, in its place, before the picture is reduced.
TEST(DecodedPictures, TwoWaysOfStoringDecodeAlike) {
    const struct {
        const char* file;
        const char* twin;
        double coefficient;
        int width, height;
    } cases[] = {
        {"png/rgb.png", "png/interlaced.png", 0.5, 19, 12},
        {"png/rgb.png", "png/interlaced.png", 0.25, 10, 6},
        {"tiff/rgb.tif", "tiff/tiled.tif", 0.5, 19, 12},
        {"tiff/rgb.tif", "tiff/planar.tif", 0.25, 10, 6},
        {"tiff/bilevel-black.tif", "tiff/bilevel-white.tif", 0.25, 10, 6},
        // Read as stored, whatever the orientation tag: the RGBA reader asked to turn a
        // picture stored bottom-up would turn each strip on its own.
        {"tiff/rgb16.tif", "tiff/rgb16-bottom-left.tif", 1.0, 37, 23},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<TImgCtrl> decoders[2] = {DecoderFor(c.file), DecoderFor(c.twin)};
        for (int i = 0; i < 2; ++i) {
            Log log;
            Decode(*decoders[i], log, Fixture(i == 0 ? c.file : c.twin), c.coefficient);
            ASSERT_EQ(decoders[i]->ErrorCode(), 0u) << c.twin;
            const PackedDib picture = decoders[i]->Picture();
            EXPECT_EQ(QSize(DibWidth(picture), DibHeight(picture)), QSize(c.width, c.height))
                << c.twin;
        }
        const PackedDib a = decoders[0]->Picture(), b = decoders[1]->Picture();
        ASSERT_EQ(DibSize(a), DibSize(b)) << c.twin;
        EXPECT_EQ(0, std::memcmp(a, b, DibSize(a))) << c.twin << " at " << c.coefficient;
    }
}

// Decodes path on a thread of its own; at the first event of kind `at` the decoder waits
// until this thread has called AbortLoading, then goes on. Returns what it reported.
Log DecodeAbortedFromAnotherThread(TImgCtrl& decoder, const std::string& path, TImgEvent at) {
    Log log;
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false, ended = false;
    std::thread loader([&] {
        Decode(decoder, log, path, 1.0, [&](TImgCtrl* sender, const Event& e) {
            if (e.event != at || reached) {
                return;
            }
            std::unique_lock lock(mutex);
            reached = true;
            changed.notify_all();
            changed.wait(lock, [sender] { return sender->AbortRequested(); });
        });
        std::lock_guard lock(mutex);
        ended = true;  // frees this thread even when the decode never got there
        changed.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return reached || ended; });
        decoder.AbortLoading();
        changed.notify_all();
    }
    loader.join();
    return log;
}

// Asked to stop before it starts, a decoder stops at its first check; asked by another
// thread when it reports its first strip (an icon, which has none, its header), at its
// next check: nothing reported after that, no picture, and the stop's code once.
TEST(Decoders, EachFormatStopsBeforeTheStartOrFromAnotherThread) {
    const struct {
        std::string file;
        size_t eventsBeforeStart = 1;  // the header's
    } cases[] = {{"png/rgb.png"},        {"png/interlaced.png"},  {"gif/single.gif"},
                 {"gif/interlaced.gif"}, {"tiff/rgb.tif"},        {"tiff/tiled.tif"},
                 {"valid/rgb24.bmp"},    {"valid/icon8.ico"},     {"j2k/ramps.j2k", 0},
                 {"jpeg/rgb.jpg"},       {"jpeg/progressive.jpg"}};
    const auto expectStopped = [](const TImgCtrl& decoder, const Log& log,
                                  const std::string& file) {
        EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted) << file;
        EXPECT_EQ(decoder.Picture(), nullptr) << file;
        EXPECT_EQ(log.errors, std::vector{FormatErrorMessage(ImgError::Aborted)}) << file;
        EXPECT_TRUE(log.events.empty() || log.events.back().event != kDone) << file;
    };
    for (const auto& c : cases) {
        const std::unique_ptr<TImgCtrl> early = DecoderFor(c.file);
        early->AbortLoading();
        Log log;
        Decode(*early, log, Fixture(c.file), 1.0);
        expectStopped(*early, log, c.file);
        EXPECT_EQ(log.events.size(), c.eventsBeforeStart) << c.file;

        const std::unique_ptr<TImgCtrl> decoder = DecoderFor(c.file);
        decoder->SetDisplayScanlines(1);
        const bool icon = c.file.ends_with(".ico");
        const Log midway =
            DecodeAbortedFromAnotherThread(*decoder, Fixture(c.file), icon ? kHeader : kRows);
        expectStopped(*decoder, midway, c.file);
        EXPECT_EQ(std::count_if(midway.events.begin(), midway.events.end(),
                                [](const Event& e) { return e.event == kRows; }),
                  icon ? 0 : 1)
            << c.file;
    }
}

void ExpectFailure(const std::string& path, unsigned long code, double coefficient = 1.0) {
    const std::unique_ptr<TImgCtrl> decoder = DecoderFor(path);
    ASSERT_NE(decoder, nullptr) << path;
    Log log;
    Decode(*decoder, log, path, coefficient);
    EXPECT_EQ(decoder->ErrorCode(), code) << path << " at " << coefficient;
    EXPECT_EQ(decoder->Picture(), nullptr) << path;
    EXPECT_EQ(log.errors, std::vector{FormatErrorMessage(code)}) << path;
    EXPECT_TRUE(log.events.empty() || log.events.back().event != kDone) << path;
}

// Every file of malformed/, named <what>.<code>.<extension>, fails with that code; so do
// files that are not there and coefficients that leave no picture.
TEST(Decoders, BrokenFilesFailWithTheirCodeAndNoPicture) {
    std::set<std::string> extensions;
    for (const auto& entry : std::filesystem::directory_iterator(Fixture("malformed"))) {
        const std::filesystem::path path = entry.path();
        extensions.insert(path.extension().string());
        ExpectFailure(path.string(), std::stoul(path.stem().extension().string().substr(1)));
    }
    EXPECT_EQ(extensions, (std::set<std::string>{".bmp", ".gif", ".ico", ".jpg", ".png", ".tif"}));
    for (const char* extension : {".jpg", ".bmp", ".ico", ".gif", ".png", ".tif", ".j2k"}) {
        ExpectFailure(Fixture(std::string("absent") + extension), ImgError::OpenFailed);
    }
    for (const double coefficient : {0.0, -1.0}) {
        for (const char* file : {"jpeg/rgb.jpg", "png/rgb.png", "tiff/rgb.tif"}) {
            ExpectFailure(Fixture(file), ImgError::Unknown, coefficient);
        }
    }
}

// Each file of budget/ (see make_budget_fixtures.py) needs more than its budget: the decode
// fails with 8 and no picture is left. The first ones declare a picture past the budget,
// which no report ever carries: were it made, the decode would go on and end with another
// code (0 where one pixel is all there is to read). The others are small pictures at their
// coefficient whose decode holds more (the filter's or the resampler's window of
// 16000-pixel rows, an interlaced PNG held whole before it is reduced, a 16-bit
// strip libtiff decodes whole, the WIC matrices, the area a GIF image saves to give back,
// at three bytes a pixel once the picture has turned 24-bit, a JPEG 2000 picture decoded at
// full size however small it is shown, the coefficients libjpeg keeps of a progressive
// file): each succeeds with `enough` (kUnbounded: no budget).
TEST(DecoderBudget, ADecodeOverTheBudgetFailsWith8BeforeItAllocates) {
    const uint64_t kMiB = 1 << 20, kUnbounded = UINT64_MAX;
    const struct {
        const char* file;
        uint64_t budget;
        double coefficient = 1.0;
        uint64_t enough = 0;  // 0: no picture fits any budget
    } cases[] = {{"huge.jpg", kMiB},
                 {"huge-rle8.bmp", kMiB},
                 {"huge.wic", kMiB},
                 {"huge-screen.gif", kMiB},
                 {"huge.png", kMiB},
                 {"huge.tif", kMiB},
                 {"small.j2k", 256},
                 {"huge-png-entry.ico", kMiB},
                 {"256-bitmap-entry.ico", 64 << 10},
                 {"rle8-16000x1000.bmp", kMiB, 0.01, kUnbounded},
                 {"grey-16000x1000.png", kMiB, 0.01, kUnbounded},  // the resampler's window
                 {"interlaced-2048.png", kMiB, 0.01, kUnbounded},  // every pass, held whole
                 {"deflate16-3000.tif", 32 * kMiB, 0.01, kUnbounded},
                 {"zero-planes-8192.wic", 64 * kMiB, 0.01, kUnbounded},
                 {"dispose-previous.gif", 40 * kMiB, 1.0, kUnbounded},
                 {"dispose-previous-24-bit.gif", 128 * kMiB, 1.0, kUnbounded},
                 // 256 x 256 at 1/8 is 3 KiB; its full-size decode needs more than 64 KiB.
                 {"256.j2k", 64 << 10, 0.125, 4 * kMiB},
                 // 2048 x 2048 in 4:2:0: 12 MiB of coefficients.
                 {"progressive.jpg", 4 * kMiB, 0.01, kUnbounded}};
    std::set<TImgFormat> formats;
    for (const auto& c : cases) {
        const std::string path = Fixture(std::string("budget/") + c.file);
        formats.insert(GetImageFormat(path));
        for (const uint64_t budget : {c.budget, c.enough}) {
            if (budget == 0) {
                continue;
            }
            const std::unique_ptr<TImgCtrl> decoder = CreateImageDecoder(GetImageFormat(path));
            ASSERT_NE(decoder, nullptr) << c.file;
            decoder->SetMemoryBudget(budget == kUnbounded ? std::nullopt
                                                          : std::optional<uint64_t>(budget));
            bool sawPicture = false;
            Log log;
            Decode(*decoder, log, path, c.coefficient, [&](TImgCtrl* sender, const Event&) {
                sawPicture |= sender->Picture() != nullptr;
            });
            const bool fits = budget == c.enough;
            EXPECT_EQ(decoder->ErrorCode(), fits ? 0ul : ImgError::NotEnoughMemory) << c.file;
            EXPECT_EQ(decoder->Picture() != nullptr, fits) << c.file;
            EXPECT_TRUE(!sawPicture || c.enough != 0) << c.file;
        }
    }
    EXPECT_EQ(formats.size(), 8u);  // every format the factory makes a decoder for
}

}  // namespace
