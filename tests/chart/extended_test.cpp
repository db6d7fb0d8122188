// The extended reading: ids, branches, positions, overlays, long notes, tempos and bad input.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chart/branches.h"
#include "chart/extended_compiler.h"
#include "chart/ids.h"
#include "chart/loader.h"
#include "chart/recording_view.h"

namespace quillon {
namespace {

struct Loaded {
  Chart chart;
  test::RecordingView view;
  int32_t result = 0;
};

std::string Text(std::initializer_list<std::string_view> lines) {
  std::string text = "#BPM 120\r\n";
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::unique_ptr<Loaded> Load(const std::string& text, std::vector<int> choices = {},
                             ElementFlags flags = ElementFlags::FirstStart()) {
  auto loaded = std::make_unique<Loaded>();
  LoadOptions options;
  options.Extended = true;
  options.Seed = 3;
  options.Choices = std::move(choices);
  ChartLoader loader(loaded->chart, loaded->view, flags, nullptr, options);
  loaded->result = loader.LoadBmsBytes("/no-such-folder/chart.bms", text, false);
  return loaded;
}

// (position, value) of one channel's records, in table order.
std::vector<std::pair<double, int>> On(const Chart& chart, int ch) {
  std::vector<std::pair<double, int>> out;
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    if (chart.ObjectTable[i].Channel == ch) {
      out.emplace_back(chart.ObjectTable[i].Position, chart.ObjectTable[i].Value);
    }
  }
  return out;
}

using Objects = std::vector<std::pair<double, int>>;

TEST(ExtendedIds, Base36AndBase62) {
  EXPECT_EQ(ReadId('Z', 'Z', 36), 1295);
  EXPECT_EQ(ReadId('z', 'z', 36), 1295);
  EXPECT_EQ(ReadId('0', 'g', 36), ReadId('0', 'G', 36));
  EXPECT_EQ(ReadId('z', 'z', 62), 3843);
  EXPECT_NE(ReadId('0', 'a', 62), ReadId('0', 'A', 62));
  EXPECT_EQ(ReadId('0', '0', 36), 0);
  EXPECT_EQ(ReadId('0', '-', 62), 0);

  // Base 36 in a chart: case-insensitive; a pair outside the base is no object.
  auto b36 = Load(Text({"#00111:0g0G-1ZZ"}));
  EXPECT_EQ(On(b36->chart, 11), (Objects{{192, 16}, {240, 16}, {336, 1295}}));
  EXPECT_EQ(b36->chart.SoundTable.size(), size_t(kIdCount36));
  // #BASE 62: the ids keep their case, in channel data and definitions alike.
  auto b62 = Load(Text({"#BASE 62", "#BPMaa 150", "#00111:0a0A", "#00108:aa"}));
  EXPECT_EQ(On(b62->chart, 11), (Objects{{192, 36}, {288, 10}}));
  EXPECT_EQ(On(b62->chart, 8), (Objects{{192, 36 * 62 + 36}}));
  EXPECT_DOUBLE_EQ(b62->chart.BpmValues[36 * 62 + 36], 150.0);
  EXPECT_EQ(b62->chart.BgaPictures.size(), size_t(kIdCount62));
}

TEST(ExtendedBranches, NestingSwitchesAndUnclosedBlocks) {
  // A block inside a branch not taken draws nothing: the second choice goes to the last block.
  const std::string nested = Text({"#RANDOM 2", "#IF 1",      "#RANDOM 2", "#IF 2",     "#00111:01",
                                   "#ENDIF",    "#ENDRANDOM", "#ENDIF",    "#IF 2",     "#00112:01",
                                   "#ENDIF",    "#ENDRANDOM", "#RANDOM 3", "#IF 3",     "#00113:01",
                                   "#ELSEIF 2", "#00114:01",  "#ELSE",     "#00115:01", "#ENDIF"});
  auto taken = Load(nested, {2, 3});
  EXPECT_EQ(On(taken->chart, 12).size(), 1u);
  EXPECT_EQ(On(taken->chart, 13).size(), 1u);
  EXPECT_TRUE(On(taken->chart, 11).empty() && On(taken->chart, 14).empty());
  auto inner = Load(nested, {1, 2, 1});
  EXPECT_EQ(On(inner->chart, 11).size(), 1u);
  EXPECT_EQ(On(inner->chart, 15).size(), 1u);  // #ELSE
  // The random-select question is asked only for blocks that are met; SETRANDOM asks nothing.
  ElementFlags ask = ElementFlags::FirstStart();
  ask.Set(Element::RandomSelect, true);
  auto asked = Load(Text({"#SETRANDOM 1", "#IF 2", "#RANDOM 5", "#ENDIF", "#SWITCH 4"}), {}, ask);
  std::vector<std::string> questions;
  for (const std::string& entry : asked->view.log)
    if (entry.starts_with("ask")) questions.push_back(entry);
  EXPECT_EQ(questions, std::vector<std::string>{"ask 1個目 of 4"});

  // Switch: a matched case falls through to #SKIP; #DEF only when nothing matched.
  const std::string sw = Text({"#SWITCH 3", "#CASE 1", "#00111:01", "#CASE 2", "#00112:01", "#SKIP",
                               "#CASE 3", "#00113:01", "#DEF", "#00114:01", "#ENDSW", "#00115:01"});
  auto one = Load(sw, {1});
  EXPECT_EQ(On(one->chart, 11).size() + On(one->chart, 12).size(), 2u);
  EXPECT_TRUE(On(one->chart, 13).empty() && On(one->chart, 14).empty());
  auto three = Load(sw, {3});
  EXPECT_EQ(On(three->chart, 13).size() + On(three->chart, 14).size(), 2u);
  auto none = Load(sw, {9});
  EXPECT_EQ(On(none->chart, 14).size(), 1u);
  EXPECT_TRUE(On(none->chart, 13).empty());
  for (const auto* c : {&one->chart, &three->chart, &none->chart})
    EXPECT_EQ(On(*c, 15).size(), 1u);  // after #ENDSW: always

  // Never closed: a #RANDOM inside an #IF ends with that #ENDIF; one on the same level starts
  // the next block; #ENDIF without a block is ignored.
  auto open =
      Load(Text({"#ENDIF", "#RANDOM 2", "#IF 1", "#RANDOM 2", "#IF 2", "#00111:01", "#ENDIF",
                 "#ENDIF", "#00112:01", "#RANDOM 2", "#IF 2", "#00113:01", "#ENDIF", "#00114:01"}),
           {1, 1, 2});
  EXPECT_TRUE(On(open->chart, 11).empty());
  EXPECT_EQ(On(open->chart, 12).size(), 1u);
  EXPECT_EQ(On(open->chart, 13).size(), 1u);
  EXPECT_EQ(On(open->chart, 14).size(), 1u);

  // Definitions in branches not taken do not count.
  auto defs =
      Load(Text({"#RANDOM 2", "#IF 2", "#BPM01 200", "#LNOBJ ZZ", "#ENDIF", "#00108:01"}), {1});
  EXPECT_TRUE(On(defs->chart, 8).empty());
  EXPECT_EQ(defs->chart.Header.LnObj, 0);
}

TEST(ExtendedPositions, ExactSlotsLengthsAndOverlays) {
  // Slot 1 of 7 lies at exactly 192/7; measure 0 takes its own length, measure 1 starts after it.
  auto c = Load(
      Text({"#00002:0.75", "#00011:00010000000000", "#00111:01", "#00202:abc", "#00212:0001"}));
  const Objects keys = On(c->chart, 11);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].first, 0.75 * 192 * (1.0 / 7));
  EXPECT_EQ(keys[1].first, 144.0);
  EXPECT_EQ(On(c->chart, 12), (Objects{{336 + 96, 1}}));  // a bad length reads as 1
  // Bar lines: one per measure and the two closing ones, at the measure starts.
  const Objects bars = On(c->chart, channel::kBarLine);
  ASSERT_EQ(bars.size(), 5u);
  EXPECT_EQ(bars[1].first, 144.0);
  EXPECT_EQ(c->chart.EndPosition, 144.0 + 3 * 192);

