// The decoder over codestreams made by opj_compress (tests/data/J2000/make_fixtures.sh): every
// packet is read exactly as long as the encoder's PLT segments say, every tile-part is consumed
// to its last byte and every code-block's passes and bytes arrive; then the same streams
// rewritten into what the encoder does not make (packed headers, tile-part coding parameters,
// Psot 0, extra segments, damage), and the decoder's states, options and cancel hook.
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "Images/J2000/Decoder.h"
#include "Images/J2000/Reconstruction.h"
#include "tests/Images/J2000/CodestreamEdit.h"

namespace j2000 {
namespace {

using j2000test::Bytes;
using j2000test::Codestream;

struct Outcome {
    DecodeResult result;
    std::vector<std::int64_t> packetlengths;
    std::vector<PacketInfo> packets;
    std::string texts;  // diagnostics
    int packets_expected = 0;
    int passes = 0;
    std::int64_t segbytes = 0;
    int maxlyrno = -1;
};

Outcome decode(const Bytes& bytes, const char* options = "", const jpc_cancel_t* cancel = nullptr) {
    Outcome out;
    Bytes copy = bytes;
    StreamPtr in = stream_memopen(copy.data(), copy.size());
    DecodeEnv env;
    env.diag = Diagnostics([&out](const std::string& t) { out.texts += t; });
    env.on_packet = [&out](const PacketInfo& p) {
        out.packetlengths.push_back(p.end - p.start);
        out.packets.push_back(p);
    };
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
    out.result = jpc_decode(*in, options, cancel, env);
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
                                           "c64x48_poc.j2k", "c64x48_roi_lossless.j2k",
                                           "g100x70_rpcl_tiles_offsets.j2k",
                                           "s40x30_pcrl_subsampled.j2k",
                                           "g33x21_12bit_precincts.j2k", "g2048_pcrl_tiles.j2k"));

Bytes fixture(const char* name) {
    return j2000test::read_file(j2000test::fixture_path(name));
}

bool read_cleanly(const Outcome& o) {
    return o.result.status == DecodeStatus::Ok && o.texts.find("tile data") == std::string::npos &&
           o.texts.find("garbage") == std::string::npos;
}

void drop(std::vector<j2000test::Segment>& segs, std::uint16_t marker) {
    std::erase_if(segs, [marker](const j2000test::Segment& s) { return s.marker == marker; });
}

// Moves every packet header out of the tile-parts: into PPT segments, or into PPM segments of the
// main header (split in the middle of a header over two segments).
Bytes pack_headers(const Bytes& bytes, bool ppm) {
    const Outcome plain = decode(bytes);
    Codestream cs = Codestream::parse(bytes);
    Bytes all;
    size_t split = 0;  // inside the first tile-part's headers, after its length field
    std::map<int, std::uint8_t> zppt;
    for (auto& part : cs.parts) {
        Bytes headers, body;
        size_t at = part.dataoffset;
        for (const PacketInfo& p : plain.packets) {
            if (p.start < static_cast<std::int64_t>(part.dataoffset) ||
                p.start >= static_cast<std::int64_t>(part.dataoffset + part.data.size()))
                continue;
            body.insert(body.end(), bytes.begin() + static_cast<long>(at),
                        bytes.begin() + p.hdrstart);
            headers.insert(headers.end(), bytes.begin() + p.hdrstart, bytes.begin() + p.hdrend);
            at = static_cast<size_t>(p.hdrend);
        }
        body.insert(body.end(), bytes.begin() + static_cast<long>(at),
                    bytes.begin() + static_cast<long>(part.dataoffset + part.data.size()));
        part.data = body;
        drop(part.header, 0xFF58);
        if (ppm) {
            if (split == 0)
                split = 4 + headers.size() / 2;
            j2000test::put32(all, static_cast<std::uint32_t>(headers.size()));
            all.insert(all.end(), headers.begin(), headers.end());
        } else {
            headers.insert(headers.begin(), zppt[part.tileno]++);
            part.header.push_back({0xFF61, headers});
        }
    }
    if (ppm) {
        Bytes first{0}, second{1};
        first.insert(first.end(), all.begin(), all.begin() + static_cast<long>(split));
        second.insert(second.end(), all.begin() + static_cast<long>(split), all.end());
        cs.main.push_back({0xFF60, first});
        cs.main.push_back({0xFF60, second});
    }
    return cs.serialise();
}

TEST(Decoder, PackedHeadersGiveTheSameCodeBlocks) {
    for (const char* name : {"c64x48_rlcp_sop_eph.j2k", "g100x70_rpcl_tiles_offsets.j2k"}) {
        const Bytes bytes = fixture(name);
        const Outcome plain = decode(bytes);
        for (bool ppm : {false, true}) {
            const Outcome packed = decode(pack_headers(bytes, ppm));
            EXPECT_TRUE(read_cleanly(packed)) << name << ppm << packed.texts;
            EXPECT_EQ(packed.passes, plain.passes) << name << ppm;
            EXPECT_EQ(packed.segbytes, plain.segbytes) << name << ppm;
            EXPECT_EQ(packed.result.tilesdecoded, plain.result.tilesdecoded);
        }
    }
}

TEST(Decoder, TilePartCodingStyleOutranksMainHeaderComponentStyle) {
    const Bytes bytes = fixture("c64x48_rlcp_sop_eph.j2k");
    Codestream cs = Codestream::parse(bytes);
    const auto find = [&cs](std::uint16_t m) {
        return *std::find_if(cs.main.begin(), cs.main.end(),
                             [m](const auto& s) { return s.marker == m; });
    };
    const j2000test::Segment cod = find(0xFF52), qcd = find(0xFF5C);
    // Main-header COC and QCC for component 1 with other code-blocks, levels and step sizes.
    cs.main.push_back({0xFF53, {1, 0, 1, 0, 0, 0, 1}});
    cs.main.push_back({0xFF5D, {1, 0x40, 0x48, 0x50, 0x50, 0x58}});
    for (auto& part : cs.parts)
        if (part.partno == 0)
            part.header.insert(part.header.begin(), {cod, qcd});
    const Outcome out = decode(cs.serialise());
    EXPECT_TRUE(read_cleanly(out)) << out.texts;
    EXPECT_EQ(out.passes, decode(bytes).passes);
}

TEST(Decoder, TilesWithoutPartCountsAreFinishedAtTheEnd) {
    const Bytes bytes = fixture("g100x70_rpcl_tiles_offsets.j2k");
    Codestream cs = Codestream::parse(bytes);
    for (auto& part : cs.parts)
        part.numparts = 0;
    cs.parts.back().psot_zero = true;
    // Comments, a registration segment and an unknown marker are passed over.
    cs.main.push_back({0xFF63, {0, 1, 0, 1}});
    cs.main.push_back({0xFF70, {0xAB}});
    cs.parts[1].header.push_back({0xFF64, {0, 1, 'x'}});
    cs.parts.back().header.push_back({0xFF70, {0xCD}});
    const Outcome out = decode(cs.serialise());
    const Outcome plain = decode(bytes);
    EXPECT_TRUE(read_cleanly(out)) << out.texts;
    EXPECT_EQ(out.result.tilesdecoded, 12);
    EXPECT_EQ(out.packetlengths, plain.packetlengths);
    EXPECT_NE(out.texts.find("warning: ignoring CRG marker segment\n"), std::string::npos);
    EXPECT_NE(out.texts.find("warning: ignoring CME marker segment\n"), std::string::npos);
    EXPECT_NE(out.texts.find("warning: ignoring unknown marker segment\n"), std::string::npos);
}

TEST(Decoder, DamagedStreamsFailWithTheirReason) {
    const Codestream cs = Codestream::parse(fixture("g100x70_rpcl_tiles_offsets.j2k"));
    const struct {
        std::function<void(Codestream&)> damage;
        const char* text;
    } cases[] = {
        {[](Codestream& c) { c.main.insert(c.main.begin() + 1, c.main.front()); },
         "unexpected marker segment type\n"},
        {[](Codestream& c) { c.parts[3].tileno = 12; },
         "invalid tile number in SOT marker segment\n"},
        {[](Codestream& c) { std::swap(c.parts[0], c.parts[1]); },
         "SOT: tile-part 1 of tile 0 where part 0 was expected\n"},
        // Tile 0 counts one tile-part and another tile's part follows it: tile 0 is finished.
        {[](Codestream& c) { c.parts[0].numparts = 1, std::swap(c.parts[1], c.parts[3]); },
         "SOT: tile 0 is finished already\n"},
    };
    for (const auto& c : cases) {
        Codestream damaged = cs;
        c.damage(damaged);
        const Outcome out = decode(damaged.serialise());
        EXPECT_EQ(out.result.status, DecodeStatus::Failed) << c.text;
        EXPECT_NE(out.texts.find(c.text), std::string::npos) << out.texts;
        EXPECT_EQ(out.texts.find("cannot decode the stream"), std::string::npos) << out.texts;
    }
}

// Streams opj_compress writes wrong (tests/data/J2000/make_fixtures.sh) are refused, or decoded
// with a warning, with the arithmetic or the layout that shows what is wrong.
TEST(Decoder, StreamsAnEncoderWroteWrongSayWhatIsWrong) {
    const struct {
        const char* file;
        DecodeStatus status;
        int tiles;
        std::vector<const char*> texts;
    } cases[] = {
        // Samples down to -1462 in a 9-bit component: 11 bit-planes, where the LL band has 10.
        {"s3x43_signed_beyond_precision.j2k",
         DecodeStatus::Failed,
         0,
         {"code-block has more coding passes than its bit-planes: the one at (0, 0) of component "
          "0, resolution 0, band LL needs 11 bit-planes, but the band has 10 (2 guard bits + "
          "exponent 9 - 1)\n"}},
        // Bytes for packets of resolutions without samples: the lower tiles' packets end early,
        // and their row comes out wrong (as in opj_decompress).
        {"g36x15_tileparts_empty_level.j2k",
         DecodeStatus::Ok,
         4,
         {"warning: tile 2: 20 bytes of its tile-part follow its last packet\n"
          "warning: tile 2: resolution 0 of component 0 has no samples and so no packets; an "
          "encoder that still writes some for it when it splits a tile into tile-parts puts the "
          "later ones out of step\n",
          "warning: tile 3: "}},
        // The same, where the first packet read out of step asks for too many bit-planes.
        {"g24x8_tileparts_empty_level.j2k",
         DecodeStatus::Failed,
         2,
         {"code-block has more coding passes than its bit-planes: the one at (0, 3) of component "
          "0, resolution 2, band LH needs 11 bit-planes, but the band has 10 (2 guard bits + "
          "exponent 9 - 1)\ndec_decodepkts failed\ntile 2: resolution 0 of component 0 has no "
          "samples"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Outcome out = decode(fixture(c.file));
        EXPECT_EQ(out.result.status, c.status);
        EXPECT_EQ(out.result.tilesdecoded, c.tiles);
        for (const char* text : c.texts)
            EXPECT_NE(out.texts.find(text), std::string::npos) << out.texts;
    }
}

// Tile-parts that follow a tile's last declared one are read with a note, as are part numbers
// that start again from 0 after 255 (both are 8 bits): the tiles get the packets of the stream
// as written, and are reconstructed once the codestream moves on.
TEST(Decoder, TilePartsBeyondTheirCountAreRead) {
    const Bytes bytes = fixture("g100x70_rpcl_tiles_offsets.j2k");
    const Codestream cs = Codestream::parse(bytes);
    // 254 empty tile-parts of tile 0 after its first: its parts number 0 to 256, the last two
    // again as 0 and 1, and TNsot, 257 in 8 bits, declares 1.
    const auto wrap = [](Codestream& c) {
        std::vector<j2000test::TilePart> parts(c.parts.begin(), c.parts.begin() + 3);
        parts.insert(parts.begin() + 1, 254, j2000test::TilePart{});
        for (size_t i = 0; i < parts.size(); ++i) {
            parts[i].tileno = 0;
            parts[i].partno = static_cast<std::uint8_t>(i);
            parts[i].numparts = static_cast<std::uint8_t>(parts.size());
        }
        c.parts.erase(c.parts.begin(), c.parts.begin() + 3);
        c.parts.insert(c.parts.begin(), parts.begin(), parts.end());
    };
    const struct {
        std::function<void(Codestream&)> edit;
        std::vector<const char*> notes;
    } cases[] = {
        {[](Codestream& c) { c.parts[0].numparts = c.parts[1].numparts = 1; },
         {"warning: tile 0 has 3 tile-parts, more than the 1 its SOT segments declare"}},
        {[](Codestream& c) { c.parts[0].numparts = 0, c.parts[1].numparts = 1; },
         {"warning: tile 0 has 3 tile-parts, more than the 1 its SOT segments declare"}},
        {[](Codestream& c) { c.parts[3].numparts = c.parts[4].numparts = c.parts[5].numparts = 2; },
         {"warning: tile 1 has 3 tile-parts, more than the 2 its SOT segments declare"}},
        {wrap,
         {"warning: tile 0 has 257 tile-parts, more than the 1 its SOT segments declare",
          "warning: tile 0 has more than 256 tile-parts; their numbers wrap to 0"}},
    };
    const Outcome plain = decode(bytes);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notes.back());
        Codestream edited = cs;
        c.edit(edited);
        const Outcome out = decode(edited.serialise());
        EXPECT_TRUE(read_cleanly(out)) << out.texts;
        EXPECT_EQ(out.result.tilesdecoded, 12);
        EXPECT_EQ(out.packetlengths, plain.packetlengths);
        EXPECT_EQ(out.passes, plain.passes);
        for (const char* note : c.notes)
            EXPECT_NE(out.texts.find(note), std::string::npos) << out.texts;
    }
}

TEST(Decoder, StreamsCutShortKeepWhatArrived) {
    {
        // Cut in the middle of a tile-part: the tiles begun take what arrived, the others none.
        const Bytes bytes = fixture("g100x70_rpcl_tiles_offsets.j2k");
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 2 / 3));
        const Outcome out = decode(cut);
        EXPECT_EQ(out.result.status, DecodeStatus::Ok);
        EXPECT_TRUE(out.result.partial);
        EXPECT_GT(out.result.tilesdecoded, 6);
        EXPECT_LT(out.result.tilesdecoded, 12);
        EXPECT_NE(out.texts.find("warning: the codestream ends early"), std::string::npos);
    }
    // Tile-parts cut short: packets never reach past a tile-part's end, and a packet cut short
    // gives back what its header announced (the decode helper checks that every segment holds
    // all its announced bytes).
    Codestream one = Codestream::parse(fixture("c64x48_rlcp_sop_eph.j2k"));
    const size_t full = one.parts[0].data.size();
    int partial = 0;
    for (size_t cut = full - 1; cut > 0; cut -= std::min<size_t>(cut, 29)) {
        Codestream shortpart = one;
        shortpart.parts[0].data.resize(cut);
        for (const bool eoc : {true, false}) {
            shortpart.eoc = eoc;
            const Outcome out = decode(shortpart.serialise());
            // A cut between two packets leaves a tile with fewer packets, which is no fault.
            EXPECT_EQ(out.result.status, DecodeStatus::Ok) << cut << out.texts;
            EXPECT_EQ(out.result.partial || !eoc,
                      out.texts.find("not enough tile data") != std::string::npos || !eoc);
            partial += out.result.partial && eoc;
            for (const PacketInfo& p : out.packets)
                ASSERT_LE(p.end, static_cast<std::int64_t>(one.parts[0].dataoffset + cut));
        }
    }
    EXPECT_GT(partial, 300);
}

