#include "app/command_line.h"

#include "platform/file_io.h"
#include "playlist/default_playlist.h"
#include "playlist/playlist.h"
#include "shell/remote_channel.h"
#include "shell/remote_commands.h"

#include <unistd.h>
#include <QCommandLineParser>
#include <filesystem>
#include <ostream>
#include <system_error>

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

// Arguments are bytes: a chart path may be CP932 bytes that are not text in the user's locale.
// Latin-1 maps every byte to one character and back, so the parser sees each argument whole and
// every value it returns converts back to the very bytes given.
QString FromBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
  return text.toLatin1().toStdString();
}

// "1280x720" -> 1280, 720; false unless both are whole numbers from 16 to 8192.
bool ParseSize(const QString& text, int32_t& width, int32_t& height) {
  const QStringList size = text.split(QLatin1Char('x'));
  bool w_ok = false;
  bool h_ok = false;
  width = size.size() == 2 ? size[0].toInt(&w_ok) : 0;
  height = size.size() == 2 ? size[1].toInt(&h_ok) : 0;
  return w_ok && h_ok && width >= 16 && height >= 16 && width <= 8192 && height <= 8192;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::path(path), error);
}

std::string Joined(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += ' ';
    joined += word;
  }
  return joined;
}

}  // namespace

std::vector<std::string> PlayerFiles(const std::vector<std::string>& words) {
  if (words.size() <= 1) return words;
  const std::string joined = Joined(words);
  bool separate = !Exists(joined);
  for (const std::string& word : words)
    separate = separate && !word.empty() && Exists(word);
  if (separate) return words;
  return {joined};
}

StartFiles SortStartFiles(const std::vector<std::string>& files) {
  StartFiles sorted;
  for (const std::string& file : files) {
    if (file.empty()) continue;
    const std::string path = AbsolutePath(file);
    if (IsPlaylistFile(path) && sorted.Playlist.empty()) {
      sorted.Playlist = path;
    } else if (IsPlaylistFile(path)) {
      sorted.LeftOut.push_back(path);
    } else if (sorted.Chart.empty()) {
      sorted.Chart = path;
    } else {
      sorted.MoreCharts.push_back(path);
    }
  }
  return sorted;
}

std::vector<std::string> ForwardTexts(const StartFiles& files) {
  std::vector<std::string> texts;
  const auto text = [](std::string_view word, const std::string& path) {
    return std::string(word) + ' ' + path;
  };
  if (!files.Playlist.empty()) texts.push_back(text(kRemotePlaylistWord, files.Playlist));
  if (!files.Chart.empty()) texts.push_back(text("LLOAD", files.Chart));
  for (const std::string& chart : files.MoreCharts)
    texts.push_back(text(kRemoteAddWord, chart));
  return texts;
}

