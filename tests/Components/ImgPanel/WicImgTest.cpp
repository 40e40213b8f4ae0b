// The WIC decoder on whole files made by the test encoder: pixels, the grey pass before
// the colour pass, sizes, events, refused headers, damaged streams and stopping.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

#include "Components/ImgPanel/ImgErrors.h"
#include "Components/ImgPanel/WicImg.h"
#include "tests/Components/ImgPanel/TestJpeg.h"
#include "tests/Components/ImgPanel/WicTestEncoder.h"

namespace {

struct Event {
    int from, to;
    TImgEvent event;
    bool grey;  // every pixel of the strip had blue = green = red when it was reported
    bool operator==(const Event&) const = default;
};

struct DecodeLog {
    std::vector<Event> events;
    std::vector<std::string> errors;
};

// coefficient < 0: no handler sets one, as with a decoder used outside the panel.
DecodeLog Decode(TWicImg& decoder, const std::string& path, double coefficient,
                 const std::function<void(TImgCtrl*)>& onRows = {}) {
    DecodeLog run;
    decoder.OnProgress = [&](TImgCtrl* sender, PackedDib dib, int from, int to, TImgEvent e) {
        if (e == TImgEvent::HeaderRead && coefficient > 0) {
            sender->SetDisplayCoeff(coefficient);
        }
        const bool grey = e == TImgEvent::RowsDecoded && wictest::RowsAreGrey(dib, from, to);
        run.events.push_back({from, to, e, grey});
        if (e == TImgEvent::RowsDecoded && onRows) {
            onRows(sender);
        }
    };
    decoder.OnError = [&run](TImgCtrl*, const std::string& text) { run.errors.push_back(text); };
    decoder.LoadFromFile(path);
    return run;
}

class WicDecoder : public ::testing::Test {
  protected:
    testjpeg::ScratchDir dir;

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        testjpeg::WriteBytes(dir.File(name), bytes);
        return dir.File(name);
    }
};

TEST_F(WicDecoder, PixelsComeBackWithinTwoLevelsGreyFirstThenInColour) {
    const int width = 61, height = 45;
    const std::vector<uint8_t> rgb = wictest::TestPicture(width, height, true);
    const std::string path =
        Write("p.wic", wictest::EncodeWic(wictest::TransformPicture(rgb, width, height, 3, 4.0f)));
    TWicImg decoder;
    const DecodeLog run = Decode(decoder, path, 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    PackedDib dib = decoder.Picture();
    ASSERT_EQ(DibWidth(dib), width);
    ASSERT_EQ(DibHeight(dib), height);
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = DibBits(dib) + size_t(height - 1 - y) * DibRowBytes(dib);
        for (int x = 0; x < width; ++x) {
            for (int k = 0; k < 3; ++k) {  // blue, green, red against red, green, blue
                worst =
                    std::max(worst, std::abs(row[3 * x + k] - rgb[(y * width + x) * 3 + 2 - k]));
            }
        }
    }
    EXPECT_LE(worst, 2);
    // 45 rows in strips of 20, once grey and once in colour, then one end event.
    const std::vector<Event> want = {
        {0, 0, TImgEvent::HeaderRead, false},    {0, 20, TImgEvent::RowsDecoded, true},
        {20, 40, TImgEvent::RowsDecoded, true},  {40, 45, TImgEvent::RowsDecoded, true},
        {0, 20, TImgEvent::RowsDecoded, false},  {20, 40, TImgEvent::RowsDecoded, false},
        {40, 45, TImgEvent::RowsDecoded, false}, {45, 45, TImgEvent::Finished, false}};
    EXPECT_EQ(run.events, want);
    EXPECT_TRUE(run.errors.empty());
}

