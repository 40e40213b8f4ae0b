#pragma once
// The benchmark picture of the PNG, TIFF, GIF and BMP decoders, written by each library's own
// writer, and the reference side: each library's plain decode of the whole file into
// memory, the way a program that simply wants the pixels would write it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/PackedDib.h"

namespace benchformats {

inline constexpr int kWidth = 4000;  // 12 megapixels
inline constexpr int kHeight = 3000;

// A whole decoded picture, as the library left it: rows top first, red-green-blue or
// blue-green-red (24 bits) or palette indices (8 bits, with the palette).
struct FullPicture {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    bool redFirst = false;
    const uint8_t* pixels = nullptr;
    size_t rowBytes = 0;
    std::vector<RgbQuad> palette;
};
using UsePicture = std::function<void(const FullPicture&)>;

bool WritePng(const std::string& path);   // 8-bit RGB, not interlaced
bool WriteTiff(const std::string& path);  // 8-bit RGB, LZW, libtiff's default strips
bool WriteGif(const std::string& path);   // 256 colours
bool WriteBmp(const std::string& path);   // 24 bits, uncompressed, rows bottom first

// png_read_image; a TIFFReadScanline loop; DGifSlurp; the BMP rows read with fread. Each hands the
// whole picture to use while the library's memory still holds it; false when the library fails.
bool DecodePngWhole(const std::string& path, const UsePicture& use);
bool DecodeTiffWhole(const std::string& path, const UsePicture& use);
bool DecodeGifWhole(const std::string& path, const UsePicture& use);
bool DecodeBmpWhole(const std::string& path, const UsePicture& use);

}  // namespace benchformats