CommandLine ParseCommandLine(const std::vector<std::string>& raw_arguments) {
  QStringList arguments;
  for (const std::string& argument : raw_arguments)
    arguments << FromBytes(argument);
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Quillon: a viewer and player for BMS charts."));
  const QCommandLineOption help_option = parser.addHelpOption();
  const QCommandLineOption version_option = parser.addVersionOption();
  const QCommandLineOption dump_option(
      QStringLiteral("dump"), QStringLiteral("Print the compiled chart as JSON and exit."));
  const QCommandLineOption choose_option(
      QStringLiteral("choose"),
      QStringLiteral("With --dump or a --render option: the branch of each #RANDOM block in turn, "
                     "such as 2,1 (0: random)."),
      QStringLiteral("LIST"));
  const QCommandLineOption seed_option(
      QStringLiteral("seed"),
      QStringLiteral("With --dump or a --render option: the seed of the random branches."),
      QStringLiteral("N"));
  const QCommandLineOption resources_option(
      QStringLiteral("resources"),
      QStringLiteral("With --dump: also load the sounds and pictures and list them."));
  const QCommandLineOption notes_option(
      QStringLiteral("notes"),
      QStringLiteral(
          "With --dump: also list the playable notes with their times in milliseconds."));
  const QCommandLineOption classic_option(
      QStringLiteral("classic"),
      QStringLiteral("With --dump or a --render option: read the chart the classic way, without "
                     "the extended commands (base-36 ids, #BPMxx, #STOP, long notes); a video also "
                     "gets the BGA composed at 256x256, as the classic display does."));
  const QCommandLineOption render_option(
      QStringLiteral("render-audio"),
      QStringLiteral("Play the chart headless and write its sound to a WAV file, then exit."),
      QStringLiteral("OUT.wav"));
  const QCommandLineOption rate_option(
      QStringLiteral("rate"), QStringLiteral("With --render-audio: the sample rate (44100)."),
      QStringLiteral("HZ"));
  const QCommandLineOption frames_option(
      QStringLiteral("render-frames"),
      QStringLiteral(
          "Draw the display frame by frame into BASE0001.bmp, BASE0002.bmp, ..., then exit."),
      QStringLiteral("BASE"));
  const QCommandLineOption video_option(
      QStringLiteral("render-video"),
      QStringLiteral("Play the chart headless into a video file with its sound (.mp4: H.264 and "
                     "AAC, .webm: VP9 and Opus, .mkv: H.264 and AAC), then exit."),
      QStringLiteral("OUT"));
  const QCommandLineOption fps_option(
      QStringLiteral("fps"),
      QStringLiteral("Frames per second (--render-frames; a whole number with --render-video, "
                     "60 by default)."),
      QStringLiteral("F"));
  const QCommandLineOption size_option(
      QStringLiteral("size"),
      QStringLiteral("With --render-frames: the display size (512x512); with --render-video: the "
                     "video's size (1920x1080), the display a square of its shorter side."),
      QStringLiteral("WxH"));
  const QCommandLineOption quality_option(
      QStringLiteral("quality"),
      QStringLiteral("With --render-video: the constant quality from 0 (best, largest) to 100 "
                     "(smallest) (30)."),
      QStringLiteral("Q"));
  const QCommandLineOption remote_option(
      QStringLiteral("remote"),
      QStringLiteral("Send each TEXT to the running player (LLOAD path, LADD path, LPLAYLIST "
                     "path, LPLAY, LPAUSE, LSTOP, LPREV, LNEXT, LREW, LFF, LREP1, LREPA, LCLOSE) "
                     "and print what it answers."));
  const QCommandLineOption wait_option(
      QStringLiteral("wait"),
      QStringLiteral("With --remote: how long to print the player's answers (500 ms)."),
      QStringLiteral("MS"));
  const QCommandLineOption preview_option(
      QStringLiteral("P"),
      QStringLiteral("Chart editors: play CHART in the running player (or a new one)."));
  const QCommandLineOption measure_option(QStringLiteral("N"),
                                          QStringLiteral("With -P: the measure to play from."),
                                          QStringLiteral("MEASURE"));
  const QCommandLineOption stop_option(QStringLiteral("S"),
                                       QStringLiteral("Chart editors: stop the running player."));
  const QCommandLineOption library_add_option(
      QStringLiteral("library-add"),
      QStringLiteral("Add a folder to the chart library (then --library-scan indexes it)."),
      QStringLiteral("DIR"));
  const QCommandLineOption library_remove_option(
      QStringLiteral("library-remove"),
      QStringLiteral("Remove a folder from the chart library, with the charts found only there."),
      QStringLiteral("DIR"));
  const QCommandLineOption library_scan_option(
      QStringLiteral("library-scan"),
      QStringLiteral("Index new and changed charts under the library folders, drop the ones gone, "
                     "and print a summary."));
  const QCommandLineOption library_query_option(
      QStringLiteral("library-query"),
      QStringLiteral("Print the library's charts that match every word of TEXT (all for an "
                     "empty TEXT) as JSON lines: path, title, artist, level, mode, notes, length, "
                     "md5, sha256. A path that is no UTF-8 is decoded from CP932."),
      QStringLiteral("TEXT"));
  const QCommandLineOption library_rebuild_option(
      QStringLiteral("library-rebuild"),
      QStringLiteral("Set a library database that cannot be read aside and start a new one."));
  parser.addOption(library_add_option);
  parser.addOption(library_remove_option);
  parser.addOption(library_scan_option);
  parser.addOption(library_query_option);
  parser.addOption(library_rebuild_option);
  parser.addOption(remote_option);
  parser.addOption(wait_option);
  parser.addOption(preview_option);
  parser.addOption(measure_option);
  parser.addOption(stop_option);
  parser.addOption(frames_option);
  parser.addOption(video_option);
  parser.addOption(fps_option);
  parser.addOption(size_option);
  parser.addOption(quality_option);
  parser.addOption(render_option);
  parser.addOption(rate_option);
  parser.addOption(dump_option);
  parser.addOption(resources_option);
  parser.addOption(notes_option);
  parser.addOption(classic_option);
  parser.addOption(choose_option);
  parser.addOption(seed_option);
  parser.addPositionalArgument(
      QStringLiteral("files"),
      QStringLiteral("BMS charts to open (the first plays, the others join the playlist) or a "
                     ".bpl playlist; a running player is handed them."),
      QStringLiteral("[FILE...]"));

  CommandLine command;
  if (!parser.parse(arguments)) {
    command.Action = CommandLine::Mode::Error;
    command.Text = ToBytes(parser.errorText());
    return command;
  }
  if (parser.isSet(help_option)) {
    command.Action = CommandLine::Mode::Help;
    command.Text = ToBytes(parser.helpText());
    return command;
  }
  if (parser.isSet(version_option)) {
    command.Action = CommandLine::Mode::Version;
    command.Text = "quillon " QUILLON_VERSION;
    return command;
  }
  const QStringList positional = parser.positionalArguments();
  auto fail = [&command](std::string text) {
    command.Action = CommandLine::Mode::Error;
    command.Text = std::move(text);
    return command;
  };
  const bool dump = parser.isSet(dump_option);
  const bool audio = parser.isSet(render_option);
  const bool frames = parser.isSet(frames_option);
  const bool video = parser.isSet(video_option);
  const bool remote = parser.isSet(remote_option);
  const bool preview = parser.isSet(preview_option);
  const bool stop = parser.isSet(stop_option);
  const int library =
      int{parser.isSet(library_add_option)} + int{parser.isSet(library_remove_option)} +
      int{parser.isSet(library_scan_option)} + int{parser.isSet(library_query_option)} +
      int{parser.isSet(library_rebuild_option)};
  if (int{dump} + int{audio} + int{frames} + int{video} + int{remote} + int{preview} + int{stop} +
          int{library > 0} >
      1) {
    return fail(
        "--dump, --render-audio, --render-frames, --render-video, --remote, -P, -S and the "
        "--library commands cannot go together");
  }
  if (library > 1) return fail("one --library command at a time");
  if (library > 0) {
    for (const QCommandLineOption* other :
         {&wait_option, &measure_option, &resources_option, &notes_option, &rate_option,
          &fps_option, &size_option, &quality_option, &choose_option, &seed_option,
          &classic_option}) {
      if (parser.isSet(*other)) {
        const std::string name = ToBytes(other->names().front());
        return fail((name.size() == 1 ? "-" : "--") + name +
                    " does not go with the --library commands");
      }
    }
    LibraryRequest& request = command.Library;
    request.DataFolder = UserDataFolder();
    if (parser.isSet(library_add_option)) {
      request.Action = LibraryRequest::Kind::Add;
      request.Folder = ToBytes(parser.value(library_add_option));
    } else if (parser.isSet(library_remove_option)) {
      request.Action = LibraryRequest::Kind::Remove;
      request.Folder = ToBytes(parser.value(library_remove_option));
    } else if (parser.isSet(library_query_option)) {
      // Further words belong to the text: `--library-query night sky` asks for both words.
      QStringList words{parser.value(library_query_option)};
      words << positional;
      request.Action = LibraryRequest::Kind::Query;
      request.Text = ToBytes(words.join(QLatin1Char(' ')));
    } else if (parser.isSet(library_rebuild_option)) {
      request.Action = LibraryRequest::Kind::Rebuild;
    } else {
      request.Action = LibraryRequest::Kind::Scan;
      request.Progress = isatty(STDERR_FILENO) != 0;
    }
    if (request.Action != LibraryRequest::Kind::Query && !positional.isEmpty()) {
      return fail("the --library commands take no files");
    }
    if ((request.Action == LibraryRequest::Kind::Add ||
         request.Action == LibraryRequest::Kind::Remove) &&
        request.Folder.empty()) {
      return fail("--library-add and --library-remove need a folder");
    }
    command.Action = CommandLine::Mode::Library;
    return command;
  }
  if (parser.isSet(wait_option) && !remote) return fail("--wait goes with --remote");
  if (parser.isSet(measure_option) && !preview) return fail("-N goes with -P");
  if (remote) {
    if (positional.isEmpty()) return fail("--remote needs at least one text to send");
    for (const QString& text : positional)
      command.RemoteTexts.push_back(ToBytes(text));
    if (parser.isSet(wait_option)) {
      bool ok = false;
      command.RemoteWaitMs = parser.value(wait_option).toInt(&ok);
      if (!ok || command.RemoteWaitMs < 0) return fail("--wait takes milliseconds, such as 500");
    }
    command.Action = CommandLine::Mode::Remote;
    return command;
  }
  if (stop) {
    if (!positional.isEmpty()) return fail("-S takes no chart");
    command.Action = CommandLine::Mode::PreviewStop;
    return command;
  }
  // The player takes the whole rest of the command line as the chart path, so a path with blanks
  // that reached it as several words still names the chart; the headless commands take one.
  const bool headless = dump || audio || frames || video;
  if (positional.size() > 1 && headless) {
    return fail("only one chart may be given");
  }
  if (!positional.isEmpty()) command.ChartPath = ToBytes(positional.join(QLatin1Char(' ')));
  if (preview) {
    if (command.ChartPath.empty()) return fail("-P needs a chart");
    if (parser.isSet(measure_option)) {
      bool ok = false;
      command.PreviewMeasure = parser.value(measure_option).toInt(&ok);
      if (!ok || command.PreviewMeasure < 0) return fail("-N takes a measure number, such as -N12");
    }
    command.Action = CommandLine::Mode::Preview;
    return command;
  }
  // Options that belong to one command only.
  if (parser.isSet(resources_option) && !dump) return fail("--resources goes with --dump");
  if (parser.isSet(notes_option) && !dump) return fail("--notes goes with --dump");
  if (parser.isSet(rate_option) && !audio) return fail("--rate goes with --render-audio");
  if ((parser.isSet(fps_option) || parser.isSet(size_option)) && !frames && !video) {
    return fail("--fps and --size go with --render-frames or --render-video");
  }
  if (parser.isSet(quality_option) && !video) return fail("--quality goes with --render-video");
  if (!headless) {
    if (parser.isSet(choose_option) || parser.isSet(seed_option) || parser.isSet(classic_option)) {
      return fail("--choose, --seed and --classic go with --dump or a --render option");
    }
    std::vector<std::string> words;
    for (const QString& word : positional)
      words.push_back(ToBytes(word));
    command.Files = PlayerFiles(words);
    return command;
  }
  if (command.ChartPath.empty()) return fail("a chart is needed");

  LoadOptions options;
  // The headless commands read charts the extended way unless asked for the classic reading.
  options.Extended = !parser.isSet(classic_option);
  if (parser.isSet(choose_option) && !ParseChoices(parser.value(choose_option), options.Choices)) {
    return fail("--choose takes whole numbers separated by commas, such as 2,1");
  }
  if (parser.isSet(seed_option)) {
    bool ok = false;
    const qulonglong seed = parser.value(seed_option).toULongLong(&ok);
    if (!ok) return fail("--seed takes a whole number");
    options.Seed = seed;
  }
  if (dump) {
    command.Action = CommandLine::Mode::Dump;
    command.Dump = {command.ChartPath, std::move(options), parser.isSet(resources_option),
                    parser.isSet(notes_option)};
    return command;
  }
  if (audio) {
    command.Action = CommandLine::Mode::RenderAudio;
    command.RenderAudio.ChartPath = command.ChartPath;
    command.RenderAudio.OutPath = ToBytes(parser.value(render_option));
    command.RenderAudio.Options = std::move(options);
    if (parser.isSet(rate_option)) {
      bool ok = false;
      const int rate = parser.value(rate_option).toInt(&ok);
      if (!ok || rate < 8000 || rate > 192000) {
        return fail("--rate takes a rate from 8000 to 192000");
      }
      command.RenderAudio.Rate = rate;
    }
    return command;
  }
  int32_t width = 0;
  int32_t height = 0;
  if (parser.isSet(size_option) && !ParseSize(parser.value(size_option), width, height)) {
    return fail("--size takes WIDTHxHEIGHT, each from 16 to 8192, such as 1280x720");
  }
  if (video) {
    RenderVideoRequest& request = command.RenderVideo;
    command.Action = CommandLine::Mode::RenderVideo;
    VideoExportRequest& export_request = request.Export;
    export_request.ChartPath = command.ChartPath;
    export_request.OutPath = ToBytes(parser.value(video_option));
    export_request.ClassicBga = parser.isSet(classic_option);
    export_request.Options = std::move(options);
    if (parser.isSet(fps_option)) {
      bool ok = false;
      export_request.Video.Fps = parser.value(fps_option).toInt(&ok);
      if (!ok || export_request.Video.Fps < 1 || export_request.Video.Fps > 240) {
        return fail("--fps takes a whole frame rate from 1 to 240 with --render-video");
      }
    }
    if (parser.isSet(quality_option)) {
      bool ok = false;
      export_request.Video.Quality = parser.value(quality_option).toInt(&ok);
      if (!ok || export_request.Video.Quality < 0 || export_request.Video.Quality > 100) {
        return fail("--quality takes a whole number from 0 to 100");
      }
    }
    if (width > 0) {
      export_request.Video.Width = width;
      export_request.Video.Height = height;
    }
    export_request.ProgramFolder = ProgramFolder();
    export_request.DataFolder = UserDataFolder();
    return command;
  }
  RenderFramesRequest& request = command.RenderFrames;
  command.Action = CommandLine::Mode::RenderFrames;
  request.ChartPath = command.ChartPath;
  request.Base = ToBytes(parser.value(frames_option));
  request.Options = std::move(options);
  if (!parser.isSet(fps_option)) return fail("--render-frames needs --fps");
  bool ok = false;
  const double fps = parser.value(fps_option).toDouble(&ok);
  if (!ok || !(fps > 0) || fps > 1000) return fail("--fps takes a frame rate above 0, up to 1000");
  request.Fps = static_cast<float>(fps);
  if (width > 0) {
    request.Width = width;
    request.Height = height;
  }
  // The skins are looked up where the player window looks for them. The parse runs before any
  // application object exists, so these come from /proc and the environment, not from Qt.
  request.ProgramFolder = ProgramFolder();
  request.DataFolder = UserDataFolder();
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
    case CommandLine::Mode::RenderAudio:
      return RunRenderAudio(command.RenderAudio, out, err);
    case CommandLine::Mode::RenderFrames:
      return RunRenderFrames(command.RenderFrames, out, err);
    case CommandLine::Mode::RenderVideo:
      return RunRenderVideo(command.RenderVideo, out, err);
    case CommandLine::Mode::Library:
      return RunLibraryCommand(command.Library, out, err);
    case CommandLine::Mode::Remote:
      return RunRemoteClient(command.RemoteTexts, command.RemoteWaitMs, out, err);
    case CommandLine::Mode::Player:
    case CommandLine::Mode::Preview:
    case CommandLine::Mode::PreviewStop:
      // The player and editor preview run in main(), which owns the QApplication.
      return 0;
  }
  return 1;
}

}  // namespace quillon
