#include "imaging/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t kMaxRowBytes = 0xFFFFFFFFULL;

// --- Weights ------------------------------------------------------------------------------

// Shifts of 32 or more would be undefined on a 32-bit value; the weight has long been 0
// by then (every shift from 16 on clears 0xFFFF).
int ShiftedWeight(uint64_t shift) {
    return shift >= 16 ? 0 : static_cast<int>(0xFFFFu >> shift);
}

int WindowWeight(uint8_t mode, uint32_t n, uint32_t r, uint32_t c) {
    const uint64_t centre = n / 2;
    const uint64_t dr = r > centre ? r - centre : centre - r;
    const uint64_t dc = c > centre ? c - centre : centre - c;
    switch (mode) {
        case kResampleHalvingWithProduct:
            return ShiftedWeight(dr * dc + 1);
        case kResampleHalvingWithSquare:
            return ShiftedWeight(dr * dc * dr * dc + 1);
        default:
            return 1;
    }
}

void BuildWeights(ResampleState* st) {
    const uint32_t n = st->window;
    st->weights.assign(n, std::vector<int>(n, 0));
    st->weightTotal = 0;
    for (uint32_t r = 0; r < n; ++r) {
        for (uint32_t c = 0; c < n; ++c) {
            st->weights[r][c] = WindowWeight(st->mode, n, r, c);
            st->weightTotal += st->weights[r][c];
        }
    }
}

uint64_t RowBytes(uint64_t bitCount, uint64_t width) {
    return ((bitCount * width + 31) & ~31ULL) / 8;
}

void ReleaseBuffers(ResampleState* st) {
    ResampleFree(st->blockBuffer);
    ResampleFree(st->outRow);
    st->blockBuffer = nullptr;
    st->outRow = nullptr;
    st->writePos = nullptr;
}

// --- One output row -----------------------------------------------------------------------

// The source rows of one pass, the first at `first`, each `rowBytes` long.
struct PassRows {
    const uint8_t* first;
    uint32_t count;
    uint32_t rowBytes;
};

struct Channels {
    uint64_t sum[4] = {0, 0, 0, 0};
    uint64_t weight = 0;
};

uint8_t IndexAt(const uint8_t* row, uint32_t px, uint8_t bitCount) {
    switch (bitCount) {
        case 8:
            return row[px];
        case 4:
            return (px % 2 == 0) ? (row[px / 2] >> 4) : (row[px / 2] & 0x0F);
        default:  // 1 bit
            return (row[px / 8] >> (7 - px % 8)) & 1;
    }
}

// Adds up the weighted window whose left column is sx. Columns past the row's end repeat
// the last pixel, so nothing beyond the row is ever read. `fetch(row, px, values)` stores the
// pixel's channel values.
template <typename Fetch>
Channels WeighWindow(const ResampleState& st, const PassRows& rows, uint32_t sx, int channels,
                     Fetch fetch) {
    Channels acc;
    const uint32_t last = st.srcWidth - 1;
    for (uint32_t r = 0; r < rows.count; ++r) {
        const uint8_t* row = rows.first + size_t{r} * rows.rowBytes;
        const std::vector<int>& weightRow = st.weights[r];
        for (uint32_t c = 0; c < st.window; ++c) {
            const uint64_t w = static_cast<uint64_t>(weightRow[c]);
            if (w == 0) {
                continue;
            }
            uint32_t values[4];
            fetch(row, std::min(sx + c, last), values);
            for (int k = 0; k < channels; ++k) {
                acc.sum[k] += values[k] * w;
            }
            acc.weight += w;
        }
    }
    return acc;
}

