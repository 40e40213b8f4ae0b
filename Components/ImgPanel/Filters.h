#pragma once
// Area filters that shrink (or enlarge) a picture row by row while it is decoded.
//
// The decoder feeds source rows in order from the top; the module hands back finished
// output rows. Each output pixel is a weighted average of the source pixels within the
// kernel's radius of its position; the weight is radial, looked up from the squared
// distance measured in output pixels. Pictures of 8 bits or less are read and written
// through a palette.
//
// Calling order for one picture: fill the record; filter_create (or filter_open); then for
// each output row from the top: while filter_feed_row returns a slot, decode the next source
// row into it (or describe it with filter_fill_row); then filter_process_block into the
// output row; finally filter_destroy (FilterGuard does it on every path). FilterNextRow
// does one output row that way.
//
// The kernel's work grows with the source pixels under each output pixel. A source far
// larger than any picture is averaged in blocks first (blockSide), so that whatever a file
// declares the kernel sees a bounded number of pixels; below that size every source pixel
// is weighed.
//
// The module keeps no global state besides the immutable kernel tables; one record
// belongs to one decode.

#include <cstddef>
#include <cstdint>

#include "imaging/PackedDib.h"

struct PRIVATE_;  // the module's own state, made by filter_create

struct FilterParams {
    RgbQuad* palette = nullptr;  // reads 1, 4 and 8-bit sources; picks 1, 4 and 8-bit outputs
    int paletteSize = 0;
    int srcHeight = 0;
    int srcWidth = 0;
    int dstHeight = 0;  // set by filter_create
    int dstWidth = 0;   // set by filter_create
    uint8_t srcBpp = 0;
    uint8_t dstBpp = 0;
    float scaleX = 1.0f;  // output width / source width
    float scaleY = 1.0f;  // output height / source height
    PRIVATE_* state = nullptr;
    uint8_t kind = 1;  // 0 to 12; above 12 acts like 0
    // Where output pixel 0 lies in the source, in source pixels (0: on source pixel 0).
    // A source that is itself a reduced picture, each pixel the average of a d x d block,
    // has its pixel centres at (d - 1) / 2 of the original; the shift keeps the output
    // where the full-size path puts it.
    float srcShiftX = 0.0f;
    float srcShiftY = 0.0f;
    // When above 0, the output size to make in place of the one the scales give: a
    // reduced source keeps the size, and with the scales the geometry, of the full one.
    int presetDstWidth = 0;
    int presetDstHeight = 0;
    // Source pixels a side averaged into one before the kernel weighs them. 0 lets
    // filter_plan and filter_create choose (and write their choice here): 1, unless the
    // source is larger than kFilterExactPixels and the output leaves room for blocks.
    int blockSide = 0;
};

// Sources of up to this many pixels are weighed pixel by pixel (16 M: a few tenths of a
// second of kernel work).
inline constexpr uint64_t kFilterExactPixels = uint64_t{1} << 24;

// A run of one palette index over a source row: pixels x to x + count - 1.
struct FilterRun {
    int x;
    int count;
    uint8_t index;
};

// What filter_open will set up, without allocating anything: fills dstWidth, dstHeight
// and blockSide and returns 0 with *bytes the memory its state will take, or the code
// filter_open would return.
unsigned long filter_plan(FilterParams* params, uint64_t* bytes);

// Sets up the state and the output size: trunc(source x scale + 0.99999) on each axis.
// Returns 0, or the decoder error code of the failure: 3000 for a scale of 0 or less (or
// not a number), an empty source or an unsupported bit count; 8 when the output is too
// large or the row window cannot be allocated. A null record does nothing (3000).
unsigned long filter_create(FilterParams* params);

// True when the filter hands every source pixel back as it is: both scales exactly 1, no
// shift, no other preset size, and a kernel that weighs nothing from distance 1 on (the
// tabulated kernels of support 1, whose tables end with 0 at distance 1: kinds 1, 3, 9, 10,
// 11 and 12). At 1:1 every other source pixel lies at distance 1 or more from an output
// pixel, so each output pixel is its own source pixel alone.
bool filter_copies_straight(const FilterParams* params);

// filter_create, or, when filter_copies_straight holds, a filter that gives the same bytes
// without the window: each source row is converted into its output row (or, through
// filter_direct_row, decoded straight into it). The decoders open their filter this way.
unsigned long filter_open(FilterParams* params);

// For a filter that copies straight rows already in the output's format (24 bits), the
// output row itself: the caller decodes the source row straight into dstRow instead of
// asking filter_feed_row, then calls filter_process_block(dstRow) as usual. Null otherwise.
uint8_t* filter_direct_row(FilterParams* params, uint8_t* dstRow);

// The slot for the next source row (source row bytes, DIB row format), or null when the
// window of the current output row is complete.
uint8_t* filter_feed_row(FilterParams* params);

// In place of writing the slot filter_feed_row returned: that source row is palette index
// fill but for the runs given (for sources of one index a byte). Runs past the row are cut.
// Averaged in blocks, such a row costs nothing per pixel.
void filter_fill_row(FilterParams* params, uint8_t* slot, uint8_t fill, const FilterRun* runs,
                     size_t count);

// Computes the current output row into dstRow (output DIB row format) and moves on.
void filter_process_block(FilterParams* params, uint8_t* dstRow);

// Frees the state; safe on a null record or state, and more than once.
void filter_destroy(FilterParams* params);

// The weight of a kind for a squared distance in output pixels.
float filter_weight(float d2, uint8_t kind);

// The palette entry nearest to the colour (bytes in DIB order: blue, green, red) by
// 59 x db^2 + 30 x dg^2 + 11 x dr^2, the lowest index on a tie; 0 without a palette.
int get_nearest_palette_index(const FilterParams* params, uint8_t b0, uint8_t b1, uint8_t b2);

// ((biWidth x biBitCount + 31) AND NOT 31) / 8; 0 for a null picture.
uint32_t get_dib_row_bytes(const DibInfoHeader* dib);

// The output size filter_create gives for a source side and scale; -1 when the result
// is not a usable size (scale not above 0, or past the int range).
int FilterOutputSize(int source, float scale);

// Makes the next output row into dstRow: feed(slot) first writes each source row the
// filter's window still needs into the slot it is given (dstRow itself when the rows go
// straight into the output).
template <class Feed>
void FilterNextRow(FilterParams& filter, uint8_t* dstRow, const Feed& feed) {
    if (uint8_t* direct = filter_direct_row(&filter, dstRow)) {
        feed(direct);
    } else {
        while (uint8_t* slot = filter_feed_row(&filter)) {
            feed(slot);
        }
    }
    filter_process_block(&filter, dstRow);
}

// Releases the filter state when the scope ends, whatever way it ends.
class FilterGuard {
  public:
    explicit FilterGuard(FilterParams& params) : params_(params) {}
    ~FilterGuard() { filter_destroy(&params_); }
    FilterGuard(const FilterGuard&) = delete;
    FilterGuard& operator=(const FilterGuard&) = delete;

  private:
    FilterParams& params_;
};
