// The main window's side of the desktop's media controls: what plays, and the toolbar's commands
// the controls run.
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "playlist/playlist_window.h"
#include "shell/full_screen_window.h"
#include "shell/main_window.h"
#include "shell/mpris_service.h"

namespace quillon {

class MainWindow::MediaTarget : public MediaPlayerTarget {
 public:
  explicit MediaTarget(MainWindow& window) : w_(window) {}

  MediaTrack CurrentTrack() const override {
    const Chart& chart = w_.core_->chart;
    if (!HasChart()) return {};
    return DescribeTrack(chart.Header, chart.TotalTimeMs, w_.media_art_, w_.media_serial_);
  }

  MediaState CurrentState() const override {
    const PlayEngine& engine = w_.core_->engine;
    MediaState state;
    state.Playing = engine.Playing;
    state.Paused = engine.Paused;
    state.HasChart = HasChart();
    state.PositionMs = std::max(engine.ElapsedMs, 0.0);
    // Under remote control the client steps its own list; otherwise the playlist steps when it
    // has an entry after (or, repeating the list, any entry) or before the one playing.
    if (w_.DdeControlled) {
      state.CanGoNext = state.CanGoPrevious = true;
    } else if (w_.playlist_ != nullptr) {
      const Playlist& list = w_.playlist_->playlist();
      const auto size = static_cast<int64_t>(list.size());
      state.CanGoNext = list.PlayIndex < size || (engine.RepeatMode == 2 && size > 0);
      state.CanGoPrevious = list.PlayIndex > 1 && list.PlayIndex <= size;
    }
    return state;
  }

  void PlayCommand() override { Press("PLAY"); }
  void PauseCommand() override { Press("PAUSE"); }
  void StopCommand() override { Press("STOP"); }
  void NextCommand() override { Press("NEXT"); }
  void PreviousCommand() override { Press("PREV"); }

  void SeekToTime(double ms) override {
    if (!Usable() || w_.loading_ || !HasChart()) return;
    const Chart& chart = w_.core_->chart;
    PlayEngine& engine = w_.core_->engine;
    // An extended chart plays on the engine's timeline (the user's tempo included); a classic
    // one on its own tempo changes.
    const int16_t measure = chart.Extended ? MeasureAtTime(chart, engine.Timeline(), ms)
                                           : MeasureAtTime(chart, TempoMap(chart), ms);
    engine.CPosChange(0, measure);
  }

  void OpenAndPlay(const std::string& path) override {
    if (!Usable() || w_.loading_) return;
    // As File > Open: the chart becomes the playlist; play starts from the event loop, as after
    // a remote load, so that a play running now has returned first.
    if (w_.bLoad(path, /*list_load=*/false) < 0) return;
    w_.ArmPlayFileTimer();
  }

  void RaiseWindow() override {
    if (!Usable()) return;
    QWidget* top = w_.full_screen_on_ && w_.fsc_ != nullptr ? static_cast<QWidget*>(w_.fsc_)
                                                            : static_cast<QWidget*>(&w_);
    if (top->isMinimized()) top->showNormal();
    top->show();
    top->raise();
    top->activateWindow();
  }

  void QuitPlayer() override { w_.RequestQuit(); }

 private:
  bool Usable() const { return !w_.closing_ && !w_.ended_; }
  bool HasChart() const {
    const Chart& chart = w_.core_->chart;
    return !chart.Header.FilePath.empty() && chart.ObjectCount() > 0;
  }
  void Press(const char* key) {
    if (Usable()) w_.Dispatch(QString::fromLatin1(key));
  }

  MainWindow& w_;
};

void MainWindow::StartMediaControls() {
  if (!options_.MediaControls) return;
  mpris_ = MprisService::Start(std::make_unique<MediaTarget>(*this));
}

void MainWindow::MediaStateChanged() {
  if (mpris_ != nullptr) mpris_->RefreshSoon();
}

}  // namespace quillon