// When no weight applies, the pixel nearest the window's centre stands for the window.
template <typename Fetch>
Channels WeighOrNearest(const ResampleState& st, const PassRows& rows, uint32_t sx, int channels,
                        Fetch fetch) {
    Channels acc = WeighWindow(st, rows, sx, channels, fetch);
    if (acc.weight != 0) {
        return acc;
    }
    const uint32_t r = std::min(st.window / 2, rows.count - 1);
    const uint32_t px = std::min(sx + st.window / 2, st.srcWidth - 1);
    uint32_t values[4];
    fetch(rows.first + size_t{r} * rows.rowBytes, px, values);
    for (int k = 0; k < channels; ++k) {
        acc.sum[k] = values[k];
    }
    acc.weight = 1;
    return acc;
}

uint32_t WindowStart(const ResampleState& st, uint32_t x) {
    const double start = std::floor(static_cast<double>(x) * st.factor);
    return static_cast<uint32_t>(std::min(start, static_cast<double>(st.srcWidth - 1)));
}

void AverageDirect(const ResampleState& st, const PassRows& rows) {
    const int bpp = st.bytesPerPixel;
    auto fetch = [bpp](const uint8_t* row, uint32_t px, uint32_t* values) {
        for (int k = 0; k < bpp; ++k) {
            values[k] = row[size_t{px} * bpp + k];
        }
    };
    for (uint32_t x = 0; x < st.outWidth; ++x) {
        const Channels acc = WeighOrNearest(st, rows, WindowStart(st, x), bpp, fetch);
        for (int k = 0; k < bpp; ++k) {
            st.outRow[size_t{x} * bpp + k] = static_cast<uint8_t>(acc.sum[k] / acc.weight);
        }
    }
}

void WriteIndex(const ResampleState& st, uint32_t x, uint8_t index) {
    if (st.bitCount == 8) {
        st.outRow[x] = index;
    } else if (x % 2 == 0) {
        st.outRow[x / 2] = static_cast<uint8_t>(index << 4);
    } else {
        st.outRow[x / 2] = static_cast<uint8_t>((st.outRow[x / 2] & 0xF0) | (index & 0x0F));
    }
}

void AverageIndexed(const ResampleState& st, const PassRows& rows) {
    ResamplePalette* lookup = st.paletteLookup.get();
    const uint8_t bitCount = st.bitCount;
    for (uint32_t x = 0; x < st.outWidth; ++x) {
        const uint32_t sx = WindowStart(st, x);
        uint8_t index = 0;
        if (lookup == nullptr) {
            // Without colours there is nothing to average: keep the nearest pixel's index.
            const uint32_t r = std::min(st.window / 2, rows.count - 1);
            const uint32_t px = std::min(sx + st.window / 2, st.srcWidth - 1);
            index = IndexAt(rows.first + size_t{r} * rows.rowBytes, px, bitCount);
        } else {
            auto fetch = [lookup, bitCount](const uint8_t* row, uint32_t px, uint32_t* values) {
                const uint8_t i = IndexAt(row, px, bitCount);
                const RgbQuad q = i < lookup->Count() ? lookup->Entry(i) : RgbQuad{0, 0, 0, 0};
                values[0] = q.rgbBlue;
                values[1] = q.rgbGreen;
                values[2] = q.rgbRed;
            };
            const Channels acc = WeighOrNearest(st, rows, sx, 3, fetch);
            index = lookup->NearestIndex(static_cast<uint8_t>(acc.sum[0] / acc.weight),
                                         static_cast<uint8_t>(acc.sum[1] / acc.weight),
                                         static_cast<uint8_t>(acc.sum[2] / acc.weight));
        }
        WriteIndex(st, x, index);
    }
}

void AverageBits(const ResampleState& st, const PassRows& rows) {
    auto fetch = [](const uint8_t* row, uint32_t px, uint32_t* values) {
        values[0] = IndexAt(row, px, 1) ? 255 : 0;
    };
    for (uint32_t x = 0; x < st.outWidth; ++x) {
        const Channels acc = WeighOrNearest(st, rows, WindowStart(st, x), 1, fetch);
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        if (acc.sum[0] / acc.weight >= 170) {
            st.outRow[x / 8] |= bit;
        } else {
            st.outRow[x / 8] &= static_cast<uint8_t>(~bit);
        }
    }
}

