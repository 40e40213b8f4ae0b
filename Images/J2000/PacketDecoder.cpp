#include "Images/J2000/PacketDecoder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "Images/J2000/BitStream.h"
#include "Images/J2000/MarkerSegment.h"
#include "Images/J2000/T1Tables.h"

namespace j2000 {

namespace {

constexpr int kUnboundedPasses = INT_MAX / 4;

// Code-block visits of a packet header paid for at once: about the work between two of the
// budget's questions for a stop.
constexpr size_t kVisitsPaidAtOnce = 4096;

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

enum class Outcome { Ok, Corrupt, Cut, Refused };

class PacketReader {
  public:
    PacketReader(jpc_dec_tile_t& tile, stream_t& hdr, stream_t& body, std::int64_t endoff,
                 const Tier2Options& options)
        : tile_(tile), hdr_(hdr), body_(body), endoff_(endoff), opt_(options) {}

    Outcome read_packet(PacketInfo& info);

  private:
    // Body bytes of one code-block contribution: into segment `seg` of `cblk`, or skipped
    // (excluded layer, `seg` -1), with what the header did to the code-block, to be undone when
    // the packet is cut short.
    struct Piece {
        jpc_dec_cblk_t* cblk;
        int seg;
        std::uint32_t len;
        int passes;
        size_t databefore;  // the segment's bytes before this packet
        bool newseg;        // the packet made the segment
        bool completed;     // the packet completed the segment
    };

