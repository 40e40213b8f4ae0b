#include "Images/J2000/Decoder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

#include "Images/J2000/DeferredRelease.h"
#include "Images/J2000/SampleScaling.h"
#include "Images/J2000/TileParts.h"

namespace j2000 {

namespace {

constexpr int kMaxTiles = 65535;
constexpr int kMaxPrecision = 16;

// Why a component of a SIZ segment cannot be decoded here; empty when all can.
std::string component_refusal(const jpc_siz_t& siz) {
    for (size_t i = 0; i < siz.comps.size(); ++i) {
        const jpc_sizcomp_t& c = siz.comps[i];
        if (c.hsamp == 0 || c.vsamp == 0)
            return "component " + std::to_string(i) + " has a sub-sampling factor of 0";
        if (c.prec > kMaxPrecision)
            return "component " + std::to_string(i) + " has " + std::to_string(c.prec) +
                   " bits per sample; at most " + std::to_string(kMaxPrecision) + " are supported";
        if (ceil_div(siz.width, c.hsamp) == ceil_div(siz.xoff, c.hsamp) ||
            ceil_div(siz.height, c.vsamp) == ceil_div(siz.yoff, c.vsamp))
            return "component " + std::to_string(i) + " has no samples";
    }
    return {};
}

// ---- Options ----

struct DecodeOptions {
    int debug = 0;
    int maxlyrs = -1;
};

bool is_tag_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Tags are runs of letters, digits and '_' separated by white space, each optionally followed
// by "=value". Anything else ends the parsing; what was read so far stays.
DecodeOptions parse_options(const char* optstr, const Diagnostics& diag) {
    DecodeOptions opts;
    const std::string s = optstr ? optstr : "";
    size_t i = 0;
    for (;;) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        if (i >= s.size() || !is_tag_char(s[i]))
            break;
        const size_t tagstart = i;
        while (i < s.size() && is_tag_char(s[i]))
            ++i;
        const std::string tag = s.substr(tagstart, i - tagstart);
        std::string value;
        if (i < s.size() && s[i] == '=') {
            const size_t valstart = ++i;
            while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i])))
                ++i;
            value = s.substr(valstart, i - valstart);
        } else if (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) {
            break;
        }
        if (tag == "maxlyrs")
            opts.maxlyrs = std::atoi(value.c_str());
        else if (tag == "debug")
            opts.debug = std::atoi(value.c_str());
        else
            diag.printf("warning: ignoring invalid option %s\n", tag.c_str());
    }
    return opts;
}

// ---- Main header ----

const Diagnostics& diag_of(const jpc_dec_t& dec) {
    return dec.env->diag;
}

// A refusal whose reason has just been written: the marker loop adds nothing of its own.
int failed(jpc_dec_t& dec) {
    dec.explained = true;
    return -1;
}

// A refusal for want of resources: the budget says which and how much.
int refused_for_budget(jpc_dec_t& dec, int tileno) {
    if (dec.cancelled || dec.budget.stopped())
        return -1;
    diag_of(dec).printf("tile %d: %s\n", tileno, dec.budget.reason().c_str());
    dec.overlimits = true;
    return failed(dec);
}

// Why this decoder cannot take a SIZ segment; empty when it can.
std::string siz_refusal(const jpc_siz_t& siz) {
    char text[160];
    // ISO/IEC 15444-2 extensions and high-throughput block coding are other decoders' business.
    if (siz.caps & 0xC000)
        std::snprintf(text, sizeof text, "capabilities 0x%04x ask for extensions", siz.caps);
    else if (siz.xoff >= siz.width || siz.yoff >= siz.height || siz.tilexoff > siz.xoff ||
             siz.tileyoff > siz.yoff || std::uint64_t{siz.tilexoff} + siz.tilewidth <= siz.xoff ||
             std::uint64_t{siz.tileyoff} + siz.tileheight <= siz.yoff)
        std::snprintf(text, sizeof text, "the image or tile offsets lie outside the image");
    else if (siz.numcomps > kMaxComponents)
        std::snprintf(text, sizeof text, "%d components; at most %d are allowed", siz.numcomps,
                      kMaxComponents);
    else if (const std::uint64_t tiles =
                 ceil_div(std::int64_t{siz.width} - siz.tilexoff, siz.tilewidth) *
                 ceil_div(std::int64_t{siz.height} - siz.tileyoff, siz.tileheight);
             tiles > kMaxTiles)
        std::snprintf(text, sizeof text, "%llu tiles; at most %d are allowed",
                      static_cast<unsigned long long>(tiles), kMaxTiles);
    else
        return component_refusal(siz);
    return text;
}

