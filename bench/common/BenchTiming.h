#pragma once
// Timing helpers the benchmarks share: one clock, milliseconds and the median of the runs
// (the median, because a single preempted run must not decide the figure).

#include <algorithm>
#include <chrono>
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

}  // namespace bench
