#include "chart/timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace quillon {
namespace {

BmsObject Tempo(int32_t position, int16_t bpm) {
  return {.Channel = channel::kTempo, .Position = static_cast<double>(position), .Value = bpm};
}

// A sorted chart with a bar line every 192 units for measures 0..last_measure; the tempo changes
// (sorted) follow the bar line of their position's measure.
Chart MakeChart(int16_t start_bpm, int16_t last_measure, const std::vector<BmsObject>& tempos) {
  Chart c;
  c.StartBpm = start_bpm;
  c.EndPosition = last_measure * 192;
  auto next = tempos.begin();
  for (int16_t m = 0; m <= last_measure; ++m) {
    c.ObjectTable.push_back({.Channel = channel::kBarLine, .Position = m * 192.0, .Measure = m});
    while (next != tempos.end() && (next->Position < (m + 1) * 192 || m == last_measure))
      c.ObjectTable.push_back(*next++);
  }
  c.ObjectLast = static_cast<int32_t>(c.ObjectTable.size()) - 1;
  return c;
}

TEST(MeasureTime, WorkedExamples) {
  // 4000 ms for 384 units at 120, then 1024 units at 240.
  EXPECT_EQ(MeasureTime(MakeChart(120, 6, {Tempo(384, 240)}), 6), 9333);
  EXPECT_EQ(MeasureTime(MakeChart(150, 10, {}), 10), 18133);
  // A change behind the measure's bar line does not count.
  EXPECT_EQ(MeasureTime(MakeChart(150, 10, {Tempo(1920, 75)}), 10), 18133);
  // Without the measure's bar line the end position counts: (2112 + 256) * 1250 / 150.
  Chart c = MakeChart(150, 10, {});
  c.EndPosition = 2112;
  EXPECT_EQ(MeasureTime(c, 42), 19733);
  // Halves round to even: at 160 BPM, 264 units are 2062.5 ms and 280 units 2187.5 ms.
  c.StartBpm = 160;
  c.EndPosition = 8;
  EXPECT_EQ(MeasureTime(c, 42), 2062);
  c.EndPosition = 24;
  EXPECT_EQ(MeasureTime(c, 42), 2188);
  c.EndPosition = 2'000'000'000;  // too long for 32 bits
  EXPECT_EQ(MeasureTime(c, 42), 0);
  // No play length once the tempo is not positive, unless that happens behind the final bar line.
  EXPECT_EQ(MeasureTime(MakeChart(0, 4, {}), 4), 0);
  EXPECT_EQ(MeasureTime(MakeChart(120, 4, {Tempo(200, 0), Tempo(300, 120)}), 4), 0);
  EXPECT_EQ(MeasureTime(MakeChart(120, 4, {Tempo(800, 0)}), 4), 10667);
}

TEST(TempoMap, TimeAndPositionAcrossChanges) {
  const TempoMap map(
      MakeChart(120, 8, {Tempo(384, 240), Tempo(600, 60), Tempo(600, 90), Tempo(1000, 200)}));
  EXPECT_DOUBLE_EQ(map.TimeAt(700), 4000 + 216 * 1250.0 / 240 + 100 * 1250.0 / 90);
  EXPECT_DOUBLE_EQ(map.TimeAt(-48), -500);  // before the start, at the start tempo
  EXPECT_EQ(map.BpmAt(600), 90);            // the last change at a position is the one in force
  for (double t = -100; t < 30000; t += 37.25)
    ASSERT_NEAR(map.TimeAt(map.PositionAt(t)), t, 1e-6) << t;
  for (double p = -50; p < 2000; p += 3.5)
    ASSERT_NEAR(map.PositionAt(map.TimeAt(p)), p, 1e-6) << p;
}

TEST(TempoMap, AgreesWithMeasureTime) {
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    std::vector<BmsObject> changes;
    for (int32_t p = static_cast<int32_t>(rng() % 400); p < 16 * 192; p += rng() % 400)
      changes.push_back(Tempo(p, static_cast<int16_t>(rng() % 255 + 1)));
    const Chart c = MakeChart(static_cast<int16_t>(rng() % 255 + 1), 16, changes);
    const TempoMap map(c);
    // MeasureTime: the time of the bar line, then 256 units at the tempo in force before it.
    for (int16_t m = 0; m <= 16; ++m) {
      const double p = m * 192;
      ASSERT_NEAR(map.TimeAt(p) + 256 * 1250.0 / map.BpmAt(p - 0.5), MeasureTime(c, m), 0.5 + 1e-6)
          << round;
    }
  }
}