// The samples of all components together, saturated at UINT64_MAX; only for a SIZ that
// `siz_refusal` took.
std::uint64_t siz_samples(const jpc_siz_t& siz) {
    std::uint64_t samples = 0;
    for (const jpc_sizcomp_t& c : siz.comps) {
        const std::uint64_t w = ceil_div(siz.width, c.hsamp) - ceil_div(siz.xoff, c.hsamp);
        const std::uint64_t h = ceil_div(siz.height, c.vsamp) - ceil_div(siz.yoff, c.vsamp);
        const std::uint64_t area = w * h;  // both below 2^32: no overflow
        if (area > UINT64_MAX - samples)
            return UINT64_MAX;
        samples += area;
    }
    return samples;
}

void make_tiles(jpc_dec_t& dec) {
    dec.tiles.resize(static_cast<size_t>(dec.numtiles));
    for (int t = 0; t < dec.numtiles; ++t) {
        jpc_dec_tile_t& tile = dec.tiles[static_cast<size_t>(t)];
        const std::int64_t p = t % dec.numhtiles, q = t / dec.numhtiles;
        tile.xstart = std::max<std::int64_t>(dec.tilexoff + p * dec.tilewidth, dec.xstart);
        tile.ystart = std::max<std::int64_t>(dec.tileyoff + q * dec.tileheight, dec.ystart);
        tile.xend = std::min<std::int64_t>(dec.tilexoff + (p + 1) * dec.tilewidth, dec.xend);
        tile.yend = std::min<std::int64_t>(dec.tileyoff + (q + 1) * dec.tileheight, dec.yend);
        tile.budget = &dec.budget;
    }
}

int dec_process_siz(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_siz_t& siz = std::get<jpc_siz_t>(ms.parms);
    if (const std::string why = siz_refusal(siz); !why.empty()) {
        diag_of(dec).printf("SIZ: %s\n", why.c_str());
        return failed(dec);
    }
    // A stream that is sound but larger than the caller allows is told apart, so that the
    // caller can report a lack of memory rather than a broken file.
    if (const std::uint64_t samples = siz_samples(siz); samples > dec.env->limits.maxsamples) {
        diag_of(dec).printf("image of %llu samples exceeds the limit of %llu samples\n",
                            static_cast<unsigned long long>(samples),
                            static_cast<unsigned long long>(dec.env->limits.maxsamples));
        dec.overlimits = true;
        return failed(dec);
    }
    dec.xstart = siz.xoff;
    dec.ystart = siz.yoff;
    dec.xend = siz.width;
    dec.yend = siz.height;
    dec.tilewidth = siz.tilewidth;
    dec.tileheight = siz.tileheight;
    dec.tilexoff = siz.tilexoff;
    dec.tileyoff = siz.tileyoff;
    dec.numcomps = siz.numcomps;
    dec.cp = jpc_dec_cp_t{};
    dec.cp.ccps.resize(siz.numcomps);
    std::vector<image_cmptparm_t> parms;
    for (const jpc_sizcomp_t& c : siz.comps) {
        jpc_dec_cmpt_t& cmpt = dec.cmpts.emplace_back();
        cmpt.width =
            static_cast<std::uint32_t>(ceil_div(siz.width, c.hsamp) - ceil_div(siz.xoff, c.hsamp));
        cmpt.height =
            static_cast<std::uint32_t>(ceil_div(siz.height, c.vsamp) - ceil_div(siz.yoff, c.vsamp));
        cmpt.siz = {c.hsamp, c.vsamp, c.prec, c.sgnd != 0};
        parms.push_back({cmpt.width, cmpt.height, c.prec, c.sgnd != 0, c.hsamp, c.vsamp});
    }
    const std::uint32_t width = siz.width - siz.xoff, height = siz.height - siz.yoff;
    if (dec.env->accept_image && !dec.env->accept_image(width, height, parms)) {
        diag_of(dec).printf("the caller does not take this image\n");
        return failed(dec);
    }
    // Every component has samples: only memory or a temporary file can be short.
    dec.image = image_create(width, height, parms, 0);
    if (!dec.image) {
        diag_of(dec).printf("out of memory: the image's stores cannot be made\n");
        dec.overlimits = true;
        return failed(dec);
    }
    dec.numhtiles =
        static_cast<int>(ceil_div(std::int64_t{siz.width} - siz.tilexoff, siz.tilewidth));
    dec.numvtiles =
        static_cast<int>(ceil_div(std::int64_t{siz.height} - siz.tileyoff, siz.tileheight));
    dec.numtiles = dec.numhtiles * dec.numvtiles;
    make_tiles(dec);
    dec.state = kStateMainHeader;
    return 0;
}

