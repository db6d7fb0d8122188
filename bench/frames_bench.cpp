// Bitmap output of the demo chart at 512 x 512 and 30 fps: frames written per second, against
// two baselines in the same run: the same frame loop saving one still picture (no drawing), and
// writing the same number of files of the same bytes raw, one write(2) from a ready buffer each.
// The export/raw ratio is the figure the target (at most 1.5) is about.
//
// Then the same export of the demo chart with movies against the same chart with still pictures
// only: the base becomes a 640 x 480, 30 fps MPEG-4 movie (made at the start, moving content) and
// the layer keeps the demo's own movie; the still variant names the demo's pictures instead. The
// movie/still ratio is the figure the target (at most 2) is about.
#include <fcntl.h>
#include <unistd.h>
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_support.h"
#include "chart_resources/resource_loader.h"
#include "platform/surface.h"
#include "playback/frame_export.h"
#include "playback/headless.h"
#include "playback/note_display.h"
#include "playback/sound_backend.h"
#include "support/test_clip.h"

namespace quillon {
namespace {

using bench::MedianSeconds;

class NoMessages : public SoundMessages {
 public:
  void ShowSoundError(std::string_view) override {}
};

// A chart loaded with its pictures and movies, and the display and engine that export it at
// 512 x 512.
struct ExportRig {
  ExportRig(const std::string& chart_path, const std::filesystem::path& dir) {
    surfaces.DisplayWidth = 512;
    surfaces.DisplayHeight = 512;
    LoadOptions options;
    options.Seed = 1;
    ChartLoader(chart, load_view, flags, &resources, options).LoadBms(chart_path, false);
    display.DisplayWidth = 512;
    display.DisplayHeight = 512;
    display.LoadSkins((dir / "skins").string(), (dir / "skins").string());
    display.SetLaneLayout(chart.Header.SevenKeys ? 1 : 0);
  }
  // Exports at 30 fps to `base`NNNN.bmp; the frames written.
  int32_t Export(const std::string& base) {
    FrameExportHooks hooks;
    hooks.DrawFrame = [&]() -> const QImage* {
      display.DrawFrame(engine, chart, resources.SpriteDc, resources.BgaDc, nullptr);
      return surfaces.Image(resources.SpriteDc);
    };
    return RunFrameLoop(engine, chart, 30, base, hooks).FrameNumber;
  }

  SurfaceRegistry surfaces;
  const ElementFlags flags = ElementFlags::FirstStart();
  SoundDevice sound{MakeNullBackend()};
  const int32_t no_device = 0;
  NoMessages messages;
  ResourceLoader resources{sound, no_device, messages, surfaces, flags};
  Chart chart;
  LoadView load_view;
  NoteDisplay display{surfaces, flags};
  StillClock clock;
  HeadlessView view;
  SilentSounds sounds;
  PlayEngine engine{chart, flags, clock, view, sounds};
};

// Seconds to export `chart_path` at 512 x 512 and 30 fps (median of three), and its frames.
double ExportSeconds(const std::string& chart_path, const std::filesystem::path& dir,
                     int32_t& frames) {
  ExportRig rig(chart_path, dir);
  return MedianSeconds(3, [&] { frames = rig.Export((dir / "f").string()); });
}

// The demo chart's text with `from` replaced by `to` in its #BMP lines.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

void MovieAgainstStill(const std::filesystem::path& dir) {
  const std::filesystem::path demo = QUILLON_SOURCE_DIR "/resources/demo";
  const std::filesystem::path copy = dir / "demo";
  std::filesystem::copy(
      demo, copy,
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  test::ClipOptions clip;
  clip.codec = "mpeg4";
  clip.width = 640;
  clip.height = 480;
  clip.fps = 30;
  clip.frames = 40 * 30;
  clip.key_interval = 30;
  clip.moving = true;
  const std::string error = test::WriteClip((copy / "movie.mp4").string(), clip);
  if (!error.empty()) {
    std::printf("movie export: no clip (%s)\n", error.c_str());
    return;
  }
  std::ifstream in(copy / "demo.bms", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::ofstream(copy / "movies.bms") << Replaced(text, "#BMP01 bga_01.png", "#BMP01 movie.mp4");
  std::ofstream(copy / "stills.bms")
      << Replaced(text, "#BMP04 demo_layer.avi", "#BMP04 layer_01.png");
  int32_t frames = 0;
  const double movies = ExportSeconds((copy / "movies.bms").string(), dir, frames);
  const double stills = ExportSeconds((copy / "stills.bms").string(), dir, frames);
  std::printf(
      "render-frames 512x512 at 30 fps, %d frames: %.0f frames/s with a 640x480 movie base and "
      "the demo's layer movie, %.0f frames/s with still pictures\n",
      frames, frames / movies, frames / stills);
  std::printf("movie/still ratio: %.2f (target: at most 2.00)\n", movies / stills);
}

int Run() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quillon_frames_bench";
  std::filesystem::create_directories(dir);
  ExportRig rig(QUILLON_SOURCE_DIR "/resources/demo/demo.bms", dir);
  PlayEngine& engine = rig.engine;
  Chart& chart = rig.chart;
  int32_t frames = 0;
  const double drawn = MedianSeconds(3, [&] { frames = rig.Export((dir / "drawn").string()); });
  const QImage still = rig.surfaces.Image(rig.resources.SpriteDc)->copy();
  const double plain = MedianSeconds(3, [&] {
    FrameExportHooks hooks;
    hooks.DrawFrame = [&]() -> const QImage* { return &still; };
    RunFrameLoop(engine, chart, 30, (dir / "plain").string(), hooks);
  });
  // The bytes of a frame file, written as they are: what the disk and the kernel cost alone.
  const std::vector<char> bytes(
      std::filesystem::file_size(FrameFileName((dir / "drawn").string(), 1)), 'q');
  const double raw = MedianSeconds(3, [&] {
    for (int32_t n = 1; n <= frames; ++n) {
      const std::string file = FrameFileName((dir / "raw").string(), n);
      const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror(file.c_str());
      }
      if (fd >= 0) ::close(fd);
    }
  });
  std::printf(
      "render-frames 512x512 at 30 fps: %d frames, %.0f frames/s drawn and written, %.0f "
      "frames/s written without drawing, %.0f frames/s written raw\n",
      frames, frames / drawn, frames / plain, frames / raw);
  std::printf("export/raw ratio: %.2f (target: at most 1.50), export/still-frame ratio: %.2f\n",
              drawn / raw, drawn / plain);
  MovieAgainstStill(dir);
  std::filesystem::remove_all(dir);
  return 0;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  return quillon::Run();
}
