#include "Components/ImgPanel/Filters.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Components/ImgPanel/FilterKernels.h"
#include "Components/ImgPanel/ImgDebug.h"
#include "Components/ImgPanel/ImgErrors.h"

namespace {

struct Bgr {
    uint8_t b;
    uint8_t g;
    uint8_t r;
};

// The source pixels one output pixel (or row) averages: first..last, both included.
struct Extent {
    int first;
    int last;
    double centre;  // the output position in source pixels
};

Extent ExtentOf(int outputIndex, float scale, double radius, int sourceCount, double shift) {
    const double centre = outputIndex / static_cast<double>(scale) + shift;
    const double top = static_cast<double>(sourceCount - 1);
    const double first = std::clamp(std::trunc(centre - radius), 0.0, top);
    const double last = std::clamp(std::trunc(centre + radius + 0.99999), 0.0, top);
    return Extent{static_cast<int>(std::min(first, last)), static_cast<int>(last), centre};
}

bool IsSupportedBpp(uint8_t bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

}  // namespace

struct PRIVATE_ {
    uint32_t outputRow = 0;
    uint32_t srcRowBytes = 0;
    uint32_t dstRowBytes = 0;
    double sx = 1.0;  // scales used for distances: never above 1
    double sy = 1.0;
    double rx = 1.0;  // support radius in source pixels
    double ry = 1.0;
    const FilterKernel* kernel = nullptr;

    // Source rows of the current window; one more row at the end takes rows that lie
    // in no window and are only read past.
    uint8_t* window = nullptr;
    uint32_t windowRows = 0;
    int bufferTop = 0;      // source row held in slot 0
    uint32_t buffered = 0;  // rows held, from bufferTop on
    int nextRow = 0;        // the source row the next fed slot receives
    bool rowOpen = false;   // the current output row's window has been prepared

    // Per output column: its source extent and the squared horizontal distances.
    std::vector<Extent> columns;
    std::vector<uint32_t> columnOffset;
    std::vector<float> dx2;
    std::vector<float> dy2;  // per window row, refilled for each output row

    // A filter that copies straight (filter_open) holds only the scratch row: the current
    // output row's source is there, or, when directRow is set, already in that row.
    bool straight = false;
    bool straightFed = false;
    uint8_t* directRow = nullptr;

    ~PRIVATE_() { DibRelease(window); }

