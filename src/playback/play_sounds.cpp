#include "playback/play_sounds.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "playback/play_view.h"
#include "playback/sound_device.h"

namespace quillon {

int32_t SteadyTickClock::Now() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<int32_t>(static_cast<uint32_t>(ms.count()));
}

void SteadyTickClock::Sleep(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

AudioTickClock::AudioTickClock(const SoundDevice& device) : device_(device) {}

int32_t AudioTickClock::Now() {
  const int32_t rate = device_.Rate();
  if (!device_.IsOpen() || rate <= 0) return steady_.Now();
  const int32_t wall = steady_.Now();
  const int64_t frame = device_.OutputFrame();
  if (device_.Opens() != opens_) {
    // The first opening seen counts from its frame 0, as the device does; a later one from its
    // frame now, on from the time the clock has reached.
    if (opens_ != 0) {
      first_frame_ = frame;
      base_ms_ = last_now_;
      last_frame_ = frame;
      step_wall_ = wall;
    }
    opens_ = device_.Opens();
  }
  if (frame != last_frame_) {
    last_frame_ = frame;
    step_wall_ = wall;
  }
  // Between two steps of the device, time runs on by the steady clock, at most 100 ms: a device
  // that stalls stops the clock.
  const int64_t since_step = std::clamp<int64_t>(int64_t{wall} - step_wall_, 0, 100);
  const auto now =
      static_cast<int32_t>(base_ms_ + (last_frame_ - first_frame_) * 1000 / rate + since_step);
  last_now_ = std::max(last_now_, now);  // never backwards, when a step lands early
  return last_now_;
}

void AudioTickClock::Sleep(int32_t ms) {
  steady_.Sleep(ms);
}

DeviceSounds::DeviceSounds(SoundDevice& device, int32_t latency_ms)
    : device_(device), latency_ms_(latency_ms) {}

void DeviceSounds::Anchor(double exact_ms) {
  anchor_frame_ = device_.OutputFrame() + int64_t{latency_ms_} * device_.Rate() / 1000;
  anchor_ms_ = exact_ms;
}

void DeviceSounds::Restart(int32_t id, double exact_ms) {
  const int64_t frame =
      anchor_frame_ + std::llround((exact_ms - anchor_ms_) * device_.Rate() / 1000.0);
  // A sound noticed too late for its frame starts at once rather than being lost.
  device_.PlayAt(id, std::max(frame, device_.OutputFrame()));
}

void DeviceSounds::Stop(int32_t id) {
  device_.dsStop(id);
}

}  // namespace quillon
