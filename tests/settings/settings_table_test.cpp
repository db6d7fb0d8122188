#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "support/test_data.h"

namespace quillon {
namespace {

class SettingsTable : public testing::Test {
 protected:
  // A fresh store over a file holding `text`.
  SettingsStore& Store(const std::string& text = "") {
    const std::string path = dir_.Write("s" + std::to_string(files_++) + ".ini", text);
    store_ = std::make_unique<SettingsStore>(QString::fromStdString(path));
    return *store_;
  }

  test::TempDir dir_;
  std::unique_ptr<SettingsStore> store_;
  int files_ = 0;
};

// Settings unlike the built-in ones in every field.
ProgramSettings Changed() {
  ProgramSettings s{true, true, true, true, false, 123456, {}, {false, true, false, true, false}};
  for (int i = 0; i < 3; ++i) {
    s.InfoLines[static_cast<size_t>(i)] = {"Font " + std::to_string(i) + " 游ゴシック",
                                           10.5F + static_cast<float>(i),
                                           true,
                                           true,
                                           0x123456 + i,
                                           0xFF + i};
  }
  s.ExtendedCommands = false;
  return s;
}

// Every field in a line of text, so that a difference shows where it is.
std::string Describe(const ProgramSettings& s) {
  std::string text = std::to_string(s.NotScrollTitle) + std::to_string(s.NotUseMMTimer) +
                     std::to_string(s.AutoEnd) + std::to_string(s.UseSusie) +
                     std::to_string(s.MinimizeSleep) + " " + std::to_string(s.MinimizeSleepTime);
  for (const TitleLineStyle& l : s.InfoLines) {
    text += " [" + l.Font + "|" + std::to_string(l.Size) + "|" + std::to_string(l.Bold) +
            std::to_string(l.Italic) + "|" + std::to_string(l.Start) + "|" + std::to_string(l.End) +
            "]";
  }
  for (const bool item : s.ViewItems)
    text += item ? " 1" : " 0";
  text += s.ExtendedCommands ? " extended" : " classic";
  return text;
}

ProgramSettings ReadAll(const SettingsStore& store, ProgramSettings s) {
  ReadNotScrollTitle(store, s);
  LoadSettings(store, s);
  ReadStartFlags(store, s);
  return s;
}

TEST_F(SettingsTable, FirstStartTakesTheDefaults) {
  EXPECT_EQ(Describe(ReadAll(Store(), Changed())), Describe(ProgramSettings{}));
  const WindowPlacement placement = ReadWindowPlacement(*store_);
  EXPECT_FALSE(placement.Left || placement.Top || placement.Width || placement.Height);
  EXPECT_EQ(placement.State, 0);
  for (const std::optional<int>& item : ReadShowItems(*store_))
    EXPECT_EQ(item, std::nullopt);
}

TEST_F(SettingsTable, EveryKeyRoundTripsUnderItsName) {
  SettingsStore& store = Store();
  const ProgramSettings changed = Changed();
  WriteWindowState(store, 2);
  WriteWindowRect(store, 1234.5, -60, 9600, 7200.25);
  WriteOptionSettings(store, changed);
  WriteInfoLines(store, changed.InfoLines);
  WriteViewItems(store, {false, true, false, true});
  WriteShowItems(store, {0, 1, 2, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 2});
  ASSERT_TRUE(store.Sync());
  // A sample of the written spellings and value forms; the read-back below covers every key.
  const std::string text = test::ReadFile(store.FilePath().toStdString());
  for (const char* line :
       {"[WindowPos]", "MainLeft=1234.5", "MainState=2", "[Setting]", "AutoEnd=1",
        "MinimizeSleep=0", "ExtendedCommands=False", "[InfoView]", "End2=257", "FontSize2=12.5",
        "FontBold1=True", "Start1=1193047", "[View]", "Item0=False", "[Show]", "Item13=2"})
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << text;

  Store(text);  // the next start
  ProgramSettings expected = changed;
  expected.ViewItems[4] = true;  // never written
  EXPECT_EQ(Describe(ReadAll(*store_, ProgramSettings{})), Describe(expected));
  const WindowPlacement p = ReadWindowPlacement(*store_);
  EXPECT_EQ(std::tie(p.Left, p.Top, p.Width, p.Height, p.State),
            std::make_tuple(1234.5, -60.0, 9600.0, 7200.25, 2));
  const std::array<std::optional<int>, 14> show = ReadShowItems(*store_);
  EXPECT_TRUE(show[0] == 0 && show[2] == 2 && show[13] == 2);
}

TEST_F(SettingsTable, UnconvertibleValuesKeepTheCurrentOnes) {
  Store(
      "[Setting]\nMinimizeSleepTime=abc\nAutoEnd=yes\nExtendedCommands=maybe\n[infoview]\nend0="
      "255\nStart0=1e99\n"
      "end1=2147483648\nFontSize0=1e39\nFontSize1=\nfontsize2=20\nStart2=&HFF\nFontBold0=maybe\n"
      "[windowpos]\nmainleft=12abc\nMainTop= 300 \nMainState=5\n"
      "[Show]\nItem0=!\nItem1=abc\nItem2=3\nItem3=1\nItem4=-1\nItem5=1.4\n");
  // Absent keys take the defaults, unconvertible ones keep the values held before.
  const ProgramSettings before = Changed();
  ProgramSettings expected;
  expected.MinimizeSleepTime = before.MinimizeSleepTime;
  expected.AutoEnd = true;
  expected.ExtendedCommands = before.ExtendedCommands;
  expected.InfoLines[0] = {expected.InfoLines[0].Font, 10.5F, true, false,
                           before.InfoLines[0].Start,  255};  // End read as "end0"
  expected.InfoLines[1].Size = 11.5F;
  expected.InfoLines[1].End = before.InfoLines[1].End;
  expected.InfoLines[2].Size = 20;
  expected.InfoLines[2].Start = 255;
  EXPECT_EQ(Describe(ReadAll(*store_, Changed())), Describe(expected));
  const WindowPlacement placement = ReadWindowPlacement(*store_);
  EXPECT_EQ(placement.Left, std::nullopt);
  EXPECT_EQ(placement.Top, 300);
  EXPECT_EQ(placement.State, std::nullopt);
  const std::array<std::optional<int>, 14> show = ReadShowItems(*store_);
  const std::array<std::optional<int>, 6> expected_show = {
      std::nullopt, std::nullopt, std::nullopt, 1, std::nullopt, 1};
  EXPECT_TRUE(std::equal(expected_show.begin(), expected_show.end(), show.begin()));
}

TEST_F(SettingsTable, NotScrollTitleAndMinimizeSleepTakeTheLeadingNumber) {
  const std::pair<const char*, bool> cases[] = {{"2abc", true}, {"abc", false}, {"True", false},
                                                {"-1", true},   {"0.4", true},  {"", false}};
  for (const auto& [text, on] : cases) {
    Store(std::string("[Setting]\nNotScrollTitle=") + text + "\nMinimizeSleep=" + text + "\n");
    ProgramSettings s;
    s.NotScrollTitle = s.MinimizeSleep = !on;
    s = ReadAll(*store_, s);
    EXPECT_EQ(s.NotScrollTitle, on) << text;
    EXPECT_EQ(s.MinimizeSleep, on) << text;
  }
}

TEST(SettingsValueForms, FlagsAndNumbers) {
  const std::pair<const char*, std::optional<bool>> flags[] = {
      {" TRUE ", true}, {"-1", true},          {"&HFF", true},     {"0.0", false},
      {"false", false}, {"yes", std::nullopt}, {"", std::nullopt}, {"1e999", std::nullopt}};
  for (const auto& [text, expected] : flags)
    EXPECT_EQ(ReadFlagValue(text), expected) << '"' << text << '"';

  EXPECT_EQ(NumberText(-0.25) + " " + NumberText(1e20) + " " + NumberText(std::nan("")),
            "-0.25 100000000000000000000 0");
  for (const double v : {1.0 / 3, 0.1, 1e-7, -7200.125})
    EXPECT_EQ(ReadNumberValue(NumberText(v)), v) << NumberText(v);
  EXPECT_EQ(
      std::make_tuple(ReadNumberValue(" 5. "), ReadNumberValue("1D3"), ReadNumberValue("&o17")),
      std::make_tuple(5.0, 1000.0, 15.0));
  for (const char* bad : {"", ".", "1e", "&HG", "1 2", "12abc", "0x10"})
    EXPECT_EQ(ReadNumberValue(bad), std::nullopt) << '"' << bad << '"';
}

}  // namespace
}  // namespace quillon
