// One frame of an exported video: the play display as a square of the frame's shorter side (at
// the left of a wide frame, at the top of a tall one), and in the rest the chart's genre, title
// and artist lines and the time line, drawn as text at sizes that follow the frame's size.
//
// Threads: one thread; text drawing needs the QGuiApplication.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <string>

#include "chart/model.h"

namespace quillon {

struct VideoFrameLayout {
  QRect Display;  // the play display's square
  QRect Text;     // the text panel (empty for a square frame)
};

// The layout of a `width` x `height` frame.
VideoFrameLayout LayOutVideoFrame(int width, int height);

class VideoFrame {
 public:
  // A black frame of that size with `header`'s lines drawn in `font_family`.
  VideoFrame(int width, int height, const BmsHeader& header,
             const std::string& font_family = "Arial");

  const VideoFrameLayout& Layout() const { return layout_; }
  // Copies the display picture (its top-left Display.size() part; a smaller one is centred on
  // black) into the square and draws `time_line` at the panel's foot when it changed.
  const QImage& Compose(const QImage& display, const std::string& time_line);
  // The frame as last composed.
  const QImage& Current() const { return frame_; }

 private:
  QFont Font(double pixels) const;
  // One line of `text` in `colour` with its top at `y`, cut short with "…" to the panel's width;
  // returns the next line's top.
  int Line(QPainter& painter, const QString& text, double pixels, QRgb colour, int y);

  VideoFrameLayout layout_;
  QImage frame_;
  QString family_;
  std::string time_line_;
  QRect time_area_;
  double unit_ = 1.0;  // the text sizes' scale: the square's side
  int margin_ = 0;
};

}  // namespace quillon
