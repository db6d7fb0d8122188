// The main window's commands: the toolbar dispatcher, the menus, the keys, dropped files, and the
// load and playlist-step operations they end in.
#include <QAction>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <iostream>

#include "chart/loader.h"
#include "chart/numbers.h"
#include "platform/common_dialog.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"
#include "playlist/playlist_window.h"
#include "resources/toolbar_icons.h"
#include "settings/recent_charts.h"
#include "shell/main_window.h"

namespace quillon {

void MainWindow::Dispatch(const QString& key) {
  QAction* pressed = button(key);
  const bool down = pressed != nullptr && pressed->isChecked();
  PlayEngine& engine = core_->engine;
  if (key == QStringLiteral("OBJ")) {
    control_panel().SetElementState(static_cast<int>(Element::Objects), down ? 1 : 0);
  } else if (key == QStringLiteral("BGA")) {
    control_panel().SetElementState(static_cast<int>(Element::Bga), down ? 1 : 0);
    control_panel().SetElementState(static_cast<int>(Element::Layer), down ? 1 : 0);
  } else if (key == QStringLiteral("POLY")) {
    control_panel().SetElementState(static_cast<int>(Element::PolyGauge), down ? 1 : 0);
  } else if (key == QStringLiteral("DEBUG")) {
    ShowDebugWindow();
  } else if (key == QStringLiteral("OPEN")) {
    OpenChart();
  } else if (key == QStringLiteral("RELOAD")) {
    ReloadChart();
  } else if (key == QStringLiteral("PREV")) {
    PrevLoad();
  } else if (key == QStringLiteral("REW")) {
    engine.RewFile();
  } else if (key == QStringLiteral("FF")) {
    engine.FFFile();
  } else if (key == QStringLiteral("PLAY")) {
    if (engine.Playing) pressed->setChecked(true);
    PlayFile();
  } else if (key == QStringLiteral("STOP")) {
    engine.StopFile(/*no_stop=*/false);
  } else if (key == QStringLiteral("PAUSE")) {
    engine.PauseFile();
  } else if (key == QStringLiteral("NEXT")) {
    NextLoad(false);
  } else if (key == QStringLiteral("CPANEL")) {
    ShowPanel(down);
  } else if (key == QStringLiteral("PLAYLIST")) {
    ShowPlaylist(down);
  } else if (key == QStringLiteral("PROP")) {
    ShowProperties(down);
  } else if (key == QStringLiteral("OPTION")) {
    ShowOptions();
  } else if (key == QStringLiteral("BMPOUT")) {
    BitmapOutput();
  } else if (key == QStringLiteral("REP1")) {
    engine.RepeatMode = down ? 1 : 0;
    button(QStringLiteral("REPA"))->setChecked(false);
  } else if (key == QStringLiteral("REPA")) {
    engine.RepeatMode = down ? 2 : 0;
    button(QStringLiteral("REP1"))->setChecked(false);
  }
}

void MainWindow::ShowPanel(bool show) {
  if (show) {
    ControlPanel& panel = control_panel();
    panel.show();
    panel.raise();
    dock_ = {};  // dock it at the next title timer tick
  } else if (!panel_.isNull()) {
    panel_->hide();
  }
}

void MainWindow::ShowPlaylist(bool show) {
  PlaylistWindow& list = playlist_window();
  if (show) {
    list.show();
    list.raise();
  } else {
    list.hide();
  }
}

void MainWindow::ShowLibrary() {
  LibraryWindow& library = library_window();
  library.show();
  library.raise();
  library.activateWindow();
}

void MainWindow::ShowProperties(bool show) {
  PropertyDialog& dialog = property_dialog();
  if (show) {
    dialog.show();
    dialog.raise();
  } else {
    dialog.hide();
  }
}

void MainWindow::ShowOptions() {
  if (options_dialog_.isNull()) {
    options_dialog_ = new OptionsDialog(*this, program_, settings_, this, strings_.language());
  }
  options_dialog_->show();
  options_dialog_->raise();
}

void MainWindow::ShowDebugWindow() {
  if (debug_.isNull()) {
    debug_ = new DebugWindow(
        core_->surfaces, [this] { return core_->engine.ElapsedMs; }, options_.DebugLogPath, this);
    debug_->setWindowFlag(Qt::Window);
    debug_->on_closed = [this] {
      debug_logging_ = false;
      if (!debug_.isNull()) debug_->deleteLater();
      debug_.clear();
    };
  }
  debug_logging_ = true;
  debug_->show();
  debug_->raise();
}

void MainWindow::mF_Click(int index) {
  switch (index) {
    case 0:
      OpenChart();
      break;
    case 1:
      ReloadChart();
      break;
    case 3:
      ShowLibrary();
      break;
    case 255:
      close();
      break;
    default:
      break;
  }
}

void MainWindow::mVie_Click(int index) {
  QAction* item = menu_item(QStringLiteral("mVie(%1)").arg(index));
  if (item == nullptr) return;
  // A triggered checkable item has already toggled its check.
  program_.ViewItems[static_cast<size_t>(index)] = item->isChecked();
  TitleView();
}

void MainWindow::mPi_Click(int index) {
  PlayEngine& engine = core_->engine;
  switch (index) {
    case 0:
      mVI_Click(10);
      break;
    case 2:
      PlayFile();
      break;
    case 3:
      engine.PauseFile();
      break;
    case 4:
      engine.StopFile(false);
      break;
    case 5:  // captioned "previous chart"
      PrevLoad();
      break;
    case 6:  // captioned "next chart"
      NextLoad(false);
      break;
    case 11:
      show();
      raise();
      break;
    case 12:
      control_panel().show();
      break;
    case 13:
      playlist_window().show();
      break;
    default:
      break;
  }
}

bool MainWindow::HandleKey(int key, Qt::KeyboardModifiers modifiers) {
  PlayEngine& engine = core_->engine;
  const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
  const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
  if (key >= Qt::Key_1 && key <= Qt::Key_3 && !keypad) {
    if (mods != Qt::AltModifier) return false;
    mZi_Click(key - Qt::Key_1);
    return true;
  }
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::AltModifier) {
    mVI_Click(10);
    return true;
  }
  if (keypad) {
    switch (key) {
      case Qt::Key_4:
        PrevLoad();
        return true;
      case Qt::Key_5:
        PlayFile();
        return true;
      case Qt::Key_6:
        NextLoad(false);
        return true;
      case Qt::Key_7:
        engine.RewFile();
        return true;
      case Qt::Key_9:
        engine.FFFile();
        return true;
      default:
        break;
    }
  }
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
      // One step of the control panel's zoom bar (which runs upside down).
      QScrollBar* bar = control_panel().ZoomBar();
      const int step = key == Qt::Key_Left ? 1 : -1;
      const int target = bar->value() + step;
      if (target >= bar->minimum() && target <= bar->maximum()) bar->setValue(target);
      return true;
    }
    case Qt::Key_Space:
      if (engine.Playing) {
        engine.PauseFile();
      } else {
        PlayFile();
      }
      return true;
    case Qt::Key_Period:
    case Qt::Key_V:
      engine.StopFile(false);
      return true;
    case Qt::Key_Z:
      PrevLoad();
      return true;
    case Qt::Key_X:
      PlayFile();
      return true;
    case Qt::Key_C:
      engine.PauseFile();
      return true;
    case Qt::Key_B:
      NextLoad(false);
      return true;
    default:
      return false;
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (HandleKey(event->key(), event->modifiers())) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::DropFiles(const QMimeData& mime) {
  const std::vector<std::string> files = DroppedFiles(mime);
  if (files.empty()) return;
  PlaylistWindow& list = playlist_window();
  list.playlist().ODD(files);
  list.Refresh();
}

