// The frame loop of bitmap output: the chart drawn frame by frame at a chosen frame rate, each
// frame written as a numbered 24-bit Windows bitmap (or handed to a hook: the video export). The
// play engine's scheduler runs as in live play, on a clock that is the frame number divided by the
// frame rate instead of the wall clock, in its pictures-only mode: no sound is played and nothing
// is marked played.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "chart/model.h"
#include "playback/play_engine.h"

namespace quillon {

struct FrameRun {
  int32_t FrameNumber = 0;  // the last frame made (frames are numbered from 1)
  std::string LastFile;
  uint64_t Bytes = 0;   // sum of the frame files' sizes
  std::string Error;    // set when a frame could not be written: the run stopped there
  bool Capped = false;  // the run passed ExportLimitMs before play reached the end
};

// OutputBase of a chosen path: cut before the last "." of its last part, if that part has one.
std::string OutputBaseOf(std::string_view path);

// The file of frame `n`: base + n in at least four digits + ".bmp" (12 -> "0012", 12345 stays).
std::string FrameFileName(const std::string& base, int32_t n);

// Writes `image` (RGB32) as an uncompressed 24-bit bottom-up Windows bitmap; false with `error`.
bool WriteBmp24(const std::string& path, const QImage& image, std::string& error);

// WriteBmp24 for a sequence of frames: the whole file is put together in one buffer kept from
// call to call and written with one write, so a frame costs no allocation of its size.
class BmpWriter {
 public:
  bool Write(const std::string& path, const QImage& image, std::string& error);

 private:
  std::vector<char> buffer_;
};

struct FrameExportHooks {
  // Draws the frame for the engine's state and returns the display picture to save.
  std::function<const QImage*()> DrawFrame;
  // Takes each drawn frame `n` (from 1) instead of the bitmap writer; false with `error` stops
  // the run there, as a bitmap that cannot be written does. Unset: base + number + ".bmp".
  std::function<bool(const QImage& frame, int32_t n, std::string& error)> TakeFrame;
  // Frame n shows chart time (n - 1) / fps, so the first frame shows the start (a video's frame
  // timestamps); false: n / fps, as bitmap output numbers its files.
  bool FirstFrameAtStart = false;
  // Lets pending events run once per frame (pause and stop reach the loop this way).
  std::function<void()> ProcessEvents;
  // Waits while paused.
  std::function<void(int32_t ms)> Sleep;
  // The debug log, when it is on (null: off).
  std::function<void(std::string_view)> DebugLog;
};

// Runs the frame loop from the start of the chart until the first frame past EndPosition + 256,
// the first frame past ExportLimitMs, a stop request, or a frame that cannot be written. The
// engine (over `chart`) plays from measure 0 at the tempo a play from there would start with;
// Playing is set for the run and left set (the caller cleans up).
FrameRun RunFrameLoop(PlayEngine& engine, const Chart& chart, float fps, const std::string& base,
                      const FrameExportHooks& hooks);

// The closing report of a bitmap output run, one debug log line each: the title, the frame total
// ("Total 545 frames"), the files written ("<base>0001-0545.bmp"), the size
// ("123.45MB(921654byte/file)"), the time ("Complete in 2m5.5s (1.37x)", the last figure the run's
// time over the chart's play length) and the closing rule. The total and the range count the
// files written, from frame 1.
std::vector<std::string> BitmapOutputReport(const FrameRun& run, const std::string& base,
                                            uint64_t last_file_bytes, int64_t elapsed_ms,
                                            int32_t total_time_ms);

}  // namespace quillon
