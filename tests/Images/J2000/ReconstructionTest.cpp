// Reconstruction: dequantisation and rounding on their own, then whole codestreams made by
// opj_compress from synthetic pictures decoded back: reversible streams bit-exactly, across
// sizes, offsets, levels, code-block sizes, tiles, coding styles and a region of interest;
// irreversible ones close to their source.
#include "Images/J2000/Reconstruction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>

#include "Images/J2000/Decoder.h"
#include "tests/Images/J2000/ReferencePictures.h"

namespace j2000 {
namespace {

using j2000test::EncodeWithReference;
using j2000test::HaveReferenceTools;
using j2000test::MakePicture;
using j2000test::Picture;

TEST(ReconstructionTest, DequantisationRoundsOnceAndRoundingTakesHalvesTowardZero) {
    // Step 2^(8 - 8) x (1 + 0/2048) = 1: (v + 1/2) in 14 fraction bits.
    EXPECT_EQ(DequantiseCoefficient(3, 8, 0, 8, 14, 1), (3 * 2 + 1) << 13);
    EXPECT_EQ(DequantiseCoefficient(-3, 8, 0, 8, 14, 1), -((3 * 2 + 1) << 13));
    EXPECT_EQ(DequantiseCoefficient(0, 8, 1000, 8, 14, 1), 0);
    // A fine step keeps its whole mantissa: 2^(8 - 14) x (1 + 2047/2048) x 5.5.
    const double fine = std::ldexp(1 + 2047.0 / 2048, 8 - 14) * 5.5 * 16384;
    EXPECT_NEAR(DequantiseCoefficient(5, 14, 2047, 8, 14, 1), fine, 0.5);
    EXPECT_EQ(RoundFixed(8192, 14), 0);
    EXPECT_EQ(RoundFixed(8193, 14), 1);
    EXPECT_EQ(RoundFixed(-8192, 14), 0);
    EXPECT_EQ(RoundFixed(-8193, 14), -1);
}

// Coefficients of every size and both signs, one per row, so that each takes the 32-bit loop
// or the 64-bit fallback on its own.
std::vector<int32_t> ValuesOfEverySize() {
    std::mt19937 random(5);
    std::vector<int32_t> values = {0, std::numeric_limits<int32_t>::min()};
    for (int bits = 1; bits <= 31; ++bits)
        for (int k = 0; k < 6; ++k) {
            const auto v = static_cast<int32_t>(random() >> (32 - bits));
            values.push_back(k & 1 ? -v : v);
        }
    return values;
}

// The half step goes to the coefficients tier 1 decoded down to bit-plane 0: all of a block
// that ended there after its refinement or cleanup pass, none of one that stopped higher, and
// only the magnitude-1 ones (just found significant) after a last significance pass.
TEST(ReconstructionTest, VectorisedScalingGivesTheValuesOfTheWideArithmetic) {
    const std::vector<int32_t> values = ValuesOfEverySize();
    const CodeBlockDepth depths[] = {{0, false}, {2, false}, {0, true}};
    for (int exponent : {0, 5, 9, 14, 22, 31})
        for (int mantissa : {0, 1234, 2047})
            for (int fraction : {0, 6, 14})
                for (const CodeBlockDepth& depth : depths) {
                    jpc_dec_band_t band;
                    band.stepsize = static_cast<uint16_t>(exponent << 11 | mantissa);
                    band.analgain = 2;
                    std::vector<int32_t> column = values;
                    BandScaling(band, 12, false, fraction)
                        .Apply(column.data(), 1, 1, static_cast<int>(column.size()), depth);
                    for (size_t i = 0; i < values.size(); ++i) {
                        const int half = depth.lastPlane > 0 ? 0
                                         : !depth.endsWithSignificancePass
                                             ? 1
                                             : values[i] == 1 || values[i] == -1;
                        ASSERT_EQ(column[i], DequantiseCoefficient(values[i], exponent, mantissa,
                                                                   14, fraction, half))
                            << values[i] << " step " << exponent << "," << mantissa;
                    }
                }
    for (int fraction : {0, 6, 14})
        for (int prec : {1, 8, 12, 16})
            for (bool sgnd : {false, true}) {
                std::vector<int32_t> samples = values;
                ToSamples(samples.data(), samples.size(), SampleRange(prec, sgnd, fraction));
                const int64_t dc = sgnd ? 0 : int64_t{1} << (prec - 1);
                for (size_t i = 0; i < values.size(); ++i)
                    ASSERT_EQ(samples[i], std::clamp<int64_t>(RoundFixed(values[i], fraction) + dc,
                                                              dc - (int64_t{1} << (prec - 1)),
                                                              dc + (int64_t{1} << (prec - 1)) - 1));
            }
}

struct Case {
    int width, height, components, bits;
    const char* options;
    bool lossless;
};

const Case kCases[] = {
    {1, 1, 1, 8, "-n 1", true},
    {2, 3, 3, 8, "-n 2", true},
    {67, 45, 3, 8, "", true},
    {67, 45, 3, 8, "-n 1 -mct 0", true},
    {64, 64, 1, 8, "-n 6 -b 4,4", true},
    {130, 97, 3, 8, "-b 16,16 -t 32,32", true},
    {75, 50, 1, 8, "-d 3,5 -t 24,20 -T 1,2 -n 3", true},
    {80, 60, 3, 8, "-M 63 -b 16,16", true},
    {80, 60, 1, 8, "-M 1 -n 4", true},
    {80, 60, 1, 8, "-M 8 -b 8,8", true},
    {90, 70, 3, 8, "-p RPCL -c [32,32],[16,16] -SOP -EPH -r 20,5,1", true},
    {60, 40, 3, 8, "-ROI c=0,U=4", true},
    // A region shift in code-blocks coded with the bypass: opj_decompress's samples are off.
    {90, 70, 1, 8, "-M 45 -ROI c=0,U=13 -r 63,5,1", true},
    {33, 21, 1, 12, "-n 3", true},
    {40, 30, 1, 16, "-n 2", true},
    {67, 45, 3, 8, "-I", false},
    {100, 77, 3, 8, "-I -n 4 -b 8,8 -t 40,40", false},
    {33, 21, 1, 12, "-I -n 3", false},
};

// Decodes a codestream with the full decoder, tier 1 and reconstruction included.
ImagePtr DecodeFile(const std::string& path, std::string& texts) {
    StreamPtr in = stream_fopen(path.c_str(), "rb");
    if (!in)
        return nullptr;
    DecodeEnv env;
    env.diag = Diagnostics([&texts](const std::string& t) { texts += t; });
    env.decodetile = jpc_dec_tiledecode;
    DecodeResult result = jpc_decode(*in, nullptr, nullptr, env);
    return result.status == DecodeStatus::Ok ? std::move(result.image) : nullptr;
}

TEST(ReconstructionTest, CodestreamsFromTheReferenceEncoderDecodeBack) {
    if (!HaveReferenceTools()) {
        GTEST_SKIP() << "opj_compress (libopenjp2-tools) is not installed";
    }
    char dir[] = "/tmp/j2k-rtXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + c.options);
        const Picture picture = MakePicture(c.width, c.height, c.components, c.bits);
        const std::string coded = std::string(dir) + "/out.j2k";
        ASSERT_TRUE(EncodeWithReference(picture, dir, c.options, coded));
        std::string texts;
        ImagePtr image = DecodeFile(coded, texts);
        ASSERT_TRUE(image) << texts;
        ASSERT_EQ(image->numcmpts, c.components);
        double squares = 0;
        int worst = 0;
        for (int k = 0; k < c.components; ++k) {
            std::vector<int32_t> out;
            ASSERT_EQ(image_readcmpt(*image, k, 0, 0, c.width, c.height, out), 0);
            for (size_t i = 0; i < out.size(); ++i) {
                const int d = out[i] - picture.planes[k][i];
                squares += double(d) * d;
                worst = std::max(worst, std::abs(d));
            }
        }
        if (c.lossless) {
            EXPECT_EQ(worst, 0);
        } else {
            const double top = (1 << c.bits) - 1;
            const double mse = squares / (double(c.width) * c.height * c.components);
            EXPECT_GE(10 * std::log10(top * top / std::max(mse, 1e-9)), 45.0);
        }
    }
    std::system((std::string("rm -rf ") + dir).c_str());
}

// Full-range checkerboards, impulses and steps (one per component, no component transform) at
// every precision and level count, coded by the reference encoder: lossless streams must give
// the source back, irreversible ones must come no farther from it than the reference decoder
// does, nor by more than 1. The encoder codes nothing below 8 bits, so a lossless picture of p
// < 8 bits is coded as 8-bit samples moved by 128 - 2^(p-1) (its level-shifted values are the
// same) and p is written into the SIZ; an irreversible one cannot be, its steps hang on the
// precision (the wavelet test covers those precisions).
// Component k that the reference decoder wrote for `prefix`.pgx: a header line, then the
// samples big-endian.
std::vector<int> ReadReferencePgx(const std::string& prefix, int k, int bytesPerSample) {
    std::ifstream in(prefix + "_" + std::to_string(k) + ".pgx", std::ios::binary);
    std::string header;
    std::getline(in, header);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<int> samples;
    for (size_t i = 0; i + bytesPerSample <= bytes.size(); i += bytesPerSample)
        samples.push_back(bytesPerSample == 2 ? bytes[i] << 8 | bytes[i + 1] : bytes[i]);
    return samples;
}

Picture HighContrastPicture(int bits) {
    constexpr int kSide = 32;
    Picture p{kSide, kSide, 3, bits, {}};
    const int top = (1 << bits) - 1;
    for (int c = 0; c < 3; ++c) {
        std::vector<int> plane;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const bool on = c == 0   ? ((x + y) & 1) != 0
                                : c == 1 ? x % 7 == 3 && y % 5 == 2
                                         : x >= kSide / 2;
                plane.push_back(on ? top : 0);
            }
        p.planes.push_back(std::move(plane));
    }
    return p;
}

