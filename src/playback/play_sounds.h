// Where the play engine's fired sounds go, at the exact time they are due.
//
// The engine gives each sound the chart time of its object on its own exact clock (milliseconds
// of play, without the tick clock's rounding), so that a sound's onset does not depend on when a
// scheduler step happened to notice it, nor on the output's buffer size.
#pragma once

#include <cstdint>
#include <memory>

#include "playback/play_view.h"

namespace quillon {

class SoundDevice;

// The play clock for live play: milliseconds of output the device has played, smoothed between
// the device's steps by the steady clock. Play then keeps time with the sound card, so sounds
// scheduled on its frames land where they belong even when its rate and the system clock drift
// apart. Without an open device it is the steady clock. When the device opens again (at another
// rate, for another chart) its frame count starts over; the clock goes on from where it was.
class AudioTickClock : public TickClock {
 public:
  explicit AudioTickClock(const SoundDevice& device);
  int32_t Now() override;
  void Sleep(int32_t ms) override;

 private:
  const SoundDevice& device_;
  SteadyTickClock steady_;
  int64_t last_frame_ = -1;
  int32_t step_wall_ = 0;  // steady time when the frame count last moved
  int32_t last_now_ = 0;
  uint32_t opens_ = 0;       // the device's Opens() the frames below count in
  int64_t first_frame_ = 0;  // of this opening: it counts from here
  int32_t base_ms_ = 0;      // ... on from this time
};

class PlaySounds {
 public:
  virtual ~PlaySounds() = default;
  // Play time `exact_ms` is now: later sounds are placed relative to this point.
  virtual void Anchor(double exact_ms) = 0;
  // Stops buffer `id` and plays it from its start at play time `exact_ms`.
  virtual void Restart(int32_t id, double exact_ms) = 0;
  virtual void Stop(int32_t id) = 0;
};

// Over a live sound device: a sound due at play time t starts at output frame
// anchor frame + (t - anchor time) * rate, the anchor frame lying one fixed latency ahead of the
// frame being played when the anchor was set.
class DeviceSounds : public PlaySounds {
 public:
  DeviceSounds(SoundDevice& device, int32_t latency_ms = 40);
  void Anchor(double exact_ms) override;
  void Restart(int32_t id, double exact_ms) override;
  void Stop(int32_t id) override;

 private:
  SoundDevice& device_;
  int32_t latency_ms_;
  int64_t anchor_frame_ = 0;
  double anchor_ms_ = 0.0;
};

}  // namespace quillon
