// The main window's side of remote control: texts from clients run through the command handler,
// notifications go to every client, the deferred play after a remote load, and the load asked
// for while another load runs.
#include <QAction>
#include <QTimer>
#include <QToolBar>
#include <utility>

#include "chart/numbers.h"
#include "playlist/playlist_window.h"
#include "shell/main_window.h"
#include "shell/remote_channel.h"

namespace quillon {

namespace {

// A text that starts a load: while another load runs, it waits for that one to end.
bool IsLoadText(std::string_view text) {
  return text.starts_with("LLOAD") || text.starts_with(kRemotePreviewPrefix);
}

// How often a load text that waits checks whether the running load has ended.
constexpr int kPendingLoadCheckMs = 10;

}  // namespace

void MainWindow::StartRemoteControl() {
  if (options_.RemoteSocketPath == QStringLiteral("-")) return;
  remote_server_ = new RemoteServer(this);
  remote_server_->on_text = [this](const std::string& text) { ReceiveRemoteText(text); };
  remote_server_->on_control_ended = [this] { EndRemoteControl(); };
  // When another instance listens, this one plays on without a channel and takes the socket
  // over once that one has gone.
  remote_server_->Listen(nullptr, options_.RemoteSocketPath);
}

void MainWindow::ReceiveRemoteText(const std::string& text) {
  if (closing_) return;
  if (loading_ && IsLoadText(text)) {
    // Only the newest load asked for is kept; it runs when the load running now has ended.
    pending_remote_load_ = text;
    if (!pending_remote_armed_) {
      pending_remote_armed_ = true;
      QTimer::singleShot(kPendingLoadCheckMs, this, [this] { RunPendingRemoteLoad(); });
    }
    return;
  }
  ddep_ = text;
  HandleRemoteText(*this, ddep_);
}

void MainWindow::RunPendingRemoteLoad() {
  if (closing_) return;
  if (loading_) {
    QTimer::singleShot(kPendingLoadCheckMs, this, [this] { RunPendingRemoteLoad(); });
    return;
  }
  pending_remote_armed_ = false;
  const std::string text = std::move(pending_remote_load_);
  pending_remote_load_.clear();
  const bool end_control = end_control_after_pending_;
  end_control_after_pending_ = false;
  ReceiveRemoteText(text);
  if (end_control) SetDdeControlled(false);
}

void MainWindow::EndRemoteControl() {
  // As LCLOSE, without the closing word: nobody is left to hear it. A load the client asked for
  // and that still waits is carried out first.
  if (pending_remote_armed_) {
    end_control_after_pending_ = true;
    return;
  }
  SetDdeControlled(false);
}

void MainWindow::Notify(std::string_view text) {
  // Notifications go out only while a client is in control; the closing one always does.
  if (!DdeControlled && text != "PCLOSE") return;
  ddep_ = std::string(text);
  if (remote_server_ != nullptr) remote_server_->Broadcast(ddep_);
}

void MainWindow::SetDdeControlled(bool on) {
  DdeControlled = on;
}

void MainWindow::BV_CLOSE() {
  Notify("PCLOSE");
}

bool MainWindow::Paused() const {
  return core_->engine.Paused;
}

void MainWindow::LoadChart(const std::string& path) {
  bLoad(path, /*list_load=*/true);
}

void MainWindow::ArmPlayFileTimer() {
  if (!closing_) play_file_timer_->start();
}

void MainWindow::OnPlayFileTimer() {
  if (loading_) {
    ArmPlayFileTimer();
    return;
  }
  core_->engine.OnPlayFileTimer();
}

void MainWindow::PressCommandButton(std::string_view key) {
  const QString name = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
  QAction* action = button(name);
  if (action == nullptr || !tlb_tool_->actions().contains(action)) return;
  Dispatch(name);
}

void MainWindow::SetItemText(std::string text) {
  ddep_ = std::move(text);
}

void MainWindow::PreviewChart(const std::string& path, int measure) {
  if (loading_) return;
  // An editor asks for a preview after saving: the chart is read again even when it is the one
  // loaded now.
  current_file_.clear();
  bLoad(path, /*list_load=*/true);
  PlayEngine& engine = core_->engine;
  const int16_t m =
      static_cast<int16_t>(std::clamp<int32_t>(measure, 0, std::max(core_->chart.LastMeasure, 0)));
  engine.StartMeasure = std::to_string(m);
  ShowStillPicture();
  ArmPlayFileTimer();
}

void MainWindow::AddToPlaylist(const std::string& path) {
  AddChartsToPlaylist({path});
}

void MainWindow::AddChartsToPlaylist(const std::vector<std::string>& paths) {
  if (closing_ || paths.empty()) return;
  PlaylistWindow& list = playlist_window();
  if (list.playlist().AddCharts(paths)) list.Refresh();
}

void MainWindow::PlayLibraryChart(const std::string& path) {
  if (closing_ || loading_) return;
  // As a remote LLOAD: the playlist stays as it is; the chart plays once it has loaded.
  if (path == current_file_ && core_->engine.Paused) {
    PlayFile();
    return;
  }
  LoadChart(path);
  ArmPlayFileTimer();
}

void MainWindow::AddLibraryChartsToPlaylist(const std::vector<std::string>& paths) {
  AddChartsToPlaylist(paths);
}

void MainWindow::SetStartFiles(std::string playlist, std::vector<std::string> more_charts) {
  start_playlist_ = std::move(playlist);
  start_charts_ = std::move(more_charts);
}

void MainWindow::OpenStartFiles() {
  if (!start_playlist_.empty()) OpenPlaylist(std::exchange(start_playlist_, {}));
  AddChartsToPlaylist(std::exchange(start_charts_, {}));
}

void MainWindow::OpenPlaylist(const std::string& path) {
  if (closing_) return;
  PlaylistWindow& list = playlist_window();
  // A file that cannot be read is reported and leaves the list as it was.
  if (!list.playlist().Loadlist(path)) return;
  // The opened list plays from its first row once the chart playing now (if any) has ended.
  list.playlist().PlayIndex = 0;
  list.Refresh();
  SetPlaylistButton(true);
  ShowPlaylist(true);
}

}  // namespace quillon
