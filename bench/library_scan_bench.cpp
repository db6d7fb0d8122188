// Library scans over a generated tree of 10,000 charts.
//
// The charts look like real ones: 1,000-3,000 objects over 80-140 measures of 8 or 16 slots,
// a few hundred #WAV lines, 20-80 KB of text, two to four charts per song folder. Printed: the
// first scan in charts per second beside the time to only read the same files (no parsing, no
// hashing) in the same run, and a rescan with nothing changed. The registered benchmarks time one
// chart's record against reading its bytes.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "bench_support.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "library/library.h"
#include "platform/file_io.h"

namespace quillon {
namespace {

constexpr int kCharts = 10'000;
constexpr char kBase36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string Id(int v) {
  return {kBase36[(v / 36) % 36], kBase36[v % 36]};
}

std::string MakeChart(std::mt19937& rng, int number) {
  std::string text = "#PLAYER 1\r\n#GENRE Bench\r\n#TITLE Song " + std::to_string(number) +
                     "\r\n#ARTIST Someone\r\n#BPM 150\r\n#PLAYLEVEL " +
                     std::to_string(number % 12 + 1) + "\r\n#RANK 2\r\n#TOTAL 300\r\n";
  const int sounds = 200 + static_cast<int>(rng() % 400);
  for (int i = 1; i <= sounds; ++i)
    text += "#WAV" + Id(i) + " sound_" + std::to_string(i) + ".ogg\r\n";
  text += "#BMP01 bga.mpg\r\n";
  const int measures = 80 + static_cast<int>(rng() % 60);
  const int target = 1000 + static_cast<int>(rng() % 2000);
  const int lanes[] = {1, 1, 1, 11, 12, 13, 14, 15, 16, 18, 19};
  const int slots = rng() % 2 ? 8 : 16;
  // Chance of an object per slot, so that the chart holds about `target` objects.
  const double density = static_cast<double>(target) / (measures * std::size(lanes) * slots);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int m = 0; m < measures; ++m) {
    for (int lane : lanes) {
      char head[16];
      std::snprintf(head, sizeof head, "#%03d%02d:", m, lane);
      text += head;
      for (int s = 0; s < slots; ++s)
        text += unit(rng) < density ? Id(1 + static_cast<int>(rng() % sounds)) : "00";
      text += "\r\n";
    }
  }
  return text;
}

struct Tree {
  Tree();
  bench::TempFolder folder;
  std::string root;
  std::vector<std::string> paths;
  uint64_t bytes = 0;
};

Tree::Tree() {
  Tree& t = *this;
  {
    t.root = t.folder.Path("library");
    std::mt19937 rng(19);
    int song = 0;
    while (static_cast<int>(t.paths.size()) < kCharts) {
      const int per_folder = 2 + static_cast<int>(rng() % 3);
      const std::string dir =
          "library/genre" + std::to_string(song % 40) + "/song" + std::to_string(song) + "/";
      for (int c = 0; c < per_folder && static_cast<int>(t.paths.size()) < kCharts; ++c) {
        const std::string text = MakeChart(rng, static_cast<int>(t.paths.size()));
        t.bytes += text.size();
        std::filesystem::create_directories(t.folder.Path(dir));
        t.paths.push_back(t.folder.Write(dir + "chart" + std::to_string(c) + ".bme", text));
      }
      ++song;
    }
  }
}

Tree& TheTree() {
  static Tree tree;
  return tree;
}

void BM_ReadChartRecord(benchmark::State& state) {
  const std::string& path = TheTree().paths[0];
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadChartRecord(path));
}
BENCHMARK(BM_ReadChartRecord)->Unit(benchmark::kMicrosecond);

void BM_ReadBytesOnly(benchmark::State& state) {
  const std::string& path = TheTree().paths[0];
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadUserFile(path, kChartFileCap));
}
BENCHMARK(BM_ReadBytesOnly)->Unit(benchmark::kMicrosecond);

// CPU seconds of the whole process (every thread) so far: the scan's cost apart from what else
// the shared machine runs.
double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintSummary() {
  Tree& tree = TheTree();
  // Reading every file once also brings them all into the page cache for the scan.
  auto start = std::chrono::steady_clock::now();
  uint64_t read_bytes = 0;
  for (const std::string& path : tree.paths)
    read_bytes += ReadUserFile(path, kChartFileCap).bytes.size();
  const double read_only = Seconds(start);

  const std::string db_path = tree.folder.Path("library.sqlite");
  LibraryDatabase db;
  std::string message;
  if (db.Open(db_path, message) != LibraryDatabase::Status::Ok ||
      !db.AddFolder(tree.root, message)) {
    std::printf("cannot open the database: %s\n", message.c_str());
    return;
  }
  start = std::chrono::steady_clock::now();
  const double cpu_start = CpuSeconds();
  const ScanProgress first = ScanLibrary(db);
  const double first_scan = Seconds(start);
  const double first_cpu = CpuSeconds() - cpu_start;
  start = std::chrono::steady_clock::now();
  const ScanProgress rescan = ScanLibrary(db);
  const double rescan_time = Seconds(start);

  std::printf("tree: %zu charts, %.1f MB (%.1f KB each on average)\n", tree.paths.size(),
              static_cast<double>(read_bytes) / 1e6,
              static_cast<double>(read_bytes) / 1e3 / static_cast<double>(tree.paths.size()));
  std::printf(
      "first scan: %lld charts read (%lld failed) in %.2f s: %.0f charts/s (target >= "
      "1000)\n",
      static_cast<long long>(first.Read), static_cast<long long>(first.Failed), first_scan,
      static_cast<double>(first.Read) / first_scan);
  std::printf(
      "first scan CPU time: %.2f s over all threads (%.0f us per chart; two free cores "
      "would scan %.0f charts/s)\n",
      first_cpu, first_cpu * 1e6 / static_cast<double>(first.Read),
      2.0 * static_cast<double>(first.Read) / first_cpu);
  std::printf("reading the same files only: %.3f s (%.0f files/s); scan/read ratio %.1f\n",
              read_only, static_cast<double>(tree.paths.size()) / read_only,
              first_scan / read_only);
  std::printf("rescan, nothing changed: %.3f s, %lld unchanged, %lld read (target <= 1 s)\n",
              rescan_time, static_cast<long long>(rescan.Unchanged),
              static_cast<long long>(rescan.Read));
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
