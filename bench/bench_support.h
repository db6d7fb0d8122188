// What every benchmark program shares: median timing for the summary lines (a median resists the
// noise of a shared machine better than a mean), a scratch folder, and main().
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
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

// A fresh folder below the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("quillon_bench_" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string file = Path(name);
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

 private:
  std::filesystem::path path_;
};

// Runs the registered benchmarks, then prints the program's summary lines (the same-run ratios).
inline int RunBenchmarks(int argc, char** argv, const std::function<void()>& summary) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  summary();
  return 0;
}

}  // namespace quillon::bench
