#include "shell/shutdown_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace quillon {
namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// The socket pair: the handler writes into [0], the event loop reads [1].
int g_pair[2] = {-1, -1};
volatile std::sig_atomic_t g_received = 0;

extern "C" void OnShutdownSignal(int number) {
  if (g_received != 0) _exit(128 + number);
  g_received = 1;
  const int saved = errno;
  const char byte = 1;
  // A full buffer cannot happen (one byte per process); the result does not matter here.
  [[maybe_unused]] const ssize_t written = write(g_pair[0], &byte, 1);
  errno = saved;
}

}  // namespace

ShutdownSignals::ShutdownSignals(std::function<void()> on_signal, QObject* parent)
    : QObject(parent), on_signal_(std::move(on_signal)) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pair) != 0) {
    g_pair[0] = g_pair[1] = -1;
    return;
  }
  g_received = 0;
  notifier_ = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Receive(); });
  struct sigaction action {};
  action.sa_handler = OnShutdownSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls resume, so no other code has to expect EINTR because of us.
  action.sa_flags = SA_RESTART;
  for (int number : kSignals)
    sigaction(number, &action, nullptr);
}

ShutdownSignals::~ShutdownSignals() {
  if (notifier_ == nullptr) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals)
    sigaction(number, &action, nullptr);
  delete notifier_;
  notifier_ = nullptr;
  close(g_pair[0]);
  close(g_pair[1]);
  g_pair[0] = g_pair[1] = -1;
}

void ShutdownSignals::Receive() {
  char bytes[16];
  while (read(g_pair[1], bytes, sizeof bytes) > 0) {
  }
  if (handled_) return;
  handled_ = true;
  if (on_signal_) on_signal_();
}

}  // namespace quillon