// The parameters a COD, COC, QCD, QCC, RGN or POC goes to: the main header's, or the current
// tile's while its first tile-part header is read.
jpc_dec_cp_t* target_cp(jpc_dec_t& dec) {
    if (dec.state == kStateMainHeader)
        return &dec.cp;
    if (dec.curtile < 0)
        return nullptr;
    jpc_dec_tile_t& tile = dec.tiles[static_cast<size_t>(dec.curtile)];
    return tile.partno == 0 ? &tile.cp : nullptr;
}

bool compno_valid(const jpc_dec_t& dec, int compno, const char* segment) {
    if (compno < dec.numcomps)
        return true;
    diag_of(dec).printf("invalid component number in %s marker segment\n", segment);
    return false;
}

// A segment's values this decoder refuses, with the reason the parameters gave.
int refused_values(jpc_dec_t& dec, const char* segment, const std::string& why) {
    diag_of(dec).printf("%s: %s\n", segment, why.c_str());
    return failed(dec);
}

int dec_process_cod(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_cod_t& cod = std::get<jpc_cod_t>(ms.parms);
    jpc_dec_cp_t* cp = target_cp(dec);
    if (!cp)
        return -1;
    if (cod.prg > CPRL)
        return refused_values(dec, "COD",
                              "progression order " + std::to_string(cod.prg) + " is not known");
    std::string why;
    return cp_setfromcod(*cp, cod, &why) ? 0 : refused_values(dec, "COD", why);
}

int dec_process_coc(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_coc_t& coc = std::get<jpc_coc_t>(ms.parms);
    if (!compno_valid(dec, coc.compno, "COC"))
        return -1;
    jpc_dec_cp_t* cp = target_cp(dec);
    if (!cp)
        return -1;
    std::string why;
    return cp_setfromcoc(*cp, coc, &why) ? 0 : refused_values(dec, "COC", why);
}

int dec_process_qcd(jpc_dec_t& dec, const jpc_ms_t& ms) {
    jpc_dec_cp_t* cp = target_cp(dec);
    if (!cp)
        return -1;
    std::string why;
    return cp_setfromqcd(*cp, std::get<jpc_qcd_t>(ms.parms), &why)
               ? 0
               : refused_values(dec, "QCD", why);
}

int dec_process_qcc(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_qcc_t& qcc = std::get<jpc_qcc_t>(ms.parms);
    if (!compno_valid(dec, qcc.compno, "QCC"))
        return -1;
    jpc_dec_cp_t* cp = target_cp(dec);
    if (!cp)
        return -1;
    std::string why;
    return cp_setfromqcc(*cp, qcc, &why) ? 0 : refused_values(dec, "QCC", why);
}

int dec_process_rgn(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_rgn_t& rgn = std::get<jpc_rgn_t>(ms.parms);
    if (!compno_valid(dec, rgn.compno, "RGN"))
        return -1;
    jpc_dec_cp_t* cp = target_cp(dec);
    if (!cp)
        return -1;
    cp_setfromrgn(*cp, rgn);
    return 0;
}

// A POC of a later tile-part adds its changes to the tile's progression, already running.
int dec_process_poc(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_poc_t& poc = std::get<jpc_poc_t>(ms.parms);
    for (const jpc_pocpchg_t& p : poc.pchgs)
        if (p.prgord > CPRL)
            return -1;
    if (dec.state == kStateMainHeader) {
        cp_setfrompoc(dec.cp, poc, false);
        return 0;
    }
    if (dec.curtile < 0)
        return -1;
    jpc_dec_tile_t& tile = dec.tiles[static_cast<size_t>(dec.curtile)];
    const size_t before = tile.cp.pchglist.size();
    const bool inherited = tile.cp.pchglist_inherited;
    cp_setfrompoc(tile.cp, poc, tile.partno > 0);
    if (tile.pi) {
        const size_t from = inherited ? 0 : before;
        for (size_t i = from; i < tile.cp.pchglist.size(); ++i)
            tile.pi->addpchg(tile.cp.pchglist[i]);
    }
    return 0;
}

