#include "playback/audio_export.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

#include "chart/timing.h"
#include "playback/play_engine.h"

namespace quillon {
namespace {

// A clock that moves only when the play loop sleeps or passes.
class VirtualClock : public TickClock {
 public:
  int32_t now = 0;
  int32_t Now() override { return now; }
  void Sleep(int32_t ms) override { now += ms; }
};

// Each pass of the play loop takes one virtual millisecond; the tempo is the chart's own (nobody
// set the tempo box). Play is stopped once the virtual clock passes `limit_ms`, so a tempo of 0
// (the position standing still) cannot make the export run for ever.
class ExportView : public PlayView {
 public:
  ExportView(VirtualClock& clock, double limit_ms) : clock_(clock), limit_ms_(limit_ms) {}
  PlayEngine* engine = nullptr;
  void ProcessEvents() override {
    clock_.now += 1;
    if (clock_.now > limit_ms_ && engine != nullptr) engine->StopRequest = true;
  }
  std::optional<double> TempoBoxValue() const override { return std::nullopt; }

 private:
  VirtualClock& clock_;
  double limit_ms_;
};

struct SoundEvent {
  int32_t id;
  double ms;
};

// Keeps the fired sounds with their exact play times; they are mixed once play is over.
class RecordedSounds : public PlaySounds {
 public:
  std::vector<SoundEvent> events;
  double anchor_ms = 0.0;
  void Anchor(double exact_ms) override { anchor_ms = exact_ms; }
  void Restart(int32_t id, double exact_ms) override {
    if (id > 0) events.push_back({id, exact_ms - anchor_ms});
  }
  void Stop(int32_t) override {}
};

void Put16(std::ofstream& out, uint16_t v) {
  const char bytes[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  out.write(bytes, 2);
}
void Put32(std::ofstream& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

ExportedAudio ExportChartAudio(Chart& chart, const ElementFlags& flags, SoundDevice& device,
                               MemoryBackend& backend, int32_t tail_ms) {
  // Play starts at measure 0 with the chart's start tempo; its tempo changes follow.
  // The file ends where play passes the end (stops included), or at the export's limit, which
  // the end of a chart that never lets play reach it would pass.
  const double limit_ms = ExportLimitMs(chart, chart.StartBpm);
  const double end_ms = std::min(TempoMap(chart).TimeAt(chart.EndPosition + 256.0), limit_ms);
  VirtualClock clock;
  ExportView view(clock, limit_ms);
  RecordedSounds sounds;
  PlayEngine engine(chart, flags, clock, view, sounds);
  view.engine = &engine;
  engine.NotUseMMTimer = true;
  engine.PlayFile();

  ExportedAudio audio;
  audio.Rate = device.Rate();
  const double frames_per_ms = audio.Rate / 1000.0;
  // Sounds fire in time order, but a seek-free play can still meet equal times: keep their order.
  std::stable_sort(sounds.events.begin(), sounds.events.end(),
                   [](const SoundEvent& a, const SoundEvent& b) { return a.ms < b.ms; });
  const auto end_frame = std::max<int64_t>(0, std::llround(end_ms * frames_per_ms));

  std::vector<int16_t>& out = audio.Samples;
  int64_t rendered = 0;
  auto render_to = [&](int64_t frame) {
    if (frame <= rendered) return;
    out.resize(static_cast<size_t>(frame) * 2);
    backend.Render(out.data() + rendered * 2, frame - rendered);
    rendered = frame;
  };
  for (const SoundEvent& event : sounds.events) {
    const int64_t frame = std::max<int64_t>(0, std::llround(event.ms * frames_per_ms));
    render_to(frame);
    device.PlayAt(event.id, frame);
    audio.StartFrames.push_back(frame);
  }
  render_to(std::max(end_frame, rendered));
  // Let what still sounds ring out, in blocks, until silence or the tail's end.
  const int64_t block = audio.Rate / 20;
  const int64_t tail_end = rendered + static_cast<int64_t>(tail_ms * frames_per_ms);
  while (rendered < tail_end) {
    render_to(rendered + block);
    if (device.ActiveVoices() == 0) break;
  }
  return audio;
}

bool WriteWav16(const std::string& path, int32_t rate, const std::vector<int16_t>& samples,
                std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const auto data_bytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  Put32(out, 36 + data_bytes);
  out.write("WAVEfmt ", 8);
  Put32(out, 16);
  Put16(out, 1);  // PCM
  Put16(out, 2);  // stereo
  Put32(out, static_cast<uint32_t>(rate));
  Put32(out, static_cast<uint32_t>(rate) * 4);
  Put16(out, 4);
  Put16(out, 16);
  out.write("data", 4);
  Put32(out, data_bytes);
  for (int16_t s : samples)
    Put16(out, static_cast<uint16_t>(s));
  out.close();
  if (!out) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace quillon
