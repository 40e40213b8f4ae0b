#pragma once
// Reading and validating the headers of a Windows or OS/2 bitmap file, apart from the
// pixels: what the BMP decoder needs to know before it sizes anything.
//
// Every value that later sizes memory or positions a read is checked here, in 64-bit
// arithmetic, against the file's real size; a header that passes describes rows that lie
// wholly inside the file.

#include <cstdint>

namespace bmp {

inline constexpr uint32_t kFileHeaderBytes = 14;
inline constexpr uint32_t kCoreHeaderBytes = 12;
inline constexpr uint32_t kInfoHeaderBytes = 40;
inline constexpr uint32_t kLargestHeaderBytes = 124;
inline constexpr uint32_t kMaxPaletteEntries = 256;
inline constexpr int kMaxRunLengthSide = 65535;  // width and height of run-length files

enum Compression : uint32_t {
    biRgb = 0,
    biRle8 = 1,
    biRle4 = 2,
    biBitfields = 3,
    biAlphaBitfields = 6,
};

// Where a red, green or blue value sits inside a 16- or 32-bit pixel.
struct ChannelMask {
    uint32_t mask = 0;
    int shift = 0;  // of the mask's lowest bit
    int bits = 0;   // from the lowest to the highest bit of the mask

    static ChannelMask Of(uint32_t mask);
    // The channel of pixel scaled to 0..255 (0 for an empty mask).
    uint8_t Extract(uint32_t pixel) const;
};

struct Layout {
    uint32_t headerSize = 0;
    int width = 0;
    int height = 0;        // rows, always positive
    bool topDown = false;  // the header's height was negative: the first row is the top one
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = biRgb;
    uint32_t paletteEntries = 0;        // entries to read: min(colours used, 2^bitCount, 256)
    uint32_t paletteEntryBytes = 4;     // 3 in files with a core header
    uint32_t maskBytesAfterHeader = 0;  // masks stored after a 40-byte header
    ChannelMask red, green, blue;       // 16- and 32-bit pixels only
    uint32_t pixelOffsetField = 0;      // where the file header says the rows start
    uint64_t paletteOffset = 0;
    uint64_t pixelOffset = 0;
    uint64_t rowBytes = 0;  // bytes of one stored row, padded to 4

    bool IsRunLength() const { return compression == biRle8 || compression == biRle4; }
    // True when 16- or 32-bit pixels are turned into 24-bit ones before filtering.
    bool NeedsExpansion() const {
        return bitCount == 16 || (bitCount == 32 && compression != biRgb);
    }
};

// True for the header sizes a file may have: 12 (core), 16 to 64 (OS/2 and Windows
// information headers), 108 and 124.
bool IsKnownHeaderSize(uint32_t size);

// Fills layout from the 14-byte file header and the information header (headerBytes
// bytes, starting with its size field). Returns 0, 11 for a header the decoder cannot
// read (size, width, height, bit count, compression, masks, a run-length picture larger
// than kMaxRunLengthSide) or 3002 for a plane count other than 1.
unsigned long ParseHeaders(const uint8_t* fileHeader, const uint8_t* header, uint32_t headerBytes,
                           Layout& layout);

// Takes the masks stored after a 40-byte header (12 or 16 bytes); 0 or 11 as above.
unsigned long TakeTrailingMasks(const uint8_t* masks, Layout& layout);

// Places the palette and the pixel rows in a file of fileSize bytes. The rows start at the
// file header's pixel offset when it lies past the palette inside the file, else right
// after the palette. Returns 0, or 30 when the palette or the rows would run past the end
// (run-length data is only known to be short when it is read).
unsigned long PlaceData(uint64_t fileSize, Layout& layout);

}  // namespace bmp