int dec_process_ppm(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_ppm_t& ppm = std::get<jpc_ppm_t>(ms.parms);
    if (ppm.ind != dec.ppmseqno)
        return -1;
    size_t i = 0;
    // A header begun in the previous PPM continues at the end of that tile-part's stream.
    if (ppm.firstpartial && !ppm.pkthdrs.empty() && !dec.pkthdrstreams.empty()) {
        stream_t& last = *dec.pkthdrstreams.back();
        const auto& piece = ppm.pkthdrs[0];
        const std::int64_t pos = last.tell();
        if (last.seek(0, SeekOrigin::End) < 0 ||
            last.write(piece.data(), static_cast<long>(piece.size())) !=
                static_cast<long>(piece.size()) ||
            last.seek(pos, SeekOrigin::Set) < 0)
            return -1;
        i = 1;
    }
    for (; i < ppm.pkthdrs.size(); ++i) {
        StreamPtr s = stream_memopen();
        const auto& piece = ppm.pkthdrs[i];
        if (!s ||
            s->write(piece.data(), static_cast<long>(piece.size())) !=
                static_cast<long>(piece.size()) ||
            s->rewind() < 0)
            return -1;
        dec.pkthdrstreams.push_back(std::move(s));
    }
    ++dec.ppmseqno;
    return 0;
}

// ---- Tile-parts ----

// Appends packed headers behind whatever the tile has not read yet.
bool append_headers(jpc_dec_tile_t& tile, const std::uint8_t* data, size_t n) {
    if (!tile.pkthdrstream && !(tile.pkthdrstream = stream_memopen()))
        return false;
    stream_t& s = *tile.pkthdrstream;
    const std::int64_t pos = s.tell();
    return pos >= 0 && s.seek(0, SeekOrigin::End) >= 0 &&
           s.write(data, static_cast<long>(n)) == static_cast<long>(n) &&
           s.seek(pos, SeekOrigin::Set) >= 0;
}

int dec_process_ppt(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_ppt_t& ppt = std::get<jpc_ppt_t>(ms.parms);
    if (dec.curtile < 0)
        return -1;
    jpc_dec_tile_t& tile = dec.tiles[static_cast<size_t>(dec.curtile)];
    if (ppt.ind != tile.pptseqno)
        return -1;
    if (!append_headers(tile, ppt.data.data(), ppt.data.size()))
        return -1;
    ++tile.pptseqno;
    return 0;
}

// What a tile's own coding parameters hold once copied from the main header's.
std::uint64_t cp_bytes(const jpc_dec_cp_t& cp) {
    std::uint64_t bytes = sizeof cp + cp.pchglist.size() * sizeof(jpc_pchg_t);
    for (const jpc_dec_ccp_t& ccp : cp.ccps)
        bytes += sizeof ccp + ccp.stepsizes.size() * sizeof(std::uint16_t);
    return bytes;
}

int dec_process_sot(jpc_dec_t& dec, const jpc_ms_t& ms) {
    const jpc_sot_t& sot = std::get<jpc_sot_t>(ms.parms);
    // Psot counts from the first byte of the SOT marker; 12 bytes of SOT and 2 of SOD at least.
    if (sot.len != 0 && sot.len < 14) {
        diag_of(dec).printf("SOT: a tile-part of %u bytes cannot hold its own header\n",
                            static_cast<unsigned>(sot.len));
        return failed(dec);
    }
    dec.curtileendoff = sot.len == 0 ? 0 : dec.in->tell() - ms.len - 4 + sot.len;
    if (sot.tileno >= dec.numtiles) {
        diag_of(dec).printf("invalid tile number in SOT marker segment\n");
        return failed(dec);
    }
    dec.curtile = sot.tileno;
    jpc_dec_tile_t& tile = dec.tiles[sot.tileno];
    if (dec_checktilepart(dec, sot, tile) < 0)
        return -1;
    if (tile.numparts == 0 && sot.numparts > 0)
        tile.numparts = sot.numparts;
    if (tile.state == jpc_dec_tile_t::kNotStarted) {
        // A tile held until its last tile-part holds its own coding parameters meanwhile, a
        // record per component to make and give back.
        const std::uint64_t bytes = cp_bytes(dec.cp);
        if (!tile.take(bytes, "the tile's coding parameters") ||
            !tile.spend(bytes * work::kStructureByte, "the tile's coding parameters"))
            return refused_for_budget(dec, sot.tileno);
        tile.state = jpc_dec_tile_t::kActive;
        tile.cp = cp_fortile(dec.cp);
    } else if (tile.numparts > 0 && tile.partno >= tile.numparts - 1) {
        tile.state = jpc_dec_tile_t::kLastPart;
    }
    dec.state = kStateTilePartHeader;
    return 0;
}

