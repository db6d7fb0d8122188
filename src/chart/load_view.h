// What a chart load shows and asks outside the chart model.
//
// The main window implements this interface (load log on the display, progress bar, captions,
// property dialog, random-branch question, debug log); headless callers and tests use the
// defaults or a recording fake. Every text passed here is final, byte for byte.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "chart/model.h"

namespace quillon {

class LoadView {
 public:
  virtual ~LoadView() = default;

  // Debug trace; WriteDebugLog is only called while DebugLogging() is true.
  virtual bool DebugLogging() const { return false; }
  virtual void WriteDebugLog(std::string_view /*text*/) {}

  // The load log on the display: ShowLoadLine writes a line and moves to the next one,
  // ShowProgress writes over the current line.
  virtual void ShowLoadLine(std::string_view /*text*/) {}
  virtual void ShowProgress(std::string_view /*text*/) {}
  // Clears the display; while `persistent`, what the load log draws stays on it.
  virtual void ClearDisplay(bool /*persistent*/) {}
  // Moves the load log's text position to the bottom line of the display.
  virtual void MoveToBottomLine() {}
  // The position bar as a progress bar, filled over the left `fraction` (0..1).
  virtual void SetProgress(double /*fraction*/) {}

  virtual void SetCaption(std::string_view /*caption*/) {}
  // Re-reads the display settings from the settings store.
  virtual void LoadSettings() {}
  // Resets the play state (position, clock, counters) before a chart is reset.
  virtual void ResetPlayState() {}
  // The stage picture, resolved in the chart's folder; empty path: clear it.
  virtual void ShowStagePicture(std::string_view /*path*/) {}
  virtual void DrawTitleInfo(const BmsHeader& /*header*/) {}
  // Fills the property dialog from the header (check boxes, then texts).
  virtual void FillProperties(const BmsHeader& /*header*/) {}
  virtual void SetChartText(std::string_view /*text*/) {}
  virtual void SetLaneLayout(bool /*seven_keys*/) {}
  // The scrolling title text; its scroll position restarts at 0.
  virtual void SetTitleText(std::string_view /*text*/) {}
  // Note count and score per note for the property dialog; the triggered count restarts at 0.
  virtual void ShowNoteCount(int32_t /*note_count*/, double /*score_per_note*/) {}
  // Lets pending window events run.
  virtual void ProcessEvents() {}
  virtual void FillTempoBox(const std::vector<double>& /*items*/, double /*bpm*/) {}
  // The start measure of the next play, as decimal text.
  virtual void SetStartMeasure(std::string_view /*measure*/) {}

  // The property dialog's sound and picture lists ("01:KICK.WAV").
  virtual void ClearFileLists() {}
  virtual void AddSoundFile(std::string_view /*item*/) {}
  virtual void AddPictureFile(std::string_view /*item*/) {}
  // A BGA picture just loaded (a surface handle), shown on the display while the load runs.
  virtual void ShowLoadedPicture(int32_t /*surface*/) {}
  // Whether the main window is minimised (pictures are then not loaded).
  virtual bool Minimized() const { return false; }

  // The random-pattern question for the `random_count`-th #RANDOM block with `branches` branches:
  // 0 for "Random", 1..branches for a branch, -1 when the user closed it without a choice.
  virtual int AskRandomBranch(int /*random_count*/, int /*branches*/) { return 0; }
};

}  // namespace quillon
