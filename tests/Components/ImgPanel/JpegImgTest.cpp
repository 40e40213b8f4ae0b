// The JPEG decoder against libjpeg's own decode: pixels, sizes, events, colour models,
// failures and stopping.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/JpegImg.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using testjpeg::Picture;
using testjpeg::ScratchDir;

struct Event {
    int from;
    int to;
    TImgEvent event;
};

struct Log {
    std::vector<Event> events;
    std::vector<std::string> errors;
};

// A decoder that records its events and sets the coefficient at the header event, as
// the panel does.
void Watch(TJpegImg& decoder, Log& log, double coefficient) {
    decoder.OnProgress = [&log, coefficient](TImgCtrl* sender, PackedDib, int from, int to,
                                             TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
        log.events.push_back({from, to, e});
    };
    decoder.OnError = [&log](TImgCtrl*, const std::string& text) { log.errors.push_back(text); };
}

// Screen row y (0 = top) of a bottom-up picture.
const uint8_t* ScreenRow(PackedDib dib, int y) {
    return DibBits(dib) + static_cast<size_t>(DibHeight(dib) - 1 - y) * DibRowBytes(dib);
}

double MeanAbsoluteDifference(PackedDib a, PackedDib b) {
    double total = 0;
    for (int y = 0; y < DibHeight(a); ++y) {
        for (int i = 0; i < 3 * DibWidth(a); ++i) {
            total += std::abs(ScreenRow(a, y)[i] - ScreenRow(b, y)[i]);
        }
    }
    return total / (3.0 * DibWidth(a) * DibHeight(a));
}

class JpegDecoder : public ::testing::Test {
  protected:
    ScratchDir dir;

    std::string Write(const std::string& name, const Picture& p, testjpeg::WriteOptions o = {}) {
        const std::string path = dir.File(name);
        testjpeg::WriteJpeg(path, p, o);
        return path;
    }
};

TEST_F(JpegDecoder, FullSizeWithAnEndingKernelIsLibjpegsOwnDecode) {
    const std::string path = Write("detail.jpg", testjpeg::Detailed(203, 117, 7));
    const Picture reference = testjpeg::DecodeReference(path);
    for (uint8_t kind : {1, 3, 9, 10, 11}) {  // kernels that weigh 0 at distance 1
        TJpegImg decoder;
        Log log;
        Watch(decoder, log, 1.0);
        decoder.SetFilterKind(kind);
        decoder.LoadFromFile(path);
        ASSERT_EQ(decoder.ErrorCode(), 0u);
        PackedDib dib = decoder.Picture();
        ASSERT_EQ(DibWidth(dib), 203);
        ASSERT_EQ(DibHeight(dib), 117);
        EXPECT_EQ(dib->biBitCount, 24);
        bool same = true;
        for (int y = 0; y < 117 && same; ++y) {
            same = std::memcmp(ScreenRow(dib, y), reference.At(0, y), 3 * 203) == 0;
        }
        EXPECT_TRUE(same) << "kind " << int(kind);
    }
}

TEST_F(JpegDecoder, OutputSizesFollowTheCoefficient) {
    const std::string path = Write("ramp.jpg", testjpeg::Gradient(1000, 600));
    const struct {
        double coefficient;
        int width, height;
    } cases[] = {// 0.33f is a little above 0.33: 330.00001 + 0.99999 truncates to 331.
                 {1.0, 1000, 600},
                 {0.5, 500, 300},
                 {0.25, 250, 150},
                 {0.1, 100, 60},
                 {0.33, 331, 198}};
    for (const auto& c : cases) {
        for (bool libraryScaling : {true, false}) {
            TJpegImg decoder;
            Log log;
            Watch(decoder, log, c.coefficient);
            decoder.SetLibraryScaling(libraryScaling);
            decoder.LoadFromFile(path);
            ASSERT_EQ(decoder.ErrorCode(), 0u);
            EXPECT_EQ(decoder.Width(), 1000);
            EXPECT_EQ(decoder.Height(), 600);
            EXPECT_EQ(decoder.OutputWidth(), c.width);
            EXPECT_EQ(decoder.OutputHeight(), c.height);
            EXPECT_EQ(DibWidth(decoder.Picture()), c.width) << c.coefficient;
            EXPECT_EQ(DibHeight(decoder.Picture()), c.height) << c.coefficient;
            EXPECT_EQ(decoder.FileName(), path);
        }
    }
}