int tile_number(const jpc_dec_t& dec, const jpc_dec_tile_t& tile) {
    return static_cast<int>(&tile - dec.tiles.data());
}

// Reconstruction costs about the same per sample whatever the coefficients (more where the 9/7
// lifting needs 64-bit lanes), and is paid for before its planes are made; a tile without coded
// data costs no more than its writing.
int dec_tile_decode(jpc_dec_t& dec, jpc_dec_tile_t& tile) {
    if (dec.env->decodetile) {
        std::uint64_t units = 0;
        if (tile_hascodeddata(tile))
            for (const jpc_dec_tcomp_t& tc : tile.tcomps) {
                const bool wide = tc.qmfbid == 0 && NeedsWideLifting(tc.prec);
                units += static_cast<std::uint64_t>(tc.xend - tc.xstart) *
                             static_cast<std::uint64_t>(tc.yend - tc.ystart) *
                             (wide ? work::kSynthesisWide : work::kSynthesis) +
                         static_cast<std::uint64_t>(tc.yend - tc.ystart) * work::kStoreRow;
            }
        if (!dec.budget.spend(units, "reconstruction"))
            return refused_for_budget(dec, tile_number(dec, tile));
        if (dec.env->decodetile(dec, tile) < 0)
            return -1;
    }
    ++dec.tilesdecoded;
    return 0;
}

std::vector<jpc_sizcmpt_t> siz_components(const jpc_dec_t& dec) {
    std::vector<jpc_sizcmpt_t> out;
    for (const jpc_dec_cmpt_t& c : dec.cmpts)
        out.push_back(c.siz);
    return out;
}

// Every tile that has begun is reconstructed from what it has; every tile is released.
int decode_held_tiles(jpc_dec_t& dec) {
    for (jpc_dec_tile_t& tile : dec.tiles) {
        const bool begun =
            tile.state == jpc_dec_tile_t::kActive || tile.state == jpc_dec_tile_t::kLastPart;
        if (begun && tile.pi && dec_tile_decode(dec, tile) < 0)
            return -1;
        tile_release(tile);
    }
    return 0;
}

// The codestream ended before its EOC: the tiles take what arrived.
int end_of_data(jpc_dec_t& dec) {
    diag_of(dec).printf("warning: the codestream ends early; the tiles keep what arrived\n");
    dec.partial = true;
    if (decode_held_tiles(dec) < 0)
        return -1;
    dec.state = kStateDone;
    return 1;
}

int read_tile_part_packets(jpc_dec_t& dec, jpc_dec_tile_t& tile) {
    Tier2Options t2;
    t2.diag = &diag_of(dec);
    t2.maxlyrs = dec.maxlyrs;
    t2.on_packet = dec.env->on_packet;
    t2.cancelled = [&dec] {
        dec.cancelled =
            dec.cancelled || (dec.cancel && dec.cancel->check && dec.cancel->check(dec.cancel));
        return dec.cancelled;
    };
    switch (dec_decodepkts(tile, tile.pkthdrstream.get(), *dec.in,
                           dec.curtileendoff > 0 ? dec.curtileendoff : -1, t2)) {
        case Tier2Status::Ok:
            return dec_finishtilepart(dec, tile);
        case Tier2Status::Cut:
            // The tile keeps what came before the cut; at the end of the codestream so does
            // every other tile, else the codestream goes on after this tile-part.
            dec.partial = true;
            if (dec.in->eof())
                return end_of_data(dec);
            return dec_skiptilepart(dec) < 0 ? end_of_data(dec) : 0;
        case Tier2Status::Cancelled:
            return -1;
        case Tier2Status::Refused:
            return refused_for_budget(dec, tile_number(dec, tile));
        case Tier2Status::Failed:
            break;
    }
    diag_of(dec).printf("dec_decodepkts failed\n");
    dec_explainemptylevel(dec, tile);
    return failed(dec);
}

