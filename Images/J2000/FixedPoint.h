// Fixed-point arithmetic of the irreversible path in 32-bit lanes (the baseline instruction set
// has no 64-bit vector multiply), and the hints that let the compiler vectorise the sample loops.
#pragma once

#include <cstdint>

// The sample loops run over arrays that never overlap the one they write; telling the compiler
// so lets it vectorise them without run-time overlap checks.
#if defined(__GNUC__) || defined(__clang__)
#define J2K_RESTRICT __restrict
#else
#define J2K_RESTRICT
#endif

// The hottest loops are built twice on x86-64, for the baseline instruction set and for AVX2
// (eight lanes and a native 32-bit vector multiply), and the loader picks what the processor
// runs. Both builds compute the same integers. ThreadSanitizer builds get the baseline only: the
// loader runs the pickers before the sanitizer's runtime is ready, and its instrumented code
// would crash there.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define J2K_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define J2K_THREAD_SANITIZER 1
#endif
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && defined(__linux__) && \
    !defined(J2K_THREAD_SANITIZER)
#define J2K_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define J2K_VECTOR_CLONES
#endif

// A loop body shared by several of those builds must be inlined into each, or it runs in the
// baseline build only.
#if defined(__GNUC__) || defined(__clang__)
#define J2K_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define J2K_ALWAYS_INLINE inline
#endif

namespace j2000 {

// Fixed point of the irreversible path: 1.0 is 1 << 14.
constexpr int kFixedBits = 14;

// Sums and differences wrap instead of overflowing: a corrupt stream can hold any coefficient,
// and in-range samples never come near the limit.
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int64_t WrapAdd(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t WrapSub(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

// (v x c) >> 14 for a constant of at most 15 bits and sign, equal to the 64-bit product shifted
// and cut to 32 bits: with v = hi x 2^14 + lo (0 <= lo < 2^14) it is hi x c + ((lo x c) >> 14),
// two 32-bit multiplies.
inline int32_t FixMul(int32_t v, int32_t c) {
    const int32_t hi = v >> kFixedBits;
    const int32_t lo = v & ((1 << kFixedBits) - 1);
    return static_cast<int32_t>(static_cast<uint32_t>(hi) * static_cast<uint32_t>(c) +
                                static_cast<uint32_t>((lo * c) >> kFixedBits));
}

// A constant with 28 fraction bits held as hi / 2^14 + lo / 2^28 (0 <= lo < 2^14), multiplied in
// two FixMul steps. Constants cut to 14 bits are off by up to 3 parts in 10^5, a few units at
// 16-bit precision once the lifting steps and levels add them up; 28 bits keep the result within
// a small fraction of a unit.
struct FixConstant {
    int32_t hi, lo;
};

constexpr FixConstant MakeFixConstant(double c) {
    const double scaled = c * (int64_t{1} << 28);
    const auto whole = static_cast<int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
    // whole >> 14 and its remainder, both taken toward minus infinity
    const int64_t hi = whole >= 0 ? whole / 16384 : -((-whole + 16383) / 16384);
    return {static_cast<int32_t>(hi), static_cast<int32_t>(whole - hi * 16384)};
}

// floor(v x hi / 2^14) + floor(v x lo / 2^28): within one unit of the last place of v x c.
inline int32_t FixMul(int32_t v, FixConstant c) {
    return static_cast<int32_t>(static_cast<uint32_t>(FixMul(v, c.hi)) +
                                static_cast<uint32_t>(FixMul(v, c.lo) >> kFixedBits));
}

// The same in 64-bit lanes, equal to the 32-bit form wherever that does not wrap. Values that
// start in 32 bits grow less than 16-fold through one line's lifting, so the products stay far
// inside 64 bits whatever the coefficients.
inline int64_t FixMul(int64_t v, FixConstant c) {
    return WrapAdd((v * c.hi) >> kFixedBits, (v * c.lo) >> (2 * kFixedBits));
}

}  // namespace j2000
