// Start-up and shut-down of the main window, in their fixed order, and the title timer.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <iostream>

#include "chart/numbers.h"
#include "playlist/default_playlist.h"
#include "playlist/playlist_window.h"
#include "shell/full_screen_window.h"
#include "shell/main_window.h"
#include "shell/picture_widgets.h"

namespace quillon {

namespace {

constexpr int32_t kWhite = 16777215;
constexpr int32_t kYellow = 255 + 255 * 256;
constexpr int32_t kOrange = 255 + 128 * 256;

int ToPixels(double twips) {
  return ToWhole<int>(twips / kTwipsPerPixel).value_or(0);
}

}  // namespace

void MainWindow::WriteStartupLine(const QString& text, int32_t from, int32_t to) {
  // On the title view's next line, the panel made high enough to show it whole.
  FitTitlePanel(core_->status.AddTitleLine(text, from, to));
  pic_display_->repaint();
}

void MainWindow::Startup(const std::string& command_line, int start_measure, bool preview) {
  // 1. The full-screen window, hidden, over the whole screen. The play display itself stays on
  // Picture1 during start-up, so that a chart given on the command line is seen while it plays.
  fsc_ = new FullScreenWindow(popup_);
  fsc_->SetImage(&disp_image_);
  fsc_->on_leave = [this] {
    if (full_screen_on_) mVI_Click(10);
  };
  fsc_->on_key = [this](int key, Qt::KeyboardModifiers mods) { return HandleKey(key, mods); };
  if (QScreen* screen = QApplication::primaryScreen()) fsc_->setGeometry(screen->geometry());
  Trace("startup 1");

  // 2. Menu captions in the interface language.
  Changelang();
  Trace("startup 2");

  // 3. The window's place and size.
  const WindowPlacement placement = ReadWindowPlacement(settings_);
  const QPoint at = pos();
  move(placement.Left ? ToPixels(*placement.Left) : at.x(),
       placement.Top ? ToPixels(*placement.Top) : at.y());
  const int width = placement.Width ? ToPixels(*placement.Width) : this->width();
  const int height = placement.Height ? ToPixels(*placement.Height) : this->height();
  if (width > 0 && height > 0) resize(width, height);
  Trace("startup 3");

  // 4. The title scroll timer runs unless the title must not scroll.
  ReadNotScrollTitle(settings_, program_);
  if (!program_.NotScrollTitle) timer1_->start();
  Trace("startup 4");

  // 5. Display settings; the control panel and the playlist are made (hidden) so that the stored
  // display switches and the default playlist are in effect from the first load.
  LoadSettings();
  control_panel();
  playlist_window().LoadDefault(
      DefaultPlaylistReadPath(options_.ProgramFolder, options_.DataFolder));
  Trace("startup 5");

  // 6-9. Show the window, lay it out and give it its stored state.
  show();
  repaint();
  Trace("startup 6");
  ResizeForm();
  Trace("startup 7");
  if (placement.State == 1) {
    setWindowState(Qt::WindowMinimized);
  } else if (placement.State == 2) {
    setWindowState(Qt::WindowMaximized);
  }
  Trace("startup 8");
  repaint();
  Trace("startup 9");

  // 10. The colour depth of new surfaces.
  core_->surfaces.ScreenBitsPerPixel = ReadScreenBitsPerPixel();
  Trace("startup 10");

  // 11-12. The title panel holds the gauge, the status picture and the three title lines.
  title_text_height_sum_ = 0;
  for (const TitleLineStyle& style : program_.InfoLines) {
    QFont font(QString::fromStdString(style.Font));
    title_text_height_sum_ += QFontMetrics(font).height();
  }
  Trace("startup 11");
  pic_base_disp_->resize(pic_base_disp_->width(), pic_status_->height() + pic_pol_graph_->height() +
                                                      10 + title_text_height_sum_);
  Trace("startup 12");

  // 13. The title view and the view items.
  display_width_ = 0;
  display_height_ = 0;
  started_ = true;
  title_needed_ = core_->status.DrawTitleInfo(core_->chart.Header);
  TitleView();
  Trace("startup 13");

  // 14. "Now loading".
  WriteStartupLine(Text(1101), kWhite, kYellow);
  Trace("startup 14");

  // 15. Skins.
  core_->notes.LoadSkins(options_.ProgramFolder, options_.DataFolder);
  core_->notes.SetLaneLayout(0);
  core_->notes.Zoom = 1.0F;
  Trace("startup 15");

  // 16. The sound device; without one, play goes on silently after one message.
  core_->device = InitSound(core_->sound, static_cast<int64_t>(winId()), *this);
  if (core_->device != 0) core_->sound.dsSetGlobalFocus(1);
  Trace("startup 16");

  // 17. The polyphony gauge's background.
  core_->status.MakeGaugeSource();
  Trace("startup 17");

  // 18. The chart on the command line is loaded and played; with AutoEnd the program ends after
  // it ran to its end.
  ReadStartFlags(settings_, program_);
  core_->engine.NotUseMMTimer = program_.NotUseMMTimer;
  // Remote clients can reach the window from here on, also while a command-line chart plays.
  StartRemoteControl();
  StartMediaControls();
  Trace("startup 18");
  if (command_line.empty()) OpenStartFiles();
  if (!command_line.empty()) {
    bLoad(command_line, /*list_load=*/preview || !start_playlist_.empty());
    OpenStartFiles();
    if (start_measure > 0) {
      core_->engine.StartMeasure = std::to_string(
          std::clamp<int32_t>(start_measure, 0, std::max(core_->chart.LastMeasure, 0)));
    }
    PlayFile();
    if (ended_) return;
    if (program_.AutoEnd && !core_->engine.StopRequest) {
      close();
      if (ended_) return;
    }
  }

  // 19. "Ready".
  WriteStartupLine(Text(1102), kYellow, kOrange);
  Trace("startup 19");

  // 20-22. The display, the back buffer and a fresh layout.
  picture1_->update();
  Trace("startup 20");
  ResourceLoader& res = core_->resources;
  if (core_->surfaces.Image(res.SpriteDc) == nullptr) {
    core_->surfaces.CreateSurface(res.SpriteDc, res.SpriteBitmap, 1024, 768,
                                  core_->surfaces.ScreenBitsPerPixel, "SpriteDC");
  }
  Trace("startup 21");
  last_layout_width_ = 0;
  ResizeForm();
  Trace("startup 22");
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // 1. While full screen is on, closing only hides the main window.
  if (full_screen_on_) {
    hide();
    event->ignore();
    return;
  }
  if (closing_) {
    event->accept();
    return;
  }
  closing_ = true;
  Shutdown();
  event->accept();
}

void MainWindow::RequestQuit() {
  if (closing_ || quit_requested_) return;
  quit_requested_ = true;
  FinishQuitRequest();
}

// Runs until the window closes: every question on screen is cancelled (the random-select one
// then picks at random), which ends the nested loop it runs; a load is let finish, since the
// chart it builds is released by the shut-down. Then the window closes as File > Quit closes it.
void MainWindow::FinishQuitRequest() {
  if (closing_) return;
  bool waiting = loading_;
  for (int i = 0; i < 16; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) break;
    waiting = true;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  if (waiting) {
    QTimer::singleShot(10, this, [this] { FinishQuitRequest(); });
    return;
  }
  if (full_screen_on_) FullScreen(false);
  close();
}

void MainWindow::Shutdown() {
  // 2. The playlist writes the default playlist; the control panel stores its switches.
  if (playlist_ != nullptr) {
    playlist_->SaveDefault(DefaultPlaylistWritePath(options_.DataFolder));
    playlist_->hide();
  }
  if (!panel_.isNull()) panel_->close();
  // The library window stores its size and columns as it hides.
  if (library_ != nullptr) library_->hide();
  Trace("shutdown 2");

  // 3. A play loop still running returns without touching the window.
  PlayEngine& engine = core_->engine;
  engine.StopRequest = true;
  engine.Closing = true;
  tick_timer_->stop();
  gauge_timer_->stop();
  end_timer_->stop();
  timer1_->stop();
  Trace("shutdown 3");

  // 4-6. The chart, the sound device and the surfaces.
  core_->resources.ReleaseAll(core_->chart);
  core_->chart = Chart();
  Trace("shutdown 4");
  if (core_->device != 0) core_->sound.dsTerminate(core_->device);
  core_->device = 0;
  Trace("shutdown 5");
  core_->surfaces.FreeSurface(core_->resources.SpriteDc, core_->resources.SpriteBitmap);
  Trace("shutdown 6");

  // 7-9. The window's state, its normal rectangle and the view items.
  const int state = isMinimized() ? 1 : (isMaximized() ? 2 : 0);
  WriteWindowState(settings_, state);
  Trace("shutdown 7");
  const QRect normal = state == 0 ? QRect(pos(), size()) : normalGeometry();
  WriteWindowRect(settings_, normal.x() * kTwipsPerPixel, normal.y() * kTwipsPerPixel,
                  normal.width() * kTwipsPerPixel, normal.height() * kTwipsPerPixel);
  Trace("shutdown 8");
  WriteViewItems(settings_, {program_.ViewItems[0], program_.ViewItems[1], program_.ViewItems[2],
                             program_.ViewItems[3]});
  std::string error;
  if (!settings_.Sync(&error)) std::cerr << "quillon: settings not saved: " << error << '\n';
  Trace("shutdown 9");

  // 10. A remote-control client learns that the player has gone.
  BV_CLOSE();
  play_file_timer_->stop();
  Trace("shutdown 10");

  // 11. The end: every window goes, the application quits.
  ended_ = true;
  for (QWidget* other :
       {static_cast<QWidget*>(fsc_), static_cast<QWidget*>(property_),
        static_cast<QWidget*>(debug_.data()), static_cast<QWidget*>(options_dialog_.data())}) {
    if (other != nullptr) other->hide();
  }
  hide();
  Trace("shutdown 11");
  if (on_ended) on_ended();
}

void MainWindow::TitleTimerTick() {
  if (title_length_ != 0) {
    const TitleScrollStep step = ScrollTitle(title_text_, title_scroll_pos_);
    if (step.Changed) {
      title_scroll_pos_ = step.Position;
      setWindowTitle(QString::fromStdString(step.Caption));
    }
  }
  if (panel_.isNull()) return;
  const QRect main = frameGeometry();
  const QRect panel = panel_->frameGeometry();
  DockInput in;
  in.MainLeft = main.left();
  in.MainTop = main.top();
  in.MainWidth = main.width();
  in.PanelLeft = panel.left();
  in.PanelWidth = panel.width();
  const QScreen* screen =
      this->screen() != nullptr ? this->screen() : QApplication::primaryScreen();
  in.ScreenWidth = screen != nullptr ? screen->geometry().width() : 0;
  in.MainHeight = main.height();
  in.PanelHeight = panel.height();
  in.ScreenHeight = screen != nullptr ? screen->geometry().height() : 0;
  const DockResult dock = DockPanel(in, dock_);
  dock_ = dock.Memory;
  if (dock.Move) panel_->move(dock.PanelLeft, dock.PanelTop);
}

}  // namespace quillon
