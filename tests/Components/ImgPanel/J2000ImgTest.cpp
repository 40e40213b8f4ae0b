// The JPEG 2000 adapter over codestreams made by opj_compress from synthetic pictures: a
// file cut short, a stop during tier 1; and over codestreams written from scratch, the
// refusals made before any tile is decoded. Colours, deep and sub-sampled components,
// events and stops are in the decoders' shared tables.
#include "Components/ImgPanel/J2000Img.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Components/ImgPanel/ImgErrors.h"
#include "tests/Components/ImgPanel/DecoderKit.h"
#include "tests/Components/ImgPanel/TestJpeg.h"
#include "tests/Images/J2000/CodestreamEdit.h"

namespace {

class J2000ImgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v opj_compress >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "opj_compress (libopenjp2-tools) is not installed";
        }
    }

    // A w x h picture of sample(x, y, c) coded by opj_compress with the options given.
    std::string Encode(int w, int h, const std::function<uint8_t(int, int, int)>& sample,
                       const std::string& options) {
        std::vector<uint8_t> ppm;
        const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        ppm.assign(header.begin(), header.end());
        for (int i = 0; i < w * h * 3; ++i) {
            ppm.push_back(sample(i / 3 % w, i / 3 / w, i % 3));
        }
        testjpeg::WriteBytes(dir.File("in.ppm"), ppm);
        const std::string command = "opj_compress -i " + dir.File("in.ppm") + " -o " +
                                    dir.File("out.j2k") + " " + options + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return dir.File("out.j2k");
    }

    testjpeg::ScratchDir dir;
};

// 90 % of a lossless three-layer picture (red along x, green along y): the last packets are
// missing, the picture is shown.
TEST_F(J2000ImgTest, AFileCutShortShowsWhatArrived) {
    const auto ramps = [](int x, int y, int c) {
        return uint8_t(c == 0 ? x * 255 / 639 : c == 1 ? y * 255 / 479 : 127);
    };
    std::vector<uint8_t> bytes = testjpeg::ReadBytes(Encode(640, 480, ramps, "-r 20,5,1"));
    bytes.resize(bytes.size() * 9 / 10);
    testjpeg::WriteBytes(dir.File("cut.j2k"), bytes);
    TJ2000Img decoder;
    decoderkit::Log log;
    decoderkit::Decode(decoder, log, dir.File("cut.j2k"), 1.0);
    ASSERT_EQ(decoder.ErrorCode(), 0u);
    for (const auto& [x, y] : {std::pair{0, 0}, {320, 240}, {639, 479}}) {
        const auto bgr = decoderkit::PixelBgr(decoder.Picture(), x, y);
        EXPECT_NEAR(bgr[2], x * 255 / 639, 8) << x;
        EXPECT_NEAR(bgr[1], y * 255 / 479, 8) << y;
    }
}

// How long a whole decode of `path` at `coefficient` takes (ending with `wholeCode`), and the
// quickest of up to five stops asked `askedAt` of that into a decode: a busy machine can
// stretch one stop, but a decode that does not look at the stop never ends early. A decode
// that ends by itself before its stop is asked (the first decode was slowed down) is no try,
// and becomes the measure of the whole.
struct StopTiming {
    std::chrono::steady_clock::duration whole, bestStop;
};

StopTiming TimeStops(const std::string& path, double coefficient, unsigned long wholeCode,
                     double askedAt) {
    using Clock = std::chrono::steady_clock;
    const auto decode = [&](TJ2000Img& decoder) {
        decoderkit::Log log;
        decoderkit::Decode(decoder, log, path, coefficient);
    };
    TJ2000Img whole;
    const Clock::time_point start = Clock::now();
    decode(whole);
    StopTiming timing{Clock::now() - start, Clock::duration::max()};
    EXPECT_EQ(whole.ErrorCode(), wholeCode);
    for (int attempt = 0; attempt < 5 && timing.bestStop >= timing.whole / 4; ++attempt) {
        TJ2000Img stopped;
        const Clock::time_point began = Clock::now();
        Clock::time_point ended;
        std::thread loader([&] {
            decode(stopped);
            ended = Clock::now();
        });
        std::this_thread::sleep_for(
            std::chrono::duration_cast<Clock::duration>(timing.whole * askedAt));
        const Clock::time_point asked = Clock::now();
        stopped.AbortLoading();
        loader.join();
        if (ended <= asked) {
            timing.whole = std::min(timing.whole, ended - began);
            continue;
        }
        timing.bestStop = std::min(timing.bestStop, ended - asked);
        EXPECT_EQ(stopped.ErrorCode(), ImgError::Aborted);
    }
    EXPECT_NE(timing.bestStop, Clock::duration::max()) << "every decode ended before its stop";
    return timing;
}

