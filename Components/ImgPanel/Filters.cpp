#include "Components/ImgPanel/Filters.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Components/ImgPanel/BlockReducer.h"
#include "Components/ImgPanel/FilterKernels.h"
#include "Components/ImgPanel/FilterPixels.h"
#include "Components/ImgPanel/ImgDebug.h"
#include "Components/ImgPanel/ImgErrors.h"

using filterpixels::Bgr;

namespace {

// Blocks an output pixel's reach spans at least, along each axis, once the source is
// averaged in blocks: the kernel keeps its shape over them.
constexpr double kBlocksPerOutputPixel = 4.0;

// The source pixels one output pixel (or row) averages: first..last, both included.
struct Extent {
    int first;
    int last;
    double centre;  // the output position in source pixels
};

Extent ExtentOf(int outputIndex, double scale, double radius, int sourceCount, double shift) {
    const double centre = outputIndex / scale + shift;
    const double top = static_cast<double>(sourceCount - 1);
    const double first = std::clamp(std::trunc(centre - radius), 0.0, top);
    const double last = std::clamp(std::trunc(centre + radius + 0.99999), 0.0, top);
    return Extent{static_cast<int>(std::min(first, last)), static_cast<int>(last), centre};
}

bool IsSupportedBpp(uint8_t bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

// The source the kernel works on: the decoder's rows, or their block averages.
struct WindowSource {
    int width = 0;
    int height = 0;
    uint8_t bpp = 0;
    double scaleX = 1.0;  // output pixels per window source pixel
    double scaleY = 1.0;
    double shiftX = 0.0;  // where output pixel 0 lies, in window source pixels
    double shiftY = 0.0;
};

// Everything filter_create sets up, worked out before anything is allocated.
struct Plan {
    int dstWidth = 0;
    int dstHeight = 0;
    int side = 1;
    WindowSource source;
    double sx = 1.0;  // scales used for distances: never above 1
    double sy = 1.0;
    double rx = 1.0;  // support radius in window source pixels
    double ry = 1.0;
    uint32_t windowRows = 0;
    uint32_t srcRowBytes = 0;     // a row as the decoder writes it
    uint32_t windowRowBytes = 0;  // a row of the window
    uint32_t dstRowBytes = 0;
    uint64_t bytes = 0;  // what the state will take
};

}  // namespace

struct PRIVATE_ {
    uint32_t outputRow = 0;
    uint32_t srcRowBytes = 0;  // a window row
    uint32_t dstRowBytes = 0;
    WindowSource source;
    double sx = 1.0;
    double sy = 1.0;
    double rx = 1.0;
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

    // Averaging in blocks: the decoder's rows go to `input` and on into the reducer, whose
    // finished rows are the window's source rows.
    std::unique_ptr<BlockReducer> reducer;
    std::vector<uint8_t> input;
    bool inputWritten = false;  // input holds a row the reducer has not taken

    // A filter that copies straight (filter_open) holds only the scratch row: the current
    // output row's source is there, or, when directRow is set, already in that row.
    bool straight = false;
    bool straightFed = false;
    uint8_t* directRow = nullptr;

