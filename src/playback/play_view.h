// What the play engine shows and asks outside itself: the window implements it, tests fake it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Milliseconds of a steady clock (the tick count), and waiting on it.
class TickClock {
 public:
  virtual ~TickClock() = default;
  virtual int32_t Now() = 0;
  virtual void Sleep(int32_t ms) = 0;
};

// The real one: std::chrono::steady_clock, truncated to 32 bits like a tick count.
class SteadyTickClock : public TickClock {
 public:
  int32_t Now() override;
  void Sleep(int32_t ms) override;
};

// String table ids of the play-state words.
inline constexpr int kTextPlaying = 1002;
inline constexpr int kTextPaused = 1003;
inline constexpr int kTextStopped = 1004;

class PlayView {
 public:
  virtual ~PlayView() = default;

  virtual bool DebugLogging() const { return false; }
  virtual void WriteDebugLog(std::string_view /*text*/) {}

  // The status line: the string-table text `text_id` with the toolbar icon `icon` ("PLAY", ...).
  virtual void Status(int /*text_id*/, std::string_view /*icon*/) {}
  // The play buttons of the tool bar.
  virtual void SetPlayButtons(bool /*play_pressed*/, bool /*pause_pressed*/, bool /*pause_enabled*/,
                              bool /*stop_pressed*/) {}
  // A notification to a linked remote-control client ("PENABLED True", "PLENGTH 9333", ...).
  virtual void Notify(std::string_view /*text*/) {}

  virtual void DrawFrame() {}
  // Lets the window process pending events: commands run nested inside the play loop.
  virtual void ProcessEvents() {}
  // The property dialog's played-notes and score labels.
  virtual bool ScoreTabVisible() const { return false; }
  virtual void ShowPlayCounts(int32_t /*played_notes*/, std::string_view /*score*/) {}
  // Polyphony gauge input, and the frame-rate measurement's start.
  virtual void AddGaugeInput(int32_t /*amount*/) {}
  virtual void StartFrameRate(double /*elapsed_ms*/) {}

  // The 1-millisecond timer that runs TickTimerProc between passes of the play loop.
  virtual void StartTickTimer() {}
  virtual void StopTickTimer() {}
  // Runs OnEndTimer once, right after the current handler has returned (a one-shot timer).
  virtual void PostEndTimer() {}
  // Loads and plays the next playlist entry.
  virtual void NextLoad(bool /*from_end*/) {}
  // The control panel's tempo box as a number; nullopt when its text is not one.
  virtual std::optional<double> TempoBoxValue() const = 0;
};

}  // namespace quillon
