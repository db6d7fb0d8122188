#include "settings/recent_charts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_data.h"

namespace quillon {
namespace {

TEST(RecentCharts, StoredPathsComeBackByteForByte) {
  const test::TempDir dir;
  const std::string cp932 = "/bms/\x89\xb9\x8a\x79/\x8b\xc8.bms";  // not UTF-8
  const std::string utf8 = "/bms/曲 100%.bms";
  const std::string control = std::string("/bms/a\tb\nc\x7f.bms");
  EXPECT_EQ(EncodeStoredPath(utf8), "/bms/曲 100%25.bms");  // UTF-8 stays readable
  EXPECT_EQ(EncodeStoredPath(cp932), "/bms/%89%B9%8Ay/%8B%C8.bms");
  const std::vector<std::string> charts = {cp932, utf8, control, "/a/b.bms"};
  {
    SettingsStore store(QString::fromStdString((dir.path() / "Quillon.ini").string()));
    WriteRecentCharts(store, charts);
    ASSERT_TRUE(store.Sync());
  }
  SettingsStore store(QString::fromStdString((dir.path() / "Quillon.ini").string()));
  EXPECT_EQ(ReadRecentCharts(store), charts);
  // Hand-edited entries: broken escapes, empty values and repeats are skipped.
  store.Write(kRecentSection, "Chart4", "%4");
  store.Write(kRecentSection, "Chart5", "/x%zz.bms");
  store.Write(kRecentSection, "Chart6", "%2Fa/b.bms");  // "/a/b.bms" again
  store.Write(kRecentSection, "Chart7", "/last.bms");
  std::vector<std::string> expected = charts;
  expected.push_back("/last.bms");
  EXPECT_EQ(ReadRecentCharts(store), expected);
  for (const char* broken : {"%", "%4", "a%g0", ""})
    EXPECT_FALSE(DecodeStoredPath(broken)) << broken;
}

TEST(RecentCharts, AChartGoesToTheTopOnceAbsoluteAndTheListStopsAtTen) {
  const test::TempDir dir;
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::vector<std::string> list = WithRecentChart({}, "songs/../a.bms");
  std::filesystem::current_path(before);
  ASSERT_EQ(list, std::vector<std::string>{(dir.path() / "a.bms").string()});
  for (int i = 0; i < 12; ++i)
    list = WithRecentChart(list, "/c" + std::to_string(i) + ".bms");
  list = WithRecentChart(list, "/c4.bms");
  EXPECT_EQ(list,
            (std::vector<std::string>{"/c4.bms", "/c11.bms", "/c10.bms", "/c9.bms", "/c8.bms",
                                      "/c7.bms", "/c6.bms", "/c5.bms", "/c3.bms", "/c2.bms"}));
  EXPECT_EQ(WithRecentChart(list, ""), list);
}

}  // namespace
}  // namespace quillon
