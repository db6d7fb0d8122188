// The control panel's rules without any window: the designed and stored element states, what an
// element change does, the zoom and sleep bars and the tempo box's number. The panel window
// (control_panel.h) applies these results to its controls and to the main window.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chart/model.h"

namespace quillon::panel {

constexpr int kElementCount = ElementFlags::kCount;

// Box states: 0 unticked, 1 ticked, 2 greyed (which counts as ticked).
constexpr int kUnticked = 0;
constexpr int kTicked = 1;
constexpr int kGreyed = 2;
using ElementStates = std::array<int, kElementCount>;

// The states the panel is designed with: Objects, BGA, Layer and PolyGauge ticked.
ElementStates DesignStates();

// The states after the panel load: each stored state that is a valid box state replaces the
// designed one; a missing key ("!") or a value outside 0..2 keeps the designed state.
ElementStates StatesFromStore(const std::array<std::optional<int>, kElementCount>& stored);

inline bool Ticked(int state) {
  return state != kUnticked;
}

// Everything one element change sets, in the order it is applied.
struct ElementEffects {
  bool DetailsEnabled = false;  // elements 3, 6 and 8 (Lines, Separators, Commands)
  bool GaugeVisible = false;    // the polyphony gauge picture
  bool ObjButton = false;       // toolbar OBJ, BGA and POLY
  bool BgaButton = false;
  bool PolyButton = false;
  bool GaugeTimer = false;  // the gauge's 1 ms timer
  bool SevenKeys = false;   // lane layout
  bool TickTimer = false;   // the scheduler's 1 ms timer
  ElementFlags Flags;
  bool ShowStillPicture = false;  // redraw the start measure (only while not playing)
};

// What the element change does for these box states; it looks at no single box, every effect is
// recomputed from all of them.
ElementEffects ElementChange(const ElementStates& states, bool playing);

// The elements whose boxes are enabled only while Objects is ticked.
constexpr std::array<int, 3> kDetailElements = {3, 6, 8};

// Zoom bar: positions 0 (top, largest) to 14; the step s = 14 - position.
constexpr int kZoomPositions = 14;
constexpr int kZoomStartPosition = 11;  // s = 3, zoom 1
float ZoomAtPosition(int position);
// The zoom as a plain number followed by "x": "0.25x", "1x", "10x".
std::string ZoomLabel(float zoom);

// Sleep bar: positions 0 (top, 50 ms) to 50 (bottom, no sleep).
constexpr int kSleepPositions = 50;
constexpr int kSleepStartPosition = 50;
inline int32_t SleepAtPosition(int position) {
  return kSleepPositions - position;
}

// The number the tempo box's text starts with (blanks skipped, as chart numbers are read);
// nullopt when the text does not start with a number or the number overflows.
std::optional<double> TempoBoxNumber(std::string_view text);
// The tempo a text change sets: the number (no number counts as 0) rounded to a whole number, or
// with `decimals` (a chart of the extended reading) to two decimals; nullopt when it does not fit
// 16 bits, and the change is then skipped.
std::optional<double> TempoFromText(std::string_view text, bool decimals = false);

}  // namespace quillon::panel
