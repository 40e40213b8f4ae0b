#include "Components/ImgPanel/BlockReducer.h"

#include <algorithm>
#include <bit>

#include "Components/ImgPanel/FilterPixels.h"
#include "Components/ImgPanel/Filters.h"

using filterpixels::Bgr;

namespace {

// Eight bytes of a row from byte i on (bytes past the row read 0), the first pixel in the
// top bit.
uint64_t BitWord(const uint8_t* row, int i, int bytes) {
    uint64_t word = 0;
    for (int k = 0; k < 8; ++k) {
        word = (word << 8) | (i + k < bytes ? row[i + k] : 0);
    }
    return word;
}

// Calls span(from, to) for each run of pixels whose bit differs from `fill`, left to right:
// the cost is a word compare per 64 pixels and a few steps per run.
template <class Span>
void ForEachRunOfOther(const uint8_t* row, int width, int fill, const Span& span) {
    const int bytes = (width + 7) / 8;
    const uint64_t flip = fill != 0 ? ~uint64_t{0} : 0;
    int start = -1;  // where the open run began
    for (int i = 0; i < bytes; i += 8) {
        const uint64_t word = BitWord(row, i, bytes) ^ flip;
        const int base = i * 8;
        int bit = 0;
        while (bit < 64) {
            const uint64_t rest = word << bit;
            if (start < 0) {
                if (rest == 0) {
                    break;
                }
                bit += std::countl_zero(rest);
                start = base + bit;
            } else {
                bit += std::countl_one(rest);
                if (bit < 64) {
                    span(start, std::min(base + bit, width));
                    start = -1;
                }
            }
        }
    }
    if (start >= 0) {
        span(start, width);
    }
}

}  // namespace

BlockReducer::BlockReducer(int srcWidth, int srcHeight, int side, uint8_t srcBpp)
    : width_(srcWidth),
      height_(srcHeight),
      side_(side),
      reducedWidth_(ReducedSide(srcWidth, side)),
      bpp_(srcBpp),
      sums_(static_cast<size_t>(reducedWidth_) * 3, 0),
      steps_(sums_.size() + 3, 0) {}

uint64_t BlockReducer::MemoryBytes(int srcWidth, int side) {
    return (uint64_t{static_cast<uint32_t>(ReducedSide(srcWidth, side))} * 2 + 1) * 3 *
           sizeof(int64_t);
}

bool BlockReducer::CountRow() {
    if (rowsDone_ >= height_) {
        return false;  // a row past the picture changes nothing
    }
    ++rowsDone_;
    ++rowsIn_;
    return true;
}

void BlockReducer::AddFill(const filterpixels::Bgr& colour) {
    fill_[0] += colour.b;
    fill_[1] += colour.g;
    fill_[2] += colour.r;
}

template <class Reader>
void BlockReducer::AddPixels(const uint8_t* row, const Reader& read) {
    for (int block = 0, x = 0; block < reducedWidth_; ++block) {
        const int end = std::min(x + side_, width_);
        uint32_t b = 0, g = 0, r = 0;  // at most 65535 pixels of 255
        for (; x < end; ++x) {
            const Bgr p = read(row, x);
            b += p.b;
            g += p.g;
            r += p.r;
        }
        AddToBlock(block, b, g, r);
    }
}

// Two colours: the row is its first pixel's colour with runs of the other, which costs
// little for the long runs of a scanned page (and nothing for its blank lines).
void BlockReducer::AddBits(const uint8_t* row, const RgbQuad* palette, int paletteSize) {
    const int fill = row[0] >> 7;
    const Bgr base = filterpixels::PaletteColour(palette, paletteSize, static_cast<unsigned>(fill));
    const Bgr other =
        filterpixels::PaletteColour(palette, paletteSize, static_cast<unsigned>(1 - fill));
    AddFill(base);
    ForEachRunOfOther(row, width_, fill, [&](int from, int to) {
        AddSpan(from, to, other.b - base.b, other.g - base.g, other.r - base.r);
    });
}

