#include "Images/J2000/Reconstruction.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>
#include <vector>

#include "Images/J2000/ComponentTransform.h"
#include "Images/J2000/T1Decoder.h"
#include "Images/J2000/Wavelet.h"

namespace j2000 {

int FixedFractionBits(int precision) {
    // Room for the samples, two bits of wavelet gain and a sign below bit 31.
    return std::clamp(28 - precision, 0, 14);
}

int32_t DequantiseCoefficient(int32_t v, int exponent, int mantissa, int rangeBits,
                              int fractionBits) {
    if (v == 0) {
        return 0;
    }
    const int64_t magnitude = std::abs(static_cast<int64_t>(v));
    // (2|v| + 1)(2^11 + mantissa) x 2^(rangeBits - exponent - 12 + fractionBits)
    int64_t x = (2 * magnitude + 1) * (2048 + mantissa);
    const int shift = rangeBits - exponent - 12 + fractionBits;
    if (shift >= 0) {
        const int64_t limit = std::numeric_limits<int32_t>::max() >> std::min(shift, 31);
        x = x > limit ? std::numeric_limits<int32_t>::max() : x << shift;
    } else if (shift > -63) {
        x = (x + (int64_t{1} << (-shift - 1))) >> -shift;
    } else {
        x = 0;
    }
    x = std::min<int64_t>(x, std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(v < 0 ? -x : x);
}

int32_t RoundFixed(int32_t v, int fractionBits) {
    if (fractionBits == 0) {
        return v;
    }
    const int64_t half = int64_t{1} << (fractionBits - 1);
    const int64_t magnitude = (std::abs(static_cast<int64_t>(v)) + half - 1) >> fractionBits;
    return static_cast<int32_t>(v < 0 ? -magnitude : magnitude);
}

namespace {

struct TileComponentPlane {
    std::vector<int32_t> samples;
    int64_t width = 0, height = 0;
    int fractionBits = 0;  // 0 for a reversible component
};

using StopCheck = std::function<bool()>;

// Tier 1 for every code-block of one band, into the band's place in the plane; false when a
// code-block cannot be decoded or a stop is asked for (checked before every code-block).
bool DecodeBand(const jpc_dec_tcomp_t& tc, const jpc_dec_band_t& band, TileComponentPlane& plane,
                const Diagnostics& diag, const StopCheck& stopped) {
    const T1Diagnostics sink = [&diag](std::string_view text) { diag.write(std::string(text)); };
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
            int32_t* origin = plane.samples.data() + y * plane.width + x;
            decoder.Reset(info);
            if (decoder.Decode(segments, origin, plane.width, sink) != 0) {
                return false;
            }
        }
    }
    return true;
}

// Region-of-interest de-scaling and dequantisation of one band, in place.
void DequantiseBand(const jpc_dec_tcomp_t& tc, const jpc_dec_band_t& band,
                    TileComponentPlane& plane) {
    if (tc.qmfbid == 1 && band.roishift == 0) {
        return;  // reversible coefficients are the samples' own values
    }
    const int64_t w = band.xend - band.xstart, h = band.yend - band.ystart;
    const int exponent = band.stepsize >> 11, mantissa = band.stepsize & 0x7FF;
    const int rangeBits = tc.prec + band.analgain;
    for (int64_t r = 0; r < h; ++r) {
        int32_t* row = plane.samples.data() + (band.locystart + r) * plane.width + band.locxstart;
        for (int64_t c = 0; c < w; ++c) {
            int32_t v = row[c];
            if (band.roishift > 0 &&
                std::abs(static_cast<int64_t>(v)) >= (int64_t{1} << band.roishift)) {
                v = v < 0 ? -(-v >> band.roishift) : v >> band.roishift;
            }
            row[c] = tc.qmfbid == 1 ? v
                                    : DequantiseCoefficient(v, exponent, mantissa, rangeBits,
                                                            plane.fractionBits);
        }
    }
}

bool DecodeComponent(const jpc_dec_tcomp_t& tc, TileComponentPlane& plane, const Diagnostics& diag,
                     const StopCheck& stopped) {
    plane.width = tc.xend - tc.xstart;
    plane.height = tc.yend - tc.ystart;
    plane.fractionBits = tc.qmfbid == 1 ? 0 : FixedFractionBits(tc.prec);
    if (plane.width <= 0 || plane.height <= 0) {
        return true;
    }
    plane.samples.assign(static_cast<size_t>(plane.width * plane.height), 0);
    for (const jpc_dec_rlvl_t& rlvl : tc.rlvls) {
        for (const jpc_dec_band_t& band : rlvl.bands) {
            if (band.xend <= band.xstart || band.yend <= band.ystart) {
                continue;
            }
            if (!DecodeBand(tc, band, plane, diag, stopped)) {
                return false;
            }
            DequantiseBand(tc, band, plane);
        }
    }
    const WaveletArea area{plane.samples.data(),
                           plane.width,
                           static_cast<int>(tc.xstart),
                           static_cast<int>(tc.ystart),
                           static_cast<int>(tc.xend),
                           static_cast<int>(tc.yend),
                           tc.numrlvls - 1};
    return tc.qmfbid == 1 ? SynthesiseReversible(area) : SynthesiseIrreversible(area);
}

// The component transform needs three planes of one size on one path.
void InverseComponentTransform(int mctid, std::vector<TileComponentPlane>& planes) {
    if (mctid == kMctNone || planes.size() < 3) {
        return;
    }
    TileComponentPlane &a = planes[0], &b = planes[1], &c = planes[2];
    if (a.samples.size() != b.samples.size() || a.samples.size() != c.samples.size() ||
        a.fractionBits != b.fractionBits || a.fractionBits != c.fractionBits) {
        return;
    }
    if (mctid == kMctReversible) {
        mct_irct(a.samples.data(), b.samples.data(), c.samples.data(), a.samples.size());
    } else {
        mct_iict(a.samples.data(), b.samples.data(), c.samples.data(), a.samples.size());
    }
}

void ToSamples(const jpc_dec_tcomp_t& tc, TileComponentPlane& plane) {
    const int64_t low = tc.sgnd ? -(int64_t{1} << (tc.prec - 1)) : 0;
    const int64_t high = tc.sgnd ? (int64_t{1} << (tc.prec - 1)) - 1 : (int64_t{1} << tc.prec) - 1;
    const int64_t shift = tc.sgnd ? 0 : int64_t{1} << (tc.prec - 1);
    for (int32_t& v : plane.samples) {
        const int64_t s = int64_t{RoundFixed(v, plane.fractionBits)} + shift;
        v = static_cast<int32_t>(std::clamp(s, low, high));
    }
}

}  // namespace

