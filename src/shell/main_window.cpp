#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QToolBar>

#include "chart/numbers.h"
#include "playback/sound_backend.h"
#include "playlist/playlist_window.h"
#include "resources/toolbar_icons.h"
#include "settings/recent_charts.h"
#include "shell/full_screen_window.h"
#include "shell/mpris_service.h"
#include "shell/picture_widgets.h"

namespace quillon {

// What each drawn frame does besides the notes: the frame-rate count and the status area.
class MainWindowFrameHooks : public FrameHooks {
 public:
  explicit MainWindowFrameHooks(MainWindow& window) : window_(window) {}
  void CountFrame() override {
    PlayerCore& core = window_.core();
    core.status.CountFrame(core.engine.ElapsedMs);
  }
  void DrawStatusArea() override {
    PlayerCore& core = window_.core();
    core.status.DrawStatusArea(core.engine, core.chart, core.flags);
    core.engine.StatusDirty = false;
  }

 private:
  MainWindow& window_;
};

namespace {

// The designed size of the window: a 256-pixel display with every bar shown.
constexpr int kDesignedWidth = 420;
constexpr int kDesignedHeight = 520;

}  // namespace

MainWindow::MainWindow(const MainWindowOptions& options)
    : options_(options),
      strings_(options.Language),
      settings_(options.SettingsPath.isEmpty() ? SettingsStore()
                                               : SettingsStore(options.SettingsPath)) {
  setObjectName(QStringLiteral("frmBMSPlayer"));
  setWindowTitle(QStringLiteral("Quillon"));
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);
  resize(kDesignedWidth, kDesignedHeight);

  core_ = std::make_unique<PlayerCore>(
      *this, *this, options_.UseSoundDevice ? MakeSdlBackend() : MakeNullBackend());
  frame_hooks_ = std::make_unique<MainWindowFrameHooks>(*this);
  core_->notes.Hooks = frame_hooks_.get();
  core_->notes.Sleep = [this](int32_t ms) { core_->clock.Sleep(ms); };
  core_->status.Refreshed = [this](StatusPicture picture) { RefreshStatusPicture(picture); };
  core_->status.DebugLog = [this](std::string_view text) {
    if (debug_logging_) WriteDebugLog(text);
  };
  core_->notes.Bga.DebugLog = core_->status.DebugLog;

  client_lines_ = new LinesWidget(this);
  client_ = client_lines_;
  client_lines_->on_drop = [this](const QMimeData& mime) { DropFiles(mime); };
  setCentralWidget(client_);
  BuildMenus();
  BuildToolbars();
  BuildPictures();

  timer1_ = new QTimer(this);
  timer1_->setInterval(100);
  connect(timer1_, &QTimer::timeout, this, [this] { TitleTimerTick(); });
  tick_timer_ = new QTimer(this);
  tick_timer_->setTimerType(Qt::PreciseTimer);
  tick_timer_->setInterval(1);
  connect(tick_timer_, &QTimer::timeout, this, [this] { core_->engine.TickTimerProc(); });
  gauge_timer_ = new QTimer(this);
  gauge_timer_->setTimerType(Qt::PreciseTimer);
  gauge_timer_->setInterval(1);
  connect(gauge_timer_, &QTimer::timeout, this, [this] {
    SteadyTickClock clock;
    core_->status.GaugeTimerProc(clock.Now());
    // An idle gauge costs a repaint a millisecond: it rests until the next sound.
    if (core_->status.GaugeAtRest() && !core_->engine.Playing) gauge_timer_->stop();
  });
  movie_timer_ = new QTimer(this);
  movie_timer_->setInterval(50);
  connect(movie_timer_, &QTimer::timeout, this, [this] {
    // Drawn while the timer still runs, so that the drawing does not arm it again.
    const bool playing = core_->engine.Playing;
    if (!playing && !closing_) DrawFrame();
    if (playing || --movie_redraws_ <= 0) movie_timer_->stop();
  });
  end_timer_ = new QTimer(this);
  end_timer_->setSingleShot(true);
  end_timer_->setInterval(1);
  connect(end_timer_, &QTimer::timeout, this, [this] { core_->engine.OnEndTimer(); });
  play_file_timer_ = new QTimer(this);
  play_file_timer_->setSingleShot(true);
  play_file_timer_->setInterval(1);
  connect(play_file_timer_, &QTimer::timeout, this, [this] { OnPlayFileTimer(); });
}

MainWindow::~MainWindow() {
  timer1_->stop();
  tick_timer_->stop();
  gauge_timer_->stop();
  end_timer_->stop();
  play_file_timer_->stop();
  core_->engine.StopRequest = true;
  core_->engine.Closing = true;
  // The windows that hold references into the player go before it.
  delete debug_.data();
  delete options_dialog_.data();
  if (property_ != nullptr) property_->AllowFinalClose();
  delete property_;
  delete panel_.data();
  delete playlist_;
  delete library_;
  delete fsc_;
}

