// Position and time across tempo changes and stops.
//
// Under a tempo of b beats per minute the position advances by b / 1250 units per millisecond.
// A tempo change takes effect at its own position and time runs on without a jump, so the time
// of a position is a continuous, piecewise linear function of it. MeasureTime computes one value
// of that function the way the play length has always been computed (a single pass over the
// records, in double precision, rounded halves to even); TempoMap answers the same question for
// any position, and the reverse one, for playback, drawing and audio export.
//
// The extended reading adds stops: at a stop's position the time runs on while the position
// stands still, for value * 1250 / b milliseconds at the tempo b in force there (after the tempo
// changes at that position). The objects at that position come first: the time of the position
// is the time the stop starts.
#include "chart/timing.h"

#include <algorithm>
#include <cmath>
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

// Extended charts: the tempos and stop lengths a map holds stay within these bounds, so that no
// time or position it gives is infinite, however extreme the chart's values.
constexpr double kMinBpm = 1e-6;
constexpr double kMaxBpm = 1e12;
constexpr double kMaxHoldMs = 1e15;

// Time of `position` on one segment's line; a tempo that is not positive stands still. Past the
// segment's start the position's time comes after the segment's hold.
template <typename Segment>
double TimeOnSegment(const Segment& seg, double position) {
  if (seg.bpm <= 0) return seg.ms;
  const double ms = seg.hold > 0 && position > seg.position ? seg.ms + seg.hold : seg.ms;
  return ms + (position - seg.position) * kMsPerBeatUnit / seg.bpm;
}

// The last segment starting at or before `position` (several at one position: the last of them,
// whose tempo is the one left in force); segment 0 reaches back without limit.
template <typename Segments>
size_t SegmentAt(const Segments& segments, double position) {
  const auto it = std::upper_bound(segments.begin() + 1, segments.end(), position,
                                   [](double p, const auto& seg) { return p < seg.position; });
  return static_cast<size_t>(it - segments.begin()) - 1;
}

// The last segment whose time is at or before `ms`.
template <typename Segments>
size_t SegmentAtTime(const Segments& segments, double ms) {
  const auto it = std::upper_bound(segments.begin() + 1, segments.end(), ms,
                                   [](double t, const auto& seg) { return t < seg.ms; });
  return static_cast<size_t>(it - segments.begin()) - 1;
}

// The last segment that is ever reached: the first one whose tempo is not positive, or the last.
template <typename Segments>
size_t LastReached(const Segments& segments) {
  const auto it = std::lower_bound(segments.begin() + 1, segments.end(), kNever,
                                   [](const auto& seg, double t) { return seg.ms < t; });
  return static_cast<size_t>(it - segments.begin()) - 1;
}

// An extended chart's tempo change or stop length from its record; 0 when it has none or is
// unusable (the compiler leaves none such, but a hand-made table may).
double ExtendedTempo(const Chart& chart, const BmsObject& o) {
  double bpm = 0;
  if (o.Channel == channel::kTempo) {
    bpm = o.Value;
  } else if (o.Channel == channel::kExtendedTempo && o.Value >= 0 &&
             static_cast<size_t>(o.Value) < chart.BpmValues.size()) {
    bpm = chart.BpmValues[static_cast<size_t>(o.Value)];
  }
  return bpm > 0 && std::isfinite(bpm) ? std::clamp(bpm, kMinBpm, kMaxBpm) : 0.0;
}

double StopUnits(const Chart& chart, const BmsObject& o) {
  if (o.Channel != channel::kStop || o.Value < 0 ||
      static_cast<size_t>(o.Value) >= chart.StopValues.size()) {
    return 0.0;
  }
  const double units = chart.StopValues[static_cast<size_t>(o.Value)];
  return units > 0 && std::isfinite(units) ? units : 0.0;
}

// The bar line of `measure`, or the end when the measure has none.
double BarLinePosition(const Chart& chart, int32_t measure) {
  const std::vector<BmsObject>& table = chart.ObjectTable;
  const int32_t last = LastIndex(table, chart.ObjectLast);
  for (int32_t i = 0; i <= last; ++i) {
    if (table[i].Channel == channel::kBarLine && table[i].Measure == measure)
      return table[i].Position;
  }
  return chart.EndPosition;
}

}  // namespace

