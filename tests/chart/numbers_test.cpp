#include "chart/numbers.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace quillon {
namespace {

TEST(ReadNumber, ReadsDecimalNumbersSkippingBlanks) {
  EXPECT_EQ(ReadNumber("  \t\n-12.25xyz"), -12.25);
  EXPECT_EQ(ReadNumber("- 1 2 . 5"), -12.5);
  EXPECT_EQ(ReadNumber("1.5.3"), 1.5);
  EXPECT_EQ(ReadNumber(".5"), 0.5);
  EXPECT_EQ(ReadNumber("12\r34"), 12.0);  // CR is not a blank
  EXPECT_EQ(ReadNumber("-"), 0.0);
  EXPECT_EQ(ReadNumber("&X12"), 0.0);
  // An exponent (E or D) counts only when digits follow it.
  EXPECT_EQ(ReadNumber("15e-1"), 1.5);
  EXPECT_EQ(ReadNumber("2d+ 1"), 20.0);
  EXPECT_EQ(ReadNumber("3E-x"), 3.0);
}

TEST(ReadNumber, TooLargeIsAnOverflowTooSmallIsZero) {
  EXPECT_EQ(ReadNumber("1E400"), std::nullopt);
  EXPECT_EQ(ReadNumber("1e-400"), 0.0);
  // The first significant digit decides, not the exponent alone.
  EXPECT_EQ(ReadNumber(std::string(400, '9') + "e-10"), std::nullopt);
  EXPECT_EQ(ReadNumber("0." + std::string(400, '0') + "1e5"), 0.0);
}

TEST(ReadNumber, ReadsHexadecimalAndOctalAsSignedWords) {
  EXPECT_EQ(ReadNumber(" &H 1 0g"), 16.0);
  EXPECT_EQ(ReadNumber("&HFFFF"), -1.0);
  EXPECT_EQ(ReadNumber("&H10000"), 65536.0);
  EXPECT_EQ(ReadNumber("&HFFFFFFFF"), -1.0);
  EXPECT_EQ(ReadNumber("&H100000000"), std::nullopt);
  EXPECT_EQ(ReadNumber("&o78"), 7.0);
}

TEST(ToWhole, RoundsHalvesToEvenAndRejectsWhatDoesNotFit) {
  EXPECT_EQ(ToWhole<int16_t>(2.5), 2);
  EXPECT_EQ(ToWhole<int16_t>(-3.5), -4);
  EXPECT_EQ(ToWhole<int16_t>(32767.5), std::nullopt);
  EXPECT_EQ(ToWhole<int16_t>(-32768.5), -32768);
  EXPECT_EQ(ToWhole<int32_t>(2147483648.0), std::nullopt);
  EXPECT_EQ(ToWhole<int16_t>(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
}

}  // namespace
}  // namespace quillon
