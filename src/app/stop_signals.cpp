#include "app/stop_signals.h"

#include <csignal>

namespace quillon {
namespace {

std::atomic<bool> stop_flag{false};
volatile std::sig_atomic_t stop_signal = 0;
struct sigaction old_int {};
struct sigaction old_term {};

// Only async-signal-safe work: a lock-free atomic store and a sig_atomic_t.
extern "C" void RequestStop(int signal) {
  stop_signal = signal;
  stop_flag.store(true);
}

}  // namespace

StopSignals::StopSignals() {
  stop_flag.store(false);
  stop_signal = 0;
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &old_int);
  sigaction(SIGTERM, &action, &old_term);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
}

const std::atomic<bool>& StopSignals::Flag() {
  return stop_flag;
}

int StopSignals::Signal() {
  return static_cast<int>(stop_signal);
}

}  // namespace quillon