void MakeOutputRow(const ResampleState& st, const PassRows& rows) {
    if (st.factor == 1.0) {
        std::memcpy(st.outRow, rows.first, st.outRowBytes);
        return;
    }
    switch (st.bitCount) {
        case 32:
        case 24:
            AverageDirect(st, rows);
            break;
        case 8:
        case 4:
            AverageIndexed(st, rows);
            break;
        case 1:
            AverageBits(st, rows);
            break;
        default:  // 16 bits and anything else: the output row is left as it is
            break;
    }
}

// Decides what the caller reads before the next pass. When the source has run ahead of the
// output, the next pass reads one row fewer, keeping the source at `factor` rows per output
// row on average. The row kept at the block's start then is not averaged (the pass begins
// after it); it only keeps the block holding the N latest source rows.
void PrepareNextPass(ResampleState* st) {
    const uint32_t readNow = st->rowsToRead;
    st->srcRowsDone += readNow;
    st->outRowsDone += 1;
    const uint32_t remaining = st->srcHeight - st->srcRowsDone;
    if (static_cast<double>(remaining) < st->factor) {
        st->rowsToRead = remaining;
        st->writePos = st->blockBuffer;
    } else if (static_cast<double>(st->srcRowsDone) >
               static_cast<double>(st->outRowsDone) * st->factor) {
        const uint8_t* lastRow = st->writePos + size_t{readNow - 1} * st->srcRowBytes;
        std::memmove(st->blockBuffer, lastRow, st->srcRowBytes);
        st->rowsToRead = st->window - 1;
        st->writePos = st->blockBuffer + st->srcRowBytes;
    } else {
        st->rowsToRead = st->window;
        st->writePos = st->blockBuffer;
    }
}

}  // namespace

// --- Palette lookup -----------------------------------------------------------------------

ResamplePalette::ResamplePalette(const RgbQuad* entries, uint32_t count)
    : entries_{}, count_(std::min<uint32_t>(count, 256)), cache_(kCacheSlots) {
    std::copy(entries, entries + count_, entries_);
}

