#pragma once
// The binary arithmetic decoder of WIC files: the QM coder of ITU-T T.81 (Annex D), with
// its 113-state probability estimation, a 16-bit interval register and a code register
// whose top 16 bits are compared with the interval.
//
// Bytes come from one block held in memory. 0xFF is an escape: FF 00 stands for the data
// byte 0xFF, FF 02 ends the data (every later byte reads as 0), and any other byte after
// 0xFF marks the stream as damaged, as does a stream that stops without its end; the
// decode then stops with Damaged() set rather than guess at the rest.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
        uint64_t c = 0;     // code register; bits 63..48 are compared with the interval
        uint32_t a = 0;     // interval register, 0x10000 right after initialisation
        int ct = 0;         // stream bits waiting below the compared ones
        size_t loaded = 0;  // data bytes brought into c (past the data's end, zeros)
    };

  public:
    // data stays owned by the caller and is read only here.
    QmDecoder(const uint8_t* data, size_t size, int contexts);

    // Decisions taken on local copies of the registers, written back when the session
    // ends: a loop that owns a session keeps them in machine registers, where a decoder
    // reached through a reference has them loaded and stored around every decision. No
    // address of them is ever taken, and nothing on the way is a call, or the compiler
    // would have to keep them in memory.
    class Session {
      public:
        explicit Session(QmDecoder& qm)
            : qm_(qm),
              contexts_(qm.contexts_.data()),
              data_(qm.data_.data()),
              dataBytes_(qm.dataBytes_),
              c_(qm.registers_.c),
              a_(qm.registers_.a),
              ct_(qm.registers_.ct),
              loaded_(qm.registers_.loaded),
              limit_(LimitOf(c_)) {}
        ~Session() { qm_.registers_ = Registers{c_, a_, ct_, loaded_}; }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        // One decision in context cx (0 or 1).
        int Decode(int cx) {
            QmTransition& context = contexts_[static_cast<size_t>(cx)];
            a_ -= context.qe;
            // Most decisions land in the more probable symbol's part of an interval that
            // stays large enough: no exchange, no renormalisation, no change of the context.
            if (a_ > limit_) {
                return context.mps;
            }
            return DecideRenormalising(context);
        }

      private:
        // The larger of the compared code bits and 0x7FFF: an interval above it needs
        // neither an exchange nor renormalisation.
        static uint32_t LimitOf(uint64_t c) {
            const auto high = static_cast<uint32_t>(c >> 48);
            return high > 0x7FFFu ? high : 0x7FFFu;
        }
        inline int DecideRenormalising(QmTransition& context);
        inline void Refill();

        QmDecoder& qm_;
        QmTransition* const contexts_;
        const uint8_t* const data_;
        const size_t dataBytes_;
        uint64_t c_;
        uint32_t a_;
        int ct_;
        size_t loaded_;
        uint32_t limit_;
    };

    // One decision in context cx (0 or 1).
    int Decode(int cx) { return Session(*this).Decode(cx); }

    // Where the decoder stands as T.81's decoder, which reads a byte only when its
    // renormalisation needs one: whether that has read past the data, and the escape
    // found there was not the end.
    bool Damaged() const { return PastTheData() && !endEscape_; }
    bool EndSeen() const { return PastTheData() && endEscape_; }

    // Bytes past the data that every read may take in one go (all zero).
    static constexpr size_t kPadding = 8;

  private:
    bool PastTheData() const;

    // The data with its escapes undone, then kPadding zeros: the bytes the decoder reads
    // up to the end escape, a damaged escape or the end of the stream, which then read as
    // 0 (a damaged stream is found at the boundary checks, at bit planes).
    std::vector<uint8_t> data_;
    size_t dataBytes_ = 0;
    bool endEscape_ = false;  // the data ended with the end escape
    Registers registers_;
    std::vector<QmTransition> contexts_;
};

// The rest of T.81's DECODE, without branches on the outcome: in the upper (LPS) part of
// the interval the code register drops below it and the interval becomes Qe; the
// conditional exchange swaps which symbol a part stands for when the part left to the
// more probable symbol is the smaller one. Either way the interval is then below 0x8000
// and doubled until it is not. The outcome is close to a coin toss here, so the
// selections are written as masks: GCC turns the plain conditionals into branches, and
// their mispredictions cost more than the whole decision.
inline int QmDecoder::Session::DecideRenormalising(QmTransition& context) {
    const uint32_t qe = context.qe;
    const auto high = static_cast<uint32_t>(c_ >> 48);
    const uint32_t upper = high >= a_ ? 1u : 0u;
    const uint32_t lessProbable = upper ^ (a_ < qe ? 1u : 0u);
    const uint32_t upperMask = 0u - upper;
    c_ -= static_cast<uint64_t>(a_ & upperMask) << 48;
    a_ ^= (a_ ^ qe) & upperMask;
    const uint32_t afterMps = context.afterMps;
    const uint32_t next = afterMps ^ ((afterMps ^ context.afterLps) & (0u - lessProbable));
    const int decision = context.mps ^ static_cast<int>(lessProbable);
    context = kQmTransitions[next];
    // As many doublings as bring A back to 0x8000 or more (A is never 0 here); bytes
    // enter only every few decisions, several at a time.
    const int shift = __builtin_clz(a_) - 16;
    if (shift > ct_) [[unlikely]] {
        Refill();
    }
    a_ <<= shift;
    c_ <<= shift;
    ct_ -= shift;
    limit_ = LimitOf(c_);
    return decision;
}

// As many whole bytes as fit below the compared bits (at least four: a refill comes when
// fewer than 16 bits are left), read as one 64-bit word. Past the data's end the reads
// stay at its zero padding.
inline void QmDecoder::Session::Refill() {
    const size_t at = loaded_ < dataBytes_ ? loaded_ : dataBytes_;
    uint64_t next;
    std::memcpy(&next, data_ + at, sizeof(next));
    if constexpr (std::endian::native == std::endian::little) {
        next = __builtin_bswap64(next);  // the first byte the most significant
    }
    const int bytes = (48 - ct_) / 8;
    c_ |= (next >> (64 - 8 * bytes)) << (48 - ct_ - 8 * bytes);
    ct_ += 8 * bytes;
    loaded_ += static_cast<size_t>(bytes);
}