    // Per output column: its source extent and the squared horizontal distances.
    std::vector<Extent> columns;
    std::vector<uint32_t> columnOffset;
    std::vector<float> dx2;
    std::vector<float> dy2;  // per window row, refilled for each output row

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
        size_t distances = 0;
        for (int x = 0; x < p.dstWidth; ++x) {
            s.columns[x] = ExtentOf(x, s.source.scaleX, s.rx, s.source.width, s.source.shiftX);
            distances += static_cast<size_t>(s.columns[x].last - s.columns[x].first + 1);
        }
        s.dx2.reserve(distances);
        for (int x = 0; x < p.dstWidth; ++x) {
            const Extent& ext = s.columns[x];
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

unsigned long AllocateWindow(const Plan& plan, PRIVATE_& s) {
    s.windowRows = plan.windowRows;
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

Extent RowExtent(const PRIVATE_& s, uint32_t y) {
    return ExtentOf(static_cast<int>(y), s.source.scaleY, s.ry, s.source.height, s.source.shiftY);
}

void PrepareRow(PRIVATE_& s) {
    if (!s.rowOpen) {
        DropRowsAbove(s, RowExtent(s, s.outputRow).first);
        s.rowOpen = true;
    }
}

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
    switch (s.source.bpp) {
        case 32:
            ProcessRow(p, s, rows, dst, filterpixels::Read32{});
            break;
        case 24:
            ProcessRow(p, s, rows, dst, filterpixels::Read24{});
            break;
        case 16:
            ProcessRow(p, s, rows, dst, filterpixels::Read16{});
            break;
        default:
            ProcessRow(p, s, rows, dst,
                       filterpixels::ReadIndexed{p.palette, p.paletteSize, s.source.bpp});
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
            ConvertRow(p, src, dst, filterpixels::Read32{});
            break;
        case 24:
            if (p.dstBpp == 24) {
                std::memcpy(dst, src, static_cast<size_t>(p.dstWidth) * 3);
            } else {
                ConvertRow(p, src, dst, filterpixels::Read24{});
            }
            break;
        case 16:
            ConvertRow(p, src, dst, filterpixels::Read16{});
            break;
        default:
            ConvertRow(p, src, dst, filterpixels::ReadIndexed{p.palette, p.paletteSize, p.srcBpp});
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

// 1 (every source pixel weighed) unless the source is so large that the kernel's work
// would be more than kFilterExactPixels give, and never so wide that an output pixel's
// reach spans fewer than kBlocksPerOutputPixel blocks. A side asked for is only kept
// within an output pixel.
int ChooseBlockSide(const FilterParams& p) {
    const double largestScale = std::max(p.scaleX, p.scaleY);
    if (p.blockSide > 0) {
        return static_cast<int>(
            std::clamp(std::floor(1.0 / largestScale), 1.0, static_cast<double>(p.blockSide)));
    }
    const double pixels = static_cast<double>(p.srcWidth) * p.srcHeight;
    if (pixels <= static_cast<double>(kFilterExactPixels)) {
        return 1;
    }
    const double needed = std::ceil(std::sqrt(pixels / static_cast<double>(kFilterExactPixels)));
    const double widest = std::floor(1.0 / (largestScale * kBlocksPerOutputPixel));
    return static_cast<int>(std::clamp(std::min(needed, widest), 1.0, 65535.0));
}

// The window's source: blocks of side x side, each standing at its pixels' centre.
WindowSource WindowSourceOf(const FilterParams& p, int side) {
    WindowSource source;
    source.width = BlockReducer::ReducedSide(p.srcWidth, side);
    source.height = BlockReducer::ReducedSide(p.srcHeight, side);
    source.bpp = side > 1 ? 24 : p.srcBpp;
    source.scaleX = static_cast<double>(p.scaleX) * side;
    source.scaleY = static_cast<double>(p.scaleY) * side;
    source.shiftX = (p.srcShiftX - (side - 1) / 2.0) / side;
    source.shiftY = (p.srcShiftY - (side - 1) / 2.0) / side;
    return source;
}

// The bytes the state takes: the window, the column tables (an extent is at most
// 2 x rx + 3 columns) and, averaging in blocks, the decoder's row and the block sums.
uint64_t StateBytes(const FilterParams& p, const Plan& plan) {
    const double reach = std::min(2.0 * plan.rx + 3.0, static_cast<double>(plan.source.width));
    double bytes = (static_cast<double>(plan.windowRows) + 1) * plan.windowRowBytes +
                   static_cast<double>(plan.windowRows) * sizeof(float) +
                   static_cast<double>(plan.dstWidth) *
                       (sizeof(Extent) + sizeof(uint32_t) + reach * sizeof(float)) +
                   sizeof(PRIVATE_);
    if (plan.side > 1) {
        bytes += plan.srcRowBytes +
                 static_cast<double>(BlockReducer::MemoryBytes(p.srcWidth, plan.side));
    }
    return bytes >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(bytes);
}

unsigned long MakePlan(const FilterParams& p, Plan& plan) {
    if (!IsSupportedBpp(p.srcBpp) || !IsSupportedBpp(p.dstBpp) || p.srcWidth < 1 ||
        p.srcHeight < 1 || !(p.scaleX > 0.0f) || !(p.scaleY > 0.0f) || !std::isfinite(p.scaleX) ||
        !std::isfinite(p.scaleY)) {
        return ImgError::Unknown;
    }
    plan.dstWidth =
        p.presetDstWidth > 0 ? p.presetDstWidth : FilterOutputSize(p.srcWidth, p.scaleX);
    plan.dstHeight =
        p.presetDstHeight > 0 ? p.presetDstHeight : FilterOutputSize(p.srcHeight, p.scaleY);
    if (plan.dstWidth < 1 || plan.dstHeight < 1 ||
        static_cast<uint64_t>(plan.dstWidth) * static_cast<uint64_t>(plan.dstHeight) >
            kDibMaxPixels) {
        return ImgError::NotEnoughMemory;
    }
    plan.side = ChooseBlockSide(p);
    plan.source = WindowSourceOf(p, plan.side);
    const FilterKernel& kernel = KernelOf(p.kind);
    plan.sx = std::min(plan.source.scaleX, 1.0);
    plan.sy = std::min(plan.source.scaleY, 1.0);
    plan.rx = kernel.support / plan.sx;
    plan.ry = kernel.support / plan.sy;
    // Rows a window can span: 2 x trunc(ry + 2) covers every window, and no window is
    // taller than the picture.
    const double spanned = 2.0 * std::trunc(plan.ry + 2.0);
    plan.windowRows =
        static_cast<uint32_t>(std::min(spanned, static_cast<double>(plan.source.height)));
    plan.srcRowBytes = DibRowBytesFor(p.srcWidth, p.srcBpp);
    plan.windowRowBytes = DibRowBytesFor(plan.source.width, plan.source.bpp);
    plan.dstRowBytes = DibRowBytesFor(plan.dstWidth, p.dstBpp);
    if (plan.srcRowBytes == 0 || plan.windowRowBytes == 0 || plan.dstRowBytes == 0) {
        return ImgError::NotEnoughMemory;
    }
    plan.bytes = StateBytes(p, plan);
    return 0;
}

unsigned long StartReducer(const FilterParams& p, const Plan& plan, PRIVATE_& s) {
    if (plan.side == 1) {
        return 0;
    }
    try {
        s.reducer = std::make_unique<BlockReducer>(p.srcWidth, p.srcHeight, plan.side, p.srcBpp);
        s.input.assign(plan.srcRowBytes, 0);
    } catch (const std::bad_alloc&) {
        return ImgError::NotEnoughMemory;
    }
    return 0;
}

// The window slot for the next source row the current output row needs (a scratch slot
// for a row no window needs), or null when its window is complete.
uint8_t* NextWindowSlot(const FilterParams& p, PRIVATE_& s) {
    if (s.outputRow >= static_cast<uint32_t>(p.dstHeight)) {
        return nullptr;
    }
    PrepareRow(s);
    const Extent rows = RowExtent(s, s.outputRow);
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

bool WindowWantsRow(const FilterParams& p, PRIVATE_& s) {
    if (s.outputRow >= static_cast<uint32_t>(p.dstHeight)) {
        return false;
    }
    PrepareRow(s);
    return s.nextRow <= RowExtent(s, s.outputRow).last;
}

// A finished row of blocks goes where the window wants its next row.
void PassBlockRow(const FilterParams& p, PRIVATE_& s) {
    if (!s.reducer->RowComplete()) {
        return;
    }
    uint8_t* slot = NextWindowSlot(p, s);
    s.reducer->TakeRow(slot != nullptr ? slot : s.Scratch());
}

// The decoder's row written into `input` since the last call goes into the blocks.
void TakeWrittenInput(const FilterParams& p, PRIVATE_& s) {
    if (!s.inputWritten) {
        return;
    }
    s.inputWritten = false;
    s.reducer->AddRow(s.input.data(), p.palette, p.paletteSize);
    PassBlockRow(p, s);
}

void WriteRuns(const FilterParams& p, uint8_t* slot, uint8_t fill, const FilterRun* runs,
               size_t count) {
    if (p.srcBpp != 8) {
        IMG_ASSERT(p.srcBpp == 8);
        return;
    }
    const int width = p.srcWidth;
    std::memset(slot, fill, static_cast<size_t>(width));
    for (size_t i = 0; i < count; ++i) {
        const int from = std::clamp(runs[i].x, 0, width);
        const int to = static_cast<int>(
            std::clamp<int64_t>(int64_t{runs[i].x} + std::max(runs[i].count, 0), from, width));
        std::memset(slot + from, runs[i].index, static_cast<size_t>(to - from));
    }
}

// The plan, with the sizes and the block side it chose written to the record.
unsigned long PlanAndTell(FilterParams& p, Plan& plan) {
    if (const unsigned long code = MakePlan(p, plan); code != 0) {
        return code;
    }
    p.dstWidth = plan.dstWidth;
    p.dstHeight = plan.dstHeight;
    p.blockSide = plan.side;
    return 0;
}

}  // namespace

unsigned long filter_plan(FilterParams* p, uint64_t* bytes) {
    if (p == nullptr) {
        return ImgError::Unknown;
    }
    Plan plan;
    if (const unsigned long code = PlanAndTell(*p, plan); code != 0) {
        return code;
    }
    if (bytes != nullptr) {
        // Copying straight, the state is one source row.
        *bytes = filter_copies_straight(p) ? plan.srcRowBytes + sizeof(PRIVATE_) : plan.bytes;
    }
    return 0;
}

unsigned long filter_create(FilterParams* p) {
    if (p == nullptr) {
        return ImgError::Unknown;
    }
    filter_destroy(p);
    Plan plan;
    if (const unsigned long code = PlanAndTell(*p, plan); code != 0) {
        return code;
    }

    std::unique_ptr<PRIVATE_> s(new (std::nothrow) PRIVATE_);
    if (!s) {
        return ImgError::NotEnoughMemory;
    }
    s->kernel = &KernelOf(p->kind);
    s->source = plan.source;
    s->sx = plan.sx;
    s->sy = plan.sy;
    s->rx = plan.rx;
    s->ry = plan.ry;
    s->srcRowBytes = plan.windowRowBytes;
    s->dstRowBytes = plan.dstRowBytes;
    if (const unsigned long code = AllocateWindow(plan, *s); code != 0) {
        return code;
    }
    if (const unsigned long code = StartReducer(*p, plan, *s); code != 0) {
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
    filter_destroy(p);
    Plan plan;
    if (const unsigned long code = PlanAndTell(*p, plan); code != 0) {
        return code;
    }
    std::unique_ptr<PRIVATE_> s(new (std::nothrow) PRIVATE_);
    if (!s) {
        return ImgError::NotEnoughMemory;
    }
    s->straight = true;
    s->srcRowBytes = plan.srcRowBytes;
    s->dstRowBytes = plan.dstRowBytes;
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
    if (s.straight) {
        if (s.outputRow >= static_cast<uint32_t>(p->dstHeight) || s.straightFed) {
            return nullptr;
        }
        s.straightFed = true;
        return s.window;
    }
    if (!s.reducer) {
        return NextWindowSlot(*p, s);
    }
    TakeWrittenInput(*p, s);
    if (!WindowWantsRow(*p, s)) {
        return nullptr;
    }
    s.inputWritten = true;
    return s.input.data();
}

void filter_fill_row(FilterParams* p, uint8_t* slot, uint8_t fill, const FilterRun* runs,
                     size_t count) {
    if (p == nullptr || p->state == nullptr || slot == nullptr) {
        return;
    }
    PRIVATE_& s = *p->state;
    if (!s.reducer || slot != s.input.data()) {
        WriteRuns(*p, slot, fill, runs, count);
        return;
    }
    s.inputWritten = false;
    s.reducer->AddRuns(fill, runs, count, p->palette, p->paletteSize);
    PassBlockRow(*p, s);
}

void filter_process_block(FilterParams* p, uint8_t* dstRow) {
    if (p == nullptr || p->state == nullptr || dstRow == nullptr) {
        return;
    }
    PRIVATE_& s = *p->state;
    if (s.reducer) {
        TakeWrittenInput(*p, s);
    }
    if (s.outputRow >= static_cast<uint32_t>(p->dstHeight)) {
        return;
    }
    if (s.straight) {
        CopyStraightRow(*p, s, dstRow);
        ++s.outputRow;
        return;
    }
    PrepareRow(s);
    const Extent ext = RowExtent(s, s.outputRow);
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