TEST(Decoder, UnsafeHeaderValuesAreRefused) {
    const Bytes bytes = fixture("g17x13_lrcp_layers.j2k");
    const Codestream cs = Codestream::parse(bytes);
    // Each refusal says why (where the reason is more than the segment's name).
    const struct {
        std::uint16_t marker;
        size_t at;
        std::uint8_t value;
        DecodeStatus status;
        const char* text;
    } edits[] = {
        {0xFF51, 0, 0x80, DecodeStatus::Failed, "SIZ: capabilities 0x8000 ask for extensions\n"},
        {0xFF51, 38, 0, DecodeStatus::Failed, "SIZ: component 0 has a sub-sampling factor of 0\n"},
        {0xFF51, 36, 0x10, DecodeStatus::Failed,
         "SIZ: component 0 has 17 bits per sample; at most 16 are supported\n"},
        {0xFF52, 3, 0, DecodeStatus::Failed, "COD: no quality layers\n"},
        {0xFF52, 6, 7, DecodeStatus::Failed,
         "COD: code-blocks of 2^9 x 2^6 samples; a side is at most 2^10 and a block 2^12\n"},
        {0xFF52, 8, 0x40, DecodeStatus::Failed,
         "COD: the high-throughput block coder is not supported\n"},
        {0xFF52, 1, 5, DecodeStatus::Failed, "COD: progression order 5 is not known\n"},
        {0xFF52, 5, 33, DecodeStatus::Failed,
         "COD: 33 decomposition levels; at most 32 are allowed\n"},
        {0xFF52, 9, 2, DecodeStatus::Failed, "COD: wavelet transform 2 is not known\n"},
        {0xFF52, 4, 2, DecodeStatus::Failed, "COD: component transform 2 is not known\n"},
        {0xFF5C, 0, 0x43, DecodeStatus::Failed, "QCD: quantisation style 3 is not known\n"},
        {0xFF51, 13, 20, DecodeStatus::Failed,
         "SIZ: the image or tile offsets lie outside the image\n"},
        {0xFF51, 0, 0, DecodeStatus::Ok, ""},
    };
    for (const auto& e : edits) {
        Codestream c = cs;
        for (auto& seg : c.main)
            if (seg.marker == e.marker)
                seg.body.at(e.at) = e.value;
        const Outcome out = decode(c.serialise());
        EXPECT_EQ(out.result.status, e.status) << e.text;
        EXPECT_NE(out.texts.find(e.text), std::string::npos) << e.at << out.texts;
    }
    // Precincts of 2^0 x 2^0 are for the lowest resolution only.
    Codestream tiny = cs;
    tiny.main = j2000test::main_header({.width = 17, .height = 13, .levels = 2, .prc = 0});
    EXPECT_NE(decode(tiny.serialise())
                  .texts.find("COD: resolution 1 has precincts of 2^0 x 2^0 samples; above the "
                              "lowest resolution a side is at least 2\n"),
              std::string::npos);
    // XOsiz 16 of 17 samples, XRsiz 255: the component has no column.
    Codestream empty = cs;
    empty.main[0].body[13] = 16;
    empty.main[0].body[37] = 255;
    EXPECT_NE(decode(empty.serialise()).texts.find("SIZ: component 0 has no samples\n"),
              std::string::npos);
    Codestream many = cs;
    many.main = j2000test::main_header({.comps = 16385});
    EXPECT_NE(
        decode(many.serialise()).texts.find("SIZ: 16385 components; at most 16384 are allowed\n"),
        std::string::npos);
    // The caller's cap on samples (the picture has 17 x 13 = 221) and the budget of work and
    // memory: refusals for want of resources, told apart from a broken stream.
    const struct {
        DecodeLimits limits;
        DecodeStatus status;
        const char* text;
    } caps[] = {{{.maxsamples = 220},
                 DecodeStatus::Failed,
                 "image of 221 samples exceeds the limit of 220 samples\n"},
                {{.maxsamples = 221}, DecodeStatus::Ok, ""},
                {{.heldfloor = 100, .heldperbyte = 0},
                 DecodeStatus::Failed,
                 "tile 0: the tile's coding parameters would take more memory than the 100 bytes "
                 "allowed for the 122 bytes of codestream read\n"},
                {{.workfloor = 1000, .workperbyte = 0},
                 DecodeStatus::Failed,
                 "would take more work than the 1000 units allowed"}};
    for (const auto& c : caps) {
        Bytes copy = bytes;
        StreamPtr in = stream_memopen(copy.data(), copy.size());
        DecodeEnv env;
        std::string texts;
        env.diag = Diagnostics([&texts](const std::string& t) { texts += t; });
        env.limits = c.limits;
        const DecodeResult result = jpc_decode(*in, "", nullptr, env);
        EXPECT_EQ(result.status, c.status) << c.text;
        EXPECT_EQ(result.overLimits, c.status != DecodeStatus::Ok) << c.text;
        EXPECT_NE(texts.find(c.text), std::string::npos) << texts;
    }
}

