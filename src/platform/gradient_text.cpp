#include "platform/gradient_text.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/surface.h"

namespace quillon {
namespace {

constexpr int kPaceMs = 5;

// The text cut into code points, a surrogate pair staying one character.
std::vector<QString> Characters(const QString& text) {
  std::vector<QString> out;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype len =
        text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
    out.push_back(text.mid(i, len));
    i += len;
  }
  return out;
}

// The width of the characters as DrawGradientText places them, one advance after another.
int64_t PrintedWidth(const std::vector<QString>& chars, const QFont& font, const QImage& image) {
  const QFontMetrics metrics(font, &image);
  int64_t width = 0;
  for (const QString& c : chars)
    width += metrics.horizontalAdvance(c);
  return width;
}

// One point smaller (one pixel for a font sized in pixels); false at the smallest size.
bool Shrink(QFont& font) {
  const double points = font.pointSizeF();
  if (points > 0) {
    if (points <= 1) return false;
    font.setPointSizeF(std::max(1.0, points - 1));
    return true;
  }
  const int pixels = font.pixelSize();
  if (pixels <= 1) return false;
  font.setPixelSize(pixels - 1);
  return true;
}

int32_t Step(int32_t from, int32_t to, int k, int count) {
  const double v = std::nearbyint(from + static_cast<double>(k) * (to - from) / count);
  return v < 0 ? 0 : static_cast<int32_t>(v);
}

}  // namespace

std::vector<int32_t> GradientColours(int32_t from, int32_t to, int count) {
  std::vector<int32_t> out;
  if (count <= 0) return out;
  int32_t r0 = 0, g0 = 0, b0 = 0, r1 = 0, g1 = 0, b1 = 0;
  SplitRgb(from, r0, g0, b0);
  SplitRgb(to, r1, g1, b1);
  out.reserve(static_cast<size_t>(count));
  for (int k = 1; k <= count; ++k) {
    out.push_back(Step(r0, r1, k, count) + 256 * Step(g0, g1, k, count) +
                  65536 * Step(b0, b1, k, count));
  }
  return out;
}

void DrawGradientText(PrintTarget& target, const QString& text, int32_t from, int32_t to,
                      bool keep_size, const PaceHook& pace) {
  const std::vector<QString> chars = Characters(text);
  if (chars.empty() || target.Image == nullptr || target.Image->isNull()) return;
  QImage& image = *target.Image;

  if (!keep_size) {
    while (PrintedWidth(chars, target.Font, image) > image.width()) {
      if (!Shrink(target.Font)) break;
    }
  }

  const auto start = std::chrono::steady_clock::now();
  const std::vector<int32_t> colours = GradientColours(from, to, static_cast<int>(chars.size()));
  const QFontMetrics metrics(target.Font, &image);
  target.CurrentX = 0;
  {
    QPainter painter(&image);
    if (painter.isActive()) {
      painter.setFont(target.Font);
      const int baseline = target.CurrentY + metrics.ascent();
      for (size_t k = 0; k < chars.size(); ++k) {
        painter.setPen(QColor(ToQRgb(colours[k])));
        painter.drawText(target.CurrentX, baseline, chars[k]);
        target.CurrentX += metrics.horizontalAdvance(chars[k]);
      }
    }
  }
  target.CurrentX = 0;
  target.CurrentY += metrics.lineSpacing();

  if (pace) {
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    pace(static_cast<int>(std::max<int64_t>(0, kPaceMs - spent)));
  }
}

}  // namespace quillon
