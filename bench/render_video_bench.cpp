// `--render-video` of the demo chart at 1280 x 720, 60 fps and the default quality into .mp4:
// frames rendered and encoded per second as a ratio to real time (target: at least 1.0 on two
// cores), against `--render-frames` writing the same frames as raw bitmaps of the same size in
// the same run, and the file's bit rate. One run each: an export of the demo takes seconds.
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "app/render_frames_command.h"
#include "app/render_video_command.h"
#include "bench_support.h"

namespace quillon {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFps = 60;

template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Run() {
  const bench::TempFolder dir;
  const std::string chart = QUILLON_SOURCE_DIR "/resources/demo/demo.bms";
  std::ostringstream out, err;

  RenderVideoRequest video;
  video.Export.ChartPath = chart;
  video.Export.OutPath = dir.Path("demo.mp4");
  video.Export.Video.Width = kWidth;
  video.Export.Video.Height = kHeight;
  video.Export.Video.Fps = kFps;
  video.Export.DataFolder = dir.Path("skins");
  int64_t frames = 0;
  video.AfterFrame = [&frames](int64_t n) { frames = n; };
  int status = 0;
  const double video_seconds = Seconds([&] { status = RunRenderVideo(video, out, err); });
  if (status != 0) {
    std::printf("render-video failed: %s\n", err.str().c_str());
    return 1;
  }

  RenderFramesRequest bitmaps;
  bitmaps.ChartPath = chart;
  bitmaps.Base = dir.Path("f");
  bitmaps.Fps = kFps;
  bitmaps.Width = kWidth;
  bitmaps.Height = kHeight;
  bitmaps.DataFolder = dir.Path("skins");
  const double frames_seconds = Seconds([&] { status = RunRenderFrames(bitmaps, out, err); });

  const double length = static_cast<double>(frames) / kFps;
  const auto bytes = std::filesystem::file_size(video.Export.OutPath);
  std::printf(
      "render-video %dx%d at %d fps, quality %d, .mp4: %lld frames (%.2f s of video) in "
      "%.2f s: %.1f frames/s\n",
      kWidth, kHeight, kFps, video.Export.Video.Quality, static_cast<long long>(frames), length,
      video_seconds, frames / video_seconds);
  std::printf("real-time ratio: %.2fx (target: at least 1.00x)\n", length / video_seconds);
  if (status == 0) {
    std::printf(
        "render-frames of the same frames as bitmaps: %.2f s, %.1f frames/s; "
        "video/bitmaps time ratio: %.2f\n",
        frames_seconds, frames / frames_seconds, video_seconds / frames_seconds);
  }
  std::printf("bit rate: %.0f kbit/s (%.2f MB)\n", bytes * 8.0 / length / 1000.0, bytes / 1e6);
  return 0;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  return quillon::Run();
}
