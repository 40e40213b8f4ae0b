#include "Images/J2000/ComponentTransform.h"

#include "Images/J2000/FixedPoint.h"

namespace j2000 {

// Wrapping arithmetic: garbage coefficients give garbage samples, never undefined behaviour.
J2K_VECTOR_CLONES void mct_irct(int32_t* J2K_RESTRICT c0, int32_t* J2K_RESTRICT c1,
                                int32_t* J2K_RESTRICT c2, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const int32_t y = c0[i], u = c1[i], v = c2[i];
        const int32_t g = WrapSub(y, WrapAdd(u, v) >> 2);
        c0[i] = WrapAdd(v, g);
        c1[i] = g;
        c2[i] = WrapAdd(u, g);
    }
}

J2K_VECTOR_CLONES void mct_iict(int32_t* J2K_RESTRICT c0, int32_t* J2K_RESTRICT c1,
                                int32_t* J2K_RESTRICT c2, size_t count) {
    constexpr FixConstant kCrToR = MakeFixConstant(1.402), kCbToG = MakeFixConstant(0.344136),
                          kCrToG = MakeFixConstant(0.714136), kCbToB = MakeFixConstant(1.772);
    for (size_t i = 0; i < count; ++i) {
        const int32_t y = c0[i], cb = c1[i], cr = c2[i];
        c0[i] = WrapAdd(y, FixMul(cr, kCrToR));
        c1[i] = WrapSub(WrapSub(y, FixMul(cb, kCbToG)), FixMul(cr, kCrToG));
        c2[i] = WrapAdd(y, FixMul(cb, kCbToB));
    }
}

void mct_rct(int32_t* c0, int32_t* c1, int32_t* c2, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const int32_t r = c0[i], g = c1[i], b = c2[i];
        c0[i] = (r + 2 * g + b) >> 2;
        c1[i] = b - g;
        c2[i] = r - g;
    }
}

}  // namespace j2000
