#pragma once
// How much decoding a JPEG stream may ask for, whether it is a file of its own (the preview
// loader's, the image panel's) or the strips of a TIFF file.
//
// Every 8 x 8 block of every component goes through the entropy decoder, however small the
// picture is shown. Huffman coding spends at least two bits on a block, but arithmetic
// coding next to nothing on a flat one: a valid file of a hundred bytes can declare
// 65500 x 65500 pixels, seconds of decoding. A stream may declare kJpegFreeBlocks blocks
// (a 180-megapixel colour picture), and kJpegBlocksPerByte more for each of its bytes:
// four times what Huffman coding can reach, far more than a photograph coded either way
// needs.

#include <cstdint>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

inline constexpr uint64_t kJpegFreeBlocks = uint64_t{1} << 22;
inline constexpr uint64_t kJpegBlocksPerByte = 16;

// True when a stream of `bytes` bytes may ask for `blocks` blocks.
constexpr bool JpegBlocksBacked(uint64_t blocks, uint64_t bytes) {
    return bytes > (UINT64_MAX - kJpegFreeBlocks) / kJpegBlocksPerByte ||
           blocks <= kJpegFreeBlocks + kJpegBlocksPerByte * bytes;
}

// The 8 x 8 blocks of every component of the picture a header describes (after
// jpeg_read_header), each component's rows and columns of blocks rounded up to whole units
// of its sampling factors, as the library lays them out.
uint64_t JpegBlockCount(const jpeg_decompress_struct& info);

// The size of an open file; 0 when it cannot be told.
uint64_t JpegFileBytes(std::FILE* file);
