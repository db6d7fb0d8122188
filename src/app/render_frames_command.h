// `quillon --render-frames BASE --fps F`: the display drawn frame by frame at a frame rate and
// written as numbered bitmaps (BASE0001.bmp, ...), headless.
#pragma once

#include <ostream>
#include <string>

#include "chart/loader.h"

namespace quillon {

struct RenderFramesRequest {
  std::string ChartPath;
  std::string Base;
  float Fps = 30.0f;
  int32_t Width = 512;
  int32_t Height = 512;
  LoadOptions Options;
  // Where the skin bitmaps are read from (first) and where missing ones are saved.
  std::string ProgramFolder;
  std::string DataFolder;
};

// Exit status: 0, or 1 with a message on `err` (missing chart, a frame that cannot be written).
int RunRenderFrames(const RenderFramesRequest& request, std::ostream& out, std::ostream& err);

}  // namespace quillon
