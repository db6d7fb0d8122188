// Stand-ins for running the play engine with no window, no clock and no sound: the headless
// commands (frame export), benchmarks and tests that only need the engine's state.
#pragma once

#include <optional>

#include "playback/play_sounds.h"
#include "playback/play_view.h"

namespace quillon {

// A clock that always reads 0 and never waits.
class StillClock : public TickClock {
 public:
  int32_t Now() override { return 0; }
  void Sleep(int32_t) override {}
};

// A view that shows nothing; its tempo box holds `tempo` (none: not a number).
class HeadlessView : public PlayView {
 public:
  explicit HeadlessView(std::optional<double> tempo = std::nullopt) : tempo_(tempo) {}
  std::optional<double> TempoBoxValue() const override { return tempo_; }

 private:
  std::optional<double> tempo_;
};

// Sounds that are never heard.
class SilentSounds : public PlaySounds {
 public:
  void Anchor(double) override {}
  void Restart(int32_t, double) override {}
  void Stop(int32_t) override {}
};

}  // namespace quillon
