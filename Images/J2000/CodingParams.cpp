#include "Images/J2000/CodingParams.h"

#include <string>
#include <utility>

namespace j2000 {

namespace {

// T.800 limits of SPcod/SPcoc: code-block exponents 2 to 10 with their sum at most 12,
// precinct exponents above 0 except at the lowest resolution. Why the segment's values cannot
// be taken; empty when they can.
std::string coxcp_refusal(const jpc_coxcp_t& p) {
    if (p.numdlvls > kMaxResolutions - 1)
        return std::to_string(p.numdlvls) + " decomposition levels; at most " +
               std::to_string(kMaxResolutions - 1) + " are allowed";
    if (p.cblkwidthval > 8 || p.cblkheightval > 8 || p.cblkwidthval + p.cblkheightval > 8)
        return "code-blocks of 2^" + std::to_string(p.cblkwidthval + 2) + " x 2^" +
               std::to_string(p.cblkheightval + 2) +
               " samples; a side is at most 2^10 and a block 2^12";
    if (p.qmfbid > 1)
        return "wavelet transform " + std::to_string(p.qmfbid) + " is not known";
    if (p.cblksty & kCblkHighThroughput)
        return "the high-throughput block coder is not supported";
    for (size_t r = 1; r < p.rlvls.size(); ++r)
        if (p.rlvls[r].prcwidthval == 0 || p.rlvls[r].prcheightval == 0)
            return "resolution " + std::to_string(r) + " has precincts of 2^" +
                   std::to_string(p.rlvls[r].prcwidthval) + " x 2^" +
                   std::to_string(p.rlvls[r].prcheightval) +
                   " samples; above the lowest resolution a side is at least 2";
    return {};
}

// Stores `text` in `why` when asked for it; false.
bool refused(std::string* why, std::string text) {
    if (why)
        *why = std::move(text);
    return false;
}

void apply_coxcp(jpc_dec_ccp_t& ccp, const jpc_coxcp_t& p) {
    ccp.numrlvls = static_cast<std::uint8_t>(p.numdlvls + 1);
    ccp.cblkwidthexpn = static_cast<std::uint8_t>(p.cblkwidthval + 2);
    ccp.cblkheightexpn = static_cast<std::uint8_t>(p.cblkheightval + 2);
    ccp.qmfbid = p.qmfbid;
    ccp.cblkctx = p.cblksty;
    ccp.csty = p.csty;
    for (size_t r = 0; r < p.rlvls.size(); ++r) {
        ccp.prcwidthexpns[r] = p.rlvls[r].prcwidthval;
        ccp.prcheightexpns[r] = p.rlvls[r].prcheightval;
    }
    ccp.flags |= jpc_dec_ccp_t::kCodSet;
}

void apply_qcxcp(jpc_dec_ccp_t& ccp, const jpc_qcxcp_t& q) {
    ccp.stepsizes = q.stepsizes;
    ccp.numguardbits = q.numguard;
    ccp.qsty = q.qntsty;
    ccp.flags |= jpc_dec_ccp_t::kQcdSet;
}

std::string qcxcp_refusal(const jpc_qcxcp_t& q) {
    if (q.qntsty > 2)
        return "quantisation style " + std::to_string(q.qntsty) + " is not known";
    if (q.stepsizes.empty())
        return "no step sizes";
    if (q.stepsizes.size() > static_cast<size_t>(kMaxStepSizes))
        return std::to_string(q.stepsizes.size()) + " step sizes; at most " +
               std::to_string(kMaxStepSizes) + " are allowed";
    return {};
}

// The step sizes a component's bands need; the derived style gives one for all (T.800 E-5:
// the exponent falls by one per decomposition level above the lowest band).
bool complete_stepsizes(jpc_dec_ccp_t& ccp) {
    const size_t numbands = 3u * ccp.numrlvls - 2;
    if (ccp.qsty != 1)
        return ccp.stepsizes.size() >= numbands;
    if (ccp.stepsizes.size() != 1)
        return false;
    const int expn0 = ccp.stepsizes[0] >> 11;
    const int mant = ccp.stepsizes[0] & 0x7FF;
    ccp.stepsizes.resize(numbands);
    for (size_t b = 1; b < numbands; ++b) {
        const int level = static_cast<int>((b - 1) / 3);  // 0 for the bands of resolution 1
        const int expn = expn0 - level;
        if (expn < 0 || expn > 31)
            return false;
        ccp.stepsizes[b] = static_cast<std::uint16_t>(expn << 11 | mant);
    }
    return true;
}

}  // namespace

jpc_dec_cp_t cp_fortile(const jpc_dec_cp_t& main) {
    jpc_dec_cp_t cp = main;
    cp.pchglist_inherited = true;
    for (jpc_dec_ccp_t& ccp : cp.ccps)
        ccp.flags &= static_cast<std::uint8_t>(~(jpc_dec_ccp_t::kByCoc | jpc_dec_ccp_t::kByQcc));
    return cp;
}

bool cp_setfromcod(jpc_dec_cp_t& cp, const jpc_cod_t& cod, std::string* why) {
    if (std::string text = coxcp_refusal(cod.compparms); !text.empty())
        return refused(why, std::move(text));
    if (cod.numlyrs == 0)
        return refused(why, "no quality layers");
    if (cod.mctrans > 1)
        return refused(why, "component transform " + std::to_string(cod.mctrans) + " is not known");
    for (jpc_dec_ccp_t& ccp : cp.ccps)
        if (!(ccp.flags & jpc_dec_ccp_t::kByCoc))
            apply_coxcp(ccp, cod.compparms);
    cp.numlyrs = cod.numlyrs;
    cp.prgord = cod.prg;
    cp.mctid = cod.mctrans == 0            ? kMctNone
               : cod.compparms.qmfbid == 1 ? kMctReversible
                                           : kMctIrreversible;
    cp.csty = cod.csty & (kCodSop | kCodEph);
    cp.flags |= jpc_dec_cp_t::kCodSeen;
    return true;
}

bool cp_setfromcoc(jpc_dec_cp_t& cp, const jpc_coc_t& coc, std::string* why) {
    if (coc.compno >= cp.ccps.size())
        return refused(why, "component " + std::to_string(coc.compno) + " does not exist");
    if (std::string text = coxcp_refusal(coc.compparms); !text.empty())
        return refused(why, std::move(text));
    jpc_dec_ccp_t& ccp = cp.ccps[coc.compno];
    apply_coxcp(ccp, coc.compparms);
    ccp.flags |= jpc_dec_ccp_t::kByCoc;
    return true;
}

bool cp_setfromqcd(jpc_dec_cp_t& cp, const jpc_qcd_t& qcd, std::string* why) {
    if (std::string text = qcxcp_refusal(qcd.compparms); !text.empty())
        return refused(why, std::move(text));
    for (jpc_dec_ccp_t& ccp : cp.ccps)
        if (!(ccp.flags & jpc_dec_ccp_t::kByQcc))
            apply_qcxcp(ccp, qcd.compparms);
    cp.flags |= jpc_dec_cp_t::kQcdSeen;
    return true;
}

bool cp_setfromqcc(jpc_dec_cp_t& cp, const jpc_qcc_t& qcc, std::string* why) {
    if (qcc.compno >= cp.ccps.size())
        return refused(why, "component " + std::to_string(qcc.compno) + " does not exist");
    if (std::string text = qcxcp_refusal(qcc.compparms); !text.empty())
        return refused(why, std::move(text));
    jpc_dec_ccp_t& ccp = cp.ccps[qcc.compno];
    apply_qcxcp(ccp, qcc.compparms);
    ccp.flags |= jpc_dec_ccp_t::kByQcc;
    return true;
}

void cp_setfromrgn(jpc_dec_cp_t& cp, const jpc_rgn_t& rgn) {
    cp.ccps[rgn.compno].roishift = rgn.roishift;
}

void cp_setfrompoc(jpc_dec_cp_t& cp, const jpc_poc_t& poc, bool append) {
    if (!append || cp.pchglist_inherited)
        cp.pchglist.clear();
    cp.pchglist_inherited = false;
    for (const jpc_pocpchg_t& p : poc.pchgs) {
        jpc_pchg_t c;
        c.prgord = p.prgord;
        c.rlvlnostart = p.rlvlnostart;
        c.rlvlnoend = p.rlvlnoend;
        c.compnostart = p.compnostart;
        c.compnoend = p.compnoend;
        c.lyrnoend = p.lyrnoend;
        cp.pchglist.push_back(c);
    }
}

bool cp_complete(jpc_dec_cp_t& cp) {
    if ((cp.flags & (jpc_dec_cp_t::kCodSeen | jpc_dec_cp_t::kQcdSeen)) !=
        (jpc_dec_cp_t::kCodSeen | jpc_dec_cp_t::kQcdSeen))
        return false;
    for (jpc_dec_ccp_t& ccp : cp.ccps) {
        if (!complete_stepsizes(ccp))
            return false;
        for (std::uint16_t s : ccp.stepsizes)
            if ((s >> 11) > 31)
                return false;
        if (!ccp.csty) {
            ccp.prcwidthexpns.fill(15);
            ccp.prcheightexpns.fill(15);
        }
    }
    return true;
}

}  // namespace j2000
