// SDL2 audio output. SDL's audio thread calls Callback, which renders straight from the mixer
// into SDL's buffer; nothing else runs there.
#include <SDL.h>

#include <atomic>

#include "playback/mixer.h"
#include "playback/sound_backend.h"

namespace quillon {
namespace {

constexpr Uint16 kCallbackFrames = 512;

class SdlBackend : public SoundBackend {
 public:
  ~SdlBackend() override { Close(); }

  bool Open(Mixer& mixer, int32_t& rate) override {
    if (device_ != 0) Close();
    // SDL counts subsystem initialisations, so this pairs with the QuitSubSystem in Close.
    // SDL would otherwise catch SIGINT and SIGTERM and turn them into quit events that nothing
    // here reads, so the program could no longer be ended by a signal.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kCallbackFrames;
    want.callback = &SdlBackend::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // Rate, sample format and channel count are ours: when the device runs at another rate, SDL
    // (or the sound server behind it) converts the mixed stream, once, instead of every sound
    // being resampled at load.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    mixer.SetRate(have.freq);
    mixer_ = &mixer;
    frames_.store(0, std::memory_order_relaxed);
    rate = have.freq;
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  int32_t StreamRate(int32_t rate) const override { return rate; }

  void Close() override {
    if (device_ == 0) return;
    // Returns once the audio thread has ended: the mixer is idle from here on.
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    mixer_ = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  int64_t FramesPlayed() const override { return frames_.load(std::memory_order_acquire); }

 private:
  static void Callback(void* user, Uint8* stream, int bytes) {
    auto* self = static_cast<SdlBackend*>(user);
    const int64_t frames = bytes / static_cast<int>(2 * sizeof(int16_t));
    self->mixer_->Render(reinterpret_cast<int16_t*>(stream), frames);
    self->frames_.fetch_add(frames, std::memory_order_release);
  }

  SDL_AudioDeviceID device_ = 0;
  Mixer* mixer_ = nullptr;
  std::atomic<int64_t> frames_{0};
};

}  // namespace

std::unique_ptr<SoundBackend> MakeSdlBackend() {
  return std::make_unique<SdlBackend>();
}

}  // namespace quillon
