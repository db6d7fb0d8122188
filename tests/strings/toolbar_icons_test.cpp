#include "resources/toolbar_icons.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

constexpr const char* kKeys[] = {"OPEN", "RELOAD", "OPTION", "PLAYLIST", "PROP",  "CP",
                                 "OBJ",  "BGA",    "POLY",   "PLAY",     "PAUSE", "STOP",
                                 "PREV", "REW",    "FF",     "NEXT",     "REP1",  "REPA"};

int CountAlpha(const QImage& image, int x0, int x1, bool opaque) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = x0; x < x1; ++x) {
      const int alpha = qAlpha(image.pixel(x, y));
      n += opaque ? alpha == 255 : alpha == 0;
    }
  }
  return n;
}

TEST(ToolbarIcons, EveryKeyHasItsOwnGlyph) {
  for (const char* key : kKeys) {
    SCOPED_TRACE(key);
    const QImage image = ToolbarImage(key);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_GT(CountAlpha(image, 0, 16, true), 10);              // a visible glyph
    EXPECT_GT(CountAlpha(image, 0, 16, false), 0);              // on a transparent background
    EXPECT_EQ(ToolbarImage(key).cacheKey(), image.cacheKey());  // drawn once
    for (const char* other : kKeys) {
      if (std::string(other) != key) {
        EXPECT_NE(ToolbarImage(other), image) << other;
      }
    }
  }
}

TEST(ToolbarIcons, GlyphsFaceTheirWay) {
  // A triangle pointing right has more ink on its left; |< has its bar on the left.
  const QImage play = ToolbarImage("PLAY");
  EXPECT_GT(CountAlpha(play, 0, 8, true), CountAlpha(play, 8, 16, true));
  EXPECT_GT(CountAlpha(ToolbarImage("PREV"), 2, 4, true), 10);
  EXPECT_GT(CountAlpha(ToolbarImage("NEXT"), 12, 14, true), 10);
}

TEST(ToolbarIcons, UnknownKeysGiveNoImage) {
  for (const char* key : {"", "play", "PLAY ", "CPANEL", "DEBUG", "BMPOUT"})
    EXPECT_TRUE(ToolbarImage(key).isNull()) << key;
}

TEST(ToolbarIcons, ProgramIconHasTheWindowSizes) {
  const QIcon icon = ProgramIcon();
  EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
  EXPECT_TRUE(icon.availableSizes().contains(QSize(64, 64)));
  const QImage image = ProgramIconImage(32);
  EXPECT_EQ(qAlpha(image.pixel(16, 16)), 255);
  EXPECT_TRUE(ProgramIconImage(0).isNull());
}

}  // namespace
}  // namespace quillon
