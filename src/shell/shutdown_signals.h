// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, the end of the session) run the program's normal
// shut-down. The signal handler only writes a byte into a socket pair; the event loop reads it
// and calls the shut-down from there, where everything may be used. A second signal while the
// first is being handled ends the process at once, with status 128 + the signal's number.
//
// Threads: made and used on the UI thread; the handler itself may run on any thread.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace quillon {

class ShutdownSignals : public QObject {
 public:
  // Installs the handlers; `on_signal` runs from the event loop once per process, for the first
  // signal. Only one object may exist at a time.
  explicit ShutdownSignals(std::function<void()> on_signal, QObject* parent = nullptr);
  // Puts the default handlers back.
  ~ShutdownSignals() override;
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;

  // False when the handlers could not be installed (no socket pair); signals then act as usual.
  bool Installed() const { return notifier_ != nullptr; }

 private:
  void Receive();

  std::function<void()> on_signal_;
  QSocketNotifier* notifier_ = nullptr;
  bool handled_ = false;
};

}  // namespace quillon
