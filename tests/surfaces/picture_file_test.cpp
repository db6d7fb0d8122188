// Reading pictures from files and bytes: the side limit, the format hint, odd files.
#include "platform/picture_file.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include "support/odd_files.h"
#include "support/test_data.h"

namespace quillon {
namespace {

std::string Encoded(int w, int h, const char* format) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(qRgb(10, 20, 30));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

TEST(DecodePicture, RefusesPicturesOverTheSideLimit) {
  EXPECT_EQ(DecodePicture(Encoded(kPictureSideLimit, 1, "PNG")).width(), kPictureSideLimit);
  EXPECT_TRUE(DecodePicture(Encoded(kPictureSideLimit + 1, 1, "PNG")).isNull());
  EXPECT_TRUE(DecodePicture(Encoded(1, kPictureSideLimit + 1, "BMP"), "bmp").isNull());
  EXPECT_TRUE(DecodePicture(Encoded(20000, 1, "PNG"), "png").isNull());
}

TEST(DecodePicture, TheContentDecidesWhenTheExtensionIsWrong) {
  const QImage png_named_bmp = DecodePicture(Encoded(3, 2, "PNG"), "bmp");
  EXPECT_EQ(png_named_bmp.size(), QSize(3, 2));
  EXPECT_EQ(png_named_bmp.pixel(2, 1), qRgb(10, 20, 30));
  EXPECT_TRUE(DecodePicture("not a picture", "png").isNull());
  EXPECT_TRUE(DecodePicture("").isNull());
}

TEST(ReadPictureFile, ReadsNamesAsBytesAndRefusesOddFiles) {
  test::TempDir dir;
  // 絵.bmp in CP932: not a name a QString could open.
  const std::string cp932 = dir.Write("\x8a\x47.bmp", Encoded(4, 4, "BMP"));
  EXPECT_EQ(ReadPictureFile(cp932).size(), QSize(4, 4));
  for (const test::OddFile& odd : test::MakeOddFiles(dir, ".png", kPictureFileCap + 1)) {
    SCOPED_TRACE(odd.name);
    EXPECT_TRUE(ReadPictureFile(odd.path).isNull());
  }
}

}  // namespace
}  // namespace quillon