TEST_F(WicDecoder, EmptyColourPlanesGiveTheGreyPicture) {
    const std::vector<uint8_t> rgb = wictest::TestPicture(40, 24, false);
    wictest::Coefficients c = wictest::TransformPicture(rgb, 40, 24, 2);
    c.plane[1].assign(c.plane[1].size(), 0);
    c.plane[2].assign(c.plane[2].size(), 0);
    const std::vector<uint8_t> file = wictest::EncodeWic(c);
    ASSERT_EQ(file[22] + file[23], 0);  // no bit planes at all
    TWicImg decoder;
    Decode(decoder, Write("g.wic", file), 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    EXPECT_TRUE(wictest::RowsAreGrey(decoder.Picture(), 0, 23));
}

TEST_F(WicDecoder, OutputSizeFollowsTheCoefficientTheDecoderIsGiven) {
    const std::string path = Write("s.wic", wictest::EncodeWic(wictest::TransformPicture(
                                                wictest::TestPicture(100, 60, false), 100, 60, 2)));
    const struct {
        double coefficient;
        unsigned maxWidth, maxHeight;
        int width, height;
    } cases[] = {
        {0.5, 0, 0, 50, 30},    // the panel's coefficient
        {-1, 0, 0, 100, 60},    // nothing set: full size, not a tenth
        {-1, 25, 100, 25, 15},  // a maximum size: fitted into it
        {3.0, 0, 0, 100, 60},   // never enlarged (the panel draws it larger)
    };
    for (const auto& c : cases) {
        TWicImg decoder;
        decoder.SetMaxDisplaySize(c.maxWidth, c.maxHeight);
        Decode(decoder, path, c.coefficient);
        ASSERT_EQ(decoder.ErrorCode(), 0u) << c.coefficient;
        EXPECT_EQ(DibWidth(decoder.Picture()), c.width) << c.coefficient;
        EXPECT_EQ(DibHeight(decoder.Picture()), c.height) << c.coefficient;
    }
}

TEST_F(WicDecoder, BadHeadersDamagedAndCutStreamsFailWithUnknownError) {
    const std::vector<uint8_t> good = wictest::EncodeWic(
        wictest::TransformPicture(wictest::TestPicture(32, 32, true), 32, 32, 3));
    const auto with = [&good](std::function<void(std::vector<uint8_t>&)> change) {
        std::vector<uint8_t> bytes = good;
        change(bytes);
        return bytes;
    };
    const auto u16 = [](std::vector<uint8_t>& b, int at, int v) {
        b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
    };
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"short header", {0xCE, 0x02, 0x00, 0x00, 0x10}},
        {"no width", with([&](auto& b) { u16(b, 8, 0); })},
        {"no levels", with([](auto& b) { b[20] = 0; })},
        {"16 levels", with([](auto& b) { b[20] = 16; })},
        {"matrix not a multiple of 2^levels", with([&](auto& b) { u16(b, 12, 36); })},
        {"matrix smaller than the picture", with([&](auto& b) { u16(b, 14, 16); })},
        {"31 bit planes", with([](auto& b) { b[22] = 31; })},
        {"zero step", with([](auto& b) { b[16] = b[17] = b[18] = b[19] = 0; })},
        {"matrix past the cap", with([&](auto& b) { u16(b, 12, 65280), u16(b, 14, 65280); })},
        {"bad escape", with([](auto& b) {
             b.insert(b.begin() + 40, {0xFF, 0x07});
         })},
        {"cut in half", with([](auto& b) { b.resize(24 + (b.size() - 24) / 2); })},
    };
    for (const auto& c : cases) {
        TWicImg decoder;
        const DecodeLog run = Decode(decoder, Write("bad.wic", c.bytes), 1.0);
        EXPECT_EQ(decoder.ErrorCode(), ImgError::Unknown) << c.what;
        EXPECT_EQ(decoder.Picture(), nullptr) << c.what;
        EXPECT_EQ(run.errors, std::vector<std::string>{"Unknown error."}) << c.what;
    }
    TWicImg missing;
    Decode(missing, dir.File("missing.wic"), 1.0);
    EXPECT_EQ(missing.ErrorCode(), ImgError::Unknown);
}

TEST_F(WicDecoder, AbortStopsWith995) {
    const std::string path = Write("a.wic", wictest::EncodeWic(wictest::TransformPicture(
                                                wictest::TestPicture(64, 64, true), 64, 64, 3)));
    TWicImg before;  // stopped before it starts: at its first bit plane
    before.AbortLoading();
    EXPECT_TRUE(Decode(before, path, 1.0).errors.size() == 1);
    EXPECT_EQ(before.ErrorCode(), ImgError::Aborted);

    TWicImg during;  // stopped while the grey picture is shown
    const DecodeLog run =
        Decode(during, path, 1.0, [](TImgCtrl* sender) { sender->AbortLoading(); });
    EXPECT_EQ(during.ErrorCode(), ImgError::Aborted);
    EXPECT_EQ(during.Picture(), nullptr);
    ASSERT_EQ(run.events.size(), 2u);  // the header and the first strip, nothing after
    EXPECT_EQ(run.events[1].event, TImgEvent::RowsDecoded);
}

// A regression lock over the decoder's whole output, for changes meant to leave every byte
// as it is (speed work): the pictures, events and error codes of many files at several
// coefficients, as digests taken before such changes. The tests above are the oracles; a
// digest that changes with them has to be taken again, one that changes alone is a fault.
uint64_t Digest(uint64_t digest, const void* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        digest = (digest ^ static_cast<const uint8_t*>(data)[i]) * 1099511628211ULL;
    }
    return digest;
}

uint64_t OutcomeDigest(const std::string& path, double coefficient) {
    TWicImg decoder;
    const DecodeLog run = Decode(decoder, path, coefficient);
    uint64_t digest = 1469598103934665603ULL;
    const uint32_t error = decoder.ErrorCode();
    digest = Digest(digest, &error, sizeof(error));
    for (const Event& e : run.events) {
        const int fields[] = {e.from, e.to, static_cast<int>(e.event), e.grey};
        digest = Digest(digest, fields, sizeof(fields));
    }
    if (PackedDib dib = decoder.Picture()) {
        const int size[] = {DibWidth(dib), DibHeight(dib)};
        digest = Digest(digest, size, sizeof(size));
        for (int y = 0; y < size[1]; ++y) {
            digest = Digest(digest, DibBits(dib) + size_t(y) * DibRowBytes(dib), 3 * size[0]);
        }
    }
    return digest;
}

