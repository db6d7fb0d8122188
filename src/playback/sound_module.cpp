#include "playback/sound_module.h"

#include "resources/string_table.h"

namespace quillon {

int32_t InitSound(SoundDevice& sound, int64_t window, SoundMessages& messages) {
  const int32_t device = sound.dsInitialize2(window, 2);
  if (device == 0) messages.ShowSoundError(StringTable().Get(1108));
  sound.dsSetGlobalFocus(-1);
  return device;
}

}  // namespace quillon
