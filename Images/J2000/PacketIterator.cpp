#include "Images/J2000/PacketIterator.h"

#include <algorithm>

namespace j2000 {

namespace {

// Loop nesting of each progression order, outermost first (T.800 B.12.1). Position-driven
// orders walk the reference grid (Y, X) and find the precinct from the position.
constexpr int kOrderDims[5][5] = {
    {0, 1, 2, 3, -1},  // LRCP
    {1, 0, 2, 3, -1},  // RLCP
    {1, 4, 5, 2, 0},   // RPCL
    {4, 5, 2, 1, 0},   // PCRL
    {2, 4, 5, 1, 0},   // CPRL
};

// Steps of 2^48 and more lie beyond any reference grid (coordinates are below 2^32).
constexpr int kHugeExponent = 48;

}  // namespace

pi_t::pi_t(std::int64_t xstart, std::int64_t ystart, std::int64_t xend, std::int64_t yend,
           int numlyrs, int prgord, std::vector<pi_comp_t> comps)
    : xstart_(xstart),
      ystart_(ystart),
      xend_(xend),
      yend_(yend),
      numlyrs_(numlyrs),
      comps_(std::move(comps)) {
    for (const pi_comp_t& c : comps_)
        maxrlvls_ = std::max(maxrlvls_, static_cast<int>(c.rlvls.size()));
    defaultpchg_.prgord = static_cast<std::uint8_t>(prgord);
    defaultpchg_.rlvlnostart = 0;
    defaultpchg_.rlvlnoend = static_cast<std::uint8_t>(maxrlvls_);
    defaultpchg_.compnostart = 0;
    defaultpchg_.compnoend = static_cast<std::uint16_t>(comps_.size());
    defaultpchg_.lyrnoend = static_cast<std::uint16_t>(numlyrs);
    init();
}

void pi_t::init() {
    for (pi_comp_t& c : comps_)
        for (pi_rlvl_t& r : c.rlvls)
            std::fill(r.prclyrnos.begin(), r.prclyrnos.end(), 0);
    pchgno_ = 0;
    in_default_ = false;
    running_ = false;
    yielded_ = 0;
}

bool pi_t::begin_change() {
    running_default_ = pchgno_ >= pchglist_.size();
    if (!running_default_) {
        pchg_ = pchglist_[pchgno_];
    } else if (!in_default_) {
        in_default_ = true;
        pchg_ = defaultpchg_;
    } else {
        return false;
    }
    if (pchg_.prgord > CPRL)
        return false;
    const int* order = kOrderDims[pchg_.prgord];
    numdims_ = order[4] < 0 ? 4 : 5;
    for (int k = 0; k < numdims_; ++k)
        dims_[k] = static_cast<Dim>(order[k]);
    changemindue_ = min_due(pchg_.rlvlnostart, end(R));
    return true;
}

bool pi_t::next() {
    for (;;) {
        if (stopped_)
            return false;
        if (!running_) {
            if (!begin_change())
                return false;
            running_ = true;
            // A change whose packets all came already (or that names nothing the tile has)
            // is passed over without a walk.
            if (changemindue_ < std::min<std::int64_t>(numlyrs_, pchg_.lyrnoend) && step(true))
                return true;
        } else if (step(false)) {
            return true;
        }
        if (stopped_)
            return false;
        running_ = false;
        if (!running_default_)
            ++pchgno_;
    }
}

bool pi_t::count_step() {
    if (++steps_ < kWatchSteps)
        return true;
    if (watch_ && !watch_(steps_))
        stopped_ = true;
    steps_ = 0;
    return !stopped_;
}

// The lowest layer still due over the change's components, levels [rfirst, rend) and their
// precincts: no packet of a lower layer can come from them. The end of the layers when there is
// nothing in the ranges. Before the first packet every layer is due: only whether the ranges
// hold a precinct at all is looked at.
std::int64_t pi_t::min_due(std::int64_t rfirst, std::int64_t rend) {
    std::int64_t low = 65535;
    const std::int64_t cend =
        std::min<std::int64_t>(static_cast<std::int64_t>(comps_.size()), pchg_.compnoend);
    for (std::int64_t c = pchg_.compnostart; c < cend; ++c) {
        const pi_comp_t& comp = comps_[static_cast<size_t>(c)];
        const std::int64_t last =
            std::min<std::int64_t>(rend, static_cast<std::int64_t>(comp.rlvls.size()));
        for (std::int64_t r = rfirst; r < last; ++r) {
            const std::vector<std::uint16_t>& dues = comp.rlvls[static_cast<size_t>(r)].prclyrnos;
            if (!count_step())
                return 65535;
            if (yielded_ == 0 && !dues.empty())
                return 0;
            // A flat scan: one step per 16 precincts.
            for (size_t i = 0; i < dues.size(); i += 16) {
                const auto stop =
                    dues.begin() + static_cast<std::ptrdiff_t>(std::min(i + 16, dues.size()));
                low = std::min<std::int64_t>(
                    low, *std::min_element(dues.begin() + static_cast<std::ptrdiff_t>(i), stop));
                if (!count_step())
                    return 65535;
            }
        }
    }
    return low;
}

// Advances the loop nest to the next position that yields a packet. Each dimension's range may
// depend on the values of the dimensions outside it.
bool pi_t::step(bool fresh) {
    int k = 0;
    if (fresh) {
        val_[dims_[0]] = first(dims_[0]);
    } else {
        k = numdims_ - 1;
        val_[dims_[k]] = next_value(dims_[k]);
    }
    for (;;) {
        if (!count_step())
            return false;
        if (val_[dims_[k]] >= end(dims_[k])) {
            if (k == 0)
                return false;
            --k;
            val_[dims_[k]] = next_value(dims_[k]);
            continue;
        }
        if (k < numdims_ - 1) {
            ++k;
            val_[dims_[k]] = first(dims_[k]);
            continue;
        }
        if (yield())
            return true;
        val_[dims_[k]] = next_value(dims_[k]);
    }
}

std::int64_t pi_t::first(Dim d) {
    switch (d) {
        case L:
            // The layer loop starts at the lowest layer still due below it.
            if (numdims_ == 5) {
                position_valid_ = precinct_at_position();
                return position_valid_ ? due_at(position_prcno_) : 0;
            }
            return dims_[0] == L ? changemindue_ : min_due(val_[R], val_[R] + 1);
        case R:
            return pchg_.rlvlnostart;
        case C:
            return pchg_.compnostart;
        case P:
            return 0;
        case Y:
            gather_steps();
            return ystart_;
        case X:
            return xstart_;
        default:
            return 0;
    }
}

std::int64_t pi_t::next_value(Dim d) {
    if (d == Y || d == X)
        return next_position(val_[d], d == X);
    return val_[d] + 1;
}

std::int64_t pi_t::end(Dim d) {
    switch (d) {
        case L:
            if (numdims_ == 5 && !position_valid_)
                return 0;
            return std::min<std::int64_t>(numlyrs_, pchg_.lyrnoend);
        case R:
            return std::min<std::int64_t>(maxrlvls_, pchg_.rlvlnoend);
        case C:
            return std::min<std::int64_t>(static_cast<std::int64_t>(comps_.size()),
                                          pchg_.compnoend);
        case P: {
            const pi_comp_t& c = comps_[static_cast<size_t>(val_[C])];
            const auto r = static_cast<size_t>(val_[R]);
            return r < c.rlvls.size() ? c.rlvls[r].numprcs() : 0;
        }
        case Y:
            return yend_;
        case X:
            return xend_;
        default:
            return 0;
    }
}

// The distinct precinct steps on the reference grid of the components and levels the current
// loops visit, gathered when a position walk starts (many components share their steps).
void pi_t::gather_steps() {
    const bool one_comp = dims_[0] == C;  // CPRL: the component is fixed outside the position
    const bool one_rlvl = dims_[0] == R;  // RPCL: the level is fixed outside the position
    const std::int64_t cfirst = one_comp ? val_[C] : pchg_.compnostart;
    const std::int64_t cend = one_comp ? val_[C] + 1 : end(C);
    xsteps_.clear();
    ysteps_.clear();
    for (std::int64_t c = cfirst; c < cend; ++c) {
        const pi_comp_t& comp = comps_[static_cast<size_t>(c)];
        const int numrlvls = static_cast<int>(comp.rlvls.size());
        const std::int64_t rfirst = one_rlvl ? val_[R] : pchg_.rlvlnostart;
        const std::int64_t rend = std::min<std::int64_t>(one_rlvl ? val_[R] + 1 : end(R), numrlvls);
        for (std::int64_t r = rfirst; r < rend; ++r) {
            const pi_rlvl_t& rl = comp.rlvls[static_cast<size_t>(r)];
            if (rl.numprcs() == 0)
                continue;
            const int shift = numrlvls - 1 - static_cast<int>(r);
            if (rl.prcwidthexpn + shift < kHugeExponent)
                xsteps_.push_back(std::int64_t{comp.hsamp} << (rl.prcwidthexpn + shift));
            if (rl.prcheightexpn + shift < kHugeExponent)
                ysteps_.push_back(std::int64_t{comp.vsamp} << (rl.prcheightexpn + shift));
        }
    }
    for (std::vector<std::int64_t>* steps : {&xsteps_, &ysteps_}) {
        std::sort(steps->begin(), steps->end());
        steps->erase(std::unique(steps->begin(), steps->end()), steps->end());
    }
}

// The next grid position after `v` where a precinct of some component and level in the current
// loops may start; the end of the tile when there is none.
std::int64_t pi_t::next_position(std::int64_t v, bool horizontal) {
    std::int64_t best = horizontal ? xend_ : yend_;
    for (std::int64_t step : horizontal ? xsteps_ : ysteps_)
        best = std::min(best, (v / step + 1) * step);
    return best;
}

// Whether the current grid position starts a precinct of the current component and level
// (T.800 B.12.1.3 to B.12.1.5), and which one.
bool pi_t::precinct_at_position() {
    const pi_comp_t& comp = comps_[static_cast<size_t>(val_[C])];
    const int r = static_cast<int>(val_[R]);
    const int numrlvls = static_cast<int>(comp.rlvls.size());
    if (r >= numrlvls)
        return false;
    const pi_rlvl_t& rl = comp.rlvls[static_cast<size_t>(r)];
    if (rl.numprcs() == 0)
        return false;
    const int shift = numrlvls - 1 - r;
    auto starts = [&](std::int64_t v, std::int64_t tstart, int samp, int ppexpn,
                      std::int64_t rstart) {
        const int e = ppexpn + shift;
        const bool on_grid =
            e >= kHugeExponent ? v == 0 : v % (static_cast<std::int64_t>(samp) << e) == 0;
        return on_grid || (v == tstart && (rstart & ((std::int64_t{1} << ppexpn) - 1)) != 0);
    };
    const std::int64_t x = val_[X], y = val_[Y];
    if (!starts(x, xstart_, comp.hsamp, rl.prcwidthexpn, rl.xstart) ||
        !starts(y, ystart_, comp.vsamp, rl.prcheightexpn, rl.ystart))
        return false;
    auto index = [&](std::int64_t v, int samp, int ppexpn, std::int64_t rstart) {
        const std::int64_t scale = static_cast<std::int64_t>(samp) << shift;
        const std::int64_t at_level = (v + scale - 1) / scale;
        return (at_level >> ppexpn) - (rstart >> ppexpn);
    };
    const std::int64_t i = index(x, comp.hsamp, rl.prcwidthexpn, rl.xstart);
    const std::int64_t j = index(y, comp.vsamp, rl.prcheightexpn, rl.ystart);
    if (i < 0 || i >= rl.numhprcs || j < 0 || j >= rl.numvprcs)
        return false;
    position_prcno_ = static_cast<int>(i + j * rl.numhprcs);
    return true;
}

std::uint16_t& pi_t::due_at(int prcno) {
    return comps_[static_cast<size_t>(val_[C])]
        .rlvls[static_cast<size_t>(val_[R])]
        .prclyrnos[static_cast<size_t>(prcno)];
}

bool pi_t::yield() {
    const int p = numdims_ == 5 ? position_prcno_ : static_cast<int>(val_[P]);
    std::uint16_t& due = due_at(p);
    const int l = static_cast<int>(val_[L]);
    if (l < due)
        return false;
    due = static_cast<std::uint16_t>(l + 1);
    ++yielded_;
    compno = static_cast<int>(val_[C]);
    rlvlno = static_cast<int>(val_[R]);
    prcno = p;
    lyrno = l;
    return true;
}

}  // namespace j2000
