// The program's command line: `quillon [FILE...]` and the headless commands.
#pragma once

#include <string>
#include <vector>

#include "app/dump_command.h"
#include "app/library_command.h"
#include "app/render_audio_command.h"
#include "app/render_frames_command.h"
#include "app/render_video_command.h"

namespace quillon {

struct CommandLine {
  enum class Mode {
    Player,
    Dump,
    RenderAudio,
    RenderFrames,
    RenderVideo,
    Remote,       // send texts to the running player and print its notifications
    Preview,      // an editor's preview: play the chart from a measure in the running player
    PreviewStop,  // an editor's stop
    Library,      // add or remove a library folder, scan, query or rebuild the library
    Help,
    Version,
    Error
  };
  Mode Action = Mode::Player;
  std::string ChartPath;  // the chart to dump, render or preview: the words joined by blanks
  std::vector<std::string> Files;  // the player's charts and playlists (see PlayerFiles)
  DumpRequest Dump;
  RenderAudioRequest RenderAudio;
  RenderFramesRequest RenderFrames;
  RenderVideoRequest RenderVideo;
  LibraryRequest Library;
  std::string Text;  // help text, version text or error message
  std::vector<std::string> RemoteTexts;
  int RemoteWaitMs = 500;
  int PreviewMeasure = 0;
};

// Parses the arguments as given to main() (the first one is the program name); paths and texts
// keep their bytes. Never exits the process.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The files the player's words name. Several words are several files when each one names
// something that exists and the words joined by blanks do not (a file manager hands over whole
// paths, one a word); otherwise they are one path joined by blanks, so that a path with blanks
// that reached the program as several words (`quillon my song.bms`) still names its chart. Bytes
// are kept; no words, no files.
std::vector<std::string> PlayerFiles(const std::vector<std::string>& words);

// What a start of the player opens: the first .bpl as the playlist, the first chart to load and
// play, the other charts appended to the playlist. A further .bpl is left out: one list is open at
// a time. Paths are absolute (AbsolutePath) with their bytes kept.
struct StartFiles {
  std::string Playlist;
  std::string Chart;
  std::vector<std::string> MoreCharts;
  std::vector<std::string> LeftOut;
};
StartFiles SortStartFiles(const std::vector<std::string>& files);

// The remote texts that hand the files to a running player, in this order: "LPLAYLIST <path>",
// "LLOAD <path>" (the chart plays), one "LADD <path>" per further chart.
std::vector<std::string> ForwardTexts(const StartFiles& files);

// Runs what the command line asks for and returns the exit status.
int RunCommandLine(const CommandLine& command, std::ostream& out, std::ostream& err);

}  // namespace quillon
