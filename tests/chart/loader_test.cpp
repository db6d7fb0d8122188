// The load pipeline as the user sees it, and the compiler's handling of chart text.
#include "chart/loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "chart/recording_view.h"
#include "support/odd_files.h"
#include "support/test_data.h"

namespace quillon {
namespace {

using test::RecordingView;

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

struct Loaded {
  Chart chart;
  RecordingView view;
};

std::unique_ptr<Loaded> Load(const std::string& text, LoadOptions options = {},
                             ElementFlags flags = ElementFlags::FirstStart(),
                             std::vector<int> answers = {}) {
  auto loaded = std::make_unique<Loaded>();
  loaded->view.answers = std::move(answers);
  if (!options.Seed) options.Seed = 7;
  ChartLoader loader(loaded->chart, loaded->view, flags, nullptr, options);
  EXPECT_EQ(loader.LoadBmsBytes("/no-such-folder/chart.bms", text, false), 0);
  return loaded;
}

// (position, value) of the records on one channel, in table order.
std::vector<std::pair<int32_t, int16_t>> OnChannel(const Chart& chart, int16_t ch) {
  std::vector<std::pair<int32_t, int16_t>> out;
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    if (o.Channel == ch) out.emplace_back(o.Position, o.Value);
  }
  return out;
}

bool Contains(const std::vector<std::string>& log, std::string_view entry) {
  return std::find(log.begin(), log.end(), entry) != log.end();
}

TEST(LoadPipeline, ShowsEveryStageInOrder) {
  test::TempDir dir;
  const std::string path = dir.Write(
      "song.bms", Lines({"#GENRE G", "#TITLE T", "#ARTIST A", "#BPM 150", "#RANDOM 2", "#IF 1",
                         "#00111:01", "#ENDIF", "#IF 2", "#00112:01", "#ENDIF", "#00102:0.75"}));
  Chart chart;
  RecordingView view;
  LoadOptions options;
  options.Choices = {2};
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader loader(chart, view, flags, nullptr, options);
  ASSERT_EQ(loader.LoadBms(path, false), 0);

  const std::vector<std::string> expected = {
      "debug Read file ---------------",
      "debug " + path,
      "clear persistent",
      "debug Initalizing...",
      "progress Initalizing...",
      "reset-play",
      "line Initalizing...Done",
      "debug Initalizing...Done",
      "settings",
      "caption Loading... \"T\" - Quillon",
      "debug Reading Information...",
      "line Now Loading...",
      "stage",
      "title-info T",
      "properties T",
      "debug Compiling BMS / size:" + std::to_string(test::ReadFile(path).size()),
      "chart-text " + std::to_string(test::ReadFile(path).size()),
      "debug TimeChange in 1 size 0.75",
      "bottom",
      "bar 0.100000",
      "progress [10%] Compiling BMS...",
      "debug #RANDOM(1) > 2",
      "debug #ENDIF(1)",
      "debug Compile Complete",
      "progress [90%] Sorting Objects...",
      "debug Sort Objects",
      "progress [100%] Load Complete!",
      "bar 1.000000",
      "debug Load Complete ----------------",
      "lanes 5",
      "title-text (G) T / A   ",
      "notes 1 100000.000000",
      "events",
      "clear",
      "tempo 75,112,150,225,300, 150",
      "start-measure 0",
      "caption [Quillon] (G) T / A   ",
  };
  EXPECT_EQ(view.log, expected);
  EXPECT_EQ(OnChannel(chart, 12).size(), 1u);
  EXPECT_TRUE(OnChannel(chart, 11).empty());
}

TEST(LoadPipeline, MissingFileReportsAndLeavesTheChartEmpty) {
  Chart chart;
  chart.Header.Title = "old";
  RecordingView view;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader loader(chart, view, flags);
  EXPECT_EQ(loader.LoadBms("/no/such/chart.bms", false), -1);
  ASSERT_GE(view.log.size(), 2u);
  EXPECT_EQ(view.log[view.log.size() - 2], "debug Error: FileNotFound");
  EXPECT_EQ(view.log.back(), "line File not found.");
  EXPECT_EQ(chart.ObjectLast, 0);
  EXPECT_EQ(chart.Header.Title, "");
}

// A path that names no chart to read is refused with one line before anything is reset: the
// chart loaded before stays as it was. A file gone by the time it is read is a missing one.
TEST(LoadPipeline, RefusedFilesLeaveTheLoadedChartAlone) {
  test::TempDir dir;
  const std::string good = dir.Write("good.bms", Lines({"#TITLE good", "#00111:01"}));
  Chart chart;
  RecordingView view;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader loader(chart, view, flags);
  for (const test::OddFile& odd : test::MakeOddFiles(dir, ".bms", uint64_t{100} << 20)) {
    SCOPED_TRACE(odd.name);
    ASSERT_EQ(loader.LoadBms(good, false), 0);
    const int32_t objects = chart.ObjectLast;
    view.log.clear();
    if (odd.refusal == FileRefusal::Missing) {
      EXPECT_EQ(loader.LoadBms(odd.path, false), -1);
      EXPECT_EQ(view.log.back(), "line File not found.");
      continue;
    }
    EXPECT_EQ(loader.LoadBms(odd.path, false), kChartRefused);
    EXPECT_EQ(view.log, std::vector<std::string>{
                            "line " + RefusalText(odd.refusal, "chart", odd.path, odd.error)});
    EXPECT_EQ(chart.Header.Title, "good");
    EXPECT_EQ(chart.ObjectLast, objects);
  }
  view.log.clear();
  EXPECT_EQ(loader.LoadBms(dir.path().string(), false), kChartRefused);
  EXPECT_EQ(view.log, std::vector<std::string>{"line Not a chart file: " + dir.path().string()});
}

TEST(LoadPipeline, NoDebugTraceWhileLoggingIsOff) {
  auto loaded = std::make_unique<Loaded>();
  loaded->view.debug_logging = false;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader loader(loaded->chart, loaded->view, flags);
  loader.LoadBmsBytes("/x/y.bms", Lines({"#BPM 120", "#00111:01"}), false);
  for (const std::string& entry : loaded->view.log)
    EXPECT_NE(entry.rfind("debug", 0), 0u);
}

TEST(Compiler, NoteCountAndScore) {
  // Channel 20 counts as a note, zone channel 17 does not.
  auto plain = Load(Lines({"#bpm 150", "#VOLWAV 80", "#00111:0101", "#00117:0101", "#00120:01"}));
  EXPECT_EQ(plain->chart.WaveVolume, 80);
  EXPECT_EQ(plain->chart.NoteCount, 3);
  EXPECT_DOUBLE_EQ(plain->chart.ScorePerNote, 100000.0 / 3);
  // No tempo and no notes: nothing divides by zero.
  auto empty = Load(Lines({"#TITLE nothing"}));
  EXPECT_EQ(empty->chart.TotalTimeMs, 0);
  EXPECT_EQ(empty->chart.ScorePerNote, 0.0);
}

const std::string kTwoBranches = Lines({"#BPM 100", "#RANDOM 2", "#IF 1", "#00111:01", "#ENDIF",
                                        "#IF 2", "#00112:01", "#ENDIF", "#00213:01"});

TEST(RandomBlocks, UnforcedChoicesAreRandomButRepeatable) {
  // Unforced choices come from the seeded generator: both branches occur, never both at once.
  std::set<size_t> seen;
  for (uint64_t seed = 1; seed <= 16; ++seed) {
    auto c = Load(kTwoBranches, LoadOptions{{}, seed, 4'000'000});
    const size_t ones = OnChannel(c->chart, 11).size();
    EXPECT_EQ(ones + OnChannel(c->chart, 12).size(), 1u);
    seen.insert(ones);
  }
  EXPECT_EQ(seen.size(), 2u);
}

TEST(RandomBlocks, RandomSelectAsksAtEachBlock) {
  ElementFlags flags = ElementFlags::FirstStart();
  flags.Set(Element::RandomSelect, true);
  auto c = Load(kTwoBranches + kTwoBranches, {}, flags, {2, -1});
  std::vector<std::string> asked;
  for (const std::string& entry : c->view.log) {
    if (entry.rfind("ask", 0) == 0) asked.push_back(entry);
  }
  EXPECT_EQ(asked, (std::vector<std::string>{"ask 1個目 of 2", "ask 2個目 of 2"}));
  // The first answer chose branch 2; closing without a choice counts as "Random".
  EXPECT_TRUE(Contains(c->view.log, "debug #RANDOM(1) > 2"));
  EXPECT_EQ(OnChannel(c->chart, 13).size(), 2u);
}

TEST(RandomBlocks, BrokenBlocksNeverSwallowTheRest) {
  // #RANDOM 3 with only two branches: after branch 1 there is no "#IF 3" to jump to.
  const std::string short_block = Lines(
      {"#RANDOM 3", "#IF 1", "#00111:01", "#ENDIF", "#IF 2", "#00112:01", "#ENDIF", "#00213:01"});
  auto c = Load(short_block, LoadOptions{{1}, {}, 4'000'000});
  EXPECT_EQ(OnChannel(c->chart, 11).size(), 1u);
  EXPECT_TRUE(OnChannel(c->chart, 12).empty());
  EXPECT_EQ(OnChannel(c->chart, 13).size(), 1u);
}

TEST(RandomBlocks, NestingDeeperThanTheSlotsIsLeftOut) {
  // 60 nested blocks of one branch each; the innermost ten are skipped whole.
  std::string text;
  for (int depth = 1; depth <= 60; ++depth) {
    text += "#RANDOM 1\r\n#IF 1\r\n";
    text += "#" + std::string(depth < 10 ? "00" : "0") + std::to_string(depth) + "11:01\r\n";
  }
  for (int depth = 1; depth <= 60; ++depth)
    text += "#ENDIF\r\n";
  text += "#10011:01\r\n";
  auto c = Load(text);
  const auto notes = OnChannel(c->chart, 11);
  ASSERT_EQ(notes.size(), 51u);  // measures 1..50 and the line after all blocks
  EXPECT_EQ(notes[49].first, 50 * 192);
  EXPECT_EQ(notes.back().first, 100 * 192);
}

TEST(ObjectLimit, SurplusIsReportedAndTheChartStillCloses) {
  std::string data;
  for (int i = 0; i < 100; ++i)
    data += "01";
  LoadOptions options;
  options.ObjectLimit = 50;
  auto c = Load(Lines({"#BPM 120", "#00111:" + data, "#00211:01"}), options);
  EXPECT_EQ(c->chart.ObjectCount(), 50u);
  EXPECT_TRUE(Contains(c->view.log, "line " + std::string(kObjectLimitText)));
  const BmsObject& last = c->chart.ObjectTable[c->chart.ObjectLast];
  EXPECT_EQ(last.Channel, channel::kBarLine);
  EXPECT_EQ(last.Position, c->chart.EndPosition);
  EXPECT_GT(c->chart.TotalTimeMs, 0);
}

TEST(BadInput, GarbageNeverBreaksTheLoad) {
  std::string garbage;
  uint32_t x = 12345;
  for (int i = 0; i < 10'000'000; ++i) {  // 10 MB of binary noise
    x = x * 1103515245u + 12345u;
    garbage += static_cast<char>(x >> 24);
  }
  garbage += "\r\n#00111:" + std::string(100000, '1') + "\r\n#9E911:01\r\n#3E211:01\r\n";
  auto c = Load(garbage);
  EXPECT_EQ(c->chart.ObjectTable[c->chart.ObjectLast].Position, c->chart.EndPosition);
  EXPECT_GE(OnChannel(c->chart, 11).size(), 50000u + 1u);  // 9E9 is past the last measure
}

}  // namespace
}  // namespace quillon
