#pragma once
// Timing helpers the benchmarks share: one clock, milliseconds, the median of the runs (a
// single preempted run must not decide a ratio against a reference) and, for figures held
// against a budget, the tail: a percentile and the slowest.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// How long work() takes, in milliseconds.
template <class Work>
double TimeMilliseconds(const Work& work) {
    const Clock::time_point start = Clock::now();
    work();
    return Milliseconds(Clock::now() - start);
}

// The middle value (the upper one of an even count); values must not be empty.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The value that `fraction` (0 to 1) of the values do not exceed, by the nearest rank;
// values must not be empty.
inline double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(fraction * static_cast<double>(values.size()) + 0.999999);
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

inline double Slowest(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

// One line with the median, the 95th percentile and the slowest of a budget's samples.
inline void PrintTail(const char* what, const std::vector<double>& ms) {
    std::printf("%-24s %4zu samples  median %7.2f ms  p95 %7.2f ms  slowest %7.2f ms\n", what,
                ms.size(), Median(ms), Percentile(ms, 0.95), Slowest(ms));
}

}  // namespace bench
