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
  // Opens the output, sets `rate` and the mixer's rate (Mixer::SetRate) to the stream's rate,
  // then starts pulling from `mixer`. False when no output can be opened; the mixer is then
  // never touched.
  virtual bool Open(Mixer& mixer, int32_t& rate) = 0;
  // Stops pulling: once it returns, the mixer's render side is idle for good. Harmless when not
  // open.
  virtual void Close() = 0;
  // Frames the output has taken from the mixer so far (the clock of scheduled starts).
  virtual int64_t FramesPlayed() const = 0;
};

// SDL2 audio: 44100 Hz stereo 16-bit preferred (the device's own rate when it insists), about
// 512 frames per callback. Honours SDL_AUDIODRIVER (dummy and disk for tests).
std::unique_ptr<SoundBackend> MakeSdlBackend();
// No output at all: Open fails, so the sound device runs silent.
std::unique_ptr<SoundBackend> MakeNullBackend();

// Output into memory, pulled by the caller: the audio export and the tests. Open always succeeds.
class MemoryBackend : public SoundBackend {
 public:
  explicit MemoryBackend(int32_t rate = 44100) : rate_(rate) {}
  bool Open(Mixer& mixer, int32_t& rate) override;
  void Close() override;
  int64_t FramesPlayed() const override { return frames_.load(std::memory_order_acquire); }
  // Mixes the next `frames` stereo frames into `out`; silence while closed. The calling thread
  // is the mixer's render side: one thread at a time.
  void Render(int16_t* out, int64_t frames);

 private:
  const int32_t rate_;
  std::mutex mutex_;  // Close waits for a Render in progress
  Mixer* mixer_ = nullptr;
  std::atomic<int64_t> frames_{0};
};

}  // namespace quillon