QAction* MainWindow::AddMenuItem(QMenu* menu, const QString& name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  menu_items_[name] = action;
  return action;
}

void MainWindow::BuildMenus() {
  // Captions from the string table; Changelang sets them again at start-up.
  menu_file_ = menuBar()->addMenu(Text(10));
  connect(AddMenuItem(menu_file_, QStringLiteral("mF(0)"), Text(11)), &QAction::triggered, this,
          [this] { mF_Click(0); });
  connect(AddMenuItem(menu_file_, QStringLiteral("mF(1)"), Text(12)), &QAction::triggered, this,
          [this] { mF_Click(1); });
  menu_recent_ = menu_file_->addMenu(Text(14));
  menu_recent_->setObjectName(QStringLiteral("mnuRecent"));
  menu_items_[QStringLiteral("mF(2)")] = menu_recent_->menuAction();
  recent_charts_ = ReadRecentCharts(settings_);
  FillRecentMenu();
  connect(AddMenuItem(menu_file_, QStringLiteral("mF(3)"), Text(2401)), &QAction::triggered, this,
          [this] { mF_Click(3); });
  menu_file_->addSeparator();
  connect(AddMenuItem(menu_file_, QStringLiteral("mF(255)"), Text(13)), &QAction::triggered, this,
          [this] { mF_Click(255); });

  menu_view_ = menuBar()->addMenu(Text(20));
  menu_items_sub_ = menu_view_->addMenu(Text(21));
  menu_items_[QStringLiteral("mVi(0)")] = menu_items_sub_->menuAction();
  for (int i = 0; i < 4; ++i) {
    QAction* item = AddMenuItem(menu_items_sub_, QStringLiteral("mVie(%1)").arg(i), Text(31 + i));
    item->setCheckable(true);
    item->setChecked(true);
    connect(item, &QAction::triggered, this, [this, i] { mVie_Click(i); });
  }
  menu_view_->addSeparator();
  QAction* full = AddMenuItem(menu_view_, QStringLiteral("mVi(10)"), Text(22));
  full->setCheckable(true);
  connect(full, &QAction::triggered, this, [this] { mVI_Click(10); });
  menu_zoom_ = menu_view_->addMenu(Text(23));
  menu_items_[QStringLiteral("mVi(11)")] = menu_zoom_->menuAction();
  const std::array<QString, 3> zooms = {QStringLiteral("50%(&5)\tAlt+1"),
                                        QStringLiteral("100%(&1)\tAlt+2"),
                                        QStringLiteral("200%(&2)\tAlt+3")};
  for (int i = 0; i < 3; ++i) {
    connect(
        AddMenuItem(menu_zoom_, QStringLiteral("mZi(%1)").arg(i), zooms[static_cast<size_t>(i)]),
        &QAction::triggered, this, [this, i] { mZi_Click(i); });
  }
  menu_view_->addSeparator();
  connect(AddMenuItem(menu_view_, QStringLiteral("mVi(14)"), Text(24)), &QAction::triggered, this,
          [this] { mVI_Click(14); });
  menu_view_->addSeparator();
  QAction* on_top = AddMenuItem(menu_view_, QStringLiteral("mVi(20)"), Text(25));
  on_top->setCheckable(true);
  connect(on_top, &QAction::triggered, this, [this] { mVI_Click(20); });
  connect(AddMenuItem(menu_view_, QStringLiteral("mVi(21)"), Text(26)), &QAction::triggered, this,
          [this] { mVI_Click(21); });

  // The full-screen window's popup (never shown in the menu bar).
  popup_ = new QMenu(QStringLiteral("Popup"), this);
  // Item k's caption is string 600 + k.
  for (const int index : {0, 2, 3, 4, 5, 6, 11, 12, 13}) {
    if (index == 2 || index == 11) popup_->addSeparator();
    connect(AddMenuItem(popup_, QStringLiteral("mPi(%1)").arg(index), Text(600 + index)),
            &QAction::triggered, this, [this, index] { mPi_Click(index); });
  }
}

QAction* MainWindow::AddButton(QToolBar* bar, const QString& key, const QString& tooltip,
                               bool check) {
  QAction* action = bar->addAction(key);
  action->setObjectName(key);
  action->setToolTip(tooltip);
  action->setCheckable(check);
  const QImage icon = ToolbarImage(key == QStringLiteral("CPANEL") ? "CP" : key.toStdString());
  if (!icon.isNull()) {
    action->setIcon(QIcon(QPixmap::fromImage(icon)));
  } else {
    action->setText(key == QStringLiteral("BMPOUT") ? QStringLiteral("BMP")
                                                    : QStringLiteral("DBG"));
  }
  buttons_[key] = action;
  connect(action, &QAction::triggered, this, [this, key] { Dispatch(key); });
  return action;
}