// Packed headers of PPM, one tile-part's worth, go behind what the tile has not read yet.
int take_ppm_headers(jpc_dec_t& dec, jpc_dec_tile_t& tile) {
    if (dec.pkthdrstreams.empty())
        return 0;
    StreamPtr ppm = std::move(dec.pkthdrstreams.front());
    dec.pkthdrstreams.pop_front();
    std::vector<std::uint8_t> bytes;
    for (int c; (c = ppm->getc()) != EOF_;)
        bytes.push_back(static_cast<std::uint8_t>(c));
    return append_headers(tile, bytes.data(), bytes.size()) ? 0 : -1;
}

int dec_process_sod(jpc_dec_t& dec, const jpc_ms_t&) {
    if (dec.curtile < 0)
        return -1;
    jpc_dec_tile_t& tile = dec.tiles[static_cast<size_t>(dec.curtile)];
    if (tile.partno == 0) {
        if (!cp_complete(tile.cp)) {
            diag_of(dec).printf(
                "tile %d: COD or QCD is missing, or a component's step sizes "
                "do not cover its bands\n",
                dec.curtile);
            return failed(dec);
        }
        std::string why;
        if (!tile_setup(tile, siz_components(dec), &why)) {
            if (dec.budget.exceeded())
                return refused_for_budget(dec, dec.curtile);
            if (why.empty())
                return -1;
            diag_of(dec).printf("tile %d: %s\n", dec.curtile, why.c_str());
            return failed(dec);
        }
    }
    if (take_ppm_headers(dec, tile) < 0)
        return -1;
    if (tile.dataended) {
        if (dec_skiptilepart(dec) < 0)
            return end_of_data(dec);
    } else if (const int ret = read_tile_part_packets(dec, tile); ret != 0) {
        return ret;
    }
    if (dec_lasttilepart(dec, tile)) {
        if (dec_tile_decode(dec, tile) < 0)
            return -1;
        tile_release(tile);
    }
    dec.curtile = -1;
    ++tile.partno;
    dec.state = kStateTilePartOrEoc;
    return 0;
}

int dec_process_eoc(jpc_dec_t& dec, const jpc_ms_t&) {
    if (decode_held_tiles(dec) < 0)
        return -1;
    dec.state = kStateDone;
    return 1;
}

int dec_ignore_crg(jpc_dec_t& dec, const jpc_ms_t&) {
    diag_of(dec).printf("warning: ignoring CRG marker segment\n");
    return 0;
}

int dec_ignore_com(jpc_dec_t& dec, const jpc_ms_t& ms) {
    diag_of(dec).printf("warning: ignoring CME marker segment\n");
    jpc_ms_dump(ms, diag_of(dec));
    return 0;
}

int dec_ignore_unknown(jpc_dec_t& dec, const jpc_ms_t& ms) {
    diag_of(dec).printf("warning: ignoring unknown marker segment\n");
    jpc_ms_dump(ms, diag_of(dec));
    return 0;
}

int dec_process_soc(jpc_dec_t& dec, const jpc_ms_t&) {
    dec.state = kStateSiz;
    return 0;
}

struct jpc_dec_mstabent_t {
    int id;  // 0: any marker not listed
    int validstates;
    int (*action)(jpc_dec_t&, const jpc_ms_t&);
};

constexpr int kMain = kStateMainHeader, kTile = kStateTilePartHeader;

