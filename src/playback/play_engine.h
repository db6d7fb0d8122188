// The play engine: the play clock, the scheduler that fires due objects, and the play operations
// (play, pause, stop, seek) of the main window.
//
// Play runs as a loop inside PlayFile on the UI thread: each pass advances the clock, fires what
// is due, draws a frame, and lets the window process pending events, so commands arriving meanwhile
// (pause, stop, seek, a tempo change, a new load) run nested inside the pass and take effect at the
// next one. The clock, the window and the sounds are reached through TickClock, PlayView and
// PlaySounds, so the whole state machine runs headless under a fake clock.
//
// Two clocks: a chart of the classic reading keeps the clock rule it has always had (a position
// base moved at every tempo change, in whole milliseconds). A chart of the extended reading plays
// on its TempoMap: the play time is the chart's time, the position is the map's position at that
// time (standing still during a stop), and a tempo set by the user is a change inserted into the
// map.
#pragma once

#include <cstdint>
#include <string>

#include "chart/model.h"
#include "chart/timing.h"
#include "playback/play_sounds.h"
#include "playback/play_view.h"

namespace quillon {

class PlayEngine {
 public:
  PlayEngine(Chart& chart, const ElementFlags& flags, TickClock& clock, PlayView& view,
             PlaySounds& sounds);

  // The play state.
  bool Playing = false;
  bool StopRequest = false;
  bool Paused = false;
  int32_t PauseTick = 0;
  int32_t StartTick = 0;
  double ElapsedMs = 0.0;
  int32_t PositionBase = 0;
  double PlayPosition = 0.0;
  double NextEventPosition = 0;
  int32_t PlayCursor = 0;
  int16_t CurrentMeasure = 0;
  int32_t TriggeredCount = 0;
  int32_t MeasureSoundCount = 0;
  int32_t LastMeasureSoundCount = 0;
  int16_t CurrentBga = 0;
  int16_t CurrentLayer = 0;
  int16_t CurrentLayer2 = 0;  // the second layer (channel 0A) of the extended reading
  // The play time (ms, as ElapsedMs) of the last switch on the base, layer and second layer: a
  // movie shown there has played for ElapsedMs minus this.
  double BgaSwitchMs = 0.0;
  double LayerSwitchMs = 0.0;
  double Layer2SwitchMs = 0.0;
  bool BgaShown = false;
  bool LayerShown = false;
  bool Layer2Shown = false;
  bool BgaDirty = false;
  bool StatusDirty = false;
  bool Minimized = false;
  int32_t FrameSleep = 0;
  bool Closing = false;
  int16_t RepeatMode = 0;  // 0 none, 1 repeat the chart, 2 repeat the list
  // The start measure of the next play, as decimal text (kept by the position bar).
  std::string StartMeasure = "0";
  // The user changed the control panel's tempo box since the load: play then starts at the box's
  // tempo instead of the tempo in force at the start position.
  bool TempoBoxSetByUser = false;
  // Bitmap output: the scheduler moves the clock, applies tempo changes and switches pictures,
  // but plays no sound, counts nothing and marks nothing played (so notes scroll on past the
  // judgement line); the frame loop drives it with StepAt instead of the tick clock.
  bool PicturesOnly = false;
  // Settings.
  bool NotUseMMTimer = false;
  bool MinimizeSleep = true;
  int32_t MinimizeSleepTime = 50;

  // Public operations of the main window.
  void PlayFile();
  void StopFile(bool no_stop = false);
  void PauseFile();
  void RewFile();
  void FFFile();
  // Seek to measure `m`, or when `m` is 0 to the measure under `x` of a position bar `width` wide.
  void CPosChange(double x, double m, double width = 1.0);
  // The measure a seek to `x` of a position bar `width` wide goes to (the bar's tooltip names it).
  int64_t MeasureAt(double x, double width) const;

