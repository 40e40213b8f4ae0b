#include "Images/J2000/PacketDecoder.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "Images/J2000/BitStream.h"
#include "Images/J2000/MarkerSegment.h"
#include "Images/J2000/T1Tables.h"

namespace j2000 {

namespace {

constexpr int kUnboundedPasses = INT_MAX / 4;

// Body bytes of one code-block contribution: into `seg` of `cblk`, or skipped (excluded layer).
struct Piece {
    jpc_dec_cblk_t* cblk;
    int seg;  // -1: skip
    std::uint32_t len;
};

int floorlog2(int n) {
    int l = 0;
    while (n > 1) {
        n >>= 1;
        ++l;
    }
    return l;
}

// T.800 Table B.4.
int read_numpasses(bitstream_t& in) {
    long v;
    if ((v = in.getbit()) <= 0)
        return v < 0 ? -1 : 1;
    if ((v = in.getbit()) <= 0)
        return v < 0 ? -1 : 2;
    if ((v = in.getbits(2)) < 0)
        return -1;
    if (v < 3)
        return 3 + static_cast<int>(v);
    if ((v = in.getbits(5)) < 0)
        return -1;
    if (v < 31)
        return 6 + static_cast<int>(v);
    if ((v = in.getbits(7)) < 0)
        return -1;
    return 37 + static_cast<int>(v);
}

// The end (exclusive) of the segment holding pass `p`.
int segment_end(int p, int first, std::uint8_t cblkctx, int lastpass) {
    int s = first;
    for (;;) {
        const int n = jpc_segpasscnt(s, first, kUnboundedPasses, cblkctx & kCblkBypass,
                                     cblkctx & kCblkTermAll);
        if (p < s + n || s + n >= lastpass)
            return std::min(s + n, lastpass);
        s += n;
    }
}

// Peeks at the next two bytes without consuming them; -1 when fewer are left.
int peek_marker(stream_t& in) {
    const int a = in.getc();
    if (a == EOF_)
        return -1;
    const int b = in.getc();
    if (b == EOF_) {
        in.ungetc(a);
        return -1;
    }
    in.ungetc(b);
    in.ungetc(a);
    return a << 8 | b;
}

class PacketReader {
  public:
    PacketReader(jpc_dec_tile_t& tile, stream_t& hdr, stream_t& body, std::int64_t endoff,
                 const Tier2Options& options)
        : tile_(tile), hdr_(hdr), body_(body), endoff_(endoff), opt_(options) {}

    bool read_packet(PacketInfo& info);

  private:
    bool read_sop();
    bool read_header_and_eph(int compno, int rlvlno, int prcno, int lyrno);
    bool read_header(bitstream_t& bits, int compno, int rlvlno, int prcno, int lyrno);
    bool read_cblk(bitstream_t& bits, jpc_dec_prc_t& prc, int leaf, const jpc_dec_band_t& band,
                   std::uint8_t cblkctx, int lyrno);
    bool add_passes(bitstream_t& bits, jpc_dec_cblk_t& cb, int newpasses, int lastpass,
                    std::uint8_t cblkctx, int lyrno);
    bool read_eph();
    bool read_body();
    void warn(const char* text) const {
        if (opt_.diag)
            opt_.diag->write(text);
    }

