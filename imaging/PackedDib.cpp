#include "imaging/PackedDib.h"

#include <sanitizer/asan_interface.h>  // no-op macros outside AddressSanitizer builds
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Every block starts with this record, hidden in front of the address handed out. It keeps
// the mapping's real size, so that freeing and copying never depend on header fields that a
// decoder may have rewritten (or a file may have forged).
struct BlockPrefix {
    uint64_t magic;
    uint64_t mappedBytes;  // length passed to mmap, prefix included
    uint64_t usableBytes;  // what the caller asked for
    uint64_t reserved;
};
static_assert(sizeof(BlockPrefix) == 32);

constexpr uint64_t kBlockMagic = 0x4f72766e44696221ULL;
constexpr uint64_t kMaxBlockBytes = 0xFFFFFFFFULL;  // biSizeImage is 32 bits wide
constexpr uint32_t kHeaderBytes = sizeof(DibInfoHeader);
constexpr size_t kHugePageWorthy = size_t{4} << 20;
constexpr size_t kLargePage = size_t{2} << 20;

size_t PageSize() {
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

// A block asking for large pages starts on a large-page boundary, since only whole aligned
// large pages can be used (the slack mapped for that is given back at once).
void* MapBlock(size_t mapped, DibPages pages) {
    const int protection = PROT_READ | PROT_WRITE;
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS;
    if (pages != DibPages::Large || mapped < kHugePageWorthy || mapped > SIZE_MAX - kLargePage) {
        void* base = mmap(nullptr, mapped, protection, flags, -1, 0);
        return base == MAP_FAILED ? nullptr : base;
    }
    void* wide = mmap(nullptr, mapped + kLargePage, protection, flags, -1, 0);
    if (wide == MAP_FAILED) {
        return nullptr;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(wide);
    const uintptr_t aligned = (start + kLargePage - 1) & ~uintptr_t{kLargePage - 1};
    if (aligned > start) {
        munmap(wide, aligned - start);
    }
    const size_t tail = kLargePage - (aligned - start);
    if (tail > 0) {
        munmap(reinterpret_cast<void*>(aligned + mapped), tail);
    }
    void* base = reinterpret_cast<void*>(aligned);
    madvise(base, mapped, MADV_HUGEPAGE);
    return base;
}

BlockPrefix* PrefixOf(const void* block) {
    auto* prefix = reinterpret_cast<BlockPrefix*>(
        const_cast<uint8_t*>(static_cast<const uint8_t*>(block)) - sizeof(BlockPrefix));
    assert(prefix->magic == kBlockMagic && "not a block from DibAlloc or DibCreate");
    return prefix;
}

// Entries that DibCreate and DibSize reserve for a bit count.
uint32_t FullPaletteEntries(int bitCount) {
    return (bitCount >= 1 && bitCount <= 8) ? (1u << bitCount) : 0u;
}

uint64_t RowBytes64(int64_t width, int64_t bitCount) {
    return static_cast<uint64_t>((width * bitCount + 31) & ~int64_t{31}) / 8;
}

// Offset of the pixel rows from the block start, as DibBits finds them.
uint64_t BitsOffset(const DibInfoHeader* dib) {
    return uint64_t{dib->biSize} + uint64_t{4} * DibNumColors(dib);
}

uint32_t AbsHeight(const DibInfoHeader* dib) {
    const int64_t h = dib->biHeight;
    return static_cast<uint32_t>(h < 0 ? -h : h);
}

// --- Rotation -----------------------------------------------------------------------------

struct PixelGrid {
    const uint8_t* bits;
    uint32_t rowBytes;
    int bitCount;
};

struct MutablePixelGrid {
    uint8_t* bits;
    uint32_t rowBytes;
    int bitCount;
};

// Index of a sub-byte pixel (1 or 4 bits): leftmost pixel in the most significant bits.
uint8_t ReadPackedIndex(const PixelGrid& g, uint32_t row, uint32_t col) {
    const uint8_t byte = g.bits[size_t{row} * g.rowBytes + (size_t{col} * g.bitCount) / 8];
    const unsigned perByte = 8u / g.bitCount;
    const unsigned shift = (perByte - 1 - col % perByte) * g.bitCount;
    return static_cast<uint8_t>((byte >> shift) & ((1u << g.bitCount) - 1));
}

void WritePackedIndex(const MutablePixelGrid& g, uint32_t row, uint32_t col, uint8_t value) {
    uint8_t& byte = g.bits[size_t{row} * g.rowBytes + (size_t{col} * g.bitCount) / 8];
    const unsigned perByte = 8u / g.bitCount;
    const unsigned shift = (perByte - 1 - col % perByte) * g.bitCount;
    const unsigned mask = ((1u << g.bitCount) - 1) << shift;
    byte = static_cast<uint8_t>((byte & ~mask) | ((unsigned{value} << shift) & mask));
}

struct Position {
    uint32_t row;
    uint32_t col;
};

// Where source pixel (row y, column x) lands, rows and columns in storage order.
Position Turned(int dir, uint32_t w, uint32_t h, uint32_t y, uint32_t x) {
    switch (dir) {
        case -1:
            return {x, h - 1 - y};
        case 1:
            return {w - 1 - x, y};
        default:  // half turn
            return {h - 1 - y, w - 1 - x};
    }
}

void MovePixels(const PixelGrid& src, const MutablePixelGrid& dst, int dir, uint32_t w,
                uint32_t h) {
    const size_t pixelBytes = static_cast<size_t>(src.bitCount / 8);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* srcRow = src.bits + size_t{y} * src.rowBytes;
        for (uint32_t x = 0; x < w; ++x) {
            const Position p = Turned(dir, w, h, y, x);
            if (pixelBytes == 0) {
                WritePackedIndex(dst, p.row, p.col, ReadPackedIndex(src, y, x));
            } else {
                std::memcpy(dst.bits + size_t{p.row} * dst.rowBytes + p.col * pixelBytes,
                            srcRow + x * pixelBytes, pixelBytes);
            }
        }
    }
}

void CopyPalette(const DibInfoHeader* src, PackedDib dst) {
    const uint32_t entries = std::min(DibNumColors(src), FullPaletteEntries(dst->biBitCount));
    if (entries == 0) {
        return;
    }
    std::memcpy(DibPalette(dst), DibPalette(src), size_t{entries} * sizeof(RgbQuad));
}

}  // namespace

