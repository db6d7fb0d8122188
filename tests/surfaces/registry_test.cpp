#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "platform/surface.h"

namespace quillon {
namespace {

// Keeps the rows a debug window would show.
class Rows : public SurfaceListener {
 public:
  void SurfaceCreated(const SurfaceInfo& info) override { rows[info.Dc] = info.Name; }
  void SurfaceFreed(SurfaceHandle dc) override { EXPECT_EQ(rows.erase(dc), 1u); }
  std::map<SurfaceHandle, std::string> rows;
};

TEST(SurfaceRegistryTest, DefaultsSizeAndDepthFromTheDisplay) {
  SurfaceRegistry reg;
  reg.DisplayWidth = 320;
  reg.DisplayHeight = 240;
  reg.ScreenBitsPerPixel = 24;
  SurfaceHandle dc = 0, bmp = 0;
  reg.CreateSurface(dc, bmp, 0, 99, 0, "back buffer");
  ASSERT_NE(dc, 0);
  ASSERT_NE(bmp, 0);
  const QImage* image = reg.Image(dc);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), QSize(320, 240));
  EXPECT_EQ(image->format(), QImage::Format_RGB32);
  EXPECT_EQ(image->pixel(319, 239), 0xFF000000u);
  ASSERT_EQ(reg.Live().size(), 1u);
  EXPECT_EQ(reg.Live()[0].Depth, 24);
  EXPECT_EQ(reg.Live()[0].Name, "back buffer");

  // No screen depth: nothing is made, and the old pair is still freed first.
  reg.ScreenBitsPerPixel = 0;
  reg.CreateSurface(dc, bmp, 16, 16, 0, "mask");
  EXPECT_EQ(dc, 0);
  EXPECT_EQ(bmp, 0);
  EXPECT_TRUE(reg.Live().empty());
  // Sizes that cannot be made leave the pair empty too.
  reg.CreateSurface(dc, bmp, -5, 16, 32, "bad");
  reg.CreateSurface(dc, bmp, 16, 0, 32, "bad");
  EXPECT_EQ(dc, 0);
  EXPECT_TRUE(reg.Live().empty());
}

TEST(SurfaceRegistryTest, RemakingOrFreeingKeepsOneRowPerVariable) {
  SurfaceRegistry reg;
  Rows rows;
  reg.SetListener(&rows);
  SurfaceHandle dc = 0, bmp = 0, other_dc = 0, other_bmp = 0;
  reg.CreateSurface(dc, bmp, 8, 8, 32, "sprite");
  reg.CreateSurface(other_dc, other_bmp, 4, 4, 1, "mask");
  const SurfaceHandle old_dc = dc;
  reg.CreateSurface(dc, bmp, 16, 8, 32, "sprite");
  EXPECT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(reg.Image(old_dc), nullptr);
  EXPECT_EQ(reg.Image(dc)->width(), 16);

  reg.FreeSurface(dc, bmp);
  EXPECT_EQ(dc, 0);
  EXPECT_EQ(bmp, 0);
  reg.FreeSurface(dc, bmp);  // already 0: harmless
  EXPECT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows.begin()->second, "mask");
  EXPECT_EQ(reg.Image(0), nullptr);
}

TEST(SplitRgbTest, SplitsAndIgnoresBitsAboveTheColour) {
  int32_t r = 0, g = 0, b = 0;
  SplitRgb(0x7F123456, r, g, b);
  EXPECT_EQ((std::array{r, g, b}), (std::array{0x56, 0x34, 0x12}));
  EXPECT_EQ(ToQRgb(0x0000FF), 0xFFFF0000u);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(ScreenDepth, ReadFromTheScreenOr32) {
  const int32_t depth = ReadScreenBitsPerPixel();
  EXPECT_TRUE(depth == 24 || depth == 32) << depth;
}

}  // namespace
}  // namespace quillon
