#include "chart/numbers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quillon {
namespace {

TEST(ReadNumber, ReadsDecimalNumbersSkippingBlanks) {
  EXPECT_EQ(ReadNumber("150"), 150.0);
  EXPECT_EQ(ReadNumber("  \t\n-12.25xyz"), -12.25);
  EXPECT_EQ(ReadNumber("1 2\t3"), 123.0);
  EXPECT_EQ(ReadNumber("- 1 . 5"), -1.5);
  EXPECT_EQ(ReadNumber("1.5.3"), 1.5);
  EXPECT_EQ(ReadNumber(".5"), 0.5);
  EXPECT_EQ(ReadNumber("5."), 5.0);
  EXPECT_EQ(ReadNumber("12\r34"), 12.0);  // CR is not a blank
}

TEST(ReadNumber, TextWithoutANumberIsZero) {
  EXPECT_EQ(ReadNumber(""), 0.0);
  EXPECT_EQ(ReadNumber("abc"), 0.0);
  EXPECT_EQ(ReadNumber("-"), 0.0);
  EXPECT_EQ(ReadNumber("."), 0.0);
  EXPECT_EQ(ReadNumber("&X12"), 0.0);
}

TEST(ReadNumber, ReadsExponentsWithEOrD) {
  EXPECT_EQ(ReadNumber("1.5E2"), 150.0);
  EXPECT_EQ(ReadNumber("15e-1"), 1.5);
  EXPECT_EQ(ReadNumber("2D3"), 2000.0);
  EXPECT_EQ(ReadNumber("2d+ 1"), 20.0);
  EXPECT_EQ(ReadNumber("3E"), 3.0);  // no exponent digits: the E is not part of the number
  EXPECT_EQ(ReadNumber("3E-x"), 3.0);
}

TEST(ReadNumber, TooLargeIsAnOverflowTooSmallIsZero) {
  EXPECT_EQ(ReadNumber("1E400"), std::nullopt);
  EXPECT_EQ(ReadNumber("1e-400"), 0.0);
  EXPECT_EQ(ReadNumber(std::string(400, '9')), std::nullopt);
  // Many digits with a small negative exponent are still too large.
  EXPECT_EQ(ReadNumber(std::string(400, '9') + "e-10"), std::nullopt);
  EXPECT_EQ(ReadNumber("0." + std::string(400, '0') + "1e5"), 0.0);
}

TEST(ReadNumber, ReadsHexadecimalAndOctal) {
  EXPECT_EQ(ReadNumber("&HFF"), 255.0);
  EXPECT_EQ(ReadNumber(" &H 1 0g"), 16.0);
  EXPECT_EQ(ReadNumber("&HFFFF"), -1.0);
  EXPECT_EQ(ReadNumber("&H8000"), -32768.0);
  EXPECT_EQ(ReadNumber("&H10000"), 65536.0);
  EXPECT_EQ(ReadNumber("&HFFFFFFFF"), -1.0);
  EXPECT_EQ(ReadNumber("&H100000000"), std::nullopt);
  EXPECT_EQ(ReadNumber("&O17"), 15.0);
  EXPECT_EQ(ReadNumber("&o78"), 7.0);
  EXPECT_EQ(ReadNumber("&H"), 0.0);
}

TEST(ReadNumber, NeverFailsOnArbitraryText) {
  std::mt19937 random(3);
  const std::string alphabet = "0123456789.eEdD+-&HhOo \t\nF";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 5000; ++round) {
    std::string text(static_cast<size_t>(round % 60), ' ');
    for (char& c : text)
      c = alphabet[pick(random)];
    const std::optional<double> value = ReadNumber(text);
    if (value) {
      ASSERT_TRUE(std::isfinite(*value)) << text;
    }
  }
}

TEST(ToWhole, RoundsHalvesToEvenAndRejectsWhatDoesNotFit) {
  EXPECT_EQ(ToWhole<int16_t>(2.5), 2);
  EXPECT_EQ(ToWhole<int16_t>(3.5), 4);
  EXPECT_EQ(ToWhole<int16_t>(-2.5), -2);
  EXPECT_EQ(ToWhole<int16_t>(32767.4), 32767);
  EXPECT_EQ(ToWhole<int16_t>(32767.5), std::nullopt);
  EXPECT_EQ(ToWhole<int16_t>(-32768.5), -32768);
  EXPECT_EQ(ToWhole<int16_t>(-32769.0), std::nullopt);
  EXPECT_EQ(ToWhole<int32_t>(2147483647.0), 2147483647);
  EXPECT_EQ(ToWhole<int32_t>(2147483648.0), std::nullopt);
  EXPECT_EQ(ToWhole<int16_t>(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(ToWhole<int16_t>(std::numeric_limits<double>::infinity()), std::nullopt);
}

TEST(ReadWhole, CombinesBoth) {
  EXPECT_EQ(ReadWhole<int16_t>("150.5"), 150);
  EXPECT_EQ(ReadWhole<int16_t>("151.5"), 152);
  EXPECT_EQ(ReadWhole<int16_t>("40000"), std::nullopt);
  EXPECT_EQ(ReadWhole<int16_t>("1E400"), std::nullopt);
}

}  // namespace
}  // namespace quillon
