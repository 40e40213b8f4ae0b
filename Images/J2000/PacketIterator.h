// The packet iterator of a tile: yields (layer, resolution, component, precinct) of every packet
// in the order of the progression in force: the COD order, or the POC progression changes
// followed by the COD order for whatever they left out. A packet is never yielded twice, and a
// precinct's packets come in layer order.
//
// A progression change may name components, levels and layers the tile lacks, or ones whose
// packets came already: its ranges are cut to the tile's, a change with nothing left to yield
// is passed over at once, and the layer loop starts at the lowest layer still due. What the walk
// still does is counted, and a watch the caller sets is asked every few thousand steps, so that
// a stop request or a budget ends even a walk that yields nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Images/J2000/CodingParams.h"

namespace j2000 {

// One resolution level of one component, as the iterator needs it.
struct pi_rlvl_t {
    std::int64_t xstart = 0, ystart = 0;  // the level's area start (T.800 B-14)
    int prcwidthexpn = 15, prcheightexpn = 15;
    int numhprcs = 0, numvprcs = 0;  // 0 for a level empty in either direction
    std::vector<std::uint16_t> prclyrnos;  // per precinct, the next layer still due
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
    // Moves to the next packet: true when positioned on one, false when the tile has none left
    // or the watch stopped the walk (then `stopped()`). Progression changes appended meanwhile
    // are taken up as long as the COD order has not started its final run.
    bool next();

    // Asked with the steps walked since it was last asked, every `kWatchSteps`; false stops the
    // walk for good.
    static constexpr std::uint64_t kWatchSteps = 4096;
    void setwatch(std::function<bool(std::uint64_t steps)> watch) { watch_ = std::move(watch); }
    bool stopped() const { return stopped_; }

    int compno = 0, rlvlno = 0, prcno = 0, lyrno = 0;

  private:
    enum Dim { L, R, C, P, Y, X, kNumDims };
    bool begin_change();
    bool step(bool fresh);
    bool count_step();
    std::int64_t min_due(std::int64_t rfirst, std::int64_t rend);
    std::int64_t first(Dim d);
    std::int64_t next_value(Dim d);
    std::int64_t end(Dim d);
    void gather_steps();
    std::int64_t next_position(std::int64_t v, bool horizontal);
    bool precinct_at_position();
    std::uint16_t& due_at(int prcno);
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
    std::int64_t changemindue_ = 0;  // the lowest layer due in the change's ranges at its start
    std::function<bool(std::uint64_t)> watch_;
    std::uint64_t steps_ = 0;    // since the watch was last asked
    std::uint64_t yielded_ = 0;  // packets since `init`
    bool stopped_ = false;
};

}  // namespace j2000
