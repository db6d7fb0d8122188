// Remote-control round trip against a bare echo over the same kind of socket, in the same run.
//
// The remote path: a client sends "LPAUSE"; a RemoteServer hands it to the command handler, whose
// target answers the PAUSE button with the broadcast "PENABLED True"; the time runs until the
// client has that line. The baseline: a QLocalServer that writes each line straight back. Both
// servers run on one worker thread with its own event loop, the client (blocking calls) on the main
// thread; the two kinds of command alternate, so drift on a shared machine touches both alike.
// Prints median and p99 in microseconds and their ratios, the figures to compare between machines.
#include <QCoreApplication>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "shell/remote_channel.h"
#include "shell/remote_commands.h"

namespace quillon {
namespace {

constexpr int kCommands = 1'000;
constexpr int kWarmUp = 100;

// Answers every command-bar button with the notification PlayFile would send.
class AnsweringTarget : public RemoteTarget {
 public:
  explicit AnsweringTarget(RemoteServer& server) : server_(server) {}
  void SetDdeControlled(bool) override {}
  void BV_CLOSE() override { server_.Broadcast("PCLOSE"); }
  const std::string& CurrentFile() const override { return current_file_; }
  bool Paused() const override { return false; }
  void PlayFile() override {}
  void LoadChart(const std::string&) override {}
  void ArmPlayFileTimer() override {}
  void PressCommandButton(std::string_view) override { server_.Broadcast("PENABLED True"); }
  void SetItemText(std::string) override {}
  void PreviewChart(const std::string&, int) override {}
  void AddToPlaylist(const std::string&) override {}
  void OpenPlaylist(const std::string&) override {}

 private:
  RemoteServer& server_;
  std::string current_file_;
};

// Writes every line it receives straight back.
void ServeEcho(QLocalServer& echo) {
  QObject::connect(&echo, &QLocalServer::newConnection, &echo, [&echo] {
    while (QLocalSocket* socket = echo.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
        while (socket->canReadLine())
          socket->write(socket->readLine());
        socket->flush();
      });
    }
  });
}

// One command and the wait for the line that answers it, in microseconds.
double RoundTrip(QLocalSocket& client, const QByteArray& command, const QByteArray& answer) {
  const auto start = std::chrono::steady_clock::now();
  client.write(command);
  client.flush();
  while (!client.canReadLine()) {
    if (!client.waitForReadyRead(5000)) {
      std::fprintf(stderr, "remote_bench: no answer\n");
      std::exit(1);
    }
  }
  if (client.readLine() != answer) {
    std::fprintf(stderr, "remote_bench: unexpected answer\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

struct Figures {
  double median;
  double p99;
};

Figures Summarise(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) {
    return times[std::min(times.size() - 1, static_cast<size_t>(q * times.size()))];
  };
  return {at(0.5), at(0.99)};
}

int Run() {
  const bench::TempFolder scratch;
  const QString remote_path = QString::fromStdString(scratch.Path("remote"));
  const QString echo_path = QString::fromStdString(scratch.Path("echo"));

  std::atomic<int> ready{0};
  std::unique_ptr<QThread> servers(QThread::create([&] {
    RemoteServer server;
    AnsweringTarget target(server);
    server.on_text = [&](const std::string& text) { HandleRemoteText(target, text); };
    QLocalServer echo;
    ServeEcho(echo);
    std::string error;
    const bool ok = server.Listen(&error, remote_path) && echo.listen(echo_path);
    if (!ok) std::fprintf(stderr, "remote_bench: cannot listen: %s\n", error.c_str());
    ready = ok ? 1 : -1;
    // Runs until QThread::quit ends this thread's event loops.
    QEventLoop loop;
    if (ok) loop.exec();
  }));
  servers->start();
  while (ready == 0)
    QThread::msleep(1);
  if (ready < 0) {
    servers->wait();
    return 1;
  }

  QLocalSocket remote, echo;
  remote.connectToServer(remote_path);
  echo.connectToServer(echo_path);
  if (!remote.waitForConnected(5000) || !echo.waitForConnected(5000)) {
    servers->quit();
    servers->wait();
    return 1;
  }

  const QByteArray command("LPAUSE\n");
  const QByteArray notification("PENABLED True\n");
  std::vector<double> remote_times, echo_times;
  for (int i = 0; i < kWarmUp + kCommands; ++i) {
    const double r = RoundTrip(remote, command, notification);
    const double e = RoundTrip(echo, command, command);
    if (i < kWarmUp) continue;
    remote_times.push_back(r);
    echo_times.push_back(e);
  }
  servers->quit();
  servers->wait();

  const Figures r = Summarise(remote_times);
  const Figures e = Summarise(echo_times);
  std::printf(
      "remote round trip: median %.1f us, p99 %.1f us; echo median %.1f us, p99 %.1f us; ratio "
      "median %.2f, p99 %.2f\n",
      r.median, r.p99, e.median, e.p99, r.median / e.median, r.p99 / e.p99);
  return 0;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  return quillon::Run();
}
