// Ctrl+C (SIGINT) and SIGTERM during a long headless command (a library scan, a video export):
// while a StopSignals lives, either signal raises its flag instead of ending the process, so the
// command can stop cleanly (keep what a scan wrote, remove a half-written video). The handlers
// before it are put back when it ends. One at a time.
#pragma once

#include <atomic>

namespace quillon {

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Raised by the first signal; for code that polls a flag (a scan's cancel).
  static const std::atomic<bool>& Flag();
  // The signal that asked for the stop, 0 while none has; a command stopped by it exits with
  // 128 + the signal's number, as the shell reports a process ended by it.
  static int Signal();
};

}  // namespace quillon
