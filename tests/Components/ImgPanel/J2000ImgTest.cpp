// The JPEG 2000 adapter over codestreams made by opj_compress from synthetic pictures: bit
// depths and sub-sampling brought to 8 bits and full size, a file cut short, a stop during
// tier 1; and over codestreams written from scratch, the refusals made before any tile is
// decoded. Colours, events and stops are in the decoders' shared tables.
#include "Components/ImgPanel/J2000Img.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "Components/ImgPanel/ImgErrors.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Images/J2000/CodestreamEdit.h"

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

// 90 % of a lossless three-layer picture: the last packets are missing, the picture is shown.
TEST_F(J2000ImgTest, AFileCutShortShowsWhatArrived) {
    const std::string whole = Encode(640, 480, 3, 255, "-r 20,5,1");
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const std::string cut = Path("cut.j2k");
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 9 / 10);
    TJ2000Img decoder;
    decoderkit::Log log;
    decoderkit::Decode(decoder, log, cut, 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    for (const auto& [x, y] : {std::pair{0, 0}, {320, 240}, {639, 479}}) {
        const auto bgr = decoderkit::PixelBgr(decoder.Picture(), x, y);
        EXPECT_NEAR(bgr[2], x * 255 / 639, 8) << x;
        EXPECT_NEAR(bgr[1], y * 255 / 479, 8) << y;
    }
}

// A stop asked for while tier 1 decodes lands at the next code-block: long before the decode
// of a noise picture (nearly all tier 1) could end by itself.
TEST_F(J2000ImgTest, AStopDuringTierOneLandsAtOnce) {
    const std::string source = Path("noise.ppm"), coded = Path("noise.j2k");
    {
        std::ofstream out(source, std::ios::binary);
        out << "P6\n1024 1024\n255\n";
        unsigned noise = 1;
        for (int i = 0; i < 1024 * 1024 * 3; ++i)
            out.put(static_cast<char>((noise = noise * 1103515245 + 12345) >> 16));
    }
    ASSERT_EQ(std::system(("opj_compress -i " + source + " -o " + coded + " >/dev/null").c_str()),
              0);
    using Clock = std::chrono::steady_clock;
    auto decode = [&coded](TJ2000Img& decoder) {
        decoderkit::Log log;
        decoderkit::Decode(decoder, log, coded, 0.25);
    };
    TJ2000Img whole;
    const Clock::time_point start = Clock::now();
    decode(whole);
    const Clock::duration full = Clock::now() - start;
    ASSERT_EQ(whole.ErrorCode(), 0u);
    TJ2000Img stopped;
    std::thread loader([&] { decode(stopped); });
    std::this_thread::sleep_for(full / 4);
    const Clock::time_point asked = Clock::now();
    stopped.AbortLoading();
    loader.join();
    EXPECT_EQ(stopped.ErrorCode(), ImgError::Aborted);
    EXPECT_LT(Clock::now() - asked, full / 4);
}

// A codestream of `picture` with one tile-part of one empty packet for tile `tileno`.
std::string WriteStream(const std::string& path, const j2000test::HeaderSpec& picture,
                        std::uint16_t tileno) {
    j2000test::Codestream cs;
    cs.main = j2000test::main_header(picture);
    cs.parts.push_back({tileno, 0, 1, false, {}, {0}, 0});
    const j2000test::Bytes bytes = cs.serialise();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    return path;
}

// Grey and four-component pictures are refused as soon as the main header names them, before
// the broken tile-part that follows (of a tile that does not exist) is read; a stream asking
// for more memory than its bytes justify (precincts of 2 x 2 over three 8192 x 8192
// components) is a want of resources.
TEST(J2000Img, RefusalsComeBeforeTheTilesWithTheirCodes) {
    char dir[] = "/tmp/j2000img-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/in.j2k";
    const struct {
        j2000test::HeaderSpec picture;
        std::uint16_t tileno;
        unsigned long code;
    } cases[] = {
        {{.comps = 1}, 7, ImgError::Unknown},
        {{.comps = 4}, 7, ImgError::Unknown},
        {{.width = 8192, .height = 8192, .comps = 3, .levels = 9, .cblk = 2, .prc = 1},
         0,
         ImgError::NotEnoughMemory},
    };
    for (const auto& c : cases) {
        TJ2000Img decoder;
        decoderkit::Log log;
        decoderkit::Decode(decoder, log, WriteStream(path, c.picture, c.tileno), 1.0);
        EXPECT_EQ(decoder.ErrorCode(), c.code) << c.picture.comps;
        EXPECT_EQ(decoder.Picture(), nullptr);
    }
    std::system((std::string("rm -rf ") + dir).c_str());
}

}  // namespace
