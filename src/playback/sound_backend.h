// Where the mix goes: a real device (SDL2), nothing, or memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace quillon {

class Mixer;

class SoundBackend {
 public:
  virtual ~SoundBackend() = default;
  // Opens the output for a stream at `rate` (the rate asked for on entry), sets `rate` and the
  // mixer's rate (Mixer::SetRate) to the stream's rate, then starts pulling from `mixer` with its
  // frame count at 0. False when no output can be opened; the mixer is then never touched.
  virtual bool Open(Mixer& mixer, int32_t& rate) = 0;
  // The stream's rate that Open would give when asked for `rate` (0 when it cannot open).
  virtual int32_t StreamRate(int32_t rate) const = 0;
  // Stops pulling: once it returns, the mixer's render side is idle for good. Harmless when not
  // open.
  virtual void Close() = 0;
  // Frames the output has taken from the mixer so far (the clock of scheduled starts).
  virtual int64_t FramesPlayed() const = 0;
};

// SDL2 audio: stereo 16-bit at the rate asked for, about 512 frames per callback. A device
// running at another rate (48 kHz on most desktops) gets the one mixed stream converted by SDL
// or the sound server, so the sounds need not be resampled to it. Honours SDL_AUDIODRIVER
// (dummy and disk for tests).
std::unique_ptr<SoundBackend> MakeSdlBackend();
// No output at all: Open fails, so the sound device runs silent.
std::unique_ptr<SoundBackend> MakeNullBackend();

// Output into memory, pulled by the caller: the audio export, the tests and the benchmarks. Open
// always succeeds. A Fixed stream runs at `rate` whatever is asked (the audio export writes at
// the rate it was given); an Asked one runs at the rate asked for, as SDL's output does.
class MemoryBackend : public SoundBackend {
 public:
  enum class Rates { Fixed, Asked };
  explicit MemoryBackend(int32_t rate = 44100, Rates rates = Rates::Fixed)
      : rate_(rate), rates_(rates) {}
  bool Open(Mixer& mixer, int32_t& rate) override;
  int32_t StreamRate(int32_t rate) const override { return rates_ == Rates::Fixed ? rate_ : rate; }
  void Close() override;
  int64_t FramesPlayed() const override { return frames_.load(std::memory_order_acquire); }
  // Mixes the next `frames` stereo frames into `out`; silence while closed. The calling thread
  // is the mixer's render side: one thread at a time.
  void Render(int16_t* out, int64_t frames);

 private:
  const int32_t rate_;
  const Rates rates_;
  std::mutex mutex_;  // Close waits for a Render in progress
  Mixer* mixer_ = nullptr;
  std::atomic<int64_t> frames_{0};
};

}  // namespace quillon