bool DibIsPictureBitCount(int bitCount) {
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return true;
        default:
            return false;
    }
}

// --- Blocks -------------------------------------------------------------------------------

void* DibAlloc(size_t size, DibPages pages) {
    if (size == 0 || size > std::numeric_limits<size_t>::max() - sizeof(BlockPrefix) - PageSize()) {
        return nullptr;
    }
    const size_t page = PageSize();
    const size_t mapped = (size + sizeof(BlockPrefix) + page - 1) / page * page;
    void* base = MapBlock(mapped, pages);
    if (base == nullptr) {
        return nullptr;
    }
    auto* prefix = static_cast<BlockPrefix*>(base);
    *prefix = BlockPrefix{kBlockMagic, mapped, size, 0};
    // The rest of the last page is ours but not the caller's: let the sanitizer say so.
    uint8_t* block = reinterpret_cast<uint8_t*>(prefix + 1);
    ASAN_POISON_MEMORY_REGION(block + size, mapped - sizeof(BlockPrefix) - size);
    return block;
}

void DibRelease(void* block) {
    if (block == nullptr) {
        return;
    }
    BlockPrefix* prefix = PrefixOf(block);
    const size_t mapped = static_cast<size_t>(prefix->mappedBytes);
    prefix->magic = 0;
    ASAN_UNPOISON_MEMORY_REGION(prefix, mapped);
    munmap(prefix, mapped);
}

size_t DibBlockSize(const void* block) {
    return block == nullptr ? 0 : static_cast<size_t>(PrefixOf(block)->usableBytes);
}

void DibFree(PackedDib dib) {
    DibRelease(dib);
}

// --- Pictures -----------------------------------------------------------------------------

uint32_t DibRowBytesFor(int width, int bitCount) {
    if (width < 1 || bitCount < 1) {
        return 0;
    }
    const uint64_t bytes = RowBytes64(width, bitCount);
    return bytes > kMaxBlockBytes ? 0 : static_cast<uint32_t>(bytes);
}

uint32_t DibRowBytes(const DibInfoHeader* dib) {
    return dib == nullptr ? 0 : DibRowBytesFor(dib->biWidth, dib->biBitCount);
}

uint64_t DibCreateSize(int width, int height, int bitCount) {
    if (width < 1 || height < 1 || !DibIsPictureBitCount(bitCount)) {
        return 0;
    }
    if (uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) > kDibMaxPixels) {
        return 0;
    }
    const uint64_t total = kHeaderBytes + uint64_t{4} * FullPaletteEntries(bitCount) +
                           RowBytes64(width, bitCount) * static_cast<uint64_t>(height);
    return total > kMaxBlockBytes ? 0 : total;
}

