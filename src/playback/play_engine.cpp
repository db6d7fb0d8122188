#include "playback/play_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "chart/numbers.h"
#include "chart/timing.h"

namespace quillon {
namespace {

constexpr double kUnitsPerBpmMs = 1250.0;  // tempo / 1250 = units per millisecond

// A double as the score label shows it: up to 15 significant digits, no trailing zeros.
std::string DecimalText(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

bool IsKeyChannel(int ch) {
  return (ch >= 11 && ch <= 26 && ch != 17) || ch == 28 || ch == 29;
}

// The extended reading's picture channels: base, layer and second layer.
bool IsPictureChannel(int ch) {
  return ch == channel::kBgaBase || ch == channel::kBgaLayer || ch == channel::kBgaLayer2;
}

std::string Hex(int v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X", v);
  return buffer;
}

}  // namespace

PlayEngine::PlayEngine(Chart& chart, const ElementFlags& flags, TickClock& clock, PlayView& view,
                       PlaySounds& sounds)
    : chart_(chart), flags_(flags), clock_(clock), view_(view), sounds_(sounds) {}

void PlayEngine::Debug(std::string_view text) {
  if (view_.DebugLogging()) view_.WriteDebugLog(text);
}

double PlayEngine::ExactTimeOf(double position) const {
  if (chart_.Extended) return map_.TimeAt(position);
  if (chart_.CurrentBpm <= 0) return 0.0;
  return (position - exact_base_) * kUnitsPerBpmMs / chart_.CurrentBpm;
}

void PlayEngine::ChangeTempo(int16_t bpm, double t) {
  const double base = PositionBase - (bpm - chart_.CurrentBpm) / kUnitsPerBpmMs * t;
  if (const auto whole = ToWhole<int32_t>(base)) PositionBase = *whole;
  chart_.CurrentBpm = bpm;
}

void PlayEngine::ChangeExactTempo(int16_t bpm, double position) {
  // Must run before ChangeTempo, while CurrentBpm is still the tempo before the change.
  if (chart_.CurrentBpm <= 0) return;
  const double t = ExactTimeOf(position);
  exact_base_ -= (bpm - chart_.CurrentBpm) / kUnitsPerBpmMs * t;
}

void PlayEngine::ShowPlayCounts() {
  view_.ShowPlayCounts(TriggeredCount, DecimalText(TriggeredCount * chart_.ScorePerNote));
}

void PlayEngine::SoundsStop() {
  for (int32_t id : chart_.SoundTable) {
    if (id != -1) sounds_.Stop(id);
  }
}

int32_t PlayEngine::ScanTo(int16_t m, bool count_keys) {
  const auto& table = chart_.ObjectTable;
  for (int32_t i = 0; i <= chart_.ObjectLast; ++i) {
    const BmsObject& o = table[i];
    if (o.Channel == channel::kBarLine && o.Measure == m) return i;
    if (count_keys && IsKeyChannel(o.Channel)) ++TriggeredCount;
    if (o.Channel == channel::kBgaBase || o.Channel == channel::kBgaLayer) SwitchPicture(o);
    if (o.Channel == channel::kTempo) {
      // The change happens at its exact time on the clock, not at a scheduler step.
      ChangeExactTempo(o.Value, o.Position);
      if (chart_.CurrentBpm != 0) {
        const double t = (o.Position - PositionBase) / (chart_.CurrentBpm / kUnitsPerBpmMs);
        ChangeTempo(o.Value, t);
      } else {
        chart_.CurrentBpm = o.Value;  // no time at a tempo of 0: only the tempo changes
      }
    }
  }
  return chart_.ObjectLast;  // no bar line of that measure: the last record
}

int32_t PlayEngine::ScanExtended(int16_t m, bool count_keys) {
  // The tempo in force comes from the map; the scan only counts and switches pictures.
  const auto& table = chart_.ObjectTable;
  for (int32_t i = 0; i <= chart_.ObjectLast; ++i) {
    const BmsObject& o = table[i];
    if (o.Channel == channel::kBarLine && o.Measure == m) return i;
    if (count_keys && channel::PlayableLane(o.Channel) != -1) ++TriggeredCount;
    if (IsPictureChannel(o.Channel)) SwitchPicture(o);
  }
  return chart_.ObjectLast;
}

void PlayEngine::ResetPlay() {
  for (int32_t i = 0; i <= chart_.ObjectLast && i < static_cast<int32_t>(chart_.ObjectTable.size());
       ++i) {
    chart_.ObjectTable[i].Played = false;
  }
  TriggeredCount = 0;
  ShowPlayCounts();
  PlayPosition = 0;
  PlayCursor = 0;
  PositionBase = 0;
  exact_base_ = 0.0;
  chart_.CurrentBpm = chart_.StartBpm;
  BgaDirty = true;
  CurrentMeasure = 0;
  CurrentBga = 0;
  CurrentLayer = 0;
  CurrentLayer2 = 0;
  NextEventPosition = 0;
  walked_ = 0;
  if (chart_.Extended) map_ = TempoMap(chart_);
}

bool PlayEngine::Cue(int16_t m) {
  Debug("Play start ----------------");
  CurrentBga = -200;
  if (m < 0 || m > chart_.LastMeasure || chart_.EndPosition == 0 || chart_.ObjectTable.empty()) {
    return false;
  }

  ResetPlay();
  CurrentMeasure = m;
  StatusDirty = true;
  StopRequest = false;
  TriggeredCount = 0;
  ShowPlayCounts();

  if (chart_.Extended) {
    CueExtended(ScanExtended(m, /*count_keys=*/true));
    return true;
  }
  // The scan leaves the tempo in force at the start and the pictures last switched before it.
  const int32_t s = ScanTo(m, /*count_keys=*/true);
  const int32_t start = chart_.ObjectTable[s].Position;
  TakeStart(s);

  // A tempo the user chose in the tempo box since the load overrides the chart's.
  if (TempoBoxSetByUser) {
    if (const auto box = view_.TempoBoxValue()) {
      if (const auto bpm = ToWhole<int16_t>(*box)) chart_.CurrentBpm = *bpm;
    }
  }
  const int32_t now = clock_.Now();
  StartTick = now;
  if (chart_.CurrentBpm != 0) {
    if (const auto ms =
            ToWhole<int32_t>((start - PositionBase) / (chart_.CurrentBpm / kUnitsPerBpmMs))) {
      StartTick = static_cast<int32_t>(int64_t{now} - *ms);
    }
  }
  sounds_.Anchor(ExactTimeOf(start));
  Debug(std::to_string(start) + " to " + std::to_string(chart_.EndPosition + 256));
  Debug(std::to_string(StartTick));
  return true;
}

void PlayEngine::TakeStart(int32_t s) {
  PlayPosition = chart_.ObjectTable[s].Position;
  PlayCursor = s;
  walked_ = s + 1;
  if (!PicturesOnly) {
    for (int32_t i = 0; i <= s; ++i)
      chart_.ObjectTable[i].Played = true;
  }
}

void PlayEngine::CueExtended(int32_t s) {
  const double start = chart_.ObjectTable[s].Position;
  TakeStart(s);
  // A tempo the user chose in the tempo box since the load holds from the start position on,
  // until the chart's next tempo change.
  if (TempoBoxSetByUser) {
    if (const auto box = view_.TempoBoxValue()) map_.OverrideTempo(map_.TimeAt(start), *box);
  }
  chart_.CurrentBpm = map_.BpmAt(start);
  // The play clock reads chart time: StartTick is the tick of chart time 0.
  const double t0 = map_.TimeAt(start);
  const int32_t now = clock_.Now();
  StartTick = now;
  if (const auto ms = ToWhole<int32_t>(t0)) StartTick = static_cast<int32_t>(int64_t{now} - *ms);
  sounds_.Anchor(t0);
  Debug(DecimalText(start) + " to " + DecimalText(chart_.EndPosition + 256));
  Debug(std::to_string(StartTick));
}

void PlayEngine::PlayChart(int16_t m) {
  if (!Cue(m)) return;
  if (Playing) return;  // a seek during play: the running loop goes on from here

  Playing = true;
  StopRequest = false;
  const double end = chart_.EndPosition + 256.0;
  ElapsedMs = static_cast<double>(int64_t{clock_.Now()} - int64_t{StartTick});
  PlayPosition = chart_.Extended ? map_.PositionAt(ElapsedMs)
                                 : chart_.CurrentBpm / kUnitsPerBpmMs * ElapsedMs + PositionBase;
  view_.StartFrameRate(ElapsedMs);
  if (!NotUseMMTimer) view_.StartTickTimer();

  do {
    PlayTick();
    if (!Minimized) {
      view_.DrawFrame();
      if (FrameSleep != 0) clock_.Sleep(FrameSleep);
    } else if (MinimizeSleep) {
      clock_.Sleep(MinimizeSleepTime);
    } else if (FrameSleep != 0) {
      clock_.Sleep(FrameSleep);
    }
    if (Paused) clock_.Sleep(5);
    view_.ProcessEvents();
  } while (PlayPosition <= end && !StopRequest);

  view_.StopTickTimer();
  if (StopRequest && Closing) return;
  Playing = false;
  LocateMeasure(ReadWhole<int16_t>(StartMeasure).value_or(0));
}

void PlayEngine::PlayTick() {
  // During bitmap output the frame loop alone moves the clock.
  if (Paused || PicturesOnly) return;
  StepAt(static_cast<double>(int64_t{clock_.Now()} - int64_t{StartTick}));
}

void PlayEngine::StepAt(double elapsed_ms) {
  ElapsedMs = elapsed_ms;
  const bool extended = chart_.Extended;
  // The extended reading takes the position from the chart's timeline (stops included); the
  // classic one from the clock rule, which tempo changes move as they are met.
  PlayPosition = extended ? map_.PositionAt(ElapsedMs)
                          : chart_.CurrentBpm / kUnitsPerBpmMs * ElapsedMs + PositionBase;
  if (NextEventPosition > PlayPosition) return;

  auto& table = chart_.ObjectTable;
  bool tempo_met = false;
  int32_t i = PlayCursor;
  for (; i <= chart_.ObjectLast && table[i].Position <= PlayPosition; ++i) {
    PlayCursor = i;
    BmsObject& o = table[i];
    if (o.Played || i < walked_) continue;
    if (PicturesOnly) walked_ = i + 1;
    if (extended && (o.Channel == channel::kTempo || o.Channel == channel::kExtendedTempo)) {
      tempo_met = true;  // the timeline has it; only the tempo shown follows
    } else if (o.Channel == channel::kTempo) {
      // Applied again by a later step that meets it, which changes nothing.
      ChangeExactTempo(o.Value, o.Position);
      ChangeTempo(o.Value, ElapsedMs);
      StatusDirty = true;
    } else if (o.Channel == channel::kBarLine && o.Measure != CurrentMeasure) {
      CurrentMeasure = o.Measure;
      LastMeasureSoundCount = MeasureSoundCount;
      MeasureSoundCount = 0;
      StatusDirty = true;
    } else if (!extended || o.Channel != channel::kStop) {
      FireObject(i);
    }
  }
  if (tempo_met) {
    // The tempo in force where play is now (a tempo the user set since then included).
    const double bpm = map_.BpmAt(PlayPosition);
    if (bpm != chart_.CurrentBpm) StatusDirty = true;
    chart_.CurrentBpm = bpm;
  }
  // Past the last record the table holds cleared records, at position 0.
  NextEventPosition = i <= chart_.ObjectLast ? table[i].Position : 0;
}

void PlayEngine::SwitchPicture(const BmsObject& o) {
  const bool base = o.Channel == channel::kBgaBase;
  const bool second = o.Channel == channel::kBgaLayer2;
  const auto& pictures = chart_.BgaPictures;
  const int id = o.Value >= 0 && static_cast<size_t>(o.Value) < pictures.size() ? o.Value : 0;
  const bool shown = flags_[base ? Element::Bga : Element::Layer] && !Minimized &&
                     !pictures.empty() && pictures[static_cast<size_t>(id)].PictureDc != 0;
  (base     ? CurrentBga
   : second ? CurrentLayer2
            : CurrentLayer) = shown ? static_cast<int16_t>(id) : int16_t{0};
  (base ? BgaSwitchMs : second ? Layer2SwitchMs : LayerSwitchMs) = ExactTimeOf(o.Position);
  if (shown) (base ? BgaShown : second ? Layer2Shown : LayerShown) = true;
  BgaDirty = true;
  if (PicturesOnly) {
    Debug((base ? "BMPChange " : second ? "Layer2Change " : "LayerChange ") + Hex(o.Value));
  }
}

void PlayEngine::FireObject(int32_t index) {
  if (index < 0 || index > chart_.ObjectLast) return;
  BmsObject& o = chart_.ObjectTable[index];
  if (o.Played) return;
  const int ch = o.Channel;
  if (PicturesOnly) {
    if (ch == channel::kBgaBase || ch == channel::kBgaLayer ||
        (chart_.Extended && ch == channel::kBgaLayer2)) {
      SwitchPicture(o);
    }
    return;
  }
  o.Played = true;
  // Extended reading: background channels 01 and 20, key lanes and long-note heads sound, the
  // last two count; zones, invisible notes, mines and the poor picture stay silent. Classic
  // reading: 01 and the channels 11-26 but 17 sound, all but 01 count.
  const bool counted = chart_.Extended ? channel::PlayableLane(ch) != -1
                                       : ch >= 11 && ch <= 26 && ch != channel::kZone1;
  const bool background =
      ch == channel::kBackground || (chart_.Extended && ch == channel::kBackground2);
  if (counted || background) {
    if (counted) {
      ++TriggeredCount;
      if (view_.ScoreTabVisible()) {
        const auto score = ToWhole<int64_t>(TriggeredCount * chart_.ScorePerNote).value_or(0);
        view_.ShowPlayCounts(TriggeredCount, std::to_string(score));
      }
    }
    if (flags_[Element::PolyGauge]) view_.AddGaugeInput(10);
    ++MeasureSoundCount;
    const auto& sounds = chart_.SoundTable;
    const int32_t buffer = o.Value >= 0 && static_cast<size_t>(o.Value) < sounds.size()
                               ? sounds[static_cast<size_t>(o.Value)]
                               : -1;
    if (buffer != -1) sounds_.Restart(buffer, ExactTimeOf(o.Position));
  } else if (IsPictureChannel(ch)) {
    SwitchPicture(o);
  }
}

void PlayEngine::HaltPlay() {
  StopRequest = true;
  Playing = false;
  SoundsStop();
  ResetPlay();
  LocateMeasure(ReadWhole<int16_t>(StartMeasure).value_or(0));
}

void PlayEngine::LocateMeasure(int16_t m) {
  if (m < 0 || m > chart_.LastMeasure || chart_.ObjectTable.empty()) return;
  if (chart_.Extended) {
    LocateExtended(m);
    return;
  }
  CurrentBga = -200;
  chart_.CurrentBpm = chart_.StartBpm;
  PositionBase = 0;
  exact_base_ = 0.0;
  const int32_t s = ScanTo(m, /*count_keys=*/false);
  BgaDirty = true;  // the pictures last switched before the measure
  const int32_t position = chart_.ObjectTable[s].Position;
  StartTick = 0;
  if (chart_.CurrentBpm != 0) {
    StartTick = -ToWhole<int32_t>((position - PositionBase) / (chart_.CurrentBpm / kUnitsPerBpmMs))
                     .value_or(0);
  }
  ElapsedMs = -static_cast<double>(StartTick);
  CurrentMeasure = chart_.ObjectTable[s].Measure;
  PlayCursor = s;
  PlayPosition = chart_.CurrentBpm / kUnitsPerBpmMs * ElapsedMs + PositionBase;
  view_.DrawFrame();
  view_.ProcessEvents();
}

void PlayEngine::LocateExtended(int16_t m) {
  CurrentBga = -200;
  map_ = TempoMap(chart_);
  const int32_t s = ScanExtended(m, /*count_keys=*/false);
  BgaDirty = true;  // the pictures last switched before the measure
  const double position = chart_.ObjectTable[s].Position;
  ElapsedMs = map_.TimeAt(position);
  StartTick = -ToWhole<int32_t>(ElapsedMs).value_or(0);
  chart_.CurrentBpm = map_.BpmAt(position);
  CurrentMeasure = chart_.ObjectTable[s].Measure;
  PlayCursor = s;
  PlayPosition = position;
  view_.DrawFrame();
  view_.ProcessEvents();
}

void PlayEngine::PauseClock() {
  Paused = true;
  PauseTick = clock_.Now();
  SoundsStop();
}

void PlayEngine::ResumeClock() {
  Paused = false;
  const int32_t now = clock_.Now();
  StartTick = static_cast<int32_t>(int64_t{StartTick} + (int64_t{now} - int64_t{PauseTick}));
  // An extended chart's clock is chart time, which runs on during a stop while the position
  // stands still: the anchor is the clock's time itself.
  sounds_.Anchor(chart_.Extended ? static_cast<double>(int64_t{now} - int64_t{StartTick})
                                 : ExactTimeOf(PlayPosition));
}

void PlayEngine::PlayFile() {
  if (Paused) {
    PauseFile();
    return;
  }
  if (Playing) return;
  view_.SetPlayButtons(/*play_pressed=*/true, /*pause_pressed=*/false, /*pause_enabled=*/true,
                       /*stop_pressed=*/false);
  view_.Notify("PENABLED True");
  view_.Status(kTextPlaying, "PLAY");
  PlayChart(ReadWhole<int16_t>(StartMeasure).value_or(0));
  if (!StopRequest && !Playing) {
    view_.PostEndTimer();
  } else {
    StopFile(/*no_stop=*/true);
  }
}

void PlayEngine::StopFile(bool no_stop) {
  if (Paused) PauseFile();
  view_.Status(kTextStopped, "STOP");
  view_.SetPlayButtons(false, false, /*pause_enabled=*/false, /*stop_pressed=*/true);
  view_.Notify("PENABLED False");
  if (!no_stop) HaltPlay();
  ResetPlay();
}

void PlayEngine::PauseFile() {
  if (Paused) {
    view_.Status(kTextPlaying, "PLAY");
    ResumeClock();
    view_.SetPlayButtons(true, false, true, false);
  } else {
    view_.Status(kTextPaused, "PAUSE");
    PauseClock();
    view_.SetPlayButtons(false, true, true, false);
  }
}

void PlayEngine::RewFile() {
  CPosChange(0, CurrentMeasure - 1);
}

void PlayEngine::FFFile() {
  CPosChange(0, CurrentMeasure + 1);
}

int64_t PlayEngine::MeasureAt(double x, double width) const {
  const int64_t w = ToWhole<int64_t>(width).value_or(0);
  const int64_t scaled =
      ToWhole<int64_t>(static_cast<double>(chart_.LastMeasure + 1) * x).value_or(0);
  const int64_t target = x <= 0 || w == 0 ? 0 : scaled / w + 1;
  return std::clamp<int64_t>(target, 0, std::max<int64_t>(chart_.LastMeasure, 0));
}

void PlayEngine::CPosChange(double x, double m, double width) {
  const int64_t target = m == 0 ? MeasureAt(x, width)
                                : std::clamp<int64_t>(ToWhole<int64_t>(m).value_or(0), 0,
                                                      std::max<int64_t>(chart_.LastMeasure, 0));
  const auto measure = static_cast<int16_t>(std::min<int64_t>(target, INT16_MAX));
  if (!Playing) {
    StartMeasure = std::to_string(measure);
    LocateMeasure(measure);
    return;
  }
  PlayChart(measure);
  if (Paused) {
    // The still picture at the target; the running clock that PlayChart set up is kept, and the
    // pause counts from now, so that resuming plays on from the target.
    const int32_t start_tick = StartTick;
    const double bpm = chart_.CurrentBpm;
    const int32_t base = PositionBase;
    const double exact_base = exact_base_;
    const TempoMap map = map_;
    LocateMeasure(measure);
    StartTick = start_tick;
    chart_.CurrentBpm = bpm;
    PositionBase = base;
    exact_base_ = exact_base;
    map_ = map;
    PauseTick = clock_.Now();
  }
}

void PlayEngine::TickTimerProc() {
  if ((Playing || Paused) && !StopRequest) {
    PlayTick();
  } else {
    view_.StopTickTimer();
  }
}

void PlayEngine::OnEndTimer() {
  if (RepeatMode == 1) {
    PlayFile();
  } else {
    view_.NextLoad(true);
  }
}

void PlayEngine::OnPlayFileTimer() {
  view_.Notify("PLENGTH " + std::to_string(chart_.TotalTimeMs));
  PlayFile();
}

void PlayEngine::SetTempo(double bpm, bool by_user) {
  TempoBoxSetByUser = by_user;
  if (chart_.Extended) {
    if (!(bpm > 0) || !std::isfinite(bpm)) return;
    // During play the tempo changes where play is now; a play started later applies the box at
    // its start (Cue).
    if (Playing) map_.OverrideTempo(ElapsedMs, bpm);
    chart_.CurrentBpm = bpm;
    StatusDirty = true;
    return;
  }
  ChangeExactTempo(bpm, PlayPosition);
  ChangeTempo(bpm, ElapsedMs);
  StatusDirty = true;
}

namespace {
constexpr double kOverrunMs = 10000.0;
}  // namespace

double ExportLimitMs(const Chart& chart, const TempoMap& timeline) {
  return std::min(timeline.TimeAt(chart.EndPosition + 256.0) + kOverrunMs, kExtendedExportCapMs);
}

double ExportLimitMs(const Chart& chart, double start_bpm) {
  if (chart.Extended) {
    // A start tempo other than the chart's is the user's, which holds until the first tempo
    // change.
    TempoMap tempo(chart);
    if (start_bpm != chart.StartBpm) tempo.OverrideTempo(0.0, start_bpm);
    return ExportLimitMs(chart, tempo);
  }
  const TempoMap tempo(ToWhole<int16_t>(start_bpm).value_or(0), chart.ObjectTable,
                       chart.ObjectLast);
  return tempo.TimeAt(chart.EndPosition + 256.0) + kOverrunMs;
}

}  // namespace quillon
