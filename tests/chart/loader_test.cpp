// The load pipeline as the user sees it, and the compiler's handling of chart text.
#include "chart/loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "chart/recording_view.h"
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

// Measure -> positions of its bar lines.
std::map<int16_t, std::vector<int32_t>> BarLines(const Chart& chart) {
  std::map<int16_t, std::vector<int32_t>> out;
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    if (o.Channel == channel::kBarLine) out[o.Measure].push_back(o.Position);
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

TEST(LoadPipeline, NoDebugTraceWhileLoggingIsOff) {
  auto loaded = std::make_unique<Loaded>();
  loaded->view.debug_logging = false;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader loader(loaded->chart, loaded->view, flags);
  loader.LoadBmsBytes("/x/y.bms", Lines({"#BPM 120", "#00111:01"}), false);
  for (const std::string& entry : loaded->view.log)
    EXPECT_NE(entry.rfind("debug", 0), 0u);
}

TEST(Compiler, TempoVolumeAndScore) {
  auto plain = Load(Lines({"#bpm 150", "#00111:0101", "#00117:0101", "#00120:01"}));
  EXPECT_EQ(plain->chart.StartBpm, 150);
  EXPECT_EQ(plain->chart.CurrentBpm, 150);
  EXPECT_EQ(plain->chart.WaveVolume, 100);
  EXPECT_EQ(plain->chart.NoteCount, 3);  // channel 20 counts, zone channel 17 does not
  EXPECT_DOUBLE_EQ(plain->chart.ScorePerNote, 100000.0 / 3);

  // The tempo is read from the 5th character of the first line containing #BPM.
  EXPECT_EQ(Load(Lines({"#BPM150", "#BPM 90"}))->chart.StartBpm, 150);
  EXPECT_EQ(Load(Lines({"#VOLWAV 0"}))->chart.WaveVolume, 100);
  EXPECT_EQ(Load(Lines({"#VOLWAV 80"}))->chart.WaveVolume, 80);

  // No tempo and no notes: nothing divides by zero.
  auto empty = Load(Lines({"#TITLE nothing"}));
  EXPECT_EQ(empty->chart.StartBpm, 0);
  EXPECT_EQ(empty->chart.TotalTimeMs, 0);
  EXPECT_EQ(empty->chart.ScorePerNote, 0.0);
}

TEST(Compiler, SlotsSpreadEvenlyOverTheMeasure) {
  auto c = Load(Lines({"#BPM 120", "#00011:01020300050607080900AABBCCDDEE0F"}));
  const auto notes = OnChannel(c->chart, 11);
  ASSERT_EQ(notes.size(), 14u);  // two 00 pairs create nothing
  EXPECT_EQ(notes[0], std::make_pair(0, int16_t{1}));
  EXPECT_EQ(notes[1], std::make_pair(12, int16_t{2}));
  EXPECT_EQ(notes.back(), std::make_pair(180, int16_t{15}));

  // Zone channels hold the slot length; ids read as hexadecimal in either case.
  auto zone = Load(Lines({"#00017:0101", "#00012:0a0A0G1G"}));
  EXPECT_EQ(OnChannel(zone->chart, 17),
            (std::vector<std::pair<int32_t, int16_t>>{{0, 96}, {96, 96}}));
  EXPECT_EQ(OnChannel(zone->chart, 12),
            (std::vector<std::pair<int32_t, int16_t>>{{0, 10}, {48, 10}, {144, 1}}));
}

TEST(Compiler, OddDataLengthsAndChannels) {
  // One character: no slot. Three characters: two slots (1.5 rounds to 2), the second a single
  // character.
  EXPECT_TRUE(OnChannel(Load(Lines({"#00111:1"}))->chart, 11).empty());
  EXPECT_EQ(OnChannel(Load(Lines({"#00011:015"}))->chart, 11),
            (std::vector<std::pair<int32_t, int16_t>>{{0, 1}, {96, 5}}));
  // A channel written 1 followed by a letter reads as channel 1; 5, 6 and 28 are skipped.
  EXPECT_EQ(OnChannel(Load(Lines({"#0011A:01"}))->chart, 1).size(), 1u);
  auto skipped = Load(Lines({"#00105:01", "#00106:01", "#00128:01", "#00100:01"}));
  EXPECT_EQ(skipped->chart.ObjectLast, 2);  // only bar line 0 and the two closing ones
  // A measure-length line also yields objects from its characters read as pairs.
  EXPECT_EQ(OnChannel(Load(Lines({"#00102:0.75"}))->chart, 2),
            (std::vector<std::pair<int32_t, int16_t>>{{192 + 72, 0x75}}));
}

TEST(Compiler, ShortenedMeasureShiftsLaterMeasures) {
  auto c = Load(Lines({"#00102:0.75", "#00111:0101", "#00211:01"}));
  const auto bars = BarLines(c->chart);
  EXPECT_EQ(bars.at(1), std::vector<int32_t>{192});
  EXPECT_EQ(bars.at(2), std::vector<int32_t>{336});  // 2 x 192 - 48
  EXPECT_EQ(OnChannel(c->chart, 11),
            (std::vector<std::pair<int32_t, int16_t>>{{192, 1}, {264, 1}, {336, 1}}));

  // As the last measure with data the shortening is never applied.
  auto last = Load(Lines({"#00102:0.75", "#00111:01"}));
  EXPECT_EQ(BarLines(last->chart).at(2), std::vector<int32_t>{384});
  EXPECT_EQ(BarLines(last->chart).at(3), std::vector<int32_t>{576});
  EXPECT_EQ(last->chart.EndPosition, 576);
  EXPECT_EQ(last->chart.LastMeasure, 3);
}

TEST(Compiler, MeasuresOutOfOrderRepeatBarLines) {
  auto c = Load(Lines({"#00511:01", "#00311:01", "#00711:01"}));
  const auto bars = BarLines(c->chart);
  for (int16_t m : {1, 2, 3, 6, 7, 8, 9})
    EXPECT_EQ(bars.at(m).size(), 1u) << m;
  EXPECT_EQ(bars.at(4).size(), 2u);
  EXPECT_EQ(bars.at(5).size(), 2u);
  // Sorted, and each bar line ahead of the objects at its position.
  for (size_t i = 1; i < c->chart.ObjectCount(); ++i) {
    const BmsObject& prev = c->chart.ObjectTable[i - 1];
    const BmsObject& cur = c->chart.ObjectTable[i];
    EXPECT_LE(prev.Position, cur.Position);
    if (prev.Position == cur.Position && cur.Channel == channel::kBarLine) {
      EXPECT_EQ(prev.Channel, channel::kBarLine);
    }
  }
  EXPECT_EQ(c->chart.ObjectTable[0], (BmsObject{channel::kBarLine, 0, 0, false, 0}));
  EXPECT_EQ(c->chart.EndPosition, 9 * 192);
}

TEST(Compiler, PlayLengthFollowsTempoChanges) {
  // 120 BPM, 240 from measure 2, data up to measure 4: the final bar line is measure 6 at 1152.
  auto c = Load(Lines({"#BPM 120", "#00111:01", "#00203:F0", "#00411:01"}));
  EXPECT_EQ(c->chart.EndPosition, 1152);
  EXPECT_EQ(c->chart.TotalTimeMs, 9333);
}

const std::string kTwoBranches = Lines({"#BPM 100", "#RANDOM 2", "#IF 1", "#00111:01", "#ENDIF",
                                        "#IF 2", "#00112:01", "#ENDIF", "#00213:01"});

TEST(RandomBlocks, ChosenBranchIsCompiledAndTheOtherSkipped) {
  auto first = Load(kTwoBranches, LoadOptions{{1}, {}, 4'000'000});
  EXPECT_EQ(OnChannel(first->chart, 11).size(), 1u);
  EXPECT_TRUE(OnChannel(first->chart, 12).empty());
  EXPECT_EQ(OnChannel(first->chart, 13).size(), 1u);

  auto second = Load(kTwoBranches, LoadOptions{{2}, {}, 4'000'000});
  EXPECT_TRUE(OnChannel(second->chart, 11).empty());
  EXPECT_EQ(OnChannel(second->chart, 12).size(), 1u);
  EXPECT_EQ(OnChannel(second->chart, 13).size(), 1u);

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
  // The chosen branch does not exist: the block is left out, the chart goes on.
  auto missing = Load(kTwoBranches, LoadOptions{{3}, {}, 4'000'000});
  EXPECT_TRUE(OnChannel(missing->chart, 11).empty());
  EXPECT_TRUE(OnChannel(missing->chart, 12).empty());
  EXPECT_EQ(OnChannel(missing->chart, 13).size(), 1u);

  // #RANDOM 3 with only two branches: after branch 1 there is no "#IF 3" to jump to.
  const std::string short_block = Lines(
      {"#RANDOM 3", "#IF 1", "#00111:01", "#ENDIF", "#IF 2", "#00112:01", "#ENDIF", "#00213:01"});
  auto c = Load(short_block, LoadOptions{{1}, {}, 4'000'000});
  EXPECT_EQ(OnChannel(c->chart, 11).size(), 1u);
  EXPECT_TRUE(OnChannel(c->chart, 12).empty());
  EXPECT_EQ(OnChannel(c->chart, 13).size(), 1u);

  // An #ENDIF outside any block is ignored.
  auto stray = Load(Lines({"#ENDIF", "#00111:01"}));
  EXPECT_EQ(OnChannel(stray->chart, 11).size(), 1u);
}

TEST(RandomBlocks, NestedBlocksJumpWithinTheirOwnLevel) {
  // Branch 2 of the outer block must not be mistaken for the inner block's "#IF 2".
  const std::string nested = Lines({"#RANDOM 2", "#IF 1", "#00111:01", "#RANDOM 2", "#IF 1",
                                    "#00212:01", "#ENDIF", "#IF 2", "#00213:01", "#ENDIF", "#ENDIF",
                                    "#IF 2", "#00114:01", "#ENDIF", "#00315:01"});
  auto outer2 = Load(nested, LoadOptions{{2}, {}, 4'000'000});
  EXPECT_TRUE(OnChannel(outer2->chart, 11).empty());
  EXPECT_TRUE(OnChannel(outer2->chart, 13).empty());
  EXPECT_EQ(OnChannel(outer2->chart, 14).size(), 1u);
  EXPECT_EQ(OnChannel(outer2->chart, 15).size(), 1u);

  auto inner1 = Load(nested, LoadOptions{{1, 1}, {}, 4'000'000});
  for (int16_t ch : {11, 12, 15})
    EXPECT_EQ(OnChannel(inner1->chart, ch).size(), 1u) << ch;
  for (int16_t ch : {13, 14})
    EXPECT_TRUE(OnChannel(inner1->chart, ch).empty()) << ch;
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

TEST(Encodings, ShiftJisAndUtf8ChartsLoadAlike) {
  // "テスト" in Shift-JIS and in UTF-8 with a byte-order mark.
  const std::string sjis = "#TITLE \x83\x65\x83\x58\x83\x67\r\n#00111:01\r\n";
  const std::string utf8 = "\xEF\xBB\xBF#TITLE テスト\r\n#00111:01\r\n";
  for (const std::string& text : {sjis, utf8}) {
    auto c = Load(text);
    EXPECT_EQ(c->chart.Header.Title, "テスト");
    EXPECT_EQ(OnChannel(c->chart, 11).size(), 1u);
  }
  // LF-only and CR-only files compile like CR LF files.
  EXPECT_EQ(OnChannel(Load("#00111:01\n#00211:01\n")->chart, 11).size(), 2u);
  EXPECT_EQ(OnChannel(Load("#00111:01\r#00211:01\r")->chart, 11).size(), 2u);
}

TEST(BadInput, GarbageNeverBreaksTheLoad) {
  std::string garbage;
  uint32_t x = 12345;
  for (int i = 0; i < 200000; ++i) {
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
