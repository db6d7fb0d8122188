// A chart as a finished video file: the chart loaded from its file, its sound mixed exactly as the
// audio export mixes it, and its display drawn frame by frame with the bitmap output's frame loop
// (frame n shows chart time n / fps, sound sample 0 is chart time 0), both handed to the video
// writer. `quillon --render-video` and the main window's output command both run ExportVideo.
//
// The picture ends with the frame loop (past the chart's end), the sound with its tail; the
// shorter of the two is made as long as the other (the last frame held, or silence).
//
// Threads: one thread; text drawing needs the QGuiApplication.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "chart/loader.h"
#include "video/video_writer.h"

namespace quillon {

struct VideoExportRequest {
  std::string ChartPath;
  std::string OutPath;  // .mp4, .webm or .mkv
  VideoSettings Video;  // size, frame rate and quality; the sound is always 48000 Hz
  LoadOptions Options;
  // The BGA composed at 256 x 256 and stretched, as the classic display does.
  bool ClassicBga = false;
  // Where the skin bitmaps are read from (first) and where missing ones are saved.
  std::string ProgramFolder;
  std::string DataFolder;
};

struct VideoExportHooks {
  // Once per frame: lets pending events run (the window).
  std::function<void()> ProcessEvents;
  // Once per frame, after ProcessEvents: true stops the export and removes the file.
  std::function<bool()> StopRequested;
  // After each frame: frames written so far and the expected total (an estimate until the end).
  std::function<void(int64_t frames, int64_t total)> Progress;
};

struct VideoExportResult {
  bool Written = false;  // the file is complete under its own name
  bool Stopped = false;  // StopRequested ended the run; no file was left
  int64_t Frames = 0;
  int64_t SoundFrames = 0;  // stereo sample frames of the mix (before the padding)
  double Seconds = 0.0;     // the file's length
};

// Runs the export. Every refusal and failure is one line on `err` ("quillon: ..."), and leaves
// no file behind.
VideoExportResult ExportVideo(const VideoExportRequest& request, const VideoExportHooks& hooks,
                              std::ostream& err);

}  // namespace quillon
