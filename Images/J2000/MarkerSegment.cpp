#include "Images/J2000/MarkerSegment.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <type_traits>

namespace j2000 {

namespace {

constexpr jpc_msinfo_t kMsTab[] = {
    {JPC_MS_SOC, "SOC"}, {JPC_MS_SOT, "SOT"}, {JPC_MS_SOD, "SOD"}, {JPC_MS_EOC, "EOC"},
    {JPC_MS_SIZ, "SIZ"}, {JPC_MS_COD, "COD"}, {JPC_MS_COC, "COC"}, {JPC_MS_RGN, "RGN"},
    {JPC_MS_QCD, "QCD"}, {JPC_MS_QCC, "QCC"}, {JPC_MS_POC, "POC"}, {JPC_MS_TLM, "TLM"},
    {JPC_MS_PLM, "PLM"}, {JPC_MS_PPM, "PPM"}, {JPC_MS_PPT, "PPT"}, {JPC_MS_SOP, "SOP"},
    {JPC_MS_EPH, "EPH"}, {JPC_MS_CRG, "CRG"}, {JPC_MS_COM, "COM"}, {-1, "UNKNOWN"},
};

// Reads the parameters of one segment from its private copy; every read past the end fails.
class SegmentReader {
  public:
    explicit SegmentReader(const std::vector<std::uint8_t>& data) : data_(data) {}
    size_t remaining() const { return data_.size() - pos_; }
    bool u8(std::uint8_t& v) {
        if (remaining() < 1)
            return false;
        v = data_[pos_++];
        return true;
    }
    bool u16(std::uint16_t& v) {
        std::uint8_t a, b;
        if (!u8(a) || !u8(b))
            return false;
        v = static_cast<std::uint16_t>(a << 8 | b);
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::uint16_t a, b;
        if (!u16(a) || !u16(b))
            return false;
        v = static_cast<std::uint32_t>(a) << 16 | b;
        return true;
    }
    // A component number: 8 bits up to 256 components, else 16.
    bool compno(std::uint16_t& v, int numcomps) {
        if (numcomps > 256)
            return u16(v);
        std::uint8_t b;
        if (!u8(b))
            return false;
        v = b;
        return true;
    }
    bool bytes(std::vector<std::uint8_t>& out, size_t n) {
        if (remaining() < n)
            return false;
        out.assign(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                   data_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return true;
    }

  private:
    const std::vector<std::uint8_t>& data_;
    size_t pos_ = 0;
};

bool get_sot(SegmentReader& r, jpc_sot_t& p) {
    return r.u16(p.tileno) && r.u32(p.len) && r.u8(p.partno) && r.u8(p.numparts);
}

bool get_siz(SegmentReader& r, jpc_siz_t& p) {
    if (!r.u16(p.caps) || !r.u32(p.width) || !r.u32(p.height) || !r.u32(p.xoff) || !r.u32(p.yoff) ||
        !r.u32(p.tilewidth) || !r.u32(p.tileheight) || !r.u32(p.tilexoff) || !r.u32(p.tileyoff) ||
        !r.u16(p.numcomps))
        return false;
    if (p.width == 0 || p.height == 0 || p.tilewidth == 0 || p.tileheight == 0 || p.numcomps == 0)
        return false;
    if (r.remaining() < 3u * p.numcomps)
        return false;
    p.comps.resize(p.numcomps);
    for (jpc_sizcomp_t& c : p.comps) {
        std::uint8_t ssiz;
        r.u8(ssiz);
        r.u8(c.hsamp);
        r.u8(c.vsamp);
        c.prec = static_cast<std::uint8_t>((ssiz & 0x7F) + 1);
        c.sgnd = ssiz >> 7;
    }
    return true;
}

// SPcod/SPcoc; precinct bytes follow only when the style byte says so.
bool get_coxcp(SegmentReader& r, std::uint8_t stylebyte, jpc_coxcp_t& p) {
    p.csty = stylebyte & 0x01;
    if (!r.u8(p.numdlvls) || !r.u8(p.cblkwidthval) || !r.u8(p.cblkheightval) || !r.u8(p.cblksty) ||
        !r.u8(p.qmfbid))
        return false;
    if (p.csty) {
        p.rlvls.resize(static_cast<size_t>(p.numdlvls) + 1);
        for (jpc_coxrlvl_t& l : p.rlvls) {
            std::uint8_t b;
            if (!r.u8(b))
                return false;
            l.prcwidthval = b & 0x0F;
            l.prcheightval = b >> 4;
        }
    }
    return true;
}

bool get_cod(SegmentReader& r, jpc_cod_t& p) {
    return r.u8(p.csty) && r.u8(p.prg) && r.u16(p.numlyrs) && r.u8(p.mctrans) &&
           get_coxcp(r, p.csty, p.compparms);
}

bool get_coc(SegmentReader& r, const jpc_cstate_t& cs, jpc_coc_t& p) {
    return r.compno(p.compno, cs.numcomps) && r.u8(p.csty) && get_coxcp(r, p.csty, p.compparms);
}

bool get_rgn(SegmentReader& r, const jpc_cstate_t& cs, jpc_rgn_t& p) {
    return r.compno(p.compno, cs.numcomps) && r.u8(p.roisty) && r.u8(p.roishift);
}

bool get_qcxcp(SegmentReader& r, jpc_qcxcp_t& p) {
    std::uint8_t sqcx;
    if (!r.u8(sqcx))
        return false;
    p.qntsty = sqcx & 0x1F;
    p.numguard = sqcx >> 5;
    const size_t n = r.remaining();
    const size_t count = p.qntsty == 0 ? n : p.qntsty == 1 ? 1 : p.qntsty == 2 ? n / 2 : 0;
    p.stepsizes.resize(count);
    for (std::uint16_t& s : p.stepsizes) {
        if (p.qntsty == 0) {
            std::uint8_t b;
            if (!r.u8(b))
                return false;
            s = static_cast<std::uint16_t>((b >> 3) << 11);
        } else if (!r.u16(s)) {
            return false;
        }
    }
    return true;
}

bool get_poc(SegmentReader& r, const jpc_cstate_t& cs, jpc_poc_t& p, std::uint16_t len) {
    const size_t entry = cs.numcomps <= 256 ? 7 : 9;
    p.pchgs.resize(len / entry);
    for (jpc_pocpchg_t& c : p.pchgs) {
        if (!r.u8(c.rlvlnostart) || !r.compno(c.compnostart, cs.numcomps) || !r.u16(c.lyrnoend) ||
            !r.u8(c.rlvlnoend) || !r.compno(c.compnoend, cs.numcomps) || !r.u8(c.prgord))
            return false;
        // An 8-bit CEpoc of 0 stands for 256, the end of every component it can name.
        if (cs.numcomps <= 256 && c.compnoend == 0)
            c.compnoend = 256;
        if (c.rlvlnostart > c.rlvlnoend || c.compnostart > c.compnoend)
            return false;
    }
    return true;
}

// Splits a PPM segment into the packed headers of its tile-parts. A header may start in one
// PPM segment and continue in the next (the code-stream state remembers how much is missing).
bool get_ppm(SegmentReader& r, jpc_cstate_t& cs, jpc_ppm_t& p) {
    if (!r.u8(p.ind))
        return false;
    if (cs.ppmleft > 0 && p.ind != cs.ppmnextind)
        return false;
    p.firstpartial = cs.ppmleft > 0;
    std::uint32_t left = cs.ppmleft;
    while (r.remaining() > 0) {
        if (left == 0 && !r.u32(left))
            return false;
        const size_t take = std::min<size_t>(left, r.remaining());
        p.pkthdrs.emplace_back();
        r.bytes(p.pkthdrs.back(), take);
        left -= static_cast<std::uint32_t>(take);
    }
    cs.ppmleft = left;
    p.lastpartial = left > 0;
    if (p.lastpartial)
        cs.ppmnextind = static_cast<std::uint8_t>(p.ind + 1);
    return true;
}

bool get_ppt(SegmentReader& r, jpc_ppt_t& p, std::uint16_t len) {
    return len >= 2 && r.u8(p.ind) && r.bytes(p.data, len - 1u);
}

bool get_crg(SegmentReader& r, const jpc_cstate_t& cs, jpc_crg_t& p) {
    p.comps.resize(static_cast<size_t>(cs.numcomps));
    for (jpc_crgcomp_t& c : p.comps)
        if (!r.u16(c.hoff) || !r.u16(c.voff))
            return false;
    return true;
}

bool get_parms(jpc_ms_t& ms, SegmentReader& r, jpc_cstate_t& cs) {
    auto make = [&ms](auto value) -> auto& {
        return ms.parms.emplace<decltype(value)>();
    };
    switch (ms.id) {
        case JPC_MS_SOT:
            return get_sot(r, make(jpc_sot_t{}));
        case JPC_MS_SIZ:
            return get_siz(r, make(jpc_siz_t{}));
        case JPC_MS_COD:
            return get_cod(r, make(jpc_cod_t{}));
        case JPC_MS_COC:
            return get_coc(r, cs, make(jpc_coc_t{}));
        case JPC_MS_RGN:
            return get_rgn(r, cs, make(jpc_rgn_t{}));
        case JPC_MS_QCD:
            return get_qcxcp(r, make(jpc_qcd_t{}).compparms);
        case JPC_MS_QCC: {
            jpc_qcc_t& q = make(jpc_qcc_t{});
            return r.compno(q.compno, cs.numcomps) && get_qcxcp(r, q.compparms);
        }
        case JPC_MS_POC:
            return get_poc(r, cs, make(jpc_poc_t{}), ms.len);
        case JPC_MS_PPM:
            return get_ppm(r, cs, make(jpc_ppm_t{}));
        case JPC_MS_PPT:
            return get_ppt(r, make(jpc_ppt_t{}), ms.len);
        case JPC_MS_SOP:
            return r.u16(make(jpc_sop_t{}).seqno);
        case JPC_MS_CRG:
            return get_crg(r, cs, make(jpc_crg_t{}));
        default:
            return r.bytes(make(jpc_raw_t{}).data, ms.len);
    }
}

bool has_no_length(std::uint16_t id) {
    return id == JPC_MS_SOC || id == JPC_MS_SOD || id == JPC_MS_EOC || id == JPC_MS_EPH ||
           (id >= 0xFF30 && id <= 0xFF3F);
}

}  // namespace

const jpc_msinfo_t& jpc_mstab_lookup(int id) {
    for (const jpc_msinfo_t& row : kMsTab)
        if (row.id == id)
            return row;
    return kMsTab[std::size(kMsTab) - 1];
}

int jpc_validate(stream_t& in) {
    const int a = in.getc();
    if (a == EOF_)
        return -1;
    const int b = in.getc();
    if (b != EOF_)
        in.ungetc(b);
    in.ungetc(a);
    return a == 0xFF && b == 0x4F ? 0 : -1;
}

int jpc_getuint8(stream_t& in, std::uint8_t* val) {
    const int c = in.getc();
    if (c == EOF_)
        return -1;
    *val = static_cast<std::uint8_t>(c);
    return 0;
}

int jpc_getuint16(stream_t& in, std::uint16_t* val) {
    std::uint8_t a, b;
    if (jpc_getuint8(in, &a) < 0 || jpc_getuint8(in, &b) < 0)
        return -1;
    *val = static_cast<std::uint16_t>(a << 8 | b);
    return 0;
}

int jpc_getuint32(stream_t& in, std::uint32_t* val) {
    std::uint16_t a, b;
    if (jpc_getuint16(in, &a) < 0 || jpc_getuint16(in, &b) < 0)
        return -1;
    *val = static_cast<std::uint32_t>(a) << 16 | b;
    return 0;
}

MarkerSegmentPtr jpc_getms(stream_t& in, jpc_cstate_t& cstate, const Diagnostics& diag) {
    auto ms = std::make_unique<jpc_ms_t>();
    std::uint16_t id;
    if (jpc_getuint16(in, &id) < 0 || id < 0xFF00)
        return nullptr;
    ms->id = id;
    ms->ops = &jpc_mstab_lookup(id);
    if (has_no_length(id)) {
        if (diag.debug > 0)
            jpc_ms_dump(*ms, diag);
        return ms;
    }
    std::uint16_t length;
    if (jpc_getuint16(in, &length) < 0 || length < 3)
        return nullptr;
    ms->len = static_cast<std::uint16_t>(length - 2);
    std::vector<std::uint8_t> data(ms->len);
    if (in.read(data.data(), ms->len) != ms->len)
        return nullptr;
    SegmentReader reader(data);
    jpc_cstate_t trial = cstate;  // a failed segment leaves the state as it was
    if (!get_parms(*ms, reader, trial))
        return nullptr;
    cstate = trial;
    if (diag.debug > 0)
        jpc_ms_dump(*ms, diag);
    if (reader.remaining() > 0)
        diag.printf("warning: trailing garbage in marker segment (%ld bytes)\n",
                    static_cast<long>(reader.remaining()));
    if (id == JPC_MS_SIZ)
        cstate.numcomps = std::get<jpc_siz_t>(ms->parms).numcomps;
    return ms;
}

namespace {

void dump_parms(const jpc_sot_t& p, const Diagnostics& d) {
    d.printf("tileno = %d; len = %d; partno = %d; numparts = %d\n", p.tileno,
             static_cast<int>(p.len), p.partno, p.numparts);
}

void dump_parms(const jpc_siz_t& p, const Diagnostics& d) {
    d.printf("caps = 0x%02x;\n", p.caps);
    d.printf("width = %d; height = %d; xoff = %d; yoff = %d;\n", static_cast<int>(p.width),
             static_cast<int>(p.height), static_cast<int>(p.xoff), static_cast<int>(p.yoff));
    d.printf("tilewidth = %d; tileheight = %d; tilexoff = %d; tileyoff = %d;\n",
             static_cast<int>(p.tilewidth), static_cast<int>(p.tileheight),
             static_cast<int>(p.tilexoff), static_cast<int>(p.tileyoff));
    for (size_t i = 0; i < p.comps.size(); ++i) {
        const int n = static_cast<int>(i);
        d.printf("prec[%d] = %d; sgnd[%d] = %d; hsamp[%d] = %d; vsamp[%d] = %d\n", n,
                 p.comps[i].prec, n, p.comps[i].sgnd, n, p.comps[i].hsamp, n, p.comps[i].vsamp);
    }
}

void dump_parms(const jpc_cod_t& p, const Diagnostics& d) {
    const jpc_coxcp_t& c = p.compparms;
    d.printf("csty = 0x%02x;\n", p.csty);
    d.printf("numdlvls = %d; qmfbid = %d; mctrans = %d\n", c.numdlvls, c.qmfbid, p.mctrans);
    d.printf("prg = %d; numlyrs = %d;\n", p.prg, p.numlyrs);
    d.printf("cblkwidthval = %d; cblkheightval = %d; cblksty = 0x%02x;\n", c.cblkwidthval,
             c.cblkheightval, c.cblksty);
    for (size_t i = 0; i < c.rlvls.size(); ++i)
        d.printf("prcwidth[%d] = %d, prcheight[%d] = %d\n", static_cast<int>(i),
                 c.rlvls[i].prcwidthval, static_cast<int>(i), c.rlvls[i].prcheightval);
}

void dump_parms(const jpc_coc_t& p, const Diagnostics& d) {
    const jpc_coxcp_t& c = p.compparms;
    d.printf("compno = %d; csty = 0x%02x; numdlvls = %d;\n", p.compno, p.csty, c.numdlvls);
    d.printf("cblkwidthval = %d; cblkheightval = %d; cblksty = 0x%02x; qmfbid = %d;\n",
             c.cblkwidthval, c.cblkheightval, c.cblksty, c.qmfbid);
}

void dump_parms(const jpc_rgn_t& p, const Diagnostics& d) {
    d.printf("compno = %d; roisty = %d; roishift = %d\n", p.compno, p.roisty, p.roishift);
}

void dump_stepsizes(const jpc_qcxcp_t& q, const Diagnostics& d) {
    for (size_t i = 0; i < q.stepsizes.size(); ++i)
        d.printf("expn[%d] = 0x%04x; mant[%d] = 0x%04x;\n", static_cast<int>(i),
                 q.stepsizes[i] >> 11, static_cast<int>(i), q.stepsizes[i] & 0x7FF);
}

void dump_parms(const jpc_qcd_t& p, const Diagnostics& d) {
    const jpc_qcxcp_t& q = p.compparms;
    d.printf("qntsty = %d; numguard = %d; numstepsizes = %d\n", q.qntsty, q.numguard,
             static_cast<int>(q.stepsizes.size()));
    dump_stepsizes(q, d);
}

void dump_parms(const jpc_qcc_t& p, const Diagnostics& d) {
    const jpc_qcxcp_t& q = p.compparms;
    d.printf("compno = %d; qntsty = %d; numguard = %d; numstepsizes = %d\n", p.compno, q.qntsty,
             q.numguard, static_cast<int>(q.stepsizes.size()));
    dump_stepsizes(q, d);
}

void dump_parms(const jpc_poc_t& p, const Diagnostics& d) {
    for (size_t i = 0; i < p.pchgs.size(); ++i) {
        const jpc_pocpchg_t& c = p.pchgs[i];
        const int n = static_cast<int>(i);
        d.printf("po[%d] = %d; ", n, c.prgord);
        d.printf("cs[%d] = %d; ce[%d] = %d; ", n, c.compnostart, n, c.compnoend);
        d.printf("rs[%d] = %d; re[%d] = %d; ", n, c.rlvlnostart, n, c.rlvlnoend);
        d.printf("le[%d] = %d\n", n, c.lyrnoend);
    }
}

void dump_parms(const jpc_sop_t& p, const Diagnostics& d) {
    d.printf("seqno = %d;\n", p.seqno);
}

void dump_parms(const jpc_crg_t& p, const Diagnostics& d) {
    for (size_t i = 0; i < p.comps.size(); ++i)
        d.printf("hoff[%d] = %d; voff[%d] = %d\n", static_cast<int>(i), p.comps[i].hoff,
                 static_cast<int>(i), p.comps[i].voff);
}

// Raw parameters are shown only for markers without a reader of their own.
void dump_raw(const jpc_ms_t& ms, const jpc_raw_t& p, const Diagnostics& d) {
    if (ms.ops->id != -1)
        return;
    std::string text;
    char byte[4];
    for (std::uint8_t b : p.data) {
        std::snprintf(byte, sizeof byte, "%02x ", b);
        text += byte;
    }
    d.write(text);
}

}  // namespace

void jpc_ms_dump(const jpc_ms_t& ms, const Diagnostics& d) {
    d.printf("----\n");
    d.printf("marker segment:\n");
    d.printf("type = 0x%04x (%s);", ms.id, ms.ops ? ms.ops->name : "UNKNOWN");
    if (has_no_length(ms.id)) {
        d.printf("\n");
        return;
    }
    d.printf(" len = %d (%d);", ms.len, ms.len + 2);
    d.printf("\n");
    std::visit(
        [&](const auto& p) {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, jpc_raw_t>)
                dump_raw(ms, p, d);
            else if constexpr (!std::is_same_v<T, std::monostate> &&
                               !std::is_same_v<T, jpc_ppm_t> && !std::is_same_v<T, jpc_ppt_t>)
                dump_parms(p, d);
        },
        ms.parms);
}

}  // namespace j2000
