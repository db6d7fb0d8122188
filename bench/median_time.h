// Timing for the summary lines the benchmarks print: a median resists the noise of a shared
// machine better than a mean.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace quillon::bench {

// Median seconds of `f` over `repetitions` runs.
template <typename F>
double MedianSeconds(int repetitions, F&& f) {
  std::vector<double> times;
  for (int r = 0; r < repetitions; ++r) {
    const auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + repetitions / 2, times.end());
  return times[static_cast<size_t>(repetitions / 2)];
}

}  // namespace quillon::bench
