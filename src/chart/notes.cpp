#include "chart/notes.h"

#include <algorithm>

#include "chart/timing.h"

namespace quillon {

std::vector<PlayableNote> PlayableNotes(const Chart& chart) {
  const TempoMap tempo(chart);
  std::vector<PlayableNote> notes;
  for (size_t i = 0; i < chart.ObjectCount() && i < chart.ObjectTable.size(); ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    // A long note's head is listed from the long-note list below, with its end.
    if (!channel::IsKeyLane(o.Channel)) continue;
    notes.push_back({tempo.TimeAt(o.Position), o.Channel, o.Value, std::nullopt});
  }
  for (const LongNote& n : chart.LongNotes) {
    notes.push_back({tempo.TimeAt(n.Start), n.Lane, n.Value, tempo.TimeAt(n.End)});
  }
  std::stable_sort(notes.begin(), notes.end(), [](const PlayableNote& a, const PlayableNote& b) {
    return a.TimeMs != b.TimeMs ? a.TimeMs < b.TimeMs : a.Lane < b.Lane;
  });
  return notes;
}

}  // namespace quillon
