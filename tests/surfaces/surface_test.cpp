// Pixel transfers, masks and the surface registry.
#include "platform/surface.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kWhite = 0xFFFFFFFFu;

// An RGB32 image whose pixel (x, y) is 0xFF100000 + 16 * y + x, so every pixel can be told apart.
QImage Numbered(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, 0xFF100000u + static_cast<QRgb>(16 * y + x));
  return image;
}

QImage Filled(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// Checks every stored word of `got`, alpha included (QImage::pixel() reports RGB32 pixels as
// opaque whatever their stored alpha), against `want(x, y)`.
template <typename F>
void ExpectPixels(const QImage& got, F want) {
  for (int y = 0; y < got.height(); ++y)
    for (int x = 0; x < got.width(); ++x)
      ASSERT_EQ(reinterpret_cast<const QRgb*>(got.constScanLine(y))[x], want(x, y))
          << "pixel (" << x << ", " << y << ")";
}

TEST(BitBltTest, CopyClipsAtEveryEdgeOfBothImages) {
  const QImage src = Numbered(4, 4);
  // Destination rectangle hanging off the top-left of dst: the source is shifted to match.
  QImage dst = Filled(4, 4, kBlack);
  BitBlt(&dst, -1, -2, 4, 4, &src, 0, 0, RasterOp::Copy);
  ExpectPixels(dst,
               [&](int x, int y) { return x < 3 && y < 2 ? src.pixel(x + 1, y + 2) : kBlack; });
  // Source rectangle hanging off the top-left of src, and off the bottom-right of dst.
  dst = Filled(4, 4, kBlack);
  BitBlt(&dst, 1, 1, 10, 10, &src, -1, 0, RasterOp::Copy);
  ExpectPixels(dst,
               [&](int x, int y) { return x >= 2 && y >= 1 ? src.pixel(x - 2, y - 1) : kBlack; });
  // Nothing for an empty, negative or fully outside rectangle, or no source.
  dst = Filled(4, 4, kBlack);
  BitBlt(&dst, 0, 0, 0, 4, &src, 0, 0, RasterOp::Copy);
  BitBlt(&dst, 0, 0, -3, 4, &src, 0, 0, RasterOp::Copy);
  BitBlt(&dst, 4, 0, 4, 4, &src, 0, 0, RasterOp::Copy);
  BitBlt(&dst, 0, 0, 4, 4, &src, 4, 0, RasterOp::Copy);
  BitBlt(&dst, 0, 0, 4, 4, nullptr, 0, 0, RasterOp::Copy);
  ExpectPixels(dst, [](int, int) { return kBlack; });
  // Within one image the source is read before it is overwritten.
  QImage image = src;
  BitBlt(&image, 1, 1, 3, 3, &image, 0, 0, RasterOp::Copy);
  ExpectPixels(image, [&](int x, int y) {
    return x > 0 && y > 0 ? src.pixel(x - 1, y - 1) : src.pixel(x, y);
  });
}

TEST(BitBltTest, AndXorAndBlackCombineOnlyTheColourBits) {
  const QImage src = Filled(2, 2, 0xFF0F0F0Fu);
  QImage dst = Filled(3, 2, 0xFF3C3C3Cu);
  BitBlt(&dst, 0, 0, 2, 2, &src, 0, 0, RasterOp::And);
  ExpectPixels(dst, [](int x, int) { return x < 2 ? 0xFF0C0C0Cu : 0xFF3C3C3Cu; });
  BitBlt(&dst, 1, 0, 2, 2, &src, 0, 0, RasterOp::Xor);
  const QRgb after_xor[] = {0xFF0C0C0Cu, 0xFF030303u, 0xFF333333u};
  ExpectPixels(dst, [&](int x, int) { return after_xor[x]; });
  // Black needs no source and clips to the destination.
  BitBlt(&dst, 2, -1, 5, 2, nullptr, 0, 0, RasterOp::Black);
  ExpectPixels(dst, [&](int x, int y) { return x == 2 && y == 0 ? kBlack : after_xor[x]; });
}

TEST(StretchBltTest, NearestNeighbourClippedToBothImages) {
  const QImage src = Numbered(4, 4);
  // 3 source columns onto 5: floor(x * 3 / 5) = 0 0 1 1 2; 2 rows onto 3: 0 0 1.
  QImage dst = Filled(5, 3, kBlack);
  StretchBlt(&dst, 0, 0, 5, 3, &src, 1, 1, 3, 2, RasterOp::Copy);
  const int cols[] = {0, 0, 1, 1, 2};
  const int rows[] = {0, 0, 1};
  ExpectPixels(dst, [&](int x, int y) { return src.pixel(1 + cols[x], 1 + rows[y]); });
  // Off the destination's left/top, the mapping still starts at dx, dy.
  dst = Filled(4, 4, kBlack);
  StretchBlt(&dst, -2, -2, 8, 8, &src, 0, 0, 4, 4, RasterOp::Copy);
  ExpectPixels(dst, [&](int x, int y) { return src.pixel((x + 2) / 2, (y + 2) / 2); });
  // A source rectangle running off src: only the pixels that map inside it are drawn.
  dst = Filled(4, 4, kBlack);
  StretchBlt(&dst, 0, 0, 4, 4, &src, 2, -1, 4, 4, RasterOp::Copy);
  ExpectPixels(dst,
               [&](int x, int y) { return x < 2 && y >= 1 ? src.pixel(x + 2, y - 1) : kBlack; });
}

TEST(MakeMaskTest, BackgroundBecomesWhiteAndEverythingElseBlack) {
  QImage src = Filled(3, 2, 0xFF00FF00u);
  src.setPixel(1, 0, 0xFF00FF01u);
  src.setPixel(2, 1, kBlack);
  QImage mask = Filled(4, 1, 0xFF777777u);  // wider and shorter than src
  MakeMask(&mask, &src, 0x0000FF00u);       // alpha of the key is ignored
  const QRgb want[] = {kWhite, kBlack, kWhite, 0xFF777777u};
  ExpectPixels(mask, [&](int x, int) { return want[x]; });
}

TEST(SurfaceRegistryTest, MakesRemakesAndFreesOneSurfacePerPair) {
  SurfaceRegistry reg;
  reg.DisplayWidth = 320;
  reg.DisplayHeight = 240;
  reg.ScreenBitsPerPixel = 24;
  SurfaceHandle dc = 0, bmp = 0, mask_dc = 0, mask_bmp = 0;
  reg.CreateSurface(dc, bmp, 0, 99, 0, "back buffer");  // width 0, depth 0: the display's
  ASSERT_NE(reg.Image(dc), nullptr);
  EXPECT_EQ(reg.Image(dc)->size(), QSize(320, 240));
  EXPECT_EQ(reg.Image(dc)->pixel(319, 239), kBlack);
  EXPECT_EQ(reg.Live().at(0).Depth, 24);
  reg.CreateSurface(mask_dc, mask_bmp, 4, 4, 1, "mask");
  // Remaking frees the old surface first.
  const SurfaceHandle old_dc = dc;
  reg.CreateSurface(dc, bmp, 16, 8, 32, "sprite");
  EXPECT_EQ(reg.Image(old_dc), nullptr);
  EXPECT_EQ(reg.Image(dc)->width(), 16);
  EXPECT_EQ(reg.Live().size(), 2u);
  // Without a screen depth or with a size that cannot be made, the old pair goes and none comes.
  reg.ScreenBitsPerPixel = 0;
  reg.CreateSurface(dc, bmp, 16, 16, 0, "no depth");
  EXPECT_TRUE(dc == 0 && bmp == 0);
  reg.ScreenBitsPerPixel = 32;
  reg.CreateSurface(dc, bmp, -5, 16, 32, "bad");
  reg.CreateSurface(dc, bmp, 16, 0, 32, "bad");
  EXPECT_TRUE(dc == 0 && bmp == 0);
  reg.FreeSurface(dc, bmp);  // already 0: harmless
  reg.FreeSurface(mask_dc, mask_bmp);
  EXPECT_TRUE(mask_dc == 0 && mask_bmp == 0);
  EXPECT_TRUE(reg.Live().empty());
}

TEST(ScreenDepth, ReadFromTheScreenOr32) {
  const int32_t depth = ReadScreenBitsPerPixel();
  EXPECT_TRUE(depth == 24 || depth == 32) << depth;
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(MaskedBltTest, SameAsAndThenXor) {
  QImage base(40, 30, QImage::Format_RGB32), mask(25, 25, QImage::Format_RGB32),
      picture(25, 25, QImage::Format_RGB32);
  uint32_t x = 7;
  for (QImage* image : {&base, &mask, &picture}) {
    for (int py = 0; py < image->height(); ++py) {
      for (int px = 0; px < image->width(); ++px) {
        x = x * 1664525u + 1013904223u;
        image->setPixel(px, py, 0xFF000000u | (x >> 8));
      }
    }
  }
  QImage two_passes = base.copy(), one_pass = base.copy();
  for (auto [dx, dy] : {std::pair{-3, -2}, std::pair{20, 10}}) {
    BitBlt(&two_passes, dx, dy, 30, 30, &mask, 1, 2, RasterOp::And);
    BitBlt(&two_passes, dx, dy, 30, 30, &picture, 1, 2, RasterOp::Xor);
    MaskedBlt(&one_pass, dx, dy, 30, 30, &mask, &picture, 1, 2);
  }
  EXPECT_EQ(one_pass, two_passes);
}

}  // namespace
}  // namespace quillon
