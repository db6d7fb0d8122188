// The scheduler's cost: a step when nothing is due, and a whole play of a 20,000-object chart as
// a fraction of the chart's own length.
#include <benchmark/benchmark.h>

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

void PrintSummary() {
  Chart chart;
  LoadChart(chart);
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
      "play of %d objects: %.1f ms of scheduler CPU for %.1f s of chart, fraction %.6f "
      "(%.0f ns per 1 ms pass)\n",
      chart.ObjectLast + 1, cpu * 1000, played_ms / 1000.0, cpu / (played_ms / 1000.0),
      cpu * 1e9 / played_ms);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
