#pragma once
// A picture held as one block: the 40-byte bitmap information header, the palette
// (2^bitCount entries up to 8 bits per pixel), then the pixel rows bottom row first,
// each padded to a multiple of 4 bytes. Every decoder, the preview loader and the
// slideshow produce pictures in this form; only the functions below make and free them.

#include <cstddef>
#include <cstdint>
#include <memory>

#pragma pack(push, 1)
struct DibInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;  // size of the whole block, header and palette included
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

struct RgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
#pragma pack(pop)
static_assert(sizeof(DibInfoHeader) == 40);
static_assert(sizeof(RgbQuad) == 4);

using PackedDib = DibInfoHeader*;

// Pictures larger than this many pixels are refused, whatever the memory, so that a
// forged header can never ask for an absurd block.
inline constexpr uint64_t kDibMaxPixels = uint64_t{1} << 30;

// Small or large pages for a block (see DibAlloc below).
enum class DibPages { Small, Large };

// A new zero-filled picture (black, all-zero palette), rows bottom-up. Null when the
// allocation fails, when width or height is below 1, for bit counts other than
// 1, 4, 8, 16, 24 and 32, and when the block would pass 4 GiB - 1 bytes or the picture
// kDibMaxPixels pixels. pages as for DibAlloc.
PackedDib DibCreate(int width, int height, int bitCount, DibPages pages = DibPages::Small);
// The bit counts a picture may have: 1, 4, 8, 16, 24 and 32.
bool DibIsPictureBitCount(int bitCount);
// Bytes DibCreate would take for such a picture; 0 when it would refuse it.
uint64_t DibCreateSize(int width, int height, int bitCount);

// Raw zero-filled blocks from the page allocator (anonymous mappings). Null for size 0 or
// when the mapping fails. The block's real size is kept beside it, so releasing and copying
// never trust what is written inside.
//
// Large pages are asked for only where a block is reused or short-lived (a panel's frames)
// or is the one large picture a panel shows (a decoder that writes it row by row at full
// size): a series keeps hundreds of megabytes of pictures, and finding that many fresh
// large pages costs the system more than the small-page faults they would save.
void* DibAlloc(size_t size, DibPages pages = DibPages::Small);  // zero-filled; DibRelease
void DibRelease(void* block);
size_t DibBlockSize(const void* block);  // the size asked of DibAlloc; 0 for null
void DibFree(PackedDib dib);             // the same as DibRelease; null ignored

// Size by the header: header + full palette + rows (0 for null or when it passes 32 bits).
uint32_t DibSize(const DibInfoHeader* dib);
// biClrUsed when set, else 2^bitCount up to 8 bits, else 0.
uint32_t DibNumColors(const DibInfoHeader* dib);
// First stored (bottom) row: block + biSize + 4 x DibNumColors.
uint8_t* DibBits(PackedDib dib);
const uint8_t* DibBits(const DibInfoHeader* dib);
int DibWidth(const DibInfoHeader* dib);
int DibHeight(const DibInfoHeader* dib);
// The palette after the header; null when the picture has none.
RgbQuad* DibPalette(PackedDib dib);
const RgbQuad* DibPalette(const DibInfoHeader* dib);
uint32_t DibRowBytes(const DibInfoHeader* dib);    // 0 for null
uint32_t DibRowBytesFor(int width, int bitCount);  // 0 for sizes below 1 or past 32 bits
// True when the header describes rows (width >= 1, height != 0, a bit count) that lie wholly
// inside the block; anything that reads every row checks this first.
bool DibRowsInBlock(const DibInfoHeader* dib);
// A byte-for-byte copy of the whole block; *out is null when src is null or allocation fails.
void DibCopy(const DibInfoHeader* src, PackedDib* out);
// Turns red-green-blue triples into blue-green-red in place; a trailing partial triple stays.
void DibSwapRGB(uint8_t* pixels, unsigned byteCount);
// A new picture holding src turned: dir -1 a quarter turn counterclockwise, +1 clockwise,
// 2 or -2 a half turn, 0 a copy; any other dir gives a black picture of the same size.
// Every bit count DibCreate makes is turned; a palette is copied. Null for a null or
// top-down (negative height) source, rows outside the block, or a failed allocation.
PackedDib DibRotate(const DibInfoHeader* src, int dir);

// Owns a PackedDib for the scope that holds it.
struct DibDeleter {
    void operator()(PackedDib dib) const { DibFree(dib); }
};
using UniqueDib = std::unique_ptr<DibInfoHeader, DibDeleter>;
