// Marker segment readers on hand-made segments: parameters, refusals, PPM headers split across
// segments, trailing bytes and the dump.
#include <gtest/gtest.h>

#include "Images/J2000/MarkerSegment.h"

namespace j2000 {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Read {
    MarkerSegmentPtr ms;
    std::string texts;
};

Read read_one(Bytes bytes, jpc_cstate_t& cs, int debug = 0) {
    Read r;
    StreamPtr s = stream_memopen(bytes.data(), bytes.size());
    Diagnostics diag([&r](const std::string& t) { r.texts += t; });
    diag.debug = debug;
    r.ms = jpc_getms(*s, cs, diag);
    return r;
}

Read read_one(Bytes bytes) {
    jpc_cstate_t cs;
    return read_one(std::move(bytes), cs);
}

TEST(MarkerSegment, SizReadsComponentsAndSetsTheComponentWidth) {
    jpc_cstate_t cs;
    Bytes siz{0xFF, 0x51, 0x00, 0x2F, 0x00, 0x00};
    for (std::uint32_t v : {640u, 480u, 1u, 2u, 256u, 256u, 0u, 0u})
        siz.insert(siz.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                               std::uint8_t(v)});
    siz.insert(siz.end(), {0x00, 0x03, 0x07, 1, 1, 0x8B, 2, 1, 0x07, 1, 2});
    Read r = read_one(siz, cs, 1);
    ASSERT_TRUE(r.ms);
    const auto& p = std::get<jpc_siz_t>(r.ms->parms);
    EXPECT_EQ(p.width, 640u);
    EXPECT_EQ(p.yoff, 2u);
    ASSERT_EQ(p.comps.size(), 3u);
    EXPECT_EQ(p.comps[1].prec, 12);
    EXPECT_EQ(p.comps[1].sgnd, 1);
    EXPECT_EQ(p.comps[1].hsamp, 2);
    EXPECT_EQ(cs.numcomps, 3);
    EXPECT_NE(r.texts.find("prec[1] = 12; sgnd[1] = 1; hsamp[1] = 2; vsamp[1] = 1\n"),
              std::string::npos);
    // A SIZ shorter than its component list is refused.
    siz[3] = 0x2E;
    siz.pop_back();
    jpc_cstate_t cs2;
    EXPECT_FALSE(read_one(siz, cs2).ms);
}

TEST(MarkerSegment, CodingStyleWithPrecinctsAndComponentNumberWidth) {
    Read cod = read_one({0xFF, 0x52, 0x00, 0x0F, 0x07, 0x02, 0x00, 0x03, 0x01, 0x02, 0x04, 0x04,
                         0x00, 0x01, 0x54, 0x65, 0x76});
    ASSERT_TRUE(cod.ms);
    const auto& c = std::get<jpc_cod_t>(cod.ms->parms);
    EXPECT_EQ(c.numlyrs, 3);
    EXPECT_EQ(c.compparms.numdlvls, 2);
    ASSERT_EQ(c.compparms.rlvls.size(), 3u);
    EXPECT_EQ(c.compparms.rlvls[2].prcwidthval, 6);
    EXPECT_EQ(c.compparms.rlvls[2].prcheightval, 7);
    // A precinct byte missing: the segment is short.
    EXPECT_FALSE(read_one({0xFF, 0x52, 0x00, 0x0E, 0x01, 0x02, 0x00, 0x03, 0x01, 0x02, 0x04, 0x04,
                           0x00, 0x01, 0x54, 0x65})
                     .ms);

    jpc_cstate_t many;
    many.numcomps = 300;  // component numbers are then 16 bits wide
    Read coc =
        read_one({0xFF, 0x53, 0x00, 0x0A, 0x01, 0x2C, 0x00, 0x01, 0x03, 0x03, 0x00, 0x00}, many);
    ASSERT_TRUE(coc.ms);
    EXPECT_EQ(std::get<jpc_coc_t>(coc.ms->parms).compno, 300);
}

TEST(MarkerSegment, QuantisationStylesGiveTheirStepSizeCounts) {
    Read none = read_one({0xFF, 0x5C, 0x00, 0x06, 0x40, 0x40, 0x48, 0x50});
    ASSERT_TRUE(none.ms);
    const auto& q0 = std::get<jpc_qcd_t>(none.ms->parms).compparms;
    EXPECT_EQ(q0.numguard, 2);
    EXPECT_EQ(q0.stepsizes, (std::vector<std::uint16_t>{8 << 11, 9 << 11, 10 << 11}));
    // Derived: one step size whatever follows; the rest is reported.
    Read derived = read_one({0xFF, 0x5C, 0x00, 0x07, 0x21, 0x48, 0x0A, 0x01, 0x02});
    ASSERT_TRUE(derived.ms);
    EXPECT_EQ(std::get<jpc_qcd_t>(derived.ms->parms).compparms.stepsizes,
              (std::vector<std::uint16_t>{0x480A}));
    EXPECT_EQ(derived.texts, "warning: trailing garbage in marker segment (2 bytes)\n");
    Read qcc = read_one({0xFF, 0x5D, 0x00, 0x08, 0x02, 0x22, 0x48, 0x0A, 0x50, 0x01});
    ASSERT_TRUE(qcc.ms);
    EXPECT_EQ(std::get<jpc_qcc_t>(qcc.ms->parms).compno, 2);
    EXPECT_EQ(std::get<jpc_qcc_t>(qcc.ms->parms).compparms.stepsizes.size(), 2u);
}

