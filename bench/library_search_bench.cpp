// The library's search as the user types: every keystroke is one Find over 100,000 rows.
//
// The rows are generated: Japanese and English titles and artists of realistic lengths,
// difficulty subtitles, genres, and folders below a library root (some named in CP932). Queries
// are typed a character at a time ("a", "ar", "art", ...), in English, in Japanese, in full-width
// letters and as two words. The summary prints the median and 99th percentile time per keystroke
// (target <= 30 ms each) and the same keystrokes against a baseline measured in the same run: a
// plain std::string::find of the typed text over each row's fields, no normalising.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "library/library.h"

namespace quillon {
namespace {

constexpr int kRows = 100'000;

const char* const kEnglishWords[] = {
    "night", "star",    "dream",   "light",  "heart",  "fire",  "sky",     "rain",
    "moon",  "crystal", "echo",    "memory", "velvet", "storm", "garden",  "silver",
    "ocean", "winter",  "eternal", "broken", "paper",  "glass", "machine", "festival"};
const char* const kJapaneseWords[] = {"夜空", "花火",   "ガール", "桜",   "星屑", "幻想", "恋",
                                      "未来", "ひかり", "さくら", "雨音", "約束", "宇宙", "夢"};
const char* const kArtists[] = {"Artist",     "DJ Sample", "t+pazolite", "kors k",   "Ryu☆",
                                "猫叉Master", "xi",        "sasakure",   "ねこみみ", "カメリア",
                                "Sota F.",    "Ｌｅａｆ",  "Yamajet",    "削除",     "Hommarju"};
const char* const kGenres[] = {"TECHNO",      "HARDCORE", "TRANCE", "J-POP",   "ARTCORE",
                               "DRUM'N'BASS", "ピアノ",   "ロック", "EUROBEAT"};
const char* const kSubtitles[] = {"",          "",         "[NORMAL]", "[HYPER]",
                                  "[ANOTHER]", "[INSANE]", "-7keys-"};

std::vector<ChartRecord> MakeRows() {
  std::mt19937 random(19);
  const auto pick = [&random](const auto& list) {
    const size_t n = std::size(list);
    return std::string(list[random() % n]);
  };
  std::vector<ChartRecord> rows;
  rows.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    ChartRecord row;
    const int words = 1 + static_cast<int>(random() % 4);
    for (int w = 0; w < words; ++w) {
      if (w > 0) row.Title += ' ';
      row.Title += random() % 3 == 0 ? pick(kJapaneseWords) : pick(kEnglishWords);
    }
    if (random() % 5 == 0) row.Title[0] = static_cast<char>(row.Title[0] & ~0x20);
    row.SubTitle = pick(kSubtitles);
    row.Artist = pick(kArtists);
    if (random() % 4 == 0) row.Artist += " feat. " + pick(kArtists);
    row.Genre = pick(kGenres);
    // Two to four charts a folder, 200 folders a pack; one folder in eight named in CP932.
    const int folder = i / 3;
    row.Folder = "/home/user/BMS/Pack " + std::to_string(folder / 200) + "/";
    row.Folder += folder % 8 == 0 ? "\x8B\xC8"
                                    "_"
                                  : "song_";  // "曲" in CP932
    row.Folder += std::to_string(folder) + "/";
    row.Path = row.Folder + "chart" + std::to_string(i % 3) + ".bms";
    row.Mode = random() % 4 == 0 ? 14 : 7;
    row.PlayLevel = 1 + static_cast<int32_t>(random() % 12);
    rows.push_back(std::move(row));
  }
  return rows;
}

const std::vector<ChartRecord>& Rows() {
  static const std::vector<ChartRecord> rows = MakeRows();
  return rows;
}

const LibrarySearch& Search() {
  static const LibrarySearch search = [] {
    LibrarySearch s;
    s.Reset(Rows());
    return s;
  }();
  return search;
}

// The plain pass: each row's fields as they are, one after another.
const std::vector<std::string>& PlainKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> all;
    for (const ChartRecord& row : Rows()) {
      all.push_back(row.Title + '\n' + row.SubTitle + '\n' + row.Artist + '\n' + row.Genre + '\n' +
                    row.Folder);
    }
    return all;
  }();
  return keys;
}

size_t PlainFind(const std::string& text) {
  size_t found = 0;
  for (const std::string& key : PlainKeys())
    found += key.find(text) != std::string::npos ? 1 : 0;
  return found;
}

// Each query and every prefix of it that ends on a whole character.
std::vector<std::string> Keystrokes() {
  const char* const queries[] = {"artist",           "night",   "festival",  "ガール", "夜空",
                                 "ｆｅｓｔｉｖａｌ", "dj samp", "star anot", "曲_12"};
  std::vector<std::string> typed;
  for (const std::string query : queries) {
    for (size_t n = 1; n <= query.size(); ++n) {
      if (n < query.size() && (static_cast<unsigned char>(query[n]) & 0xC0) == 0x80) continue;
      typed.push_back(query.substr(0, n));
    }
  }
  return typed;
}

struct Times {
  double median = 0;
  double p99 = 0;
  size_t count = 0;
};

template <typename F>
Times PerKeystroke(int rounds, F&& find) {
  std::vector<double> times;
  const std::vector<std::string> typed = Keystrokes();
  for (int r = 0; r < rounds; ++r) {
    for (const std::string& text : typed) {
      const auto start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(find(text));
      times.push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
  }
  std::sort(times.begin(), times.end());
  Times result;
  result.count = times.size();
  result.median = times[times.size() / 2];
  result.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
  return result;
}

void BM_FindOneLetter(benchmark::State& state) {
  const LibrarySearch& search = Search();  // built before the timing
  for (auto _ : state)
    benchmark::DoNotOptimize(search.Find("a"));
}

void BM_FindWord(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(Search().Find("ｆｅｓｔｉｖａｌ"));
}

void BM_PlainFindWord(benchmark::State& state) {
  PlainKeys();
  for (auto _ : state)
    benchmark::DoNotOptimize(PlainFind("festival"));
}

void BM_Reset(benchmark::State& state) {
  for (auto _ : state) {
    LibrarySearch search;
    search.Reset(Rows());
    benchmark::DoNotOptimize(search.Size());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_FindOneLetter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindWord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFindWord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reset)->Unit(benchmark::kMillisecond);

void PrintSummary() {
  constexpr int kRounds = 5;
  const LibrarySearch& search = Search();
  const Times ours =
      PerKeystroke(kRounds, [&](const std::string& text) { return search.Find(text).size(); });
  const Times plain = PerKeystroke(kRounds, PlainFind);
  std::printf("search over %d rows, %zu keystrokes: median %.2f ms, p99 %.2f ms (target <= 30)\n",
              search.Size(), ours.count, ours.median * 1e3, ours.p99 * 1e3);
  std::printf("plain std::string::find: median %.2f ms, p99 %.2f ms\n", plain.median * 1e3,
              plain.p99 * 1e3);
  std::printf("search/plain ratio: median %.2f, p99 %.2f\n", ours.median / plain.median,
              ours.p99 / plain.p99);
  const double reset = bench::MedianSeconds(3, [] {
    LibrarySearch fresh;
    fresh.Reset(Rows());
  });
  std::printf("Reset (keys for %d rows): %.0f ms\n", kRows, reset * 1e3);
  std::printf("matches: \"a\" %zu, \"night\" %zu, \"ガール\" %zu, \"ｆｅｓｔｉｖａｌ\" %zu\n",
              search.Find("a").size(), search.Find("night").size(), search.Find("ガール").size(),
              search.Find("ｆｅｓｔｉｖａｌ").size());
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
