#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/library.h"

namespace quillon {
namespace {

TEST(SearchKey, FoldsWidthAndCaseButKeepsKanaApart) {
  EXPECT_EQ(SearchKey("ＡＢＣ"), "abc");
  EXPECT_EQ(SearchKey("ABC def"), "abc def");
  EXPECT_EQ(SearchKey("ｶﾞｰﾙ"), SearchKey("ガール"));  // half-width kana and its voiced mark
  EXPECT_EQ(SearchKey("ÀÉΣ"), "àéσ");
  EXPECT_EQ(SearchKey("１２３　Ｘ"), "123 x");  // full-width digits and space
  EXPECT_NE(SearchKey("かな"), SearchKey("カナ"));
  EXPECT_EQ(SearchKey(""), "");
  // Bytes that are no UTF-8 still give a key, never a crash.
  EXPECT_FALSE(SearchKey("\x82\xa0\xff").empty());
}

ChartRecord Row(std::string title, std::string artist, std::string folder, int32_t mode = 7,
                int32_t level = 5) {
  ChartRecord row;
  row.Title = std::move(title);
  row.Artist = std::move(artist);
  row.Folder = std::move(folder);
  row.Mode = mode;
  row.PlayLevel = level;
  return row;
}

class LibrarySearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ChartRecord> rows;
    rows.push_back(Row("Quiet Night", "Artist A", "/bms/quiet/", 7, 3));
    rows.push_back(Row("ガールズ", "作者", "/bms/girls/", 5, 8));
    // A CP932 folder name: "曲" is 0x8B 0xC8.
    rows.push_back(Row("Other", "Someone", "/bms/\x8B\xC8/", 14, 12));
    rows.back().Genre = "TECHNO";
    rows.back().SubTitle = "[ANOTHER]";
    rows.push_back(Row("night", "x", "/bms/n/", 7, 120));
    search.Reset(std::move(rows));
  }
  std::vector<int32_t> Find(std::string_view text, LibraryFilter filter = {}) {
    return search.Find(text, filter);
  }
  LibrarySearch search;
};

TEST_F(LibrarySearchTest, EveryWordMustOccurInSomeField) {
  using V = std::vector<int32_t>;
  EXPECT_EQ(Find("night"), (V{0, 3}));
  EXPECT_EQ(Find("ＮＩＧＨＴ"), (V{0, 3}));  // typed full-width
  EXPECT_EQ(Find("  quiet   ARTIST  "), (V{0}));
  EXPECT_EQ(Find("night someone"), V{});
  EXPECT_EQ(Find("ｶﾞｰﾙ"), (V{1}));
  EXPECT_EQ(Find("かーる"), V{});  // hiragana does not find katakana
  EXPECT_EQ(Find("曲"), (V{2}));   // the CP932 folder, decoded
  EXPECT_EQ(Find("techno another"), (V{2}));
  EXPECT_EQ(Find("girls"), (V{1}));  // the folder
  EXPECT_EQ(Find("bms"), (V{0, 1, 2, 3}));
}

TEST_F(LibrarySearchTest, NoWordSpansTwoFieldsOrTwoRows) {
  using V = std::vector<int32_t>;
  // Row 0's title ends in "night" and its artist begins with "artist"; row 3 follows row 2's
  // folder name.
  EXPECT_EQ(Find("nightartist"), V{});
  EXPECT_EQ(Find("night\nartist"), (V{0}));  // a line break is a blank: two words
  EXPECT_EQ(Find("/night"), V{});
}

TEST_F(LibrarySearchTest, FiltersAndEmptyText) {
  using V = std::vector<int32_t>;
  EXPECT_EQ(Find(""), (V{0, 1, 2, 3}));
  EXPECT_EQ(Find("   "), (V{0, 1, 2, 3}));
  EXPECT_EQ(Find("", {7, 0, 99}), (V{0, 3}));  // 99: no upper bound, level 120 passes
  EXPECT_EQ(Find("", {0, 4, 12}), (V{1, 2}));
  EXPECT_EQ(Find("night", {7, 1, 10}), (V{0}));
  EXPECT_EQ(Find("", {9, 0, 99}), V{});
  EXPECT_EQ(search.Row(2).Title, "Other");
  search.Reset({});
  EXPECT_EQ(search.Size(), 0);
  EXPECT_EQ(Find("a"), V{});
}

}  // namespace
}  // namespace quillon
