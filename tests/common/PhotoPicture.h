#pragma once
// The photo-like picture the image tests and benchmarks are made from: smooth shading, two
// hard-edged shapes (they show how faithfully a reduction keeps edges) and an optional fine
// grain that makes the entropy data about as dense as a camera's. Header-only, so that the
// tests and the benchmarks share it without either depending on the other's build.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace testpicture {

// The grain's seed for a picture's first row.
inline constexpr uint32_t kPhotoSeed = 2463534242u;

// Row y of a width x height picture, red-green-blue into rgb (width * 3 bytes). The grain is
// a value in [-grain / 2, grain / 2) per pixel (grain a power of two, 0 for none); seed
// carries it from row to row and advances with or without grain.
inline void PhotoRow(int y, int width, int height, int grain, uint8_t* rgb, uint32_t& seed) {
    const double fy = static_cast<double>(y) / height;
    for (int x = 0; x < width; ++x) {
        const double fx = static_cast<double>(x) / width;
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const int noise = grain > 0 ? static_cast<int>(seed & uint32_t(grain - 1)) - grain / 2 : 0;
        const double shape =
            std::sin(fx * 9.0 + std::cos(fy * 7.0) * 2.0) * std::cos(fy * 5.0 - fx * 3.0);
        int r = static_cast<int>(128 + 90 * shape + 30 * fx);
        int g = static_cast<int>(110 + 70 * std::sin(fx * 23.0 + fy * 17.0));
        int b = static_cast<int>(100 + 80 * fy - 40 * shape);
        const double dx = fx - 0.3, dy = fy - 0.6;
        if (dx * dx + dy * dy < 0.02) {
            r = 210, g = 150, b = 90;
        } else if (fx > 0.6 && fx < 0.85 && fy > 0.2 && fy < 0.5) {
            r = 30, g = 80, b = 140;
        }
        uint8_t* px = rgb + static_cast<size_t>(x) * 3;
        px[0] = static_cast<uint8_t>(std::clamp(r + noise, 0, 255));
        px[1] = static_cast<uint8_t>(std::clamp(g + noise, 0, 255));
        px[2] = static_cast<uint8_t>(std::clamp(b + noise, 0, 255));
    }
}

}  // namespace testpicture
