// Stand-ins for the main window and the playlist window that record what the list asks of them.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "playlist/playlist.h"

namespace quillon::test {

class FakeHost : public PlaylistHost {
 public:
  int32_t LoadChart(const std::string& file, bool list_load) override {
    calls.push_back("load " + file + (list_load ? " list" : ""));
    if (fail_loads) return -1;
    loaded = file;
    return 1;
  }
  void StopFile(bool no_stop) override { calls.push_back(no_stop ? "stop nostop" : "stop"); }
  void PlayFile() override { calls.push_back("play"); }
  std::string LoadedFilePath() const override { return loaded; }
  bool IsPlaying() const override { return playing; }
  int RepeatMode() const override { return repeat_mode; }
  void RearmEndTimer() override { calls.push_back("rearm"); }
  void SetPlaylistButton(bool down) override {
    calls.push_back(down ? "button down" : "button up");
  }

  std::vector<std::string> calls;
  std::string loaded;
  bool fail_loads = false;
  bool playing = false;
  int repeat_mode = 0;
};

class FakeView : public PlaylistView {
 public:
  SaveAnswer AskSaveChanges() override {
    ++questions;
    return answer;
  }
  std::string ChooseOpenFile() override { return open_answer; }
  std::string ChooseSaveFile() override { return save_answer; }
  void ReportSaveError(const std::string& message) override { errors.push_back(message); }
  void ReportRefusedFiles(const std::string& message) override { refusals.push_back(message); }
  void ArmPlayStart() override { ++armed; }

  SaveAnswer answer = SaveAnswer::No;
  std::string open_answer;
  std::string save_answer;
  std::vector<std::string> errors;
  std::vector<std::string> refusals;
  int questions = 0;
  int armed = 0;
};

}  // namespace quillon::test
