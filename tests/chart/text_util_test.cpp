#include "chart/text_util.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using namespace std::string_literals;
using Pieces = std::vector<std::string_view>;

TEST(TrimNull, RemovesNulsThenOnlySpacesAtTheEnds) {
  EXPECT_EQ(TrimNull(" \0 a\0b \0"s), "ab");
  EXPECT_EQ(TrimNull("\ta b\t "), "\ta b\t");
  EXPECT_EQ(TrimNull(" \0  "s), "");
}

TEST(Mid, CountsCharactersNotBytes) {
  EXPECT_EQ(Mid("#WAV01 a.wav", 2, 3), "WAV");
  EXPECT_EQ(Mid("abc", 3, 10), "c");
  EXPECT_EQ(Mid("abc", 4), "");
  EXPECT_EQ(Mid("abc", 0, 2), "ab");  // start 0 reads as 1
  EXPECT_EQ(Mid("#TITLE テスト曲", 8, 2), "テス");
  EXPECT_EQ(Mid("#TITLE テスト曲", 10), "ト曲");
  EXPECT_EQ(Mid("テスト", 4), "");
  EXPECT_EQ(Left("曲ab", 2), "曲a");
  EXPECT_EQ(CharCount("曲ab"), 3u);
}

TEST(NormalizeLineEnds, TurnsLoneLineEndsIntoCrLfUnlessThereIsACrLf) {
  std::string lone = "a\n\rb\rc\n";  // each end on its own
  NormalizeLineEnds(lone);
  EXPECT_EQ(lone, "a\r\n\r\nb\r\nc\r\n");
  std::string mixed = "a\nb\r\nc\rd";
  NormalizeLineEnds(mixed);
  EXPECT_EQ(mixed, "a\nb\r\nc\rd");
}

TEST(SplitCrLf, SplitsAtCrLfUpToALimit) {
  EXPECT_EQ(SplitCrLf("a\r\nb\r\n"), (Pieces{"a", "b", ""}));
  EXPECT_EQ(SplitCrLf("a\nb\rc"), (Pieces{"a\nb\rc"}));
  EXPECT_EQ(SplitCrLf("a\r\nb\r\nc\r\nd", 2), (Pieces{"a", "b\r\nc\r\nd"}));
  EXPECT_EQ(SplitCrLf("a\r\nb", 1), (Pieces{"a\r\nb"}));
}

}  // namespace
}  // namespace quillon
