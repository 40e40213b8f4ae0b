#include "Images/J2000/T1Decoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
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

// The state words are kept stripe by stripe: the four words of one stripe column lie side by
// side, so one 64-bit load tells whether a column needs any work in a pass, and columns follow
// each other. A border column on either side and a border stripe above and below take the
// updates that the edge samples send to their neighbours, so no update needs a bounds check.
// A last stripe of fewer than four rows keeps four words per column; the words of its missing
// rows only ever receive neighbour bits and are never coded.
constexpr int kStripeRows = 4;

// The state bits of all four rows of a stripe column.
constexpr uint64_t Lanes(uint32_t bits) {
    return uint64_t{bits} * 0x0001000100010001u;
}

uint64_t LoadColumn(const uint16_t* column) {
    uint64_t word;
    std::memcpy(&word, column, sizeof word);
    return word;
}

void StoreColumn(uint16_t* column, uint64_t word) {
    std::memcpy(column, &word, sizeof word);
}

// The coefficients are decoded in the same layout as the state words, next to them, rather
// than in the band: a code-block's rows lie a whole tile row apart there, and the passes touch
// all of them bit-plane after bit-plane. They are copied into the band when decoding ends.
struct PassContext {
    uint16_t* states;      // the state word of sample (0, 0)
    int32_t* values;       // the coefficient of sample (0, 0), at the same offset
    ptrdiff_t stripeStep;  // words from a stripe column to the same column one stripe down
    int width;
    int height;
    const uint8_t* zeroCoding;  // the band orientation's zero-coding contexts
    bool vcausal;
};

// A pass holds the four state words of the stripe column it codes in one 64-bit register,
// and stores them when it leaves the column: a row's context is then read from that register,
// not from a memory word that the row above has just written.

// The state word of row r, out of its column's.
inline uint32_t Row(uint64_t column, int r) {
    return static_cast<uint32_t>(column >> (16 * r)) & 0xFFFF;
}

// What a sample in row r of a stripe that becomes significant tells the words of its column
// and of the columns either side, within the stripe, as one 64-bit OR each. By sign (1
// negative) and row.
struct ColumnUpdate {
    uint64_t west, own, east;
};

// The bits in the lane of row r (0 to 3) of a column's word.
constexpr uint64_t Lane(int r, uint32_t bits) {
    return uint64_t{bits} << (16 * r);
}

// The same for a row that may lie outside the stripe, which gets nothing.
constexpr uint64_t InLane(int r, uint32_t bits) {
    return r >= 0 && r < kStripeRows ? Lane(r, bits) : 0;
}

constexpr ColumnUpdate MakeColumnUpdate(int r, bool negative) {
    const uint32_t n = negative ? 0xFFFF : 0;
    return {
        InLane(r - 1, kSeSig) | InLane(r, kESig | (n & kESgn)) | InLane(r + 1, kNeSig),
        InLane(r - 1, kSSig | (n & kSSgn)) | InLane(r, kSig) | InLane(r + 1, kNSig | (n & kNSgn)),
        InLane(r - 1, kSwSig) | InLane(r, kWSig | (n & kWSgn)) | InLane(r + 1, kNwSig)};
}

constexpr ColumnUpdate kColumnUpdates[2][kStripeRows] = {
    {MakeColumnUpdate(0, false), MakeColumnUpdate(1, false), MakeColumnUpdate(2, false),
     MakeColumnUpdate(3, false)},
    {MakeColumnUpdate(0, true), MakeColumnUpdate(1, true), MakeColumnUpdate(2, true),
     MakeColumnUpdate(3, true)}};

inline void OrColumn(uint16_t* column, uint64_t bits) {
    StoreColumn(column, LoadColumn(column) | bits);
}

