#pragma once
// The MQ arithmetic decoder of JPEG 2000 tier 1: single-bit decisions decoded under one of a
// set of adaptive contexts. A code-block owns one decoder; its context states carry over
// from segment to segment unless the reset mode sets them back.
//
// Each segment is handed over as its own bytes, ending exactly at its last byte. Past the
// end the decoder reads 1-bits, so a decision never fails for lack of data: a truncated
// segment decodes to whatever those bits give.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace j2000 {

// One entry of the probability-state table: 47 states, each with either MPS value. The
// successors are entry indices, the LPS one with the MPS exchanged where the state says so.
struct MqStateEntry {
    uint32_t qe;
    int mps;
    const MqStateEntry* nmps;
    const MqStateEntry* nlps;
};

// The table, entry 2 x state + mps; built once, read only afterwards.
const MqStateEntry* MqStateTable();

// A context's starting point: its state index and MPS value.
struct MqContextInit {
    int mps;
    int state;
};

class mqdec_t {
  public:
    explicit mqdec_t(int maxctxs);

    // The bytes of the next segment (not owned; they must outlive the segment's decoding).
    void setinput(std::span<const uint8_t> bytes);
    // Starts decoding the attached segment (the standard's INITDEC).
    void init();
    // The first min(count, contexts) contexts start from list; the others from state 0, MPS 0.
    void setctxs(std::span<const MqContextInit> list);

    // Decodes one decision in context ctx (the standard's DECODE).
    int decode(int ctx) {
        const MqStateEntry*& state = ctxs_[static_cast<size_t>(ctx)];
        const uint32_t qe = state->qe;
        a_ -= qe;
        if ((c_ >> 16) >= qe) {
            c_ -= qe << 16;
            if (a_ & 0x8000) {
                return state->mps;
            }
            return mpsexchrenorm(state);
        }
        return lpsexchrenorm(state);
    }

    int maxctxs() const { return static_cast<int>(count_); }
    // For tests: the registers after a step.
    uint32_t a() const { return a_; }
    int ct() const { return ct_; }
    bool eof() const { return eof_; }

  private:
    // The exchanges and the renormalisation run for about one decision in three: kept inline
    // with decode, which tier 1 calls for every coded bit.
    int mpsexchrenorm(const MqStateEntry*& state) {
        int d;
        if (a_ < state->qe) {
            d = 1 - state->mps;
            state = state->nlps;
        } else {
            d = state->mps;
            state = state->nmps;
        }
        renormd();
        return d;
    }
    int lpsexchrenorm(const MqStateEntry*& state) {
        int d;
        if (a_ < state->qe) {
            a_ = state->qe;
            d = state->mps;
            state = state->nmps;
        } else {
            a_ = state->qe;
            d = 1 - state->mps;
            state = state->nlps;
        }
        renormd();
        return d;
    }
    void renormd() {
        do {
            if (ct_ == 0) {
                bytein();
            }
            a_ <<= 1;
            c_ <<= 1;
            --ct_;
        } while ((a_ & 0x8000) == 0);
    }
    void bytein();
    int readbyte();

    uint32_t c_ = 0;
    uint32_t a_ = 0;
    int ct_ = 0;
    std::unique_ptr<const MqStateEntry*[]> ctxs_;
    size_t count_ = 0;
    std::span<const uint8_t> in_;
    size_t pos_ = 0;
    uint8_t lastbyte_ = 0;
    bool eof_ = false;
};

// Makes a decoder with maxctxs contexts (above 0), every context at state 0, MPS 0; null
// when memory runs out.
std::unique_ptr<mqdec_t> mqdec_create(int maxctxs);

}  // namespace j2000
