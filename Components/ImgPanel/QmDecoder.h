#pragma once
// The binary arithmetic decoder of WIC files: the QM coder of ITU-T T.81 (Annex D), with
// its 113-state probability estimation, a 16-bit interval register and a code register
// whose top 16 bits are compared with the interval.
//
// Bytes come from one block held in memory. 0xFF is an escape: FF 00 stands for the data
// byte 0xFF, FF 02 ends the data (every later byte reads as 0), and any other byte after
// 0xFF marks the stream as damaged; the decode then stops with Damaged() set rather than
// guess at the rest.

#include <array>
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

// A context's state and its more probable symbol together, indexed state * 2 + symbol. A
// context holds a copy of its entry, so a decision starts from one load, and the common
// outcome needs no other memory.
struct QmTransition {
    uint16_t qe;
    uint16_t afterMps;  // index after a more probable symbol
    uint16_t afterLps;  // index after a less probable one, the symbol exchanged if need be
    uint16_t mps;       // the more probable symbol
};
extern const std::array<QmTransition, 2 * kQmStateCount> kQmTransitions;

class QmDecoder {
    // T.81's 32-bit code register holds the compared 16 bits and the bits of one byte
    // below them. Here bits 63..48 are the compared ones and the ct bits below them the
    // stream's next bits, several bytes of them, which need no other handling: what
    // enters below is never touched by the subtraction above.
    struct Registers {
        uint64_t c = 0;  // code register; bits 63..48 are compared with the interval
        uint32_t a = 0;  // interval register, 0x10000 right after initialisation
        int ct = 0;      // stream bits waiting below the compared ones
    };

  public:
    // data stays owned by the caller and must outlive the decoder.
    QmDecoder(const uint8_t* data, size_t size, int contexts);

    // One decision in context cx (0 or 1).
    int Decode(int cx) { return DecideIn(registers_, cx); }

    // Decisions taken on a local copy of the registers, written back when the session
    // ends: a loop that owns a session keeps them in machine registers, where a decoder
    // reached through a reference has them loaded and stored around every decision.
    class Session {
      public:
        explicit Session(QmDecoder& qm) : qm_(qm), registers_(qm.registers_) {}
        ~Session() { qm_.registers_ = registers_; }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        int Decode(int cx) { return qm_.DecideIn(registers_, cx); }

      private:
        QmDecoder& qm_;
        Registers registers_;
    };

    bool Damaged() const { return damaged_; }
    bool EndSeen() const { return endSeen_; }
    size_t BytesConsumed() const { return pos_; }

  private:
    inline int DecideIn(Registers& r, int cx);
    inline int DecideRenormalising(Registers& r, QmTransition& context, uint32_t high);
    inline void Renormalise(Registers& r);
    void Refill(Registers& r, int needed);
    void ByteIn(Registers& r) {
        r.c |= static_cast<uint64_t>(NextByte()) << (40 - r.ct);
        r.ct += 8;
    }
    int NextByte();

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    Registers registers_;
    bool endSeen_ = false;
    bool damaged_ = false;
    // 16-bit fields: a store to a byte may alias anything, which would make the compiler
    // reload the registers after every change of a context.
    std::vector<QmTransition> contexts_;
};

inline void QmDecoder::Renormalise(Registers& r) {
    // As many doublings as bring A back to 0x8000 or more; bytes enter only every few
    // decisions, several at a time.
    const int shift = std::countl_zero(static_cast<uint16_t>(r.a));
    if (shift > r.ct) [[unlikely]] {
        Refill(r, shift);
    }
    r.a <<= shift;
    r.c <<= shift;
    r.ct -= shift;
}

inline int QmDecoder::DecideIn(Registers& r, int cx) {
    QmTransition& context = contexts_[static_cast<size_t>(cx)];
    r.a -= context.qe;
    const auto high = static_cast<uint32_t>(r.c >> 48);
    // Most decisions land in the more probable symbol's part of an interval that stays
    // large enough: no exchange, no renormalisation, no change of the context.
    if ((high < r.a) & (r.a >= 0x8000)) {
        return context.mps;
    }
    return DecideRenormalising(r, context, high);
}

// The rest of T.81's DECODE, without branches on the outcome: in the upper (LPS) part of
// the interval the code register drops below it and the interval becomes Qe; the
// conditional exchange swaps which symbol a part stands for when the part left to the
// more probable symbol is the smaller one. The outcome is close to a coin toss here, so
// the selections are written as masks: GCC turns the plain conditionals into branches,
// and their mispredictions cost more than the whole decision.
inline int QmDecoder::DecideRenormalising(Registers& r, QmTransition& context, uint32_t high) {
    const uint32_t qe = context.qe;
    const uint32_t upper = high >= r.a ? 1u : 0u;
    const uint32_t lessProbable = upper ^ (r.a < qe ? 1u : 0u);
    const uint32_t upperMask = 0u - upper;
    r.c -= static_cast<uint64_t>(r.a & upperMask) << 48;
    r.a ^= (r.a ^ qe) & upperMask;
    const uint32_t afterMps = context.afterMps;
    const uint32_t next = afterMps ^ ((afterMps ^ context.afterLps) & (0u - lessProbable));
    const int decision = context.mps ^ static_cast<int>(lessProbable);
    context = kQmTransitions[next];
    Renormalise(r);
    return decision;
}
