#pragma once
// The MQ arithmetic decoder of JPEG 2000 tier 1: single-bit decisions decoded under one of a
// set of adaptive contexts. A code-block owns one decoder; its context states carry over
// from segment to segment unless the reset mode sets them back.
//
// Each segment is handed over as its own bytes, ending exactly at its last byte. Past the
// end the decoder reads 1-bits, so a decision never fails for lack of data: a truncated
// segment decodes to whatever those bits give.
//
// The registers live in a plain struct of their own (MqRegisters) and the decision is a free
// function on it, so that a coding pass can copy them into locals, which the compiler keeps
// in machine registers for the whole pass, and store them back once at its end.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace j2000 {

// A context slot: the Qe of the context's probability state in the upper 16 bits and its
// state-table entry, 2 x state + MPS, in the lower ones. A decision reads Qe and the MPS from
// the slot itself, without following it into the table first.
using MqContext = uint32_t;

constexpr uint32_t kMqQeMask = 0xFFFF0000u;

// The slots that follow a slot after an MPS and after an LPS decision (the LPS one with the
// MPS exchanged where the state says so), by state-table entry.
struct MqTransition {
    MqContext nmps;
    MqContext nlps;
};

// The table, 94 entries; built once, read only afterwards.
const MqTransition* MqTransitions();

// The slot of state index state with MPS value mps.
MqContext MqSlot(int state, int mps);

// A context's starting point: its state index and MPS value.
struct MqContextInit {
    int mps;
    int state;
};

// The decoder's registers. A is held shifted up by 16, so that it is compared with the
// slots' Qe as it stands and its top bit is the sign bit. bp points at the byte read last,
// inside the decoder's copy of the segment, which ends with two 0xFF bytes: an 0xFF followed
// by a byte above 0x8F is where reading stops for good (a marker, or the end of the segment),
// so byte input needs no length check and past the end it adds 1-bits, as the standard's
// decoder does at a marker.
struct MqRegisters {
    uint32_t a = 0;
    uint32_t c = 0;
    int ct = 0;
    const uint8_t* bp = nullptr;
};

// The standard's BYTEIN. After 0xFF one stuffed bit is skipped; a byte after 0xFF that is
// above 0x8F is a marker, which no segment holds, so the pointer stays on that 0xFF and every
// later byte input adds 1-bits.
inline void MqByteIn(MqRegisters& r) {
    if (r.bp[0] == 0xFF) {
        if (r.bp[1] > 0x8F) {
            r.c += 0xFF00;
            r.ct = 8;
        } else {
            ++r.bp;
            r.c += uint32_t{r.bp[0]} << 9;
            r.ct = 7;
        }
    } else {
        ++r.bp;
        r.c += uint32_t{r.bp[0]} << 8;
        r.ct = 8;
    }
}

// The standard's RENORMD, which doubles A until its top bit is set, reading a byte whenever
// the bits of C run out: here all the doublings that need no byte are done in one shift.
inline void MqRenormalise(MqRegisters& r) {
    int n = std::countl_zero(r.a);  // A is never 0 here
    while (n > r.ct) {
        r.a <<= r.ct;
        r.c <<= r.ct;
        n -= r.ct;
        MqByteIn(r);
    }
    r.a <<= n;
    r.c <<= n;
    r.ct -= n;
}

// The standard's DECODE of one decision in context cx. The conditional exchanges run for
// about one decision in three; everything stays inline, as tier 1 calls this for every
// coded bit.
inline int MqDecode(MqRegisters& r, MqContext& cx, const MqTransition* transitions) {
    const MqContext slot = cx;
    const uint32_t qe = slot & kMqQeMask;
    const int mps = static_cast<int>(slot & 1);
    const MqTransition& next = transitions[slot & 0xFF];
    r.a -= qe;
    int d;
    if (r.c >= qe) {
        r.c -= qe;
        if (r.a & 0x80000000u) {
            return mps;
        }
        // MPS exchange: the smaller interval decides.
        const bool lps = r.a < qe;
        d = mps ^ static_cast<int>(lps);
        cx = lps ? next.nlps : next.nmps;
    } else {
        // LPS exchange.
        const bool lps = r.a >= qe;
        r.a = qe;
        d = mps ^ static_cast<int>(lps);
        cx = lps ? next.nlps : next.nmps;
    }
    MqRenormalise(r);
    return d;
}

class mqdec_t {
  public:
    explicit mqdec_t(int maxctxs);

    // Copies the bytes of the next segment (with the two closing 0xFF bytes).
    void setinput(std::span<const uint8_t> bytes);
    // Starts decoding the attached segment (the standard's INITDEC).
    void init();
    // The first min(count, contexts) contexts start from list; the others from state 0, MPS 0.
    void setctxs(std::span<const MqContextInit> list);

    // Decodes one decision in context ctx (the standard's DECODE).
    int decode(int ctx) {
        return MqDecode(regs_, ctxs_[static_cast<size_t>(ctx)], MqTransitions());
    }

    // For a coding pass that decodes with the registers in locals: it takes them here and
    // hands them back when it ends; the context slots stay in the decoder.
    MqRegisters registers() const { return regs_; }
    void setregisters(const MqRegisters& regs) { regs_ = regs; }
    MqContext* contexts() { return ctxs_.get(); }

    int maxctxs() const { return static_cast<int>(count_); }
    // For tests: the registers after a step, and whether reading has stopped at the end of
    // the segment or at a marker.
    uint32_t a() const { return regs_.a >> 16; }
    int ct() const { return regs_.ct; }
    bool eof() const;

  private:
    MqRegisters regs_;
    std::unique_ptr<MqContext[]> ctxs_;
    size_t count_ = 0;
    std::vector<uint8_t> bytes_;  // the segment and two 0xFF bytes
    size_t size_ = 0;             // the segment's own length
};

// Makes a decoder with maxctxs contexts (above 0), every context at state 0, MPS 0; null
// when memory runs out.
std::unique_ptr<mqdec_t> mqdec_create(int maxctxs);

}  // namespace j2000
