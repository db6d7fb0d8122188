#include "shell/full_screen_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace quillon {

FullScreenWindow::FullScreenWindow(QMenu* popup) : PictureWidget(nullptr), popup_(popup) {
  setObjectName(QStringLiteral("frmFSC"));
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setWindowTitle(QStringLiteral("Quillon"));
  setFocusPolicy(Qt::StrongFocus);
}

void FullScreenWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && popup_ != nullptr) {
    popup_->popup(event->globalPosition().toPoint());
    return;
  }
  PictureWidget::mousePressEvent(event);
}

void FullScreenWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && on_leave) on_leave();
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && on_leave) {
    on_leave();
    return;
  }
  if (on_key && on_key(event->key(), event->modifiers())) return;
  PictureWidget::keyPressEvent(event);
}

void FullScreenWindow::closeEvent(QCloseEvent* event) {
  // Closing the full-screen window by the window manager ends full screen instead.
  event->ignore();
  if (on_leave) on_leave();
}

}  // namespace quillon
