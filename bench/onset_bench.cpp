// Live play through SDL's disk audio driver: how far each click's onset in the written stream
// strays from its chart time, once the constant output latency is taken out.
//
// Runs the real engine on the audio clock with a 1 ms frame pause, so the scheduler notices
// objects up to a pass late; the figure shows that sounds start on their own sample anyway.
// The stream goes to $SDL_DISKAUDIOFILE (a temporary file unless set).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "chart/loader.h"
#include "chart/timing.h"
#include "playback/play_engine.h"
#include "playback/sound_device.h"

namespace quillon {
namespace {

class WallView : public PlayView {
 public:
  std::optional<double> TempoBoxValue() const override { return 150; }
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t i = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
  return values[i];
}

int Run() {
  const std::string file = (std::filesystem::temp_directory_path() / "quillon_onsets.raw").string();
  setenv("SDL_AUDIODRIVER", "disk", 0);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 0);
  const std::string output = std::getenv("SDL_DISKAUDIOFILE");

  // Clicks on every eighth note over 12 measures, with two tempo changes and a 0.75 measure.
  const std::string text =
      "#BPM 150\r\n#00103:B4\r\n#00302:0.75\r\n#00603:78\r\n"
      "#00111:0101010101010101\r\n#00211:0101010101010101\r\n#00311:010101010101\r\n"
      "#00411:0101010101010101\r\n#00511:0101010101010101\r\n#00611:0101010101010101\r\n"
      "#00711:0101010101010101\r\n#00811:0101010101010101\r\n";
  Chart chart;
  LoadView load_view;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader(chart, load_view, flags).LoadBmsBytes("/bench/clicks.bms", text, false);

  SoundDevice device(MakeSdlBackend());
  const int32_t handle = device.dsInitialize2(0, 2);
  if (handle == 0) {
    std::fprintf(stderr, "onset_bench: no SDL audio output\n");
    return 1;
  }
  const int32_t rate = device.Rate();
  auto click = std::make_shared<DecodedSound>();
  click->Rate = rate;
  click->Channels = 1;
  click->Samples.assign(32, 0);
  click->Samples[0] = 12000;
  chart.SoundTable[1] = device.CreateBuffer(click);

  AudioTickClock clock(device);
  WallView view;
  DeviceSounds sounds(device);
  PlayEngine engine(chart, flags, clock, view, sounds);
  engine.FrameSleep = 1;
  engine.NotUseMMTimer = true;
  engine.PlayFile();
  clock.Sleep(300);
  device.dsTerminate(handle);

  std::ifstream in(output, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<int64_t> onsets;
  for (size_t f = 0; f + 1 < bytes.size() / 4; ++f) {
    int16_t left;
    std::memcpy(&left, &bytes[f * 4], 2);
    if (left > 1000) onsets.push_back(static_cast<int64_t>(f));
  }
  const TempoMap tempo(150, chart.ObjectTable, chart.ObjectLast);
  std::vector<double> ideal;
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    if (chart.ObjectTable[i].Channel == 11)
      ideal.push_back(tempo.TimeAt(chart.ObjectTable[i].Position));
  }
  if (onsets.size() != ideal.size()) {
    std::fprintf(stderr, "onset_bench: %zu clicks heard, %zu expected\n", onsets.size(),
                 ideal.size());
    return 1;
  }
  std::vector<double> errors;
  for (size_t k = 0; k < ideal.size(); ++k)
    errors.push_back(onsets[k] * 1000.0 / rate - ideal[k]);
  const double median = Percentile(errors, 0.5);
  if (std::getenv("ONSET_VERBOSE") != nullptr) {
    for (size_t k = 0; k < errors.size(); ++k)
      std::printf("%zu %.3f\n", k, errors[k]);
  }
  std::vector<double> spread;
  for (double e : errors)
    spread.push_back(std::fabs(e - median));
  std::printf(
      "%zu clicks at %d Hz: latency %.3f ms; onset error after removing it: p99 %.3f ms, max "
      "%.3f ms (p99 - median spread %.3f ms)\n",
      errors.size(), rate, median, Percentile(spread, 0.99),
      *std::max_element(spread.begin(), spread.end()), Percentile(errors, 0.99) - median);
  std::filesystem::remove(file);
  return 0;
}

}  // namespace
}  // namespace quillon

int main() {
  return quillon::Run();
}