// Tells the neighbours of the sample in row r of the stripe column col, whose words the pass
// holds in own, that it became significant. The first and last rows also tell the stripe
// above and below; with the vertically causal mode a stripe's first row does not tell the row
// above, which belongs to the stripe before.
inline void SetSignificant(uint16_t* col, uint64_t& own, int r, ptrdiff_t stripeStep, bool negative,
                           bool vcausal) {
    const ColumnUpdate& update = kColumnUpdates[negative][r];
    OrColumn(col - kStripeRows, update.west);
    OrColumn(col + kStripeRows, update.east);
    own |= update.own;
    const uint16_t sign = negative ? 0xFFFF : 0;
    if (r == 0 && !vcausal) {
        uint16_t* north = col - stripeStep + (kStripeRows - 1);
        north[-kStripeRows] |= kSeSig;
        north[kStripeRows] |= kSwSig;
        *north |= kSSig | (sign & kSSgn);
    } else if (r == kStripeRows - 1) {
        uint16_t* south = col + stripeStep;
        south[-kStripeRows] |= kNeSig;
        south[kStripeRows] |= kNwSig;
        *south |= kNSig | (sign & kNSgn);
    }
}

// Visits every stripe column in the standard's scan order: stripes of four rows, columns left
// to right; visit gets the number of rows, the column's first state word and its first
// coefficient. Full stripes pass the row count as a constant, so the row loops unroll.
template <typename Visit>
void ForEachStripeColumn(const PassContext& pc, Visit&& visit) {
    ptrdiff_t stripe = 0;
    for (int y0 = 0; y0 < pc.height; y0 += kStripeRows, stripe += pc.stripeStep) {
        const int rows = std::min(kStripeRows, pc.height - y0);
        const ptrdiff_t end = stripe + ptrdiff_t{pc.width} * kStripeRows;
        if (rows == kStripeRows) {
            for (ptrdiff_t i = stripe; i < end; i += kStripeRows) {
                visit(kStripeRows, pc.states + i, pc.values + i);
            }
        } else {
            for (ptrdiff_t i = stripe; i < end; i += kStripeRows) {
                visit(rows, pc.states + i, pc.values + i);
            }
        }
    }
}

// Decisions through the MQ decoder. The registers are copied in when a pass starts and
// handed back when it ends (at destruction), so the pass runs with them in machine registers.
class MqSource {
  public:
    explicit MqSource(mqdec_t& mq)
        : mq_(mq),
          regs_(mq.registers()),
          contexts_(mq.contexts()),
          transitions_(MqTransitions()),
          luts_(jpc_initluts()) {}
    ~MqSource() { mq_.setregisters(regs_); }
    MqSource(const MqSource&) = delete;
    MqSource& operator=(const MqSource&) = delete;

    int Decide(int context) { return MqDecode(regs_, contexts_[context], transitions_); }
    int Significance(uint32_t word, const uint8_t* zeroCoding) {
        return Decide(zeroCoding[word & kOtherSigMask]);
    }
    int Sign(uint32_t word) {
        const unsigned i = (word >> 4) & 0xFF;
        return Decide(luts_.sign[i]) ^ luts_.signPrediction[i];
    }
    int Refinement(uint32_t word) {
        return Decide(luts_.magnitude[((word & kRefined) >> 2) | (word & kOtherSigMask)]);
    }

  private:
    mqdec_t& mq_;
    MqRegisters regs_;
    MqContext* contexts_;
    const MqTransition* transitions_;
    const T1Luts& luts_;
};

// Decisions read as raw bits, in the bypass mode.
class RawSource {
  public:
    explicit RawSource(RawBits& bits) : bits_(bits) {}
    int Significance(uint32_t, const uint8_t*) { return bits_.Get(); }
    int Sign(uint32_t) { return bits_.Get(); }
    int Refinement(uint32_t) { return bits_.Get(); }

  private:
    RawBits& bits_;
};

// The passes pick the rows of a stripe column to code from its 64-bit word: one bit per row,
// at the bottom of the row's 16-bit lane, walked from the top row down.
constexpr uint64_t kRowBits = Lanes(1);

uint64_t RowsWith(uint64_t word, T1StateBits bit) {
    return (word >> std::countr_zero(static_cast<uint32_t>(bit))) & kRowBits;
}