TEST(Decoder, OptionsLimitLayersWithoutDroppingCodeBlocks) {
    const Bytes bytes = fixture("g17x13_lrcp_layers.j2k");
    const Outcome all = decode(bytes);
    const Outcome one = decode(bytes, "maxlyrs=1 bogus debug=0");
    const Outcome two = decode(bytes, "maxlyrs=2");
    EXPECT_EQ(one.texts.find("warning: ignoring invalid option bogus\n"), 0u);
    EXPECT_EQ(one.maxlyrno, 0);
    EXPECT_EQ(two.maxlyrno, 1);
    EXPECT_LT(one.passes, two.passes);
    EXPECT_LT(two.passes, all.passes);
    EXPECT_EQ(decode(bytes, "maxlyrs=3").passes, all.passes);
    // Every packet is still read.
    EXPECT_EQ(one.packetlengths, all.packetlengths);
    EXPECT_NE(decode(bytes, "debug=1").texts.find("type = 0xff51 (SIZ)"), std::string::npos);
}

struct CancelAfter {
    jpc_cancel_t hook;
    int calls = 0;
    int limit;
    explicit CancelAfter(int n) : limit(n) {
        hook.handle = this;
        hook.check = [](const jpc_cancel_t* c) {
            auto* self = static_cast<CancelAfter*>(c->handle);
            return ++self->calls > self->limit ? 1 : 0;
        };
    }
};

