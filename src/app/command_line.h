// The program's command line: `quillon [CHART]` and the headless commands.
#pragma once

#include <string>
#include <vector>

#include "app/dump_command.h"
#include "app/render_audio_command.h"
#include "app/render_frames_command.h"

namespace quillon {

struct CommandLine {
  enum class Mode {
    Player,
    Dump,
    RenderAudio,
    RenderFrames,
    Remote,       // send texts to the running player and print its notifications
    Preview,      // an editor's preview: play the chart from a measure in the running player
    PreviewStop,  // an editor's stop
    Help,
    Version,
    Error
  };
  Mode Action = Mode::Player;
  std::string ChartPath;  // the chart to load and play, dump or render
  DumpRequest Dump;
  RenderAudioRequest RenderAudio;
  RenderFramesRequest RenderFrames;
  std::string Text;  // help text, version text or error message
  std::vector<std::string> RemoteTexts;
  int RemoteWaitMs = 500;
  int PreviewMeasure = 0;
};

// Parses the arguments as given to main() (the first one is the program name); paths and texts
// keep their bytes. Never exits the process.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Runs what the command line asks for and returns the exit status.
int RunCommandLine(const CommandLine& command, std::ostream& out, std::ostream& err);

}  // namespace quillon