void MainWindow::BuildToolbars() {
  const auto make_bar = [this](const QString& name) {
    auto* bar = new QToolBar(name, client_);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setFocusPolicy(Qt::NoFocus);
    return bar;
  };
  tlb_system_ = make_bar(QStringLiteral("tlbSystem"));
  tlb_system_->addSeparator();
  AddButton(tlb_system_, QStringLiteral("OPEN"), Text(700), false);
  AddButton(tlb_system_, QStringLiteral("RELOAD"), Text(701), false);
  tlb_system_->addSeparator();
  AddButton(tlb_system_, QStringLiteral("OPTION"), Text(702), false);
  tlb_system_->addSeparator();
  AddButton(tlb_system_, QStringLiteral("PLAYLIST"), Text(703), true);
  AddButton(tlb_system_, QStringLiteral("PROP"), Text(704), true);
  AddButton(tlb_system_, QStringLiteral("CPANEL"), Text(705), true);
  AddButton(tlb_system_, QStringLiteral("OBJ"), Text(706), true);
  AddButton(tlb_system_, QStringLiteral("BGA"), Text(707), true);
  AddButton(tlb_system_, QStringLiteral("POLY"), Text(708), true);
  tlb_system_->addSeparator();
  AddButton(tlb_system_, QStringLiteral("DEBUG"), QStringLiteral("Debug Window"), false);

  tlb_tool_ = make_bar(QStringLiteral("tlbTool"));
  tlb_tool_->addSeparator();
  AddButton(tlb_tool_, QStringLiteral("PLAY"), Text(709), true);
  AddButton(tlb_tool_, QStringLiteral("PAUSE"), Text(710), true);
  AddButton(tlb_tool_, QStringLiteral("STOP"), Text(711), true);
  tlb_tool_->addSeparator();
  AddButton(tlb_tool_, QStringLiteral("PREV"), Text(712), false);
  AddButton(tlb_tool_, QStringLiteral("REW"), Text(713), false);
  AddButton(tlb_tool_, QStringLiteral("FF"), Text(714), false);
  AddButton(tlb_tool_, QStringLiteral("NEXT"), Text(715), false);
  tlb_tool_->addSeparator();
  AddButton(tlb_tool_, QStringLiteral("REP1"), Text(716), true);
  AddButton(tlb_tool_, QStringLiteral("REPA"), Text(717), true);
  tlb_tool_->addSeparator();
  AddButton(tlb_tool_, QStringLiteral("BMPOUT"), QStringLiteral("Bitmap Output"), false);

  // The element buttons start as the display switches are.
  buttons_.at(QStringLiteral("OBJ"))->setChecked(core_->flags[Element::Objects]);
  buttons_.at(QStringLiteral("BGA"))->setChecked(core_->flags[Element::Bga]);
  buttons_.at(QStringLiteral("POLY"))->setChecked(core_->flags[Element::PolyGauge]);
  buttons_.at(QStringLiteral("STOP"))->setChecked(true);
  buttons_.at(QStringLiteral("PAUSE"))->setEnabled(false);
}

