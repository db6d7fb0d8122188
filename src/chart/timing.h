// Positions and time: under a tempo of b beats per minute the position advances by b / 1250
// units per millisecond; a tempo change (channel 3, and channel 8 in the extended reading) takes
// effect at its own position. In the extended reading a stop (channel 9) holds the position
// still for a while: a stop of v units lasts v * 1250 / b milliseconds at the tempo b in force.
#pragma once

#include <cstdint>
#include <vector>

#include "chart/model.h"

namespace quillon {

// Milliseconds from the start of the chart to 256 units after the bar line of `measure`,
// walking the sorted records 0..ObjectLast (the stops before that bar line included in the
// extended reading). 0 when a tempo in force is 0 (no division by zero) or the result does not
// fit 32 bits.
int32_t MeasureTime(const Chart& chart, int32_t measure);

// Time of a position and position at a time, across the tempo changes and stops of a sorted
// chart. Not for use from several threads at once (PositionAt remembers where it looked last).
class TempoMap {
 public:
  // Stands still at position 0.
  TempoMap();
  // From the start tempo and the tempo changes (and, for an extended chart, the stops) of the
  // sorted table.
  explicit TempoMap(const Chart& chart);
  // The classic reading: the start tempo and the channel-3 records.
  TempoMap(int16_t start_bpm, const std::vector<BmsObject>& sorted, int32_t last);

  // Milliseconds at `position` (fractional); at a stop's position, the time the stop starts. 0
  // while the tempo is 0 from the start.
  double TimeAt(double position) const;
  // Position at `ms` milliseconds. Stands still during a stop and at a tempo of 0.
  double PositionAt(double ms) const;
  // Tempo in force at `position` (after the changes at that position).
  double BpmAt(double position) const;
  // Tempo in force just before `position` (before the changes at that position).
  double BpmBefore(double position) const;

  // From time `ms` on, play at `bpm` until the next tempo change of the chart (the stops met
  // meanwhile last as long as at `bpm`). The time of every position reached by `ms` stays as it
  // was, so a clock that reads the map goes on without a jump. Ignored unless `bpm` is positive
  // and finite.
  void OverrideTempo(double ms, double bpm);

 private:
  struct Segment {
    double position;  // where this segment starts
    double ms;        // time at `position`
    double bpm;       // tempo from `position` on
    double hold = 0;  // milliseconds the position stands still at `position` (stops)
    // Extended charts: the stop units at `position`, and whether a tempo change sets `bpm` here
    // (otherwise the segment keeps the tempo of the one before it).
    double stop_units = 0;
    bool sets_tempo = true;
  };
  // Recomputes time, tempo and hold of the segments from `first` on from those before them.
  void Relink(size_t first);
  std::vector<Segment> segments_;
  mutable size_t hint_ = 0;  // the segment PositionAt last found (one map, one thread)
};

}  // namespace quillon