int jpc_dec_tiledecode(jpc_dec_t& dec, jpc_dec_tile_t& tile) {
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
        for (size_t i = 0; i < tile.tcomps.size(); ++i) {
            if (!DecodeComponent(tile.tcomps[i], planes[i], diag, stopped)) {
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
    InverseComponentTransform(tile.cp.mctid, planes);
    for (size_t i = 0; i < tile.tcomps.size(); ++i) {
        const jpc_dec_tcomp_t& tc = tile.tcomps[i];
        TileComponentPlane& plane = planes[i];
        if (plane.samples.empty()) {
            continue;
        }
        ToSamples(tc, plane);
        const jpc_dec_cmpt_t& cmpt = dec.cmpts[i];
        const int64_t x = tc.xstart - ceil_div(dec.xstart, cmpt.siz.hsamp);
        const int64_t y = tc.ystart - ceil_div(dec.ystart, cmpt.siz.vsamp);
        if (x < 0 || y < 0 ||
            image_writecmpt(*dec.image, static_cast<int>(i), static_cast<uint32_t>(x),
                            static_cast<uint32_t>(y), static_cast<uint32_t>(plane.width),
                            static_cast<uint32_t>(plane.height), plane.samples.data(),
                            plane.width) != 0) {
            diag.write("write component failed\n");
            return -4;
        }
    }
    return 0;
}

}  // namespace j2000
