#include "Components/ImgPanel/BmpRle.h"

#include <algorithm>
#include <utility>

#include "Components/ImgPanel/DecoderFile.h"
#include "Components/ImgPanel/ImgErrors.h"

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

// The second byte after a zero count.
enum Escape : uint8_t { escEndOfLine = 0, escEndOfBitmap = 1, escDelta = 2 };

}  // namespace

BmpRleReader::BmpRleReader(DecoderFile& file, uint64_t dataBytes, int width, bool fourBit)
    : file_(file), unread_(dataBytes), width_(width), fourBit_(fourBit) {}

uint64_t BmpRleReader::MemoryBytes(int width) {
    // Growing, the list of runs may take twice what it holds.
    return kChunkBytes + 2 * uint64_t{static_cast<uint32_t>(width)} * sizeof(FilterRun);
}

uint8_t BmpRleReader::Byte() {
    if (position_ == filled_) {
        if (unread_ == 0) {
            throw TImgDecodeError{ImgError::ReadFault};
        }
        filled_ = static_cast<std::size_t>(std::min<uint64_t>(unread_, kChunkBytes));
        buffer_.resize(filled_);
        file_.ReadExact(buffer_.data(), filled_);
        unread_ -= filled_;
        position_ = 0;
    }
    return buffer_[position_++];
}

void BmpRleReader::Advance(int& x, int dx) const {
    x = dx >= width_ - x ? width_ : x + dx;
}

void BmpRleReader::Put(int& x, int count, uint8_t value) {
    count = std::min(count, width_ - x);
    if (count <= 0) {
        return;
    }
    if (!runs_.empty() && runs_.back().index == value && runs_.back().x + runs_.back().count == x) {
        runs_.back().count += count;  // literal pixels of one index, or a run continued
    } else {
        runs_.push_back(FilterRun{x, count, value});
    }
    x += count;
}

// A run repeats one byte: 8-bit pixels take it whole, 4-bit ones its two halves in turn.
void BmpRleReader::PutRun(int& x, int count, uint8_t value) {
    const auto high = static_cast<uint8_t>(value >> 4);
    const auto low = static_cast<uint8_t>(value & 0x0F);
    if (!fourBit_ || high == low) {
        Put(x, count, fourBit_ ? high : value);
        return;
    }
    for (int i = 0; i < count && x < width_; ++i) {
        Put(x, 1, (i & 1) ? low : high);
    }
}

// Literal pixels follow, padded to an even number of bytes.
void BmpRleReader::PutAbsolute(int& x, int count) {
    const int bytes = fourBit_ ? (count + 1) / 2 : count;
    int pixel = 0;
    for (int i = 0; i < bytes; ++i) {
        const uint8_t value = Byte();
        if (!fourBit_) {
            Put(x, 1, value);
            continue;
        }
        for (const uint8_t half :
             {static_cast<uint8_t>(value >> 4), static_cast<uint8_t>(value & 0x0F)}) {
            if (pixel++ < count) {
                Put(x, 1, half);
            }
        }
    }
    if (bytes & 1) {
        Byte();
    }
}

const std::vector<FilterRun>& BmpRleReader::NextRow() {
    runs_.clear();
    if (ended_) {
        return runs_;
    }
    if (emptyRows_ > 0) {
        --emptyRows_;
        return runs_;
    }
    int x = std::exchange(resumeX_, 0);
    for (;;) {
        const uint8_t count = Byte();
        const uint8_t value = Byte();
        if (count > 0) {
            PutRun(x, count, value);
            continue;
        }
        switch (value) {
            case escEndOfLine:
                return runs_;
            case escEndOfBitmap:
                ended_ = true;
                return runs_;
            case escDelta: {
                const uint8_t dx = Byte();
                const uint8_t dy = Byte();
                Advance(x, dx);
                if (dy == 0) {
                    continue;
                }
                emptyRows_ = dy - 1;
                resumeX_ = x;
                return runs_;
            }
            default:
                PutAbsolute(x, value);
                break;
        }
    }
}
