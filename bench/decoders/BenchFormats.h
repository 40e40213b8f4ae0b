#pragma once
// The benchmark picture of the PNG, TIFF, GIF and BMP decoders, written by each library's own
// writer, and the reference side: each library's plain decode, its rows streamed into the
// same scaling as ours, the way a program that wants such a picture would write it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/PackedDib.h"

namespace benchformats {

inline constexpr int kWidth = 4000;  // 12 megapixels
inline constexpr int kHeight = 3000;

bool WritePng(const std::string& path);   // 8-bit RGB, not interlaced
bool WriteTiff(const std::string& path);  // 8-bit RGB, LZW, libtiff's default strips
bool WriteGif(const std::string& path);   // 256 colours
bool WriteBmp(const std::string& path);   // 24 bits, uncompressed, rows bottom first

// The references: each library's plain row-by-row decode (for BMP, fread of each stored
// row) streamed into the scaling our decoder of the format uses, into a picture of the same
// format. BMP and TIFF: our area filter (filter_open, the given kind, the panel's
// coefficient); PNG: the line resampler (the panel's scaler mode), rows read straight into
// the picture at full size; GIF: none, its lines read straight into an 8-bit picture with
// the file's palette. Null when the library fails.
UniqueDib ReferenceBmp(const std::string& path, double coefficient, uint8_t kind);
UniqueDib ReferenceTiff(const std::string& path, double coefficient, uint8_t kind);
UniqueDib ReferencePng(const std::string& path, double coefficient);
UniqueDib ReferenceGif(const std::string& path);

}  // namespace benchformats