std::vector<uint8_t> Photo(int width, int height, int levels, bool grain, float step = 1.0f,
                           wictest::EncodeOptions options = {}) {
    return wictest::EncodeWic(wictest::TransformPicture(wictest::TestPicture(width, height, grain),
                                                        width, height, levels, step),
                              options);
}

std::vector<uint8_t> Noise(int width, int height, int levels) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    std::mt19937 rng(9);
    for (uint8_t& v : rgb) {
        v = static_cast<uint8_t>(rng());
    }
    return wictest::EncodeWic(wictest::TransformPicture(rgb, width, height, levels));
}

std::vector<uint8_t> GreyOnly(int width, int height, int levels) {
    wictest::Coefficients c =
        wictest::TransformPicture(wictest::TestPicture(width, height, true), width, height, levels);
    c.plane[1].assign(c.plane[1].size(), 0);
    c.plane[2].assign(c.plane[2].size(), 0);
    return wictest::EncodeWic(c);
}

// The stream cut at `fraction` of its length, with the end escape after it when asked.
std::vector<uint8_t> Cut(std::vector<uint8_t> file, double fraction, bool endEscape) {
    file.resize(24 + static_cast<size_t>((file.size() - 24) * fraction));
    if (endEscape) {
        file.insert(file.end(), {0xFF, 0x02});
    }
    return file;
}

std::vector<uint8_t> Damaged(std::vector<uint8_t> file, bool badEscape) {
    const size_t at = 24 + (file.size() - 24) / 3;
    if (badEscape) {
        file.insert(file.begin() + static_cast<long>(at), {0xFF, 0x07});
    } else {
        for (size_t i = at; i < file.size() - 2; i += 37) {  // no escape made or broken
            if (file[i - 1] != 0xFF && file[i] != 0xFF && (file[i] ^ 0x5A) != 0xFF) {
                file[i] ^= 0x5A;
            }
        }
    }
    return file;
}

TEST_F(WicDecoder, OutputsKeepTheirRecordedDigests) {
    const std::vector<uint8_t> photo = Photo(256, 192, 5, true);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        uint64_t digest;
    } cases[] = {
        {"over 15 bit planes: step 4", Photo(61, 45, 3, true, 4.0f), 0xB10374739082B079ULL},
        {"photo 256x192, 5 levels", photo, 0xFC8726C080B19828ULL},
        {"smooth 257x130, 4 levels", Photo(257, 130, 4, false), 0xE5A653860BA43E55ULL},
        {"photo 640x480, 5 levels", Photo(640, 480, 5, true), 0xBFC78BF145DF553FULL},
        {"one pixel", Photo(1, 1, 1, false), 0xF04D9F2B67BC322BULL},
        {"tall 6x130, 1 level", Photo(6, 130, 1, true), 0x61AD40992C78EBF3ULL},
        {"step 0.75", Photo(96, 80, 3, true, 0.75f), 0x85BDEB17D03198E1ULL},
        {"noise 96x64, 2 levels", Noise(96, 64, 2), 0xEC4EBB8720C33DFDULL},
        {"grey only", GreyOnly(100, 60, 3), 0x82F44477CB7AE68CULL},
        {"luma's last bit plane cut", Photo(128, 96, 4, true, 1.0f, {true}), 0x7E3EB308284C787FULL},
        {"cut at four fifths", Cut(photo, 0.8, false), 0xBE12584D815F2DFDULL},
        {"ended at half", Cut(photo, 0.5, true), 0x1B3F86910AD82CBULL},
        {"ended at a tenth", Cut(photo, 0.1, true), 0xD6FCA25A1D0E5132ULL},
        {"bad escape", Damaged(photo, true), 0x78E87E12EAFC6C6EULL},
        {"bytes changed", Damaged(photo, false), 0x9208B07E96F3AD2ULL},
    };
    const auto digestOf = [](const std::string& path) {
        uint64_t digest = 0;
        for (const double coefficient : {1.0, 0.5, 0.3, 0.137, -1.0}) {
            digest = digest * 31 + OutcomeDigest(path, coefficient);
        }
        return digest;
    };
    for (const auto& c : cases) {
        const uint64_t digest = digestOf(Write("d.wic", c.bytes));
        EXPECT_EQ(digest, c.digest) << c.what << ": 0x" << std::hex << digest;
    }
    std::vector<std::filesystem::path> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(ORVANE_WIC_CORPUS)) {
        seeds.push_back(entry.path());
    }
    std::sort(seeds.begin(), seeds.end());
    uint64_t corpus = 0;
    for (const auto& seed : seeds) {
        corpus = corpus * 31 + digestOf(seed.string());
    }
    EXPECT_EQ(corpus, 0xBD8E0B600DF4844FULL) << "fuzz seeds: 0x" << std::hex << corpus;
}

}  // namespace
