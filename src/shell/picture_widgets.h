// The picture controls of the main window: each shows a QImage that the drawing code owns and
// hands mouse clicks and dropped files back to the window through callbacks.
//
// Threads: UI thread only.
#pragma once

#include <QColor>
#include <QLine>
#include <QWidget>
#include <functional>
#include <vector>

class QMimeData;

namespace quillon {

// A picture box: paints `image` (not owned) at its top-left corner over black.
class PictureWidget : public QWidget {
 public:
  explicit PictureWidget(QWidget* parent = nullptr);

  // The picture shown; nullptr shows black. The widget repaints on Show.
  void SetImage(const QImage* image);
  const QImage* image() const { return image_; }
  // Repaints now (the play loop draws frames faster than posted updates would show them).
  void Show();

  // Files dropped on the picture (text/uri-list).
  std::function<void(const QMimeData&)> on_drop;
  std::function<void(QMouseEvent*)> on_mouse_press;
  std::function<void(QMouseEvent*)> on_mouse_move;
  std::function<void(QMouseEvent*)> on_double_click;
  std::function<void()> on_resize;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  const QImage* image_ = nullptr;
};

// A plain area with straight lines drawn on it: the window's inner area (the two lines under the
// system toolbar) and the title panel (its three grey lines).
class LinesWidget : public QWidget {
 public:
  struct Line {
    QLine Where;
    QColor Colour;
  };
  explicit LinesWidget(QWidget* parent = nullptr);
  void SetLines(std::vector<Line> lines);
  const std::vector<Line>& lines() const { return lines_; }

  std::function<void(const QMimeData&)> on_drop;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  std::vector<Line> lines_;
};

}  // namespace quillon
