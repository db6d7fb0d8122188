// The main window's side of remote control: texts from clients run through the command handler,
// notifications go to every client, and the deferred play after a remote load.
#include <QAction>
#include <QTimer>
#include <QToolBar>

#include "chart/numbers.h"
#include "shell/main_window.h"
#include "shell/remote_channel.h"

namespace quillon {

void MainWindow::StartRemoteControl() {
  if (options_.RemoteSocketPath == QStringLiteral("-")) return;
  remote_server_ = new RemoteServer(this);
  remote_server_->on_text = [this](const std::string& text) { ReceiveRemoteText(text); };
  std::string error;
  if (!remote_server_->Listen(&error, options_.RemoteSocketPath)) {
    // Another instance already listens: this one plays on without a remote channel.
    delete remote_server_;
    remote_server_ = nullptr;
  }
}

void MainWindow::ReceiveRemoteText(const std::string& text) {
  if (closing_) return;
  ddep_ = text;
  HandleRemoteText(*this, ddep_);
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

}  // namespace quillon
