// The JPEG 2000 adapter over codestreams made by opj_compress from synthetic pictures:
// reduced pictures with red in the third byte of each pixel, bit depths and sub-sampling
// brought to 8 bits and full size, grey refused, a missing file, and stops.
#include "Components/ImgPanel/J2000Img.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "Images/J2000/Decoder.h"
#include "tests/Components/ImgPanel/DecoderKit.h"

namespace {

class J2000ImgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v opj_compress >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "opj_compress (libopenjp2-tools) is not installed";
        }
        ASSERT_NE(mkdtemp(dir_), nullptr);
    }
    void TearDown() override { std::system((std::string("rm -rf ") + dir_).c_str()); }

    // A picture whose red rises along x, green along y, blue constant; maxval 255 or 4095.
    std::string Encode(int w, int h, int components, int maxval, const std::string& options) {
        const std::string source = Path(components == 3 ? "in.ppm" : "in.pgm");
        std::ofstream out(source, std::ios::binary);
        out << (components == 3 ? "P6" : "P5") << "\n" << w << " " << h << "\n" << maxval << "\n";
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < components; ++c) {
                    const int v = c == 0   ? x * maxval / (w - 1)
                                  : c == 1 ? y * maxval / (h - 1)
                                           : maxval / 2;
                    if (maxval > 255)
                        out.put(static_cast<char>(v >> 8));
                    out.put(static_cast<char>(v & 0xFF));
                }
        out.close();
        const std::string coded = Path("out.j2k");
        const std::string command =
            "opj_compress -i " + source + " -o " + coded + " " + options + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return coded;
    }
    std::string Path(const std::string& name) const { return std::string(dir_) + "/" + name; }

    char dir_[32] = "/tmp/j2000img-XXXXXX";
};

TEST_F(J2000ImgTest, ReducesTheRgbImageWithRedInTheThirdByte) {
    const std::string file = Encode(512, 512, 3, 255, "");
    TJ2000Img decoder;
    decoderkit::Log log;
    decoderkit::Decode(decoder, log, file, 0.25);
    ASSERT_TRUE(log.errors.empty());
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    EXPECT_EQ(decoder.OutputWidth(), 128);
    EXPECT_EQ(decoder.OutputHeight(), 128);
    for (int p : {0, 40, 127}) {
        const auto bgr = decoderkit::PixelBgr(decoder.Picture(), p, 127 - p);
        EXPECT_NEAR(bgr[2], (4 * p + 1.5) * 255 / 511, 2) << p;          // red follows x
        EXPECT_NEAR(bgr[1], (4 * (127 - p) + 1.5) * 255 / 511, 2) << p;  // green follows y
        EXPECT_NEAR(bgr[0], 127, 1) << p;
    }
    ASSERT_FALSE(log.events.empty());
    EXPECT_GE(log.events[1].from, 0);  // the first row event never starts above the picture
}

TEST_F(J2000ImgTest, DeepAndSubsampledComponentsComeToEightBitsAtFullSize) {
    const std::string deep = Encode(64, 48, 3, 4095, "-n 3");
    TJ2000Img decoder;
    decoderkit::Log log;
    decoderkit::Decode(decoder, log, deep, 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    int wrong = 0;  // coded losslessly: every pixel is its 12-bit value's top 8 bits
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const auto bgr = decoderkit::PixelBgr(decoder.Picture(), x, y);
            wrong += bgr[2] != (x * 4095 / 63) >> 4 || bgr[1] != (y * 4095 / 47) >> 4 ||
                     bgr[0] != 2047 >> 4;
        }
    }
    EXPECT_EQ(wrong, 0);

    // Chroma-style sub-sampling: components 1 and 2 at half size on both axes.
    const std::string raw = Path("sub.raw");
    {
        std::ofstream out(raw, std::ios::binary);
        for (int c = 0; c < 3; ++c) {
            const int w = c == 0 ? 40 : 20, h = c == 0 ? 30 : 15;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    out.put(static_cast<char>(c == 0 ? 200 : 60 * c));
        }
    }
    const std::string coded = Path("sub.j2k");
    ASSERT_EQ(std::system(("opj_compress -i " + raw + " -o " + coded +
                           " -F 40,30,3,8,u@1x1:2x2:2x2 -n 2 -mct 0 >/dev/null 2>&1")
                              .c_str()),
              0);
    TJ2000Img subsampled;
    decoderkit::Log subLog;
    decoderkit::Decode(subsampled, subLog, coded, 1.0);
    ASSERT_EQ(subsampled.ErrorCode(), 0u);
    EXPECT_EQ(subsampled.OutputWidth(), 40);
    const auto corner = decoderkit::PixelBgr(subsampled.Picture(), 39, 29);
    EXPECT_EQ(corner[2], 200);
    EXPECT_EQ(corner[1], 60);
    EXPECT_EQ(corner[0], 120);
}

TEST_F(J2000ImgTest, FailuresAndStopsEndWithTheirCodes) {
    TJ2000Img grey;
    decoderkit::Log log;
    decoderkit::Decode(grey, log, Encode(32, 32, 1, 255, "-n 2"), 1.0);
    EXPECT_EQ(grey.ErrorCode(), 3000u);
    EXPECT_EQ(grey.Picture(), nullptr);

    TJ2000Img missing;
    decoderkit::Decode(missing, log, Path("none.j2k"), 1.0);
    EXPECT_EQ(missing.ErrorCode(), 110u);

    // A stop asked for while the codestream is decoded ends as a stop, not an error.
    const std::string file = Encode(256, 256, 3, 255, "");
    TJ2000Img stopped;
    decoderkit::Log stopLog;
    stopped.AbortLoading();
    decoderkit::Decode(stopped, stopLog, file, 1.0);
    EXPECT_EQ(stopped.ErrorCode(), 995u);
    EXPECT_EQ(stopped.Picture(), nullptr);

    j2000::jpc_cancel_t none;
    EXPECT_EQ(TJ2000Img::IsAbortSignaled(&none), 0);
}

}  // namespace