int32_t MainWindow::bLoad(const std::string& file, bool list_load) {
  if (DdeControlled && file == current_file_) return 0;
  // A load lets pending events run near its end; a command arriving then must not start a
  // second load over the chart being built.
  if (loading_) return -1;
  // A path that is there but is no chart to read (a folder, FIFO, device, a huge or unreadable
  // file) is refused before anything changes: the playlist, the play and the loaded chart stay.
  if (RefuseChartFile(file)) return -1;
  PlaylistWindow& list = playlist_window();
  if (!list_load) {
    list.playlist().ReplaceWithChart(file);
    list.Refresh();
  }
  // Until the load has finished, a deferred play that fires waits (see PlayFile).
  loading_ = true;
  setWindowTitle(QStringLiteral("Loading..."));
  current_file_ = file;
  media_art_.clear();
  ++media_serial_;
  core_->engine.StopFile(false);
  Status(1005, "OPEN");

  ChartLoader loader(core_->chart, *this, core_->flags, &core_->resources, ChartLoadOptions());
  const int32_t result = loader.LoadBms(file, /*keep_resources=*/false);
  ApplyTitlePanelHeight();
  RemakeBackBuffer();
  // The new chart starts at 0; its time and status lines show it from now on, not from the play.
  core_->engine.ElapsedMs = 0.0;
  ShowChartNumbers();

  list.playlist().SetPlayedLength(core_->chart.TotalTimeMs);
  list.Refresh();
  control_panel().ApplyChartKeys(core_->chart.Header.SevenKeys);
  Status(1004, "STOP");
  loading_ = false;
  if (result == 0) RememberChart(file);
  MediaStateChanged();
  return result == kChartRefused ? -1 : result;
}

