// Bitmap output of the demo chart at 30 fps and 512 x 512 through the main window's BMPOUT
// command (drawn into the window's display, shown, events let run once per frame), against the
// headless --render-frames of the same chart in the same run: frames written per second and their
// ratio.
#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "app/render_frames_command.h"
#include "bench_support.h"
#include "platform/common_dialog.h"
#include "shell/main_window.h"

namespace quillon {
namespace {

using bench::MedianSeconds;

// Answers the frame-rate question with 30 and the save dialog with a file in the scratch folder.
class Answers : public DialogBackend {
 public:
  std::optional<QString> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const FileDialogRequest&) override { return path; }
  std::optional<QColor> Color(QWidget*, const QColor&) override { return std::nullopt; }
  std::optional<QFont> Font(QWidget*, const QFont&) override { return std::nullopt; }
  std::optional<QString> Text(QWidget*, const QString&, const QString&, const QString&) override {
    return QStringLiteral("30");
  }
  QString path;
};

size_t CountFiles(const std::filesystem::path& folder) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    n += entry.is_regular_file();
  return n;
}

int Run() {
  const bench::TempFolder scratch;
  const std::string chart = QUILLON_SOURCE_DIR "/resources/demo/demo.bms";
  const std::filesystem::path window_out = scratch.Path("window");
  const std::filesystem::path headless_out = scratch.Path("headless");
  std::filesystem::create_directories(window_out);
  std::filesystem::create_directories(headless_out);

  MainWindowOptions options;
  options.SettingsPath = QString::fromStdString(scratch.Path("Quillon.ini"));
  options.DataFolder = scratch.Path("data");
  options.UseSoundDevice = false;
  options.ShowMessageBoxes = false;
  MainWindow window(options);
  window.Startup({});
  window.bLoad(chart);
  window.mZi_Click(2);  // a 512 x 512 display
  Answers answers;
  answers.path = QString::fromStdString((window_out / "w.bmp").string());
  ScopedDialogBackend scoped(answers);
  const double in_window = MedianSeconds(3, [&] { window.BitmapOutput(); });
  const size_t frames = CountFiles(window_out);

  RenderFramesRequest request;
  request.ChartPath = chart;
  request.Base = (headless_out / "h").string();
  request.Fps = 30;
  request.Width = 512;
  request.Height = 512;
  request.ProgramFolder = scratch.Path("data");
  request.DataFolder = scratch.Path("data");
  const double headless = MedianSeconds(3, [&] {
    std::ostringstream out, err;
    RunRenderFrames(request, out, err);
  });

  std::printf(
      "bitmap output 512x512 at 30 fps: %zu frames; window %.0f frames/s, headless %.0f "
      "frames/s, ratio %.2f (window time / headless time; display %dx%d)\n",
      frames, frames / in_window, CountFiles(headless_out) / headless, in_window / headless,
      window.DisplayWidth(), window.DisplayHeight());
  return 0;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return quillon::Run();
}
