#include "playback/title_text.h"

#include <algorithm>

#include <cmath>
#include <cstdlib>

#include "chart/numbers.h"

namespace quillon {
namespace {

// `value` with at least `digits` digits, zero-filled, as the number format "000" gives it.
std::string Padded(int64_t value, size_t digits) {
  std::string number = std::to_string(std::llabs(value));
  if (number.size() < digits) number.insert(0, digits - number.size(), '0');
  return value < 0 ? "-" + number : number;
}

// Byte length of the UTF-8 character starting at text[i]; 1 for a byte that does not start a
// valid sequence, so every byte belongs to exactly one character.
size_t CharLength(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t len = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
  }
  if (i + len > text.size()) return 1;
  for (size_t k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  }
  return len;
}

// Byte offset of character `n` (0-based), or the text's size when it has fewer characters.
size_t ByteOffset(std::string_view text, int32_t n) {
  size_t i = 0;
  for (int32_t k = 0; k < n && i < text.size(); ++k)
    i += CharLength(text, i);
  return i;
}

}  // namespace

std::string TimeLineText(int32_t current_measure, int32_t last_measure, double elapsed_ms,
                         int32_t total_time_ms, bool with_ms) {
  const int32_t ms = ToWhole<int32_t>(elapsed_ms).value_or(0);
  const int32_t minutes = ms / 60000;
  const int32_t seconds = ms / 1000 - minutes * 60;
  const int32_t total_minutes = total_time_ms / 60000;
  const int32_t total_seconds = total_time_ms % 60000 / 1000;
  std::string text = "[" + Padded(current_measure, 3) + "/" + Padded(last_measure, 3) + "]";
  text += " " + Padded(minutes, 2) + ":" + Padded(seconds, 2);
  if (with_ms) text += ":" + Padded(ms % 1000, 3);
  text += "/" + Padded(total_minutes, 2) + ":" + Padded(total_seconds, 2);
  return text;
}

std::string DrawRatioText(int32_t fps, double bpm) {
  if (bpm == 0 || !std::isfinite(bpm)) return "0%";
  const double ratio = fps / (bpm / 1250.0 * 1000.0);
  // The percentage format rounds half away from zero; the small allowance keeps a ratio such as
  // 0.125, which lands a hair below .5 after the division, on the side it belongs to.
  const double percent = ratio * 100.0;
  const double rounded = std::round(percent + std::copysign(1e-9, percent));
  // A tempo near 0 makes the ratio huge; it is shown clamped rather than overflowing.
  return std::to_string(static_cast<int64_t>(std::clamp(rounded, -1e15, 1e15))) + "%";
}

std::string StatusLineText(double bpm, int32_t fps, int32_t last_measure_sounds) {
  return "BPM:" + TempoText(bpm) + " Drw:" + DrawRatioText(fps, bpm) + "(" + std::to_string(fps) +
         "FPS)" + " LP:" + std::to_string(last_measure_sounds);
}

std::string RankWord(int32_t rank) {
  static constexpr const char* kWords[] = {"VERY HARD", "HARD", "NORMAL", "EASY"};
  if (rank < 0 || rank > 3) return "?";
  return kWords[rank];
}

std::string InfoLineText(int32_t play_level, int32_t rank, int32_t player,
                         std::string_view full_mark, std::string_view empty_mark) {
  const int32_t full = play_level < 0 ? 0 : (play_level > 6 ? 6 : play_level);
  std::string text = "[";
  for (int32_t k = 0; k < 6; ++k)
    text += k < full ? full_mark : empty_mark;
  text += "] [" + RankWord(rank) + "] [" + std::to_string(player) + "player]";
  return text;
}

int32_t CharacterCount(std::string_view text) {
  int32_t count = 0;
  for (size_t i = 0; i < text.size(); i += CharLength(text, i))
    ++count;
  return count;
}

TitleScrollStep ScrollTitle(std::string_view text, int32_t position) {
  TitleScrollStep step;
  const int32_t length = CharacterCount(text);
  if (length == 0) return step;
  if (position >= length || position < 0) position = 0;
  ++position;
  const size_t split = ByteOffset(text, position - 1);
  const size_t head = ByteOffset(text, position);
  step.Changed = true;
  step.Position = position;
  step.Caption = "[Quillon] ";
  step.Caption += text.substr(split);
  step.Caption += text.substr(0, head);
  return step;
}

DockResult DockPanel(const DockInput& in, const DockMemory& memory) {
  DockResult out;
  out.Memory = memory;
  if (in.MainTop == memory.LastDockTop && in.MainLeft == memory.LastDockLeft &&
      in.MainWidth == memory.LastDockWidth) {
    return out;
  }
  out.Move = true;
  out.PanelTop = in.MainTop;
  // The panel lies left of where the main window was. (Compared directly rather than as the
  // ratio LastDockLeft / PanelLeft > 1, which has no value for a panel at x 0 - exactly where a
  // left-docked panel ends up at the screen's edge.)
  const int64_t main_right = int64_t{in.MainLeft} + in.MainWidth;
  const int64_t left_of_main = int64_t{in.MainLeft} - in.PanelWidth;
  const bool fits_left = left_of_main >= 0;
  const bool fits_right = main_right + in.PanelWidth <= in.ScreenWidth;
  const bool on_left = in.PanelLeft < memory.LastDockLeft;
  const int64_t below = int64_t{in.MainTop} + in.MainHeight;
  const int64_t above = int64_t{in.MainTop} - in.PanelHeight;
  if (on_left ? fits_left : fits_right) {
    out.PanelLeft = static_cast<int32_t>(on_left ? left_of_main : main_right);
  } else if (on_left ? fits_right : fits_left) {
    out.PanelLeft = static_cast<int32_t>(on_left ? main_right : left_of_main);
  } else if (in.PanelWidth <= in.ScreenWidth &&
             (below + in.PanelHeight <= in.ScreenHeight || above >= 0)) {
    // Under (or over) the main window, from its left edge as far as the screen allows.
    out.PanelLeft =
        static_cast<int32_t>(std::clamp<int64_t>(in.MainLeft, 0, in.ScreenWidth - in.PanelWidth));
    out.PanelTop = static_cast<int32_t>(below + in.PanelHeight <= in.ScreenHeight ? below : above);
  } else if (on_left) {
    out.PanelLeft = 0;
  } else {
    out.PanelLeft = in.ScreenWidth - in.PanelWidth;
  }
  out.Memory = {in.MainTop, in.MainLeft, in.MainWidth};
  return out;
}

}  // namespace quillon
