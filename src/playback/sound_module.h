// The sound module: opening the device at start-up and loading sound files into buffers, with
// the messages the user sees when either fails.
#pragma once

#include <cstdint>
#include <string>
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

// A buffer for the sound file at `path`. 0 without a message when `device` is 0 or the file does
// not exist; 0 after showing a message naming the path when the file cannot be read or decoded.
int32_t LoadWave(SoundDevice& sound, int32_t device, const std::string& path, int32_t flags,
                 SoundMessages& messages);

}  // namespace quillon
