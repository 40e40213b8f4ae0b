#include "Images/J2000/Reconstruction.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Images/J2000/ComponentTransform.h"
#include "Images/J2000/SampleScaling.h"
#include "Images/J2000/T1Decoder.h"
#include "Images/J2000/T1Tables.h"
#include "Images/J2000/Wavelet.h"
#include "Images/J2000/WorkerPool.h"

namespace j2000 {

namespace {

// A tile-component's samples, row-major and `width` entries per row, in the decoder's planes
// kept from tile to tile.
struct TileComponentPlane {
    int32_t* samples = nullptr;
    int64_t width = 0, height = 0;
    int fractionBits = 0;    // 0 for a reversible component
    bool uncovered = false;  // its code-blocks leave samples unwritten: cleared first
    bool empty() const { return width <= 0 || height <= 0; }
};

// Memory of one component's plane. It is not cleared: the code-blocks cover a tile-component,
// and each writes its whole rectangle (a skipped one with zeros), so a picture's planes are
// written once rather than cleared first.
class PlaneStore {
  public:
    // Room for `count` samples, or null when it cannot be had.
    int32_t* Reserve(size_t count) {
        if (count > capacity_) {
            data_.reset();
            data_.reset(new (std::nothrow) int32_t[count]);
            capacity_ = data_ ? count : 0;
        }
        return data_.get();
    }

  private:
    std::unique_ptr<int32_t[]> data_;
    size_t capacity_ = 0;
};

// What one thread decodes code-blocks with, kept from block to block and tile to tile.
struct BlockScratch {
    T1CodeBlockDecoder decoder{T1CodeBlockInfo{}};
    std::vector<T1Segment> segments;
};

// Tier 1's warnings, written in code-block order whichever thread found them.
class BlockMessages {
  public:
    void Add(size_t block, std::string_view text) {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_.emplace_back(block, std::string(text));
    }
    void WriteTo(const Diagnostics& diag) {
        std::stable_sort(texts_.begin(), texts_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& text : texts_)
            diag.write(text.second);
        texts_.clear();
    }

  private:
    std::mutex mutex_;
    std::vector<std::pair<size_t, std::string>> texts_;
};

// The bit-plane and kind of the last pass tier 1 decoded in a code-block (its passes are
// numbered from 3 x the missing bit-planes, one cleanup pass first).
CodeBlockDepth DepthReached(const jpc_dec_band_t& band, const jpc_dec_cblk_t& cblk) {
    int lastPass = cblk.firstpassno;
    for (const jpc_dec_seg_t& seg : cblk.segs)
        if (seg.numpasses > 0)
            lastPass = std::max(lastPass, seg.passno + seg.numpasses - 1);
    const int planesDone = cblk.numimsbs + (lastPass - cblk.firstpassno + 2) / 3;
    return {band.roishift + band.numbps - 1 - planesDone, jpc_passtype(lastPass) == kSigPass};
}

// A band with what its code-blocks need.
struct BandWork {
    const jpc_dec_tcomp_t* tc;
    const jpc_dec_band_t* band;
    const TileComponentPlane* plane;
    BandScaling scaling;
};

struct BlockWork {
    const jpc_dec_cblk_t* cblk;
    size_t band;  // in the tile's BandWork list
};

// Samples per job of tier 1: one code-block of the usual size, or several small ones.
constexpr int64_t kJobSamples = 4096;

// Below this much work (samples through a coding pass, or samples written) a loop costs less
// than waking the helpers for it: it stays on the decoding thread. A picture of many small
// tiles would otherwise spend most of its time waking them.
constexpr int64_t kShareWork = int64_t{1} << 16;

}  // namespace

// The pool and the memory that the tile decoder keeps from one tile to the next.
struct ReconstructionState {
    explicit ReconstructionState(unsigned threads)
        : pool(threads), scratch(static_cast<size_t>(pool.Threads())) {}
    WorkerPool pool;
    std::vector<BlockScratch> scratch;  // one per thread
    std::vector<PlaneStore> planes;     // one per component
};

namespace {

// OutOfMemory: a want of resources, not a broken stream.
enum class Stage { Done, Stopped, Failed, OutOfMemory };

// One tile's way from code-blocks to the image record, stage by stage, each stage's work shared
// over the pool.
class TileReconstruction {
  public:
    TileReconstruction(jpc_dec_t& dec, jpc_dec_tile_t& tile, ReconstructionState& state,
                       std::function<bool()> stopped)
        : dec_(dec), tile_(tile), state_(state), stopped_(std::move(stopped)) {}

