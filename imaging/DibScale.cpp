#include "imaging/DibScale.h"

#include "imaging/BandPool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Weights are fractions of 128, so that a pixel blended across (value x 128) and the
// weights of the second blend both fit the signed 16-bit lanes of one multiply-add.
constexpr uint32_t kWeightOne = 128;
constexpr int kFinalShift = 14;  // two blends of 7 bits each
constexpr int kLanes = 4;        // blue, green, red and a lane nobody reads, per pixel
constexpr int kBandsPerThread = 8;

// One output position: where its two source samples lie and their weights (first in the
// low half, second in the high half, summing to kWeightOne).
struct Tap {
    uint32_t first = 0;  // source pixel (rows) or byte offset in the row (columns)
    uint32_t second = 0;
    uint32_t weights = 0;
    bool Blends() const { return first != second && (weights >> 16) != 0; }
};

// Output position i of count samples the source at its centre mapped back, half a pixel
// up, as QPainter's smooth transform does; both samples are clamped to the source at its
// edges. unit turns source pixels into the positions the tap holds (bytes per pixel).
std::vector<Tap> MakeTaps(int extent, int count, uint32_t unit) {
    std::vector<Tap> taps(static_cast<size_t>(count));
    const double step = static_cast<double>(extent) / count;
    for (int i = 0; i < count; ++i) {
        const double position = (i + 0.5) * step - 0.5;
        const double floor = std::floor(position);
        const int first = static_cast<int>(floor);
        const uint32_t second =
            std::min(static_cast<uint32_t>((position - floor) * kWeightOne), kWeightOne - 1);
        Tap& tap = taps[static_cast<size_t>(i)];
        tap.first = static_cast<uint32_t>(std::clamp(first, 0, extent - 1)) * unit;
        tap.second = static_cast<uint32_t>(std::clamp(first + 1, 0, extent - 1)) * unit;
        tap.weights = (kWeightOne - second) | second << 16;
    }
    return taps;
}

// The picture's rows as the scaler reads them, row 0 at the top.
struct SourceRows {
    const uint8_t* bits = nullptr;
    size_t rowBytes = 0;
    int height = 0;
    bool bottomUp = true;
    bool indexed = false;
    std::array<uint32_t, 256> palette{};  // blue, green, red bytes per index (memory order)

    const uint8_t* Row(int uprightRow) const {
        const int stored = bottomUp ? height - 1 - uprightRow : uprightRow;
        return bits + static_cast<size_t>(stored) * rowBytes;
    }
    // The pixel at byte offset `at` as four bytes blue, green, red, anything. The last
    // pixel of a row whose bytes end exactly at the row's end is read in three bytes, so
    // nothing past the row is touched.
    uint32_t Pixel(const uint8_t* row, uint32_t at) const {
        uint32_t value = 0;
        if (indexed) {
            return palette[row[at]];
        }
        if (at + 4 <= rowBytes) {
            std::memcpy(&value, row + at, 4);
        } else {
            std::memcpy(&value, row + at, 3);
        }
        return value;
    }
};

SourceRows SourceOf(const DibInfoHeader* dib) {
    SourceRows source;
    source.bits = DibBits(dib);
    source.rowBytes = DibRowBytes(dib);
    source.height = std::abs(dib->biHeight);
    source.bottomUp = dib->biHeight > 0;
    source.indexed = dib->biBitCount == 8;
    if (source.indexed) {
        const RgbQuad* palette = DibPalette(dib);
        const uint32_t given = std::min<uint32_t>(DibNumColors(dib), 256);
        for (uint32_t i = 0; palette != nullptr && i < given; ++i) {
            const uint8_t bytes[4] = {palette[i].rgbBlue, palette[i].rgbGreen, palette[i].rgbRed,
                                      0};
            std::memcpy(&source.palette[i], bytes, 4);
        }
    }
    return source;
}

// The column taps of a frame, with how many leading pairs of columns read whole four-byte
// pixels without passing the row's end.
struct ColumnTaps {
    std::vector<Tap> taps;
    size_t fastPairs = 0;
};

