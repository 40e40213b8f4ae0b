// What one decode may do and hold. A codestream of a few bytes can declare a picture of a
// billion samples, thousands of tiles, a million layers' worth of progression changes or
// code-blocks of a single sample; the work and memory such declarations ask for are paid from
// a budget that the codestream buys with its bytes: a floor that every stream gets, plus so much
// per byte read so far. The caller's own cap is on the picture's samples; the rest follows from
// it and from the stream.
//
// Work is counted in units of about a nanosecond of decoding on a current machine; memory in
// bytes of tile structure (precincts, code-blocks, tag trees, the iterator's records) and coded
// data held until the tile is reconstructed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace j2000 {

struct DecodeLimits {
    // The caller's cap: samples of the picture, all components together.
    std::uint64_t maxsamples = std::uint64_t{1} << 30;
    // Work a stream buys: about 0.13 s whatever its size, and 8 us per byte. A complete stream
    // needs far less per byte (a lossless one about 0.1 us, one compressed 500:1 about 5 us).
    std::uint64_t workfloor = std::uint64_t{1} << 27;
    std::uint64_t workperbyte = std::uint64_t{1} << 13;
    // Memory held by tile structures and coded data: 64 MiB, and 64 bytes per byte read, but
    // never more than 4 bytes per sample the caller allows beyond the floor.
    std::uint64_t heldfloor = std::uint64_t{1} << 26;
    std::uint64_t heldperbyte = 64;
    // Work the caller spends on each pixel of the image's area once the decode is done (reading
    // the components back, stretching sub-sampled ones, scaling), paid from the same budget
    // when the codestream is read: a few bytes may declare a vast area over a few samples, or
    // over tiles without coded data. 0: the caller's work is its own business.
    std::uint64_t pictureunits = 0;
};

// Units of work charged per operation, measured against the decoder's own loops.
namespace work {
inline constexpr std::uint64_t kIteratorStep = 10;  // one position of the packet iterator
// One code-block in a packet header: its tag-tree walk from the root is a dozen nodes in the
// widest precincts (8192 x 1 code-blocks took 1.7 ns a unit at 16).
inline constexpr std::uint64_t kBlockVisit = 24;
inline constexpr std::uint64_t kSamplePass = 4;    // one coefficient in one tier-1 pass
inline constexpr std::uint64_t kSynthesis = 8;     // one sample from coefficients to the image
inline constexpr std::uint64_t kSynthesisWide = 14;  // the same on the 9/7's 64-bit lanes
inline constexpr std::uint64_t kStoreByte = 2;     // one byte of a constant written to the image
inline constexpr std::uint64_t kStoreRow = 1024;   // one write of a row (a system call for a file)
// One byte of a tile's level, band and iterator records, made and given back: a record or two
// of a few hundred bytes per level and component, each an allocation of its own.
inline constexpr std::uint64_t kStructureByte = 3;
}  // namespace work

class DecodeBudget {
  public:
    explicit DecodeBudget(const DecodeLimits& limits = {});

    // The caller's stop request, asked while work is charged (about every 65 us of work), so
    // that every stage that pays for its work stops promptly.
    void setstop(std::function<bool()> stop) { stop_ = std::move(stop); }

    // Bytes of codestream read so far; the allowances grow with them.
    void setbytes(std::uint64_t bytes);
    // Charges work; false (for good) once the total passes the allowance or a stop is asked
    // for. `what` names the stage for the refusal message.
    bool spend(std::uint64_t units, const char* what);
    // Takes memory that stays until `release`; false (for good) when it would pass the allowance.
    bool hold(std::uint64_t bytes, const char* what);
    void release(std::uint64_t bytes);

    bool exceeded() const { return !reason_.empty(); }
    bool stopped() const { return stopped_; }
    // Why the budget refused, as one line; empty while it has not.
    const std::string& reason() const { return reason_; }
    std::uint64_t held() const { return held_; }
    std::uint64_t spent() const { return work_; }

  private:
    std::uint64_t workallowance() const;
    std::uint64_t heldallowance() const;
    void refuse(const char* kind, const char* what, std::uint64_t allowance);

    DecodeLimits limits_;
    std::uint64_t bytes_ = 0;
    std::uint64_t work_ = 0;
    std::uint64_t held_ = 0;
    std::uint64_t polled_ = 0;  // work when the stop request was last asked
    std::function<bool()> stop_;
    bool stopped_ = false;
    std::string reason_;
};

}  // namespace j2000