    // Tier 1 with dequantisation, then the synthesis of every component.
    Stage DecodeCoefficients();
    // The component transform, rounding, level shift and clipping, and the image write (Failed
    // when the image refuses a rectangle).
    Stage WriteSamples();

  private:
    // Runs a loop of the stage on the pool (on this thread alone unless `share`).
    Stage Run(size_t count, const WorkerPool::Job& job, bool share = true);
    Stage PreparePlanes();
    Stage ClearPlane(const TileComponentPlane& plane);
    void ListCodeBlocks();
    bool DecodeBlock(const BlockWork& work, size_t index, BlockScratch& scratch);
    Stage DecodeBlocks();
    Stage Synthesise();
    Stage WriteGroup(const std::vector<size_t>& components, int mct);
    bool WriteRows(size_t component, int64_t row, int64_t rows);

    jpc_dec_t& dec_;
    jpc_dec_tile_t& tile_;
    ReconstructionState& state_;
    const std::function<bool()> stopped_;
    std::vector<TileComponentPlane> planes_;
    std::vector<BandWork> bands_;
    std::vector<BlockWork> blocks_;
    std::vector<size_t> jobStarts_;  // the first block of each job, and the end
    int64_t blockWork_ = 0;          // samples times passes of all code-blocks
    BlockMessages messages_;
};

Stage TileReconstruction::Run(size_t count, const WorkerPool::Job& job, bool share) {
    switch (state_.pool.Run(count, job, stopped_, share)) {
        case WorkerPool::Outcome::Done:
            return Stage::Done;
        case WorkerPool::Outcome::Stopped:
            return Stage::Stopped;
        case WorkerPool::Outcome::Failed:
            break;
    }
    return state_.pool.RanOutOfMemory() ? Stage::OutOfMemory : Stage::Failed;
}

// Places every component's plane in the memory kept for it.
Stage TileReconstruction::PreparePlanes() {
    planes_.assign(tile_.tcomps.size(), {});
    if (state_.planes.size() < planes_.size())
        state_.planes.resize(planes_.size());
    for (size_t i = 0; i < planes_.size(); ++i) {
        const jpc_dec_tcomp_t& tc = tile_.tcomps[i];
        TileComponentPlane& plane = planes_[i];
        plane.width = tc.xend - tc.xstart;
        plane.height = tc.yend - tc.ystart;
        plane.fractionBits = tc.qmfbid == 1 ? 0 : FixedFractionBits(tc.prec);
        if (plane.empty())
            continue;
        plane.samples = state_.planes[i].Reserve(static_cast<size_t>(plane.width * plane.height));
        if (!plane.samples)
            return Stage::OutOfMemory;
    }
    return Stage::Done;
}

Stage TileReconstruction::ClearPlane(const TileComponentPlane& plane) {
    const int64_t rowsPerJob = std::max<int64_t>(1, (int64_t{1} << 16) / plane.width);
    const auto clear = [&](size_t job, int) {
        const int64_t first = static_cast<int64_t>(job) * rowsPerJob;
        const int64_t rows = std::min(rowsPerJob, plane.height - first);
        std::fill_n(plane.samples + first * plane.width, rows * plane.width, 0);
        return true;
    };
    const auto jobs = static_cast<size_t>((plane.height + rowsPerJob - 1) / rowsPerJob);
    return Run(jobs, clear);
}

// Every code-block of the tile in one list, cut into jobs of about kJobSamples samples; a plane
// its code-blocks do not cover is marked for clearing. That happens whenever a precinct never
// received data: its code-blocks are made only by the first packet that brings some.
void TileReconstruction::ListCodeBlocks() {
    std::vector<int64_t> covered(planes_.size(), 0);
    int64_t jobSamples = 0;
    for (size_t i = 0; i < tile_.tcomps.size(); ++i) {
        const jpc_dec_tcomp_t& tc = tile_.tcomps[i];
        if (planes_[i].empty())
            continue;
        for (const jpc_dec_rlvl_t& rlvl : tc.rlvls)
            for (const jpc_dec_band_t& band : rlvl.bands) {
                if (band.xend <= band.xstart || band.yend <= band.ystart)
                    continue;
                bands_.push_back(
                    {&tc, &band, &planes_[i],
                     BandScaling(band, tc.prec, tc.qmfbid == 1, planes_[i].fractionBits)});
                for (const jpc_dec_prc_t& prc : band.prcs)
                    for (const jpc_dec_cblk_t& cblk : prc.cblks) {
                        if (jobSamples == 0)
                            jobStarts_.push_back(blocks_.size());
                        blocks_.push_back({&cblk, bands_.size() - 1});
                        const int64_t area =
                            int64_t{cblk.xend - cblk.xstart} * (cblk.yend - cblk.ystart);
                        covered[i] += area;
                        jobSamples += area;
                        for (const jpc_dec_seg_t& seg : cblk.segs)
                            blockWork_ += area * seg.numpasses;
                        if (jobSamples >= kJobSamples)
                            jobSamples = 0;
                    }
            }
    }
    jobStarts_.push_back(blocks_.size());
    for (size_t i = 0; i < planes_.size(); ++i)
        planes_[i].uncovered = covered[i] != planes_[i].width * planes_[i].height;
}

// Tier 1 for one code-block into its place in the plane, dequantised at once while it is
// still in the cache; a block never included is written as zeros.
bool TileReconstruction::DecodeBlock(const BlockWork& work, size_t index, BlockScratch& scratch) {
    const BandWork& bw = bands_[work.band];
    const jpc_dec_band_t& band = *bw.band;
    const jpc_dec_cblk_t& cblk = *work.cblk;
    const TileComponentPlane& plane = *bw.plane;
    const int64_t x = band.locxstart + (cblk.xstart - band.xstart);
    const int64_t y = band.locystart + (cblk.ystart - band.ystart);
    int32_t* origin = plane.samples + y * plane.width + x;
    const int w = static_cast<int>(cblk.xend - cblk.xstart);
    const int h = static_cast<int>(cblk.yend - cblk.ystart);
    if (cblk.firstpassno < 0 || cblk.segs.empty()) {
        for (int r = 0; r < h; ++r)
            std::fill_n(origin + r * plane.width, w, 0);
        return true;
    }
    const T1CodeBlockInfo info{w,
                               h,
                               band.orient,
                               band.numbps,
                               band.roishift,
                               cblk.numimsbs,
                               cblk.firstpassno,
                               bw.tc->cblkctx};
    scratch.segments.clear();
    for (const jpc_dec_seg_t& seg : cblk.segs)
        if (seg.numpasses > 0)
            scratch.segments.push_back({seg.data, seg.passno, seg.numpasses, seg.type});
    const T1Diagnostics sink = [this, index](std::string_view text) { messages_.Add(index, text); };
    scratch.decoder.Reset(info);
    if (scratch.decoder.Decode(scratch.segments, origin, plane.width, sink) != 0)
        return false;
    bw.scaling.Apply(origin, plane.width, w, h, DepthReached(band, cblk));
    return true;
}

Stage TileReconstruction::DecodeBlocks() {
    const auto job = [this](size_t j, int worker) {
        BlockScratch& scratch = state_.scratch[static_cast<size_t>(worker)];
        for (size_t b = jobStarts_[j]; b < jobStarts_[j + 1]; ++b)
            if (!DecodeBlock(blocks_[b], b, scratch))
                return false;
        return true;
    };
    const Stage stage = Run(jobStarts_.size() - 1, job, blockWork_ >= kShareWork);
    messages_.WriteTo(dec_.env->diag);
    return stage;
}

Stage TileReconstruction::Synthesise() {
    Stage passes = Stage::Done;
    const PassRunner runner{state_.pool.Threads(),
                            [this, &passes](size_t count, const PassRunner::Job& job) {
                                const auto pass = [&job](size_t i, int worker) {
                                    job(i, worker);
                                    return true;
                                };
                                passes = Run(count, pass);
                                return passes == Stage::Done;
                            }};
    for (size_t i = 0; i < planes_.size(); ++i) {
        const jpc_dec_tcomp_t& tc = tile_.tcomps[i];
        const TileComponentPlane& plane = planes_[i];
        if (plane.empty())
            continue;
        const WaveletArea area{plane.samples,
                               plane.width,
                               static_cast<int>(tc.xstart),
                               static_cast<int>(tc.ystart),
                               static_cast<int>(tc.xend),
                               static_cast<int>(tc.yend),
                               tc.numrlvls - 1,
                               NeedsWideLifting(tc.prec)};
        const bool done = tc.qmfbid == 1 ? SynthesiseReversible(area, runner)
                                         : SynthesiseIrreversible(area, runner);
        if (!done)  // no line buffer, or a pass that did not end
            return passes == Stage::Done ? Stage::OutOfMemory : passes;
    }
    return Stage::Done;
}

Stage TileReconstruction::DecodeCoefficients() {
    if (const Stage stage = PreparePlanes(); stage != Stage::Done)
        return stage;
    ListCodeBlocks();
    for (const TileComponentPlane& plane : planes_) {
        if (plane.empty() || !plane.uncovered)
            continue;
        if (const Stage stage = ClearPlane(plane); stage != Stage::Done)
            return stage;
    }
    if (const Stage stage = DecodeBlocks(); stage != Stage::Done)
        return stage;
    return Synthesise();
}

// The component transform needs three planes of one size on one path.
bool TransformApplies(int mctid, const std::vector<TileComponentPlane>& planes) {
    if (mctid == kMctNone || planes.size() < 3) {
        return false;
    }
    const TileComponentPlane &a = planes[0], &b = planes[1], &c = planes[2];
    return !a.empty() && a.width == b.width && a.width == c.width && a.height == b.height &&
           a.height == c.height && a.fractionBits == b.fractionBits &&
           a.fractionBits == c.fractionBits;
}

// Rows per pass of the last stage: about 64K samples of each plane, so that a pass's rows of
// all three planes stay in the second-level cache from the component transform to the write.
int64_t RowsPerPass(int64_t width) {
    return std::max<int64_t>(1, 65536 / width);
}

// Writes `rows` rows of a plane from `row` on into the image: false when the image refuses
// them.
bool TileReconstruction::WriteRows(size_t component, int64_t row, int64_t rows) {
    const jpc_dec_tcomp_t& tc = tile_.tcomps[component];
    const TileComponentPlane& plane = planes_[component];
    const jpc_dec_cmpt_t& cmpt = dec_.cmpts[component];
    const int64_t x = tc.xstart - ceil_div(dec_.xstart, cmpt.siz.hsamp);
    const int64_t y = tc.ystart - ceil_div(dec_.ystart, cmpt.siz.vsamp) + row;
    return x >= 0 && y >= 0 &&
           image_writecmpt(*dec_.image, static_cast<int>(component), static_cast<uint32_t>(x),
                           static_cast<uint32_t>(y), static_cast<uint32_t>(plane.width),
                           static_cast<uint32_t>(rows), plane.samples + row * plane.width,
                           plane.width) == 0;
}

// One plane, or the three planes of a component transform, in batches of passes: the batch's
// passes are made samples on the pool (a pass of the transform's three planes, or of one plane,
// a job), then each component's rows of the batch are written in order by one thread (a
// component's store is one stream; components have their own). One thread takes a pass at a
// time, so that its rows go from the transform to the write while in the cache; several take a
// few passes each, never so many that writing a component's share (one job) keeps a stop
// waiting.
Stage TileReconstruction::WriteGroup(const std::vector<size_t>& components, int mct) {
    const TileComponentPlane& first = planes_[components.front()];
    const int64_t width = first.width, height = first.height;
    const int64_t step = RowsPerPass(width);
    const int64_t passes = (height + step - 1) / step;
    // With the transform a job makes its pass of all three planes; else of one plane.
    const size_t perPass = mct == kMctNone ? components.size() : 1;
    const auto makeSamples = [&](int64_t pass, size_t which) {
        const int64_t row = pass * step, rows = std::min(step, height - row);
        const auto count = static_cast<size_t>(rows * width);
        int32_t* c[3] = {};
        for (size_t k = 0; k < components.size() && k < 3; ++k)
            c[k] = planes_[components[k]].samples + row * width;
        if (mct == kMctReversible)
            mct_irct(c[0], c[1], c[2], count);
        else if (mct == kMctIrreversible)
            mct_iict(c[0], c[1], c[2], count);
        for (size_t j = 0; j < components.size(); ++j) {
            if (perPass > 1 && j != which)
                continue;
            const size_t k = components[j];
            const jpc_dec_tcomp_t& tc = tile_.tcomps[k];
            ToSamples(planes_[k].samples + row * width, count,
                      SampleRange(tc.prec, tc.sgnd, planes_[k].fractionBits));
        }
        return true;
    };
    const int threads = state_.pool.Threads();
    const int64_t batch = threads == 1 ? 1 : std::min<int64_t>(2 * int64_t{threads}, 16);
    for (int64_t pass = 0; pass < passes; pass += batch) {
        const int64_t count = std::min(batch, passes - pass);
        const int64_t row = pass * step, rows = std::min(count * step, height - row);
        const auto make = [&](size_t i, int) {
            return makeSamples(pass + static_cast<int64_t>(i / perPass), i % perPass);
        };
        const auto write = [&](size_t k, int) { return WriteRows(components[k], row, rows); };
        Stage stage = Run(static_cast<size_t>(count) * perPass, make,
                          rows * width * static_cast<int64_t>(components.size()) >= kShareWork);
        if (stage == Stage::Done)
            stage = Run(components.size(), write, rows * width >= kShareWork);
        if (stage != Stage::Done)
            return stage;
    }
    return Stage::Done;
}

// The planes of a component transform form one group, the others a group per size (so that
// planes of one size are written side by side).
Stage TileReconstruction::WriteSamples() {
    std::vector<std::vector<size_t>> groups;
    size_t i = 0;
    if (TransformApplies(tile_.cp.mctid, planes_)) {
        if (const Stage stage = WriteGroup({0, 1, 2}, tile_.cp.mctid); stage != Stage::Done)
            return stage;
        i = 3;
    }
    for (; i < planes_.size(); ++i) {
        if (planes_[i].empty())
            continue;
        const auto sameSize = [&](const std::vector<size_t>& group) {
            const TileComponentPlane& p = planes_[group.front()];
            return p.width == planes_[i].width && p.height == planes_[i].height;
        };
        const auto group = std::find_if(groups.begin(), groups.end(), sameSize);
        if (group == groups.end())
            groups.push_back({i});
        else
            group->push_back(i);
    }
    for (const std::vector<size_t>& group : groups)
        if (const Stage stage = WriteGroup(group, kMctNone); stage != Stage::Done)
            return stage;
    return Stage::Done;
}

}  // namespace

int jpc_dec_tiledecode(jpc_dec_t& dec, jpc_dec_tile_t& tile) {
    // All coefficients 0: the samples are the level shift, written without planes.
    if (!tile_hascodeddata(tile)) {
        return dec_writeconstanttile(dec, tile) == 0 ? 0 : -4;
    }
    const Diagnostics& diag = dec.env->diag;
    // The caller's cancel hook is asked before every job of every stage, on this thread only,
    // so a large tile stops promptly; a stop fails the tile without a message and the decode
    // reports a cancel.
    const auto stopped = [&dec] {
        if (!dec.cancelled && dec.cancel && dec.cancel->check && dec.cancel->check(dec.cancel)) {
            dec.cancelled = true;
        }
        return dec.cancelled;
    };
    Stage coefficients = Stage::Failed, samples = Stage::Done;
    try {
        if (!dec.reconstruction)
            dec.reconstruction = std::make_shared<ReconstructionState>(dec.env->threads);
        TileReconstruction work(dec, tile, *dec.reconstruction, stopped);
        coefficients = work.DecodeCoefficients();
        if (coefficients == Stage::Done)
            samples = work.WriteSamples();
    } catch (const std::bad_alloc&) {
        coefficients = Stage::OutOfMemory;
    }
    if (coefficients == Stage::Stopped || samples == Stage::Stopped)
        return -1;
    // Memory short, on this thread or a helper: a want of resources like the budget's refusals.
    if (coefficients == Stage::OutOfMemory || samples == Stage::OutOfMemory) {
        diag.write("out of memory\n");
        dec.overlimits = dec.explained = true;
        return -1;
    }
    if (coefficients == Stage::Failed) {
        diag.write("dec_decodeallsegs failed\n");
        return -1;
    }
    if (samples == Stage::Failed) {
        diag.write("write component failed\n");
        return -4;
    }
    return 0;
}

}  // namespace j2000