void MainWindow::RememberChart(const std::string& path) {
  // Another running player may have opened charts since: its entries stay, below this one.
  recent_charts_ = WithRecentChart(ReadRecentCharts(settings_), path);
  StoreRecentCharts();
}

void MainWindow::ClearRecentCharts() {
  recent_charts_.clear();
  StoreRecentCharts();
}

void MainWindow::StoreRecentCharts() {
  WriteRecentCharts(settings_, recent_charts_);
  std::string error;
  if (!settings_.Sync(&error)) std::cerr << "quillon: settings not saved: " << error << '\n';
  FillRecentMenu();
}

void MainWindow::FillRecentMenu() {
  // The old items go later: this may run inside one of their own triggered signals.
  for (QAction* old : menu_recent_->actions()) {
    menu_recent_->removeAction(old);
    old->deleteLater();
  }
  for (size_t i = 0; i < recent_charts_.size(); ++i) {
    // "&1" to "&9" and "1&0" as accelerators; an '&' in the path is shown as it is.
    const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
    const QString shown = QString::fromStdString(DisplayPath(recent_charts_[i]));
    QAction* item = menu_recent_->addAction(
        number + QLatin1Char(' ') + QString(shown).replace(QLatin1Char('&'), QStringLiteral("&&")));
    item->setObjectName(QStringLiteral("mRecent(%1)").arg(i));
    // The path is taken when the item is chosen: the list may have changed since.
    const std::string path = recent_charts_[i];
    // A chart that is gone stays listed: the load says "File not found" and the list keeps it,
    // for a removable drive or a network folder that comes back.
    connect(item, &QAction::triggered, this, [this, path] { bLoad(path, false); });
  }
  if (recent_charts_.empty()) {
    QAction* none = menu_recent_->addAction(Text(16));
    none->setObjectName(QStringLiteral("mRecentNone"));
    none->setEnabled(false);
  }
  menu_recent_->addSeparator();
  QAction* clear = menu_recent_->addAction(Text(15));
  clear->setObjectName(QStringLiteral("mRecentClear"));
  clear->setEnabled(!recent_charts_.empty());
  connect(clear, &QAction::triggered, this, [this] { ClearRecentCharts(); });
}

LoadOptions MainWindow::ChartLoadOptions() {
  // Read afresh, so a setting changed in the file or by the options dialog applies from this load.
  ReadExtendedCommands(settings_, program_);
  LoadOptions options;
  options.Extended = program_.ExtendedCommands;
  return options;
}