TEST(Decoder, CancelIsReportedAsACancel) {
    const Bytes bytes = fixture("c64x48_rlcp_sop_eph.j2k");
    CancelAfter first(0);
    const Outcome none = decode(bytes, "", &first.hook);
    EXPECT_EQ(none.result.status, DecodeStatus::Cancelled);
    EXPECT_FALSE(none.result.image);
    // The only tile-part has 432 packets: a cancel among them stops inside the tile-part.
    CancelAfter later(20);
    const Outcome some = decode(bytes, "", &later.hook);
    EXPECT_EQ(some.result.status, DecodeStatus::Cancelled);
    EXPECT_LT(some.packetlengths.size(), 20u);
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kCpuBound = 20;  // the sanitizers slow the decoder down ten times and more
#else
constexpr double kCpuBound = 2;
#endif

using j2000test::HeaderSpec;

Bytes stream_of(const HeaderSpec& picture, std::vector<j2000test::TilePart> parts,
                std::vector<j2000test::Segment> extra = {}) {
    Codestream cs;
    cs.main = j2000test::main_header(picture);
    cs.main.insert(cs.main.end(), extra.begin(), extra.end());
    cs.parts = std::move(parts);
    return cs.serialise();
}

// Tile-parts of every tile with the same packet bytes; `numparts` 0 leaves the count open.
std::vector<j2000test::TilePart> every_tile(int tiles, const Bytes& data, int numparts = 1) {
    std::vector<j2000test::TilePart> parts;
    for (int t = 0; t < tiles; ++t)
        parts.push_back({static_cast<std::uint16_t>(t), 0, static_cast<std::uint8_t>(numparts),
                         false, {}, data, 0});
    return parts;
}

// A packet whose only code-block (a one-node tag tree) is included with `passes` passes of
// `length` bytes, which follow.
Bytes block_packet(int passes, int length) {
    j2000test::BitWriter w;
    w.bits(0b111, 3);  // data, included, no missing bit-plane
    if (passes == 1) {
        w.bit(0);
    } else {  // 61 passes: 37 + 24
        w.bits(0b1111, 4);
        w.bits(0b11111, 5);
        w.bits(24, 7);
    }
    w.bit(0);  // Lblock stays 3
    w.bits(static_cast<unsigned>(length), passes == 1 ? 3 : 8);
    w.align();
    w.out_.insert(w.out_.end(), static_cast<size_t>(length), 0x5A);
    return w.out_;
}

// Progression changes, RSpoc CSpoc LYEpoc REpoc CEpoc Ppoc each.
j2000test::Segment poc_segment(int count, const std::function<std::array<int, 6>(int)>& entry) {
    j2000test::Segment poc{0xFF5F, {}};
    for (int i = 0; i < count; ++i) {
        const std::array<int, 6> e = entry(i);
        poc.body.push_back(static_cast<std::uint8_t>(e[0]));
        poc.body.push_back(static_cast<std::uint8_t>(e[1]));
        j2000test::put16(poc.body, static_cast<unsigned>(e[2]));
        for (int k = 3; k < 6; ++k)
            poc.body.push_back(static_cast<std::uint8_t>(e[k]));
    }
    return poc;
}

// Codestreams of up to 128 KB that declare far more work or memory than they carry data for:
// each is decoded or refused for want of resources within a bounded CPU time, whatever the
// caller's sample cap (the default here, 2^30) lets through.
TEST(Decoder, HostileStreamsAreDecodedOrRefusedInBoundedTime) {
    const HeaderSpec tiles512{.width = 32768, .height = 32768, .tilewidth = 512, .tileheight = 512,
                           .levels = 9, .cblk = 2, .prc = 1};
    const HeaderSpec layers{.layers = 65535};
    const struct {
        const char* name;
        Bytes bytes;
        bool decoded;
    } cases[] = {
        {"4096 tiles of 2 x 2 precincts", stream_of(tiles512, every_tile(4096, Bytes(8, 0))),
         false},
        {"the same tiles held to the end", stream_of(tiles512, every_tile(4096, Bytes(8, 0), 0)),
         false},
        {"4096 tiles with a coded block each",
         stream_of(
             {.width = 32768, .height = 32768, .tilewidth = 512, .tileheight = 512, .levels = 5},
             every_tile(4096, block_packet(1, 1))),
         false},
        {"one tile of 2^30 samples without data",
         stream_of({.width = 32768, .height = 32768, .levels = 5}, every_tile(1, Bytes(1, 0))),
         false},
        // Its samples are the level shift alone, written without synthesis.
        {"one tile of 6000 x 6000 samples without data",
         stream_of({.width = 6000, .height = 6000, .levels = 5}, every_tile(1, Bytes(1, 0))), true},
        {"65535 layers and 9360 changes naming a missing level",
         stream_of(layers, every_tile(1, Bytes(64, 0)),
                   {poc_segment(9360, [](int) { return std::array{1, 0, 65535, 2, 1, 0}; })}),
         true},
        {"65535 layers and 9360 changes adding a layer each",
         stream_of(layers, every_tile(1, Bytes(9400, 0)),
                   {poc_segment(9360, [](int i) { return std::array{0, 0, i + 1, 1, 1, 0}; })}),
         true},
        {"4096 blocks of 61 passes without bytes",
         stream_of({.width = 4096, .height = 4096, .prc = 6, .expn = 20},
                   every_tile(1,
                              [] {
                                  Bytes data;
                                  for (int i = 0; i < 4096; ++i)
                                      for (std::uint8_t b : block_packet(61, 0))
                                          data.push_back(b);
                                  return data;
                              }())),
         false},
        {"60000 packets over 4096 blocks never included",
         stream_of({.width = 4096, .height = 4096, .layers = 65535},
                   every_tile(1, Bytes(60000, 0x80))),
         false},
        // Its 9/7 synthesis in 64-bit lanes costs more than the 120 KB of comments buy.
        {"a 16-bit 9/7 tile of 11000 x 11000 with one coded block",
         stream_of({.width = 11000, .height = 11000, .prc = 6, .bits = 16, .irreversible = true},
                   every_tile(1, block_packet(1, 1)),
                   {{0xFF64, Bytes(60000, 1)}, {0xFF64, Bytes(60000, 1)}}),
         false},
        // Each tile makes and gives back 47 MB of level records, a few hundred bytes at a time.
        {"5000 tiles of one sample in 16384 components of 5 levels",
         stream_of({.width = 100,
                    .height = 50,
                    .tilewidth = 1,
                    .tileheight = 1,
                    .comps = 16384,
                    .levels = 5},
                   every_tile(5000, Bytes(1, 0))),
         false},
        // 67M samples: the components' stores lie in a temporary file.
        {"16384 components",
         stream_of({.width = 64, .height = 64, .comps = 16384}, every_tile(1, Bytes(16384, 0))),
         true},
        // Each tile's 16 components come in 8 sizes (sub-sampled), pairs of which are written
        // together.
        {"3800 tiles of 8 x 8 with 16 components in pairs",
         [] {
             Codestream cs;
             cs.main = j2000test::main_header(
                 {.width = 800, .height = 304, .tilewidth = 8, .tileheight = 8, .comps = 16});
             constexpr std::uint8_t kSizes[8][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2},
                                                    {3, 1}, {1, 3}, {4, 1}, {1, 4}};
             for (size_t c = 0; c < 16; ++c)  // XRsiz and YRsiz
                 std::copy_n(kSizes[c / 2], 2, cs.main[0].body.begin() + 37 + 3 * c);
             Bytes data = block_packet(1, 1);
             data.resize(data.size() + 15, 0);
             cs.parts = every_tile(3800, data);
             return cs.serialise();
         }(),
         true},
    };
    for (const auto& c : cases) {
        Bytes copy = c.bytes;
        StreamPtr in = stream_memopen(copy.data(), copy.size());
        DecodeEnv env;
        std::string texts;
        env.diag = Diagnostics([&texts](const std::string& t) { texts = t; });  // the last
        env.decodetile = jpc_dec_tiledecode;
        const double start = cpu_seconds();
        const DecodeResult result = jpc_decode(*in, "", nullptr, env);
        EXPECT_LT(cpu_seconds() - start, kCpuBound) << c.name;
        EXPECT_EQ(result.status == DecodeStatus::Ok, c.decoded) << c.name << ": " << texts;
        EXPECT_EQ(result.overLimits, !c.decoded) << c.name << ": " << texts;
        std::vector<std::int32_t> sample;
        if (result.image && result.image->width_ == 6000) {
            EXPECT_TRUE(image_readcmpt(*result.image, 0, 5999, 5999, 1, 1, sample) == 0 &&
                        sample[0] == 128);
        }
    }
}

