#include "Images/J2000/TileStructure.h"

#include <algorithm>
#include <climits>
#include <new>

#include "Images/J2000/DeferredRelease.h"

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

// A level's area, precinct partition and code-block size (T.800 B-14 to B-17). False when the
// level has more precincts than an int holds (their count is then in `numprcs`).
bool setup_rlvl_grid(jpc_dec_rlvl_t& rl, const jpc_dec_tcomp_t& tc, const jpc_dec_ccp_t& ccp, int r,
                     std::int64_t& numprcs) {
    const int s = tc.numrlvls - 1 - r;
    const std::int64_t d = std::int64_t{1} << s;
    rl.xstart = ceil_div(tc.xstart, d);
    rl.ystart = ceil_div(tc.ystart, d);
    rl.xend = ceil_div(tc.xend, d);
    rl.yend = ceil_div(tc.yend, d);
    rl.prcwidthexpn = ccp.prcwidthexpns[static_cast<size_t>(r)];
    rl.prcheightexpn = ccp.prcheightexpns[static_cast<size_t>(r)];
    rl.cbgwidthexpn = r > 0 ? rl.prcwidthexpn - 1 : rl.prcwidthexpn;
    rl.cbgheightexpn = r > 0 ? rl.prcheightexpn - 1 : rl.prcheightexpn;
    rl.cblkwidthexpn = std::min<int>(ccp.cblkwidthexpn, rl.cbgwidthexpn);
    rl.cblkheightexpn = std::min<int>(ccp.cblkheightexpn, rl.cbgheightexpn);
    // A level empty in either direction has no precincts and so no packets.
    if (rl.xstart >= rl.xend || rl.ystart >= rl.yend) {
        numprcs = 0;
        return true;
    }
    const std::int64_t w = cells(rl.xstart, rl.xend, rl.prcwidthexpn);
    const std::int64_t h = cells(rl.ystart, rl.yend, rl.prcheightexpn);
    // Both are below 2^32, so their product cannot overflow.
    numprcs = w * h;
    if (numprcs > INT_MAX)
        return false;
    rl.numhprcs = static_cast<int>(w);
    rl.numvprcs = static_cast<int>(h);
    rl.numprcs = static_cast<int>(numprcs);
    return true;
}

// Tag-tree nodes over a grid of w x h leaves: every level halves, rounding up, down to the root.
std::uint64_t tagtree_nodes(std::int64_t w, std::int64_t h) {
    std::uint64_t n = static_cast<std::uint64_t>(w * h);
    while (w * h > 1) {
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        n += static_cast<std::uint64_t>(w * h);
    }
    return n;
}

// A precinct's area in its band: the code-block-group cell of the level's precinct partition
// (seen in the band's coordinates) clipped to the band.
Rect precinct_rect(const jpc_dec_band_t& band, const jpc_dec_rlvl_t& rl, int prcno) {
    const std::int64_t gx = (rl.xstart >> rl.prcwidthexpn) << rl.cbgwidthexpn;
    const std::int64_t gy = (rl.ystart >> rl.prcheightexpn) << rl.cbgheightexpn;
    const std::int64_t i = prcno % rl.numhprcs, j = prcno / rl.numhprcs;
    return {std::max(band.xstart, gx + (i << rl.cbgwidthexpn)),
            std::max(band.ystart, gy + (j << rl.cbgheightexpn)),
            std::min(band.xend, gx + ((i + 1) << rl.cbgwidthexpn)),
            std::min(band.yend, gy + ((j + 1) << rl.cbgheightexpn))};
}

// What a precinct of area `a` holds once made: its record, code-blocks and two tag trees.
std::uint64_t precinct_bytes(const Rect& a, const jpc_dec_rlvl_t& rl) {
    std::uint64_t bytes = sizeof(jpc_dec_prc_t);
    if (a.empty())
        return bytes;
    const std::int64_t w = cells(a.x0, a.x1, rl.cblkwidthexpn);
    const std::int64_t h = cells(a.y0, a.y1, rl.cblkheightexpn);
    return bytes + static_cast<std::uint64_t>(w * h) * sizeof(jpc_dec_cblk_t) +
           2 * tagtree_nodes(w, h) * tagtree_t::kNodeBytes;
}

// Code-blocks of a precinct made at once between two of the budget's questions for a stop.
constexpr size_t kBlocksMadeAtOnce = 4096;

