// Text printed with its colour running across its characters.
#include "platform/gradient_text.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <set>
#include <vector>

namespace quillon {
namespace {

TEST(GradientColoursTest, StepsRoundHalfToEvenAndEndOnTheEndColour) {
  EXPECT_EQ(GradientColours(0, 255, 4), (std::vector<int32_t>{64, 128, 191, 255}));
  EXPECT_TRUE(GradientColours(0, 255, 0).empty());
}

// A target with a crisp (not antialiased) font, so that drawn pixels have exactly their colour.
PrintTarget Target(QImage& image, int points) {
  image.fill(Qt::black);
  QFont font(QStringLiteral("DejaVu Sans"), points);
  font.setStyleStrategy(QFont::NoAntialias);
  return {&image, font, 7, 3};
}

TEST(DrawGradientTextTest, DrawsEachCharacterInItsColourAndEndsTheLine) {
  QImage image(200, 40, QImage::Format_RGB32);
  PrintTarget target = Target(image, 12);
  const auto colours = [&] {
    std::set<QRgb> out;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        out.insert(image.pixel(x, y));
    return out;
  };
  // Empty text: nothing drawn, the position kept.
  DrawGradientText(target, QString(), 0, 255, false);
  EXPECT_EQ(colours(), std::set<QRgb>{0xFF000000u});
  EXPECT_EQ(target.CurrentY, 3);

  DrawGradientText(target, QStringLiteral("HHHH"), 0, 255, false);
  EXPECT_EQ(colours(),
            (std::set<QRgb>{0xFF000000u, 0xFF400000u, 0xFF800000u, 0xFFBF0000u, 0xFFFF0000u}));
  EXPECT_EQ(target.CurrentX, 0);
  EXPECT_EQ(target.CurrentY, 3 + QFontMetrics(target.Font, &image).lineSpacing());
}

TEST(DrawGradientTextTest, ShrinksTheFontToFit) {
  const QString text = QStringLiteral("A rather long title line");
  QImage image(120, 40, QImage::Format_RGB32);
  PrintTarget target = Target(image, 20);
  DrawGradientText(target, text, 0, 0xFFFFFF, false);
  const int points = target.Font.pointSize();
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