// The cancel hook is asked while the iterator walks between two packets: here 8192 precincts of
// component 0, all read already by a progression change, lie before component 1's first packet.
TEST(Decoder, AStopLandsWhileTheIteratorWalks) {
    const Bytes bytes = stream_of(
        {.width = 1024, .height = 512, .comps = 2, .prc = 3, .layers = 2},
        every_tile(1, Bytes(32768, 0)),
        {poc_segment(1, [](int) { return std::array{0, 0, 2, 1, 1, 0}; })});
    struct Hook {
        jpc_cancel_t record;
        int calls = 0, armed = -1;
    } hook;
    hook.record.handle = &hook;
    hook.record.check = [](const jpc_cancel_t* c) {
        auto* h = static_cast<Hook*>(c->handle);
        ++h->calls;
        // The first call after the one before the next packet says stop.
        return h->armed >= 0 && h->calls > h->armed + 1 ? 1 : 0;
    };
    Bytes copy = bytes;
    StreamPtr in = stream_memopen(copy.data(), copy.size());
    DecodeEnv env;
    env.diag = Diagnostics([](const std::string&) {});
    int packets = 0;
    env.on_packet = [&](const PacketInfo&) {
        if (++packets == 2 * 8192)
            hook.armed = hook.calls;
    };
    EXPECT_EQ(jpc_decode(*in, "", &hook.record, env).status, DecodeStatus::Cancelled);
    EXPECT_EQ(packets, 2 * 8192);  // not one packet more: the walk itself stopped
}