void MainWindow::BuildPictures() {
  const auto make_picture = [this](QWidget* parent, const QString& name) {
    auto* picture = new PictureWidget(parent);
    picture->setObjectName(name);
    picture->setFocusPolicy(Qt::NoFocus);
    return picture;
  };
  picture1_ = make_picture(client_, QStringLiteral("Picture1"));
  picture1_->SetImage(&disp_image_);
  picture1_->on_drop = [this](const QMimeData& mime) { DropFiles(mime); };

  pic_cur_pos_ = make_picture(client_, QStringLiteral("picCurPos"));
  pic_cur_pos_->setFixedHeight(10);
  pic_cur_pos_->SetImage(&core_->status.PicCurPos);
  pic_cur_pos_->setMouseTracking(true);
  pic_cur_pos_->on_mouse_press = [this](QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    drag_measure_ = -1;
    DragSeek(event->position().x());
  };
  pic_cur_pos_->on_mouse_move = [this](QMouseEvent* event) {
    const double x = event->position().x();
    pic_cur_pos_->setToolTip(Text(1100).arg(MeasureUnderPointer(x)));
    // Moving with the left button held seeks too.
    if (event->buttons() & Qt::LeftButton) DragSeek(x);
  };

  pic_base_disp_ = new LinesWidget(client_);
  pic_base_disp_->setObjectName(QStringLiteral("picBaseDisp"));
  pic_base_disp_->on_drop = [this](const QMimeData& mime) { DropFiles(mime); };
  pic_pol_graph_ = make_picture(pic_base_disp_, QStringLiteral("picPolGraph"));
  pic_pol_graph_->SetImage(&core_->status.PicPolGraph);
  for (size_t i = 0; i < 2; ++i) {
    pic_time_disp_[i] = make_picture(pic_base_disp_, QStringLiteral("picTimeDisp(%1)").arg(i));
    pic_time_disp_[i]->SetImage(&core_->status.PicTimeDisp[i]);
    pic_time_disp_[i]->on_drop = [this](const QMimeData& mime) { DropFiles(mime); };
  }
  pic_display_ = make_picture(pic_base_disp_, QStringLiteral("picDisplay"));
  pic_display_->SetImage(&core_->status.PicDisplay);
  pic_display_->on_drop = [this](const QMimeData& mime) { DropFiles(mime); };
  pic_status_ = make_picture(pic_base_disp_, QStringLiteral("picStatus"));
  pic_status_->SetImage(&core_->status.PicStatus);

  // Designed sizes; the layout fixes the rest.
  pic_pol_graph_->resize(80, 15);
  pic_time_disp_[1]->resize(240, 15);
  pic_time_disp_[0]->resize(160, 16);
  pic_status_->resize(kDesignedWidth, 20);
  pic_base_disp_->resize(kDesignedWidth, 100);
}

int64_t MainWindow::MeasureUnderPointer(double x) const {
  return core_->engine.MeasureAt(x, pic_cur_pos_->width());
}

void MainWindow::DragSeek(double x) {
  const int64_t measure = MeasureUnderPointer(x);
  // A move within the measure just sought would only restart it.
  if (measure == drag_measure_) {
    pending_drag_.reset();
    return;
  }
  // At most one seek per drawn frame; the latest position waits for the next frame.
  if (drag_measure_ >= 0 && frames_drawn_ == seek_frame_) {
    pending_drag_ = x;
    return;
  }
  pending_drag_.reset();
  drag_measure_ = measure;
  seek_frame_ = frames_drawn_;
  core_->engine.CPosChange(x, 0, pic_cur_pos_->width());
}

bool MainWindow::GaugeTimerRunning() const {
  return gauge_timer_->isActive();
}

QAction* MainWindow::button(const QString& key) const {
  const auto it = buttons_.find(key);
  return it == buttons_.end() ? nullptr : it->second;
}

QAction* MainWindow::menu_item(const QString& name) const {
  const auto it = menu_items_.find(name);
  return it == menu_items_.end() ? nullptr : it->second;
}

QWidget* MainWindow::title_panel() const {
  return pic_base_disp_;
}

PictureWidget* MainWindow::picture(const QString& name) const {
  for (PictureWidget* p : {picture1_, pic_cur_pos_, pic_pol_graph_, pic_time_disp_[0],
                           pic_time_disp_[1], pic_display_, pic_status_}) {
    if (p->objectName() == name) return p;
  }
  return nullptr;
}

PlaylistWindow& MainWindow::playlist_window() {
  if (playlist_ == nullptr) {
    playlist_ = new PlaylistWindow(*this, strings_.language() == UiLanguage::Japanese);
  }
  return *playlist_;
}

LibraryWindow& MainWindow::library_window() {
  if (library_ == nullptr) {
    library_ = new LibraryWindow(*this, settings_, LibraryDatabasePath(options_.DataFolder),
                                 strings_.language());
  }
  return *library_;
}

PropertyDialog& MainWindow::property_dialog() {
  if (property_ == nullptr) property_ = new PropertyDialog(*this, this, strings_.language());
  return *property_;
}

ControlPanel& MainWindow::control_panel() {
  if (panel_.isNull()) {
    panel_ = new ControlPanel(*this, core_->flags, settings_, strings_, this);
    // A panel made again holds the loaded chart's tempo items.
    if (!tempo_items_.empty())
      panel_->FillTempoBox(tempo_items_, tempo_bpm_, core_->chart.Extended);
    if (!core_->chart.ObjectTable.empty()) panel_->ApplyChartKeys(core_->chart.Header.SevenKeys);
  }
  return *panel_;
}

void MainWindow::MessageBox(const QString& title, const QString& text, bool information) {
  messages_.push_back(title.toStdString() + ": " + text.toStdString());
  if (!options_.ShowMessageBoxes) return;
  QWidget* parent = isVisible() ? this : nullptr;
  if (information) {
    QMessageBox::information(parent, title, text);
  } else {
    QMessageBox::warning(parent, title, text);
  }
}

}  // namespace quillon
