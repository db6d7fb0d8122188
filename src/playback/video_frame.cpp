#include "playback/video_frame.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "playback/title_text.h"

namespace quillon {
namespace {

// Text sizes in pixels per pixel of the square's side: at 1080 pixels the title is 60 pixels
// high, the genre 38, the artist and the time line 45; the margins are 36.
constexpr double kGenreSize = 1.0 / 28;
constexpr double kTitleSize = 1.0 / 18;
constexpr double kArtistSize = 1.0 / 24;
constexpr double kTimeSize = 1.0 / 24;
constexpr double kMargin = 1.0 / 30;

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kGrey = qRgb(160, 160, 160);

}  // namespace

VideoFrameLayout LayOutVideoFrame(int width, int height) {
  VideoFrameLayout layout;
  const int side = std::min(width, height);
  layout.Display = QRect(0, 0, side, side);
  if (width > height) {
    layout.Text = QRect(side, 0, width - side, height);
  } else if (height > width) {
    layout.Text = QRect(0, side, width, height - side);
  }
  return layout;
}

VideoFrame::VideoFrame(int width, int height, const BmsHeader& header,
                       const std::string& font_family)
    : layout_(LayOutVideoFrame(width, height)),
      frame_(width, height, QImage::Format_RGB32),
      family_(QString::fromStdString(font_family)) {
  frame_.fill(qRgb(0, 0, 0));
  unit_ = layout_.Display.width();
  margin_ = static_cast<int>(unit_ * kMargin);
  if (layout_.Text.isEmpty()) return;
  QPainter painter(&frame_);
  if (!painter.isActive()) return;
  int y = layout_.Text.top() + margin_;
  // As the title view has them: the genre in double quotes, the title with its subtitle, the
  // artist; an empty line keeps its place.
  y = Line(painter, QStringLiteral("\"%1\"").arg(QString::fromStdString(header.Genre)),
           unit_ * kGenreSize, kGrey, y);
  y = Line(painter, QString::fromStdString(TitleWithSubtitle(header.Title, header.SubTitle)),
           unit_ * kTitleSize, kWhite, y);
  Line(painter, QString::fromStdString(header.Artist), unit_ * kArtistSize, kWhite, y);
  const QFontMetrics time_metrics(Font(unit_ * kTimeSize), &frame_);
  time_area_ = QRect(layout_.Text.left(), layout_.Text.bottom() - margin_ - time_metrics.height(),
                     layout_.Text.width(), time_metrics.height() + 1);
}

QFont VideoFrame::Font(double pixels) const {
  QFont font(family_);
  font.setPixelSize(std::max(1, static_cast<int>(pixels)));
  return font;
}

int VideoFrame::Line(QPainter& painter, const QString& text, double pixels, QRgb colour, int y) {
  const QFont font = Font(pixels);
  const QFontMetrics metrics(font, &frame_);
  const int width = layout_.Text.width() - 2 * margin_;
  if (!text.isEmpty() && width > 0) {
    painter.setFont(font);
    painter.setPen(QColor(colour));
    painter.drawText(layout_.Text.left() + margin_, y + metrics.ascent(),
                     metrics.elidedText(text, Qt::ElideRight, width));
  }
  return y + metrics.lineSpacing();
}

const QImage& VideoFrame::Compose(const QImage& display, const std::string& time_line) {
  const QRect square = layout_.Display;
  const QImage source =
      display.format() == QImage::Format_RGB32 || display.format() == QImage::Format_ARGB32
          ? display
          : display.convertToFormat(QImage::Format_RGB32);
  const int w = std::min(square.width(), source.width());
  const int h = std::min(square.height(), source.height());
  if (w < square.width() || h < square.height()) {
    // Never with a display of the square's size: the square is cleared around the picture.
    for (int y = 0; y < square.height(); ++y)
      std::memset(frame_.scanLine(y), 0, static_cast<size_t>(square.width()) * 4);
  }
  const int left = (square.width() - w) / 2;
  const int top = (square.height() - h) / 2;
  for (int y = 0; y < h; ++y) {
    std::memcpy(frame_.scanLine(top + y) + static_cast<size_t>(left) * 4, source.constScanLine(y),
                static_cast<size_t>(w) * 4);
  }
  if (time_line != time_line_ && !time_area_.isEmpty()) {
    time_line_ = time_line;
    QPainter painter(&frame_);
    if (painter.isActive()) {
      painter.fillRect(time_area_, QColor(0, 0, 0));
      Line(painter, QString::fromStdString(time_line), unit_ * kTimeSize, kWhite, time_area_.top());
    }
  }
  return frame_;
}

}  // namespace quillon
