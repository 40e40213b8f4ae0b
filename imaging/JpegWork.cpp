#include "imaging/JpegWork.h"

#include <sys/stat.h>

#include <algorithm>

namespace {

uint64_t CeilDiv(uint64_t a, uint64_t b) {
    return (a + b - 1) / b;
}

}  // namespace

uint64_t JpegBlockCount(const jpeg_decompress_struct& info) {
    int maxH = 1;
    int maxV = 1;
    for (int c = 0; c < info.num_components; ++c) {
        maxH = std::max(maxH, info.comp_info[c].h_samp_factor);
        maxV = std::max(maxV, info.comp_info[c].v_samp_factor);
    }
    uint64_t blocks = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const auto h = static_cast<uint64_t>(std::max(info.comp_info[c].h_samp_factor, 1));
        const auto v = static_cast<uint64_t>(std::max(info.comp_info[c].v_samp_factor, 1));
        const uint64_t across = CeilDiv(uint64_t{info.image_width} * h, uint64_t{8} * maxH);
        const uint64_t down = CeilDiv(uint64_t{info.image_height} * v, uint64_t{8} * maxV);
        blocks += CeilDiv(across, h) * h * CeilDiv(down, v) * v;
    }
    return blocks;
}

uint64_t JpegFileBytes(std::FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && status.st_size > 0
               ? static_cast<uint64_t>(status.st_size)
               : 0;
}