    uint8_t* Slot(uint32_t index) { return window + static_cast<size_t>(index) * srcRowBytes; }
    uint8_t* Scratch() { return Slot(windowRows); }
};

namespace {

unsigned long BuildColumns(const FilterParams& p, PRIVATE_& s) {
    try {
        s.dy2.resize(s.windowRows);
        s.columns.resize(static_cast<size_t>(p.dstWidth));
        s.columnOffset.resize(static_cast<size_t>(p.dstWidth));
        for (int x = 0; x < p.dstWidth; ++x) {
            const Extent ext = ExtentOf(x, p.scaleX, s.rx, p.srcWidth, p.srcShiftX);
            s.columns[x] = ext;
            s.columnOffset[x] = static_cast<uint32_t>(s.dx2.size());
            const double px = ext.centre * s.sx;
            for (int c = ext.first; c <= ext.last; ++c) {
                const double dx = px - c * s.sx;
                s.dx2.push_back(static_cast<float>(dx * dx));
            }
        }
    } catch (const std::bad_alloc&) {
        return ImgError::NotEnoughMemory;
    } catch (const std::length_error&) {
        return ImgError::NotEnoughMemory;
    }
    return 0;
}

unsigned long AllocateWindow(const FilterParams& p, PRIVATE_& s) {
    // Rows a window can span: 2 x trunc(ry + 2) covers every window, and no window is
    // taller than the picture.
    const double spanned = 2.0 * std::trunc(s.ry + 2.0);
    s.windowRows = static_cast<uint32_t>(std::min(spanned, static_cast<double>(p.srcHeight)));
    const uint64_t bytes = (uint64_t{s.windowRows} + 1) * s.srcRowBytes;
    if (bytes > SIZE_MAX) {
        return ImgError::NotEnoughMemory;
    }
    s.window = static_cast<uint8_t*>(DibAlloc(static_cast<size_t>(bytes)));
    return s.window != nullptr ? 0 : ImgError::NotEnoughMemory;
}

// Drops the held rows above the window that starts at first.
void DropRowsAbove(PRIVATE_& s, int first) {
    if (s.buffered == 0) {
        s.bufferTop = std::max(first, s.nextRow);
        return;
    }
    if (first <= s.bufferTop) {
        return;
    }
    const uint32_t shift = std::min(static_cast<uint32_t>(first - s.bufferTop), s.buffered);
    s.buffered -= shift;
    if (s.buffered > 0) {
        std::memmove(s.Slot(0), s.Slot(shift), static_cast<size_t>(s.buffered) * s.srcRowBytes);
        s.bufferTop += static_cast<int>(shift);
    } else {
        s.bufferTop = std::max(first, s.nextRow);
    }
}

Extent RowExtent(const FilterParams& p, const PRIVATE_& s, uint32_t y) {
    return ExtentOf(static_cast<int>(y), p.scaleY, s.ry, p.srcHeight, p.srcShiftY);
}

void PrepareRow(const FilterParams& p, PRIVATE_& s) {
    if (!s.rowOpen) {
        DropRowsAbove(s, RowExtent(p, s, s.outputRow).first);
        s.rowOpen = true;
    }
}

uint8_t Expand5(unsigned v) {
    return static_cast<uint8_t>((v << 3) | (v >> 2));
}

// Readers of one source pixel by bit count.
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
// The palette is read when rows are processed: a decoder may attach it after
// filter_create. An index past the palette reads black.
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
        if (palette == nullptr || index >= static_cast<unsigned>(paletteSize)) {
            return {0, 0, 0};
        }
        const RgbQuad& q = palette[index];
        return {q.rgbBlue, q.rgbGreen, q.rgbRed};
    }
};

void WritePixel(const FilterParams& p, uint8_t* dst, int x, Bgr v) {
    switch (p.dstBpp) {
        case 32:
            dst[4 * x] = v.b;
            dst[4 * x + 1] = v.g;
            dst[4 * x + 2] = v.r;
            dst[4 * x + 3] = 0;
            return;
        case 24:
            dst[3 * x] = v.b;
            dst[3 * x + 1] = v.g;
            dst[3 * x + 2] = v.r;
            return;
        case 16: {
            const unsigned packed = (v.b >> 3) | ((v.g >> 3) << 5) | ((v.r >> 3) << 10);
            dst[2 * x] = static_cast<uint8_t>(packed);
            dst[2 * x + 1] = static_cast<uint8_t>(packed >> 8);
            return;
        }
        default:
            break;
    }
    const auto index = static_cast<unsigned>(get_nearest_palette_index(&p, v.b, v.g, v.r));
    if (p.dstBpp == 8) {
        dst[x] = static_cast<uint8_t>(index);
    } else if (p.dstBpp == 4) {
        uint8_t& byte = dst[x >> 1];
        byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F))
                       : static_cast<uint8_t>((byte & 0x0F) | ((index & 0x0F) << 4));
    } else {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        dst[x >> 3] = index != 0 ? (dst[x >> 3] | bit) : (dst[x >> 3] & ~bit);
    }
}

uint8_t ToByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

struct RowWindow {
    int top;
    int bottom;
    double centre;
    const float* dy2;
};