  // Internal steps, public for the window's timers, the exports and tests.
  void PlayChart(int16_t measure);
  // Sets the clock up at the bar line of `measure` as if everything before it had played (the
  // tempo in force there, the last pictures switched), without running the play loop; false
  // when there is nothing to play there.
  bool Cue(int16_t measure);
  void PlayTick();
  // One scheduler step at play time `elapsed_ms` (milliseconds since StartTick): the position by
  // the clock rule, then every object now due, in table order. Live play runs it from the tick
  // clock, the exports from their virtual clocks.
  void StepAt(double elapsed_ms);
  void FireObject(int32_t index);
  void ResetPlay();
  void HaltPlay();
  void LocateMeasure(int16_t measure);
  void PauseClock();
  void ResumeClock();
  // The 1-millisecond timer's callback.
  void TickTimerProc();
  // The end-of-chart follow-up (the one-shot timer PlayFile arms when a chart ran to its end).
  void OnEndTimer();
  // The deferred play after a remote load: "PLENGTH <ms>", then PlayFile.
  void OnPlayFileTimer();
  // The control panel's tempo box changed to `bpm`: by the user, or filled by a load (which ends
  // any override of the user's). Extended charts: during play the position goes on at `bpm` until
  // the chart's next tempo change.
  void SetTempo(double bpm, bool by_user);

  // Play time on the exact clock (milliseconds since StartTick, without rounding) of `position`.
  double ExactTimeOf(double position) const;
  // The timeline an extended chart plays on (the chart's, with the user's tempo from the start
  // position on when TempoBoxSetByUser), as set up by the last Cue or seek.
  const TempoMap& Timeline() const { return map_; }

 private:
  void Debug(std::string_view text);
  // The tempo rule: the position stays continuous across a change to `bpm` at clock time `t`.
  void ChangeTempo(int16_t bpm, double t);
  // The exact clock's own tempo rule at the exact time of a change at `position`.
  void ChangeExactTempo(int16_t bpm, double position);
  // The BGA switch of a base (channel 4) or layer (channel 7) object, as if it played now.
  void SwitchPicture(const BmsObject& o);
  void ShowPlayCounts();
  // Index of the bar line of measure `m` (the scan of Cue and LocateMeasure), applying the tempo
  // changes and picture switches before it; counts key objects when `count_keys`.
  int32_t ScanTo(int16_t m, bool count_keys);
  void SoundsStop();
  // The extended reading's side of Cue, StepAt and LocateMeasure.
  int32_t ScanExtended(int16_t m, bool count_keys);
  // Play starts at record `s` (a bar line): the position and cursor go there, and unless only
  // pictures are shown, the records up to it count as played.
  void TakeStart(int32_t s);
  void CueExtended(int32_t s);
  void LocateExtended(int16_t m);

  Chart& chart_;
  const ElementFlags& flags_;
  TickClock& clock_;
  PlayView& view_;
  PlaySounds& sounds_;
  // The exact clock: position at play time 0 under the tempo in force, without rounding.
  double exact_base_ = 0.0;
  // Objects before this index have been dealt with: taken by the start scan, or walked by a
  // pictures-only step (which marks nothing played).
  int32_t walked_ = 0;
  // Extended charts: the timeline of the play (rebuilt by every reset, cue and locate).
  TempoMap map_;
};

// The longest an export of `chart` played from its start at `start_bpm` may run: the play length
// (to EndPosition + 256, across the chart's tempo changes, up to where a tempo of 0 or less stops
// the position) and 10 s more. A tempo that never lets play reach the end cannot make an export
// write without end. Extended charts: the stops count, `start_bpm` holds until the first tempo
// change, and the limit is at most kExtendedExportCapMs, however long the stops.
inline constexpr double kExtendedExportCapMs = 60.0 * 60.0 * 1000.0;
double ExportLimitMs(const Chart& chart, double start_bpm);
// The same for an extended chart played on `timeline` from its start.
double ExportLimitMs(const Chart& chart, const TempoMap& timeline);

}  // namespace quillon
