// The packet iterator of a tile: yields (layer, resolution, component, precinct) of every packet
// in the order of the progression in force: the COD order, or the POC progression changes
// followed by the COD order for whatever they left out. A packet is never yielded twice, and a
// precinct's packets come in layer order.
#pragma once

#include <cstdint>
#include <vector>

#include "Images/J2000/CodingParams.h"

namespace j2000 {

// One resolution level of one component, as the iterator needs it.
struct pi_rlvl_t {
    std::int64_t xstart = 0, ystart = 0;  // the level's area start (T.800 B-14)
    int prcwidthexpn = 15, prcheightexpn = 15;
    int numhprcs = 0, numvprcs = 0;  // 0 for a level empty in either direction
    std::vector<int> prclyrnos;      // per precinct, the next layer still due
    int numprcs() const { return numhprcs * numvprcs; }
};

struct pi_comp_t {
    int hsamp = 1, vsamp = 1;
    std::vector<pi_rlvl_t> rlvls;  // numrlvls entries
};

class pi_t {
  public:
    // The tile area on the reference grid, its layers and the COD progression order.
    pi_t(std::int64_t xstart, std::int64_t ystart, std::int64_t xend, std::int64_t yend,
         int numlyrs, int prgord, std::vector<pi_comp_t> comps);

    void addpchg(const jpc_pchg_t& pchg) { pchglist_.push_back(pchg); }
    // Rewinds to before the first packet.
    void init();
    // Moves to the next packet: true when positioned on one, false when the tile has none left.
    // Progression changes appended meanwhile are taken up as long as the COD order has not
    // started its final run.
    bool next();

    int compno = 0, rlvlno = 0, prcno = 0, lyrno = 0;

  private:
    enum Dim { L, R, C, P, Y, X, kNumDims };
    bool begin_change();
    bool step(bool fresh);
    std::int64_t first(Dim d);
    std::int64_t next_value(Dim d);
    std::int64_t end(Dim d);
    void gather_steps();
    std::int64_t next_position(std::int64_t v, bool horizontal);
    bool precinct_at_position();
    bool yield();

    std::int64_t xstart_, ystart_, xend_, yend_;
    int numlyrs_;
    int maxrlvls_ = 0;
    std::vector<pi_comp_t> comps_;
    jpc_pchglist_t pchglist_;
    jpc_pchg_t defaultpchg_;
    jpc_pchg_t pchg_;
    size_t pchgno_ = 0;
    bool in_default_ = false;       // the final COD-order pass has begun
    bool running_default_ = false;  // the change running is that pass
    bool running_ = false;          // within a change, resuming after the last position
    Dim dims_[5] = {};
    int numdims_ = 0;
    bool position_valid_ = false;  // position orders: the current (y, x, c, r) starts a precinct
    int position_prcno_ = 0;
    std::vector<std::int64_t> xsteps_, ysteps_;  // of the position walk under way
    std::int64_t val_[kNumDims] = {};
};

}  // namespace j2000
