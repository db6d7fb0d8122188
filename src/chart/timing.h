// Positions and time: under a tempo of b beats per minute the position advances by b / 1250
// units per millisecond; a tempo change (channel 3) takes effect at its own position.
#pragma once

#include <cstdint>
#include <vector>

#include "chart/model.h"

namespace quillon {

// Milliseconds from the start of the chart to 256 units after the bar line of `measure`,
// walking the sorted records 0..ObjectLast. 0 when a tempo in force is 0 (no division by zero)
// or the result does not fit 32 bits.
int32_t MeasureTime(const Chart& chart, int32_t measure);

// Time of a position and position at a time, across the tempo changes of a sorted chart.
class TempoMap {
 public:
  // From the start tempo and the channel-3 records of the sorted table.
  explicit TempoMap(const Chart& chart);
  TempoMap(int16_t start_bpm, const std::vector<BmsObject>& sorted, int32_t last);

  // Milliseconds at `position` (fractional). 0 while the tempo is 0 from the start.
  double TimeAt(double position) const;
  // Position at `ms` milliseconds. Stands still at a tempo of 0.
  double PositionAt(double ms) const;
  // Tempo in force at `position`.
  int16_t BpmAt(double position) const;

 private:
  struct Segment {
    double position;  // where this tempo starts
    double ms;        // time at `position`
    int16_t bpm;
  };
  std::vector<Segment> segments_;
};

}  // namespace quillon
