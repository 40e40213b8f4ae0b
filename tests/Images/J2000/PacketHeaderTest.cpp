// Packet headers written bit by bit: inclusion and zero bit-plane tag trees, the pass-count
// code, Lblock and one length per segment, read into a one-code-block tile.
#include <gtest/gtest.h>

#include "Images/J2000/PacketDecoder.h"
#include "tests/Images/J2000/CodestreamEdit.h"

namespace j2000 {
namespace {

using j2000test::BitWriter;

jpc_dec_tile_t one_block_tile(int numlyrs, std::uint8_t cblkctx) {
    jpc_dec_tile_t tile;
    tile.xend = tile.yend = 8;
    tile.cp.numlyrs = static_cast<std::uint16_t>(numlyrs);
    jpc_dec_ccp_t ccp;
    ccp.numrlvls = 1;
    ccp.cblkwidthexpn = ccp.cblkheightexpn = 6;
    ccp.cblkctx = cblkctx;
    ccp.stepsizes = {20 << 11};
    ccp.numguardbits = 1;
    ccp.prcwidthexpns.fill(15);
    ccp.prcheightexpns.fill(15);
    tile.cp.ccps = {ccp};
    EXPECT_TRUE(tile_setup(tile, {{1, 1, 8, false}}, nullptr));
    return tile;
}

jpc_dec_cblk_t& only_block(jpc_dec_tile_t& tile) {
    return tile.tcomps[0].rlvls[0].bands[0].prcs[0].cblks[0];
}

Tier2Status read(jpc_dec_tile_t& tile, std::vector<std::uint8_t> bytes, std::string& texts) {
    StreamPtr s = stream_memopen(bytes.data(), bytes.size());
    Diagnostics diag([&texts](const std::string& t) { texts += t; });
    Tier2Options opt;
    opt.diag = &diag;
    return dec_decodepkts(tile, nullptr, *s, static_cast<std::int64_t>(bytes.size()), opt);
}

TEST(PacketHeader, BlockFirstIncludedInLayerTwoWithThirtySevenPasses) {
    jpc_dec_tile_t tile = one_block_tile(3, 0);
    BitWriter w;
    w.bits(0, 8);  // layer 0: empty packet
    w.bits(0, 8);  // layer 1: empty packet
    w.bit(1);
    w.bits(0b001, 3);   // inclusion: value 2, first below threshold 3
    w.bits(0b0001, 4);  // three missing bit-planes
    w.bits(0b1111, 4);  // 37 passes: 1111, 11111, 0000000
    w.bits(0b11111, 5);
    w.bits(0, 7);
    w.bit(0);           // Lblock stays 3
    w.bits(10, 3 + 5);  // 3 + floor(log2 37) length bits
    w.align();
    std::vector<std::uint8_t> bytes = w.out_;
    ASSERT_EQ(bytes[3], 0xFF);  // the pass count runs through a stuffed byte
    bytes.insert(bytes.end(), 10, 0xA5);
    std::string texts;
    ASSERT_EQ(read(tile, bytes, texts), Tier2Status::Ok) << texts;
    EXPECT_EQ(texts, "warning: empty packet\nwarning: empty packet\n");
    const jpc_dec_cblk_t& cb = only_block(tile);
    EXPECT_EQ(cb.numimsbs, 3);
    EXPECT_EQ(cb.firstpassno, 9);
    ASSERT_EQ(cb.segs.size(), 1u);
    EXPECT_EQ(cb.segs[0].passno, 9);
    EXPECT_EQ(cb.segs[0].numpasses, 37);
    EXPECT_EQ(cb.segs[0].lyrno, 2);
    EXPECT_EQ(cb.segs[0].data, std::vector<std::uint8_t>(10, 0xA5));
}

TEST(PacketHeader, TerminationOnEachPassGivesEachPassItsSegment) {
    jpc_dec_tile_t tile = one_block_tile(1, kCblkTermAll | kCblkBypass);
    BitWriter w;
    w.bit(1);
    w.bit(1);           // included
    w.bit(1);           // no missing bit-plane
    w.bits(0b1100, 4);  // 3 passes
    w.bits(0b110, 3);   // Lblock 3 + 2
    w.bits(1, 5);
    w.bits(2, 5);
    w.bits(3, 5);
    w.align();
    std::vector<std::uint8_t> bytes = w.out_;
    for (std::uint8_t b : {1, 2, 2, 3, 3, 3})
        bytes.push_back(b);
    std::string texts;
    ASSERT_EQ(read(tile, bytes, texts), Tier2Status::Ok) << texts;
    const jpc_dec_cblk_t& cb = only_block(tile);
    ASSERT_EQ(cb.segs.size(), 3u);
    EXPECT_EQ(cb.numlenbits, 5);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cb.segs[i].passno, i);
        EXPECT_TRUE(cb.segs[i].complete);
        EXPECT_EQ(cb.segs[i].type, kSegMq);  // raw passes start after the first ten
        EXPECT_EQ(cb.segs[i].data, std::vector<std::uint8_t>(static_cast<size_t>(i + 1), i + 1));
    }
}

}  // namespace
}  // namespace j2000
