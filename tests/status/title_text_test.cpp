#include "playback/title_text.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(StatusTextTest, TimeLineWithAndWithoutMilliseconds) {
  const double elapsed = 83456.0;  // 1:23.456
  const int32_t total = 135000;    // 2:15
  EXPECT_EQ(TimeLineText(5, 30, elapsed, total, false), "[005/030] 01:23/02:15");
  EXPECT_EQ(TimeLineText(5, 30, elapsed, total, true), "[005/030] 01:23:456/02:15");
  // Rounded to whole milliseconds, halves to even; wide numbers keep their digits.
  EXPECT_EQ(TimeLineText(1234, 999, 999.5, 6000000, true), "[1234/999] 00:01:000/100:00");
}

TEST(StatusTextTest, StatusLineAndDrawRatio) {
  EXPECT_EQ(StatusLineText(150, 30, 12), "BPM:150 Drw:25%(30FPS) LP:12");
  EXPECT_EQ(StatusLineText(150, 30, 0), "BPM:150 Drw:25%(30FPS) LP:0");
  EXPECT_EQ(DrawRatioText(1, 10), "13%");  // 12.5 rounds away from zero
  EXPECT_EQ(DrawRatioText(60, 0), "0%");
  // Tempos that are not whole show up to two decimals; whole ones read as before.
  EXPECT_EQ(StatusLineText(155.5, 30, 12), "BPM:155.5 Drw:24%(30FPS) LP:12");
  EXPECT_EQ(StatusLineText(133.3333, 30, 0), "BPM:133.33 Drw:28%(30FPS) LP:0");
  EXPECT_EQ(StatusLineText(149.999, 30, 0), "BPM:150 Drw:25%(30FPS) LP:0");
  const std::pair<double, std::string> tempos[] = {{0.1, "0.1"},
                                                   {-0.001, "0"},
                                                   {120.05, "120.05"},
                                                   {1e20, "1" + std::string(20, '0')},
                                                   {std::nan(""), "0"}};
  for (const auto& [bpm, text] : tempos)
    EXPECT_EQ(TempoText(bpm), text) << bpm;
  EXPECT_EQ(DrawRatioText(60, 1e-300), "1000000000000000%");  // clamped, not overflowing
}

TEST(StatusTextTest, InfoLineMarksAndRank) {
  EXPECT_EQ(InfoLineText(3, 2, 1, "★", "☆"), "[★★★☆☆☆] [NORMAL] [1player]");
  EXPECT_EQ(InfoLineText(0, 0, 2, "*", "-"), "[------] [VERY HARD] [2player]");
  EXPECT_EQ(InfoLineText(9, 4, 1, "*", "-"), "[******] [?] [1player]");
  EXPECT_EQ(InfoLineText(-1, -1, 1, "*", "-"), "[------] [?] [1player]");
  EXPECT_EQ(RankWord(1), "HARD");
  EXPECT_EQ(RankWord(3), "EASY");
}

TEST(StatusTextTest, TitleScrollsThroughEveryCharacter) {
  const std::string text = "abcdefghijkl";
  TitleScrollStep step = ScrollTitle(text, 0);
  EXPECT_EQ(step.Position, 1);
  EXPECT_EQ(step.Caption, "[Quillon] abcdefghijkla");
  for (int i = 2; i <= 12; ++i)
    step = ScrollTitle(text, step.Position);
  EXPECT_EQ(step.Position, 12);
  EXPECT_EQ(step.Caption, "[Quillon] labcdefghijkl");
  EXPECT_EQ(ScrollTitle(text, step.Position).Position, 1);  // starts over
  EXPECT_FALSE(ScrollTitle("", 0).Changed);
  // Positions count characters, not bytes.
  const std::string japanese = WindowTitleText("ジ", "曲", "人");
  EXPECT_EQ(CharacterCount(japanese), 12);
  EXPECT_EQ(ScrollTitle(japanese, 1).Caption, "[Quillon] ジ) 曲 / 人   (ジ");
  // A subtitle follows the title.
  EXPECT_EQ(WindowTitleText("G", "Song", "A", "[ANOTHER]"), "(G) Song [ANOTHER] / A   ");
  EXPECT_EQ(WindowTitleText("G", "Song", "A", ""), "(G) Song / A   ");
}

TEST(StatusTextTest, DockingFollowsTheMainWindow) {
  // A panel on the right is moved along when the main window is dragged right.
  DockMemory memory{100, 200, 400};
  DockResult r = DockPanel({250, 100, 400, 600, 150, 1280}, memory);
  EXPECT_TRUE(r.Move);
  EXPECT_EQ(r.PanelLeft, 650);
  EXPECT_EQ(r.PanelTop, 100);
  EXPECT_EQ(r.Memory.LastDockLeft, 250);
  // A panel on the left stays on the left, and stays there next time too.
  r = DockPanel({300, 50, 400, 50, 150, 1280}, memory);
  EXPECT_EQ(r.PanelLeft, 150);
  r = DockPanel({200, 50, 400, 150, 150, 1280}, r.Memory);
  EXPECT_EQ(r.PanelLeft, 50);
  // Nothing moves while the main window does not.
  EXPECT_FALSE(DockPanel({200, 50, 400, 50, 150, 1280}, r.Memory).Move);
}

TEST(StatusTextTest, TheDockedPanelNeverCoversTheMainWindow) {
  const DockMemory memory{100, 200, 400};
  // No room right of the window near the screen's edge: it goes to the left side instead.
  DockResult r = DockPanel({900, 100, 300, 650, 150, 1280, 500, 400, 1024}, memory);
  EXPECT_EQ(r.PanelLeft, 750);
  EXPECT_EQ(r.PanelTop, 100);
  // A left panel with no room left of a window at the screen's left edge goes to its right.
  r = DockPanel({0, 100, 400, 50, 150, 1280, 500, 400, 1024}, memory);
  EXPECT_EQ(r.PanelLeft, 400);
  // Room on neither side: below the window, from its left edge; above when below is off-screen.
  r = DockPanel({100, 40, 1100, 1300, 150, 1280, 500, 400, 1024}, memory);
  EXPECT_EQ(r.PanelLeft, 100);
  EXPECT_EQ(r.PanelTop, 540);
  r = DockPanel({100, 600, 1100, 1300, 150, 1280, 300, 400, 1024}, memory);
  EXPECT_EQ(r.PanelLeft, 100);
  EXPECT_EQ(r.PanelTop, 200);
  // Nowhere free on the screen: against the screen's edge on its side, as before.
  r = DockPanel({100, 40, 1100, 1300, 150, 1280, 900, 400, 1024}, memory);
  EXPECT_EQ(r.PanelLeft, 1130);
  EXPECT_EQ(r.PanelTop, 40);
}

}  // namespace
}  // namespace quillon
