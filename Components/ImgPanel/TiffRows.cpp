#include "Components/ImgPanel/TiffRows.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include <tiffio.h>

namespace tiffrows {

namespace {

constexpr double kDisplayGamma = 2.2;
constexpr uint32_t kLinearOne = 65535;

// Light of each 8-bit sample, and the sample of each 16-bit light; built once, read-only.
struct LinearTables {
    std::array<uint32_t, 256> toLinear{};
    std::vector<uint8_t> fromLinear = std::vector<uint8_t>(kLinearOne + 1);
    LinearTables() {
        for (unsigned v = 0; v < 256; ++v) {
            toLinear[v] =
                static_cast<uint32_t>(std::lround(kLinearOne * std::pow(v / 255.0, kDisplayGamma)));
        }
        for (uint32_t l = 0; l <= kLinearOne; ++l) {
            fromLinear[l] = static_cast<uint8_t>(
                std::lround(255.0 * std::pow(double(l) / kLinearOne, 1.0 / kDisplayGamma)));
        }
    }
};

const LinearTables& Tables() {
    static const LinearTables tables;
    return tables;
}

uint8_t Unpremultiply(uint8_t sample, uint8_t alpha) {
    const unsigned straight = (sample * 255u + alpha / 2u) / alpha;
    return static_cast<uint8_t>(straight > 255 ? 255 : straight);
}

uint8_t InkToLight(unsigned ink, unsigned black) {
    return static_cast<uint8_t>(((255 - ink) * (255 - black) + 127) / 255);
}

uint8_t Sample8(const uint8_t* samples, unsigned index, unsigned bits) {
    if (bits == 8) {
        return samples[index];
    }
    uint16_t wide = 0;
    std::memcpy(&wide, samples + 2 * index, sizeof wide);
    return static_cast<uint8_t>((wide * 255u + 32767u) / 65535u);
}

void PutOverWhite(uint8_t* bgr, uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha,
                  Alpha kind) {
    bgr[0] = OverWhite(blue, alpha, kind);
    bgr[1] = OverWhite(green, alpha, kind);
    bgr[2] = OverWhite(red, alpha, kind);
}

}  // namespace

uint8_t OverWhite(uint8_t sample, uint8_t alpha, Alpha kind) {
    if (kind == Alpha::None || alpha == 255) {
        return sample;
    }
    if (alpha == 0) {
        return 255;
    }
    const uint8_t straight = kind == Alpha::Premultiplied ? Unpremultiply(sample, alpha) : sample;
    const LinearTables& t = Tables();
    const uint32_t light = (t.toLinear[straight] * alpha + kLinearOne * (255u - alpha) + 127) / 255;
    return t.fromLinear[light];
}

void RgbToBgr(const uint8_t* source, uint8_t* bgr, uint32_t width, unsigned samples, Alpha alpha) {
    const Alpha kind = samples > 3 ? alpha : Alpha::None;
    if (kind == Alpha::None) {  // the common case, a plain swap: no compositing per sample
        for (uint32_t x = 0; x < width; ++x, source += samples, bgr += 3) {
            bgr[0] = source[2];
            bgr[1] = source[1];
            bgr[2] = source[0];
        }
        return;
    }
    for (uint32_t x = 0; x < width; ++x, source += samples, bgr += 3) {
        PutOverWhite(bgr, source[2], source[1], source[0], kind != Alpha::None ? source[3] : 255,
                     kind);
    }
}

void CmykToBgr(const uint8_t* source, uint8_t* bgr, uint32_t width, unsigned samples, unsigned bits,
               Alpha alpha) {
    const Alpha kind = samples > 4 ? alpha : Alpha::None;
    const size_t pixelBytes = size_t{samples} * bits / 8;
    for (uint32_t x = 0; x < width; ++x, source += pixelBytes, bgr += 3) {
        const unsigned black = Sample8(source, 3, bits);
        PutOverWhite(bgr, InkToLight(Sample8(source, 2, bits), black),
                     InkToLight(Sample8(source, 1, bits), black),
                     InkToLight(Sample8(source, 0, bits), black),
                     kind != Alpha::None ? Sample8(source, 4, bits) : 255, kind);
    }
}

void PackedRgbaToBgr(const uint32_t* source, uint8_t* bgr, uint32_t width, Alpha alpha) {
    for (uint32_t x = 0; x < width; ++x, bgr += 3) {
        const uint32_t p = source[x];
        PutOverWhite(bgr, static_cast<uint8_t>(TIFFGetB(p)), static_cast<uint8_t>(TIFFGetG(p)),
                     static_cast<uint8_t>(TIFFGetR(p)), static_cast<uint8_t>(TIFFGetA(p)), alpha);
    }
}

}  // namespace tiffrows