template <class Reader>
Bgr AveragePixel(PRIVATE_& s, const RowWindow& rows, int x, const Reader& read) {
    const Extent& col = s.columns[x];
    const float* dx2 = s.dx2.data() + s.columnOffset[x];
    double sumB = 0, sumG = 0, sumR = 0, sumW = 0;
    for (int r = rows.top; r <= rows.bottom; ++r) {
        const uint8_t* row = s.Slot(static_cast<uint32_t>(r - s.bufferTop));
        const float dy2 = rows.dy2[r - rows.top];
        for (int c = col.first; c <= col.last; ++c) {
            const float w = KernelWeight(*s.kernel, dx2[c - col.first] + dy2);
            if (w == 0.0f) {
                continue;
            }
            const Bgr px = read(row, c);
            sumB += w * px.b;
            sumG += w * px.g;
            sumR += w * px.r;
            sumW += w;
        }
    }
    if (sumW > 1e-9) {
        return {ToByte(sumB / sumW), ToByte(sumG / sumW), ToByte(sumR / sumW)};
    }
    // Nothing in the window carries weight: take the source pixel nearest the position.
    const int c = std::clamp(static_cast<int>(std::lround(col.centre)), col.first, col.last);
    const int r = std::clamp(static_cast<int>(std::lround(rows.centre)), rows.top, rows.bottom);
    return read(s.Slot(static_cast<uint32_t>(r - s.bufferTop)), c);
}

template <class Reader>
void ProcessRow(const FilterParams& p, PRIVATE_& s, const RowWindow& rows, uint8_t* dst,
                const Reader& read) {
    for (int x = 0; x < p.dstWidth; ++x) {
        WritePixel(p, dst, x, AveragePixel(s, rows, x, read));
    }
}

void ProcessRowAnyDepth(const FilterParams& p, PRIVATE_& s, const RowWindow& rows, uint8_t* dst) {
    switch (p.srcBpp) {
        case 32:
            ProcessRow(p, s, rows, dst, Read32{});
            break;
        case 24:
            ProcessRow(p, s, rows, dst, Read24{});
            break;
        case 16:
            ProcessRow(p, s, rows, dst, Read16{});
            break;
        default:
            ProcessRow(p, s, rows, dst, ReadIndexed{p.palette, p.paletteSize, p.srcBpp});
            break;
    }
}

template <class Reader>
void ConvertRow(const FilterParams& p, const uint8_t* src, uint8_t* dst, const Reader& read) {
    for (int x = 0; x < p.dstWidth; ++x) {
        WritePixel(p, dst, x, read(src, x));
    }
}

// One source row at 1:1 as the averaging would give it: every pixel read and written by
// the same means the averaging uses, each its own average.
void ConvertRowAnyDepth(const FilterParams& p, const uint8_t* src, uint8_t* dst) {
    switch (p.srcBpp) {
        case 32:
            ConvertRow(p, src, dst, Read32{});
            break;
        case 24:
            if (p.dstBpp == 24) {
                std::memcpy(dst, src, static_cast<size_t>(p.dstWidth) * 3);
            } else {
                ConvertRow(p, src, dst, Read24{});
            }
            break;
        case 16:
            ConvertRow(p, src, dst, Read16{});
            break;
        default:
            ConvertRow(p, src, dst, ReadIndexed{p.palette, p.paletteSize, p.srcBpp});
            break;
    }
}

// The current output row of a filter that copies straight. A row decoded straight into
// the output may have brought the source's padding along (a bitmap row as stored); the
// averaging never writes there, so it is cleared.
void CopyStraightRow(const FilterParams& p, PRIVATE_& s, uint8_t* dstRow) {
    const size_t pixelBytes = static_cast<size_t>(p.dstWidth) * 3;
    if (s.directRow != nullptr) {
        if (s.directRow != dstRow) {
            std::memcpy(dstRow, s.directRow, pixelBytes);
        }
        std::memset(dstRow + pixelBytes, 0, s.dstRowBytes - pixelBytes);
    } else if (s.straightFed) {
        ConvertRowAnyDepth(p, s.window, dstRow);
    } else {
        IMG_ASSERT(s.straightFed);
        std::memset(dstRow, 0, s.dstRowBytes);
    }
    s.directRow = nullptr;
    s.straightFed = false;
}

}  // namespace

int FilterOutputSize(int source, float scale) {
    if (!(scale > 0.0f) || !std::isfinite(scale) || source < 1) {
        return -1;
    }
    const double size = std::trunc(static_cast<double>(source) * scale + 0.99999);
    if (size > INT_MAX) {
        return -1;
    }
    // A scale so small that nothing is left still gives one pixel.
    return std::max(1, static_cast<int>(size));
}