  // Overlays: the later line stands on one channel at one position (1/2 and 2/4 are the same
  // place), channel 01 keeps every object; the table stays sorted.
  auto o = Load(Text({"#00111:0002", "#00111:00000300", "#00101:01", "#00101:02", "#00111:0400"}));
  EXPECT_EQ(On(o->chart, 11), (Objects{{192, 4}, {288, 3}}));
  EXPECT_EQ(On(o->chart, 1), (Objects{{192, 1}, {192, 2}}));
  for (size_t i = 1; i < o->chart.ObjectCount(); ++i)
    EXPECT_LE(o->chart.ObjectTable[i - 1].Position, o->chart.ObjectTable[i].Position);
}

TEST(ExtendedLongNotes, PairingLnObjAndUnclosed) {
  auto c = Load(Text({"#LNOBJ ZZ", "#LNOBJ ZY", "#00151:01000200", "#00251:03", "#00112:0A00ZZ00",
                      "#00212:00ZY", "#00213:05ZZ"}));
  const Chart& chart = c->chart;
  ASSERT_EQ(chart.LongNotes.size(), 4u);
  const double end = chart.EndPosition;
  EXPECT_EQ(chart.LongNotes[0], (LongNote{11, 192, 288, 1}));
  EXPECT_EQ(chart.LongNotes[1], (LongNote{12, 192, 288, 10}));
  EXPECT_EQ(chart.LongNotes[2], (LongNote{11, 384, end, 3}));
  EXPECT_EQ(chart.LongNotes[3], (LongNote{13, 384, 480, 5}));
  // Heads stay in the table on 5x/6x (LNOBJ heads move there), tails and LNOBJ objects go;
  // an #LNOBJ with no open note before it on its lane (12's ZY) is dropped.
  EXPECT_EQ(On(chart, 51), (Objects{{192, 1}, {384, 3}}));
  EXPECT_EQ(On(chart, 52), (Objects{{192, 10}}));
  EXPECT_TRUE(On(chart, 12).empty());
  EXPECT_EQ(chart.NoteCount, 4);
  EXPECT_EQ(chart.Header.LnObj, 1295);
}

