#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/file_io.h"
#include "playlist/default_playlist.h"
#include "shell/main_window.h"
#include "shell/remote_channel.h"
#include "shell/shutdown_signals.h"

namespace {

// The arguments as bytes: file names need not be text in the user's locale. QApplication takes
// its own options (-platform, ...) out of argv, so this is read again after making it.
std::vector<std::string> Arguments(int argc, char* argv[]) {
  return std::vector<std::string>(argv, argv + argc);
}

void NameApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
  QCoreApplication::setOrganizationName(QStringLiteral("Quillon"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  // Ties the window to quillon.desktop, whose icon and name the desktop then shows for it.
  QGuiApplication::setDesktopFileName(QStringLiteral("quillon"));
}

// Editor preview: the running player takes the chart (or the stop) through its remote channel;
// with none running, a preview starts a new player and a stop has nothing to stop. Returns the
// exit status, or -1 when a new player must start.
int ForwardPreview(const quillon::CommandLine& command) {
  if (!quillon::RemoteInstanceRunning()) {
    return command.Action == quillon::CommandLine::Mode::PreviewStop ? 0 : -1;
  }
  std::string text = "LSTOP";
  if (command.Action == quillon::CommandLine::Mode::Preview) {
    // The client makes a relative path absolute against this folder.
    text = "LPREVIEW " + std::to_string(command.PreviewMeasure) + " " + command.ChartPath;
  }
  std::ostringstream ignored;
  return quillon::RunRemoteClient({text}, 0, ignored, std::cerr);
}

// A start with files while a player runs (the desktop opening charts with the program): the
// files go to that player and this start ends. Returns the exit status, or -1 when a new player
// must start.
int ForwardFiles(const quillon::StartFiles& files) {
  const std::vector<std::string> texts = quillon::ForwardTexts(files);
  if (texts.empty() || !quillon::RemoteInstanceRunning()) return -1;
  std::ostringstream ignored;
  return quillon::RunRemoteClient(texts, 0, ignored, std::cerr);
}

void ReportLeftOut(const quillon::StartFiles& files) {
  for (const std::string& path : files.LeftOut)
    std::cerr << "quillon: one playlist opens at a time; " << path << " is left out\n";
}

}  // namespace

int main(int argc, char* argv[]) {
  const quillon::CommandLine first = quillon::ParseCommandLine(Arguments(argc, argv));
  using Mode = quillon::CommandLine::Mode;
  const bool preview = first.Action == Mode::Preview || first.Action == Mode::PreviewStop;
  if (preview) {
    QCoreApplication app(argc, argv);
    NameApplication();
    const int forwarded = ForwardPreview(first);
    if (forwarded >= 0) return forwarded;
  }
  if (first.Action == Mode::Player && !first.Files.empty()) {
    QCoreApplication app(argc, argv);
    NameApplication();
    const quillon::StartFiles files = quillon::SortStartFiles(first.Files);
    const int forwarded = ForwardFiles(files);
    if (forwarded >= 0) {
      ReportLeftOut(files);
      return forwarded;
    }
  }
  if (first.Action == Mode::RenderVideo) {
    // The video's text is drawn with Qt's fonts, which need a QGuiApplication; it never shows a
    // window, so it needs no display either.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    NameApplication();
    quillon::CommandLine command = quillon::ParseCommandLine(Arguments(argc, argv));
    command.RenderVideo.Progress = isatty(STDERR_FILENO) == 1;
    return quillon::RunCommandLine(command, std::cout, std::cerr);
  }
  // The other headless commands never need a display; only the player makes a QApplication.
  if (first.Action != Mode::Player && !preview) {
    QCoreApplication app(argc, argv);
    NameApplication();
    const quillon::CommandLine command = quillon::ParseCommandLine(Arguments(argc, argv));
    return quillon::RunCommandLine(command, std::cout, std::cerr);
  }

  QApplication app(argc, argv);
  NameApplication();
  QApplication::setQuitOnLastWindowClosed(false);
  const quillon::CommandLine command = quillon::ParseCommandLine(Arguments(argc, argv));
  const int start_measure = command.Action == Mode::Preview ? command.PreviewMeasure : 0;

  quillon::MainWindowOptions options;
  options.ProgramFolder = quillon::ProgramFolder();
  options.DataFolder = quillon::UserDataFolder();
  quillon::MainWindow window(options);
  window.on_ended = [] { QCoreApplication::quit(); };
  // kill, Ctrl+C and the end of the session quit as File > Quit does.
  const quillon::ShutdownSignals shutdown_signals([&window] { window.RequestQuit(); });
  // The chart enters the playlist and the settings: it must name the same file from any folder
  // (SortStartFiles makes the player's paths absolute too).
  const quillon::StartFiles files = quillon::SortStartFiles(command.Files);
  ReportLeftOut(files);
  const bool editor_preview = command.Action == Mode::Preview;
  window.SetStartFiles(files.Playlist, files.MoreCharts);
  window.Startup(editor_preview ? quillon::AbsolutePath(command.ChartPath) : files.Chart,
                 start_measure, editor_preview);
  if (window.Ended()) return 0;
  return QApplication::exec();
}