TEST_F(JpegDecoder, LibraryScalingStopsAtTheLargestReductionStillCoveringTheOutput) {
    const std::string path = Write("ramp.jpg", testjpeg::Gradient(1000, 600));
    const struct {
        double coefficient;
        int denominator;
    } cases[] = {{1.0, 1},  {0.6, 1}, {0.5, 2},   {0.3, 2},
                 {0.25, 4}, {0.2, 4}, {0.125, 8}, {0.05, 8}};
    for (const auto& c : cases) {
        TJpegImg decoder;
        Log log;
        Watch(decoder, log, c.coefficient);
        decoder.LoadFromFile(path);
        EXPECT_EQ(decoder.LibraryScaleDenominator(), c.denominator) << c.coefficient;
    }
}

TEST_F(JpegDecoder, LibraryScalingStaysCloseToTheFullSizePath) {
    const std::string path = Write("photo.jpg", testjpeg::PhotoLike(1200, 800, 3));
    for (double coefficient : {0.4, 0.2, 0.1, 0.049}) {
        TJpegImg fast, full;
        Log a, b;
        Watch(fast, a, coefficient);
        Watch(full, b, coefficient);
        full.SetLibraryScaling(false);
        fast.LoadFromFile(path);
        full.LoadFromFile(path);
        ASSERT_EQ(fast.ErrorCode(), 0u);
        ASSERT_EQ(full.ErrorCode(), 0u);
        ASSERT_GT(fast.LibraryScaleDenominator(), 1);
        EXPECT_LE(MeanAbsoluteDifference(fast.Picture(), full.Picture()), 2.0) << coefficient;
    }
}

TEST_F(JpegDecoder, EventsArriveAsHeaderThenEveryScanlinesRowsThenFinished) {
    const std::string path = Write("ramp.jpg", testjpeg::Gradient(1000, 600));
    TJpegImg decoder;
    Log log;
    Watch(decoder, log, 0.5);
    decoder.LoadFromFile(path);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    std::vector<Event> expected = {{0, 0, TImgEvent::HeaderRead}};
    for (int i = 0; i < 300; i += 20) {
        expected.push_back({std::max(i - 20, 0), i, TImgEvent::RowsDecoded});
    }
    expected.push_back({0, 0, TImgEvent::Finished});
    ASSERT_EQ(log.events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(log.events[i].from, expected[i].from) << i;
        EXPECT_EQ(log.events[i].to, expected[i].to) << i;
        EXPECT_EQ(log.events[i].event, expected[i].event) << i;
    }
    EXPECT_TRUE(log.errors.empty());
}

TEST_F(JpegDecoder, ZeroScanlinesReportEveryRow) {
    const std::string path = Write("small.jpg", testjpeg::Gradient(40, 30));
    TJpegImg decoder;
    Log log;
    Watch(decoder, log, 1.0);
    decoder.SetDisplayScanlines(0);
    decoder.LoadFromFile(path);
    size_t rows = 0;
    for (const Event& e : log.events) {
        rows += e.event == TImgEvent::RowsDecoded;
    }
    EXPECT_EQ(rows, 30u);
}

TEST_F(JpegDecoder, TopRowOfThePictureIsTheFirstScanline) {
    const uint8_t red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
    const std::string path = Write("halves.jpg", testjpeg::Halves(160, 120, red, blue));
    TJpegImg decoder;
    Log log;
    Watch(decoder, log, 0.25);
    decoder.LoadFromFile(path);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    const uint8_t* top = ScreenRow(decoder.Picture(), 0);
    const uint8_t* bottom = ScreenRow(decoder.Picture(), 29);
    EXPECT_GT(top[2], 200);  // red, stored blue-green-red
    EXPECT_LT(top[0], 50);
    EXPECT_GT(bottom[0], 200);
    EXPECT_LT(bottom[2], 50);
}

TEST_F(JpegDecoder, GreyscaleGoesThroughAPaletteIntoGreyPixels) {
    Picture grey = testjpeg::SolidGrey(64, 48, 0);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            *grey.At(x, y) = static_cast<uint8_t>(4 * x);
        }
    }
    const std::string path = Write("grey.jpg", grey);
    TJpegImg decoder;
    Log log;
    Watch(decoder, log, 0.5);
    decoder.LoadFromFile(path);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    EXPECT_EQ(decoder.BitCount(), 8);
    PackedDib dib = decoder.Picture();
    EXPECT_EQ(dib->biBitCount, 24);
    bool neutral = true;
    for (int y = 0; y < DibHeight(dib); ++y) {
        const uint8_t* row = ScreenRow(dib, y);
        for (int x = 0; x < DibWidth(dib); ++x) {
            neutral = neutral && row[3 * x] == row[3 * x + 1] && row[3 * x] == row[3 * x + 2];
        }
    }
    EXPECT_TRUE(neutral);
    const uint8_t* middle = ScreenRow(dib, 12);
    EXPECT_LT(middle[0], 20);        // dark on the left
    EXPECT_GT(middle[3 * 31], 220);  // light on the right
}

