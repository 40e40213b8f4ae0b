#include "Images/J2000/T1Decoder.h"

#include <cstdio>
#include <new>
#include <string>

#include "Images/J2000/T1Tables.h"

namespace j2000 {

namespace {

// The bits of a raw (bypass) segment, most significant first; the byte after an 0xFF byte
// carries 7 bits only. An encoder may leave out a final 0xFF byte, so past the end the
// reader goes on with 0xFF bytes: a short segment is padded, never fatal.
class RawBits {
  public:
    explicit RawBits(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    int Get() {
        if (--count_ < 0) {
            const bool afterFF = last_ == 0xFF;
            last_ = pos_ < bytes_.size() ? bytes_[pos_++] : 0xFF;
            count_ = afterFF ? 6 : 7;
            buffer_ = last_ & ((1u << (count_ + 1)) - 1);
        }
        return static_cast<int>((buffer_ >> count_) & 1u);
    }

    // Whether the bits left in the last byte read differ from the fill pattern 0101010
    // that ends a raw segment. Padding and a final 0xFF are not judged.
    bool BadFill() const {
        if (count_ <= 0 || last_ == 0xFF || pos_ > bytes_.size()) {
            return false;
        }
        const unsigned n = static_cast<unsigned>(count_);
        const unsigned left = buffer_ & ((1u << n) - 1);
        const unsigned expected = 0x2Au >> (7 - n);
        return left != expected;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    unsigned buffer_ = 0;
    int count_ = 0;
    uint8_t last_ = 0;
};

struct PassContext {
    const T1Luts& luts;
    uint32_t* flags;  // the state word of sample (0, 0)
    ptrdiff_t fstride;
    int32_t* data;
    ptrdiff_t stride;
    int width;
    int height;
    int orient;
    bool vcausal;
};

// Tells the neighbours of the sample at f that it became significant. With the vertically
// causal mode a stripe's first row does not tell the row above, which belongs to the stripe
// before.
inline void SetSignificant(uint32_t* f, ptrdiff_t fs, bool negative, bool skipNorth) {
    f[fs - 1] |= kNeSig;
    f[fs + 1] |= kNwSig;
    f[fs] |= kNSig | (negative ? kNSgn : 0u);
    f[-1] |= kESig | (negative ? kESgn : 0u);
    f[1] |= kWSig | (negative ? kWSgn : 0u);
    if (!skipNorth) {
        f[-fs - 1] |= kSeSig;
        f[-fs + 1] |= kSwSig;
        f[-fs] |= kSSig | (negative ? kSSgn : 0u);
    }
    *f |= kSig;
}

// Visits every stripe column in the standard's scan order: stripes of four rows, columns left
// to right; visit gets the column's first state word and sample, and the rows within reach
// top to bottom by one stride each.
template <typename Visit>
void ForEachStripeColumn(const PassContext& pc, Visit&& visit) {
    for (int y0 = 0; y0 < pc.height; y0 += 4) {
        const int rows = std::min(4, pc.height - y0);
        uint32_t* f = pc.flags + y0 * pc.fstride;
        int32_t* d = pc.data + y0 * pc.stride;
        for (int x = 0; x < pc.width; ++x) {
            visit(rows, f + x, d + x);
        }
    }
}

// The significance decision and sign of one sample, through the MQ decoder or raw bits.
struct MqSource {
    mqdec_t& mq;
    const T1Luts& luts;
    int Significance(uint32_t word, int orient) {
        return mq.decode(luts.zeroCoding[(static_cast<unsigned>(orient) << 8) | (word & 0xFF)]);
    }
    int Sign(uint32_t word) {
        const unsigned i = (word >> 4) & 0xFF;
        return mq.decode(luts.sign[i]) ^ luts.signPrediction[i];
    }
    int Refinement(uint32_t word) {
        return mq.decode(luts.magnitude[((word & kRefined) ? 0x800u : 0u) | (word & 0xFF)]);
    }
};

struct RawSource {
    RawBits& bits;
    int Significance(uint32_t, int) { return bits.Get(); }
    int Sign(uint32_t) { return bits.Get(); }
    int Refinement(uint32_t) { return bits.Get(); }
};

template <typename Source>
void SignificancePass(const PassContext& pc, Source source, int b) {
    const int32_t oneplushalf = (1 << b) | ((1 << b) >> 1);
    ForEachStripeColumn(pc, [&](int rows, uint32_t* f, int32_t* d) {
        for (int r = 0; r < rows; ++r, f += pc.fstride, d += pc.stride) {
            if ((*f & (kSig | kVisited)) != 0 || (*f & kOtherSigMask) == 0) {
                continue;
            }
            if (source.Significance(*f, pc.orient)) {
                const int s = source.Sign(*f);
                *d = s ? -oneplushalf : oneplushalf;
                SetSignificant(f, pc.fstride, s != 0, pc.vcausal && r == 0);
            }
            *f |= kVisited;
        }
    });
}

template <typename Source>
void RefinementPass(const PassContext& pc, Source source, int b) {
    const int32_t half = (1 << b) >> 1;
    ForEachStripeColumn(pc, [&](int rows, uint32_t* f, int32_t* d) {
        for (int r = 0; r < rows; ++r, f += pc.fstride, d += pc.stride) {
            if ((*f & (kSig | kVisited)) != kSig) {
                continue;
            }
            const int bit = source.Refinement(*f);
            const int32_t t = bit ? half : (half ? -half : -1);
            *d += *d < 0 ? -t : t;
            *f |= kRefined;
        }
    });
}

// Decodes one sample of the cleanup pass that is neither significant nor visited, at row r of
// its stripe; known tells that its significance is already decided (the run-length mode's
// first 1).
inline void CleanupSample(const PassContext& pc, MqSource& source, int r, uint32_t* f, int32_t* d,
                          int32_t oph, bool known) {
    if (!known) {
        if ((*f & (kSig | kVisited)) != 0 || !source.Significance(*f, pc.orient)) {
            return;
        }
    }
    const int s = source.Sign(*f);
    *d = s ? -oph : oph;
    SetSignificant(f, pc.fstride, s != 0, pc.vcausal && r == 0);
}

bool QuietColumn(const PassContext& pc, const uint32_t* f) {
    const uint32_t busy = kSig | kVisited | kOtherSigMask;
    return ((f[0] | f[pc.fstride] | f[2 * pc.fstride] | f[3 * pc.fstride]) & busy) == 0;
}

void CleanupPass(const PassContext& pc, mqdec_t& mq, int b, bool segsym,
                 const T1Diagnostics& diagnostics) {
    const int32_t oph = (1 << b) | ((1 << b) >> 1);
    MqSource source{mq, pc.luts};
    ForEachStripeColumn(pc, [&](int rows, uint32_t* fcol, int32_t* dcol) {
        int start = 0;
        if (rows == 4 && QuietColumn(pc, fcol)) {
            if (!mq.decode(kT1RunLengthContext)) {
                return;
            }
            int r = mq.decode(kT1UniformContext) << 1;
            r |= mq.decode(kT1UniformContext);
            CleanupSample(pc, source, r, fcol + r * pc.fstride, dcol + r * pc.stride, oph, true);
            start = r + 1;
        }
        uint32_t* f = fcol + start * pc.fstride;
        int32_t* d = dcol + start * pc.stride;
        for (int r = start; r < rows; ++r, f += pc.fstride, d += pc.stride) {
            CleanupSample(pc, source, r, f, d, oph, false);
        }
        f = fcol;
        for (int r = 0; r < rows; ++r, f += pc.fstride) {
            *f &= ~static_cast<uint32_t>(kVisited);
        }
    });
    if (segsym) {
        int symbol = 0;
        for (int i = 0; i < 4; ++i) {
            symbol = (symbol << 1) | mq.decode(kT1UniformContext);
        }
        if (symbol != 0xA && diagnostics) {
            diagnostics("warning: bad segmentation symbol\n");
        }
    }
}

void Report(const T1Diagnostics& diagnostics, int passtype, int segtype) {
    if (diagnostics) {
        char text[64];
        std::snprintf(text, sizeof text, "coding pass failed passtype=%d segtype=%d\n", passtype,
                      segtype);
        diagnostics(text);
    }
}

}  // namespace

T1CodeBlockDecoder::T1CodeBlockDecoder(const T1CodeBlockInfo& info) : info_(info) {}

void T1CodeBlockDecoder::Reset(const T1CodeBlockInfo& info) {
    info_ = info;
    flags_.clear();  // zeroed again, at the new size, by the next Decode
    if (mq_) {
        mq_->setctxs(jpc_initluts().initialContexts);
    }
}

int T1CodeBlockDecoder::Decode(std::span<const T1Segment> segments, int32_t* data, ptrdiff_t stride,
                               const T1Diagnostics& diagnostics) {
    if (info_.width <= 0 || info_.height <= 0) {
        return 0;
    }
    try {
        if (flags_.empty()) {
            flags_.assign(static_cast<size_t>(info_.width + 2) * (info_.height + 2), 0);
        }
        for (const T1Segment& seg : segments) {
            if (DecodeSegment(seg, data, stride, diagnostics) != 0) {
                return -1;
            }
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int T1CodeBlockDecoder::DecodeSegment(const T1Segment& seg, int32_t* data, ptrdiff_t stride,
                                      const T1Diagnostics& diagnostics) {
    const T1Luts& luts = jpc_initluts();
    const bool raw = seg.type == kSegRaw;
    if (!raw) {
        if (!mq_) {
            mq_ = mqdec_create(kT1ContextCount);
            if (!mq_) {
                return -1;
            }
            mq_->setctxs(luts.initialContexts);
        }
        mq_->setinput(seg.bytes);
        mq_->init();
    }
    RawBits bits(seg.bytes);
    const ptrdiff_t fstride = info_.width + 2;
    const PassContext pc{luts,
                         flags_.data() + fstride + 1,
                         fstride,
                         data,
                         stride,
                         info_.width,
                         info_.height,
                         info_.orient,
                         (info_.cblkctx & kStyleVerticallyCausal) != 0};
    for (int i = 0; i < seg.numpasses; ++i) {
        const int p = seg.passno + i;
        const T1PassType type = jpc_passtype(p);
        const int b =
            info_.roishift + info_.numbps - 1 - (info_.numimsbs + (p - info_.firstpassno + 2) / 3);
        if (b < 0 || b > 30 || (raw && type == kCleanupPass) || p < info_.firstpassno) {
            Report(diagnostics, type, seg.type);
            return -1;
        }
        if (type == kSigPass) {
            raw ? SignificancePass(pc, RawSource{bits}, b)
                : SignificancePass(pc, MqSource{*mq_, luts}, b);
        } else if (type == kRefPass) {
            raw ? RefinementPass(pc, RawSource{bits}, b)
                : RefinementPass(pc, MqSource{*mq_, luts}, b);
        } else {
            CleanupPass(pc, *mq_, b, (info_.cblkctx & kStyleSegmentationSymbols) != 0, diagnostics);
        }
        if ((info_.cblkctx & kStyleReset) && mq_) {
            mq_->setctxs(luts.initialContexts);
        }
    }
    if (raw && bits.BadFill() && diagnostics) {
        diagnostics("warning: bad fill pattern\n");
    }
    return 0;
}

}  // namespace j2000