// Which marker is accepted in which state, and what it does.
constexpr jpc_dec_mstabent_t dec_mstab[] = {
    {JPC_MS_SOC, kStateSoc, dec_process_soc},
    {JPC_MS_SOT, kMain | kStateTilePartOrEoc, dec_process_sot},
    {JPC_MS_SOD, kTile, dec_process_sod},
    {JPC_MS_EOC, kStateTilePartOrEoc, dec_process_eoc},
    {JPC_MS_SIZ, kStateSiz, dec_process_siz},
    {JPC_MS_COD, kMain | kTile, dec_process_cod},
    {JPC_MS_COC, kMain | kTile, dec_process_coc},
    {JPC_MS_RGN, kMain | kTile, dec_process_rgn},
    {JPC_MS_QCD, kMain | kTile, dec_process_qcd},
    {JPC_MS_QCC, kMain | kTile, dec_process_qcc},
    {JPC_MS_POC, kMain | kTile, dec_process_poc},
    {JPC_MS_TLM, kMain, nullptr},
    {JPC_MS_PLM, kMain, nullptr},
    {JPC_MS_PLT, kTile, nullptr},
    {JPC_MS_PPM, kMain, dec_process_ppm},
    {JPC_MS_PPT, kTile, dec_process_ppt},
    {JPC_MS_SOP, 0, nullptr},
    {JPC_MS_CRG, kMain, dec_ignore_crg},
    {JPC_MS_COM, kMain | kTile, dec_ignore_com},
    {0, kMain | kTile, dec_ignore_unknown},
};

const jpc_dec_mstabent_t& dec_mstab_lookup(int id) {
    for (const jpc_dec_mstabent_t& row : dec_mstab)
        if (row.id == id || row.id == 0)
            return row;
    return dec_mstab[std::size(dec_mstab) - 1];
}

bool check_cancel(jpc_dec_t& dec) {
    if (!dec.cancelled && dec.cancel && dec.cancel->check && dec.cancel->check(dec.cancel))
        dec.cancelled = true;
    return dec.cancelled;
}

// Whether a marker segment that could not be read was cut off by the end of the codestream
// after some tile began: then the tiles take what arrived.
bool ended_inside_tiles(const jpc_dec_t& dec) {
    return dec.in->eof() && (dec.state == kStateTilePartOrEoc || dec.state == kStateTilePartHeader);
}

int dec_decode(jpc_dec_t& dec) {
    if (check_cancel(dec))
        return -1;
    dec.state = kStateSoc;
    for (;;) {
        if (check_cancel(dec))
            return -1;
        MarkerSegmentPtr ms = jpc_getms(*dec.in, dec.cstate, diag_of(dec));
        if (!ms) {
            if (ended_inside_tiles(dec))
                return end_of_data(dec) < 0 ? -1 : 0;
            diag_of(dec).printf("cannot get marker segment\n");
            return -1;
        }
        dec.budget.setbytes(static_cast<std::uint64_t>(std::max<std::int64_t>(dec.in->tell(), 0)));
        const jpc_dec_mstabent_t& row = dec_mstab_lookup(ms->id);
        if (!(dec.state & row.validstates)) {
            diag_of(dec).printf("unexpected marker segment type\n");
            return -1;
        }
        const int ret = row.action ? row.action(dec, *ms) : 0;
        if (ret < 0) {
            // Many refusals are checks of one field; naming the segment says where the
            // stream went wrong when the check itself has nothing more to say.
            if (!dec.cancelled && !dec.explained)
                diag_of(dec).printf("cannot decode the stream at its %s marker segment\n",
                                    ms->ops->name);
            return -1;
        }
        if (ret > 0)
            return 0;
    }
}

// The value every sample of a component with only zero coefficients takes: the level shift of
// an unsigned component, 0 for a signed one.
std::int32_t constant_sample(const jpc_dec_tcomp_t& tc) {
    return tc.sgnd ? 0 : std::int32_t{1} << (tc.prec - 1);
}

// Writing a constant costs its bytes, and a write per row unless the rows are as wide as the
// component and so follow each other in the store.
std::uint64_t fill_units(const image_t& image, int cmptno, std::int64_t x, std::int64_t w,
                         std::int64_t h) {
    const image_cmpnt_t& c = *image.cmpts[static_cast<size_t>(cmptno)];
    const bool run = x == 0 && w == c.width_;
    return static_cast<std::uint64_t>(w * h * c.cps) * work::kStoreByte +
           static_cast<std::uint64_t>(run ? 1 : h) * work::kStoreRow;
}

// What the decode built goes to the deferred release: a large picture's planes, stores and
// tiles take tens of milliseconds to give back, which a stop cannot wait for. Without memory for
// the hand-over they go with the decoder.
void release_structures(jpc_dec_t& dec) {
    release_later(std::move(dec.reconstruction));
    release_later(std::move(dec.image));
    try {
        release_later(std::make_unique<std::vector<jpc_dec_tile_t>>(std::move(dec.tiles)));
    } catch (const std::bad_alloc&) {
    }
}

