#include <QCoreApplication>
#include <iostream>

#include "app/command_line.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  const quillon::CommandLine command = quillon::ParseCommandLine(QCoreApplication::arguments());
  return quillon::RunCommandLine(command, std::cout, std::cerr);
}
