#include "Images/J2000/T1Decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Images/J2000/T1Tables.h"
#include "tests/Images/J2000/T1TestEncoder.h"

namespace j2000 {
namespace {

using testing::EncodeCodeBlock;

// The published test sequence's code, written by the test encoder: the encoder stands on its
// own before it checks the decoder's passes.
TEST(T1DecoderTest, TestEncoderWritesThePublishedCode) {
    const std::vector<uint8_t> decisions = {0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0,
                                            0x03, 0x52, 0x87, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA,
                                            0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7, 0x9E, 0xF6,
                                            0xBF, 0x7F, 0xED, 0x90, 0x4F, 0x46, 0xA3, 0xBF};
    const std::vector<uint8_t> code = {0x84, 0xC7, 0x3B, 0xFC, 0xE1, 0xA1, 0x43, 0x04, 0x02, 0x20,
                                       0x00, 0x00, 0x41, 0x0D, 0xBB, 0x86, 0xF4, 0x31, 0x7F, 0xFF,
                                       0x88, 0xFF, 0x37, 0x47, 0x1A, 0xDB, 0x6A, 0xDF};
    testing::MqEncoder encoder(1);
    for (size_t i = 0; i < decisions.size() * 8; ++i) {
        encoder.Encode((decisions[i / 8] >> (7 - i % 8)) & 1, 0);
    }
    const std::vector<uint8_t> written = encoder.Flush();
    ASSERT_GE(written.size(), code.size());
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.begin() + code.size()), code);
}

struct Case {
    int width, height, orient, numbps, style;
};

// Every pass kind, stripe shapes (a last stripe of 1 to 3 rows, one-row and one-column
// blocks), all orientations, the style bits tier 1 reads, and raw passes in the bypass mode.
const Case kCases[] = {{1, 1, 0, 1, 0},      {5, 3, 1, 4, 0},       {4, 4, 2, 6, 0},
                       {7, 13, 3, 8, 0},     {32, 32, 0, 10, 0},    {64, 5, 3, 7, 0x02},
                       {9, 9, 1, 5, 0x04},   {16, 11, 2, 6, 0x08},  {13, 17, 3, 9, 0x20},
                       {1, 40, 0, 3, 0x2E},  {40, 1, 2, 12, 0x0A},  {64, 64, 1, 16, 0x26},
                       {8, 8, 0, 8, 0x01},   {33, 21, 3, 12, 0x01}, {16, 16, 2, 10, 0x03},
                       {12, 9, 1, 11, 0x29}, {20, 20, 0, 13, 0x0D}};

TEST(T1DecoderTest, DecodesWhatTheStandardsPassesEncode) {
    std::mt19937 random(3);
    for (const Case& c : kCases) {
        std::vector<int32_t> values(static_cast<size_t>(c.width) * c.height);
        for (int32_t& v : values) {
            // Mostly small values, so that runs, sparse neighbourhoods and signs all occur.
            const int32_t magnitude = (random() % 4 == 0) ? random() % (1 << c.numbps)
                                                          : random() % (1 << (c.numbps / 2 + 1));
            v = (random() & 1) ? -magnitude : magnitude;
            v = std::clamp(v, -((1 << c.numbps) - 1), (1 << c.numbps) - 1);
        }
        const testing::EncodedBlock block =
            EncodeCodeBlock(values, c.width, c.height, c.orient, c.numbps, c.style);
        std::vector<T1Segment> segments;
        for (const auto& s : block.segments) {
            segments.push_back({s.bytes, s.passno, s.numpasses, s.type});
        }
        T1CodeBlockInfo info{c.width, c.height, c.orient, c.numbps, 0, 0, 0, c.style};
        std::vector<int32_t> decoded(values.size(), 0);
        std::string warnings;
        T1CodeBlockDecoder decoder(info);
        ASSERT_EQ(decoder.Decode(segments, decoded.data(), c.width,
                                 [&](std::string_view text) { warnings += text; }),
                  0);
        EXPECT_EQ(decoded, values) << c.width << "x" << c.height << " style " << c.style;
        EXPECT_EQ(warnings, "");
    }
}

TEST(T1DecoderTest, RawPassesSkipTheStuffedBitAfterAnFFByte) {
    // Magnitudes of all ones make the raw refinement bits run into 0xFF bytes.
    std::vector<int32_t> values(256, 4095);
    for (size_t i = 0; i < values.size(); i += 3)
        values[i] = -4095;
    const auto block = EncodeCodeBlock(values, 16, 16, 0, 12, kStyleBypass);
    std::vector<T1Segment> segments;
    bool sawFF = false;
    for (const auto& s : block.segments) {
        segments.push_back({s.bytes, s.passno, s.numpasses, s.type});
        for (size_t i = 0; s.type == 2 && i + 1 < s.bytes.size(); ++i)
            sawFF |= s.bytes[i] == 0xFF;
    }
    ASSERT_TRUE(sawFF);
    std::vector<int32_t> decoded(values.size(), 0);
    T1CodeBlockDecoder decoder({16, 16, 0, 12, 0, 0, 0, kStyleBypass});
    ASSERT_EQ(decoder.Decode(segments, decoded.data(), 16), 0);
    EXPECT_EQ(decoded, values);
}

TEST(T1DecoderTest, SegmentsArrivingLaterContinueTheBlockAndMissingSymbolsAreReported) {
    std::vector<int32_t> values = {5, -3, 0, 7, 1, 0, -6, 2, 4, 0, 0, -1, 3, 2, -7, 6};
    const auto block = EncodeCodeBlock(values, 4, 4, 0, 3, kStyleTermAll);
    T1CodeBlockDecoder decoder({4, 4, 0, 3, 0, 0, 0, kStyleTermAll});
    std::vector<int32_t> decoded(16, 0);
    for (int p = 0; p < block.passes; ++p) {
        const T1Segment seg{block.segments[p].bytes, p, 1, kSegMq};
        ASSERT_EQ(decoder.Decode({&seg, 1}, decoded.data(), 4), 0);
    }
    EXPECT_EQ(decoded, values);

    // The segmentation-symbol style over a code without symbols warns and decodes on.
    const auto plain = EncodeCodeBlock(values, 4, 4, 0, 3, 0);
    T1CodeBlockDecoder strict({4, 4, 0, 3, 0, 0, 0, kStyleSegmentationSymbols});
    std::string warnings;
    const T1Segment seg{plain.segments[0].bytes, 0, 1, kSegMq};
    EXPECT_EQ(strict.Decode({&seg, 1}, decoded.data(), 4,
                            [&](std::string_view text) { warnings += text; }),
              0);
    EXPECT_EQ(warnings, "warning: bad segmentation symbol\n");
    // A pass below bit-plane 0 is refused, not decoded; the passes before it are written.
    const T1Segment tooMany{plain.segments[0].bytes, 0, plain.passes + 3, kSegMq};
    T1CodeBlockDecoder fresh({4, 4, 0, 3, 0, 0, 0, 0});
    std::vector<int32_t> partial(16, 0);
    EXPECT_EQ(fresh.Decode({&tooMany, 1}, partial.data(), 4), -1);
    EXPECT_EQ(partial, values);
}

}  // namespace
}  // namespace j2000
