#include "Images/J2000/TileStructure.h"

#include <algorithm>

namespace j2000 {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

std::int64_t ceil_div(std::int64_t a, std::int64_t b) {
    return -floor_div(-a, b);
}

namespace {

struct Rect {
    std::int64_t x0, y0, x1, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// Number of cells of size 2^e that [a, b) touches, on a grid anchored at 0.
std::int64_t cells(std::int64_t a, std::int64_t b, int e) {
    if (a >= b)
        return 0;
    return ceil_div(b, std::int64_t{1} << e) - floor_div(a, std::int64_t{1} << e);
}

// A band's area (T.800 B-15): `nb` decomposition levels below the component, (xo, yo) the
// band's high-pass sides (1 for HL horizontally, LH vertically, HH both).
Rect band_rect(const jpc_dec_tcomp_t& tc, int nb, int xo, int yo) {
    if (nb == 0)
        return {tc.xstart, tc.ystart, tc.xend, tc.yend};
    const std::int64_t d = std::int64_t{1} << nb;
    const std::int64_t hx = xo ? std::int64_t{1} << (nb - 1) : 0;
    const std::int64_t hy = yo ? std::int64_t{1} << (nb - 1) : 0;
    return {ceil_div(tc.xstart - hx, d), ceil_div(tc.ystart - hy, d), ceil_div(tc.xend - hx, d),
            ceil_div(tc.yend - hy, d)};
}

void setup_rlvl_grid(jpc_dec_rlvl_t& rl, const jpc_dec_tcomp_t& tc, const jpc_dec_ccp_t& ccp,
                     int r) {
    const int s = tc.numrlvls - 1 - r;
    const std::int64_t d = std::int64_t{1} << s;
    rl.xstart = ceil_div(tc.xstart, d);
    rl.ystart = ceil_div(tc.ystart, d);
    rl.xend = ceil_div(tc.xend, d);
    rl.yend = ceil_div(tc.yend, d);
    rl.prcwidthexpn = ccp.prcwidthexpns[static_cast<size_t>(r)];
    rl.prcheightexpn = ccp.prcheightexpns[static_cast<size_t>(r)];
    // A level empty in either direction has no precincts and so no packets.
    const bool empty = rl.xstart >= rl.xend || rl.ystart >= rl.yend;
    rl.numhprcs = empty ? 0 : static_cast<int>(cells(rl.xstart, rl.xend, rl.prcwidthexpn));
    rl.numvprcs = empty ? 0 : static_cast<int>(cells(rl.ystart, rl.yend, rl.prcheightexpn));
    rl.numprcs = rl.numhprcs * rl.numvprcs;
    rl.cbgwidthexpn = r > 0 ? rl.prcwidthexpn - 1 : rl.prcwidthexpn;
    rl.cbgheightexpn = r > 0 ? rl.prcheightexpn - 1 : rl.prcheightexpn;
    rl.cblkwidthexpn = std::min<int>(ccp.cblkwidthexpn, rl.cbgwidthexpn);
    rl.cblkheightexpn = std::min<int>(ccp.cblkheightexpn, rl.cbgheightexpn);
}

void setup_precinct(jpc_dec_prc_t& prc, const jpc_dec_rlvl_t& rl) {
    if (prc.xstart >= prc.xend || prc.ystart >= prc.yend)
        return;
    const int ew = rl.cblkwidthexpn, eh = rl.cblkheightexpn;
    prc.numhcblks = static_cast<int>(cells(prc.xstart, prc.xend, ew));
    prc.numvcblks = static_cast<int>(cells(prc.ystart, prc.yend, eh));
    prc.incltagtree = std::make_unique<tagtree_t>(prc.numhcblks, prc.numvcblks);
    prc.numimsbstagtree = std::make_unique<tagtree_t>(prc.numhcblks, prc.numvcblks);
    prc.cblks.resize(static_cast<size_t>(prc.numhcblks) * prc.numvcblks);
    const std::int64_t gx = floor_div(prc.xstart, std::int64_t{1} << ew) << ew;
    const std::int64_t gy = floor_div(prc.ystart, std::int64_t{1} << eh) << eh;
    for (int j = 0; j < prc.numvcblks; ++j)
        for (int i = 0; i < prc.numhcblks; ++i) {
            jpc_dec_cblk_t& cb = prc.cblks[static_cast<size_t>(j * prc.numhcblks + i)];
            cb.xstart =
                static_cast<std::uint32_t>(std::max(prc.xstart, gx + (std::int64_t{i} << ew)));
            cb.ystart =
                static_cast<std::uint32_t>(std::max(prc.ystart, gy + (std::int64_t{j} << eh)));
            cb.xend =
                static_cast<std::uint32_t>(std::min(prc.xend, gx + (std::int64_t{i + 1} << ew)));
            cb.yend =
                static_cast<std::uint32_t>(std::min(prc.yend, gy + (std::int64_t{j + 1} << eh)));
        }
}

void setup_band(jpc_dec_band_t& band, const jpc_dec_rlvl_t& rl) {
    // The precinct partition of the level, seen in the band's coordinates.
    const std::int64_t gx = (rl.xstart >> rl.prcwidthexpn) << rl.cbgwidthexpn;
    const std::int64_t gy = (rl.ystart >> rl.prcheightexpn) << rl.cbgheightexpn;
    band.prcs.resize(static_cast<size_t>(rl.numprcs));
    for (int j = 0; j < rl.numvprcs; ++j)
        for (int i = 0; i < rl.numhprcs; ++i) {
            jpc_dec_prc_t& prc = band.prcs[static_cast<size_t>(j * rl.numhprcs + i)];
            prc.xstart = std::max(band.xstart, gx + (std::int64_t{i} << rl.cbgwidthexpn));
            prc.ystart = std::max(band.ystart, gy + (std::int64_t{j} << rl.cbgheightexpn));
            prc.xend = std::min(band.xend, gx + (std::int64_t{i + 1} << rl.cbgwidthexpn));
            prc.yend = std::min(band.yend, gy + (std::int64_t{j + 1} << rl.cbgheightexpn));
            setup_precinct(prc, rl);
        }
}

// Band parameters of band index `b` of a component (T.800 E-2, and the nominal gains of E-3).
void set_band_params(jpc_dec_band_t& band, const jpc_dec_ccp_t& ccp, size_t b) {
    band.stepsize = ccp.stepsizes[b];
    band.numbps = ccp.numguardbits + (band.stepsize >> 11) - 1;
    band.analgain = band.orient == kLL ? 0 : band.orient == kHH ? 2 : 1;
    band.roishift = ccp.roishift;
}

void setup_bands(jpc_dec_rlvl_t& rl, const jpc_dec_tcomp_t& tc, const jpc_dec_ccp_t& ccp, int r,
                 const jpc_dec_rlvl_t* lower) {
    const int nl = tc.numrlvls - 1;
    if (r == 0) {
        jpc_dec_band_t& ll = rl.bands.emplace_back();
        const Rect a = band_rect(tc, nl, 0, 0);
        ll.orient = kLL;
        ll.xstart = a.x0, ll.ystart = a.y0, ll.xend = a.x1, ll.yend = a.y1;
        set_band_params(ll, ccp, 0);
        setup_band(ll, rl);
        return;
    }
    const int nb = nl - r + 1;
    // Low-pass samples of the level come first in each line: the lower level's extent.
    const std::int64_t lw = lower->xend - lower->xstart, lh = lower->yend - lower->ystart;
    static constexpr struct {
        std::uint8_t orient;
        int xo, yo;
    } kDetail[3] = {{kHL, 1, 0}, {kLH, 0, 1}, {kHH, 1, 1}};
    for (int k = 0; k < 3; ++k) {
        jpc_dec_band_t& band = rl.bands.emplace_back();
        const Rect a = band_rect(tc, nb, kDetail[k].xo, kDetail[k].yo);
        band.orient = kDetail[k].orient;
        band.xstart = a.x0, band.ystart = a.y0, band.xend = a.x1, band.yend = a.y1;
        band.locxstart = kDetail[k].xo ? lw : 0;
        band.locystart = kDetail[k].yo ? lh : 0;
        set_band_params(band, ccp, static_cast<size_t>(3 * (r - 1) + k + 1));
        setup_band(band, rl);
    }
}

// Code-blocks and precinct records the tile would hold, counted before anything is made.
std::uint64_t count_blocks(const jpc_dec_tcomp_t& tc, const jpc_dec_ccp_t& ccp) {
    std::uint64_t total = 0;
    for (int r = 0; r < tc.numrlvls; ++r) {
        jpc_dec_rlvl_t rl;
        setup_rlvl_grid(rl, tc, ccp, r);
        const int nl = tc.numrlvls - 1;
        const int numbands = r == 0 ? 1 : 3;
        for (int k = 0; k < numbands; ++k) {
            const Rect a =
                r == 0 ? band_rect(tc, nl, 0, 0) : band_rect(tc, nl - r + 1, k != 1, k != 0);
            total += static_cast<std::uint64_t>(rl.numprcs);
            if (!a.empty())
                total += static_cast<std::uint64_t>(cells(a.x0, a.x1, rl.cblkwidthexpn)) *
                         static_cast<std::uint64_t>(cells(a.y0, a.y1, rl.cblkheightexpn));
        }
    }
    return total;
}

pi_comp_t pi_component(const jpc_dec_tcomp_t& tc) {
    pi_comp_t pc;
    pc.hsamp = tc.hsamp;
    pc.vsamp = tc.vsamp;
    for (const jpc_dec_rlvl_t& rl : tc.rlvls) {
        pi_rlvl_t& p = pc.rlvls.emplace_back();
        p.xstart = rl.xstart;
        p.ystart = rl.ystart;
        p.prcwidthexpn = rl.prcwidthexpn;
        p.prcheightexpn = rl.prcheightexpn;
        p.numhprcs = rl.numhprcs;
        p.numvprcs = rl.numvprcs;
        p.prclyrnos.assign(static_cast<size_t>(rl.numprcs), 0);
    }
    return pc;
}

}  // namespace

bool tile_setup(jpc_dec_tile_t& tile, const std::vector<jpc_sizcmpt_t>& cmpts,
                std::uint64_t maxblocks) {
    std::uint64_t blocks = 0;
    tile.tcomps.resize(cmpts.size());
    for (size_t c = 0; c < cmpts.size(); ++c) {
        jpc_dec_tcomp_t& tc = tile.tcomps[c];
        const jpc_dec_ccp_t& ccp = tile.cp.ccps[c];
        tc.hsamp = cmpts[c].hsamp;
        tc.vsamp = cmpts[c].vsamp;
        tc.prec = cmpts[c].prec;
        tc.sgnd = cmpts[c].sgnd;
        tc.xstart = ceil_div(tile.xstart, tc.hsamp);
        tc.ystart = ceil_div(tile.ystart, tc.vsamp);
        tc.xend = ceil_div(tile.xend, tc.hsamp);
        tc.yend = ceil_div(tile.yend, tc.vsamp);
        tc.numrlvls = ccp.numrlvls;
        tc.qmfbid = ccp.qmfbid;
        tc.cblkctx = ccp.cblkctx;
        blocks += count_blocks(tc, ccp);
        if (blocks > maxblocks)
            return false;
    }
    std::vector<pi_comp_t> picomps;
    for (size_t c = 0; c < cmpts.size(); ++c) {
        jpc_dec_tcomp_t& tc = tile.tcomps[c];
        const jpc_dec_ccp_t& ccp = tile.cp.ccps[c];
        tc.rlvls.resize(static_cast<size_t>(tc.numrlvls));
        for (int r = 0; r < tc.numrlvls; ++r) {
            jpc_dec_rlvl_t& rl = tc.rlvls[static_cast<size_t>(r)];
            setup_rlvl_grid(rl, tc, ccp, r);
            setup_bands(rl, tc, ccp, r, r > 0 ? &tc.rlvls[static_cast<size_t>(r - 1)] : nullptr);
        }
        picomps.push_back(pi_component(tc));
    }
    tile.pi = std::make_unique<pi_t>(tile.xstart, tile.ystart, tile.xend, tile.yend,
                                     tile.cp.numlyrs, tile.cp.prgord, std::move(picomps));
    for (const jpc_pchg_t& p : tile.cp.pchglist)
        tile.pi->addpchg(p);
    return true;
}

void tile_release(jpc_dec_tile_t& tile) {
    if (tile.state == jpc_dec_tile_t::kNotStarted || tile.state == jpc_dec_tile_t::kDone)
        return;
    tile.tcomps.clear();
    tile.tcomps.shrink_to_fit();
    tile.pi.reset();
    tile.pkthdrstream.reset();
    tile.state = jpc_dec_tile_t::kDone;
}

}  // namespace j2000