ColumnTaps MakeColumnTaps(const SourceRows& source, int width, int count) {
    ColumnTaps columns;
    columns.taps = MakeTaps(width, count, source.indexed ? 1 : 3);
    size_t fast = 0;
    while (fast + 1 < columns.taps.size() &&
           (source.indexed || columns.taps[fast + 1].second + 4 <= source.rowBytes)) {
        fast += 2;
    }
    columns.fastPairs = fast / 2;
    return columns;
}

#if defined(__SSE2__)

// One output column blended across: the weighted sums of its two samples, one 32-bit lane
// per colour byte.
inline __m128i BlendPixel(uint32_t a, uint32_t b, uint32_t weights) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i pairs =
        _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(a)),
                                            _mm_cvtsi32_si128(static_cast<int>(b))),
                          zero);
    return _mm_madd_epi16(pairs, _mm_set1_epi32(static_cast<int>(weights)));
}

template <bool kIndexed>
inline uint32_t LoadPixel(const SourceRows& source, const uint8_t* row, uint32_t at) {
    if constexpr (kIndexed) {
        return source.palette[row[at]];
    } else {
        uint32_t value;
        std::memcpy(&value, row + at, 4);
        return value;
    }
}

// Blends one source row across: kLanes 16-bit values (value x 128) per output column.
// Columns are taken two at a time; those whose four-byte reads stay inside the row go
// through the fast loop, the few at the row's end through Pixel.
template <bool kIndexed>
void BlendAcrossAs(const SourceRows& source, const uint8_t* row, const ColumnTaps& columns,
                   int16_t* out) {
    const Tap* taps = columns.taps.data();
    const size_t fast = columns.fastPairs * 2;
    for (size_t x = 0; x < fast; x += 2) {
        const Tap& left = taps[x];
        const Tap& right = taps[x + 1];
        const __m128i first =
            BlendPixel(LoadPixel<kIndexed>(source, row, left.first),
                       LoadPixel<kIndexed>(source, row, left.second), left.weights);
        const __m128i second =
            BlendPixel(LoadPixel<kIndexed>(source, row, right.first),
                       LoadPixel<kIndexed>(source, row, right.second), right.weights);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * kLanes),
                         _mm_packs_epi32(first, second));
    }
    const size_t count = columns.taps.size();
    for (size_t x = fast; x < count; x += 2) {
        __m128i sums[2] = {_mm_setzero_si128(), _mm_setzero_si128()};
        for (size_t k = 0; k < 2 && x + k < count; ++k) {
            const Tap& tap = taps[x + k];
            sums[k] = BlendPixel(source.Pixel(row, tap.first), source.Pixel(row, tap.second),
                                 tap.weights);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * kLanes),
                         _mm_packs_epi32(sums[0], sums[1]));
    }
}

void BlendAcross(const SourceRows& source, const uint8_t* row, const ColumnTaps& columns,
                 int16_t* out) {
    if (source.indexed) {
        BlendAcrossAs<true>(source, row, columns, out);
    } else {
        BlendAcrossAs<false>(source, row, columns, out);
    }
}

// Blends two rows made by BlendAcross down into opaque RGB32 pixels, four at a time (two
// 128-bit reads per row each hold two pixels); the rows hold an even count of pixels.
void BlendDown(const int16_t* top, const int16_t* bottom, uint32_t weights, int width,
               uint32_t* out) {
    const __m128i factors = _mm_set1_epi32(static_cast<int>(weights));
    const __m128i half = _mm_set1_epi32(1 << (kFinalShift - 1));
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    // Two pixels as four 16-bit values each, ready for packing.
    auto twoPixels = [&](int x) {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + x * kLanes));
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + x * kLanes));
        __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(t, u), factors);
        __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(t, u), factors);
        lo = _mm_srai_epi32(_mm_add_epi32(lo, half), kFinalShift);
        hi = _mm_srai_epi32(_mm_add_epi32(hi, half), kFinalShift);
        return _mm_packs_epi32(lo, hi);
    };
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i pixels = _mm_packus_epi16(twoPixels(x), twoPixels(x + 2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(pixels, opaque));
    }
    for (; x < width; x += 2) {
        const __m128i words = twoPixels(x);
        const __m128i pixels = _mm_or_si128(_mm_packus_epi16(words, words), opaque);
        if (x + 1 < width) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), pixels);
        } else {
            out[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(pixels));
        }
    }
}

