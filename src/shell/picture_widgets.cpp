#include "shell/picture_widgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace quillon {

PictureWidget::PictureWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAcceptDrops(true);
}

void PictureWidget::SetImage(const QImage* image) {
  image_ = image;
  update();
}

void PictureWidget::Show() {
  if (isVisible()) repaint();
}

void PictureWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (image_ != nullptr && !image_->isNull()) painter.drawImage(0, 0, *image_);
}

void PictureWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (on_resize) on_resize();
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
  if (on_mouse_press) on_mouse_press(event);
}

void PictureWidget::mouseMoveEvent(QMouseEvent* event) {
  if (on_mouse_move) on_mouse_move(event);
}

void PictureWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (on_double_click) on_double_click(event);
}

void PictureWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (on_drop && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PictureWidget::dragMoveEvent(QDragMoveEvent* event) {
  if (on_drop && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PictureWidget::dropEvent(QDropEvent* event) {
  if (!on_drop) return;
  event->acceptProposedAction();
  on_drop(*event->mimeData());
}

LinesWidget::LinesWidget(QWidget* parent) : QWidget(parent) {
  setAcceptDrops(true);
}

void LinesWidget::SetLines(std::vector<Line> lines) {
  lines_ = std::move(lines);
  update();
}

void LinesWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  for (const Line& line : lines_) {
    painter.setPen(line.Colour);
    painter.drawLine(line.Where);
  }
}

void LinesWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (on_drop && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void LinesWidget::dropEvent(QDropEvent* event) {
  if (!on_drop) return;
  event->acceptProposedAction();
  on_drop(*event->mimeData());
}

}  // namespace quillon
