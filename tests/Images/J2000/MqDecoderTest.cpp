#include "Images/J2000/MqDecoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "Images/J2000/T1Tables.h"

namespace j2000 {
namespace {

// The published test sequence of the MQ coder (the same coder serves JBIG2 and JPEG 2000):
// 256 decisions in one context that starts at state 0, MPS 0, and the bytes they encode to.
const std::vector<uint8_t> kDecisions = {
    0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0, 0x03, 0x52, 0x87, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA,
    0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7, 0x9E, 0xF6, 0xBF, 0x7F, 0xED, 0x90, 0x4F, 0x46, 0xA3, 0xBF};
const std::vector<uint8_t> kCode = {0x84, 0xC7, 0x3B, 0xFC, 0xE1, 0xA1, 0x43, 0x04, 0x02, 0x20,
                                    0x00, 0x00, 0x41, 0x0D, 0xBB, 0x86, 0xF4, 0x31, 0x7F, 0xFF,
                                    0x88, 0xFF, 0x37, 0x47, 0x1A, 0xDB, 0x6A, 0xDF, 0xFF, 0xAC};

TEST(MqDecoderTest, DecodesThePublishedTestSequence) {
    auto dec = mqdec_create(1);
    ASSERT_TRUE(dec);
    dec->setinput(kCode);
    dec->init();
    for (size_t i = 0; i < kDecisions.size() * 8; ++i) {
        const int expected = (kDecisions[i / 8] >> (7 - i % 8)) & 1;
        ASSERT_EQ(dec->decode(0), expected) << "decision " << i;
    }
}

TEST(MqDecoderTest, MarkersAndTheEndOfASegmentReadAsOneBits) {
    auto dec = mqdec_create(1);
    const std::vector<uint8_t> zeros(4, 0x00);
    dec->setinput(zeros);
    dec->init();
    EXPECT_EQ(dec->a(), 0x8000u);
    EXPECT_EQ(dec->ct(), 1);

    // An empty segment and one cut by a marker decode the same decisions: 1-bits throughout.
    auto decodeAll = [&](std::vector<uint8_t> bytes) {
        dec->setctxs({});
        dec->setinput(bytes);
        dec->init();
        std::vector<int> out;
        for (int i = 0; i < 64; ++i)
            out.push_back(dec->decode(0));
        return out;
    };
    const auto empty = decodeAll({});
    EXPECT_TRUE(dec->eof());
    EXPECT_EQ(decodeAll({0xFF, 0x90, 0x12, 0x34}), empty);
    EXPECT_EQ(decodeAll({0xFF, 0xFF}), empty);
    // A segment cut anywhere, even right after an 0xFF byte, decodes as if a marker followed:
    // 1-bits from there on, and nothing behind the marker is read.
    auto decodeLong = [&](std::vector<uint8_t> bytes) {
        dec->setctxs({});
        dec->setinput(bytes);
        dec->init();
        std::vector<int> out;
        for (size_t i = 0; i < kDecisions.size() * 8; ++i)
            out.push_back(dec->decode(0));
        return out;
    };
    for (const size_t cut : {size_t{12}, size_t{20}}) {
        std::vector<uint8_t> bytes(kCode.begin(), kCode.begin() + static_cast<ptrdiff_t>(cut));
        std::vector<uint8_t> marked = bytes;
        marked.insert(marked.end(), {0xFF, 0x90, 0x00, 0x00});
        EXPECT_EQ(decodeLong(bytes), decodeLong(marked)) << "cut at " << cut;
    }
    // After 0xFF a byte up to 0x8F is data with its top bit skipped.
    const std::vector<uint8_t> stuffed = {0xFF, 0x7F};
    dec->setinput(stuffed);
    dec->init();
    EXPECT_EQ(dec->ct(), 0);
    EXPECT_FALSE(dec->eof());
}

TEST(T1TablesTest, ContextsFollowTheStandardsNeighbourhoodRules) {
    const T1Luts& luts = jpc_initluts();
    auto zc = [&](int orient, uint32_t word) { return luts.zeroCoding[(orient << 8) | word]; };
    EXPECT_EQ(zc(kOrientLL, 0), 1);
    EXPECT_EQ(zc(kOrientLL, kNeSig), 2);
    EXPECT_EQ(zc(kOrientLL, kNSig | kSSig), 5);  // two vertical
    EXPECT_EQ(zc(kOrientHL, kNSig | kSSig), 9);  // counted as horizontal in HL
    EXPECT_EQ(zc(kOrientLH, kESig | kWSig), 9);
    EXPECT_EQ(zc(kOrientHH, kNeSig | kSwSig | kNwSig), 9);
    EXPECT_EQ(zc(kOrientHH, kNeSig | kESig), 5);

    auto sign = [&](uint32_t word) { return (word >> 4) & 0xFF; };
    EXPECT_EQ(luts.sign[sign(0)], 13);
    EXPECT_EQ(luts.sign[sign(kESig)], 16);
    EXPECT_EQ(luts.signPrediction[sign(kESig)], 0);
    EXPECT_EQ(luts.sign[sign(kWSig | kWSgn)], 16);
    EXPECT_EQ(luts.signPrediction[sign(kWSig | kWSgn)], 1);
    EXPECT_EQ(luts.sign[sign(kESig | kNSig | kNSgn)], 15);
    EXPECT_EQ(luts.sign[sign(kNSig | kNSgn)], 14);
    EXPECT_EQ(luts.signPrediction[sign(kNSig | kNSgn)], 1);

    EXPECT_EQ(luts.magnitude[0], 10);
    EXPECT_EQ(luts.magnitude[kSeSig], 11);
    EXPECT_EQ(luts.magnitude[0x800], 12);
    EXPECT_EQ(luts.initialContexts[kT1UniformContext].state, 46);
}

TEST(T1TablesTest, SegmentsFollowTheCodeBlockStyle) {
    EXPECT_EQ(jpc_segpasscnt(0, 0, 5, false, false), 5);
    EXPECT_EQ(jpc_segpasscnt(10, 0, 40, true, false), 2);
    EXPECT_EQ(jpc_segpasscnt(8, 0, 40, true, false), 2);
    EXPECT_EQ(jpc_segpasscnt(12, 0, 40, true, false), 1);
    EXPECT_EQ(jpc_segpasscnt(3, 0, 40, false, true), 1);
    EXPECT_EQ(jpc_segtype(9, 0, true), kSegMq);
    EXPECT_EQ(jpc_segtype(10, 0, true), kSegRaw);
    EXPECT_EQ(jpc_segtype(11, 0, true), kSegRaw);
    EXPECT_EQ(jpc_segtype(12, 0, true), kSegMq);
    EXPECT_EQ(jpc_segtype(11, 0, false), kSegMq);
    EXPECT_EQ(jpc_nominalgain(1, 3, 2, kOrientHH), 2);
    EXPECT_EQ(jpc_nominalgain(0, 3, 2, kOrientHH), 0);
}

}  // namespace
}  // namespace j2000
