#include "Components/ImgPanel/BmpHeader.h"

#include <algorithm>
#include <bit>
#include <climits>

#include "Components/ImgPanel/ImgErrors.h"

namespace bmp {

namespace {

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The sizes Windows writes; the others between 16 and 64 are OS/2 headers, whose
// compression numbers above 2 mean something else (Huffman, 24-bit run lengths).
bool IsWindowsHeaderSize(uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool IsValidBitCount(uint16_t bitCount, bool core) {
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 24:
            return true;
        case 16:
        case 32:
            return !core;
        default:
            return false;
    }
}

// Run-length data is read bottom row first only, 8 bits with RLE8 and 4 with RLE4. Its
// size says nothing of the picture's (a few bytes may end every row at once), so each side
// is capped as JPEG caps its own; uncompressed rows are bounded by the file instead.
unsigned long CheckCompression(const Layout& l) {
    if (l.compression == biRgb) {
        return 0;
    }
    if (l.compression == biRle8 || l.compression == biRle4) {
        const uint16_t bits = l.compression == biRle8 ? 8 : 4;
        const bool fits = l.width <= kMaxRunLengthSide && l.height <= kMaxRunLengthSide;
        return l.bitCount == bits && !l.topDown && fits ? 0 : ImgError::BadFormat;
    }
    const bool masked = l.compression == biBitfields || l.compression == biAlphaBitfields;
    if (masked && IsWindowsHeaderSize(l.headerSize) && (l.bitCount == 16 || l.bitCount == 32)) {
        return 0;
    }
    return ImgError::BadFormat;
}

void SetMasks(Layout& l, uint32_t red, uint32_t green, uint32_t blue) {
    l.red = ChannelMask::Of(red);
    l.green = ChannelMask::Of(green);
    l.blue = ChannelMask::Of(blue);
}

void SetDefaultMasks(Layout& l) {
    if (l.bitCount == 16) {
        SetMasks(l, 0x7C00, 0x03E0, 0x001F);  // 5-5-5
    } else if (l.bitCount == 32) {
        SetMasks(l, 0x00FF0000, 0x0000FF00, 0x000000FF);
    }
}

bool HasAnyMask(const Layout& l) {
    return (l.red.mask | l.green.mask | l.blue.mask) != 0;
}

// Masks of 16- and 32-bit pixels: implied without compression, inside headers of 52 bytes
// or more, else stored right after the header (read later).
void TakeMasks(const uint8_t* header, Layout& l) {
    const bool masked = l.compression == biBitfields || l.compression == biAlphaBitfields;
    if (l.compression == biRgb) {
        SetDefaultMasks(l);
    } else if (masked && l.headerSize >= 52) {
        SetMasks(l, U32(header + 40), U32(header + 44), U32(header + 48));
    } else if (masked) {
        l.maskBytesAfterHeader = l.compression == biAlphaBitfields ? 16 : 12;
    }
}

void ReadCoreFields(const uint8_t* h, Layout& l) {
    l.width = U16(h + 4);
    l.height = U16(h + 6);
    l.planes = U16(h + 8);
    l.bitCount = U16(h + 10);
    l.paletteEntryBytes = 3;
}

// Fields past a short OS/2 header's end count as 0.
unsigned long ReadInfoFields(const uint8_t* h, uint32_t size, Layout& l) {
    const int32_t height = static_cast<int32_t>(U32(h + 8));
    if (height == INT32_MIN) {
        return ImgError::BadFormat;
    }
    l.width = static_cast<int32_t>(U32(h + 4));
    l.topDown = height < 0;
    l.height = height < 0 ? -height : height;
    l.planes = U16(h + 12);
    l.bitCount = U16(h + 14);
    l.compression = size >= 20 ? U32(h + 16) : biRgb;
    return 0;
}

uint32_t ColoursUsed(const uint8_t* h, uint32_t size) {
    return size >= 36 ? U32(h + 32) : 0;
}

uint32_t PaletteEntries(uint16_t bitCount, uint32_t coloursUsed) {
    if (bitCount <= 8) {
        const uint32_t full = 1u << bitCount;
        return coloursUsed == 0 ? full : std::min(coloursUsed, full);
    }
    return std::min(coloursUsed, kMaxPaletteEntries);  // stored, never used
}

}  // namespace

ChannelMask ChannelMask::Of(uint32_t mask) {
    ChannelMask channel;
    channel.mask = mask;
    if (mask != 0) {
        channel.shift = std::countr_zero(mask);
        channel.bits = 32 - std::countl_zero(mask >> channel.shift);
    }
    return channel;
}

uint8_t ChannelMask::Extract(uint32_t pixel) const {
    if (bits == 0) {
        return 0;
    }
    const uint64_t value = (pixel & mask) >> shift;
    if (bits >= 8) {
        return static_cast<uint8_t>(value >> (bits - 8));
    }
    // Fewer than 8 bits: the full value is white, not 255 minus the missing bits.
    const uint64_t top = (uint64_t{1} << bits) - 1;
    return static_cast<uint8_t>((value * 255 + top / 2) / top);
}

bool IsKnownHeaderSize(uint32_t size) {
    return size == kCoreHeaderBytes || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

unsigned long ParseHeaders(const uint8_t* fileHeader, const uint8_t* header, uint32_t headerBytes,
                           Layout& layout) {
    Layout l;
    l.headerSize = headerBytes;
    l.pixelOffsetField = U32(fileHeader + 10);
    if (!IsKnownHeaderSize(headerBytes)) {
        return ImgError::BadFormat;
    }
    const bool core = headerBytes == kCoreHeaderBytes;
    if (core) {
        ReadCoreFields(header, l);
    } else if (const unsigned long code = ReadInfoFields(header, headerBytes, l); code != 0) {
        return code;
    }
    if (l.planes != 1) {
        return ImgError::InvalidBitmap;
    }
    if (l.width <= 0 || l.height <= 0 || !IsValidBitCount(l.bitCount, core)) {
        return ImgError::BadFormat;
    }
    if (const unsigned long code = CheckCompression(l); code != 0) {
        return code;
    }
    TakeMasks(header, l);
    if (l.NeedsExpansion() && l.maskBytesAfterHeader == 0 && !HasAnyMask(l)) {
        return ImgError::BadFormat;
    }
    l.paletteEntries = PaletteEntries(l.bitCount, core ? 0 : ColoursUsed(header, headerBytes));
    l.rowBytes = ((uint64_t{l.bitCount} * static_cast<uint64_t>(l.width) + 31) / 32) * 4;
    layout = l;
    return 0;
}

unsigned long TakeTrailingMasks(const uint8_t* masks, Layout& layout) {
    SetMasks(layout, U32(masks), U32(masks + 4), U32(masks + 8));
    return HasAnyMask(layout) ? 0 : ImgError::BadFormat;
}

unsigned long PlaceData(uint64_t fileSize, Layout& layout) {
    layout.paletteOffset =
        uint64_t{kFileHeaderBytes} + layout.headerSize + layout.maskBytesAfterHeader;
    const uint64_t paletteEnd =
        layout.paletteOffset + uint64_t{layout.paletteEntries} * layout.paletteEntryBytes;
    if (paletteEnd > fileSize) {
        return ImgError::ReadFault;
    }
    const uint64_t field = layout.pixelOffsetField;
    layout.pixelOffset = field >= paletteEnd && field < fileSize ? field : paletteEnd;
    if (layout.IsRunLength()) {
        return 0;
    }
    // Divided rather than multiplied: rows x row bytes may pass 64 bits.
    const uint64_t available = fileSize - layout.pixelOffset;
    if (layout.rowBytes > available / static_cast<uint64_t>(layout.height)) {
        return ImgError::ReadFault;
    }
    return 0;
}

}  // namespace bmp