namespace {

// The checks and the output size both ways of opening a filter share; 0 or the failure code.
unsigned long CheckAndSize(FilterParams* p) {
    if (p == nullptr) {
        return ImgError::Unknown;
    }
    filter_destroy(p);
    if (!IsSupportedBpp(p->srcBpp) || !IsSupportedBpp(p->dstBpp) || p->srcWidth < 1 ||
        p->srcHeight < 1 || !(p->scaleX > 0.0f) || !(p->scaleY > 0.0f) ||
        !std::isfinite(p->scaleX) || !std::isfinite(p->scaleY)) {
        return ImgError::Unknown;
    }
    const int dstWidth =
        p->presetDstWidth > 0 ? p->presetDstWidth : FilterOutputSize(p->srcWidth, p->scaleX);
    const int dstHeight =
        p->presetDstHeight > 0 ? p->presetDstHeight : FilterOutputSize(p->srcHeight, p->scaleY);
    if (dstWidth < 1 || dstHeight < 1 ||
        static_cast<uint64_t>(dstWidth) * static_cast<uint64_t>(dstHeight) > kDibMaxPixels) {
        return ImgError::NotEnoughMemory;
    }
    p->dstWidth = dstWidth;
    p->dstHeight = dstHeight;
    return 0;
}

// A new state with the row sizes of p, or null.
std::unique_ptr<PRIVATE_> NewState(const FilterParams& p) {
    std::unique_ptr<PRIVATE_> s(new (std::nothrow) PRIVATE_);
    if (s) {
        s->srcRowBytes = DibRowBytesFor(p.srcWidth, p.srcBpp);
        s->dstRowBytes = DibRowBytesFor(p.dstWidth, p.dstBpp);
        if (s->srcRowBytes == 0 || s->dstRowBytes == 0) {
            s.reset();
        }
    }
    return s;
}

}  // namespace

unsigned long filter_create(FilterParams* p) {
    if (const unsigned long code = CheckAndSize(p); code != 0) {
        return code;
    }
    std::unique_ptr<PRIVATE_> s = NewState(*p);
    if (!s) {
        return ImgError::NotEnoughMemory;
    }
    s->kernel = &KernelOf(p->kind);
    s->sx = std::min(static_cast<double>(p->scaleX), 1.0);
    s->sy = std::min(static_cast<double>(p->scaleY), 1.0);
    s->rx = s->kernel->support / s->sx;
    s->ry = s->kernel->support / s->sy;
    if (const unsigned long code = AllocateWindow(*p, *s); code != 0) {
        return code;
    }
    if (const unsigned long code = BuildColumns(*p, *s); code != 0) {
        return code;
    }
    p->state = s.release();
    return 0;
}

bool filter_copies_straight(const FilterParams* p) {
    if (p == nullptr) {
        return false;
    }
    const FilterKernel& kernel = KernelOf(p->kind);
    const bool onlyThePixelItself = kernel.shape == KernelShape::Table && kernel.limit <= 1.0f;
    const auto presetIs = [](int preset, int side) { return preset <= 0 || preset == side; };
    return onlyThePixelItself && p->scaleX == 1.0f && p->scaleY == 1.0f && p->srcShiftX == 0.0f &&
           p->srcShiftY == 0.0f && presetIs(p->presetDstWidth, p->srcWidth) &&
           presetIs(p->presetDstHeight, p->srcHeight);
}

unsigned long filter_open(FilterParams* p) {
    if (!filter_copies_straight(p)) {
        return filter_create(p);
    }
    if (const unsigned long code = CheckAndSize(p); code != 0) {
        return code;
    }
    std::unique_ptr<PRIVATE_> s = NewState(*p);
    if (!s) {
        return ImgError::NotEnoughMemory;
    }
    s->straight = true;
    s->window = static_cast<uint8_t*>(DibAlloc(s->srcRowBytes));
    if (s->window == nullptr) {
        return ImgError::NotEnoughMemory;
    }
    p->state = s.release();
    return 0;
}

