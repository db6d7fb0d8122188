#include <gtest/gtest.h>

#include <utility>

#include "platform/surface.h"

namespace quillon {
namespace {

constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kWhite = 0xFFFFFFFFu;

// An RGB32 image whose pixel (x, y) is `base` + 16 * y + x, so every pixel can be told apart.
QImage Numbered(int w, int h, QRgb base = 0xFF100000u) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x)
      row[x] = base + static_cast<QRgb>(16 * y + x);
  }
  return image;
}

QImage Filled(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// The stored word, alpha included (QImage::pixel() reports RGB32 pixels as opaque whatever
// their stored alpha).
QRgb Raw(const QImage& image, int x, int y) {
  return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
}

// Checks every stored pixel of `got` against `want(x, y)`, reporting the first difference.
template <typename F>
void ExpectPixels(const QImage& got, F want) {
  for (int y = 0; y < got.height(); ++y) {
    for (int x = 0; x < got.width(); ++x) {
      const QRgb expected = want(x, y);
      if (Raw(got, x, y) != expected) {
        FAIL() << "pixel (" << x << ", " << y << ") is " << std::hex << Raw(got, x, y)
               << ", expected " << expected;
      }
    }
  }
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

  // Nothing for an empty, negative or fully outside rectangle.
  dst = Filled(4, 4, kBlack);
  BitBlt(&dst, 0, 0, 0, 4, &src, 0, 0, RasterOp::Copy);
  BitBlt(&dst, 0, 0, -3, 4, &src, 0, 0, RasterOp::Copy);
  BitBlt(&dst, 4, 0, 4, 4, &src, 0, 0, RasterOp::Copy);
  BitBlt(&dst, 0, 0, 4, 4, &src, 4, 0, RasterOp::Copy);
  BitBlt(&dst, 0, 0, 4, 4, nullptr, 0, 0, RasterOp::Copy);
  ExpectPixels(dst, [](int, int) { return kBlack; });
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

  // An ARGB source with alpha 0 still gives opaque results.
  QImage argb(1, 1, QImage::Format_ARGB32);
  argb.fill(0x00FF0000u);
  QImage one = Filled(1, 1, kBlack);
  BitBlt(&one, 0, 0, 1, 1, &argb, 0, 0, RasterOp::Copy);
  EXPECT_EQ(Raw(one, 0, 0), 0xFFFF0000u);
}

TEST(BitBltTest, OverlappingTransfersWithinOneImageReadTheOriginalPixels) {
  const QImage original = Numbered(5, 5);
  for (const auto& [dx, dy] :
       {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}, std::pair{1, 1}}) {
    for (const RasterOp op : {RasterOp::Copy, RasterOp::Xor}) {
      QImage image = original;
      BitBlt(&image, 1 + dx, 1 + dy, 3, 3, &image, 1, 1, op);
      ExpectPixels(image, [&](int x, int y) {
        const bool inside = x >= 1 + dx && x < 4 + dx && y >= 1 + dy && y < 4 + dy;
        if (!inside) return original.pixel(x, y);
        const QRgb s = original.pixel(x - dx, y - dy);
        return op == RasterOp::Copy ? s : (original.pixel(x, y) ^ s) | kBlack;
      });
    }
  }
  EXPECT_EQ(original.pixel(1, 1), 0xFF100011u);  // the shared copy was left alone
}

TEST(StretchBltTest, NearestNeighbourForEnlargingShrinkingAndOddRatios) {
  const QImage src = Numbered(4, 4);
  QImage dst = Filled(8, 8, kBlack);
  StretchBlt(&dst, 0, 0, 8, 8, &src, 0, 0, 4, 4, RasterOp::Copy);
  ExpectPixels(dst, [&](int x, int y) { return src.pixel(x / 2, y / 2); });

  dst = Filled(2, 2, kBlack);
  StretchBlt(&dst, 0, 0, 2, 2, &src, 0, 0, 4, 4, RasterOp::Copy);
  ExpectPixels(dst, [&](int x, int y) { return src.pixel(2 * x, 2 * y); });

  // 3 source columns onto 5: floor(x * 3 / 5) = 0 0 1 1 2; 2 rows onto 3: 0 0 1.
  dst = Filled(5, 3, kBlack);
  StretchBlt(&dst, 0, 0, 5, 3, &src, 1, 1, 3, 2, RasterOp::Copy);
  const int cols[] = {0, 0, 1, 1, 2};
  const int rows[] = {0, 0, 1};
  ExpectPixels(dst, [&](int x, int y) { return src.pixel(1 + cols[x], 1 + rows[y]); });
}

TEST(StretchBltTest, ClipsToBothImagesAndIgnoresEmptyOrMirroredExtents) {
  const QImage src = Numbered(4, 4);
  // Off the destination's left/top: the mapping still starts at dx, dy.
  QImage dst = Filled(4, 4, kBlack);
  StretchBlt(&dst, -2, -2, 8, 8, &src, 0, 0, 4, 4, RasterOp::Copy);
  ExpectPixels(dst, [&](int x, int y) { return src.pixel((x + 2) / 2, (y + 2) / 2); });

  // A source rectangle running off src: only the pixels that map inside it are drawn.
  dst = Filled(4, 4, kBlack);
  StretchBlt(&dst, 0, 0, 4, 4, &src, 2, -1, 4, 4, RasterOp::Copy);
  ExpectPixels(dst,
               [&](int x, int y) { return x < 2 && y >= 1 ? src.pixel(x + 2, y - 1) : kBlack; });

  for (const int bad : {0, -4}) {
    StretchBlt(&dst, 0, 0, bad, 4, &src, 0, 0, 4, 4, RasterOp::Black);
    StretchBlt(&dst, 0, 0, 4, 4, &src, 0, 0, 4, bad, RasterOp::Black);
  }
  EXPECT_EQ(dst.pixel(0, 1), src.pixel(2, 0));

  // Within one image the source is read before it is overwritten.
  QImage image = Numbered(4, 4);
  StretchBlt(&image, 0, 0, 4, 4, &image, 0, 0, 2, 2, RasterOp::Copy);
  const QImage original = Numbered(4, 4);
  ExpectPixels(image, [&](int x, int y) { return original.pixel(x / 2, y / 2); });
}

TEST(MakeMaskTest, BackgroundBecomesWhiteAndEverythingElseBlack) {
  QImage src = Filled(3, 2, 0xFF00FF00u);
  src.setPixel(1, 0, 0xFF00FF01u);
  src.setPixel(2, 1, kBlack);
  QImage mask = Filled(4, 1, 0xFF777777u);  // wider and shorter than src
  MakeMask(&mask, &src, 0x0000FF00u);       // alpha of the key is ignored
  EXPECT_EQ(mask.pixel(0, 0), kWhite);
  EXPECT_EQ(mask.pixel(1, 0), kBlack);
  EXPECT_EQ(mask.pixel(2, 0), kWhite);
  EXPECT_EQ(mask.pixel(3, 0), 0xFF777777u);
}

}  // namespace
}  // namespace quillon
