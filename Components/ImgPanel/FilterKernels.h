#pragma once
// The kernels of the resampling filters: support, limit of the squared distance and the
// weight table of each filter kind. Tables are built once, on first use, and never
// change afterwards, so any number of decodes may read them at once.

#include <cstdint>

// How a kind turns a squared distance into a weight.
enum class KernelShape : uint8_t {
    Flat,   // every pixel of the window weighs 1 (kind 0 and kinds above 12)
    Box,    // 1 within distance 1, else 0 (kind 2)
    Table,  // looked up by trunc(100 x d^2) up to the limit, 0 beyond it
};

struct FilterKernel {
    KernelShape shape;
    float support;       // K: the radius in output pixels
    float limit;         // K^2: squared distances from here on weigh 0
    const float* table;  // 100 x limit + 1 entries; the last, at d^2 = limit, is 0
    int entries;
};

// The kernel of a filter kind; kinds above 12 act like kind 0.
const FilterKernel& KernelOf(uint8_t kind);

// The weight for a squared distance (in output pixels) under a kernel.
inline float KernelWeight(const FilterKernel& kernel, float d2) {
    switch (kernel.shape) {
        case KernelShape::Flat:
            return 1.0f;
        case KernelShape::Box:
            return d2 <= 1.0f ? 1.0f : 0.0f;
        case KernelShape::Table:
            break;
    }
    if (!(d2 <= kernel.limit)) {
        return 0.0f;
    }
    return kernel.table[static_cast<int>(100.0f * d2)];
}
