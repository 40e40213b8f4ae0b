#pragma once
// The binary arithmetic decoder of WIC files: the QM coder of ITU-T T.81 (Annex D), with
// its 113-state probability estimation, a 16-bit interval register and a 32-bit code
// register whose top 16 bits are compared with the interval.
//
// Bytes come from one block held in memory. 0xFF is an escape: FF 00 stands for the data
// byte 0xFF, FF 02 ends the data (every later byte reads as 0), and any other byte after
// 0xFF marks the stream as damaged; the decode then stops with Damaged() set rather than
// guess at the rest.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

struct QmState {
    uint16_t qe;      // probability estimate of the less probable symbol
    uint8_t nextLps;  // state after a less probable symbol
    uint8_t nextMps;  // state after a more probable symbol
    uint8_t swap;     // 1: a less probable symbol exchanges the sense of the more probable one
};

inline constexpr int kQmStateCount = 113;
extern const QmState kQmStates[kQmStateCount];

class QmDecoder {
  public:
    // data stays owned by the caller and must outlive the decoder.
    QmDecoder(const uint8_t* data, size_t size, int contexts);

    // One decision in context cx (0 or 1).
    inline int Decode(int cx);

    bool Damaged() const { return damaged_; }
    bool EndSeen() const { return endSeen_; }
    size_t BytesConsumed() const { return pos_; }

  private:
    // 16-bit fields: a store to a byte may alias anything, which would make the compiler
    // reload the registers after every change of a context.
    struct Context {
        uint16_t state = 0;
        uint16_t mps = 0;
    };

    void ByteIn();
    int NextByte();
    inline void Renormalise();

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t c_ = 0;  // code register; bits 31..16 are compared with the interval
    uint32_t a_ = 0;  // interval register, 0x10000 right after initialisation
    int ct_ = 0;      // bits left before the next byte enters
    bool endSeen_ = false;
    bool damaged_ = false;
    std::vector<Context> contexts_;
};

inline void QmDecoder::Renormalise() {
    // As many doublings as bring A back to 0x8000 or more, a byte entering whenever the
    // bits of the last one are used up.
    int shift = std::countl_zero(static_cast<uint16_t>(a_));
    while (shift > ct_) {
        if (ct_ > 0) {
            a_ <<= ct_;
            c_ = (c_ << ct_) & 0xFFFFFFFFu;
            shift -= static_cast<int>(ct_);
        }
        ByteIn();
    }
    a_ <<= shift;
    c_ = (c_ << shift) & 0xFFFFFFFFu;
    ct_ -= shift;
}

inline int QmDecoder::Decode(int cx) {
    Context& ctx = contexts_[static_cast<size_t>(cx)];
    const QmState& st = kQmStates[ctx.state];
    const uint64_t qe = st.qe;
    a_ -= qe;
    int decision;
    if ((c_ >> 16) < a_) {
        if (a_ >= 0x8000) {
            return ctx.mps;
        }
        // The more probable symbol's sub-interval, unless the exchange gave it to the other.
        if (a_ < qe) {
            decision = 1 - ctx.mps;
            ctx.mps = static_cast<uint16_t>(ctx.mps ^ st.swap);
            ctx.state = st.nextLps;
        } else {
            decision = ctx.mps;
            ctx.state = st.nextMps;
        }
    } else {
        c_ -= a_ << 16;
        if (a_ < qe) {
            decision = ctx.mps;
            ctx.state = st.nextMps;
        } else {
            decision = 1 - ctx.mps;
            ctx.mps = static_cast<uint16_t>(ctx.mps ^ st.swap);
            ctx.state = st.nextLps;
        }
        a_ = qe;
    }
    Renormalise();
    return decision;
}
