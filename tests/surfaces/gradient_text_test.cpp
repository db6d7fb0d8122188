#include <gtest/gtest.h>

#include <QFontMetrics>
#include <set>
#include <vector>

#include "platform/gradient_text.h"
#include "platform/surface.h"

namespace quillon {
namespace {

TEST(GradientColoursTest, StepsRoundHalfToEvenAndEndOnTheEndColour) {
  EXPECT_EQ(GradientColours(0, 255, 4), (std::vector<int32_t>{64, 128, 191, 255}));
  // Green falling 255 -> 0 and blue rising over 3: 170, 85, 0 and 85 (85), 170, 255.
  EXPECT_EQ(GradientColours(0x00FF00, 0xFF0000, 3),
            (std::vector<int32_t>{170 * 256 + 85 * 65536, 85 * 256 + 170 * 65536, 0xFF0000}));
  EXPECT_TRUE(GradientColours(0, 255, 0).empty());
}

// A target with a crisp (not antialiased) font, so that drawn pixels have exactly their colour.
PrintTarget Target(QImage& image, int points) {
  QFont font(QStringLiteral("DejaVu Sans"), points);
  font.setStyleStrategy(QFont::NoAntialias);
  return {&image, font, 7, 3};
}

std::set<QRgb> Colours(const QImage& image) {
  std::set<QRgb> out;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      out.insert(image.pixel(x, y));
  }
  return out;
}

TEST(DrawGradientTextTest, DrawsEachCharacterInItsColourAndEndsTheLine) {
  QImage image(200, 40, QImage::Format_RGB32);
  image.fill(Qt::black);
  PrintTarget target = Target(image, 12);
  int paced = -1;
  // Empty text: nothing drawn, the position kept, no pacing.
  DrawGradientText(target, QString(), 0, 255, false, [&](int ms) { paced = ms; });
  EXPECT_EQ(Colours(image), std::set<QRgb>{0xFF000000u});
  EXPECT_EQ(target.CurrentY, 3);
  EXPECT_EQ(paced, -1);

  DrawGradientText(target, QStringLiteral("HHHH"), 0, 255, false, [&](int ms) { paced = ms; });
  EXPECT_EQ(Colours(image),
            (std::set<QRgb>{0xFF000000u, 0xFF400000u, 0xFF800000u, 0xFFBF0000u, 0xFFFF0000u}));
  EXPECT_EQ(target.Font.pointSize(), 12);
  EXPECT_EQ(target.CurrentX, 0);
  EXPECT_EQ(target.CurrentY, 3 + QFontMetrics(target.Font, &image).lineSpacing());
  EXPECT_GE(paced, 0);
  EXPECT_LE(paced, 5);
}

TEST(DrawGradientTextTest, ShrinksTheFontToFitUnlessToldToKeepIt) {
  const QString text = QStringLiteral("A rather long title line");
  QImage image(120, 40, QImage::Format_RGB32);
  PrintTarget target = Target(image, 20);
  DrawGradientText(target, text, 0, 0xFFFFFF, true);
  EXPECT_EQ(target.Font.pointSize(), 20);
  DrawGradientText(target, text, 0, 0xFFFFFF, false);
  const int points = target.Font.pointSize();
  EXPECT_LT(points, 20);
  EXPECT_LE(QFontMetrics(target.Font, &image).horizontalAdvance(text), image.width());
  QFont bigger = target.Font;
  bigger.setPointSize(points + 1);
  EXPECT_GT(QFontMetrics(bigger, &image).horizontalAdvance(text), image.width());

  // A picture too narrow for any size stops at the smallest font.
  QImage narrow(2, 40, QImage::Format_RGB32);
  target = Target(narrow, 20);
  DrawGradientText(target, text, 0, 0xFFFFFF, false);
  EXPECT_EQ(target.Font.pointSize(), 1);
}

}  // namespace
}  // namespace quillon
