// The packet iterator against a brute-force walk of the progression orders as T.800 B.12 states
// them (every reference-grid position of the tile visited in turn), over random tile geometries,
// sub-sampling, precinct sizes, layer counts and progression-change lists; and the tile
// structure's bands and code-blocks tiling each tile-component exactly.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include "Images/J2000/TileStructure.h"

namespace j2000 {
namespace {

struct Packet {
    int l, r, c, p;
    bool operator==(const Packet& o) const {
        return std::tie(l, r, c, p) == std::tie(o.l, o.r, o.c, o.p);
    }
};

std::int64_t cdiv(std::int64_t a, std::int64_t b) {
    return (a + b - 1) / b;
}

struct Geometry {
    std::int64_t tx0, ty0, tx1, ty1;
    int numlyrs, prgord;
    std::vector<jpc_sizcmpt_t> cmpts;
    std::vector<jpc_dec_ccp_t> ccps;
    jpc_pchglist_t pocs;
};

// Resolution r of component c: its area start and precinct counts (T.800 B-14 to B-16).
struct Level {
    std::int64_t rx0, ry0;
    int ppx, ppy, nw, nh;
};

Level level(const Geometry& g, int c, int r) {
    const jpc_dec_ccp_t& ccp = g.ccps[static_cast<size_t>(c)];
    const std::int64_t d = std::int64_t{1} << (ccp.numrlvls - 1 - r);
    const auto& s = g.cmpts[static_cast<size_t>(c)];
    const std::int64_t x0 = cdiv(cdiv(g.tx0, s.hsamp), d), x1 = cdiv(cdiv(g.tx1, s.hsamp), d);
    const std::int64_t y0 = cdiv(cdiv(g.ty0, s.vsamp), d), y1 = cdiv(cdiv(g.ty1, s.vsamp), d);
    Level lv{x0,
             y0,
             ccp.prcwidthexpns[static_cast<size_t>(r)],
             ccp.prcheightexpns[static_cast<size_t>(r)],
             0,
             0};
    if (x1 > x0 && y1 > y0) {
        lv.nw = static_cast<int>(cdiv(x1, std::int64_t{1} << lv.ppx) - (x0 >> lv.ppx));
        lv.nh = static_cast<int>(cdiv(y1, std::int64_t{1} << lv.ppy) - (y0 >> lv.ppy));
    }
    return lv;
}

// The precinct that starts at (x, y) for component c, level r, or -1 (T.800 B.12.1.3).
int precinct_at(const Geometry& g, int c, int r, std::int64_t x, std::int64_t y) {
    const int nl = g.ccps[static_cast<size_t>(c)].numrlvls - 1;
    const Level lv = level(g, c, r);
    if (lv.nw == 0)
        return -1;
    const auto& s = g.cmpts[static_cast<size_t>(c)];
    const std::int64_t sx = std::int64_t{s.hsamp} << (lv.ppx + nl - r);
    const std::int64_t sy = std::int64_t{s.vsamp} << (lv.ppy + nl - r);
    const bool xok =
        x % sx == 0 ||
        (x == g.tx0 && ((lv.rx0 << (nl - r)) % (std::int64_t{1} << (lv.ppx + nl - r))) != 0);
    const bool yok =
        y % sy == 0 ||
        (y == g.ty0 && ((lv.ry0 << (nl - r)) % (std::int64_t{1} << (lv.ppy + nl - r))) != 0);
    if (!xok || !yok)
        return -1;
    const std::int64_t i =
        (cdiv(x, std::int64_t{s.hsamp} << (nl - r)) >> lv.ppx) - (lv.rx0 >> lv.ppx);
    const std::int64_t j =
        (cdiv(y, std::int64_t{s.vsamp} << (nl - r)) >> lv.ppy) - (lv.ry0 >> lv.ppy);
    return static_cast<int>(i + j * lv.nw);
}

std::vector<Packet> brute_force(const Geometry& g) {
    const int numcomps = static_cast<int>(g.cmpts.size());
    int maxr = 0;
    for (const auto& ccp : g.ccps)
        maxr = std::max<int>(maxr, ccp.numrlvls);
    jpc_pchglist_t volumes = g.pocs;
    volumes.push_back({static_cast<std::uint8_t>(g.prgord), 0, static_cast<std::uint8_t>(maxr), 0,
                       static_cast<std::uint16_t>(numcomps),
                       static_cast<std::uint16_t>(g.numlyrs)});
    std::vector<Packet> out;
    std::set<std::tuple<int, int, int, int>> seen;
    auto emit = [&](int l, int r, int c, int p) {
        if (seen.insert({l, r, c, p}).second)
            out.push_back({l, r, c, p});
    };
    for (const jpc_pchg_t& v : volumes) {
        const int le = std::min<int>(g.numlyrs, v.lyrnoend), re = std::min<int>(maxr, v.rlvlnoend);
        const int ce = std::min<int>(numcomps, v.compnoend);
        auto has = [&](int c, int r) { return r < g.ccps[static_cast<size_t>(c)].numrlvls; };
        auto prcs = [&](int c, int r) {
            const Level lv = level(g, c, r);
            return lv.nw * lv.nh;
        };
        auto at = [&](std::int64_t x, std::int64_t y, int c, int r) {
            if (!has(c, r))
                return;
            const int p = precinct_at(g, c, r, x, y);
            for (int l = 0; p >= 0 && l < le; ++l)
                emit(l, r, c, p);
        };
        switch (v.prgord) {
            case LRCP:
                for (int l = 0; l < le; ++l)
                    for (int r = v.rlvlnostart; r < re; ++r)
                        for (int c = v.compnostart; c < ce; ++c)
                            for (int p = 0; has(c, r) && p < prcs(c, r); ++p)
                                emit(l, r, c, p);
                break;
            case RLCP:
                for (int r = v.rlvlnostart; r < re; ++r)
                    for (int l = 0; l < le; ++l)
                        for (int c = v.compnostart; c < ce; ++c)
                            for (int p = 0; has(c, r) && p < prcs(c, r); ++p)
                                emit(l, r, c, p);
                break;
            case RPCL:
                for (int r = v.rlvlnostart; r < re; ++r)
                    for (std::int64_t y = g.ty0; y < g.ty1; ++y)
                        for (std::int64_t x = g.tx0; x < g.tx1; ++x)
                            for (int c = v.compnostart; c < ce; ++c)
                                at(x, y, c, r);
                break;
            case PCRL:
                for (std::int64_t y = g.ty0; y < g.ty1; ++y)
                    for (std::int64_t x = g.tx0; x < g.tx1; ++x)
                        for (int c = v.compnostart; c < ce; ++c)
                            for (int r = v.rlvlnostart; r < re; ++r)
                                at(x, y, c, r);
                break;
            case CPRL:
                for (int c = v.compnostart; c < ce; ++c)
                    for (std::int64_t y = g.ty0; y < g.ty1; ++y)
                        for (std::int64_t x = g.tx0; x < g.tx1; ++x)
                            for (int r = v.rlvlnostart; r < re; ++r)
                                at(x, y, c, r);
                break;
        }
    }
    return out;
}

Geometry random_geometry(std::mt19937& rng) {
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Geometry g;
    g.tx0 = pick(0, 40);
    g.ty0 = pick(0, 40);
    g.tx1 = g.tx0 + pick(1, 48);
    g.ty1 = g.ty0 + pick(1, 48);
    g.numlyrs = pick(1, 3);
    g.prgord = pick(0, 4);
    const int numcomps = pick(1, 3);
    for (int c = 0; c < numcomps; ++c) {
        g.cmpts.push_back({pick(1, 3), pick(1, 3), 8, false});
        jpc_dec_ccp_t ccp;
        ccp.numrlvls = static_cast<std::uint8_t>(pick(1, 4));
        ccp.cblkwidthexpn = static_cast<std::uint8_t>(pick(2, 4));
        ccp.cblkheightexpn = static_cast<std::uint8_t>(pick(2, 4));
        ccp.stepsizes.assign(3u * ccp.numrlvls - 2, 8 << 11);
        ccp.numguardbits = 2;
        for (int r = 0; r < kMaxResolutions; ++r) {
            ccp.prcwidthexpns[static_cast<size_t>(r)] =
                static_cast<std::uint8_t>(pick(r == 0 ? 0 : 1, 5));
            ccp.prcheightexpns[static_cast<size_t>(r)] =
                static_cast<std::uint8_t>(pick(r == 0 ? 0 : 1, 5));
        }
        g.ccps.push_back(ccp);
    }
    for (int n = pick(0, 3); n > 0; --n) {
        jpc_pchg_t p;
        p.prgord = static_cast<std::uint8_t>(pick(0, 4));
        p.rlvlnostart = static_cast<std::uint8_t>(pick(0, 2));
        p.rlvlnoend = static_cast<std::uint8_t>(p.rlvlnostart + pick(0, 4));
        p.compnostart = static_cast<std::uint16_t>(pick(0, numcomps - 1));
        p.compnoend = static_cast<std::uint16_t>(p.compnostart + pick(0, 3));
        p.lyrnoend = static_cast<std::uint16_t>(pick(0, 3));
        g.pocs.push_back(p);
    }
    return g;
}

jpc_dec_tile_t make_tile(const Geometry& g) {
    jpc_dec_tile_t tile;
    tile.xstart = g.tx0, tile.ystart = g.ty0, tile.xend = g.tx1, tile.yend = g.ty1;
    tile.cp.numlyrs = static_cast<std::uint16_t>(g.numlyrs);
    tile.cp.prgord = static_cast<std::uint8_t>(g.prgord);
    tile.cp.ccps = g.ccps;
    tile.cp.pchglist = g.pocs;
    EXPECT_TRUE(tile_setup(tile, g.cmpts, nullptr));
    return tile;
}

TEST(PacketIterator, MatchesTheStandardOrderOverRandomGeometries) {
    std::mt19937 rng(12345);
    for (int iter = 0; iter < 400; ++iter) {
        const Geometry g = random_geometry(rng);
        jpc_dec_tile_t tile = make_tile(g);
        std::vector<Packet> got;
        while (tile.pi->next())
            got.push_back({tile.pi->lyrno, tile.pi->rlvlno, tile.pi->compno, tile.pi->prcno});
        ASSERT_EQ(got, brute_force(g)) << "iteration " << iter << " order " << g.prgord;
    }
}

TEST(PacketIterator, ProgressionChangesAddedLaterAreTakenUp) {
    std::mt19937 rng(7);
    Geometry g = random_geometry(rng);
    g.pocs = {{CPRL, 0, 33, 0, 3, 1}};
    jpc_dec_tile_t tile = make_tile(g);
    // Read what the first change yields, then append a second one as a later tile-part would.
    std::vector<Packet> got;
    const std::vector<Packet> first = brute_force(g);
    const size_t fromfirst = [&] {
        Geometry only = g;
        only.numlyrs = 1;
        return brute_force(only).size();
    }();
    for (size_t i = 0; i < fromfirst && tile.pi->next(); ++i)
        got.push_back({tile.pi->lyrno, tile.pi->rlvlno, tile.pi->compno, tile.pi->prcno});
    const jpc_pchg_t later{RLCP, 0, 33, 0, 3, 2};
    tile.pi->addpchg(later);
    while (tile.pi->next())
        got.push_back({tile.pi->lyrno, tile.pi->rlvlno, tile.pi->compno, tile.pi->prcno});
    g.pocs.push_back(later);
    EXPECT_EQ(got, brute_force(g));
    // A change arriving after the tile's last packet yields nothing and ends at once.
    tile.pi->addpchg(later);
    EXPECT_FALSE(tile.pi->next());
}

TEST(TileStructure, BandsAndCodeBlocksCoverEachTileComponentOnce) {
    std::mt19937 rng(99);
    for (int iter = 0; iter < 200; ++iter) {
        const Geometry g = random_geometry(rng);
        jpc_dec_tile_t tile = make_tile(g);
        for (jpc_dec_tcomp_t& tc : tile.tcomps)
            for (jpc_dec_rlvl_t& rl : tc.rlvls)
                for (int p = rl.numprcs - 1; p >= 0; --p)  // in any order
                    ASSERT_GE(rlvl_makeprc(tile, rl, p), 0);
        for (const jpc_dec_tcomp_t& tc : tile.tcomps) {
            const std::int64_t w = tc.xend - tc.xstart, h = tc.yend - tc.ystart;
            std::vector<int> hits(static_cast<size_t>(w * h), 0);
            for (const jpc_dec_rlvl_t& rl : tc.rlvls)
                for (const jpc_dec_band_t& b : rl.bands)
                    for (const jpc_dec_prc_t& prc : b.prcs)
                        for (const jpc_dec_cblk_t& cb : prc.cblks)
                            for (std::int64_t y = cb.ystart; y < cb.yend; ++y)
                                for (std::int64_t x = cb.xstart; x < cb.xend; ++x) {
                                    const std::int64_t mx = b.locxstart + x - b.xstart;
                                    const std::int64_t my = b.locystart + y - b.ystart;
                                    ASSERT_TRUE(mx >= 0 && mx < w && my >= 0 && my < h);
                                    ++hits[static_cast<size_t>(my * w + mx)];
                                }
            for (int n : hits)
                ASSERT_EQ(n, 1) << "iteration " << iter;
        }
    }
}

}  // namespace
}  // namespace j2000