// Blends two rows of a 24-bit picture down over their whole width: one 16-bit value
// (value x 128) per byte. For pictures wider than the frame this is cheaper than blending
// each row across first, and the bytes are read in order. Sixteen bytes at a time as
// top x 128 + (bottom - top) x take, which equals top x keep + bottom x take and never
// leaves 16 bits in the result, so the wrapping 16-bit arithmetic gives it exactly.
void BlendRowsDown(const uint8_t* top, const uint8_t* bottom, uint32_t weights, size_t bytes,
                   int16_t* out) {
    static_assert(kWeightOne == 1u << 7);
    const __m128i zero = _mm_setzero_si128();
    const uint32_t keep = weights & 0xFFFF, take = weights >> 16;
    const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(take));
    auto blend = [&](__m128i t, __m128i u) {
        return _mm_add_epi16(_mm_slli_epi16(t, 7), _mm_mullo_epi16(_mm_sub_epi16(u, t), factor));
    };
    size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i));
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         blend(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(u, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8),
                         blend(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(u, zero)));
    }
    for (; i < bytes; ++i) {
        out[i] = static_cast<int16_t>(top[i] * keep + bottom[i] * take);
    }
}

// Blends a row made by BlendRowsDown across into opaque RGB32 pixels, at the frame's
// columns. The row carries four spare values past its end for the four-value reads.
void BlendAcrossToPixels(const int16_t* row, const ColumnTaps& columns, uint32_t* out) {
    const __m128i half = _mm_set1_epi32(1 << (kFinalShift - 1));
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const Tap* taps = columns.taps.data();
    const size_t count = columns.taps.size();
    auto blend = [&](const Tap& tap) {
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + tap.first));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + tap.second));
        const __m128i sum =
            _mm_madd_epi16(_mm_unpacklo_epi16(a, b), _mm_set1_epi32(static_cast<int>(tap.weights)));
        return _mm_srai_epi32(_mm_add_epi32(sum, half), kFinalShift);
    };
    size_t x = 0;
    for (; x + 1 < count; x += 2) {
        const __m128i words = _mm_packs_epi32(blend(taps[x]), blend(taps[x + 1]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x),
                         _mm_or_si128(_mm_packus_epi16(words, words), opaque));
    }
    if (x < count) {
        const __m128i words = _mm_packs_epi32(blend(taps[x]), blend(taps[x]));
        out[x] = static_cast<uint32_t>(
            _mm_cvtsi128_si32(_mm_or_si128(_mm_packus_epi16(words, words), opaque)));
    }
}

#else

void BlendAcross(const SourceRows& source, const uint8_t* row, const ColumnTaps& columns,
                 int16_t* out) {
    for (const Tap& tap : columns.taps) {
        const uint32_t a = source.Pixel(row, tap.first), b = source.Pixel(row, tap.second);
        const uint32_t keep = tap.weights & 0xFFFF, take = tap.weights >> 16;
        for (int lane = 0; lane < kLanes; ++lane) {
            const uint32_t shift = 8 * static_cast<uint32_t>(lane);
            out[lane] =
                static_cast<int16_t>((a >> shift & 0xFF) * keep + (b >> shift & 0xFF) * take);
        }
        out += kLanes;
    }
}

void BlendDown(const int16_t* top, const int16_t* bottom, uint32_t weights, int width,
               uint32_t* out) {
    const int32_t keep = weights & 0xFFFF, take = weights >> 16;
    for (int x = 0; x < width; ++x, top += kLanes, bottom += kLanes) {
        uint32_t pixel = 0xFF000000u;
        for (int lane = 0; lane < 3; ++lane) {
            const int32_t value =
                (top[lane] * keep + bottom[lane] * take + (1 << (kFinalShift - 1))) >> kFinalShift;
            pixel |= static_cast<uint32_t>(std::clamp(value, 0, 255)) << (8 * lane);
        }
        out[x] = pixel;
    }
}

