// libFuzzer target for sound decoding: DecodeSound over arbitrary bytes at the usual output rate
// (resampling whatever rate the file claims), then a short mix of what came out, so that any
// decoded sound also goes through the mixer and its limiter.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "playback/sound_backend.h"
#include "playback/sound_decoder.h"
#include "playback/sound_device.h"

// libsndfile 1.2.0 loses libvorbis's stream info when it rejects a malformed Ogg Vorbis header
// (a few kilobytes per file, inside the libraries); that is not ours to report.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:vorbis_info_init\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto sound = std::make_shared<quillon::DecodedSound>();
  std::string error;
  if (!quillon::DecodeSound(bytes, 44100, *sound, error)) {
    if (error.empty()) __builtin_trap();  // a failure must say why
    return 0;
  }
  if (sound->Rate != 44100 || (sound->Channels != 1 && sound->Channels != 2) ||
      sound->Samples.size() % static_cast<size_t>(sound->Channels) != 0)
    __builtin_trap();
  // Mixed offline as the audio export mixes: the sound device over memory output.
  auto output = std::make_unique<quillon::MemoryBackend>(44100);
  quillon::MemoryBackend& memory = *output;
  quillon::SoundDevice device(std::move(output));
  if (device.dsInitialize2(0, 2) == 0) __builtin_trap();
  const int32_t id = device.CreateBuffer(sound);
  device.PlayAt(id, 3);
  device.PlayAt(device.CreateBuffer(sound), 0);
  std::vector<int16_t> out(2 * 2048);
  memory.Render(out.data(), 2048);
  return 0;
}
