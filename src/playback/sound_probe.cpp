#include "playback/sound_probe.h"

#include <sndfile.h>

#include "playback/sndfile_io.h"
#include "playback/sound_decoder.h"

namespace quillon {
int32_t SoundFileRate(std::string_view head) {
  if (head.empty()) return 0;
  sndfile::MemorySource source{head};
  SF_VIRTUAL_IO io = sndfile::MemorySource::Io();
  SF_INFO info{};
  // The file's length is that of the head: a format that looks at the end of the file (Ogg, for
  // its length) sees the end of the head, which changes the length it reports but not the rate.
  SNDFILE* file = sndfile::Open(io, &source, info);
  if (file == nullptr) return 0;
  sf_close(file);
  return info.samplerate >= kMinSoundRate && info.samplerate <= kMaxSoundRate ? info.samplerate : 0;
}

}  // namespace quillon