bool MainWindow::RefuseChartFile(const std::string& file) {
  int error = 0;
  const FileRefusal refusal = CheckUserFile(file, kChartFileCap, &error);
  // A missing file goes on to the load, which resets the chart and says so.
  if (refusal == FileRefusal::None || refusal == FileRefusal::Missing) return false;
  ShowLoadLine(RefusalText(refusal, "chart", file, error));
  return true;
}

void MainWindow::PrevLoad() {
  if (DdeControlled) {
    Notify("PPREV");
    return;
  }
  PlaylistWindow& list = playlist_window();
  list.playlist().Previous();
  list.Refresh();
}

void MainWindow::NextLoad(bool /*always_play*/) {
  if (DdeControlled) {
    Notify("PNEXT");
    return;
  }
  PlaylistWindow& list = playlist_window();
  list.playlist().Next();
  list.Refresh();
}

void MainWindow::OpenChart() {
  const std::string filter =
      strings_.Get(1103) + '\0' + "*.bms" + '\0' + strings_.Get(1104) + '\0' + "*.*" + '\0';
  const std::string path = OpenFileDialog(this, filter, QDir::currentPath().toStdString());
  if (path.empty()) return;
  bLoad(path, false);
}

void MainWindow::ReloadChart() {
  if (loading_ || RefuseChartFile(current_file_)) return;
  loading_ = true;
  PlayEngine& engine = core_->engine;
  engine.HaltPlay();
  const std::string measure = engine.StartMeasure;
  Status(1005, "RELOAD");
  media_art_.clear();
  ChartLoader loader(core_->chart, *this, core_->flags, &core_->resources, ChartLoadOptions());
  loader.LoadBms(current_file_, /*keep_resources=*/false);
  ApplyTitlePanelHeight();
  RemakeBackBuffer();
  engine.StartMeasure = measure;
  engine.LocateMeasure(ReadWhole<int16_t>(measure).value_or(0));
  engine.StopFile(false);
  ShowChartNumbers();
  loading_ = false;
  MediaStateChanged();
}

void MainWindow::ShowChartNumbers() {
  PlayerCore& core = *core_;
  // The last play's frame rate belongs to that play.
  core.status.Fps = 0;
  core.status.FrameCount = 0;
  core.status.DrawStatusArea(core.engine, core.chart, core.flags);
  core.engine.StatusDirty = false;
}

void MainWindow::Status(const std::string& text, std::string_view icon) {
  status_text_ = text;
  status_icon_ = std::string(icon);
  core_->status.Status(text, ToolbarImage(icon));
}

void MainWindow::Status(int text_id, std::string_view icon) {
  Status(strings_.Get(text_id), icon);
}

void MainWindow::Changelang() {
  const auto set = [this](const QString& name, int id) {
    if (QAction* item = menu_item(name)) item->setText(QString::fromStdString(strings_.Get(id)));
  };
  menu_file_->setTitle(QString::fromStdString(strings_.Get(10)));
  set(QStringLiteral("mF(0)"), 11);
  set(QStringLiteral("mF(1)"), 12);
  set(QStringLiteral("mF(2)"), 14);
  set(QStringLiteral("mF(3)"), 2401);
  set(QStringLiteral("mF(255)"), 13);
  menu_view_->setTitle(QString::fromStdString(strings_.Get(20)));
  menu_items_sub_->setTitle(QString::fromStdString(strings_.Get(21)));
  set(QStringLiteral("mVi(10)"), 22);
  menu_zoom_->setTitle(QString::fromStdString(strings_.Get(23)));
  set(QStringLiteral("mVi(14)"), 24);
  set(QStringLiteral("mVi(20)"), 25);
  set(QStringLiteral("mVi(21)"), 26);
  for (int i = 0; i < 4; ++i)
    set(QStringLiteral("mVie(%1)").arg(i), 31 + i);
  core_->status.Texts.InterfaceFont = strings_.Get(0);
  core_->status.Texts.EmptyMark = strings_.Get(1000);
  core_->status.Texts.FullMark = strings_.Get(1001);
}

}  // namespace quillon