TEST(TempoMap, ATempoOfZeroStandsStill) {
  const TempoMap map(MakeChart(120, 8, {Tempo(384, 0), Tempo(768, 120)}));
  EXPECT_DOUBLE_EQ(map.TimeAt(1000), 4000);  // never reached: held at the stop
  EXPECT_DOUBLE_EQ(map.PositionAt(1e9), 384);
  EXPECT_EQ(map.BpmAt(500), 0);
  const TempoMap still(MakeChart(0, 4, {Tempo(192, 150)}));
  EXPECT_DOUBLE_EQ(still.TimeAt(500), 0);
  EXPECT_DOUBLE_EQ(still.PositionAt(1000), 0);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// A hand-made chart of the extended reading: bar lines every 192 units for measures
// 0..last_measure, then `objects` (sorted, each after the bar line of its measure); #BPMxx and
// #STOPxx values by id.
Chart MakeExtended(double start_bpm, int16_t last_measure, const std::vector<BmsObject>& objects,
                   const std::vector<std::pair<int, double>>& bpms,
                   const std::vector<std::pair<int, double>>& stops) {
  Chart c = MakeChart(120, last_measure, objects);
  c.Extended = true;
  c.StartBpm = start_bpm;
  c.BpmValues.assign(kIdCount36, 0.0);
  c.StopValues.assign(kIdCount36, 0.0);
  for (auto [id, v] : bpms)
    c.BpmValues[id] = v;
  for (auto [id, v] : stops)
    c.StopValues[id] = v;
  return c;
}

BmsObject At(int16_t ch, double position, int16_t value) {
  return {.Channel = ch, .Position = position, .Value = value};
}

TEST(ExtendedTempoMap, DecimalTemposAndStops) {
  // 150.5 BPM; 187.25 at 192 (08); two stops at 384 (96 + 48 units); at 576 a stop listed before
  // the change to 75.5 at that position: it lasts as long as at 75.5. Ids naming no usable value
  // (0, out of the table) and a 09 of 0 change nothing.
  const Chart c = MakeExtended(150.5, 5,
                               {At(8, 192, 1), At(8, 200, 9), At(9, 300, 9), At(8, 310, 5000),
                                At(9, 384, 2), At(9, 384, 3), At(9, 576, 2), At(8, 576, 4)},
                               {{1, 187.25}, {4, 75.5}}, {{2, 96}, {3, 48}});
  const TempoMap map(c);
  const double t192 = 192 * 1250 / 150.5;
  const double t384 = t192 + 192 * 1250 / 187.25;
  const double hold384 = 144 * 1250 / 187.25;
  const double t576 = t384 + hold384 + 192 * 1250 / 187.25;
  const double hold576 = 96 * 1250 / 75.5;
  EXPECT_DOUBLE_EQ(map.TimeAt(192), t192);
  EXPECT_DOUBLE_EQ(map.TimeAt(384), t384);  // the objects at a stop sound as it starts
  EXPECT_DOUBLE_EQ(map.TimeAt(576), t576);
  EXPECT_DOUBLE_EQ(map.TimeAt(700), t576 + hold576 + 124 * 1250 / 75.5);
  EXPECT_DOUBLE_EQ(map.PositionAt(t384 + hold384 / 2), 384);  // standing still
  EXPECT_DOUBLE_EQ(map.PositionAt(t576 + hold576 - 1e-6), 576);
  EXPECT_DOUBLE_EQ(map.PositionAt(t576 + hold576 + 10), 576 + 10 * 75.5 / 1250);
  EXPECT_DOUBLE_EQ(map.BpmAt(576), 75.5);
  EXPECT_DOUBLE_EQ(map.BpmBefore(576), 187.25);
  EXPECT_DOUBLE_EQ(map.BpmAt(100), 150.5);
  // The position never runs back, and a time outside the stops maps back to itself.
  double last = -1;
  for (double t = 0; t < 12000; t += 13.7) {
    const double p = map.PositionAt(t);
    ASSERT_GE(p, last) << t;
    last = p;
    const bool stopped = (t >= t384 && t < t384 + hold384) || (t >= t576 && t < t576 + hold576);
    if (!stopped) {
      ASSERT_NEAR(map.TimeAt(p), t, 1e-6) << t;
    }
  }
  // The play length: a stop and a change at the final bar line do not count, those before it do.
  EXPECT_EQ(MeasureTime(c, 3), std::lround(t576 + 256 * 1250 / 187.25));
  EXPECT_EQ(MeasureTime(c, 4), std::lround(t576 + hold576 + 192 * 1250 / 75.5 + 256 * 1250 / 75.5));
  // A channel-3 tempo of the extended reading is whole, as in the classic one.
  const TempoMap hex(MakeExtended(120, 2, {At(3, 192, 240)}, {}, {}));
  EXPECT_DOUBLE_EQ(hex.TimeAt(384), 2000 + 1000);
}

TEST(ExtendedTempoMap, ExtremeStopsAndTemposStayFinite) {
  std::vector<BmsObject> objects;
  for (int k = 0; k < 100000; ++k)
    objects.push_back(At(9, k * 0.25, 1));
  objects.push_back(At(8, 30000, 2));
  objects.push_back(At(8, 30001, 3));
  const Chart c = MakeExtended(1e-300, 200, objects, {{2, 1e-300}, {3, 1e300}}, {{1, 1e300}});
  const TempoMap map(c);
  for (double p : {0.0, 100.0, 30000.0, 30000.5, 38400.0}) {
    ASSERT_TRUE(std::isfinite(map.TimeAt(p))) << p;
    ASSERT_TRUE(std::isfinite(map.PositionAt(map.TimeAt(p) + 1e6))) << p;
  }
  EXPECT_EQ(MeasureTime(c, 200), 0);  // does not fit 32 bits
  // A start tempo of 0 stands still (the loader refuses such a chart).
  const TempoMap still(MakeExtended(0, 2, {At(9, 10, 1)}, {}, {{1, 48}}));
  EXPECT_DOUBLE_EQ(still.TimeAt(300), 0);
  EXPECT_DOUBLE_EQ(still.PositionAt(5000), 0);
}

}  // namespace
}  // namespace quillon
