// The play engine: the play clock, the scheduler that fires due objects, and the play operations
// (play, pause, stop, seek) of the main window.
//
// Play runs as a loop inside PlayFile on the UI thread: each pass advances the clock, fires what
// is due, draws a frame, and lets the window process pending events, so commands arriving meanwhile
// (pause, stop, seek, a tempo change, a new load) run nested inside the pass and take effect at the
// next one. The clock, the window and the sounds are reached through TickClock, PlayView and
// PlaySounds, so the whole state machine runs headless under a fake clock.
#pragma once

#include <cstdint>
#include <string>

#include "chart/model.h"
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
  int32_t NextEventPosition = 0;
  int32_t PlayCursor = 0;
  int16_t CurrentMeasure = 0;
  int32_t TriggeredCount = 0;
  int32_t MeasureSoundCount = 0;
  int32_t LastMeasureSoundCount = 0;
  int16_t CurrentBga = 0;
  int16_t CurrentLayer = 0;
  bool BgaShown = false;
  bool LayerShown = false;
  bool BgaDirty = false;
  bool StatusDirty = false;
  bool Minimized = false;
  int32_t FrameSleep = 0;
  bool Closing = false;
  int16_t RepeatMode = 0;  // 0 none, 1 repeat the chart, 2 repeat the list
  // The start measure of the next play, as decimal text (kept by the position bar).
  std::string StartMeasure = "0";
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

  // Internal steps, public for the window's timers and for tests.
  void PlayChart(int16_t measure);
  void PlayTick();
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
  // The control panel's tempo box changed to `bpm`.
  void SetTempo(int16_t bpm);

  // Play time on the exact clock (milliseconds since StartTick, without rounding) of `position`.
  double ExactTimeOf(double position) const;

 private:
  void Debug(std::string_view text);
  // The tempo rule: the position stays continuous across a change to `bpm` at clock time `t`.
  void ChangeTempo(int16_t bpm, double t);
  // The exact clock's own tempo rule at the exact time of a change at `position`.
  void ChangeExactTempo(int16_t bpm, double position);
  void RefreshClock();
  void ShowPlayCounts();
  // Index of the bar line of measure `m` (the scan of PlayChart and LocateMeasure), applying the
  // tempo changes before it; counts key objects when `count_keys`.
  int32_t ScanTo(int16_t m, bool count_keys);
  void SoundsStop();

  Chart& chart_;
  const ElementFlags& flags_;
  TickClock& clock_;
  PlayView& view_;
  PlaySounds& sounds_;
  // The exact clock: position at play time 0 under the tempo in force, without rounding.
  double exact_base_ = 0.0;
};

}  // namespace quillon
