#pragma once
// Turns rows of TIFF samples into the blue, green, red rows the line filter reads.
//
// A picture with alpha is composited over white as the PNG decoder composites a file that
// names no background or gamma: in linear light for a display gamma of 2.2, so the same
// picture shows alike whichever of the two formats holds it. Associated alpha (colours
// stored multiplied by their alpha) is divided out first.

#include <cstdint>

namespace tiffrows {

// What the first extra sample of a pixel means.
enum class Alpha : uint8_t {
    None,           // no extra sample, or one of no stated meaning: ignored
    Straight,       // unassociated alpha
    Premultiplied,  // associated alpha
};

// One 8-bit colour sample with its alpha over white.
uint8_t OverWhite(uint8_t sample, uint8_t alpha, Alpha kind);

// Red, green, blue (then any extra samples, the first read as alpha) per pixel.
void RgbToBgr(const uint8_t* source, uint8_t* bgr, uint32_t width, unsigned samples, Alpha alpha);

// Cyan, magenta, yellow, black inks of 8 or 16 bits (16-bit samples in the machine's byte
// order, as libtiff hands them), then any extra samples. Each channel is what its ink and
// the black ink let through.
void CmykToBgr(const uint8_t* source, uint8_t* bgr, uint32_t width, unsigned samples, unsigned bits,
               Alpha alpha);

// libtiff's packed RGBA pixels (red in the lowest byte).
void PackedRgbaToBgr(const uint32_t* source, uint8_t* bgr, uint32_t width, Alpha alpha);

}  // namespace tiffrows
