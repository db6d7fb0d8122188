#include "chart/timing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace quillon {
namespace {

BmsObject Bar(int32_t position, int16_t measure) {
  return {.Channel = channel::kBarLine, .Position = position, .Measure = measure};
}

BmsObject Tempo(int32_t position, int16_t bpm) {
  return {.Channel = channel::kTempo, .Position = position, .Value = bpm};
}

// A sorted chart with a bar line every 192 units for measures 0..last_measure and the given
// records placed after the bar line of their position's measure.
Chart MakeChart(int16_t start_bpm, int16_t last_measure, const std::vector<BmsObject>& extra) {
  Chart c;
  c.StartBpm = start_bpm;
  for (int16_t m = 0; m <= last_measure; ++m) {
    c.ObjectTable.push_back(Bar(m * 192, m));
    for (const BmsObject& o : extra) {
      if (o.Position >= m * 192 && (o.Position < (m + 1) * 192 || m == last_measure)) {
        c.ObjectTable.push_back(o);
      }
    }
  }
  c.ObjectLast = static_cast<int32_t>(c.ObjectTable.size()) - 1;
  c.LastMeasure = last_measure;
  c.EndPosition = last_measure * 192;
  return c;
}

TEST(MeasureTime, WorkedExamples) {
  // 4000 ms for 384 units at 120, then 1024 units at 240.
  EXPECT_EQ(MeasureTime(MakeChart(120, 6, {Tempo(384, 240)}), 6), 9333);
  EXPECT_EQ(MeasureTime(MakeChart(150, 10, {}), 10), 18133);
  // An earlier measure stops the walk at its bar line.
  EXPECT_EQ(MeasureTime(MakeChart(120, 6, {Tempo(384, 240)}), 1), 4667);
  // A tempo change behind the bar line (same position) does not count.
  EXPECT_EQ(MeasureTime(MakeChart(150, 10, {Tempo(1920, 75)}), 10), 18133);
}

TEST(MeasureTime, RoundsHalvesToEven) {
  // At 160 BPM one unit takes 7.8125 ms: 264 units are 2062.5 ms, 280 units 2187.5 ms.
  Chart c = MakeChart(160, 0, {});
  c.ObjectTable.push_back(Bar(8, 1));
  c.ObjectLast = 1;
  EXPECT_EQ(MeasureTime(c, 1), 2062);
  c.ObjectTable[1].Position = 24;
  EXPECT_EQ(MeasureTime(c, 1), 2188);
}

TEST(MeasureTime, MissingBarLineUsesTheEndPosition) {
  Chart c = MakeChart(150, 10, {});
  c.EndPosition = 1920 + 192;
  EXPECT_EQ(MeasureTime(c, 42), 19733);  // (2112 + 256) * 1250 / 150
  c.ObjectTable.clear();
  EXPECT_EQ(MeasureTime(c, 10), 19733);
}

TEST(MeasureTime, NoPlayLengthWithoutAPositiveTempo) {
  EXPECT_EQ(MeasureTime(MakeChart(0, 4, {}), 4), 0);
  EXPECT_EQ(MeasureTime(MakeChart(-120, 4, {}), 4), 0);
  EXPECT_EQ(MeasureTime(MakeChart(120, 4, {Tempo(200, 0)}), 4), 0);
  EXPECT_EQ(MeasureTime(MakeChart(120, 4, {Tempo(200, 0), Tempo(300, 120)}), 4), 0);
  // A tempo of 0 behind the final bar line is never reached.
  EXPECT_GT(MeasureTime(MakeChart(120, 4, {Tempo(800, 0)}), 4), 0);
}

TEST(MeasureTime, OverflowGivesZero) {
  Chart c = MakeChart(1, 0, {});
  c.ObjectTable.push_back(Bar(2'000'000'000, 1));
  c.ObjectLast = 1;
  EXPECT_EQ(MeasureTime(c, 1), 0);
}

TEST(TempoMap, TimeAndPositionAcrossChanges) {
  const Chart c =
      MakeChart(120, 8, {Tempo(384, 240), Tempo(600, 60), Tempo(600, 90), Tempo(1000, 200)});
  const TempoMap map(c);
  EXPECT_DOUBLE_EQ(map.TimeAt(0), 0);
  EXPECT_DOUBLE_EQ(map.TimeAt(384), 4000);
  EXPECT_DOUBLE_EQ(map.TimeAt(600), 4000 + 216 * 1250.0 / 240);
  EXPECT_DOUBLE_EQ(map.TimeAt(700), map.TimeAt(600) + 100 * 1250.0 / 90);  // the last at 600
  EXPECT_DOUBLE_EQ(map.TimeAt(-48), -500);  // before the start, at the start tempo
  EXPECT_EQ(map.BpmAt(-1), 120);
  EXPECT_EQ(map.BpmAt(383.9), 120);
  EXPECT_EQ(map.BpmAt(384), 240);
  EXPECT_EQ(map.BpmAt(600), 90);
  EXPECT_EQ(map.BpmAt(5000), 200);

  for (double t = -100; t < 30000; t += 37.25) {
    ASSERT_NEAR(map.TimeAt(map.PositionAt(t)), t, 1e-6) << t;
  }
  for (double p = -50; p < 2000; p += 3.5) {
    ASSERT_NEAR(map.PositionAt(map.TimeAt(p)), p, 1e-6) << p;
  }
}

TEST(TempoMap, AgreesWithMeasureTime) {
  EXPECT_NEAR(TempoMap(MakeChart(120, 6, {Tempo(384, 240)})).TimeAt(1152 + 256), 9333.333, 1e-3);

  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    std::vector<BmsObject> changes;
    const int count = std::uniform_int_distribution<int>(0, 12)(rng);
    for (int i = 0; i < count; ++i) {
      changes.push_back(
          Tempo(std::uniform_int_distribution<int>(0, 16 * 192)(rng),
                static_cast<int16_t>(std::uniform_int_distribution<int>(1, 255)(rng))));
    }
    std::sort(changes.begin(), changes.end(),
              [](const BmsObject& a, const BmsObject& b) { return a.Position < b.Position; });
    const Chart c = MakeChart(static_cast<int16_t>(std::uniform_int_distribution<int>(1, 255)(rng)),
                              16, changes);
    const TempoMap map(c);
    for (int16_t m : {3, 9, 16}) {
      // MeasureTime keeps the tempo of the bar line for the 256 units after it.
      const int32_t p = m * 192;
      if (std::any_of(changes.begin(), changes.end(), [&](const BmsObject& o) {
            return o.Position >= p && o.Position <= p + 256;
          })) {
        continue;
      }
      ASSERT_NEAR(map.TimeAt(p + 256), MeasureTime(c, m), 0.5 + 1e-6) << round;
    }
  }
}

TEST(TempoMap, ATempoOfZeroStandsStill) {
  const TempoMap map(MakeChart(120, 8, {Tempo(384, 0), Tempo(768, 120)}));
  EXPECT_DOUBLE_EQ(map.TimeAt(200), 200 * 1250.0 / 120);
  EXPECT_DOUBLE_EQ(map.TimeAt(384), 4000);
  EXPECT_DOUBLE_EQ(map.TimeAt(500), 4000);  // never reached: held at the stop
  EXPECT_DOUBLE_EQ(map.TimeAt(1000), 4000);
  EXPECT_DOUBLE_EQ(map.PositionAt(3000), 288);
  EXPECT_DOUBLE_EQ(map.PositionAt(4000), 384);
  EXPECT_DOUBLE_EQ(map.PositionAt(1e9), 384);
  EXPECT_EQ(map.BpmAt(500), 0);
  EXPECT_EQ(map.BpmAt(800), 120);

  const TempoMap still(MakeChart(0, 4, {Tempo(192, 150)}));
  EXPECT_DOUBLE_EQ(still.TimeAt(500), 0);
  EXPECT_DOUBLE_EQ(still.TimeAt(-5), 0);
  EXPECT_DOUBLE_EQ(still.PositionAt(1000), 0);
  EXPECT_EQ(still.BpmAt(0), 0);
  EXPECT_EQ(still.BpmAt(200), 150);
}

}  // namespace
}  // namespace quillon
