// Chart loading against the cheapest possible pass over the same file.
//
// Two generated charts, each written once to a temporary file: a 7-key chart of 20,000 objects
// over 600 measures, and a dense chart of about 5 MB. For each, LoadBms (default LoadView, no
// resources, the first-start element flags) is timed against a baseline measured in the same
// run: read the file, decode it, normalise line ends and split it into lines. A summary line per
// chart gives the load/baseline ratio and the objects loaded per second; the ratio is the figure
// to compare between machines. The 7-key chart is also loaded in the extended reading, and its
// cost is printed against the classic reading's from the same run. A further benchmark sorts
// 20,000 shuffled records.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "chart/load_view.h"
#include "chart/loader.h"
#include "chart/model.h"
#include "chart/sort.h"
#include "chart/text_util.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string Hex2(int v) {
  return {kHexDigits[(v >> 4) & 15], kHexDigits[v & 15]};
}

std::string Digits3(int v) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%03d", v);
  return buf;
}

std::string HeaderLines() {
  std::string text =
      "#PLAYER 1\r\n#GENRE BENCHMARK\r\n#TITLE Generated chart\r\n#ARTIST quillon\r\n"
      "#BPM 150\r\n#PLAYLEVEL 7\r\n#RANK 2\r\n\r\n";
  for (int id = 1; id <= 255; ++id) {
    text += "#WAV" + Hex2(id) + " missing_" + Hex2(id) + ".wav\r\n";
  }
  return text + "\r\n";
}

// Channel lines for measures 1..`measures`: `bgm_lines` lines of background channel 01 and one
// line for each key channel 11-16, 18, 19 per measure, `slots` pairs each. With `objects` above
// 0, exactly that many pairs are nonzero, spread at random; otherwise each pair is nonzero with
// probability `density`.
std::string ChannelLines(int measures, int slots, int bgm_lines, size_t objects, double density) {
  std::vector<std::string> channels(static_cast<size_t>(bgm_lines), "01");
  for (const char* key : {"11", "12", "13", "14", "15", "16", "18", "19"})
    channels.push_back(key);
  const size_t total_slots =
      static_cast<size_t>(measures) * channels.size() * static_cast<size_t>(slots);
  std::mt19937 rng(1234);
  std::vector<bool> filled(total_slots);
  if (objects > 0) {
    std::vector<size_t> order(total_slots);
    for (size_t i = 0; i < total_slots; ++i)
      order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t i = 0; i < std::min(objects, total_slots); ++i)
      filled[order[i]] = true;
  } else {
    std::bernoulli_distribution on(density);
    for (size_t i = 0; i < total_slots; ++i)
      filled[i] = on(rng);
  }
  std::string text;
  size_t slot = 0;
  for (int m = 1; m <= measures; ++m) {
    for (const std::string& ch : channels) {
      text += '#';
      text += Digits3(m);
      text += ch;
      text += ':';
      for (int k = 0; k < slots; ++k) {
        text += filled[slot++] ? Hex2(static_cast<int>(rng() % 255 + 1)) : "00";
      }
      text += "\r\n";
    }
  }
  return text;
}

struct BenchChart {
  const char* name = "";
  std::string path;
  size_t bytes = 0;
};

bench::TempFolder& Folder() {
  static bench::TempFolder folder;
  return folder;
}

BenchChart& SevenKeyChart() {
  static BenchChart chart = [] {
    BenchChart c;
    c.name = "7-key, 20,000 objects";
    const std::string text = HeaderLines() + ChannelLines(600, 16, 1, 20'000, 0);
    c.path = Folder().Write("seven_key.bms", text);
    c.bytes = text.size();
    return c;
  }();
  return chart;
}

BenchChart& LargeChart() {
  static BenchChart chart = [] {
    BenchChart c;
    c.name = "dense, about 5 MB";
    const std::string text = HeaderLines() + ChannelLines(999, 192, 5, 0, 0.25);
    c.path = Folder().Write("large.bms", text);
    c.bytes = text.size();
    return c;
  }();
  return chart;
}

// The baseline: every byte read, decoded and split into lines, nothing interpreted.
size_t ReadAndSplit(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string text = DecodeChartText(bytes);
  NormalizeLineEnds(text);
  const std::vector<std::string_view> lines = SplitCrLf(text);
  benchmark::DoNotOptimize(lines.data());
  return lines.size();
}

// One full load; returns the number of records loaded.
size_t LoadOnce(const std::string& path, Chart& chart, bool extended = false) {
  LoadView view;
  const ElementFlags flags = ElementFlags::FirstStart();
  LoadOptions options;
  options.Extended = extended;
  ChartLoader loader(chart, view, flags, nullptr, options);
  if (loader.LoadBms(path, false) != 0) return 0;
  return chart.ObjectCount();
}

void BM_Baseline(benchmark::State& state, BenchChart& (*which)()) {
  const BenchChart& c = which();
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadAndSplit(c.path));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
}