// A stop asked for while tier 1 decodes lands at the next code-block: long before the decode
// of a noise picture (nearly all tier 1) could end by itself.
TEST_F(J2000ImgTest, AStopDuringTierOneLandsAtOnce) {
    unsigned noise = 1;
    const std::string coded = Encode(
        1024, 1024,
        [&noise](int, int, int) { return uint8_t((noise = noise * 1103515245 + 12345) >> 16); },
        "");
    const StopTiming timing = TimeStops(coded, 0.25, 0, 0.25);
    EXPECT_LT(timing.bestStop, timing.whole / 4);
}

// A codestream of `picture`, its components sub-sampled `sub` times each way, with one tile-part
// of one empty packet for tile `tileno`, and another for tile `nexttile` when it is given.
std::string WriteStream(const std::string& path, const j2000test::HeaderSpec& picture,
                        std::uint16_t tileno, std::uint8_t sub = 1, int nexttile = -1) {
    j2000test::Codestream cs;
    cs.main = j2000test::main_header(picture);
    for (int c = 0; c < picture.comps; ++c) {  // XRsiz and YRsiz
        cs.main[0].body[37 + 3 * c] = cs.main[0].body[38 + 3 * c] = sub;
    }
    cs.parts.push_back({tileno, 0, 1, false, {}, {0}, 0});
    if (nexttile >= 0) {
        cs.parts.push_back({static_cast<std::uint16_t>(nexttile), 0, 1, false, {}, {0}, 0});
    }
    testjpeg::WriteBytes(path, cs.serialise());
    return path;
}

// A stop lands at once whatever the decoder is doing, in streams that spend nearly all their
// time in one stage: the packet iterator's walk (9360 progression changes over the 65536
// precincts of component 0, whose packets all came already: each change looks for a precinct
// still due), and the synthesis of three 16-bit 9/7 components of 3000 x 3000 from one coded
// block. At a coefficient that leaves no picture the load ends with 3000 once the decode is
// done, before the picture would be made, so the whole load is the decode. Each stop is asked
// within its stage: the walk follows the 65536 packets of the first change and takes the last
// three quarters of the decode, the synthesis on every core about its second and third fifths.
// (Whether the synthesis itself asks is told on one thread, by the decoder's thread tests.)
TEST(J2000Img, AStopDuringTheWalkOrTheSynthesisLandsAtOnce) {
    const testjpeg::ScratchDir dir;
    // Comments buy the synthesis its work: a stream this short may not make so many samples.
    const j2000test::Codestream walk = j2000test::iterator_walk_stream();
    const j2000test::Codestream synthesis = j2000test::synthesis_stream(3000, 3, 2);
    const struct {
        const char* stage;
        j2000test::Codestream stream;
        double askedAt;  // of the whole decode's time
    } cases[] = {{"walk", walk, 0.5}, {"synthesis", synthesis, 0.4}};
    for (const auto& c : cases) {
        const std::string path = dir.File(std::string(c.stage) + ".j2k");
        testjpeg::WriteBytes(path, c.stream.serialise());
        const StopTiming timing = TimeStops(path, 0.0, ImgError::Unknown, c.askedAt);
        EXPECT_LT(timing.bestStop, timing.whole / 4) << c.stage;
    }
}

// Grey and four-component pictures are refused as soon as the main header names them, before
// the broken tile-part that follows (of a tile that does not exist) is read; a stream asking
// for more memory than its bytes justify (precincts of 2 x 2 over three 8192 x 8192
// components) is a want of resources, and so is one whose picture would cost more than its
// bytes justify (components of 33 x 33 samples stretched over 8192 x 8192 pixels), also when a
// broken tile-part (of a tile that does not exist) ends the decode after a tile was finished.
TEST(J2000Img, RefusalsComeBeforeTheTilesWithTheirCodes) {
    const testjpeg::ScratchDir dir;
    const std::string path = dir.File("in.j2k");
    const struct {
        j2000test::HeaderSpec picture;
        std::uint16_t tileno;
        unsigned long code;
        std::uint8_t sub = 1;
        double coefficient = 1.0;
        int nexttile = -1;
    } cases[] = {
        {{.comps = 1}, 7, ImgError::Unknown},
        {{.comps = 4}, 7, ImgError::Unknown},
        {{.width = 8192, .height = 8192, .comps = 3, .levels = 9, .cblk = 2, .prc = 1},
         0,
         ImgError::NotEnoughMemory},
        {{.width = 8192, .height = 8192, .comps = 3}, 0, ImgError::NotEnoughMemory, 255, 0.01},
        {{.width = 8192, .height = 8192, .tilewidth = 4096, .tileheight = 4096, .comps = 3},
         0,
         ImgError::NotEnoughMemory,
         255,
         0.01,
         7},
    };
    for (const auto& c : cases) {
        TJ2000Img decoder;
        decoderkit::Log log;
        decoderkit::Decode(decoder, log, WriteStream(path, c.picture, c.tileno, c.sub, c.nexttile),
                           c.coefficient);
        EXPECT_EQ(decoder.ErrorCode(), c.code) << c.picture.comps;
        EXPECT_EQ(decoder.Picture(), nullptr);
    }
}

}  // namespace
