// The playable notes of a loaded chart, each with its time: what a player would have to hit.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "chart/model.h"

namespace quillon {

struct PlayableNote {
  double TimeMs = 0.0;              // from the chart's start
  int16_t Lane = 0;                 // key channel 11-19 or 21-29; long notes fold onto their lane
  int16_t Value = 0;                // the keysound id
  std::optional<double> EndTimeMs;  // a long note's end

  bool operator==(const PlayableNote&) const = default;
};

// The notes on key lanes and the long notes of `chart` (sorted, as loaded), sorted by time, then
// lane. Background sounds, zones, invisible notes and mines are not notes.
std::vector<PlayableNote> PlayableNotes(const Chart& chart);

}  // namespace quillon
