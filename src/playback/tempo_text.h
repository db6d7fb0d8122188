// How a tempo is shown to the user: in the status line and the control panel's tempo box.
// Header-only, so that the dialogs can use it without the status display's library.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

namespace quillon {

// A whole tempo in whole digits ("150"), any other rounded to two decimals without trailing
// zeros ("155.5", "133.33"), locale independent. Not finite: "0".
inline std::string TempoText(double bpm) {
  if (!std::isfinite(bpm)) return "0";
  char buffer[400];  // fixed notation of the largest double with two decimals fits
  // Beyond 1e15 a double holds no hundredths anyway: such a tempo is shown whole.
  const bool huge = std::abs(bpm) >= 1e15;
  const double rounded = huge ? bpm : std::nearbyint(bpm * 100.0) / 100.0;
  const bool whole = huge || rounded == std::trunc(rounded);
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, rounded,
                                    std::chars_format::fixed, whole ? 0 : 2);
  std::string text(buffer, result.ptr);
  if (!whole && text.back() == '0') text.pop_back();
  return text == "-0" ? "0" : text;
}

}  // namespace quillon