void BM_Load(benchmark::State& state, BenchChart& (*which)()) {
  const BenchChart& c = which();
  Chart chart;
  size_t objects = 0;
  for (auto _ : state)
    objects = LoadOnce(c.path, chart);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
  state.counters["objects"] = static_cast<double>(objects);
  state.counters["objects/s"] = benchmark::Counter(static_cast<double>(objects),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LoadExtended(benchmark::State& state, BenchChart& (*which)()) {
  const BenchChart& c = which();
  Chart chart;
  size_t objects = 0;
  for (auto _ : state)
    objects = LoadOnce(c.path, chart, /*extended=*/true);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
  state.counters["objects"] = static_cast<double>(objects);
}

void BM_SortObjects(benchmark::State& state) {
  std::vector<BmsObject> shuffled;
  for (int i = 0; i < 20'000; ++i) {
    // About 600 measures of 16th-note positions: ties as in a real chart.
    shuffled.push_back({.Channel = 11, .Position = (i / 2) * 12.0, .Value = 1});
  }
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(42));
  std::vector<BmsObject> table;
  for (auto _ : state) {
    state.PauseTiming();
    table = shuffled;
    state.ResumeTiming();
    SortObjects(table, 0, static_cast<int32_t>(table.size()) - 1);
    benchmark::DoNotOptimize(table.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * shuffled.size()));
}

BENCHMARK_CAPTURE(BM_Baseline, seven_key, SevenKeyChart)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, seven_key, SevenKeyChart)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadExtended, seven_key, SevenKeyChart)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Baseline, large, LargeChart)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, large, LargeChart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortObjects)->Unit(benchmark::kMicrosecond);

using bench::MedianSeconds;

void PrintSummary(const BenchChart& c) {
  constexpr int kRepetitions = 7;
  Chart chart;
  size_t objects = 0;
  const double baseline = MedianSeconds(kRepetitions, [&] { ReadAndSplit(c.path); });
  const double load = MedianSeconds(kRepetitions, [&] { objects = LoadOnce(c.path, chart); });
  std::printf("%s (%zu bytes, %zu objects): load %.2f ms, baseline %.2f ms\n", c.name, c.bytes,
              objects, load * 1e3, baseline * 1e3);
  std::printf("load/baseline ratio: %.2f (target: at most 4.00), objects per second: %.0f\n",
              load / baseline, static_cast<double>(objects) / load);
}

// The extended reading against the classic one on the same chart: the two loads alternate, so
// that both see the same machine state, and the medians of many rounds are compared.
void PrintReadings(const BenchChart& c) {
  constexpr int kRounds = 31;
  Chart chart;
  size_t classic_objects = 0, extended_objects = 0;
  std::vector<double> classic, extended;
  for (int r = 0; r < kRounds; ++r) {
    classic.push_back(MedianSeconds(1, [&] { classic_objects = LoadOnce(c.path, chart, false); }));
    extended.push_back(MedianSeconds(1, [&] { extended_objects = LoadOnce(c.path, chart, true); }));
  }
  const auto median = [](std::vector<double>& times) {
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
  };
  const double classic_s = median(classic), extended_s = median(extended);
  std::printf("%s: classic reading %.2f ms (%zu records), extended reading %.2f ms (%zu records)\n",
              c.name, classic_s * 1e3, classic_objects, extended_s * 1e3, extended_objects);
  std::printf("extended/classic ratio: %.2f (target: at most 1.20)\n", extended_s / classic_s);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, [] {
    quillon::PrintSummary(quillon::SevenKeyChart());
    quillon::PrintSummary(quillon::LargeChart());
    quillon::PrintReadings(quillon::SevenKeyChart());
  });
}
