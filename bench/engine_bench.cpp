// The scheduler's cost: a step when nothing is due, and a whole play of a 20,000-object chart as
// a fraction of the chart's own length, on the classic clock and on an extended chart's timeline
// (the same chart with a decimal tempo change and a stop every four measures).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "bench_support.h"
#include "chart/loader.h"
#include "playback/play_engine.h"

namespace quillon {
namespace {

using bench::MedianSeconds;

class FixedClock : public TickClock {
 public:
  int32_t now = 0;
  int32_t Now() override { return now; }
  void Sleep(int32_t ms) override { now += ms; }
};

// One virtual millisecond per pass of the play loop; nothing is drawn.
class PassView : public PlayView {
 public:
  explicit PassView(FixedClock& clock) : clock_(clock) {}
  void ProcessEvents() override { clock_.now += 1; }
  std::optional<double> TempoBoxValue() const override { return 150; }

 private:
  FixedClock& clock_;
};

class NoSounds : public PlaySounds {
 public:
  int64_t restarts = 0;
  void Anchor(double) override {}
  void Restart(int32_t, double) override { ++restarts; }
  void Stop(int32_t) override {}
};

// 600 measures of 7 keys and a background channel, 20,000 notes in all, at 150 BPM.
void LoadChart(Chart& chart) {
  std::mt19937 rng(99);
  std::string text = "#BPM 150\r\n";
  const char* channels[] = {"01", "11", "12", "13", "14", "15", "16", "18", "19"};
  int placed = 0;
  for (int m = 1; m <= 600 && placed < 20000; ++m) {
    for (const char* ch : channels) {
      char head[16];
      std::snprintf(head, sizeof head, "#%03d%s:", m, ch);
      text += head;
      for (int k = 0; k < 16; ++k) {
        const bool on = rng() % 100 < 26 && placed < 20000;
        placed += on ? 1 : 0;
        text += on ? "01" : "00";
      }
      text += "\r\n";
    }
  }
  LoadView view;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader(chart, view, flags).LoadBmsBytes("/bench/chart.bms", text, false);
  chart.SoundTable[1] = 1;
}

void BM_PlayTickNothingDue(benchmark::State& state) {
  Chart chart;
  LoadChart(chart);
  const ElementFlags flags = ElementFlags::FirstStart();
  FixedClock clock;
  PassView view(clock);
  NoSounds sounds;
  PlayEngine engine(chart, flags, clock, view, sounds);
  engine.LocateMeasure(10);
  engine.NextEventPosition = engine.PlayCursor < chart.ObjectLast ? INT32_MAX : 0;
  for (auto _ : state) {
    engine.PlayTick();
    benchmark::DoNotOptimize(engine.PlayPosition);
  }
}
BENCHMARK(BM_PlayTickNothingDue);

// The loaded chart as the extended reading would hold it, with a change to a decimal tempo (08)
// and a stop (09) at every fourth bar line.
void MakeExtended(Chart& chart) {
  chart.Extended = true;
  chart.SoundTable.resize(kIdCount36, -1);
  chart.BgaPictures.resize(kIdCount36);
  chart.BpmValues.assign(kIdCount36, 0.0);
  chart.StopValues.assign(kIdCount36, 0.0);
  chart.BpmValues[1] = 150.5;
  chart.BpmValues[2] = 149.25;
  chart.StopValues[1] = 24;
  auto& table = chart.ObjectTable;
  table.resize(chart.ObjectCount());
  for (size_t i = 0, n = table.size(); i < n; ++i) {
    const BmsObject bar = table[i];
    if (bar.Channel != channel::kBarLine || bar.Measure % 4 != 0) continue;
    const auto id = static_cast<int16_t>(1 + bar.Measure / 4 % 2);
    table.push_back({.Channel = channel::kExtendedTempo, .Position = bar.Position, .Value = id});
    table.push_back({.Channel = channel::kStop, .Position = bar.Position, .Value = 1});
  }
  std::stable_sort(table.begin(), table.end(),
                   [](const BmsObject& a, const BmsObject& b) { return a.Position < b.Position; });
  chart.ObjectLast = static_cast<int32_t>(table.size()) - 1;
}

void PrintPlay(const char* label, bool extended) {
  Chart chart;
  LoadChart(chart);
  if (extended) MakeExtended(chart);
  const ElementFlags flags = ElementFlags::FirstStart();
  FixedClock clock;
  PassView view(clock);
  NoSounds sounds;
  PlayEngine engine(chart, flags, clock, view, sounds);
  engine.NotUseMMTimer = true;
  int32_t played_ms = 0;
  const double cpu = MedianSeconds(5, [&] {
    clock.now = 0;
    engine.PlayFile();
    played_ms = clock.now;
  });
  std::printf(
      "%s play of %d objects: %.1f ms of scheduler CPU for %.1f s of chart, fraction %.6f "
      "(%.0f ns per 1 ms pass)\n",
      label, chart.ObjectLast + 1, cpu * 1000, played_ms / 1000.0, cpu / (played_ms / 1000.0),
      cpu * 1e9 / played_ms);
}

void PrintSummary() {
  PrintPlay("classic", false);
  PrintPlay("extended", true);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