TEST_F(JpegDecoder, CmykFilesAreConvertedToColour) {
    // Adobe-style CMYK stores the inks inverted: 255 means no ink.
    Picture cmyk{32, 16, 4, std::vector<uint8_t>(32 * 16 * 4)};
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            uint8_t* px = cmyk.At(x, y);
            const bool red = x < 16;  // red: no cyan; green: no magenta
            px[0] = red ? 255 : 0;
            px[1] = red ? 0 : 255;
            px[2] = 0;
            px[3] = 255;
        }
    }
    const std::string path = Write("cmyk.jpg", cmyk);
    TJpegImg decoder;
    Log log;
    Watch(decoder, log, 1.0);
    decoder.SetFilterKind(3);
    decoder.LoadFromFile(path);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    const uint8_t* row = ScreenRow(decoder.Picture(), 8);
    EXPECT_GT(row[3 * 4 + 2], 220);  // red
    EXPECT_LT(row[3 * 4 + 1], 35);
    EXPECT_GT(row[3 * 27 + 1], 220);  // green
    EXPECT_LT(row[3 * 27 + 2], 35);
}

TEST_F(JpegDecoder, FailuresGiveTheirCodeNoPictureAndOneError) {
    const std::string good = Write("good.jpg", testjpeg::Detailed(300, 200, 1));
    std::vector<uint8_t> bytes = testjpeg::ReadBytes(good);
    const std::string truncated = dir.File("truncated.jpg");
    testjpeg::WriteBytes(truncated,
                         std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
    const std::string headerOnly = dir.File("header.jpg");
    testjpeg::WriteBytes(headerOnly, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10});
    std::vector<uint8_t> garbled = bytes;
    for (size_t i = bytes.size() / 3; i < bytes.size() - 2; i += 7) {
        garbled[i] = 0xFF;  // stray markers in the entropy data
    }
    const std::string corrupt = dir.File("corrupt.jpg");
    testjpeg::WriteBytes(corrupt, garbled);

    const struct {
        std::string path;
        unsigned long code;
        bool headerSeen;
    } cases[] = {{dir.File("missing.jpg"), ImgError::OpenFailed, false},
                 {headerOnly, ImgError::Unknown, false},
                 {truncated, ImgError::Unknown, true},
                 {corrupt, ImgError::Unknown, true}};
    for (const auto& c : cases) {
        TJpegImg decoder;
        Log log;
        Watch(decoder, log, 1.0);
        decoder.LoadFromFile(c.path);
        EXPECT_EQ(decoder.ErrorCode(), c.code) << c.path;
        EXPECT_EQ(decoder.Picture(), nullptr) << c.path;
        ASSERT_EQ(log.errors.size(), 1u) << c.path;
        EXPECT_EQ(log.errors[0], FormatErrorMessage(c.code));
        const bool sawHeader = !log.events.empty() && log.events[0].event == TImgEvent::HeaderRead;
        EXPECT_EQ(sawHeader, c.headerSeen) << c.path;
        for (const Event& e : log.events) {
            EXPECT_NE(e.event, TImgEvent::Finished) << c.path;
        }
    }
}

TEST_F(JpegDecoder, EveryCutOfTheFileFailsCleanlyOrDecodes) {
    for (bool progressive : {false, true}) {
        const std::string good =
            Write("cut-source.jpg", testjpeg::Detailed(120, 90, 9), {85, progressive});
        const std::vector<uint8_t> bytes = testjpeg::ReadBytes(good);
        const std::string cut = dir.File("cut.jpg");
        for (size_t length = 0; length + 2 < bytes.size(); length += 1 + bytes.size() / 60) {
            testjpeg::WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + length));
            TJpegImg decoder;
            Log log;
            Watch(decoder, log, 0.5);
            decoder.LoadFromFile(cut);
            // Only the missing end marker may be forgiven; anything shorter fails.
            EXPECT_EQ(decoder.ErrorCode(), ImgError::Unknown) << length << " of " << bytes.size();
            EXPECT_EQ(decoder.Picture(), nullptr);
            EXPECT_EQ(log.errors.size(), 1u);
        }
    }
}