// Giving back a tile's structure of this size takes a few milliseconds; a larger one (millions
// of code-blocks) takes tens, which a stop after the tile cannot wait for, so it goes to the
// deferred release. Smaller ones are freed at once: freed on the release thread while this one
// makes the next tile's, the two threads contend for the allocator, and a stream of thousands
// of small tiles of many components took several times as long.
constexpr std::uint64_t kReleasedAtOnce = std::uint64_t{8} << 20;

// Makes the precinct's code-blocks and tag trees, paying for their making a few thousand at a
// time: a precinct of millions of code-blocks asks for a stop as it goes. False when the budget
// refuses (or a stop is asked for).
bool setup_precinct(jpc_dec_tile_t& tile, jpc_dec_prc_t& prc, const jpc_dec_rlvl_t& rl) {
    if (prc.xstart >= prc.xend || prc.ystart >= prc.yend)
        return true;
    const char* what = "a precinct's code-blocks";
    const int ew = rl.cblkwidthexpn, eh = rl.cblkheightexpn;
    prc.numhcblks = static_cast<int>(cells(prc.xstart, prc.xend, ew));
    prc.numvcblks = static_cast<int>(cells(prc.ystart, prc.yend, eh));
    const auto pace = [&tile, what](size_t nodes) {
        return tile.spend(nodes * tagtree_t::kNodeBytes / 4, what);
    };
    prc.incltagtree = tagtree_t::make(prc.numhcblks, prc.numvcblks, pace);
    prc.numimsbstagtree = tagtree_t::make(prc.numhcblks, prc.numvcblks, pace);
    if (!prc.incltagtree || !prc.numimsbstagtree)
        return false;
    const size_t count = static_cast<size_t>(prc.numhcblks) * prc.numvcblks;
    prc.cblks.reserve(count);
    const std::int64_t gx = floor_div(prc.xstart, std::int64_t{1} << ew) << ew;
    const std::int64_t gy = floor_div(prc.ystart, std::int64_t{1} << eh) << eh;
    for (int j = 0; j < prc.numvcblks; ++j)
        for (int i = 0; i < prc.numhcblks; ++i) {
            const size_t made = prc.cblks.size();
            if (made % kBlocksMadeAtOnce == 0 &&
                !tile.spend(std::min(kBlocksMadeAtOnce, count - made) * sizeof(jpc_dec_cblk_t) / 4,
                            what))
                return false;
            jpc_dec_cblk_t& cb = prc.cblks.emplace_back();
            cb.xstart =
                static_cast<std::uint32_t>(std::max(prc.xstart, gx + (std::int64_t{i} << ew)));
            cb.ystart =
                static_cast<std::uint32_t>(std::max(prc.ystart, gy + (std::int64_t{j} << eh)));
            cb.xend =
                static_cast<std::uint32_t>(std::min(prc.xend, gx + (std::int64_t{i + 1} << ew)));
            cb.yend =
                static_cast<std::uint32_t>(std::min(prc.yend, gy + (std::int64_t{j + 1} << eh)));
        }
    return true;
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
    rl.bands.reserve(r == 0 ? 1 : 3);
    if (r == 0) {
        jpc_dec_band_t& ll = rl.bands.emplace_back();
        const Rect a = band_rect(tc, nl, 0, 0);
        ll.orient = kLL;
        ll.xstart = a.x0, ll.ystart = a.y0, ll.xend = a.x1, ll.yend = a.y1;
        set_band_params(ll, ccp, 0);
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
    }
}

pi_comp_t pi_component(const jpc_dec_tcomp_t& tc) {
    pi_comp_t pc;
    pc.hsamp = tc.hsamp;
    pc.vsamp = tc.vsamp;
    pc.rlvls.reserve(tc.rlvls.size());
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

// Levels of one tile-component with their precinct grids, and what they hold (the levels,
// their bands and the iterator's record of every precinct). False, with `why`, when a level's
// precinct count does not fit an int.
bool plan_levels(const jpc_dec_tcomp_t& tc, const jpc_dec_ccp_t& ccp,
                 std::vector<jpc_dec_rlvl_t>& rlvls, std::uint64_t& bytes, std::string* why) {
    bytes = sizeof(jpc_dec_tcomp_t) + sizeof(pi_comp_t);
    rlvls.reserve(static_cast<size_t>(tc.numrlvls));
    for (int r = 0; r < tc.numrlvls; ++r) {
        jpc_dec_rlvl_t& rl = rlvls.emplace_back();
        std::int64_t numprcs = 0;
        if (!setup_rlvl_grid(rl, tc, ccp, r, numprcs)) {
            if (why)
                *why = "resolution " + std::to_string(r) + " has " + std::to_string(numprcs) +
                       " precincts, more than can be counted";
            return false;
        }
        bytes += sizeof(jpc_dec_rlvl_t) + (r == 0 ? 1 : 3) * sizeof(jpc_dec_band_t) +
                 sizeof(pi_rlvl_t) + static_cast<std::uint64_t>(numprcs) * sizeof(std::uint16_t);
    }
    return true;
}

}  // namespace

