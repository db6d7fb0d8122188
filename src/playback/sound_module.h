// The sound module: opening the device at start-up, and the message box that tells the user when
// no device opens or a sound file does not load.
#pragma once

#include <cstdint>
#include <string_view>

#include "playback/sound_device.h"

namespace quillon {

// Implemented by the main window: a message box titled "DirectSound error" with an exclamation
// icon and an OK button.
class SoundMessages {
 public:
  virtual ~SoundMessages() = default;
  virtual void ShowSoundError(std::string_view text) = 0;
};

// Opens the device for `window`. When no device can be opened, shows a message once and goes on
// without sound. Returns the device handle, 0 for none.
int32_t InitSound(SoundDevice& sound, int64_t window, SoundMessages& messages);

}  // namespace quillon
