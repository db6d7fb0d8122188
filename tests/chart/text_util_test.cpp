#include "chart/text_util.h"

#include <gtest/gtest.h>

#include "support/test_data.h"

namespace quillon {
namespace {

using namespace std::string_literals;
using Pieces = std::vector<std::string_view>;

TEST(TrimNull, RemovesNulsThenOnlySpacesAtTheEnds) {
  EXPECT_EQ(TrimNull("  a b  "), "a b");
  EXPECT_EQ(TrimNull(" \0 a\0b \0"s), "ab");
  EXPECT_EQ(TrimNull("\ta b\t "), "\ta b\t");
  EXPECT_EQ(TrimNull(" \0  "s), "");
  EXPECT_EQ(TrimNull(""), "");
}

TEST(GetFolderPath, KeepsEverythingUpToTheLastSlash) {
  EXPECT_EQ(GetFolderPath("/songs/a/chart.bms"), "/songs/a/");
  EXPECT_EQ(GetFolderPath("/chart.bms"), "/");
  EXPECT_EQ(GetFolderPath("songs/"), "songs/");
  EXPECT_EQ(GetFolderPath("chart.bms"), "");
}

TEST(FileExists, FindsFilesAndFolders) {
  test::TempDir dir;
  const std::string file = dir.Write(".hidden.bms", "");
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(dir.path().string()));
  EXPECT_FALSE(FileExists(file + "x"));
  EXPECT_FALSE(FileExists(""));
}

TEST(Mid, CountsCharactersNotBytes) {
  EXPECT_EQ(Mid("#WAV01 a.wav", 2, 3), "WAV");
  EXPECT_EQ(Mid("#WAV01 a.wav", 8), "a.wav");
  EXPECT_EQ(Mid("abc", 3, 10), "c");
  EXPECT_EQ(Mid("abc", 4), "");
  EXPECT_EQ(Mid("abc", 0, 2), "ab");  // start 0 reads as 1
  EXPECT_EQ(Mid("#TITLE テスト曲", 8, 2), "テス");
  EXPECT_EQ(Mid("#TITLE テスト曲", 10), "ト曲");
  EXPECT_EQ(Mid("テスト", 4), "");
  EXPECT_EQ(Mid("テスト", 2, 0), "");
  EXPECT_EQ(Left("曲ab", 2), "曲a");
  EXPECT_EQ(CharCount("曲ab"), 3u);
}

TEST(UpperCase, FoldsAsciiLatin1AndFullWidthLetters) {
  EXPECT_EQ(UpperCase("#title abc"), "#TITLE ABC");
  EXPECT_EQ(UpperCase("#wav01 é÷ÿ ｂ てすと"), "#WAV01 É÷ÿ Ｂ てすと");
  EXPECT_EQ(UpperCase(""), "");
}

TEST(NormalizeLineEnds, TurnsLoneLineEndsIntoCrLf) {
  std::string lf = "a\nb\n";
  NormalizeLineEnds(lf);
  EXPECT_EQ(lf, "a\r\nb\r\n");
  std::string cr = "a\rb";
  NormalizeLineEnds(cr);
  EXPECT_EQ(cr, "a\r\nb");
  std::string lf_cr = "a\n\rb";  // each end on its own
  NormalizeLineEnds(lf_cr);
  EXPECT_EQ(lf_cr, "a\r\n\r\nb");
  std::string mixed = "a\nb\r\nc\rd";  // one CR LF: left as it is
  NormalizeLineEnds(mixed);
  EXPECT_EQ(mixed, "a\nb\r\nc\rd");
}

TEST(SplitCrLf, SplitsAtCrLfUpToALimit) {
  EXPECT_EQ(SplitCrLf("a\r\nb\r\n"), (Pieces{"a", "b", ""}));
  EXPECT_EQ(SplitCrLf(""), (Pieces{""}));
  EXPECT_EQ(SplitCrLf("a\nb\rc"), (Pieces{"a\nb\rc"}));
  EXPECT_EQ(SplitCrLf("a\r\nb\r\nc\r\nd", 2), (Pieces{"a", "b\r\nc\r\nd"}));
  EXPECT_EQ(SplitCrLf("a\r\nb", 1), (Pieces{"a\r\nb"}));
  EXPECT_EQ(SplitCrLf("a\r\nb", 5), (Pieces{"a", "b"}));
}

}  // namespace
}  // namespace quillon