uint8_t* filter_direct_row(FilterParams* p, uint8_t* dstRow) {
    if (p == nullptr || p->state == nullptr || !p->state->straight || dstRow == nullptr ||
        p->srcBpp != 24 || p->dstBpp != 24 ||
        p->state->outputRow >= static_cast<uint32_t>(p->dstHeight)) {
        return nullptr;
    }
    p->state->directRow = dstRow;
    p->state->straightFed = true;
    return dstRow;
}

uint8_t* filter_feed_row(FilterParams* p) {
    if (p == nullptr || p->state == nullptr) {
        return nullptr;
    }
    PRIVATE_& s = *p->state;
    if (s.outputRow >= static_cast<uint32_t>(p->dstHeight)) {
        return nullptr;
    }
    if (s.straight) {
        if (s.straightFed) {
            return nullptr;
        }
        s.straightFed = true;
        return s.window;
    }
    PrepareRow(*p, s);
    const Extent rows = RowExtent(*p, s, s.outputRow);
    if (s.nextRow > rows.last) {
        return nullptr;
    }
    if (s.nextRow < rows.first) {  // a row no window needs: read past it
        ++s.nextRow;
        return s.Scratch();
    }
    if (s.buffered >= s.windowRows) {
        IMG_ASSERT(s.buffered < s.windowRows);
        return nullptr;
    }
    ++s.nextRow;
    return s.Slot(s.buffered++);
}

void filter_process_block(FilterParams* p, uint8_t* dstRow) {
    if (p == nullptr || p->state == nullptr || dstRow == nullptr) {
        return;
    }
    PRIVATE_& s = *p->state;
    if (s.outputRow >= static_cast<uint32_t>(p->dstHeight)) {
        return;
    }
    if (s.straight) {
        CopyStraightRow(*p, s, dstRow);
        ++s.outputRow;
        return;
    }
    PrepareRow(*p, s);
    const Extent ext = RowExtent(*p, s, s.outputRow);
    // Only rows that were fed take part, whatever the caller skipped.
    const int top = std::max(ext.first, s.bufferTop);
    const int bottom = std::min(ext.last, s.bufferTop + static_cast<int>(s.buffered) - 1);
    if (bottom < top) {
        IMG_ASSERT(bottom >= top);
        std::memset(dstRow, 0, s.dstRowBytes);
    } else {
        const double py = ext.centre * s.sy;
        for (int r = top; r <= bottom; ++r) {
            const double dy = py - r * s.sy;
            s.dy2[r - top] = static_cast<float>(dy * dy);
        }
        ProcessRowAnyDepth(*p, s, RowWindow{top, bottom, ext.centre, s.dy2.data()}, dstRow);
    }
    ++s.outputRow;
    s.rowOpen = false;
}

void filter_destroy(FilterParams* p) {
    if (p == nullptr) {
        return;
    }
    delete p->state;
    p->state = nullptr;
}

float filter_weight(float d2, uint8_t kind) {
    return KernelWeight(KernelOf(kind), d2);
}

int get_nearest_palette_index(const FilterParams* p, uint8_t b0, uint8_t b1, uint8_t b2) {
    if (p == nullptr) {
        IMG_ASSERT(p != nullptr);
        return 0;
    }
    if (p->palette == nullptr || p->paletteSize <= 0) {
        return 0;
    }
    int best = 0;
    long bestDistance = LONG_MAX;
    for (int i = 0; i < p->paletteSize; ++i) {
        const RgbQuad& q = p->palette[i];
        const long db = q.rgbBlue - b0;
        const long dg = q.rgbGreen - b1;
        const long dr = q.rgbRed - b2;
        const long distance = 59 * db * db + 30 * dg * dg + 11 * dr * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

uint32_t get_dib_row_bytes(const DibInfoHeader* dib) {
    if (dib == nullptr) {
        return 0;
    }
    return DibRowBytesFor(dib->biWidth, dib->biBitCount);
}
