// The decoded image: up to 16384 components, each with its own size, precision, signedness and
// sub-sampling, whose samples lie in a byte store per component (memory for small images, a part
// of one anonymous temporary file for large ones). Samples are row-major, `cps` bytes each, most
// significant byte first; a signed sample is stored as the low bytes of its two's complement.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Images/J2000/Stream.h"

namespace j2000 {

inline constexpr int kMaxComponents = 16384;
// Above this many bytes of samples in all, the stores are parts of one temporary file.
inline constexpr std::uint64_t kMemoryStoreLimit = 0x4000000;

struct image_cmptparm_t {
    std::uint32_t width = 0, height = 0;  // samples
    int prec = 8;
    bool sgnd = false;
    int hsamp = 1, vsamp = 1;  // sub-sampling on the reference grid
};

struct image_cmpnt_t {
    int hsubsamp_ = 1, vsubsamp_ = 1;
    std::uint32_t width_ = 0, height_ = 0;
    int prec = 0;
    bool sgnd = false;
    int cps = 1;  // bytes per sample
    StreamPtr stream;
};

struct image_t {
    std::uint32_t width_ = 0, height_ = 0;  // the image area on the reference grid
    int numcmpts = 0;
    std::vector<std::unique_ptr<image_cmpnt_t>> cmpts;
    int clrspc = 0;
};

using ImagePtr = std::unique_ptr<image_t>;

// Null when a component is empty, there are more than 16384, or a store cannot be made.
ImagePtr image_create(std::uint32_t width, std::uint32_t height,
                      const std::vector<image_cmptparm_t>& cmptparms, int clrspc);

// Writes a w x h rectangle at (x, y) of component `cmptno` from `samples` (row-major, rows
// `stride` entries apart), keeping the low `cps` bytes of each value. 0, or -1 when the
// rectangle does not lie inside the component or the store fails.
int image_writecmpt(image_t& image, int cmptno, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                    std::uint32_t h, const std::int32_t* samples, std::ptrdiff_t stride);
// Sets a w x h rectangle at (x, y) of component `cmptno` to `value`, asking `stopped` every
// megabyte or so. 0, or -1 as `image_writecmpt`, or when a stop is asked for.
int image_fillcmpt(image_t& image, int cmptno, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                   std::uint32_t h, std::int32_t value, const std::function<bool()>& stopped);
// The reverse, into `out` (w x h); bytes are assembled without sign extension.
int image_readcmpt(image_t& image, int cmptno, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                   std::uint32_t h, std::vector<std::int32_t>& out);

}  // namespace j2000
