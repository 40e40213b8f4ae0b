// A tile's structure: per component its resolution levels, per level its bands, per band its
// precincts, per precinct its code-blocks with their tag trees (T.800 B.5 to B.7). Tier 2 fills
// the code-blocks' segments; tier 1 and reconstruction read them.
//
// A precinct is made (in every band of its level at once) by the first packet that brings it
// data: a tile declares its precincts by the geometry, but only packets the stream really holds
// are worth code-block records, so each band's `prcs` lists the precincts made so far and a
// precinct never reached holds nothing. What the structure holds is paid from the decode's
// budget (DecodeBudget.h) and given back when the tile is released.
//
// What tier 1 needs of a code-block, and where it finds it:
//   - `jpc_dec_cblk_t::segs`: the coded segments in pass order. Each segment holds `numpasses`
//     coding passes starting at pass `passno`, of `type` kSegMq (arithmetic-coded, its own MQ
//     termination) or kSegRaw (bypass raw bits), and its bytes in `data`. `complete` is set once
//     all `maxpasses` passes of the segment have arrived. Passes are numbered so that the
//     code-block's first pass, `firstpassno` = 3 x `numimsbs`, is a cleanup pass; pass p works on
//     bit-plane `roishift` + `numbps` - 1 - (p + 2) / 3 of the band.
//   - the code-block's rectangle `xstart`..`xend`, `ystart`..`yend` in its band's coordinates;
//     the band's samples start at (`locxstart`, `locystart`) of the tile-component's matrix,
//     whose origin is the tile-component's (`xstart`, `ystart`), with the low-pass samples of every
//     level before the high-pass ones (LL top left, HL right of it, LH below, HH diagonal).
//   - the band's `orient` (0 LL, 1 LH, 2 HL, 3 HH), `numbps`, `roishift`, and the component's
//     code-block style `cblkctx` (CblkStyle bits).
// A tile reaches its tile decoder once, after all its packets are read, so tier 1 keeps its own
// per-code-block state (contexts, significance) for the length of that call. Packets of layers
// beyond the "maxlyrs" option add nothing to `segs`, so every segment present is to be decoded;
// the last one may be incomplete (`complete` false) when the codestream stops early.
// Reconstruction finds per band the raw step size `stepsize` (exponent << 11 | mantissa) and
// `analgain`, the log2 of the band's nominal gain (0 LL, 1 HL and LH, 2 HH): the step size is
// 2^(prec + analgain - exponent) x (1 + mantissa / 2048) (T.800 E-3), whatever the guard bits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Images/J2000/CodingParams.h"
#include "Images/J2000/DecodeBudget.h"
#include "Images/J2000/PacketIterator.h"
#include "Images/J2000/Stream.h"
#include "Images/J2000/T1Tables.h"
#include "Images/J2000/TagTree.h"

