// `quillon --render-video OUT`: a chart as a finished video file, sound and picture, headless.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>

#include "playback/video_export.h"

namespace quillon {

struct RenderVideoRequest {
  VideoExportRequest Export;
  // A progress line on `err`, rewritten in place (main asks for it when stderr is a terminal).
  bool Progress = false;
  // Called after each frame with the frames written (tests raise a signal from here).
  std::function<void(int64_t frames)> AfterFrame;
};

// Ctrl+C (SIGINT) and SIGTERM stop the export between two frames: the partial file is removed
// and the status is 128 + the signal's number. Exit status: 0, or 1 with a message on `err`.
int RunRenderVideo(const RenderVideoRequest& request, std::ostream& out, std::ostream& err);

// The progress line: "42% 1234/2900 frames, 75.3 frames/s, 0:23 left" (the time left from the
// rate so far; "--:--" before there is one).
std::string VideoProgressText(int64_t frames, int64_t total, double seconds_so_far);

}  // namespace quillon