// A precinct of a million code-blocks (the 700 KB of comments before it buy its memory) asks
// the cancel hook as its code-blocks and tag trees are made and as its packet header visits them
// (here about every 4096 of each), not only before and after: making and reading it takes a
// tenth of a second.
TEST(Decoder, AHugePrecinctAsksForAStopAsItIsMadeAndRead) {
    const Bytes bytes = stream_of({.width = 4096, .height = 4096, .cblk = 2, .prc = 12},
                                  every_tile(1, Bytes(4, 0x80)),
                                  std::vector<j2000test::Segment>(12, {0xFF64, Bytes(60000, 1)}));
    struct Hook {
        jpc_cancel_t record;
        int calls = 0;
    } hook;
    hook.record.handle = &hook;
    hook.record.check = [](const jpc_cancel_t* c) {
        ++static_cast<Hook*>(c->handle)->calls;
        return 0;
    };
    Bytes copy = bytes;
    StreamPtr in = stream_memopen(copy.data(), copy.size());
    DecodeEnv env;
    env.diag = Diagnostics([](const std::string&) {});
    std::vector<int> callsAtPacket;
    env.on_packet = [&](const PacketInfo&) { callsAtPacket.push_back(hook.calls); };
    EXPECT_EQ(jpc_decode(*in, "", &hook.record, env).status, DecodeStatus::Ok);
    ASSERT_FALSE(callsAtPacket.empty());
    EXPECT_GE(callsAtPacket[0], (1 << 20) / 4096) << callsAtPacket[0];
}

// Damaged input of every kind ends in a status, never in a crash or an out-of-bounds access
// (this test is meant for the sanitizer build).
TEST(Decoder, MutatedStreamsEndInAStatus) {
    std::mt19937 rng(2024);
    for (const char* name : {"c64x48_rlcp_sop_eph.j2k", "g100x70_rpcl_tiles_offsets.j2k",
                             "s40x30_pcrl_subsampled.j2k", "c64x48_cprl_modes.j2k"}) {
        const Bytes original = fixture(name);
        for (int i = 0; i < 150; ++i) {
            Bytes bytes = original;
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits; ++e) {
                const size_t at = rng() % bytes.size();
                bytes[at] = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0xFF : rng());
            }
            if (rng() % 4 == 0)
                bytes.resize(rng() % bytes.size());
            const Outcome out = decode(bytes);
            if (out.result.status != DecodeStatus::Ok) {
                EXPECT_TRUE(out.result.image == nullptr || out.result.tilesdecoded > 0);
            }
        }
    }
}

}  // namespace
}  // namespace j2000