PackedDib DibCreate(int width, int height, int bitCount, DibPages pages) {
    const uint64_t total = DibCreateSize(width, height, bitCount);
    if (total == 0) {
        return nullptr;
    }
    auto* dib = static_cast<PackedDib>(DibAlloc(static_cast<size_t>(total), pages));
    if (dib == nullptr) {
        return nullptr;
    }
    // Fresh pages are zero, so only the non-zero fields need writing.
    dib->biSize = kHeaderBytes;
    dib->biWidth = width;
    dib->biHeight = height;
    dib->biPlanes = 1;
    dib->biBitCount = static_cast<uint16_t>(bitCount);
    dib->biSizeImage = static_cast<uint32_t>(total);
    dib->biClrUsed = (bitCount == 4 || bitCount == 8) ? FullPaletteEntries(bitCount) : 0;
    return dib;
}

uint32_t DibSize(const DibInfoHeader* dib) {
    if (dib == nullptr) {
        return 0;
    }
    const uint64_t rowBytes = DibRowBytes(dib);
    const uint64_t total = kHeaderBytes + uint64_t{4} * FullPaletteEntries(dib->biBitCount) +
                           rowBytes * AbsHeight(dib);
    return total > kMaxBlockBytes ? 0 : static_cast<uint32_t>(total);
}

uint32_t DibNumColors(const DibInfoHeader* dib) {
    if (dib == nullptr) {
        return 0;
    }
    if (dib->biClrUsed != 0) {
        return dib->biClrUsed;
    }
    return FullPaletteEntries(dib->biBitCount);
}

uint8_t* DibBits(PackedDib dib) {
    return dib == nullptr ? nullptr : reinterpret_cast<uint8_t*>(dib) + BitsOffset(dib);
}

const uint8_t* DibBits(const DibInfoHeader* dib) {
    return dib == nullptr ? nullptr : reinterpret_cast<const uint8_t*>(dib) + BitsOffset(dib);
}

int DibWidth(const DibInfoHeader* dib) {
    return dib == nullptr ? 0 : dib->biWidth;
}

int DibHeight(const DibInfoHeader* dib) {
    return dib == nullptr ? 0 : dib->biHeight;
}

RgbQuad* DibPalette(PackedDib dib) {
    if (dib == nullptr || DibNumColors(dib) == 0) {
        return nullptr;
    }
    return reinterpret_cast<RgbQuad*>(reinterpret_cast<uint8_t*>(dib) + dib->biSize);
}

const RgbQuad* DibPalette(const DibInfoHeader* dib) {
    return DibPalette(const_cast<PackedDib>(dib));
}

bool DibRowsInBlock(const DibInfoHeader* dib) {
    if (dib == nullptr || dib->biWidth < 1 || dib->biHeight == 0 || dib->biBitCount == 0) {
        return false;
    }
    const uint64_t rowBytes = RowBytes64(dib->biWidth, dib->biBitCount);
    return BitsOffset(dib) + rowBytes * AbsHeight(dib) <= DibBlockSize(dib);
}

void DibCopy(const DibInfoHeader* src, PackedDib* out) {
    if (out == nullptr) {
        return;
    }
    *out = nullptr;
    if (src == nullptr) {
        return;
    }
    const size_t size = DibBlockSize(src);
    void* copy = DibAlloc(size);
    if (copy != nullptr) {
        std::memcpy(copy, src, size);
    }
    *out = static_cast<PackedDib>(copy);
}

void DibSwapRGB(uint8_t* pixels, unsigned byteCount) {
    if (pixels == nullptr) {
        return;
    }
    // A trailing incomplete group is left as it is.
    for (unsigned i = 0; i + 3 <= byteCount; i += 3) {
        std::swap(pixels[i], pixels[i + 2]);
    }
}

PackedDib DibRotate(const DibInfoHeader* src, int dir) {
    if (src == nullptr || !DibRowsInBlock(src) || src->biHeight < 0) {
        return nullptr;
    }
    if (dir == 0) {
        PackedDib copy = nullptr;
        DibCopy(src, &copy);
        return copy;
    }
    const uint32_t w = static_cast<uint32_t>(src->biWidth);
    const uint32_t h = static_cast<uint32_t>(src->biHeight);
    const bool quarter = dir == 1 || dir == -1;
    PackedDib dst = quarter ? DibCreate(static_cast<int>(h), static_cast<int>(w), src->biBitCount)
                            : DibCreate(static_cast<int>(w), static_cast<int>(h), src->biBitCount);
    if (dst == nullptr) {
        return nullptr;
    }
    CopyPalette(src, dst);
    // Any other turn leaves the new picture black, as the slideshow never asks for one.
    if (quarter || dir == 2 || dir == -2) {
        const PixelGrid from{DibBits(src), DibRowBytes(src), src->biBitCount};
        const MutablePixelGrid to{DibBits(dst), DibRowBytes(dst), dst->biBitCount};
        MovePixels(from, to, dir, w, h);
    }
    return dst;
}
