#include "chart/timing.h"

#include <gtest/gtest.h>

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