// The rows whose words have some significant neighbour: adding 0xFF carries into bit 8 of a
// lane exactly when its low 8 bits are not all 0, and never out of the lane.
uint64_t RowsWithSignificantNeighbour(uint64_t word) {
    return (((word & Lanes(kOtherSigMask)) + Lanes(0xFF)) >> 8) & kRowBits;
}

// The rows that a stripe of rows rows has (a partial last stripe has fewer than four).
uint64_t StripeRows(int rows) {
    return rows == kStripeRows ? kRowBits : kRowBits & ((uint64_t{1} << (16 * rows)) - 1);
}

// Takes the topmost row out of todo and returns it.
int TakeRow(uint64_t& todo) {
    const int r = std::countr_zero(todo) / 16;
    todo &= todo - 1;
    return r;
}

// Decodes the significance and, on 1, the sign of the sample in row r of the stripe column
// col (its words held in own); returns whether it became significant.
template <typename Source>
inline bool DecodeSignificance(const PassContext& pc, Source& source, uint16_t* col, uint64_t& own,
                               int r, int32_t* d, int32_t oneplushalf) {
    if (!source.Significance(Row(own, r), pc.zeroCoding)) {
        return false;
    }
    const int s = source.Sign(Row(own, r));
    d[r] = s ? -oneplushalf : oneplushalf;
    SetSignificant(col, own, r, pc.stripeStep, s != 0, pc.vcausal);
    return true;
}

template <typename Source, typename Input>
void SignificancePass(const PassContext& pc, Input& input, int b) {
    Source source(input);
    const int32_t oneplushalf = (1 << b) | ((1 << b) >> 1);
    ForEachStripeColumn(pc, [&](int rows, uint16_t* col, int32_t* d) {
        uint64_t word = LoadColumn(col);
        const uint64_t uncoded =
            ~RowsWith(word, kSig) & ~RowsWith(word, kVisited) & StripeRows(rows);
        uint64_t todo = uncoded & RowsWithSignificantNeighbour(word);
        if (todo == 0) {
            return;
        }
        while (todo != 0) {
            const int r = TakeRow(todo);
            if (DecodeSignificance(pc, source, col, word, r, d, oneplushalf)) {
                // The row below has a significant neighbour now.
                todo |= uncoded & Lane(r, 1u << 16);
            }
            word |= Lane(r, kVisited);
        }
        StoreColumn(col, word);
    });
}

template <typename Source, typename Input>
void RefinementPass(const PassContext& pc, Input& input, int b) {
    Source source(input);
    const int32_t half = (1 << b) >> 1;
    const int32_t lower = half ? -half : -1;  // a 0 bit at plane 0 lowers the magnitude by one
    ForEachStripeColumn(pc, [&](int, uint16_t* col, int32_t* d) {
        uint64_t word = LoadColumn(col);
        uint64_t todo = RowsWith(word, kSig) & ~RowsWith(word, kVisited);
        if (todo == 0) {
            return;
        }
        while (todo != 0) {
            const int r = TakeRow(todo);
            const int32_t t = source.Refinement(Row(word, r)) ? half : lower;
            d[r] += d[r] < 0 ? -t : t;
            word |= Lane(r, kRefined);
        }
        StoreColumn(col, word);
    });
}

// The run-length mode: a full column with no significant sample, none visited and no
// significant neighbour codes with one decision whether any of it becomes significant, and
// where. Returns the row to go on from (4 when the column is done).
inline int CleanupRun(const PassContext& pc, MqSource& source, uint16_t* col, uint64_t& own,
                      int32_t* d, int32_t oneplushalf) {
    if (!source.Decide(kT1RunLengthContext)) {
        return kStripeRows;
    }
    int r = source.Decide(kT1UniformContext) << 1;
    r |= source.Decide(kT1UniformContext);
    const int s = source.Sign(Row(own, r));
    d[r] = s ? -oneplushalf : oneplushalf;
    SetSignificant(col, own, r, pc.stripeStep, s != 0, pc.vcausal);
    return r + 1;
}

