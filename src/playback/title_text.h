// The texts of the status area and the window title, and the control panel's docking position:
// pure functions, so the rules can be checked without any picture.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "chart/text_util.h"
#include "playback/tempo_text.h"

namespace quillon {

// The time line: "[005/030] 01:23/02:15", or with `with_ms` "[005/030] 01:23:456/02:15".
// The elapsed time is rounded (halves to even) to whole milliseconds first; a time that does not
// fit 32 bits counts as 0. Numbers wider than their field keep all their digits.
std::string TimeLineText(int32_t current_measure, int32_t last_measure, double elapsed_ms,
                         int32_t total_time_ms, bool with_ms);

// The draw ratio: frames per second over position units per second (tempo / 1.25 × 1000 /
// 1000 = tempo × 0.8), as a whole percentage rounded half away from zero, e.g. "25%". A tempo
// of 0 has no position units to share out and reads "0%".
std::string DrawRatioText(int32_t fps, double bpm);

// The status line, e.g. "BPM:150 Drw:25%(30FPS) LP:12" or "BPM:155.5 Drw:24%(30FPS) LP:12".
std::string StatusLineText(double bpm, int32_t fps, int32_t last_measure_sounds);

// The rank word of ranks 0 to 3 ("VERY HARD", "HARD", "NORMAL", "EASY"); "?" for any other rank.
std::string RankWord(int32_t rank);

// The info line of the title view, e.g. "[★★★☆☆☆] [NORMAL] [1player]": `full_mark` repeated
// `play_level` times, then `empty_mark` up to six marks. Levels below 0 show six empty marks,
// levels above 6 six full ones.
std::string InfoLineText(int32_t play_level, int32_t rank, int32_t player,
                         std::string_view full_mark, std::string_view empty_mark);

// Number of characters (UTF-8 code points; a byte that is not valid UTF-8 counts as one).
int32_t CharacterCount(std::string_view text);

// One 100 ms step of the window title scroll over `text`, of CharacterCount(text) characters.
struct TitleScrollStep {
  bool Changed = false;  // false: an empty text does not scroll, the caption stays as it is
  int32_t Position = 0;  // the new scroll position, 1 to the length
  std::string Caption;
};
// The position starts over at the length; then moves on by one, and the caption is "[Quillon] "
// followed by the characters from the 1-based position to the end and the first `Position`
// characters: at position 1 the whole text and its first character.
TitleScrollStep ScrollTitle(std::string_view text, int32_t position);

// The control panel kept beside the main window. Positions in one unit throughout.
struct DockMemory {
  int32_t LastDockTop = 0;
  int32_t LastDockLeft = 0;
  int32_t LastDockWidth = 0;
};
struct DockInput {
  int32_t MainLeft = 0;
  int32_t MainTop = 0;
  int32_t MainWidth = 0;
  int32_t PanelLeft = 0;
  int32_t PanelWidth = 0;
  int32_t ScreenWidth = 0;
  int32_t MainHeight = 0;
  int32_t PanelHeight = 0;
  int32_t ScreenHeight = 0;
};
struct DockResult {
  bool Move = false;  // false: the main window has not moved or changed width
  int32_t PanelLeft = 0;
  int32_t PanelTop = 0;
  DockMemory Memory;  // the memory after this step
};
// When the main window's top, left or width differs from `memory`, the panel goes level with the
// main window's top: beside its left edge when the panel lay left of where the main window was,
// else against its right edge. The two never overlap: a panel that does not fit on the screen on
// its side goes to the other side, else below the main window (or above it), and only when none
// of these fit does it stay on its side against the screen's edge (x 0 or the right edge).
DockResult DockPanel(const DockInput& in, const DockMemory& memory);

}  // namespace quillon