// What a span of pixels differs by from the row's fill: the blocks at its ends by the part
// they cover, the whole blocks between them by one step up and one down (summed up when
// the row of blocks is taken), so a span costs the same however long it is.
void BlockReducer::AddSpan(int from, int to, int db, int dg, int dr) {
    if (from >= to || (db == 0 && dg == 0 && dr == 0)) {
        return;
    }
    const int first = from / side_;
    const int last = (to - 1) / side_;
    if (first == last) {
        const int64_t covered = to - from;
        AddToBlock(first, db * covered, dg * covered, dr * covered);
        return;
    }
    const int64_t head = (first + 1) * int64_t{side_} - from;
    const int64_t tail = to - last * int64_t{side_};
    AddToBlock(first, db * head, dg * head, dr * head);
    AddToBlock(last, db * tail, dg * tail, dr * tail);
    const int64_t whole[3] = {int64_t{db} * side_, int64_t{dg} * side_, int64_t{dr} * side_};
    for (int channel = 0; channel < 3; ++channel) {
        steps_[static_cast<size_t>(first + 1) * 3 + channel] += whole[channel];
        steps_[static_cast<size_t>(last) * 3 + channel] -= whole[channel];
    }
}

void BlockReducer::AddRow(const uint8_t* row, const RgbQuad* palette, int paletteSize) {
    if (!CountRow()) {
        return;
    }
    switch (bpp_) {
        case 32:
            AddPixels(row, filterpixels::Read32{});
            break;
        case 24:
            AddPixels(row, filterpixels::Read24{});
            break;
        case 16:
            AddPixels(row, filterpixels::Read16{});
            break;
        case 1:
            AddBits(row, palette, paletteSize);
            break;
        default:
            AddPixels(row, filterpixels::ReadIndexed{palette, paletteSize, bpp_});
            break;
    }
}

// The fill counts once for the whole row; each run adds what its colour differs by.
void BlockReducer::AddRuns(uint8_t fill, const FilterRun* runs, size_t count,
                           const RgbQuad* palette, int paletteSize) {
    if (!CountRow()) {
        return;
    }
    const Bgr base = filterpixels::PaletteColour(palette, paletteSize, fill);
    AddFill(base);
    for (size_t i = 0; i < count; ++i) {
        const int from = std::max(runs[i].x, 0);
        const int to = static_cast<int>(
            std::min<int64_t>(int64_t{runs[i].x} + std::max(runs[i].count, 0), width_));
        const Bgr c = filterpixels::PaletteColour(palette, paletteSize, runs[i].index);
        AddSpan(from, to, c.b - base.b, c.g - base.g, c.r - base.r);
    }
}

bool BlockReducer::RowComplete() const {
    return rowsIn_ == side_ || (rowsIn_ > 0 && rowsDone_ == height_);
}

void BlockReducer::TakeRow(uint8_t* out) {
    int64_t step[3] = {0, 0, 0};
    for (size_t i = 0; i < sums_.size(); ++i) {
        step[i % 3] += steps_[i];
        sums_[i] += step[i % 3];
    }
    std::fill(steps_.begin(), steps_.end(), 0);
    for (int block = 0; block < reducedWidth_; ++block) {
        const int64_t width = std::min(side_, width_ - block * side_);
        const int64_t pixels = width * std::max(rowsIn_, 1);
        const int64_t* sum = sums_.data() + static_cast<size_t>(block) * 3;
        for (int channel = 0; channel < 3; ++channel) {
            const int64_t total = sum[channel] + fill_[channel] * width;
            out[3 * block + channel] =
                static_cast<uint8_t>(std::clamp<int64_t>((total + pixels / 2) / pixels, 0, 255));
        }
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    fill_[0] = fill_[1] = fill_[2] = 0;
    rowsIn_ = 0;
}
