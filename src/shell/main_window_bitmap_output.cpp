// Bitmap output from the main window: the loaded chart drawn frame by frame at a chosen frame
// rate into the display and written as a numbered sequence of Windows bitmaps, or as a video
// file. The run lives inside this command; pause and stop reach it through the events it lets
// run once per frame.
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "chart/numbers.h"
#include "platform/common_dialog.h"
#include "playback/frame_export.h"
#include "playback/video_export.h"
#include "shell/main_window.h"
#include "shell/picture_widgets.h"

namespace quillon {

namespace {

// Frame rates above this would make a sequence of millions of files for a chart of a few
// minutes: such an answer is a typing slip, not a wish.
constexpr double kMaxOutputFps = 1000.0;
constexpr int kMaxVideoFps = 240;

// Whether `path` names a video file by its extension (any case).
bool IsVideoPath(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".mp4" || extension == ".webm" || extension == ".mkv";
}

}  // namespace

void MainWindow::BitmapOutput() {
  PlayerCore& core = *core_;
  PlayEngine& engine = core.engine;
  if (core.chart.EndPosition == 0 || engine.Playing || loading_) return;
  if (DebugLogging()) WriteDebugLog("Start BitmapOutput --------");
  SetPlayButtons(/*play_pressed=*/true, /*pause_pressed=*/false, /*pause_enabled=*/true,
                 /*stop_pressed=*/false);
  // A cancelled question leaves the buttons as a stopped chart has them.
  const auto give_up = [this] { SetPlayButtons(false, false, false, true); };

  const std::string answer = InputBox(this, strings_.Get(1105), "BitmapOutput", "30");
  const double fps = ReadNumber(answer).value_or(0.0);
  if (!(fps > 0.0)) {
    give_up();
    return;
  }
  if (fps > kMaxOutputFps) {
    MessageBox(
        QStringLiteral("BitmapOutput"),
        QStringLiteral("The frame rate must be more than 0 and at most %1 frames per second.")
            .arg(kMaxOutputFps));
    give_up();
    return;
  }
  const std::string filter = strings_.Get(1106) + '\0' + "*.bmp" + '\0' + strings_.Get(1110) +
                             '\0' + "*.mp4;*.webm;*.mkv" + '\0';
  const std::string path = SaveFileDialog(this, filter, QDir::currentPath().toStdString());
  if (path.empty()) {
    give_up();
    return;
  }
  if (IsVideoPath(path)) {
    VideoOutput(path, static_cast<int>(std::lround(std::clamp(fps, 1.0, 1.0 * kMaxVideoFps))));
    return;
  }
  const std::string base = OutputBaseOf(path);

  const auto start = std::chrono::steady_clock::now();
  BitmapOutputRunning = true;
  FrameExportHooks hooks;
  hooks.DrawFrame = [this, &core]() -> const QImage* {
    core.notes.DrawFrame(core.engine, core.chart, core.resources.SpriteDc, core.resources.BgaDc,
                         &disp_image_);
    ShowDisplay();
    return &disp_image_;
  };
  hooks.ProcessEvents = [this] { ProcessEvents(); };
  hooks.Sleep = [&core](int32_t ms) { core.clock.Sleep(ms); };
  if (DebugLogging()) {
    hooks.DebugLog = [this](std::string_view text) {
      if (DebugLogging()) WriteDebugLog(text);
    };
  }
  const FrameRun run = RunFrameLoop(engine, core.chart, static_cast<float>(fps), base, hooks);
  BitmapOutputRunning = false;
  if (closing_) return;

  if (DebugLogging()) {
    std::error_code error;
    const uintmax_t last_size =
        run.LastFile.empty() ? 0 : std::filesystem::file_size(run.LastFile, error);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    for (const std::string& line :
         BitmapOutputReport(run, base, error ? 0 : last_size, elapsed, core.chart.TotalTimeMs)) {
      WriteDebugLog(line);
    }
  }
  if (!run.Error.empty()) {
    MessageBox(QStringLiteral("BitmapOutput"),
               QStringLiteral("Bitmap output stopped: a frame could not be written.\n") +
                   QString::fromStdString(run.Error));
  }

  disp_image_.fill(Qt::black);
  ShowDisplay();
  engine.StopFile(/*no_stop=*/false);
  engine.Playing = false;
  ShowStillPicture();
}

}  // namespace quillon

namespace quillon {

void MainWindow::VideoOutput(const std::string& path, int fps) {
  PlayerCore& core = *core_;
  PlayEngine& engine = core.engine;
  VideoExportRequest request;
  request.ChartPath = current_file_;
  request.OutPath = path;
  request.Video.Fps = fps;
  request.Options = ChartLoadOptions();
  request.ProgramFolder = options_.ProgramFolder;
  request.DataFolder = options_.DataFolder;
  VideoExportHooks hooks;
  hooks.ProcessEvents = [this] { ProcessEvents(); };
  // The stop button halts play, which raises the engine's stop request.
  engine.StopRequest = false;
  hooks.StopRequested = [this, &engine] { return closing_ || engine.StopRequest; };
  int64_t shown_percent = -1;
  hooks.Progress = [this, &shown_percent](int64_t frames, int64_t total) {
    const int64_t percent = total > 0 ? std::min<int64_t>(100, frames * 100 / total) : 0;
    if (percent == shown_percent) return;
    shown_percent = percent;
    Status("Video " + std::to_string(percent) + "%", "PLAY");
  };
  BitmapOutputRunning = true;
  std::ostringstream messages;
  const VideoExportResult result = ExportVideo(request, hooks, messages);
  BitmapOutputRunning = false;
  if (closing_) return;
  if (result.Written) {
    MessageBox(QStringLiteral("VideoOutput"),
               QStringLiteral("%1\n%2 frames, %3 s")
                   .arg(QString::fromStdString(path))
                   .arg(result.Frames)
                   .arg(result.Seconds, 0, 'f', 2),
               /*information=*/true);
  } else {
    // The messages are the command line's lines: "quillon: " is left out here.
    QString text = QString::fromStdString(messages.str()).trimmed();
    text.replace(QStringLiteral("quillon: "), QString());
    MessageBox(QStringLiteral("VideoOutput"), QStringLiteral("Video output stopped.\n") + text);
  }
  engine.StopFile(/*no_stop=*/false);
  engine.Playing = false;
  ShowStillPicture();
}

}  // namespace quillon
