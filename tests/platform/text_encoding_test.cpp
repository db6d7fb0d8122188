#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/case_fold.h"

namespace quillon {
namespace {

using namespace std::string_literals;

TEST(IsValidUtf8, AcceptsWellFormedTextAndRejectsEverythingElse) {
  EXPECT_TRUE(IsValidUtf8("\x00\x7F #TITLE long enough for the eight-byte loop"s));
  EXPECT_TRUE(IsValidUtf8("\xC2\x80 \xE0\xA0\x80 \xED\x9F\xBF \xEE\x80\x80 \xF4\x8F\xBF\xBF"));
  // Overlong, surrogate, above U+10FFFF, stray continuation, cut off, bad continuation.
  for (const char* bad :
       {"\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "abc\xE3\x81", "\xE3\x81!"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  // After an all-ASCII run, at every alignment of the eight-byte loop.
  for (size_t prefix = 0; prefix < 17; ++prefix)
    EXPECT_FALSE(IsValidUtf8(std::string(prefix, 'a') + "\x83\x65" + std::string(9, 'b')));
}

TEST(DecodeChartText, KeepsUtf8OrReadsShiftJisWithWindowsAdditions) {
  EXPECT_EQ(DecodeChartText("\xEF\xBB\xBF#TITLE 曲\0"s), "#TITLE 曲\0"s);
  EXPECT_EQ(DecodeChartText("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");  // only a leading mark goes
  // テスト, a half-width katakana and 表, whose second byte is a backslash.
  EXPECT_EQ(DecodeChartText("#TITLE \x83\x65\x83\x58\x83\x67 \xB1 \x95\x5C\\"),
            "#TITLE テスト ｱ 表\\");
  EXPECT_EQ(Cp932ToUtf8("\x87\x40\x81\x60\0"s), "①～\0"s);  // circled digit, full-width tilde
  // A byte that is not Shift-JIS becomes U+FFFD and the decoding goes on.
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

TEST(FoldUpperCase, FoldsAsciiLatin1AndFullWidthLettersOnly) {
  EXPECT_EQ(FoldUpperCase("#wav01 àéþ ÷ ÿ ß ａｚ ｛ てすと"), "#WAV01 ÀÉÞ ÷ ÿ ß ＡＺ ｛ てすと");
  // Broken UTF-8 is copied as it is; a continuation byte is never read as a character.
  EXPECT_EQ(FoldUpperCase("a\x83z\xC3"), "A\x83Z\xC3");
  EXPECT_EQ(FoldUpperCase("\xA0\xA0\xEF\xBD"), "\xA0\xA0\xEF\xBD");
}

// Long runs are stepped over eight bytes at a time: a letter at any offset, the bytes just
// outside a..z, and characters that straddle an eight-byte step must all come out right.
TEST(FoldUpperCase, FoldsLettersAtEveryOffsetOfALongText) {
  const std::string plain = "#00111:0A0B`{@[~ZZ09AZ";
  for (size_t at = 0; at < plain.size(); ++at) {
    std::string text = plain;
    std::string expected = plain;
    text[at] = 'q';
    expected[at] = 'Q';
    EXPECT_EQ(FoldUpperCase(text), expected) << at;
    for (const char* wide : {"ａ", "à"}) {
      std::string with_wide = plain;
      with_wide.insert(at, wide);
      std::string folded = plain;
      folded.insert(at, std::string(wide) == "ａ" ? "Ａ" : "À");
      EXPECT_EQ(FoldUpperCase(with_wide), folded) << at << wide;
    }
  }
}

TEST(DisplayPath, DecodesForShowingAndMarksLineBreaks) {
  EXPECT_EQ(DisplayPath("/\x83\x65\x83\x58\x83\x67.bms"), "/テスト.bms");
  EXPECT_EQ(DisplayPath("/曲.bms"), "/曲.bms");
  EXPECT_EQ(DisplayPath("/a\tb\r\n.bms"), "/a\\tb\\r\\n.bms");
}

}  // namespace
}  // namespace quillon
