#include <QApplication>
#include <QCoreApplication>
#include <iostream>

#include "app/command_line.h"
#include "playlist/default_playlist.h"
#include "shell/main_window.h"

namespace {

QStringList RawArguments(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

void NameApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
  QCoreApplication::setOrganizationName(QStringLiteral("Quillon"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
}

}  // namespace

int main(int argc, char* argv[]) {
  // The headless commands never need a display; only the player makes a QApplication.
  if (quillon::ParseCommandLine(RawArguments(argc, argv)).Action !=
      quillon::CommandLine::Mode::Player) {
    QCoreApplication app(argc, argv);
    NameApplication();
    const quillon::CommandLine command = quillon::ParseCommandLine(QCoreApplication::arguments());
    return quillon::RunCommandLine(command, std::cout, std::cerr);
  }

  QApplication app(argc, argv);
  NameApplication();
  QApplication::setQuitOnLastWindowClosed(false);
  const quillon::CommandLine command = quillon::ParseCommandLine(QCoreApplication::arguments());

  quillon::MainWindowOptions options;
  options.ProgramFolder = quillon::ProgramFolder();
  options.DataFolder = quillon::UserDataFolder();
  quillon::MainWindow window(options);
  window.on_ended = [] { QCoreApplication::quit(); };
  window.Startup(command.ChartPath);
  if (window.Ended()) return 0;
  return QApplication::exec();
}