bool jpc_dec_tile_t::take(std::uint64_t bytes, const char* what) {
    if (budget && !budget->hold(bytes, what))
        return false;
    heldbytes += bytes;
    return true;
}

bool jpc_dec_tile_t::spend(std::uint64_t units, const char* what) const {
    return !budget || budget->spend(units, what);
}

bool tile_setup(jpc_dec_tile_t& tile, const std::vector<jpc_sizcmpt_t>& cmpts, std::string* why) {
    tile.tcomps.resize(cmpts.size());
    std::vector<pi_comp_t> picomps;
    picomps.reserve(cmpts.size());
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
        std::uint64_t bytes = 0;
        std::vector<jpc_dec_rlvl_t> rlvls;
        if (!plan_levels(tc, ccp, rlvls, bytes, why))
            return false;
        // Paid before the iterator's records, by far the largest part, are made.
        if (!tile.take(bytes, "the tile's structure") ||
            !tile.spend(bytes * work::kStructureByte, "the tile's structure")) {
            if (why && tile.budget)
                *why = tile.budget->reason();
            return false;
        }
        tc.rlvls = std::move(rlvls);
        for (int r = 0; r < tc.numrlvls; ++r)
            setup_bands(tc.rlvls[static_cast<size_t>(r)], tc, ccp, r,
                        r > 0 ? &tc.rlvls[static_cast<size_t>(r - 1)] : nullptr);
        picomps.push_back(pi_component(tc));
    }
    tile.pi = std::make_unique<pi_t>(tile.xstart, tile.ystart, tile.xend, tile.yend,
                                     tile.cp.numlyrs, tile.cp.prgord, std::move(picomps));
    for (const jpc_pchg_t& p : tile.cp.pchglist)
        tile.pi->addpchg(p);
    return true;
}

int rlvl_makeprc(jpc_dec_tile_t& tile, jpc_dec_rlvl_t& rl, int prcno) {
    if (const auto found = rl.prcindex.find(prcno); found != rl.prcindex.end())
        return static_cast<int>(found->second);
    std::uint64_t bytes = 0;
    for (const jpc_dec_band_t& band : rl.bands)
        bytes += precinct_bytes(precinct_rect(band, rl, prcno), rl);
    // The memory is taken before anything is made; the making is paid for as it goes.
    if (!tile.take(bytes, "a precinct's code-blocks"))
        return -1;
    const auto index = static_cast<std::uint32_t>(rl.bands.empty() ? 0 : rl.bands[0].prcs.size());
    for (jpc_dec_band_t& band : rl.bands) {
        jpc_dec_prc_t& prc = band.prcs.emplace_back();
        const Rect a = precinct_rect(band, rl, prcno);
        prc.prcno = prcno;
        prc.xstart = a.x0, prc.ystart = a.y0, prc.xend = a.x1, prc.yend = a.y1;
        if (!setup_precinct(tile, prc, rl))
            return -1;
    }
    rl.prcindex.emplace(prcno, index);
    return static_cast<int>(index);
}

void tile_release(jpc_dec_tile_t& tile) {
    if (tile.state == jpc_dec_tile_t::kNotStarted || tile.state == jpc_dec_tile_t::kDone)
        return;
    // Without memory for the hand-over the structure is freed here.
    if (tile.heldbytes > kReleasedAtOnce) {
        try {
            release_later(std::make_unique<std::vector<jpc_dec_tcomp_t>>(std::move(tile.tcomps)));
        } catch (const std::bad_alloc&) {
        }
        release_later(std::move(tile.pi));
    }
    tile.tcomps.clear();
    tile.tcomps.shrink_to_fit();
    tile.pi.reset();
    tile.pkthdrstream.reset();
    tile.cp = jpc_dec_cp_t{};
    if (tile.budget)
        tile.budget->release(tile.heldbytes);
    tile.heldbytes = 0;
    tile.state = jpc_dec_tile_t::kDone;
}

}  // namespace j2000