// The caller's work on the finished picture is paid like the decode's own, once the whole
// codestream has bought its allowance. False when the budget refuses (or a stop is asked for).
bool pay_for_picture(jpc_dec_t& dec) {
    const std::uint64_t perpixel = dec.env->limits.pictureunits;
    if (perpixel == 0 || !dec.image)
        return true;
    const std::uint64_t pixels = std::uint64_t{dec.image->width_} * dec.image->height_;
    const std::uint64_t units = pixels > UINT64_MAX / perpixel ? UINT64_MAX : pixels * perpixel;
    if (dec.budget.spend(units, "making the picture"))
        return true;
    if (!dec.budget.stopped()) {
        diag_of(dec).printf("%s\n", dec.budget.reason().c_str());
        dec.overlimits = true;
    }
    return false;
}

}  // namespace

int dec_writeconstanttile(jpc_dec_t& dec, const jpc_dec_tile_t& tile) {
    const std::function<bool()> stopped = [&dec] { return check_cancel(dec); };
    for (size_t i = 0; i < tile.tcomps.size(); ++i) {
        const jpc_dec_tcomp_t& tc = tile.tcomps[i];
        if (tc.xend <= tc.xstart || tc.yend <= tc.ystart)
            continue;
        const jpc_dec_cmpt_t& cmpt = dec.cmpts[i];
        const std::int64_t x = tc.xstart - ceil_div(dec.xstart, cmpt.siz.hsamp);
        const std::int64_t y = tc.ystart - ceil_div(dec.ystart, cmpt.siz.vsamp);
        const int cmptno = static_cast<int>(i);
        if (x >= 0 && !dec.budget.spend(fill_units(*dec.image, cmptno, x, tc.xend - tc.xstart,
                                                   tc.yend - tc.ystart),
                                        "writing a tile without coded data"))
            return refused_for_budget(dec, tile_number(dec, tile));
        if (x < 0 || y < 0 ||
            image_fillcmpt(
                *dec.image, cmptno, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                static_cast<std::uint32_t>(tc.xend - tc.xstart),
                static_cast<std::uint32_t>(tc.yend - tc.ystart), constant_sample(tc), stopped) != 0)
            return -1;
    }
    return 0;
}

DecodeResult jpc_decode(stream_t& in, const char* optstr, const jpc_cancel_t* cancel,
                        const DecodeEnv& env) {
    DecodeResult result;
    const DecodeOptions opts = parse_options(optstr, env.diag);
    DecodeEnv local = env;
    local.diag.debug = opts.debug;
    jpc_dec_t dec;
    dec.in = &in;
    dec.maxlyrs = opts.maxlyrs;
    dec.cancel = cancel;
    dec.env = &local;
    dec.budget = DecodeBudget(env.limits);
    dec.budget.setstop([&dec] { return check_cancel(dec); });
    int ret = -1;
    // Whatever the budget lets through may still find the memory short: that ends this decode,
    // never the program.
    try {
        ret = dec_decode(dec);
        // The tiles finished before a failure are handed back too, and so made a picture of.
        if (!dec.cancelled && !dec.overlimits && dec.tilesdecoded > 0 && !pay_for_picture(dec))
            ret = -1;
    } catch (const std::bad_alloc&) {
        local.diag.printf("out of memory\n");
        dec.overlimits = true;
    } catch (const std::length_error&) {
        local.diag.printf("out of memory\n");
        dec.overlimits = true;
    }
    result.tilesdecoded = dec.tilesdecoded;
    result.overLimits = dec.overlimits;
    result.partial = dec.partial;
    result.status = dec.cancelled ? DecodeStatus::Cancelled
                    : ret < 0     ? DecodeStatus::Failed
                                  : DecodeStatus::Ok;
    if (result.status == DecodeStatus::Ok && dec.tilesdecoded == 0)
        result.status = DecodeStatus::Failed;
    if (dec.tilesdecoded > 0)
        result.image = std::move(dec.image);
    release_structures(dec);
    return result;
}

DecodeResult jpc_decode(stream_t& in, const char* optstr) {
    return jpc_decode(in, optstr, nullptr, DecodeEnv{});
}

}  // namespace j2000