TEST_F(JpegDecoder, UnusableCoefficientFailsWithUnknownError) {
    const std::string path = Write("small.jpg", testjpeg::Gradient(40, 30));
    for (double coefficient : {0.0, -1.0}) {
        TJpegImg decoder;
        Log log;
        Watch(decoder, log, coefficient);
        decoder.LoadFromFile(path);
        EXPECT_EQ(decoder.ErrorCode(), ImgError::Unknown) << coefficient;
        EXPECT_EQ(decoder.Picture(), nullptr);
    }
}

TEST_F(JpegDecoder, AbortStopsWithNinetyFiveAndNoFurtherRows) {
    for (bool progressive : {false, true}) {
        const std::string path = Write(progressive ? "p.jpg" : "b.jpg",
                                       testjpeg::Detailed(640, 480, 5), {90, progressive});
        // Stopped at the header, before the first row.
        {
            TJpegImg decoder;
            Log log;
            Watch(decoder, log, 0.5);
            auto record = decoder.OnProgress;
            decoder.OnProgress = [record](TImgCtrl* s, PackedDib d, int f, int t, TImgEvent e) {
                record(s, d, f, t, e);
                s->AbortLoading();
            };
            decoder.LoadFromFile(path);
            EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted);
            ASSERT_EQ(log.events.size(), 1u);
            EXPECT_EQ(log.events[0].event, TImgEvent::HeaderRead);
            EXPECT_EQ(decoder.Picture(), nullptr);
            ASSERT_EQ(log.errors.size(), 1u);
        }
        // Stopped after the first strip.
        {
            TJpegImg decoder;
            Log log;
            Watch(decoder, log, 1.0);
            auto record = decoder.OnProgress;
            decoder.OnProgress = [record](TImgCtrl* s, PackedDib d, int f, int t, TImgEvent e) {
                record(s, d, f, t, e);
                if (e == TImgEvent::RowsDecoded && t >= 40) {
                    s->AbortLoading();
                }
            };
            decoder.LoadFromFile(path);
            EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted);
            ASSERT_FALSE(log.events.empty());
            EXPECT_EQ(log.events.back().to, 40);
        }
    }
}

TEST_F(JpegDecoder, OneDecoderDecodesSeveralFilesInTurn) {
    const std::string a = Write("a.jpg", testjpeg::Solid(50, 40, 255, 255, 255));
    const std::string b = Write("b.jpg", testjpeg::Solid(30, 20, 0, 0, 0));
    TJpegImg decoder;
    Log log;
    Watch(decoder, log, 1.0);
    decoder.LoadFromFile(a);
    ASSERT_EQ(DibWidth(decoder.Picture()), 50);
    decoder.LoadFromFile(b);
    EXPECT_EQ(DibWidth(decoder.Picture()), 30);
    EXPECT_EQ(decoder.FileName(), b);
    EXPECT_LT(ScreenRow(decoder.Picture(), 10)[0], 10);
}

TEST(JpegPalette, GreyMapsFillAllThreeColoursFromTheFirstRow) {
    jpeg_decompress_struct info{};
    JSAMPLE grey[3] = {0, 128, 255};
    JSAMPROW map[1] = {grey};
    info.colormap = map;
    info.actual_number_of_colors = 3;
    info.out_color_space = JCS_GRAYSCALE;
    RgbQuad palette[256] = {};
    palette[1].rgbReserved = 7;
    TJpegImg::BuildPalette(&info, palette);
    EXPECT_EQ(palette[1].rgbBlue, 128);
    EXPECT_EQ(palette[1].rgbGreen, 128);
    EXPECT_EQ(palette[1].rgbRed, 128);
    EXPECT_EQ(palette[1].rgbReserved, 7);  // left as it was
    EXPECT_EQ(palette[3].rgbBlue, 0);      // past the colours: untouched

    JSAMPLE b[1] = {10}, g[1] = {20}, r[1] = {30};
    JSAMPROW colour[3] = {b, g, r};
    info.colormap = colour;
    info.actual_number_of_colors = 1;
    info.out_color_space = JCS_RGB;
    TJpegImg::BuildPalette(&info, palette);
    EXPECT_EQ(palette[0].rgbBlue, 10);
    EXPECT_EQ(palette[0].rgbGreen, 20);
    EXPECT_EQ(palette[0].rgbRed, 30);
}

}  // namespace
