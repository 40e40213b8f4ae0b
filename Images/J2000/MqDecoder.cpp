#include "Images/J2000/MqDecoder.h"

#include <array>
#include <new>

namespace j2000 {

namespace {

// The standard's probability estimation table: Qe, the next state after an MPS and after an
// LPS, and whether an LPS exchanges the sense of the MPS.
struct MqStateRow {
    uint16_t qe;
    uint8_t nmps;
    uint8_t nlps;
    bool switchMps;
};

constexpr std::array<MqStateRow, 47> kStates{{
    {0x5601, 1, 1, true},    {0x3401, 2, 6, false},   {0x1801, 3, 9, false},
    {0x0AC1, 4, 12, false},  {0x0521, 5, 29, false},  {0x0221, 38, 33, false},
    {0x5601, 7, 6, true},    {0x5401, 8, 14, false},  {0x4801, 9, 14, false},
    {0x3801, 10, 14, false}, {0x3001, 11, 17, false}, {0x2401, 12, 18, false},
    {0x1C01, 13, 20, false}, {0x1601, 29, 21, false}, {0x5601, 15, 14, true},
    {0x5401, 16, 14, false}, {0x5101, 17, 15, false}, {0x4801, 18, 16, false},
    {0x3801, 19, 17, false}, {0x3401, 20, 18, false}, {0x3001, 21, 19, false},
    {0x2801, 22, 19, false}, {0x2401, 23, 20, false}, {0x2201, 24, 21, false},
    {0x1C01, 25, 22, false}, {0x1801, 26, 23, false}, {0x1601, 27, 24, false},
    {0x1401, 28, 25, false}, {0x1201, 29, 26, false}, {0x1101, 30, 27, false},
    {0x0AC1, 31, 28, false}, {0x09C1, 32, 29, false}, {0x08A1, 33, 30, false},
    {0x0521, 34, 31, false}, {0x0441, 35, 32, false}, {0x02A1, 36, 33, false},
    {0x0221, 37, 34, false}, {0x0141, 38, 35, false}, {0x0111, 39, 36, false},
    {0x0085, 40, 37, false}, {0x0049, 41, 38, false}, {0x0025, 42, 39, false},
    {0x0015, 43, 40, false}, {0x0009, 44, 41, false}, {0x0005, 45, 42, false},
    {0x0001, 45, 43, false}, {0x5601, 46, 46, false},
}};

MqContext Slot(size_t entry) {
    return (uint32_t{kStates[entry / 2].qe} << 16) | static_cast<uint32_t>(entry);
}

std::array<MqTransition, 94> BuildTransitions() {
    std::array<MqTransition, 94> table{};
    for (size_t entry = 0; entry < table.size(); ++entry) {
        const MqStateRow& row = kStates[entry / 2];
        const size_t mps = entry & 1;
        const size_t lpsMps = row.switchMps ? 1 - mps : mps;
        table[entry] = {Slot(2 * size_t{row.nmps} + mps), Slot(2 * size_t{row.nlps} + lpsMps)};
    }
    return table;
}

}  // namespace

const MqTransition* MqTransitions() {
    // Built once, on first use, by whichever thread gets there first; immutable afterwards.
    static const std::array<MqTransition, 94> table = BuildTransitions();
    return table.data();
}

MqContext MqSlot(int state, int mps) {
    return Slot(2 * static_cast<size_t>(state) + static_cast<size_t>(mps & 1));
}

mqdec_t::mqdec_t(int maxctxs)
    : ctxs_(new MqContext[static_cast<size_t>(maxctxs > 0 ? maxctxs : 1)]),
      count_(static_cast<size_t>(maxctxs > 0 ? maxctxs : 1)),
      bytes_{0xFF, 0xFF} {
    setctxs({});
}

std::unique_ptr<mqdec_t> mqdec_create(int maxctxs) {
    if (maxctxs <= 0) {
        return nullptr;
    }
    try {
        return std::make_unique<mqdec_t>(maxctxs);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// The copy costs little beside decoding its bytes, and its closing 0xFF pair lets byte input
// run without a length check. Its memory is kept from segment to segment.
void mqdec_t::setinput(std::span<const uint8_t> bytes) {
    bytes_.assign(bytes.begin(), bytes.end());
    bytes_.push_back(0xFF);
    bytes_.push_back(0xFF);
    size_ = bytes.size();
    regs_.bp = bytes_.data();
}

void mqdec_t::setctxs(std::span<const MqContextInit> list) {
    for (size_t k = 0; k < count_; ++k) {
        ctxs_[k] = k < list.size() ? MqSlot(list[k].state, list[k].mps) : MqSlot(0, 0);
    }
}

// An empty segment starts on the first closing 0xFF, which reads as the standard's decoder
// reads data that is not there: 0xFF bytes.
void mqdec_t::init() {
    regs_.bp = bytes_.data();
    regs_.c = uint32_t{regs_.bp[0]} << 16;
    MqByteIn(regs_);
    regs_.c <<= 7;
    regs_.ct -= 7;
    regs_.a = 0x8000u << 16;
}

bool mqdec_t::eof() const {
    const uint8_t* bp = regs_.bp;
    return bp >= bytes_.data() + size_ || (bp[0] == 0xFF && bp[1] > 0x8F);
}

}  // namespace j2000
