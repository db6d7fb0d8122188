#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/case_fold.h"

namespace quillon {
namespace {

using namespace std::string_literals;

TEST(IsValidUtf8, AcceptsWellFormedText) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("\x00\x7F #TITLE long enough for the eight-byte loop"s));
  EXPECT_TRUE(IsValidUtf8("\xC2\x80 \xE0\xA0\x80 \xED\x9F\xBF \xEE\x80\x80 \xF4\x8F\xBF\xBF"));
  EXPECT_TRUE(IsValidUtf8("テスト曲 ★"));
}

TEST(IsValidUtf8, RejectsOverlongsSurrogatesOutOfRangeAndBrokenSequences) {
  for (const char* bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",  // overlong
                          "\xED\xA0\x80", "\xED\xBF\xBF",                              // surrogates
                          "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF",              // > U+10FFFF
                          "\x80", "abc\xE3\x81", "\xE3\x81!", "\xF0\x90\x80"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  }
  // After an all-ASCII run, at every alignment of the eight-byte loop.
  for (size_t prefix = 0; prefix < 17; ++prefix) {
    EXPECT_FALSE(IsValidUtf8(std::string(prefix, 'a') + "\x83\x65" + std::string(9, 'b')));
  }
}

TEST(DecodeChartText, KeepsUtf8AndDropsOnlyALeadingByteOrderMark) {
  EXPECT_EQ(DecodeChartText("\xEF\xBB\xBF#TITLE 曲"), "#TITLE 曲");
  EXPECT_EQ(DecodeChartText("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");
  EXPECT_EQ(DecodeChartText("#TITLE \0x\0"s), "#TITLE \0x\0"s);
}

TEST(DecodeChartText, ReadsShiftJisWithWindowsAdditions) {
  // テスト, a half-width katakana and 表, whose second byte is a backslash.
  EXPECT_EQ(DecodeChartText("#TITLE \x83\x65\x83\x58\x83\x67 \xB1 \x95\x5C\\"),
            "#TITLE テスト ｱ 表\\");
  EXPECT_EQ(Cp932ToUtf8("\x87\x40\x81\x60"), "①～");  // circled digit, full-width tilde
  EXPECT_EQ(Cp932ToUtf8("\x83\x65\0\x83\x67"s), "テ\0ト"s);
}

TEST(DecodeChartText, ReplacesBytesThatAreNotShiftJisAndGoesOn) {
  EXPECT_EQ(Cp932ToUtf8("a\xFFz"), "a\uFFFDz");
  EXPECT_EQ(Cp932ToUtf8("\x83\x65\x83"), "テ\uFFFD");  // lead byte cut off at the end
  EXPECT_EQ(Cp932ToUtf8("\x81\x20x"), "\uFFFD x");     // lead byte before a bad trail byte
  // Whatever the bytes, the result is valid UTF-8.
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(static_cast<size_t>(round % 64), '\0');
    for (char& c : bytes)
      c = static_cast<char>(random());
    ASSERT_TRUE(IsValidUtf8(DecodeChartText(bytes))) << round;
  }
}

TEST(DecodeChartText, LargeShiftJisFile) {
  const std::string line = "#WAV01 \x83\x65\x83\x58\x83\x67.wav\r\n";
  const std::string decoded_line = "#WAV01 テスト.wav\r\n";
  std::string bytes;
  while (bytes.size() < 5'000'000)
    bytes += line;
  bytes += "\x83";  // cut off at the very end
  const std::string text = DecodeChartText(bytes);
  const size_t lines = bytes.size() / line.size();
  ASSERT_EQ(text.size(), lines * decoded_line.size() + 3);
  EXPECT_EQ(text.substr((lines - 1) * decoded_line.size()), decoded_line + "\uFFFD");
}

TEST(FoldUpperCase, FoldsAsciiLatin1AndFullWidthLettersOnly) {
  EXPECT_EQ(FoldUpperCase("#wav01 Kick.wav"), "#WAV01 KICK.WAV");
  EXPECT_EQ(FoldUpperCase("àéþ ÷ ÿ ß"), "ÀÉÞ ÷ ÿ ß");
  EXPECT_EQ(FoldUpperCase("ａｚ Ａ ｛ てすと"), "ＡＺ Ａ ｛ てすと");
  // Broken UTF-8 is copied as it is; a continuation byte is never read as a character.
  EXPECT_EQ(FoldUpperCase("a\x83z\xC3"), "A\x83Z\xC3");
  EXPECT_EQ(FoldUpperCase("\xA0\xA0\xEF\xBD"), "\xA0\xA0\xEF\xBD");
}

}  // namespace
}  // namespace quillon
