// The full-screen window "frmFSC": the play display over the whole screen, with a popup menu on
// the right button and full screen off on a double click.
#pragma once

#include <functional>

#include "shell/picture_widgets.h"

class QMenu;

namespace quillon {

class FullScreenWindow : public PictureWidget {
 public:
  // `popup`: the menu a right button press opens (owned by the main window).
  explicit FullScreenWindow(QMenu* popup);

  // Double click (and Esc): full screen off.
  std::function<void()> on_leave;
  // Keys go to the main window's key handler; true when handled.
  std::function<bool(int key, Qt::KeyboardModifiers modifiers)> on_key;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QMenu* popup_;
};

}  // namespace quillon
