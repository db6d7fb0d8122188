// Sound-loading messages of the headless commands: one line each on an error stream.
#pragma once

#include <ostream>
#include <string_view>

#include "playback/sound_module.h"

namespace quillon {

class StreamSoundMessages : public SoundMessages {
 public:
  explicit StreamSoundMessages(std::ostream& err) : err_(err) {}
  void ShowSoundError(std::string_view text) override { err_ << "quillon: " << text << '\n'; }

 private:
  std::ostream& err_;
};

}  // namespace quillon