int32_t MeasureTime(const Chart& chart, int32_t measure) {
  if (chart.Extended) {
    // The time of the bar line (the stops before it included, those at it not), then 256 units
    // at the tempo in force before it.
    const TempoMap map(chart);
    const double end = BarLinePosition(chart, measure);
    const double b = map.BpmBefore(end);
    if (!(b > 0)) return 0;
    return ToWhole<int32_t>(map.TimeAt(end) + 256 * kMsPerBeatUnit / b).value_or(0);
  }
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

TempoMap::TempoMap() {
  segments_.push_back({0.0, 0.0, 0.0});
}

// Extended charts: segment 0 holds the start tempo; every position with tempo changes or stops
// gets one segment, holding the tempo left in force there (the last change) and the sum of its
// stops, which Relink turns into times.
TempoMap::TempoMap(const Chart& chart) {
  if (!chart.Extended) {
    *this = TempoMap(static_cast<int16_t>(chart.StartBpm), chart.ObjectTable, chart.ObjectLast);
    return;
  }
  const double start = chart.StartBpm;
  const bool moves = start > 0 && std::isfinite(start);
  segments_.push_back({0.0, 0.0, moves ? std::clamp(start, kMinBpm, kMaxBpm) : 0.0});
  if (!moves) return;  // stands still at position 0 (such a chart is refused by the loader)
  const int32_t last = LastIndex(chart.ObjectTable, chart.ObjectLast);
  for (int32_t i = 0; i <= last; ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    const double bpm = ExtendedTempo(chart, o);
    const double units = StopUnits(chart, o);
    if (bpm == 0 && units == 0) continue;
    // In an unsorted table a record before the previous one waits for it.
    double position = std::isfinite(o.Position) ? std::max(o.Position, 0.0) : 0.0;
    position = std::max(position, segments_.back().position);
    if (segments_.size() == 1 || position != segments_.back().position) {
      segments_.push_back({position, 0.0, 0.0, 0.0, 0.0, false});
    }
    Segment& seg = segments_.back();
    if (bpm > 0) {
      seg.bpm = bpm;
      seg.sets_tempo = true;
    }
    seg.stop_units += units;
  }
  Relink(1);
}

void TempoMap::Relink(size_t first) {
  for (size_t j = std::max<size_t>(first, 1); j < segments_.size(); ++j) {
    const Segment& prev = segments_[j - 1];
    Segment& seg = segments_[j];
    seg.ms = TimeOnSegment(prev, seg.position);
    if (!seg.sets_tempo) seg.bpm = prev.bpm;
    seg.hold =
        seg.stop_units > 0 ? std::min(seg.stop_units * kMsPerBeatUnit / seg.bpm, kMaxHoldMs) : 0.0;
  }
}

void TempoMap::OverrideTempo(double ms, double bpm) {
  if (!(bpm > 0) || !std::isfinite(bpm) || !std::isfinite(ms) || segments_[0].bpm <= 0) return;
  bpm = std::clamp(bpm, kMinBpm, kMaxBpm);
  const size_t i = SegmentAtTime(segments_, ms);
  if (segments_[i].ms == kNever) return;  // a classic map that stands still: nothing moves
  const double position = PositionAt(ms);
  if (position <= segments_[i].position) {
    // At the segment's own position (during its stop, or just as it starts): its tempo gives
    // way to the new one; a stop already running keeps its length.
    segments_[i].bpm = bpm;
    segments_[i].sets_tempo = true;
    Relink(i + 1);
    return;
  }
  segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                   Segment{position, ms, bpm, 0.0, 0.0, true});
  Relink(i + 2);
}

// Segments: segment 0 holds the start tempo, anchored at position 0 and time 0; it also covers
// the positions before the first change, negative ones included. Every tempo change starts a
// segment at its position and at the time the previous segment gives there, so time never
// jumps. A tempo that is not positive stands still: the segments after it are never reached and
// get the time +infinity, which only the lookups below see.
TempoMap::TempoMap(int16_t start_bpm, const std::vector<BmsObject>& sorted, int32_t last) {
  segments_.push_back({0.0, 0.0, static_cast<double>(start_bpm)});
  bool stalled = start_bpm <= 0;
  last = LastIndex(sorted, last);
  for (int32_t i = 0; i <= last; ++i) {
    const BmsObject& o = sorted[i];
    if (o.Channel != channel::kTempo) continue;
    double position = o.Position;
    // In an unsorted table a change before the previous one waits for it.
    if (segments_.size() > 1) position = std::max(position, segments_.back().position);
    const double ms = stalled ? kNever : TimeOnSegment(segments_.back(), position);
    segments_.push_back({position, ms, static_cast<double>(o.Value)});
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
  // that tempo started. During a segment's hold the position stands at its start.
  // Play asks for times that mostly fall in the segment of the previous question.
  size_t i = hint_;
  const bool in_hint = i < segments_.size() && (i == 0 || segments_[i].ms <= ms) &&
                       (i + 1 == segments_.size() || ms < segments_[i + 1].ms);
  if (!in_hint) i = hint_ = SegmentAtTime(segments_, ms);
  if (segments_[i].ms == kNever) i = LastReached(segments_);
  const auto& seg = segments_[i];
  if (seg.bpm <= 0) return seg.position;
  if (seg.hold > 0 && ms >= seg.ms) {
    if (ms < seg.ms + seg.hold) return seg.position;
    return seg.position + (ms - seg.ms - seg.hold) * seg.bpm / kMsPerBeatUnit;
  }
  return seg.position + (ms - seg.ms) * seg.bpm / kMsPerBeatUnit;
}

double TempoMap::BpmAt(double position) const {
  return segments_[SegmentAt(segments_, position)].bpm;
}

double TempoMap::BpmBefore(double position) const {
  const auto it = std::lower_bound(segments_.begin() + 1, segments_.end(), position,
                                   [](const auto& seg, double p) { return seg.position < p; });
  return segments_[static_cast<size_t>(it - segments_.begin()) - 1].bpm;
}

}  // namespace quillon
