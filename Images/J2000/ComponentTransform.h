#pragma once
// The inverse component transforms of a tile's first three components, in place on
// equal-sized sample planes: the reversible one (integers) and the irreversible one (fixed
// point with 14 fraction bits).

#include <cstddef>
#include <cstdint>

namespace j2000 {

// c0, c1, c2 (three distinct planes) become R, G, B.
void mct_irct(int32_t* c0, int32_t* c1, int32_t* c2, size_t count);
void mct_iict(int32_t* c0, int32_t* c1, int32_t* c2, size_t count);

// The forward transforms, for tests and any encoder.
void mct_rct(int32_t* c0, int32_t* c1, int32_t* c2, size_t count);

}  // namespace j2000
