// Tier 2 over codestreams made by opj_compress (tests/data/J2000/make_fixtures.sh): every packet
// is read exactly as long as the encoder's PLT segments say, every tile-part is consumed to its
// last byte, and every code-block's passes and bytes arrive.
#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "Images/J2000/Decoder.h"
#include "tests/Images/J2000/CodestreamEdit.h"

namespace j2000 {
namespace {

using j2000test::Bytes;
using j2000test::Codestream;

struct Outcome {
    DecodeResult result;
    std::vector<std::int64_t> packetlengths;
    std::string texts;  // diagnostics
    int packets_expected = 0;
    int passes = 0;
    std::int64_t segbytes = 0;
    int maxlyrno = -1;
};

Outcome decode(const Bytes& bytes, const char* options = "") {
    Outcome out;
    Bytes copy = bytes;
    StreamPtr in = stream_memopen(copy.data(), copy.size());
    DecodeEnv env;
    env.diag = Diagnostics([&out](const std::string& t) { out.texts += t; });
    env.on_packet = [&out](const PacketInfo& p) { out.packetlengths.push_back(p.end - p.start); };
    env.decodetile = [&out](jpc_dec_t&, jpc_dec_tile_t& tile) {
        for (const jpc_dec_tcomp_t& tc : tile.tcomps)
            for (const jpc_dec_rlvl_t& rl : tc.rlvls) {
                out.packets_expected += rl.numprcs * tile.cp.numlyrs;
                for (const jpc_dec_band_t& band : rl.bands)
                    for (const jpc_dec_prc_t& prc : band.prcs)
                        for (const jpc_dec_cblk_t& cb : prc.cblks)
                            for (const jpc_dec_seg_t& seg : cb.segs) {
                                EXPECT_EQ(seg.cnt, 0u);
                                EXPECT_LE(seg.numpasses, seg.maxpasses);
                                out.passes += seg.numpasses;
                                out.segbytes += static_cast<std::int64_t>(seg.data.size());
                                out.maxlyrno = std::max(out.maxlyrno, seg.lyrno);
                            }
            }
        return 0;
    };
    out.result = jpc_decode(*in, options, nullptr, env);
    return out;
}

class GeneratedStreams : public ::testing::TestWithParam<const char*> {};

TEST_P(GeneratedStreams, EveryPacketAndTilePartIsReadExactly) {
    const Bytes bytes = j2000test::read_file(j2000test::fixture_path(GetParam()));
    const Codestream cs = Codestream::parse(bytes);
    std::vector<std::int64_t> plt;
    for (const auto& part : cs.parts)
        for (std::uint32_t n : j2000test::plt_lengths(part))
            plt.push_back(n);
    std::set<int> tiles;
    for (const auto& part : cs.parts)
        tiles.insert(part.tileno);

    ASSERT_FALSE(plt.empty());
    const Outcome out = decode(bytes);
    EXPECT_EQ(out.result.status, DecodeStatus::Ok);
    EXPECT_EQ(out.texts.find("tile data"), std::string::npos) << out.texts;
    EXPECT_EQ(out.texts.find("garbage"), std::string::npos) << out.texts;
    ASSERT_TRUE(out.result.image);
    EXPECT_EQ(out.result.tilesdecoded, static_cast<int>(tiles.size()));
    EXPECT_EQ(out.packetlengths, plt);
    EXPECT_EQ(static_cast<int>(out.packetlengths.size()), out.packets_expected);
    // Packet bodies hold code-block bytes and nothing else: what the packets span, less their
    // headers, is what the segments received.
    EXPECT_GT(out.passes, 0);
    EXPECT_LT(out.segbytes, std::accumulate(plt.begin(), plt.end(), std::int64_t{0}));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GeneratedStreams,
                         ::testing::Values("g1x1.j2k", "g17x13_lrcp_layers.j2k",
                                           "c64x48_rlcp_sop_eph.j2k", "c64x48_cprl_modes.j2k",
                                           "c64x48_poc.j2k", "g100x70_rpcl_tiles_offsets.j2k",
                                           "s40x30_pcrl_subsampled.j2k",
                                           "g33x21_12bit_precincts.j2k", "g2048_pcrl_tiles.j2k"));

}  // namespace
}  // namespace j2000
