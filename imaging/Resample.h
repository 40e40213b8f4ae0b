#pragma once
// Reduces a picture while it is decoded, one output row at a time, so that a large picture
// never exists at full size. The caller keeps one ResampleState per picture:
//
//   ResampleState st;                      // every counter, pointer and table starts empty
//   st.factor = 2.5; st.bitCount = 24; st.srcWidth = w; st.srcHeight = h; st.mode = 1;
//   st.palette = ...;                      // 8 bits or less: the picture's 2^bitCount colours
//   if (!ResampleCreateWeights(&st)) fail; // also fails when a buffer could not be allocated
//   ResampleCreatePalette(&st);
//   PackedDib out = DibCreate(st.outWidth, st.outHeight, st.bitCount);
//   while (st.srcRowsDone < st.srcHeight) {
//       decode st.rowsToRead rows of st.srcRowBytes bytes, one after another, at st.writePos;
//       ResampleRows(&st);
//       ResampleStoreRow(&st, out, st.outRowsDone - 1);   // the picture is filled from the top
//   }
//   for (uint32_t i = 0; i < ResampleRowsLeft(&st); ...)   // see ResampleRowsLeft
//   ResampleDestroy(&st);                  // the destructor does it too
//
// Every output pixel is a weighted average of an N x N window of source pixels,
// N = ceil(factor), with integer weights chosen by the mode. Palette pictures are averaged in
// colour and mapped back to the nearest palette entry; 1-bit pictures by a 2/3 threshold.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/PackedDib.h"

// Weight modes (the mode field); any other value averages with equal weights too.
enum ResampleWeightMode : uint8_t {
    kResampleEqualWeights = 0,
    kResampleHalvingWithProduct = 1,  // 0xFFFF >> (dr x dc + 1)
    kResampleHalvingWithSquare = 2,   // 0xFFFF >> ((dr x dc)^2 + 1)
};

// Nearest-colour lookup over a palette: the smallest squared distance of blue, green and red,
// the first entry winning ties. Remembers recent answers, since neighbouring output pixels
// tend to repeat colours.
class ResamplePalette {
  public:
    ResamplePalette(const RgbQuad* entries, uint32_t count);
    uint8_t NearestIndex(uint8_t blue, uint8_t green, uint8_t red);
    uint32_t Count() const { return count_; }
    const RgbQuad& Entry(uint32_t index) const { return entries_[index]; }

  private:
    struct CacheSlot {
        uint32_t key = 0;  // colour + 1 << 24, so 0 means empty
        uint8_t index = 0;
    };
    static constexpr size_t kCacheSlots = 4096;
    RgbQuad entries_[256];
    uint32_t count_;
    std::vector<CacheSlot> cache_;
};

struct ResampleState {
    ResampleState() = default;
    ResampleState(const ResampleState&) = delete;
    ResampleState& operator=(const ResampleState&) = delete;
    ~ResampleState();

    double factor = 1.0;        // source pixels per output pixel, both ways; 1.0 or more
    uint32_t window = 0;        // N = ceil(factor)
    uint8_t bitCount = 0;       // 1, 4, 8, 24 or 32 (16 yields nothing); 0 is taken as 1
    uint8_t bytesPerPixel = 0;  // bitCount / 8, taken before 0 becomes 1
    uint32_t srcWidth = 0;
    uint32_t srcHeight = 0;
    uint32_t outWidth = 0;   // ceil(srcWidth / factor)
    uint32_t outHeight = 0;  // ceil(srcHeight / factor)
    uint32_t srcRowsDone = 0;
    uint32_t srcRowBytes = 0;
    uint32_t rowsToRead = 0;  // rows the caller puts at writePos before the next ResampleRows
    uint32_t outRowBytes = 0;
    uint32_t outRowsDone = 0;
    RgbQuad* palette = nullptr;  // 2^bitCount entries for 8 bits or less; not owned
    uint8_t* writePos = nullptr;
    uint8_t* outRow = nullptr;       // receives each finished output row
    uint8_t* blockBuffer = nullptr;  // N source rows
    std::unique_ptr<ResamplePalette> paletteLookup;
    std::vector<std::vector<int>> weights;  // [row in window][column in window]
    int64_t weightTotal = 0;                // sum of all N x N weights
    uint8_t mode = kResampleEqualWeights;
};

// Windows wider than this are refused: the work per output pixel grows with N x N.
inline constexpr uint32_t kResampleMaxWindow = 2048;

void* ResampleAlloc(size_t size);  // zero-filled pages, or null
void ResampleFree(void* block);    // null ignored

// Derives the sizes, the weight table and the two buffers. False, with both buffers null,
// when the factor is below 1.0 or not a number, the window passes kResampleMaxWindow, the
// source is empty, a row passes 4 GiB - 1 bytes or an allocation fails.
bool ResampleCreateWeights(ResampleState* st);
// What ResampleCreateWeights allocates for a factor, source width and bit count: the window
// of source rows, the output row and the weight table (an upper bound; 0 when it would
// refuse them).
uint64_t ResampleMemoryBytes(double factor, uint32_t srcWidth, uint8_t bitCount);
// Builds the nearest-colour lookup from st->palette for 8 bits or less; else nothing.
void ResampleCreatePalette(ResampleState* st);
// Makes one output row in st->outRow from the rows of the current pass and prepares the next
// pass (rowsToRead, writePos). False, changing nothing, when there is no pass left to do or
// the buffers are missing.
bool ResampleRows(ResampleState* st);
// The source can run out one pass before the output is full (for example 20 rows at factor
// 1.5 give 13 passes for 14 output rows). After the loop, this many bottom output rows are
// still unfilled; the caller fills each with a copy of st->outRow, which still holds the
// last row produced (ResampleFinishRows does that for a PackedDib).
uint32_t ResampleRowsLeft(const ResampleState* st);
// Copies st->outRow into output row `index` of dst, counted from the top of the picture
// (dst is bottom-up, so the first output row is the last one in memory). Nothing for an
// index or picture that does not fit.
void ResampleStoreRow(const ResampleState* st, PackedDib dst, uint32_t index);
// Fills the rows that ResampleRowsLeft counts with copies of the last row produced.
void ResampleFinishRows(const ResampleState* st, PackedDib dst);
// Frees the buffers, the lookup and the weights; safe at any point and more than once.
void ResampleDestroy(ResampleState* st);
