#pragma once
// How the area filter reads one source pixel of each bit count, shared by the filter and
// its block reducer (internal to the filter module).

#include <cstdint>

#include "imaging/PackedDib.h"

namespace filterpixels {

struct Bgr {
    uint8_t b;
    uint8_t g;
    uint8_t r;
};

inline uint8_t Expand5(unsigned v) {
    return static_cast<uint8_t>((v << 3) | (v >> 2));
}

struct Read32 {
    Bgr operator()(const uint8_t* row, int c) const {
        const uint8_t* px = row + 4 * c;
        return {px[0], px[1], px[2]};
    }
};
struct Read24 {
    Bgr operator()(const uint8_t* row, int c) const {
        const uint8_t* px = row + 3 * c;
        return {px[0], px[1], px[2]};
    }
};
struct Read16 {  // 5-5-5: blue in the low bits, one unused top bit
    Bgr operator()(const uint8_t* row, int c) const {
        const unsigned v = row[2 * c] | (row[2 * c + 1] << 8);
        return {Expand5(v & 31), Expand5((v >> 5) & 31), Expand5((v >> 10) & 31)};
    }
};

// A palette entry; an index past the palette (or without one) reads black.
inline Bgr PaletteColour(const RgbQuad* palette, int paletteSize, unsigned index) {
    if (palette == nullptr || index >= static_cast<unsigned>(paletteSize)) {
        return {0, 0, 0};
    }
    const RgbQuad& q = palette[index];
    return {q.rgbBlue, q.rgbGreen, q.rgbRed};
}

// The palette is read when rows are processed: a decoder may attach it after
// filter_create.
struct ReadIndexed {
    const RgbQuad* palette;
    int paletteSize;
    int bpp;
    Bgr operator()(const uint8_t* row, int c) const {
        unsigned index = 0;
        if (bpp == 8) {
            index = row[c];
        } else if (bpp == 4) {
            index = (c & 1) ? (row[c >> 1] & 0x0F) : (row[c >> 1] >> 4);
        } else {
            index = (row[c >> 3] >> (7 - (c & 7))) & 1;
        }
        return PaletteColour(palette, paletteSize, index);
    }
};

}  // namespace filterpixels