TEST(ExtendedTempo, ExtendedTempoStopsAndRefusals) {
  // 08 wins over 03 at one position; undefined or non-positive ids leave no object; a huge stop
  // is cut.
  auto c = Load(Text({"#BPM01 155.5", "#EXBPM02 90", "#BPM03 0", "#BPM04 -5", "#STOP01 1e9",
                      "#STOP02 0", "#00103:7878", "#00108:0100", "#00208:02030405", "#00109:0102",
                      "#SUBTITLE [Another]", "#TOTAL 320.5", "#LNTYPE 2"}));
  EXPECT_EQ(On(c->chart, 3), (Objects{{288, 120}}));
  EXPECT_EQ(On(c->chart, 8), (Objects{{192, 1}, {384, 2}}));
  EXPECT_DOUBLE_EQ(c->chart.BpmValues[1], 155.5);
  EXPECT_EQ(On(c->chart, 9), (Objects{{192, 1}}));
  EXPECT_EQ(c->chart.StopValues[1], kMaxStopUnits);
  EXPECT_EQ(c->chart.Header.SubTitle, "[Another]");
  EXPECT_DOUBLE_EQ(c->chart.Header.Total, 320.5);
  EXPECT_EQ(c->chart.Header.LnType, 2);
  EXPECT_NE(
      std::find(c->view.log.begin(), c->view.log.end(), "line #LNTYPE 2 is read as #LNTYPE 1."),
      c->view.log.end());
  // A decimal start tempo; "#BPM150" without a blank is a start tempo as in the classic reading.
  EXPECT_DOUBLE_EQ(Load("#BPM 133.5\r\n")->chart.StartBpm, 133.5);
  EXPECT_DOUBLE_EQ(Load("#BPM150\r\n")->chart.StartBpm, 150);

  for (const std::string& text : {std::string("#00111:01\r\n"), std::string("#BPM 0\r\n"),
                                  std::string("#BPM -1\r\n#00111:01\r\n")}) {
    auto refused = Load(text);
    EXPECT_EQ(refused->result, kChartRefused);
    EXPECT_EQ(refused->chart.ObjectCount(), 1u);
    EXPECT_EQ(refused->chart.EndPosition, 0.0);  // nothing left to play to
    const std::string start = text.find("-1") != std::string::npos ? "-1" : "0";
    EXPECT_NE(std::find(refused->view.log.begin(), refused->view.log.end(),
                        "line The start tempo is " + start +
                            " BPM (is #BPM missing?): the chart cannot play."),
              refused->view.log.end());
  }
}

TEST(ExtendedBadInput, BoundedAndNoCrash) {
  // 10,000 nested blocks, #SWITCH without #ENDSW, 100,000 stops, ids past the table.
  std::string deep = "#BPM 120\r\n";
  for (int i = 0; i < 10'000; ++i)
    deep += "#RANDOM 1\r\n#IF 1\r\n";
  deep += "#00111:01\r\n#SWITCH 2\r\n#CASE 1\r\n#00112:01\r\n";
  auto d = Load(deep, {}, ElementFlags::FirstStart());
  EXPECT_EQ(d->result, 0);
  EXPECT_EQ(On(d->chart, 11).size(), 1u);

  std::string stops = "#BPM 120\r\n#STOP01 96\r\n";
  for (int m = 0; m < 1000; ++m) {
    stops += "#" + std::string(m < 10 ? "00" : m < 100 ? "0" : "") + std::to_string(m) + "09:";
    for (int k = 0; k < 100; ++k)
      stops += "01";
    stops += "\r\n";
  }
  auto s = Load(stops);
  EXPECT_EQ(On(s->chart, 9).size(), 100'000u);
  EXPECT_EQ(s->chart.LastMeasure, 1001);

  BranchStack branches([](bool, int32_t) { return 1; });
  for (const char* command : {"#ENDIF", "#ENDRANDOM", "#ENDSW", "#ELSE", "#CASE", "#SKIP"})
    EXPECT_TRUE(branches.Handle(command, "1"));
  EXPECT_TRUE(branches.Active());
  EXPECT_EQ(branches.Depth(), 0u);
  EXPECT_FALSE(branches.Handle("#TITLE", "x"));
}

}  // namespace
}  // namespace quillon