uint8_t ResamplePalette::NearestIndex(uint8_t blue, uint8_t green, uint8_t red) {
    const uint32_t colour = blue | (uint32_t{green} << 8) | (uint32_t{red} << 16);
    const uint32_t key = colour | (1u << 24);
    CacheSlot& slot = cache_[(colour * 2654435761u >> 20) % kCacheSlots];
    if (slot.key == key) {
        return slot.index;
    }
    uint32_t best = 0;
    uint32_t bestDistance = UINT32_MAX;
    for (uint32_t i = 0; i < count_; ++i) {
        const int db = int{entries_[i].rgbBlue} - blue;
        const int dg = int{entries_[i].rgbGreen} - green;
        const int dr = int{entries_[i].rgbRed} - red;
        const uint32_t distance = static_cast<uint32_t>(db * db + dg * dg + dr * dr);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    slot = CacheSlot{key, static_cast<uint8_t>(best)};
    return static_cast<uint8_t>(best);
}

// --- State --------------------------------------------------------------------------------

ResampleState::~ResampleState() {
    ResampleDestroy(this);
}

void* ResampleAlloc(size_t size) {
    return DibAlloc(size);
}

void ResampleFree(void* block) {
    DibRelease(block);
}

bool ResampleCreateWeights(ResampleState* st) {
    if (st == nullptr) {
        return false;
    }
    ReleaseBuffers(st);
    if (!(st->factor >= 1.0) || !std::isfinite(st->factor) ||
        std::ceil(st->factor) > kResampleMaxWindow || st->srcWidth == 0 || st->srcHeight == 0) {
        return false;
    }
    st->window = static_cast<uint32_t>(std::ceil(st->factor));
    st->outWidth = static_cast<uint32_t>(std::ceil(st->srcWidth / st->factor));
    st->outHeight = static_cast<uint32_t>(std::ceil(st->srcHeight / st->factor));
    st->bytesPerPixel = st->bitCount / 8;
    if (st->bitCount == 0) {
        st->bitCount = 1;
    }
    const uint64_t srcRowBytes = RowBytes(st->bitCount, st->srcWidth);
    const uint64_t outRowBytes = RowBytes(st->bitCount, st->outWidth);
    if (srcRowBytes > kMaxRowBytes) {
        return false;
    }
    st->srcRowBytes = static_cast<uint32_t>(srcRowBytes);
    st->outRowBytes = static_cast<uint32_t>(outRowBytes);
    BuildWeights(st);
    st->blockBuffer = static_cast<uint8_t*>(ResampleAlloc(srcRowBytes * st->window));
    st->outRow = static_cast<uint8_t*>(ResampleAlloc(outRowBytes));
    if (st->blockBuffer == nullptr || st->outRow == nullptr) {
        ReleaseBuffers(st);
        return false;
    }
    // The first pass never asks for more rows than the picture has.
    st->rowsToRead = std::min(st->window, st->srcHeight);
    st->writePos = st->blockBuffer;
    return true;
}

uint64_t ResampleMemoryBytes(double factor, uint32_t srcWidth, uint8_t bitCount) {
    if (!(factor >= 1.0) || !std::isfinite(factor) || std::ceil(factor) > kResampleMaxWindow ||
        srcWidth == 0) {
        return 0;
    }
    const auto window = static_cast<uint64_t>(std::ceil(factor));
    const uint64_t bits = bitCount == 0 ? 1 : bitCount;
    const uint64_t weights = window * (window * sizeof(int) + sizeof(std::vector<int>));
    return RowBytes(bits, srcWidth) * (window + 1) + weights;
}

void ResampleCreatePalette(ResampleState* st) {
    if (st == nullptr || st->bitCount > 8 || st->palette == nullptr) {
        return;
    }
    const uint32_t bits = st->bitCount == 0 ? 1 : st->bitCount;
    st->paletteLookup = std::make_unique<ResamplePalette>(st->palette, 1u << bits);
}

bool ResampleRows(ResampleState* st) {
    if (st == nullptr || st->blockBuffer == nullptr || st->outRow == nullptr ||
        st->srcRowsDone >= st->srcHeight || st->rowsToRead == 0) {
        return false;
    }
    const uint32_t remaining = st->srcHeight - st->srcRowsDone;
    const uint32_t used = static_cast<double>(remaining) >= st->factor ? st->rowsToRead : 1;
    MakeOutputRow(*st, PassRows{st->writePos, used, st->srcRowBytes});
    PrepareNextPass(st);
    return true;
}

uint32_t ResampleRowsLeft(const ResampleState* st) {
    if (st == nullptr || st->srcRowsDone < st->srcHeight || st->outRowsDone == 0 ||
        st->outRowsDone >= st->outHeight) {
        return 0;
    }
    return st->outHeight - st->outRowsDone;
}

void ResampleStoreRow(const ResampleState* st, PackedDib dst, uint32_t index) {
    if (st == nullptr || st->outRow == nullptr || !DibRowsInBlock(dst) || dst->biHeight < 0 ||
        index >= static_cast<uint32_t>(dst->biHeight)) {
        return;
    }
    const uint32_t rowBytes = DibRowBytes(dst);
    uint8_t* row = DibBits(dst) + size_t{dst->biHeight - 1 - index} * rowBytes;
    std::memcpy(row, st->outRow, std::min(rowBytes, st->outRowBytes));
}

void ResampleFinishRows(const ResampleState* st, PackedDib dst) {
    const uint32_t left = ResampleRowsLeft(st);
    for (uint32_t i = 0; i < left; ++i) {
        ResampleStoreRow(st, dst, st->outRowsDone + i);
    }
}

void ResampleDestroy(ResampleState* st) {
    if (st == nullptr) {
        return;
    }
    ReleaseBuffers(st);
    st->paletteLookup.reset();
    st->weights.clear();
    st->weights.shrink_to_fit();
    st->weightTotal = 0;
}
