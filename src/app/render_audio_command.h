// `quillon --render-audio OUT.wav`: plays a chart headless and writes what it sounds like.
#pragma once

#include <ostream>
#include <string>

#include "chart/loader.h"

namespace quillon {

struct RenderAudioRequest {
  std::string ChartPath;
  std::string OutPath;
  int32_t Rate = 44100;
  LoadOptions Options;
};

// Loads the chart with its sounds, plays it from measure 0 on a virtual clock and writes a 16-bit
// stereo WAV file. Exit status: 0, or 1 with a message on `err`.
int RunRenderAudio(const RenderAudioRequest& request, std::ostream& out, std::ostream& err);

}  // namespace quillon