    bool read_sop();
    bool read_header_and_eph(int compno, int rlvlno, int prcno, int lyrno);
    bool read_header(bitstream_t& bits, int compno, int rlvlno, int prcno, int lyrno);
    bool read_cblk(bitstream_t& bits, jpc_dec_prc_t& prc, int leaf, const jpc_dec_band_t& band,
                   std::uint8_t cblkctx, int lyrno);
    bool add_passes(bitstream_t& bits, jpc_dec_cblk_t& cb, int newpasses, int lastpass,
                    std::uint8_t cblkctx, int lyrno);
    void refuse_planes(const char* what, const jpc_dec_cblk_t& cb, const jpc_dec_band_t& band,
                       int needed) const;
    bool read_eph();
    Outcome pay_for_packet();
    Outcome read_body();
    bool ran_out(stream_t& s) const;
    Outcome cut(size_t from, const char* text);
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
    bool refused_ = false;            // the budget refused a precinct or a visit
    int compno_ = 0, rlvlno_ = 0;     // of the packet whose header is read
    std::uint64_t tier1work_ = 0;     // of the passes this packet brings
    std::uint64_t segmentbytes_ = 0;  // of the segment records it makes
};

Outcome PacketReader::read_packet(PacketInfo& info) {
    pieces_.clear();
    refused_ = false;
    tier1work_ = segmentbytes_ = 0;
    if ((tile_.cp.csty & kCodSop) && !read_sop())
        return ran_out(body_) ? cut(0, "warning: not enough tile data\n") : Outcome::Corrupt;
    info.hdrstart = hdr_.tell();
    if (!read_header_and_eph(info.compno, info.rlvlno, info.prcno, info.lyrno)) {
        if (refused_)
            return Outcome::Refused;
        return ran_out(hdr_) ? cut(0, "warning: not enough tile data\n") : Outcome::Corrupt;
    }
    info.hdrend = hdr_.tell();
    // A header read from the tile-part itself must end inside it.
    if (&hdr_ == &body_ && endoff_ >= 0 && info.hdrend > endoff_)
        return cut(0, "warning: not enough tile data\n");
    // The header's bytes count as read before the work they announce is paid for.
    if (tile_.budget && &hdr_ == &body_)
        tile_.budget->setbytes(static_cast<std::uint64_t>(std::max<std::int64_t>(info.hdrend, 0)));
    const Outcome paid = pay_for_packet();
    return paid == Outcome::Ok ? read_body() : paid;
}

// Whether a read from `s` that failed ran out of bytes: at the end of the stream, or past the
// end of the tile-part (reading the next tile-part's bytes as its own).
bool PacketReader::ran_out(stream_t& s) const {
    if (s.eof())
        return true;
    return &s == &body_ && endoff_ >= 0 && s.tell() > endoff_;
}

// Undoes what pieces `from` on brought, the last first, so that a segment the packet made comes
// off the end of its code-block's list; the tile's data ends before them.
Outcome PacketReader::cut(size_t from, const char* text) {
    warn(text);
    for (size_t i = pieces_.size(); i-- > from;) {
        const Piece& piece = pieces_[i];
        jpc_dec_cblk_t& cb = *piece.cblk;
        cb.numpasses -= piece.passes;
        if (piece.seg < 0)
            continue;
        jpc_dec_seg_t& seg = cb.segs[static_cast<size_t>(piece.seg)];
        seg.numpasses -= piece.passes;
        seg.data.resize(piece.databefore);
        seg.cnt = 0;
        if (piece.completed) {
            seg.complete = false;
            cb.curseg = static_cast<size_t>(piece.seg);
        }
        if (piece.newseg)
            cb.segs.pop_back();
    }
    pieces_.resize(from);
    tile_.dataended = true;
    return Outcome::Cut;
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

// A packet with data makes its precinct (in every band of the level) if no packet did before.
bool PacketReader::read_header(bitstream_t& bits, int compno, int rlvlno, int prcno, int lyrno) {
    compno_ = compno;
    rlvlno_ = rlvlno;
    jpc_dec_tcomp_t& tc = tile_.tcomps[static_cast<size_t>(compno)];
    jpc_dec_rlvl_t& rl = tc.rlvls[static_cast<size_t>(rlvlno)];
    const int index = rlvl_makeprc(tile_, rl, prcno);
    if (index < 0) {
        refused_ = true;
        return false;
    }
    for (jpc_dec_band_t& band : rl.bands) {
        jpc_dec_prc_t& prc = band.prcs[static_cast<size_t>(index)];
        const size_t count = prc.cblks.size();
        for (size_t leaf = 0; leaf < count; ++leaf) {
            // Paid a few thousand code-blocks at a time: a precinct of millions asks for a stop
            // as it goes.
            if (leaf % kVisitsPaidAtOnce == 0 &&
                !tile_.spend(std::min(kVisitsPaidAtOnce, count - leaf) * work::kBlockVisit,
                             "the packet headers")) {
                refused_ = true;
                return false;
            }
            if (!read_cblk(bits, prc, static_cast<int>(leaf), band, tc.cblkctx, lyrno))
                return false;
        }
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
                refuse_planes("more missing bit-planes than its band", cb, band, -t);
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
        // Pass p works on the bit-plane (p + 2) / 3 down from the band's top.
        const int lastpassno = cb.firstpassno + cb.numpasses + newpasses - 1;
        refuse_planes("more coding passes than its bit-planes", cb, band, (lastpassno + 2) / 3 + 1);
        return false;
    }
    return add_passes(bits, cb, newpasses, lastpass, cblkctx, lyrno);
}

// A code-block that reaches below its band's last bit-plane, with the arithmetic that shows it:
// its samples go beyond what the precision and guard bits of the stream leave room for, or its
// packets are read out of step. `needed` counts the bit-planes down from the band's top; a
// negative count is a least number.
void PacketReader::refuse_planes(const char* what, const jpc_dec_cblk_t& cb,
                                 const jpc_dec_band_t& band, int needed) const {
    static constexpr const char* kBandNames[] = {"LL", "LH", "HL", "HH"};
    if (!opt_.diag)
        return;
    const int exponent = band.stepsize >> 11;
    const int guard = band.numbps - exponent + 1;
    char shift[32] = "";
    if (band.roishift > 0)
        std::snprintf(shift, sizeof shift, " + region shift %d", band.roishift);
    opt_.diag->printf(
        "code-block has %s: the one at (%u, %u) of component %d, resolution %d, band %s needs "
        "%s%d bit-planes, but the band has %d (%d guard bits + exponent %d - 1%s)\n",
        what, cb.xstart, cb.ystart, compno_, rlvlno_, kBandNames[band.orient & 3],
        needed < 0 ? "at least " : "", needed < 0 ? -needed : needed, band.numbps + band.roishift,
        guard, exponent, shift);
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
    const std::uint64_t area =
        std::uint64_t{cb.xend - cb.xstart} * std::uint64_t{cb.yend - cb.ystart};
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
        Piece piece{&cb, -1, static_cast<std::uint32_t>(len), n, 0, false, false};
        if (keep) {
            if (cb.curseg == cb.segs.size()) {
                jpc_dec_seg_t& seg = cb.segs.emplace_back();
                seg.passno = p;
                seg.maxpasses = end - p;
                seg.type =
                    static_cast<SegmentType>(jpc_segtype(p, cb.firstpassno, cblkctx & kCblkBypass));
                piece.newseg = true;
                segmentbytes_ += sizeof(jpc_dec_seg_t);
            }
            jpc_dec_seg_t& seg = cb.segs[cb.curseg];
            piece.seg = static_cast<int>(cb.curseg);
            piece.databefore = seg.data.size();
            seg.numpasses += n;
            seg.lyrno = lyrno;
            seg.cnt = static_cast<std::uint32_t>(len);
            if (seg.numpasses == seg.maxpasses) {
                seg.complete = piece.completed = true;
                ++cb.curseg;
            }
            tier1work_ += static_cast<std::uint64_t>(n) * area * work::kSamplePass;
            tile_.codeddata = true;
        }
        cb.numpasses += n;
        pieces_.push_back(piece);
        p += n;
        left -= n;
    }
    return true;
}

// Tier 1's work on the passes the header announced, and the memory of their bytes, before a
// byte is copied.
Outcome PacketReader::pay_for_packet() {
    std::uint64_t bytes = segmentbytes_;
    for (const Piece& piece : pieces_)
        if (piece.seg >= 0)
            bytes += piece.len;
    if (!tile_.spend(tier1work_, "tier 1") || !tile_.take(bytes, "the coded data"))
        return Outcome::Refused;
    return Outcome::Ok;
}

Outcome PacketReader::read_body() {
    if (pieces_.empty())
        return Outcome::Ok;
    // Bytes left in the tile-part; asked once, as a file stream answers with a system call.
    std::int64_t left = endoff_ >= 0 ? endoff_ - body_.tell() : INT64_MAX;
    for (size_t i = 0; i < pieces_.size(); ++i) {
        Piece& piece = pieces_[i];
        if (piece.len > left)
            return cut(i, "warning: not enough tile data\n");
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
            if (got < want)
                return cut(i, "warning: the codestream ends inside a packet\n");
        }
        if (piece.seg >= 0)
            piece.cblk->segs[static_cast<size_t>(piece.seg)].cnt = 0;
    }
    return Outcome::Ok;
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

// Why a walk or a packet stopped short of its work: a stop request, or the budget.
Tier2Status stop_status(const jpc_dec_tile_t& tile, const Tier2Options& options) {
    const bool stop =
        (tile.budget && tile.budget->stopped()) || (options.cancelled && options.cancelled());
    return stop ? Tier2Status::Cancelled : Tier2Status::Refused;
}

}  // namespace

Tier2Status dec_decodepkts(jpc_dec_tile_t& tile, stream_t* hdrstream, stream_t& body,
                           std::int64_t endoff, const Tier2Options& options) {
    stream_t& hdr = hdrstream ? *hdrstream : body;
    PacketReader reader(tile, hdr, body, endoff, options);
    // The iterator's walk pays for its steps and asks for a stop as it goes, even between two
    // packets far apart; the watch lives only as long as this call.
    tile.pi->setwatch([&tile, &options](std::uint64_t steps) {
        return tile.spend(steps * work::kIteratorStep, "the packet iterator") &&
               !(options.cancelled && options.cancelled());
    });
    struct WatchReset {
        pi_t& pi;
        ~WatchReset() { pi.setwatch(nullptr); }
    } reset{*tile.pi};
    while (more_packets(hdrstream, body, endoff)) {
        if (options.cancelled && options.cancelled())
            return Tier2Status::Cancelled;
        if (!tile.pi->next())
            // The tile has no more packets (the rest is left to SOD), or the walk was stopped.
            return tile.pi->stopped() ? stop_status(tile, options) : Tier2Status::Ok;
        const pi_t& pi = *tile.pi;
        PacketInfo info{pi.compno, pi.rlvlno, pi.prcno, pi.lyrno, body.tell(), 0, 0, 0};
        switch (reader.read_packet(info)) {
            case Outcome::Ok:
                break;
            case Outcome::Cut:
                return Tier2Status::Cut;
            case Outcome::Corrupt:
                return Tier2Status::Failed;
            case Outcome::Refused:
                return stop_status(tile, options);
        }
        info.end = body.tell();
        if (tile.budget)
            tile.budget->setbytes(static_cast<std::uint64_t>(info.end));
        if (options.on_packet)
            options.on_packet(info);
    }
    return Tier2Status::Ok;
}

}  // namespace j2000
