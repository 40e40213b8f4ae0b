#pragma once
// How much decoding a JPEG stream may ask for, whether it is a file of its own or the
// strips of a TIFF file.
//
// Every 8 x 8 block of every component goes through the entropy decoder, however small the
// picture is shown. Huffman coding spends at least two bits on a block, but arithmetic
// coding next to nothing on a flat one: a valid file of a hundred bytes can declare
// 65500 x 65500 pixels, seconds of decoding. A stream may declare kJpegFreeBlocks blocks
// (a 180-megapixel colour picture), and kJpegBlocksPerByte more for each of its bytes:
// four times what Huffman coding can reach, far more than a photograph coded either way
// needs.

#include <cstdint>

inline constexpr uint64_t kJpegFreeBlocks = uint64_t{1} << 22;
inline constexpr uint64_t kJpegBlocksPerByte = 16;

// True when a stream of `bytes` bytes may ask for `blocks` blocks.
constexpr bool JpegBlocksBacked(uint64_t blocks, uint64_t bytes) {
    return bytes > (UINT64_MAX - kJpegFreeBlocks) / kJpegBlocksPerByte ||
           blocks <= kJpegFreeBlocks + kJpegBlocksPerByte * bytes;
}
