#pragma once
// The WIC decoder's hottest functions are built twice on x86-64 Linux, for the baseline
// instruction set and for x86-64-v3, and the loader picks what the processor runs. The
// second has the counting and shifting instructions of LZCNT and BMI2, which spare the
// arithmetic decoder a few instructions and a register move per decision, and AVX2 for the
// sample loops. Both builds compute the same values: the WIC sources are compiled without
// contracting a multiplication and an addition into one fused operation
// (-ffp-contract=off), the only way the two could round differently.
//
// ThreadSanitizer builds get the baseline only: the loader runs the pickers before the
// sanitizer's runtime is ready, and its instrumented code would crash there. A function
// called from a cloned one is built for both only when it is inlined into it.

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WIC_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define WIC_THREAD_SANITIZER 1
#endif
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && defined(__linux__) && \
    !defined(WIC_THREAD_SANITIZER)
#define WIC_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define WIC_CLONES
#endif
