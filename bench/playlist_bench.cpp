// Playlist loading and saving against the cheapest pass over the same file, and adding charts.
//
// A generated .bpl of 10,000 entries (Japanese and ASCII texts, paths of about 60 bytes) is
// written once to a temporary folder. Loading it into the list and saving the list back (to a
// temporary file renamed over the old one, flushed to disk) is timed against a baseline measured
// in the same run: read the file's bytes and write them to another file. The summary prints the
// ratio, the figure to compare between machines. AddList of 1,000 generated charts (header scan
// without file checks) prints charts per second.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "playlist/playlist.h"

namespace quillon {
namespace {

class NullHost : public PlaylistHost {
 public:
  int32_t LoadChart(const std::string&, bool) override { return -1; }
  void StopFile(bool) override {}
  void PlayFile() override {}
  std::string LoadedFilePath() const override { return {}; }
  bool IsPlaying() const override { return false; }
  int RepeatMode() const override { return 0; }
  void RearmEndTimer() override {}
  void SetPlaylistButton(bool) override {}
};

class NullView : public PlaylistView {
 public:
  SaveAnswer AskSaveChanges() override { return SaveAnswer::No; }
  std::string ChooseOpenFile() override { return {}; }
  std::string ChooseSaveFile() override { return {}; }
  void ReportSaveError(const std::string&) override {}
  void ReportRefusedFiles(const std::string&) override {}
  void ArmPlayStart() override {}
};

bench::TempFolder& Folder() {
  static bench::TempFolder folder;
  return folder;
}

constexpr int kEntries = 10'000;
constexpr int kCharts = 1'000;

const std::string& ListFile() {
  static const std::string path = [] {
    std::string bytes;
    for (int i = 0; i < kEntries; ++i) {
      const std::string n = std::to_string(i);
      bytes += (i % 3 == 0 ? "トランス" : "Hard Techno") + std::string("\t");
      bytes += "曲名 number " + n + "\tArtist " + std::to_string(i % 97) + "\t";
      bytes += i % 2 == 0 ? "--:--" : "02:31";
      bytes += "\t/home/user/Music/BMS/Package " + std::to_string(i / 10) + "/chart_" + n +
               "_7key.bms\r\n";
    }
    return Folder().Write("list.bpl", bytes);
  }();
  return path;
}

const std::vector<std::string>& ChartFiles() {
  static const std::vector<std::string> files = [] {
    std::vector<std::string> paths;
    for (int i = 0; i < kCharts; ++i) {
      std::string text = "#PLAYER 1\r\n#GENRE Genre " + std::to_string(i % 13) +
                         "\r\n#TITLE Title " + std::to_string(i) + "\r\n#ARTIST someone\r\n";
      text += "#BPM 150\r\n#PLAYLEVEL 5\r\n#RANK 2\r\n";
      for (int w = 1; w < 100; ++w)
        text += "#WAV" + std::to_string(w + 10) + " sound" + std::to_string(w) + ".wav\r\n";
      for (int m = 0; m < 100; ++m)
        text += "#" + std::to_string(100 + m) + "11:01000100\r\n";
      paths.push_back(Folder().Write("chart" + std::to_string(i) + ".bms", text));
    }
    return paths;
  }();
  return files;
}

void Baseline() {
  const FileRead read = ReadUserFile(ListFile(), kPlaylistFileCap);
  std::ofstream out(Folder().Path("copy.bpl"), std::ios::binary);
  out.write(read.bytes.data(), static_cast<std::streamsize>(read.bytes.size()));
}

size_t LoadAndSave() {
  NullHost host;
  NullView view;
  Playlist list(host, view);
  list.Loadlist(ListFile());
  list.Savelist(Folder().Path("saved.bpl"));
  return list.size();
}

size_t AddCharts() {
  NullHost host;
  NullView view;
  Playlist list(host, view);
  for (const std::string& file : ChartFiles())
    list.AddList(file);
  return list.size();
}

void BM_Baseline(benchmark::State& state) {
  for (auto _ : state)
    Baseline();
}

void BM_LoadAndSave(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadAndSave());
  state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_AddList(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(AddCharts());
  state.SetItemsProcessed(state.iterations() * kCharts);
}

BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddList)->Unit(benchmark::kMillisecond);

void PrintSummary() {
  constexpr int kRepetitions = 9;
  size_t entries = 0;
  const double baseline = bench::MedianSeconds(kRepetitions, Baseline);
  const double load_save = bench::MedianSeconds(kRepetitions, [&] { entries = LoadAndSave(); });
  std::printf("playlist of %zu entries (%ju bytes): load+save %.2f ms, read+write %.2f ms\n",
              entries, static_cast<uintmax_t>(std::filesystem::file_size(ListFile())),
              load_save * 1e3, baseline * 1e3);
  std::printf("load+save/baseline ratio: %.2f (target <= 5)\n", load_save / baseline);
  size_t added = 0;
  const double add = bench::MedianSeconds(kRepetitions, [&] { added = AddCharts(); });
  std::printf("AddList of %zu charts: %.2f ms, %.0f charts per second\n", added, add * 1e3,
              static_cast<double>(added) / add);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
