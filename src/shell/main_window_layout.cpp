// The main window's layout: the bars stacked from top to bottom, the view items, zoom, full screen
// and the minimised state.
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QMenuBar>
#include <QPalette>
#include <QScreen>
#include <QToolBar>
#include <QWindowStateChangeEvent>

#include "chart/numbers.h"
#include "shell/full_screen_window.h"
#include "shell/main_window.h"
#include "shell/picture_widgets.h"

namespace quillon {

namespace {

QSize AtLeastOne(QSize size) {
  return {std::max(size.width(), 1), std::max(size.height(), 1)};
}

}  // namespace

PictureWidget* MainWindow::DispPic() const {
  return full_screen_on_ ? static_cast<PictureWidget*>(fsc_) : picture1_;
}

MainWindow::BarHeights MainWindow::ComputeBarHeights() {
  BarHeights h;
  if (!tlb_system_->isHidden()) h.Sys = tlb_system_->sizeHint().height() + 4;
  if (!pic_cur_pos_->isHidden()) h.Pos = pic_cur_pos_->height();
  if (!tlb_tool_->isHidden()) h.Tool = tlb_tool_->sizeHint().height();
  if (!pic_base_disp_->isHidden()) h.Base = pic_base_disp_->height();
  return h;
}

void MainWindow::ResizeForm() {
  if (isMinimized()) {
    minimized_ = true;
    core_->engine.Minimized = true;
    return;
  }
  minimized_ = false;
  core_->engine.Minimized = false;

  const BarHeights bars = ComputeBarHeights();
  const int w = client_->width();
  const int h = client_->height();
  if (!tlb_system_->isHidden()) tlb_system_->setGeometry(0, 0, w, bars.Sys - 4);

  std::vector<LinesWidget::Line> lines;
  if (bars.Sys > 0) {
    const QPalette& palette = client_->palette();
    lines.push_back({QLine(0, bars.Sys - 4, w, bars.Sys - 4), palette.color(QPalette::Dark)});
    lines.push_back({QLine(0, bars.Sys - 3, w, bars.Sys - 3), palette.color(QPalette::Light)});
  }
  client_lines_->SetLines(std::move(lines));

  if (!full_screen_on_ && !zoom_resizing_) {
    const int display_h = h - (bars.Base + bars.Sys + bars.Pos + bars.Tool);
    if (display_h < 0 || w < 0) {
      picture1_->hide();
    } else {
      picture1_->setGeometry(0, bars.Sys, w, display_h);
      picture1_->show();
    }
  }
  display_width_ = DispPic()->width();
  display_height_ = DispPic()->height();

  if (!pic_base_disp_->isHidden()) {
    pic_base_disp_->setGeometry(0, h - pic_base_disp_->height(), w, pic_base_disp_->height());
    LayoutTitlePanel();
  }
  if (!tlb_tool_->isHidden()) tlb_tool_->setGeometry(0, h - bars.Base - bars.Tool, w, bars.Tool);
  if (!pic_cur_pos_->isHidden()) {
    pic_cur_pos_->setGeometry(0, h - bars.Base - bars.Tool - bars.Pos, w, bars.Pos);
  }

  // The status pictures follow their controls' sizes; a changed size remakes and redraws them.
  StatusDisplay& status = core_->status;
  StatusPictureSizes sizes;
  sizes.Status = AtLeastOne(pic_status_->size());
  sizes.PositionBar = AtLeastOne(QSize(w, pic_cur_pos_->height()));
  sizes.TimeLine = AtLeastOne(pic_time_disp_[0]->size());
  sizes.StatusLine = AtLeastOne(pic_time_disp_[1]->size());
  sizes.Gauge = AtLeastOne(pic_pol_graph_->size());
  sizes.Title = AtLeastOne(pic_display_->size());
  if (sizes.Status != status.PicStatus.size() || sizes.TimeLine != status.PicTimeDisp[0].size() ||
      sizes.StatusLine != status.PicTimeDisp[1].size() ||
      sizes.Gauge != status.PicPolGraph.size() || sizes.Title != status.PicDisplay.size() ||
      sizes.PositionBar != status.PicCurPos.size()) {
    status.Resize(sizes);
    status.Status(status_text_, QImage());
    if (!status_icon_.empty()) Status(status_text_, status_icon_);
    if (started_) {
      title_needed_ = status.DrawTitleInfo(core_->chart.Header);
      status.DrawStatusArea(core_->engine, core_->chart, core_->flags);
    }
    for (PictureWidget* p :
         {pic_status_, pic_time_disp_[0], pic_time_disp_[1], pic_pol_graph_, pic_display_}) {
      p->update();
    }
  }
  // The position bar's two looks are made again only when the width changed.
  if (w != last_layout_width_) {
    status.MakePositionBarPictures(sizes.PositionBar.width(), sizes.PositionBar.height());
    status.DrawPositionBar(core_->engine.PlayPosition, core_->chart.EndPosition,
                           core_->engine.Playing);
    pic_cur_pos_->update();
  }

  RemakeBackBuffer();
  last_layout_width_ = w;
  // The title view drawn at the new width may need the panel higher or lower: one more pass.
  if (!refitting_ && !pic_base_disp_->isHidden() && title_needed_ > 0 &&
      title_needed_ != pic_base_disp_->height()) {
    refitting_ = true;
    FitTitlePanel(title_needed_);
    refitting_ = false;
  }
}

void MainWindow::FitTitlePanel(int needed) {
  title_needed_ = needed;
  // A load draws the title early; the window is laid out again once the chart is complete.
  if (!loading_) ApplyTitlePanelHeight();
}

void MainWindow::ApplyTitlePanelHeight() {
  if (title_needed_ <= 0 || title_needed_ == pic_base_disp_->height()) return;
  pic_base_disp_->resize(pic_base_disp_->width(), title_needed_);
  ResizeForm();
}

void MainWindow::LayoutTitlePanel() {
  const QFontMetrics metrics(QFont(QString::fromStdString(strings_.Get(0)), 9));
  const int text_h = metrics.height();
  pic_pol_graph_->setGeometry(0, 0, pic_pol_graph_->width(), text_h);
  pic_time_disp_[1]->setGeometry(pic_pol_graph_->width() + 2, 0, pic_time_disp_[1]->width(),
                                 text_h);
  const int panel_w = pic_base_disp_->width();
  const int panel_h = pic_base_disp_->height();
  const int status_h = pic_status_->height();
  pic_status_->setGeometry(0, panel_h - status_h, panel_w, status_h);
  const int pol_h = pic_pol_graph_->height();
  const QColor grey(128, 128, 128);
  pic_base_disp_->SetLines({
      {QLine(0, pic_status_->y() - 1, panel_w, pic_status_->y() - 1), grey},
      {QLine(0, pol_h, panel_w, pol_h), grey},
      {QLine(pic_pol_graph_->width() + 1, 0, pic_pol_graph_->width() + 1, pol_h), grey},
  });
  pic_display_->setGeometry(0, pol_h + 1, panel_w, panel_h - (pol_h + 2) - status_h - 1);
  PictureWidget* time_line = pic_time_disp_[0];
  time_line->resize(core_->status.TimeLineWidth(), time_line->height());
  if (0.8 * pic_status_->width() < time_line->width()) {
    time_line->hide();
  } else {
    // At the right end of the status picture, over it.
    time_line->move(pic_status_->width() - time_line->width(),
                    pic_status_->y() + (status_h - time_line->height()) / 2);
    time_line->raise();
    time_line->show();
  }
}

void MainWindow::RemakeBackBuffer() {
  const int32_t w = std::max(display_width_, 1);
  const int32_t h = std::max(display_height_, 1);
  PlayerCore& core = *core_;
  ResourceLoader& res = core.resources;
  if (const QImage* sprite = core.surfaces.Image(res.SpriteDc);
      sprite == nullptr || sprite->width() != w || sprite->height() != h) {
    core.surfaces.FreeSurface(res.SpriteDc, res.SpriteBitmap);
    core.surfaces.DisplayWidth = w;
    core.surfaces.DisplayHeight = h;
    core.surfaces.CreateSurface(res.SpriteDc, res.SpriteBitmap, w, h, 0, "SpriteDC");
  }
  core.notes.DisplayWidth = w;
  core.notes.DisplayHeight = h;
  if (disp_image_.size() != QSize(w, h)) {
    disp_image_ = QImage(w, h, QImage::Format_RGB32);
    disp_image_.fill(Qt::black);
    // A still chart is drawn again at its start measure; a playing one at the next frame.
    if (started_ && !core.engine.Playing && !core.chart.ObjectTable.empty()) {
      core.notes.LastDrawnPosition = -1.0;
      core.engine.LocateMeasure(ReadWhole<int16_t>(core.engine.StartMeasure).value_or(0));
    }
  }
  load_log_target_.Image = &disp_image_;
  ShowDisplay();
}

void MainWindow::ShowDisplay() {
  DispPic()->update();
}

void MainWindow::RefreshStatusPicture(StatusPicture picture) {
  switch (picture) {
    case StatusPicture::Status:
      pic_status_->update();
      break;
    case StatusPicture::PositionBar:
      pic_cur_pos_->update();
      break;
    case StatusPicture::TimeLine:
      pic_time_disp_[0]->update();
      break;
    case StatusPicture::StatusLine:
      pic_time_disp_[1]->update();
      break;
    case StatusPicture::Gauge:
      pic_pol_graph_->update();
      break;
    case StatusPicture::Title:
      pic_display_->update();
      break;
  }
}

void MainWindow::TitleView() {
  tlb_system_->setVisible(program_.ViewItems[0]);
  pic_cur_pos_->setVisible(program_.ViewItems[1]);
  tlb_tool_->setVisible(program_.ViewItems[2]);
  pic_base_disp_->setVisible(program_.ViewItems[3]);
  for (int i = 0; i < 4; ++i) {
    if (QAction* item = menu_item(QStringLiteral("mVie(%1)").arg(i))) {
      item->setChecked(program_.ViewItems[static_cast<size_t>(i)]);
    }
  }
  ResizeForm();
}

void MainWindow::mZi_Click(int index) {
  if (index < 0 || index > 2) return;
  const int size = 128 << index;
  // The title panel may change its height at the new width: the window is sized again then.
  for (int pass = 0; pass < 2; ++pass) {
    const BarHeights bars = ComputeBarHeights();
    picture1_->setGeometry(0, bars.Sys, size, size);
    // The inner area just holds the square display and the bars; the menu bar sits above it.
    const int inner_h = bars.Base + bars.Sys + bars.Pos + bars.Tool + size;
    zoom_resizing_ = true;
    setWindowState(Qt::WindowNoState);
    resize(size, inner_h + (menuBar()->isHidden() ? 0 : menuBar()->height()));
    zoom_resizing_ = false;
    ResizeForm();
    if (ComputeBarHeights().Base == bars.Base) break;
  }
}

void MainWindow::mVI_Click(int index) {
  switch (index) {
    case 10:
      FullScreen(!full_screen_on_);
      break;
    case 14:
      // Statistics: the property dialog on its score tab.
      property_dialog().SelectTab(3);
      button(QStringLiteral("PROP"))->setChecked(true);
      ShowProperties(true);
      break;
    case 20: {
      // Always on top: the window stays above the others while the item is checked.
      QAction* item = menu_item(QStringLiteral("mVi(20)"));
      const bool on = item != nullptr && item->isChecked();
      const bool was_visible = isVisible();
      setWindowFlag(Qt::WindowStaysOnTopHint, on);
      if (was_visible) show();
      break;
    }
    case 21:
      ShowOptions();
      break;
    default:
      break;
  }
}

void MainWindow::FullScreen(bool on) {
  QAction* item = menu_item(QStringLiteral("mVi(10)"));
  if (on) {
    full_screen_on_ = true;
    if (item != nullptr) item->setChecked(true);
    const QRect screen =
        (this->screen() != nullptr ? this->screen() : QApplication::primaryScreen())->geometry();
    fsc_->setGeometry(screen);
    fsc_->show();
    fsc_->raise();
    fsc_->activateWindow();
    hide();
    picture1_->hide();
    core_->notes.FullScreenOn = true;
  } else {
    full_screen_on_ = false;
    if (item != nullptr) item->setChecked(false);
    fsc_->hide();
    show();
    picture1_->show();
    core_->notes.FullScreenOn = false;
  }
  ResizeForm();
  ShowStillPicture();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (started_ || isVisible()) ResizeForm();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (full_screen_on_) fsc_->setVisible(!isMinimized());
  ResizeForm();
}

}  // namespace quillon
