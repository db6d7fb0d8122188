// The outputs without a device: none at all, and memory.
#include "playback/sound_backend.h"

#include <algorithm>

#include "playback/mixer.h"

namespace quillon {
namespace {

class NullBackend : public SoundBackend {
 public:
  bool Open(Mixer&, int32_t&) override { return false; }
  int32_t StreamRate(int32_t) const override { return 0; }
  void Close() override {}
  int64_t FramesPlayed() const override { return 0; }
};

}  // namespace

std::unique_ptr<SoundBackend> MakeNullBackend() {
  return std::make_unique<NullBackend>();
}

bool MemoryBackend::Open(Mixer& mixer, int32_t& rate) {
  std::lock_guard lock(mutex_);
  rate = StreamRate(rate);
  mixer.SetRate(rate);
  mixer_ = &mixer;
  frames_.store(0, std::memory_order_release);
  return true;
}

void MemoryBackend::Close() {
  std::lock_guard lock(mutex_);
  mixer_ = nullptr;
}

void MemoryBackend::Render(int16_t* out, int64_t frames) {
  if (frames <= 0) return;
  std::lock_guard lock(mutex_);
  if (mixer_) {
    mixer_->Render(out, frames);
  } else {
    std::fill(out, out + 2 * frames, int16_t{0});
  }
  frames_.fetch_add(frames, std::memory_order_release);
}

}  // namespace quillon
