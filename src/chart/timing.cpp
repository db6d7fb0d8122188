// Position and time across tempo changes.
//
// Under a tempo of b beats per minute the position advances by b / 1250 units per millisecond.
// A tempo change takes effect at its own position and time runs on without a jump, so the time
// of a position is a continuous, piecewise linear function of it. MeasureTime computes one value
// of that function the way the play length has always been computed (a single pass over the
// records, in double precision, rounded halves to even); TempoMap answers the same question for
// any position, and the reverse one, for playback, drawing and audio export.
#include "chart/timing.h"

#include <algorithm>
#include <limits>

#include "chart/numbers.h"

namespace quillon {
namespace {

constexpr double kMsPerBeatUnit = 1250.0;  // 60,000 ms per minute / 48 units per beat

int32_t LastIndex(const std::vector<BmsObject>& table, int32_t last) {
  return static_cast<int32_t>(std::min<int64_t>(last, static_cast<int64_t>(table.size()) - 1));
}

// The time of segments that lie after a tempo that stands still.
constexpr double kNever = std::numeric_limits<double>::infinity();

// Time of `position` on one segment's line; a tempo that is not positive stands still.
template <typename Segment>
double TimeOnSegment(const Segment& seg, double position) {
  if (seg.bpm <= 0) return seg.ms;
  return seg.ms + (position - seg.position) * kMsPerBeatUnit / seg.bpm;
}

// The last segment starting at or before `position` (several at one position: the last of them,
// whose tempo is the one left in force); segment 0 reaches back without limit.
template <typename Segments>
size_t SegmentAt(const Segments& segments, double position) {
  const auto it = std::upper_bound(segments.begin() + 1, segments.end(), position,
                                   [](double p, const auto& seg) { return p < seg.position; });
  return static_cast<size_t>(it - segments.begin()) - 1;
}

// The last segment that is ever reached: the first one whose tempo is not positive, or the last.
template <typename Segments>
size_t LastReached(const Segments& segments) {
  const auto it = std::lower_bound(segments.begin() + 1, segments.end(), kNever,
                                   [](const auto& seg, double t) { return seg.ms < t; });
  return static_cast<size_t>(it - segments.begin()) - 1;
}

}  // namespace

int32_t MeasureTime(const Chart& chart, int32_t measure) {
  // s is a position offset: under the tempo b in force, a position Q is reached at
  // (Q - s) * 1250 / b milliseconds. A tempo that is not positive never reaches the end, so the
  // chart gets no play length (0) rather than a division by zero or a negative time.
  double s = 0.0;
  int32_t b = chart.StartBpm;
  int32_t end = chart.EndPosition;  // used when the measure has no bar line
  const std::vector<BmsObject>& table = chart.ObjectTable;
  const int32_t last = LastIndex(table, chart.ObjectLast);
  for (int32_t i = 0; i <= last; ++i) {
    const BmsObject& o = table[i];
    if (o.Channel == channel::kBarLine && o.Measure == measure) {
      end = o.Position;
      break;
    }
    if (o.Channel == channel::kTempo) {
      if (b <= 0) return 0;
      const int32_t next = o.Value;
      s = s - (o.Position - s) * (next - b) / b;
      b = next;
    }
  }
  if (b <= 0) return 0;
  return ToWhole<int32_t>((end + 256 - s) * kMsPerBeatUnit / b).value_or(0);
}

TempoMap::TempoMap(const Chart& chart)
    : TempoMap(chart.StartBpm, chart.ObjectTable, chart.ObjectLast) {}

// Segments: segment 0 holds the start tempo, anchored at position 0 and time 0; it also covers
// the positions before the first change, negative ones included. Every tempo change starts a
// segment at its position and at the time the previous segment gives there, so time never
// jumps. A tempo that is not positive stands still: the segments after it are never reached and
// get the time +infinity, which only the lookups below see.
TempoMap::TempoMap(int16_t start_bpm, const std::vector<BmsObject>& sorted, int32_t last) {
  segments_.push_back({0.0, 0.0, start_bpm});
  bool stalled = start_bpm <= 0;
  last = LastIndex(sorted, last);
  for (int32_t i = 0; i <= last; ++i) {
    const BmsObject& o = sorted[i];
    if (o.Channel != channel::kTempo) continue;
    double position = o.Position;
    // In an unsorted table a change before the previous one waits for it.
    if (segments_.size() > 1) position = std::max(position, segments_.back().position);
    const double ms = stalled ? kNever : TimeOnSegment(segments_.back(), position);
    segments_.push_back({position, ms, o.Value});
    if (o.Value <= 0) stalled = true;
  }
}

double TempoMap::TimeAt(double position) const {
  // From a tempo that is not positive on, the time stays at the time that tempo started at (for
  // a start tempo of 0: time 0 everywhere). Positions there are never reached; a finite answer
  // keeps callers that turn times into whole milliseconds or samples safe.
  size_t i = SegmentAt(segments_, position);
  if (segments_[i].ms == kNever) i = LastReached(segments_);
  return TimeOnSegment(segments_[i], position);
}

double TempoMap::PositionAt(double ms) const {
  // The last segment reached by `ms`; once a tempo is not positive, the position stays where
  // that tempo started.
  const auto it = std::upper_bound(segments_.begin() + 1, segments_.end(), ms,
                                   [](double t, const auto& seg) { return t < seg.ms; });
  size_t i = static_cast<size_t>(it - segments_.begin()) - 1;
  if (segments_[i].ms == kNever) i = LastReached(segments_);
  const auto& seg = segments_[i];
  if (seg.bpm <= 0) return seg.position;
  return seg.position + (ms - seg.ms) * seg.bpm / kMsPerBeatUnit;
}

int16_t TempoMap::BpmAt(double position) const {
  return segments_[SegmentAt(segments_, position)].bpm;
}

}  // namespace quillon