TEST(ReconstructionTest, HighContrastPicturesAtEveryPrecisionAndLevelCount) {
    if (!HaveReferenceTools()) {
        GTEST_SKIP() << "opj_compress/opj_decompress (libopenjp2-tools) are not installed";
    }
    char dir[] = "/tmp/j2k-hcXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string coded = std::string(dir) + "/o.j2k", ref = std::string(dir) + "/ref";
    for (int bits = 1; bits <= 16; ++bits)
        for (int levels = 0; levels <= 5; ++levels)
            for (const bool irreversible : {false, true}) {
                if (irreversible && bits < 8)
                    continue;
                SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(levels) +
                             (irreversible ? " levels, 9/7" : " levels, 5/3"));
                const Picture picture = HighContrastPicture(bits);
                Picture written = picture;
                if (bits < 8) {
                    written.bits = 8;
                    for (auto& plane : written.planes)
                        for (int& v : plane)
                            v += 128 - (1 << (bits - 1));
                }
                const std::string options =
                    "-mct 0 -n " + std::to_string(levels + 1) + (irreversible ? " -I" : "");
                ASSERT_TRUE(EncodeWithReference(written, dir, options, coded));
                if (bits < 8) {
                    std::fstream stream(coded, std::ios::in | std::ios::out | std::ios::binary);
                    for (int c = 0; c < 3; ++c)  // Ssiz of component c, SIZ following SOC
                        stream.seekp(42 + 3 * c).put(static_cast<char>(bits - 1));
                }
                std::string texts;
                ImagePtr image = DecodeFile(coded, texts);
                ASSERT_TRUE(image) << texts;
                const std::string decode =
                    "opj_decompress -i " + coded + " -o " + ref + ".pgx >/dev/null 2>&1";
                if (irreversible) {
                    ASSERT_EQ(std::system(decode.c_str()), 0);
                }
                for (int k = 0; k < 3; ++k) {
                    std::vector<int32_t> out;
                    ASSERT_EQ(image_readcmpt(*image, k, 0, 0, 32, 32, out), 0);
                    const std::vector<int> reference =
                        irreversible ? ReadReferencePgx(ref, k, bits > 8 ? 2 : 1) : out;
                    ASSERT_EQ(reference.size(), out.size());
                    int ours = 0, theirs = 0;
                    for (size_t i = 0; i < out.size(); ++i) {
                        ours = std::max(ours, std::abs(out[i] - picture.planes[k][i]));
                        theirs = std::max(theirs, std::abs(reference[i] - picture.planes[k][i]));
                    }
                    EXPECT_LE(ours, irreversible ? std::max(1, theirs) : 0) << "component " << k;
                }
            }
    std::system((std::string("rm -rf ") + dir).c_str());
}

}  // namespace
}  // namespace j2000