void BlendRowsDown(const uint8_t* top, const uint8_t* bottom, uint32_t weights, size_t bytes,
                   int16_t* out) {
    const uint32_t keep = weights & 0xFFFF, take = weights >> 16;
    for (size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<int16_t>(top[i] * keep + bottom[i] * take);
    }
}

void BlendAcrossToPixels(const int16_t* row, const ColumnTaps& columns, uint32_t* out) {
    for (const Tap& tap : columns.taps) {
        const int32_t keep = tap.weights & 0xFFFF, take = tap.weights >> 16;
        uint32_t pixel = 0xFF000000u;
        for (uint32_t lane = 0; lane < 3; ++lane) {
            const int32_t value = (row[tap.first + lane] * keep + row[tap.second + lane] * take +
                                   (1 << (kFinalShift - 1))) >>
                                  kFinalShift;
            pixel |= static_cast<uint32_t>(std::clamp(value, 0, 255)) << (8 * lane);
        }
        *out++ = pixel;
    }
}

#endif

// Whether each pair of rows is blended down over its whole width before the frame's
// columns are picked from it. For a reduction the rows are seldom shared and are read in
// order. But a picture many times wider than the frame (a thumbnail of a photo) needs
// only a few of each row's bytes: picking the columns first reads and blends just those.
// Either order gives the same values, since the first blend is exact and only the second
// rounds.
bool BlendsRowsDownFirst(const SourceRows& source, int sourceWidth, const ColumnTaps& columns) {
    constexpr int64_t kPickColumnsFirstFrom = 8;  // source pixels per frame column
    const auto frameColumns = static_cast<int64_t>(columns.taps.size());
    return !source.indexed && sourceWidth > frameColumns &&
           sourceWidth < kPickColumnsFirstFrom * frameColumns;
}

// Makes a band of output rows; keeps the last two source rows blended across, since
// neighbouring output rows of an enlargement share them.
class BandScaler {
  public:
    BandScaler(const SourceRows& source, const ColumnTaps& columns, int sourceWidth)
        : source_(source),
          columns_(columns),
          downFirst_(BlendsRowsDownFirst(source, sourceWidth, columns)) {
        if (downFirst_) {
            rowBytes_ = static_cast<size_t>(sourceWidth) * 3;
            rows_[0].resize(rowBytes_ + kLanes);
            return;
        }
        // An even number of columns: the blends work on two at a time.
        for (auto& row : rows_) {
            row.resize((columns.taps.size() + 1) * kLanes);
        }
    }

    void Run(const std::vector<Tap>& rowTaps, int firstRow, int endRow, uchar* frame,
             qsizetype frameStride) {
        for (int y = firstRow; y < endRow; ++y) {
            const Tap& tap = rowTaps[static_cast<size_t>(y)];
            if (downFirst_) {
                // A reduction: rows are seldom shared, so each pair is blended down first.
                const uint8_t* top = source_.Row(static_cast<int>(tap.first));
                const uint8_t* bottom =
                    tap.Blends() ? source_.Row(static_cast<int>(tap.second)) : top;
                BlendRowsDown(top, bottom, tap.weights, rowBytes_, rows_[0].data());
                BlendAcrossToPixels(rows_[0].data(), columns_,
                                    reinterpret_cast<uint32_t*>(frame + y * frameStride));
                continue;
            }
            const int16_t* top = Across(tap.first, 0);
            const int16_t* bottom = tap.Blends() ? Across(tap.second, 1) : top;
            BlendDown(top, bottom, tap.weights, static_cast<int>(columns_.taps.size()),
                      reinterpret_cast<uint32_t*>(frame + y * frameStride));
        }
    }

