#include "app/command_line.h"

#include <QCommandLineParser>
#include <ostream>

namespace quillon {
namespace {

// "2,1,0" -> {2, 1, 0}; false when an item is not a whole number.
bool ParseChoices(const QString& text, std::vector<int>& choices) {
  for (const QString& item : text.split(QLatin1Char(','))) {
    bool ok = false;
    const int value = item.trimmed().toInt(&ok);
    if (!ok || value < 0) return false;
    choices.push_back(value);
  }
  return true;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Quillon: a viewer and player for BMS charts."));
  const QCommandLineOption help_option = parser.addHelpOption();
  const QCommandLineOption version_option = parser.addVersionOption();
  const QCommandLineOption dump_option(
      QStringLiteral("dump"), QStringLiteral("Print the compiled chart as JSON and exit."));
  const QCommandLineOption choose_option(
      QStringLiteral("choose"),
      QStringLiteral("With --dump: the branch of each #RANDOM block in turn (0: random)."),
      QStringLiteral("LIST"));
  const QCommandLineOption seed_option(QStringLiteral("seed"),
                                       QStringLiteral("With --dump: seed for the random branches."),
                                       QStringLiteral("N"));
  const QCommandLineOption resources_option(
      QStringLiteral("resources"),
      QStringLiteral("With --dump: also load the sounds and pictures and list them."));
  parser.addOption(dump_option);
  parser.addOption(resources_option);
  parser.addOption(choose_option);
  parser.addOption(seed_option);
  parser.addPositionalArgument(QStringLiteral("chart"), QStringLiteral("The BMS chart to open."),
                               QStringLiteral("[CHART]"));

  CommandLine command;
  if (!parser.parse(arguments)) {
    command.Action = CommandLine::Mode::Error;
    command.Text = parser.errorText().toStdString();
    return command;
  }
  if (parser.isSet(help_option)) {
    command.Action = CommandLine::Mode::Help;
    command.Text = parser.helpText().toStdString();
    return command;
  }
  if (parser.isSet(version_option)) {
    command.Action = CommandLine::Mode::Version;
    command.Text = "quillon " QUILLON_VERSION;
    return command;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1) {
    command.Action = CommandLine::Mode::Error;
    command.Text = "only one chart may be given";
    return command;
  }
  if (!positional.isEmpty()) command.ChartPath = positional.front().toStdString();

  if (!parser.isSet(dump_option)) {
    if (parser.isSet(choose_option) || parser.isSet(seed_option) ||
        parser.isSet(resources_option)) {
      command.Action = CommandLine::Mode::Error;
      command.Text = "--choose, --seed and --resources go with --dump";
    }
    return command;
  }
  command.Action = CommandLine::Mode::Dump;
  command.Dump.ChartPath = command.ChartPath;
  command.Dump.Resources = parser.isSet(resources_option);
  if (command.ChartPath.empty()) {
    command.Action = CommandLine::Mode::Error;
    command.Text = "--dump needs a chart";
    return command;
  }
  if (parser.isSet(choose_option) &&
      !ParseChoices(parser.value(choose_option), command.Dump.Options.Choices)) {
    command.Action = CommandLine::Mode::Error;
    command.Text = "--choose takes whole numbers separated by commas, such as 2,1";
    return command;
  }
  if (parser.isSet(seed_option)) {
    bool ok = false;
    const qulonglong seed = parser.value(seed_option).toULongLong(&ok);
    if (!ok) {
      command.Action = CommandLine::Mode::Error;
      command.Text = "--seed takes a whole number";
      return command;
    }
    command.Dump.Options.Seed = seed;
  }
  return command;
}

int RunCommandLine(const CommandLine& command, std::ostream& out, std::ostream& err) {
  switch (command.Action) {
    case CommandLine::Mode::Help:
    case CommandLine::Mode::Version:
      out << command.Text << '\n';
      return 0;
    case CommandLine::Mode::Error:
      err << "quillon: " << command.Text << "\nTry 'quillon --help'.\n";
      return 2;
    case CommandLine::Mode::Dump:
      return RunDump(command.Dump, out, err);
    case CommandLine::Mode::Player:
      err << "quillon: the player window is not part of this build yet; use --dump CHART\n";
      return 1;
  }
  return 1;
}

}  // namespace quillon
