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
// outcome needs no other memory. The entry lists the indices a decision can lead to, so
// that the next one is picked by the outcome rather than by a branch.
struct QmTransition {
    uint16_t qe;
    // Index after a decision without renormalisation (this entry's own), after a more
    // probable symbol with it, and after a less probable one (the symbol exchanged if need
    // be): a less probable symbol always renormalises, so 0, 1 and 2 are all there are.
    uint8_t next[3];
    uint8_t mps;  // the more probable symbol
    uint16_t unused;
};
extern const std::array<QmTransition, 2 * kQmStateCount> kQmTransitions;

class QmDecoder {
    // T.81's registers widened to 64 bits, their 16 bits at the top: the interval A, and
    // the compared bits of the code register C with the ct stream bits waiting below them,
    // several bytes of them, which need no other handling (what enters below is never
    // touched by the subtractions above). A is 0 after initialisation, standing for
    // T.81's 0x10000 (2^64 here), which the first subtraction turns into the right value.
    // Doubling A is then a shift by its count of leading zeros.
    struct Registers {
        uint64_t c = 0;
        uint64_t a = 0;
        int ct = 0;
        size_t loaded = 0;  // data bytes brought into c (past the data's end, zeros)
    };

  public:
    // Decodes a copy of data (size bytes).
    QmDecoder(const uint8_t* data, size_t size, int contexts);
    // Decodes bytes[from..], taking the bytes over: the escapes are undone in place. With
    // kPadding bytes of room beyond them (reserved), no other memory is taken.
    QmDecoder(std::vector<uint8_t> bytes, size_t from, int contexts);
    QmDecoder(const QmDecoder&) = delete;
    QmDecoder& operator=(const QmDecoder&) = delete;

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
              data_(qm.data_),
              dataBytes_(qm.dataBytes_),
              c_(qm.registers_.c),
              a_(qm.registers_.a),
              ct_(qm.registers_.ct),
              loaded_(qm.registers_.loaded) {}
        ~Session() { qm_.registers_ = Registers{c_, a_, ct_, loaded_}; }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        // One decision in context cx (0 or 1), for contexts whose decisions mostly land in
        // the more probable symbol's part of an interval that stays large enough: no
        // exchange, no renormalisation, no change of the context, tested with one branch
        // that such a context keeps predictable.
        int Decode(int cx) {
            QmTransition& context = contexts_[static_cast<size_t>(cx)];
            const uint64_t a = a_ - (static_cast<uint64_t>(context.qe) << 48);
            // 0x8000 or more (the top bit) and above the code register.
            if (static_cast<int64_t>(a) < 0 && a > c_) {
                a_ = a;
                return context.mps;
            }
            return DecodeBranchFree(cx);
        }

        // The same without a branch on the way, for contexts whose decisions renormalise
        // about as often as not, where that branch would be mispredicted at every turn.
        int DecodeBranchFree(int cx);

      private:
        inline void Refill();

        QmDecoder& qm_;
        QmTransition* const contexts_;
        const uint8_t* const data_;
        const size_t dataBytes_;
        uint64_t c_;
        uint64_t a_;
        int ct_;
        size_t loaded_;
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
    std::vector<uint8_t> buffer_;
    const uint8_t* data_ = nullptr;
    size_t dataBytes_ = 0;
    bool endEscape_ = false;  // the data ended with the end escape
    Registers registers_;
    std::vector<QmTransition> contexts_;
};

namespace qm_detail {

// Where c >= a (the upper part): a2 := qe and c2 := c - a, else a2 := a and c2 := c; returns
// whether it was the upper part. Written out as two conditional moves on one comparison:
// GCC turns the pair into a branch, which the coin-toss outcomes of these decisions
// mispredict half the time.
inline uint32_t SelectUpperPart(uint64_t c, uint64_t a, uint64_t qe, uint64_t& a2, uint64_t& c2) {
    a2 = a;
    c2 = c;
#if defined(__x86_64__) && defined(__GNUC__)
    const uint64_t lowered = c - a;
    uint8_t upper;
    asm("cmp %[a], %[c]\n\t"
        "setae %[upper]\n\t"
        "cmovae %[qe], %[a2]\n\t"
        "cmovae %[lowered], %[c2]"
        : [a2] "+r"(a2), [c2] "+r"(c2), [upper] "=&q"(upper)
        : [c] "r"(c), [a] "r"(a), [qe] "r"(qe), [lowered] "r"(lowered)
        : "cc");
    return upper;
#else
    const uint64_t upper = 0 - static_cast<uint64_t>(c >= a);
    a2 ^= (a2 ^ qe) & upper;
    c2 -= a & upper;
    return static_cast<uint32_t>(upper & 1);
#endif
}

}  // namespace qm_detail

// T.81's DECODE, its conditional exchanges and its renormalisation: in the upper (LPS) part
// of the interval the code register drops below it and the interval becomes Qe; the
// exchange swaps which symbol a part stands for when the part left to the more probable
// symbol is the smaller one; the interval is then doubled until it is 0x8000 or more,
// which is no doubling at all when it already is. Bytes enter only every few decisions,
// several at a time, so that there are always enough waiting for the largest doubling (15).
inline int QmDecoder::Session::DecodeBranchFree(int cx) {
    QmTransition& context = contexts_[static_cast<size_t>(cx)];
    const uint64_t qe = static_cast<uint64_t>(context.qe) << 48;
    const uint64_t a = a_ - qe;
    const uint64_t c = c_;
    uint64_t a2, c2;
    const uint32_t upper = qm_detail::SelectUpperPart(c, a, qe, a2, c2);
    // The registers first: the next decision waits for them, the rest can lag behind.
    const int shift = __builtin_clzll(a2);  // a2 is never 0: Qe is at least 1
    a_ = a2 << shift;
    c_ = c2 << shift;
    ct_ -= shift;
    const uint32_t lessProbable = upper ^ (a < qe ? 1u : 0u);
    const int decision = context.mps ^ static_cast<int>(lessProbable);
    const auto renormalised = static_cast<uint32_t>(~a2 >> 63);
    context = kQmTransitions[context.next[renormalised + lessProbable]];
    if (ct_ < 15) [[unlikely]] {
        Refill();
    }
    return decision;
}

// As many whole bytes as fit below the compared bits (at least four: a refill comes when
// fewer than 15 bits are left), read as one 64-bit word. Past the data's end the reads
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
