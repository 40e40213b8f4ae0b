#include "Components/ImgPanel/BmpRle.h"

#include <algorithm>
#include <cstring>
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

void BmpRleReader::Put(uint8_t* indices, int& x, uint8_t value) const {
    if (x < width_) {
        indices[x++] = value;
    }
}

// A run repeats one byte: 8-bit pixels take it whole, 4-bit ones its two halves in turn.
void BmpRleReader::PutRun(uint8_t* indices, int& x, int count, uint8_t value) const {
    for (int i = 0; i < count; ++i) {
        Put(indices, x, fourBit_ ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
    }
}

// Literal pixels follow, padded to an even number of bytes.
void BmpRleReader::PutAbsolute(uint8_t* indices, int& x, int count) {
    const int bytes = fourBit_ ? (count + 1) / 2 : count;
    int pixel = 0;
    for (int i = 0; i < bytes; ++i) {
        const uint8_t value = Byte();
        if (!fourBit_) {
            Put(indices, x, value);
            continue;
        }
        for (const uint8_t half :
             {static_cast<uint8_t>(value >> 4), static_cast<uint8_t>(value & 0x0F)}) {
            if (pixel++ < count) {
                Put(indices, x, half);
            }
        }
    }
    if (bytes & 1) {
        Byte();
    }
}

void BmpRleReader::NextRow(uint8_t* indices) {
    std::memset(indices, 0, static_cast<std::size_t>(width_));
    if (ended_) {
        return;
    }
    if (emptyRows_ > 0) {
        --emptyRows_;
        return;
    }
    int x = std::exchange(resumeX_, 0);
    for (;;) {
        const uint8_t count = Byte();
        const uint8_t value = Byte();
        if (count > 0) {
            PutRun(indices, x, count, value);
            continue;
        }
        switch (value) {
            case escEndOfLine:
                return;
            case escEndOfBitmap:
                ended_ = true;
                return;
            case escDelta: {
                const uint8_t dx = Byte();
                const uint8_t dy = Byte();
                Advance(x, dx);
                if (dy == 0) {
                    continue;
                }
                emptyRows_ = dy - 1;
                resumeX_ = x;
                return;
            }
            default:
                PutAbsolute(indices, x, value);
                break;
        }
    }
}