  private:
    // Source row `row` blended across, held in slot (0 = upper, 1 = lower row of a pair).
    const int16_t* Across(uint32_t row, int slot) {
        const int64_t wanted = row;
        if (made_[slot] != wanted && made_[1 - slot] == wanted) {
            std::swap(rows_[0], rows_[1]);
            std::swap(made_[0], made_[1]);
        }
        if (made_[slot] != wanted) {
            BlendAcross(source_, source_.Row(static_cast<int>(row)), columns_, rows_[slot].data());
            made_[slot] = wanted;
        }
        return rows_[slot].data();
    }

    const SourceRows& source_;
    const ColumnTaps& columns_;
    const bool downFirst_;
    size_t rowBytes_ = 0;
    std::array<std::vector<int16_t>, 2> rows_;
    std::array<int64_t, 2> made_{-1, -1};
};

// An RGB32 image over a block of the picture allocator: a frame of a large panel is
// megabytes written once, and the block's large pages make both its first writes and its
// release cheap where the heap would fault and free it a small page at a time.
QImage NewFrame(QSize size) {
    const qsizetype stride = qsizetype{size.width()} * 4;
    void* block =
        DibAlloc(static_cast<size_t>(stride) * static_cast<size_t>(size.height()), DibPages::Large);
    if (block == nullptr) {
        return QImage();
    }
    QImage frame(
        static_cast<uchar*>(block), size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void* released) { DibRelease(released); }, block);
    if (frame.isNull()) {
        DibRelease(block);  // the image never took the block
    }
    return frame;
}

}  // namespace

bool DibScalable(const DibInfoHeader* dib) {
    return dib != nullptr && DibRowsInBlock(dib) && dib->biCompression == 0 &&
           (dib->biBitCount == 24 || dib->biBitCount == 8);
}

int DibScaleThreadsFor(QSize size, int srcWidth, int srcHeight, int cores) {
    // About a quarter of a megapixel of output (plus the source rows read for it) is a
    // millisecond's work: below that a thread costs more than it saves.
    constexpr int64_t kPixelsPerThread = int64_t{1} << 18;
    const int64_t output = int64_t{std::max(size.width(), 0)} * std::max(size.height(), 0);
    const int64_t read = int64_t{std::min(srcHeight, 2 * std::max(size.height(), 0))} *
                         std::max(std::min(srcWidth, 2 * std::max(size.width(), 0)), 0);
    const int64_t wanted = (output + read) / kPixelsPerThread;
    return static_cast<int>(std::clamp<int64_t>(wanted, 1, std::max(cores, 1)));
}

bool DibScaleInto(const DibInfoHeader* dib, QImage& frame, int threads) {
    const QSize size = frame.size();
    if (!DibScalable(dib) || size.isEmpty() || frame.format() != QImage::Format_RGB32) {
        return false;
    }
    try {
        const SourceRows source = SourceOf(dib);
        const ColumnTaps columns = MakeColumnTaps(source, DibWidth(dib), size.width());
        const std::vector<Tap> rows = MakeTaps(source.height, size.height(), 1);
        // Every buffer is made here, so a helper thread never allocates (nor throws).
        const int workers = std::clamp(threads, 1, size.height());
        std::vector<BandScaler> scalers(static_cast<size_t>(workers),
                                        BandScaler(source, columns, DibWidth(dib)));
        // Raw row pointers: QImage's own accessors may detach and are not for several threads.
        uchar* const bits = frame.bits();
        const qsizetype stride = frame.bytesPerLine();
        // Rows are handed out a small band at a time to whichever thread is free, so a thread
        // the system sets aside for a while holds back one band, not its share of the frame.
        const int bands = std::min(size.height(), workers * kBandsPerThread);
        BandPool::Shared().Run(bands, workers, [&](int band, int worker) {
            scalers[static_cast<size_t>(worker)].Run(rows, size.height() * band / bands,
                                                     size.height() * (band + 1) / bands, bits,
                                                     stride);
        });
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

QImage DibScaleFrame(const DibInfoHeader* dib, QSize size, int threads) {
    if (!DibScalable(dib) || size.isEmpty()) {
        return QImage();
    }
    QImage frame = NewFrame(size);
    if (frame.isNull() || !DibScaleInto(dib, frame, threads)) {
        return QImage();
    }
    return frame;
}
