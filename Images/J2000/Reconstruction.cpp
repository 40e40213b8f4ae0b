#include "Images/J2000/Reconstruction.h"

#include <algorithm>
#include <functional>
#include <new>
#include <vector>

#include "Images/J2000/ComponentTransform.h"
#include "Images/J2000/SampleScaling.h"
#include "Images/J2000/T1Decoder.h"
#include "Images/J2000/T1Tables.h"
#include "Images/J2000/Wavelet.h"

namespace j2000 {

namespace {

// A tile-component's samples, row-major and `width` entries per row, in the decoder's planes
// kept from tile to tile.
struct TileComponentPlane {
    int32_t* samples = nullptr;
    int64_t width = 0, height = 0;
    int fractionBits = 0;  // 0 for a reversible component
    bool empty() const { return width <= 0 || height <= 0; }
};

using StopCheck = std::function<bool()>;

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

// Tier 1 for every code-block of one band, into the band's place in the plane, each block
// dequantised at once while it is still in the cache; false when a code-block cannot be decoded
// or a stop is asked for (checked before every code-block).
bool DecodeBand(const jpc_dec_tcomp_t& tc, const jpc_dec_band_t& band, TileComponentPlane& plane,
                const Diagnostics& diag, const StopCheck& stopped) {
    const T1Diagnostics sink = [&diag](std::string_view text) { diag.write(std::string(text)); };
    const BandScaling scaling(band, tc.prec, tc.qmfbid == 1, plane.fractionBits);
    T1CodeBlockDecoder decoder(T1CodeBlockInfo{});
    std::vector<T1Segment> segments;
    for (const jpc_dec_prc_t& prc : band.prcs) {
        for (const jpc_dec_cblk_t& cblk : prc.cblks) {
            if (stopped()) {
                return false;
            }
            if (cblk.firstpassno < 0 || cblk.segs.empty()) {
                continue;  // never included: its coefficients stay 0
            }
            const T1CodeBlockInfo info{static_cast<int>(cblk.xend - cblk.xstart),
                                       static_cast<int>(cblk.yend - cblk.ystart),
                                       band.orient,
                                       band.numbps,
                                       band.roishift,
                                       cblk.numimsbs,
                                       cblk.firstpassno,
                                       tc.cblkctx};
            segments.clear();
            for (const jpc_dec_seg_t& seg : cblk.segs) {
                if (seg.numpasses > 0) {
                    segments.push_back({seg.data, seg.passno, seg.numpasses, seg.type});
                }
            }
            const int64_t x = band.locxstart + (cblk.xstart - band.xstart);
            const int64_t y = band.locystart + (cblk.ystart - band.ystart);
            int32_t* origin = plane.samples + y * plane.width + x;
            decoder.Reset(info);
            if (decoder.Decode(segments, origin, plane.width, sink) != 0) {
                return false;
            }
            scaling.Apply(origin, plane.width, info.width, info.height, DepthReached(band, cblk));
        }
    }
    return true;
}

bool DecodeComponent(const jpc_dec_tcomp_t& tc, std::vector<int32_t>& store,
                     TileComponentPlane& plane, const Diagnostics& diag, const StopCheck& stopped) {
    plane.width = tc.xend - tc.xstart;
    plane.height = tc.yend - tc.ystart;
    plane.fractionBits = tc.qmfbid == 1 ? 0 : FixedFractionBits(tc.prec);
    if (plane.empty()) {
        return true;
    }
    // Tier 1 adds to what lies in the plane, and skipped code-blocks stay 0.
    store.assign(static_cast<size_t>(plane.width * plane.height), 0);
    plane.samples = store.data();
    for (const jpc_dec_rlvl_t& rlvl : tc.rlvls) {
        for (const jpc_dec_band_t& band : rlvl.bands) {
            if (band.xend <= band.xstart || band.yend <= band.ystart) {
                continue;
            }
            if (!DecodeBand(tc, band, plane, diag, stopped)) {
                return false;
            }
        }
    }
    const WaveletArea area{plane.samples,
                           plane.width,
                           static_cast<int>(tc.xstart),
                           static_cast<int>(tc.ystart),
                           static_cast<int>(tc.xend),
                           static_cast<int>(tc.yend),
                           tc.numrlvls - 1};
    return tc.qmfbid == 1 ? SynthesiseReversible(area) : SynthesiseIrreversible(area);
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

// Rounds, level-shifts and clips `rows` rows of a plane from `row` on, and writes them into the
// image: false when the image refuses them.
bool WriteRows(jpc_dec_t& dec, const jpc_dec_tcomp_t& tc, int cmptno,
               const TileComponentPlane& plane, int64_t row, int64_t rows) {
    int32_t* first = plane.samples + row * plane.width;
    ToSamples(first, static_cast<size_t>(rows * plane.width),
              SampleRange(tc.prec, tc.sgnd, plane.fractionBits));
    const jpc_dec_cmpt_t& cmpt = dec.cmpts[static_cast<size_t>(cmptno)];
    const int64_t x = tc.xstart - ceil_div(dec.xstart, cmpt.siz.hsamp);
    const int64_t y = tc.ystart - ceil_div(dec.ystart, cmpt.siz.vsamp) + row;
    return x >= 0 && y >= 0 &&
           image_writecmpt(*dec.image, cmptno, static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                           static_cast<uint32_t>(plane.width), static_cast<uint32_t>(rows), first,
                           plane.width) == 0;
}

// Rows per pass of the last stage: about 64K samples of each plane, so that a pass's rows of
// all three planes stay in the second-level cache from the component transform to the write.
int64_t RowsPerPass(int64_t width) {
    return std::max<int64_t>(1, 65536 / width);
}

// The component transform, rounding, level shift, clipping and writing, pass by pass over a
// few rows at a time rather than component by component over the whole tile.
bool WriteTile(jpc_dec_t& dec, const jpc_dec_tile_t& tile,
               const std::vector<TileComponentPlane>& planes) {
    size_t done = 0;
    if (TransformApplies(tile.cp.mctid, planes)) {
        const int64_t width = planes[0].width, height = planes[0].height;
        const int64_t step = RowsPerPass(width);
        for (int64_t row = 0; row < height; row += step) {
            const int64_t rows = std::min(step, height - row);
            int32_t* c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = planes[static_cast<size_t>(k)].samples + row * width;
            const size_t count = static_cast<size_t>(rows * width);
            if (tile.cp.mctid == kMctReversible) {
                mct_irct(c[0], c[1], c[2], count);
            } else {
                mct_iict(c[0], c[1], c[2], count);
            }
            for (int k = 0; k < 3; ++k)
                if (!WriteRows(dec, tile.tcomps[static_cast<size_t>(k)], k, planes[k], row, rows))
                    return false;
        }
        done = 3;
    }
    for (size_t i = done; i < planes.size(); ++i) {
        const TileComponentPlane& plane = planes[i];
        if (plane.empty())
            continue;
        const int64_t step = RowsPerPass(plane.width);
        for (int64_t row = 0; row < plane.height; row += step)
            if (!WriteRows(dec, tile.tcomps[i], static_cast<int>(i), plane, row,
                           std::min(step, plane.height - row)))
                return false;
    }
    return true;
}

}  // namespace

int jpc_dec_tiledecode(jpc_dec_t& dec, jpc_dec_tile_t& tile) {
    // All coefficients 0: the samples are the level shift, written without planes.
    if (!tile_hascodeddata(tile)) {
        return dec_writeconstanttile(dec, tile) == 0 ? 0 : -4;
    }
    const Diagnostics& diag = dec.env->diag;
    // The caller's cancel hook is asked before every code-block, so a large tile stops
    // promptly; a stop fails the tile without a message and the decode reports a cancel.
    const StopCheck stopped = [&dec] {
        if (!dec.cancelled && dec.cancel && dec.cancel->check && dec.cancel->check(dec.cancel)) {
            dec.cancelled = true;
        }
        return dec.cancelled;
    };
    std::vector<TileComponentPlane> planes(tile.tcomps.size());
    try {
        if (dec.sampleplanes.size() < planes.size()) {
            dec.sampleplanes.resize(planes.size());
        }
        for (size_t i = 0; i < tile.tcomps.size(); ++i) {
            if (!DecodeComponent(tile.tcomps[i], dec.sampleplanes[i], planes[i], diag, stopped)) {
                if (!dec.cancelled) {
                    diag.write("dec_decodeallsegs failed\n");
                }
                return -1;
            }
        }
    } catch (const std::bad_alloc&) {
        diag.write("dec_decodeallsegs failed\n");
        return -1;
    }
    if (!WriteTile(dec, tile, planes)) {
        diag.write("write component failed\n");
        return -4;
    }
    return 0;
}

}  // namespace j2000