    jpc_dec_tile_t& tile_;
    stream_t& hdr_;
    stream_t& body_;
    std::int64_t endoff_;
    const Tier2Options& opt_;
    std::vector<Piece> pieces_;
};

bool PacketReader::read_packet(PacketInfo& info) {
    pieces_.clear();
    if ((tile_.cp.csty & kCodSop) && !read_sop())
        return false;
    info.hdrstart = hdr_.tell();
    if (!read_header_and_eph(info.compno, info.rlvlno, info.prcno, info.lyrno))
        return false;
    info.hdrend = hdr_.tell();
    // A header read from the tile-part itself must end inside it.
    if (&hdr_ == &body_ && endoff_ >= 0 && info.hdrend > endoff_) {
        warn("warning: not enough tile data\n");
        return false;
    }
    return read_body();
}

bool PacketReader::read_header_and_eph(int compno, int rlvlno, int prcno, int lyrno) {
    bitstream_t bits(hdr_);
    const int present = bits.getbit();
    if (present < 0)
        return false;
    if (present == 0) {
        warn("warning: empty packet\n");
        if (bits.inalign(0x7F, 0) != 0)
            return false;
    } else {
        if (!read_header(bits, compno, rlvlno, prcno, lyrno) || bits.inalign(0, 0) < 0)
            return false;
    }
    return !(tile_.cp.csty & kCodEph) || read_eph();
}

// SOP segments are allowed, not required, before each packet of the body.
bool PacketReader::read_sop() {
    if (peek_marker(body_) != JPC_MS_SOP)
        return true;
    std::uint16_t marker, length, seqno;
    if (jpc_getuint16(body_, &marker) < 0 || jpc_getuint16(body_, &length) < 0 || length != 4 ||
        jpc_getuint16(body_, &seqno) < 0) {
        warn("missing SOP marker segment\n");
        return false;
    }
    return true;
}

bool PacketReader::read_eph() {
    std::uint16_t marker;
    if (jpc_getuint16(hdr_, &marker) < 0) {
        warn("cannot get (EPH) marker segment\n");
        return false;
    }
    if (marker != JPC_MS_EPH) {
        warn("missing EPH marker segment\n");
        return false;
    }
    return true;
}

bool PacketReader::read_header(bitstream_t& bits, int compno, int rlvlno, int prcno, int lyrno) {
    jpc_dec_tcomp_t& tc = tile_.tcomps[static_cast<size_t>(compno)];
    jpc_dec_rlvl_t& rl = tc.rlvls[static_cast<size_t>(rlvlno)];
    for (jpc_dec_band_t& band : rl.bands) {
        jpc_dec_prc_t& prc = band.prcs[static_cast<size_t>(prcno)];
        for (int leaf = 0; leaf < static_cast<int>(prc.cblks.size()); ++leaf)
            if (!read_cblk(bits, prc, leaf, band, tc.cblkctx, lyrno))
                return false;
    }
    return true;
}

bool PacketReader::read_cblk(bitstream_t& bits, jpc_dec_prc_t& prc, int leaf,
                             const jpc_dec_band_t& band, std::uint8_t cblkctx, int lyrno) {
    jpc_dec_cblk_t& cb = prc.cblks[static_cast<size_t>(leaf)];
    const int included =
        cb.firstpassno >= 0 ? bits.getbit() : prc.incltagtree->decode(leaf, lyrno + 1, bits);
    if (included <= 0)
        return included == 0;
    const int planes = band.numbps + band.roishift;
    if (cb.firstpassno < 0) {
        int t = 1;
        for (;; ++t) {
            const int below = prc.numimsbstagtree->decode(leaf, t, bits);
            if (below < 0)
                return false;
            if (t > planes) {
                warn("code-block has more missing bit-planes than its band\n");
                return false;
            }
            if (below)
                break;
        }
        cb.numimsbs = t - 1;
        cb.firstpassno = 3 * cb.numimsbs;
    }
    const int newpasses = read_numpasses(bits);
    if (newpasses < 0)
        return false;
    // The passes the band's bit-planes allow after the missing ones (T.800 D.2).
    const int lastpass = cb.firstpassno + 3 * (planes - cb.numimsbs) - 2;
    if (cb.firstpassno + cb.numpasses + newpasses > lastpass) {
        warn("code-block has more coding passes than its bit-planes\n");
        return false;
    }
    return add_passes(bits, cb, newpasses, lastpass, cblkctx, lyrno);
}

// Spreads the new passes over segments (one length field per segment touched) and notes the
// body bytes each receives. Packets of excluded layers are parsed the same way but only skip.
bool PacketReader::add_passes(bitstream_t& bits, jpc_dec_cblk_t& cb, int newpasses, int lastpass,
                              std::uint8_t cblkctx, int lyrno) {
    int lblock_inc = 0;
    for (int bit; (bit = bits.getbit()) != 0; ++lblock_inc)
        if (bit < 0)
            return false;
    cb.numlenbits += lblock_inc;
    const bool keep = opt_.maxlyrs < 0 || lyrno < opt_.maxlyrs;
    int p = cb.firstpassno + cb.numpasses;
    int left = newpasses;
    while (left > 0) {
        const int end = segment_end(p, cb.firstpassno, cblkctx, lastpass);
        const int n = std::min(end - p, left);
        const int nbits = cb.numlenbits + floorlog2(n);
        if (nbits > 31)
            return false;
        const long len = bits.getbits(nbits);
        if (len < 0)
            return false;
        int segno = -1;
        if (keep) {
            if (cb.curseg == cb.segs.size()) {
                jpc_dec_seg_t& seg = cb.segs.emplace_back();
                seg.passno = p;
                seg.maxpasses = end - p;
                seg.type =
                    static_cast<SegmentType>(jpc_segtype(p, cb.firstpassno, cblkctx & kCblkBypass));
            }
            jpc_dec_seg_t& seg = cb.segs[cb.curseg];
            seg.numpasses += n;
            seg.lyrno = lyrno;
            seg.cnt = static_cast<std::uint32_t>(len);
            segno = static_cast<int>(cb.curseg);
            if (seg.numpasses == seg.maxpasses) {
                seg.complete = true;
                ++cb.curseg;
            }
        }
        pieces_.push_back({&cb, segno, static_cast<std::uint32_t>(len)});
        p += n;
        left -= n;
    }
    cb.numpasses += newpasses;
    return true;
}

bool PacketReader::read_body() {
    if (pieces_.empty())
        return true;
    // Bytes left in the tile-part; asked once, as a file stream answers with a system call.
    std::int64_t left = endoff_ >= 0 ? endoff_ - body_.tell() : INT64_MAX;
    for (Piece& piece : pieces_) {
        if (piece.len > left) {
            warn("warning: not enough tile data\n");
            return false;
        }
        left -= piece.len;
        std::vector<std::uint8_t>* out =
            piece.seg >= 0 ? &piece.cblk->segs[static_cast<size_t>(piece.seg)].data : nullptr;
        std::uint8_t chunk[4096];
        for (std::uint32_t done = 0; done < piece.len;) {
            const long want =
                static_cast<long>(std::min<std::uint32_t>(sizeof chunk, piece.len - done));
            const long got = body_.read(chunk, want);
            if (out)
                out->insert(out->end(), chunk, chunk + got);
            done += static_cast<std::uint32_t>(got);
            if (got < want) {
                warn("warning: not enough tile data\n");
                return false;
            }
        }
        if (piece.seg >= 0)
            piece.cblk->segs[static_cast<size_t>(piece.seg)].cnt = 0;
    }
    return true;
}

// Whether the tile-part has another packet: up to Psot, or up to the next marker (SOT, EOC)
// when the tile-part runs to the end; with packed headers, while they last.
bool more_packets(stream_t* packed, stream_t& body, std::int64_t endoff) {
    if (packed) {
        const int c = packed->getc();
        return c != EOF_ && packed->ungetc(c) >= 0;
    }
    if (endoff >= 0)
        return body.tell() < endoff;
    const int m = peek_marker(body);
    return m >= 0 && (m < 0xFF90 || m == JPC_MS_SOP);
}

}  // namespace

Tier2Status dec_decodepkts(jpc_dec_tile_t& tile, stream_t* hdrstream, stream_t& body,
                           std::int64_t endoff, const Tier2Options& options) {
    stream_t& hdr = hdrstream ? *hdrstream : body;
    PacketReader reader(tile, hdr, body, endoff, options);
    while (more_packets(hdrstream, body, endoff)) {
        if (options.cancelled && options.cancelled())
            return Tier2Status::Cancelled;
        if (!tile.pi->next())
            return Tier2Status::Ok;  // the tile has no more packets: the rest is left to SOD
        const pi_t& pi = *tile.pi;
        PacketInfo info{pi.compno, pi.rlvlno, pi.prcno, pi.lyrno, body.tell(), 0, 0, 0};
        if (!reader.read_packet(info))
            return Tier2Status::Failed;
        info.end = body.tell();
        if (options.on_packet)
            options.on_packet(info);
    }
    return Tier2Status::Ok;
}

}  // namespace j2000
