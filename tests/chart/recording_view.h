// A LoadView that records every call as one line of text, for checking what a load shows.
#pragma once

#include <string>
#include <vector>

#include "chart/load_view.h"

namespace quillon::test {

class RecordingView : public LoadView {
 public:
  bool debug_logging = true;
  std::vector<int> answers;  // answers to the random-pattern question, in turn
  std::vector<std::string> log;

  bool DebugLogging() const override { return debug_logging; }
  void WriteDebugLog(std::string_view text) override { Add("debug", text); }
  void ShowLoadLine(std::string_view text) override { Add("line", text); }
  void ShowProgress(std::string_view text) override { Add("progress", text); }
  void ClearDisplay(bool persistent) override { Add("clear", persistent ? "persistent" : ""); }
  void MoveToBottomLine() override { Add("bottom", ""); }
  void SetProgress(double fraction) override { Add("bar", std::to_string(fraction)); }
  void SetCaption(std::string_view caption) override { Add("caption", caption); }
  void LoadSettings() override { Add("settings", ""); }
  void ResetPlayState() override { Add("reset-play", ""); }
  void ShowStagePicture(std::string_view path) override { Add("stage", path); }
  void DrawTitleInfo(const BmsHeader& header) override { Add("title-info", header.Title); }
  void FillProperties(const BmsHeader& header) override { Add("properties", header.Title); }
  void SetChartText(std::string_view text) override {
    Add("chart-text", std::to_string(text.size()));
  }
  void SetLaneLayout(bool seven_keys) override { Add("lanes", seven_keys ? "7" : "5"); }
  void SetTitleText(std::string_view text) override { Add("title-text", text); }
  void ShowNoteCount(int32_t note_count, double score_per_note) override {
    Add("notes", std::to_string(note_count) + " " + std::to_string(score_per_note));
  }
  void ProcessEvents() override { Add("events", ""); }
  void FillTempoBox(const std::vector<double>& items, double bpm) override {
    std::string text;
    for (double item : items)
      text += std::to_string(static_cast<int64_t>(item)) + ",";
    Add("tempo", text + " " + std::to_string(static_cast<int64_t>(bpm)));
  }
  void SetStartMeasure(std::string_view measure) override { Add("start-measure", measure); }
  void ClearFileLists() override { Add("clear-lists", ""); }
  void AddSoundFile(std::string_view item) override { Add("sound-file", item); }
  void AddPictureFile(std::string_view item) override { Add("picture-file", item); }
  bool Minimized() const override { return minimized; }
  bool minimized = false;

  int AskRandomBranch(int random_count, int branches) override {
    Add("ask", std::to_string(random_count) + "個目 of " + std::to_string(branches));
    if (asked_ < answers.size()) return answers[asked_++];
    return 0;
  }

 private:
  void Add(std::string_view what, std::string_view text) {
    log.push_back(std::string(what) + (text.empty() ? "" : " ") + std::string(text));
  }
  size_t asked_ = 0;
};

}  // namespace quillon::test