void CleanupPass(const PassContext& pc, mqdec_t& mq, int b, bool segsym,
                 const T1Diagnostics& diagnostics) {
    MqSource source(mq);
    const int32_t oneplushalf = (1 << b) | ((1 << b) >> 1);
    const uint64_t busy = Lanes(kSig | kVisited | kOtherSigMask);
    ForEachStripeColumn(pc, [&](int rows, uint16_t* col, int32_t* d) {
        uint64_t word = LoadColumn(col);
        uint64_t todo = ~RowsWith(word, kSig) & ~RowsWith(word, kVisited) & StripeRows(rows);
        if (rows == kStripeRows && (word & busy) == 0) {
            const int next = CleanupRun(pc, source, col, word, d, oneplushalf);
            todo = next < kStripeRows ? todo & (kRowBits << (16 * next)) : 0;
        }
        word &= ~Lanes(kVisited);  // ready for the next bit-plane
        while (todo != 0) {
            const int r = TakeRow(todo);
            DecodeSignificance(pc, source, col, word, r, d, oneplushalf);
        }
        StoreColumn(col, word);
    });
    if (segsym) {
        int symbol = 0;
        for (int i = 0; i < 4; ++i) {
            symbol = (symbol << 1) | source.Decide(kT1UniformContext);
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
    values_.clear();
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
            // Every stripe, and a border stripe above and below, of width + 2 columns.
            const size_t stripes =
                static_cast<size_t>(info_.height + kStripeRows - 1) / kStripeRows;
            const size_t size = (stripes + 2) * static_cast<size_t>(info_.width + 2) * kStripeRows;
            flags_.assign(size, 0);
            values_.assign(size, 0);
        }
    } catch (const std::bad_alloc&) {
        flags_.clear();
        return -1;
    }
    int result = 0;
    for (const T1Segment& seg : segments) {
        if (DecodeSegment(seg, diagnostics) != 0) {
            result = -1;
            break;
        }
    }
    CopyOut(data, stride);
    return result;
}

void T1CodeBlockDecoder::CopyOut(int32_t* data, ptrdiff_t stride) const {
    const ptrdiff_t stripeStep = ptrdiff_t{info_.width + 2} * kStripeRows;
    const int32_t* stripe = values_.data() + stripeStep + kStripeRows;
    for (int y = 0; y < info_.height; ++y) {
        const int32_t* in = stripe + (y / kStripeRows) * stripeStep + y % kStripeRows;
        int32_t* out = data + y * stride;
        for (int x = 0; x < info_.width; ++x) {
            out[x] = in[x * kStripeRows];
        }
    }
}

int T1CodeBlockDecoder::DecodeSegment(const T1Segment& seg, const T1Diagnostics& diagnostics) {
    const T1Luts& luts = jpc_initluts();
    const bool raw = seg.type == kSegRaw;
    if (!raw) {
        if (!mq_) {
            mq_ = mqdec_create(kT1ContextCount);
            if (!mq_) {
                throw std::bad_alloc();
            }
            mq_->setctxs(luts.initialContexts);
        }
        mq_->setinput(seg.bytes);
        mq_->init();
    }
    RawBits bits(seg.bytes);
    const ptrdiff_t stripeStep = ptrdiff_t{info_.width + 2} * kStripeRows;
    const PassContext pc{flags_.data() + stripeStep + kStripeRows,
                         values_.data() + stripeStep + kStripeRows,
                         stripeStep,
                         info_.width,
                         info_.height,
                         &luts.zeroCoding[static_cast<size_t>(info_.orient & 3) << 8],
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
            raw ? SignificancePass<RawSource>(pc, bits, b)
                : SignificancePass<MqSource>(pc, *mq_, b);
        } else if (type == kRefPass) {
            raw ? RefinementPass<RawSource>(pc, bits, b) : RefinementPass<MqSource>(pc, *mq_, b);
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