TEST(MarkerSegment, ProgressionChangesReadInTheirFieldOrder) {
    Read poc = read_one({0xFF, 0x5F, 0x00, 0x09, 0x01, 0x00, 0x00, 0x02, 0x03, 0x03, 0x04});
    ASSERT_TRUE(poc.ms);
    const auto& p = std::get<jpc_poc_t>(poc.ms->parms).pchgs;
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].rlvlnostart, 1);
    EXPECT_EQ(p[0].lyrnoend, 2);
    EXPECT_EQ(p[0].rlvlnoend, 3);
    EXPECT_EQ(p[0].compnoend, 3);
    EXPECT_EQ(p[0].prgord, 4);
    EXPECT_FALSE(read_one({0xFF, 0x5F, 0x00, 0x09, 0x04, 0x00, 0x00, 0x02, 0x03, 0x03, 0x04}).ms);
    // An 8-bit CEpoc of 0 is the end of all 256 components it can name.
    Read all = read_one({0xFF, 0x5F, 0x00, 0x09, 0x00, 0x05, 0x00, 0x02, 0x03, 0x00, 0x01});
    ASSERT_TRUE(all.ms);
    EXPECT_EQ(std::get<jpc_poc_t>(all.ms->parms).pchgs[0].compnoend, 256);
}

TEST(MarkerSegment, PackedHeaderSplitAcrossTwoPpmSegments) {
    jpc_cstate_t cs;
    // Zppm 0: a 2-byte header, then a 5-byte header of which 3 bytes fit.
    Read first = read_one(
        {0xFF, 0x60, 0x00, 0x10, 0x00, 0, 0, 0, 2, 0xA1, 0xA2, 0, 0, 0, 5, 0xB1, 0xB2, 0xB3}, cs);
    ASSERT_TRUE(first.ms);
    const auto& p1 = std::get<jpc_ppm_t>(first.ms->parms);
    EXPECT_FALSE(p1.firstpartial);
    EXPECT_TRUE(p1.lastpartial);
    ASSERT_EQ(p1.pkthdrs.size(), 2u);
    EXPECT_EQ(p1.pkthdrs[1], (Bytes{0xB1, 0xB2, 0xB3}));
    EXPECT_EQ(cs.ppmleft, 2u);
    // Zppm 1 continues with the missing 2 bytes.
    jpc_cstate_t wrong = cs;
    EXPECT_FALSE(read_one({0xFF, 0x60, 0x00, 0x05, 0x02, 0xB4, 0xB5}, wrong).ms);
    Read second = read_one({0xFF, 0x60, 0x00, 0x05, 0x01, 0xB4, 0xB5}, cs);
    ASSERT_TRUE(second.ms);
    const auto& p2 = std::get<jpc_ppm_t>(second.ms->parms);
    EXPECT_TRUE(p2.firstpartial);
    EXPECT_FALSE(p2.lastpartial);
    EXPECT_EQ(p2.pkthdrs, (std::vector<Bytes>{{0xB4, 0xB5}}));
}

TEST(MarkerSegment, LengthsAndMarkersWithoutParameters) {
    EXPECT_FALSE(read_one({0xFF, 0x64, 0x00, 0x02}).ms);        // a length of 2 holds nothing
    EXPECT_FALSE(read_one({0xFF, 0x61, 0x00, 0x03, 0x00}).ms);  // PPT without header data
    EXPECT_FALSE(read_one({0x12, 0x34}).ms);
    Bytes soc{0xFF, 0x4F, 0xFF, 0x51};
    StreamPtr s = stream_memopen(soc.data(), soc.size());
    EXPECT_EQ(jpc_validate(*s), 0);
    EXPECT_EQ(s->getc(), 0xFF);  // nothing consumed
    EXPECT_EQ(jpc_validate(*s), -1);
    Read reserved = read_one({0xFF, 0x35, 0x00, 0x09});
    ASSERT_TRUE(reserved.ms);
    EXPECT_EQ(reserved.ms->len, 0);
    Read com = read_one({0xFF, 0x64, 0x00, 0x05, 0x00, 0x01, 0x41});
    ASSERT_TRUE(com.ms);
    EXPECT_EQ(std::get<jpc_raw_t>(com.ms->parms).data, (Bytes{0x00, 0x01, 0x41}));
    jpc_cstate_t cs;
    Read unknown = read_one({0xFF, 0x58, 0x00, 0x04, 0xAB, 0x01}, cs, 1);
    ASSERT_TRUE(unknown.ms);
    EXPECT_EQ(unknown.texts,
              "----\nmarker segment:\ntype = 0xff58 (UNKNOWN); len = 2 (4);\nab 01 ");
    Read sot =
        read_one({0xFF, 0x90, 0x00, 0x0A, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00, 0x02, 0x04}, cs, 1);
    ASSERT_TRUE(sot.ms);
    EXPECT_NE(sot.texts.find("tileno = 3; len = 256; partno = 2; numparts = 4\n"),
              std::string::npos);
}

}  // namespace
}  // namespace j2000