namespace j2000 {

enum BandOrient : std::uint8_t { kLL = 0, kLH = 1, kHL = 2, kHH = 3 };

struct jpc_dec_seg_t {
    int passno = -1;    // first pass of the segment
    int numpasses = 0;  // passes received so far
    int maxpasses = 0;  // passes the segment can hold
    std::uint8_t type = kSegMq;
    std::vector<std::uint8_t> data;
    std::uint32_t cnt = 0;  // bytes announced by the last header and not yet copied
    bool complete = false;
    int lyrno = -1;  // layer of the last packet that added passes
};

struct jpc_dec_cblk_t {
    std::uint32_t xstart = 0, ystart = 0, xend = 0, yend = 0;  // in band coordinates
    int numpasses = 0;     // passes announced by all packet headers read so far
    int numimsbs = 0;      // missing most significant bit-planes
    int numlenbits = 3;    // Lblock
    int firstpassno = -1;  // -1 until the code-block is first included
    std::vector<jpc_dec_seg_t> segs;
    size_t curseg = 0;  // the first segment still waiting for passes
};

struct jpc_dec_prc_t {
    int prcno = 0;                                            // within the resolution level
    std::int64_t xstart = 0, ystart = 0, xend = 0, yend = 0;  // in band coordinates
    int numhcblks = 0, numvcblks = 0;
    std::vector<jpc_dec_cblk_t> cblks;  // raster order; none for an empty precinct
    std::unique_ptr<tagtree_t> incltagtree, numimsbstagtree;
};

struct jpc_dec_band_t {
    std::uint8_t orient = kLL;
    std::int64_t xstart = 0, ystart = 0, xend = 0, yend = 0;  // in band coordinates
    std::int64_t locxstart = 0, locystart = 0;  // offset in the tile-component's matrix
    std::uint16_t stepsize = 0;
    int numbps = 0;  // guard bits + exponent - 1 (T.800 E-2)
    int analgain = 0;
    int roishift = 0;
    std::vector<jpc_dec_prc_t> prcs;  // the precincts made so far, in the level's `prcindex` order
};

struct jpc_dec_rlvl_t {
    std::int64_t xstart = 0, ystart = 0, xend = 0, yend = 0;
    int prcwidthexpn = 15, prcheightexpn = 15;
    int numhprcs = 0, numvprcs = 0, numprcs = 0;
    int cbgwidthexpn = 15, cbgheightexpn = 15;
    int cblkwidthexpn = 6, cblkheightexpn = 6;
    std::vector<jpc_dec_band_t> bands;  // LL at level 0; HL, LH, HH above
    // Precinct number -> its place in each band's `prcs`, for the precincts made so far.
    std::unordered_map<int, std::uint32_t> prcindex;
};

struct jpc_dec_tcomp_t {
    std::int64_t xstart = 0, ystart = 0, xend = 0, yend = 0;  // on the component's own grid
    int hsamp = 1, vsamp = 1;
    int prec = 8;
    bool sgnd = false;
    int numrlvls = 0;
    std::uint8_t qmfbid = 0;
    std::uint8_t cblkctx = 0;
    std::vector<jpc_dec_rlvl_t> rlvls;
};

struct jpc_dec_tile_t {
    enum State { kNotStarted = 0, kActive = 1, kLastPart = 2, kDone = 3 };
    int state = kNotStarted;
    std::int64_t xstart = 0, ystart = 0, xend = 0, yend = 0;  // on the reference grid (B-7)
    int partno = 0;                                           // the tile-part expected next
    int numparts = 0;  // declared tile-parts; 0 when not given
    int pptseqno = 0;
    jpc_dec_cp_t cp;
    std::vector<jpc_dec_tcomp_t> tcomps;
    StreamPtr pkthdrstream;  // packed packet headers from PPM or PPT, if any
    std::unique_ptr<pi_t> pi;
    // A packet cut short ended the tile's data: what came before it is all it gets.
    bool dataended = false;
    // Some code-block received a pass (and may have lost it again to a cut packet).
    bool codeddata = false;
    // Why its packets may be out of step has been written (TileParts.h).
    bool outofstepexplained = false;
    // Where what the tile holds is paid from (none: no limit), and how much it holds.
    DecodeBudget* budget = nullptr;
    std::uint64_t heldbytes = 0;

    // Pays for memory the tile keeps until it is released; false when the budget refuses.
    bool take(std::uint64_t bytes, const char* what);
    // Pays for work; false when the budget refuses.
    bool spend(std::uint64_t units, const char* what) const;
};

// Per component what SIZ says.
struct jpc_sizcmpt_t {
    int hsamp = 1, vsamp = 1;
    int prec = 8;
    bool sgnd = false;
};

// Builds the structure (without precincts) and packet iterator of `tile` from its completed
// coding parameters. False, with the reason in `why`, when the tile's budget refuses it or a
// level has more precincts than an int counts.
bool tile_setup(jpc_dec_tile_t& tile, const std::vector<jpc_sizcmpt_t>& cmpts, std::string* why);
// Makes precinct `prcno` of every band of `rl` unless it is made already: its place in each
// band's `prcs`, or -1 when the tile's budget refuses its code-blocks.
int rlvl_makeprc(jpc_dec_tile_t& tile, jpc_dec_rlvl_t& rl, int prcno);
// Whether a code-block of the tile received a pass: else every coefficient is 0.
inline bool tile_hascodeddata(const jpc_dec_tile_t& tile) {
    return tile.codeddata;
}
// Frees the structure and gives its memory back to the budget; the tile is done.
void tile_release(jpc_dec_tile_t& tile);

// Integer helpers of the grid arithmetic (divisor above 0).
std::int64_t ceil_div(std::int64_t a, std::int64_t b);
std::int64_t floor_div(std::int64_t a, std::int64_t b);

}  // namespace j2000
