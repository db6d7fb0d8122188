#include "playback/status_display.h"
#include "playback/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "playback/play_engine.h"

namespace quillon {
namespace {

class StatusDisplayTest : public testing::Test {
 protected:
  Chart chart;
  ElementFlags flags;
  StillClock clock;
  HeadlessView view;
  SilentSounds sounds;
  PlayEngine engine{chart, flags, clock, view, sounds};
  StatusDisplay display{StatusPictureSizes{.PositionBar = QSize(100, 4), .Gauge = QSize(80, 15)}};
};

TEST_F(StatusDisplayTest, TimeLineWithoutMillisecondsRedrawsOncePerSecond) {
  std::vector<std::string> log;
  display.DebugLog = [&](std::string_view line) { log.emplace_back(line); };
  engine.Playing = true;
  display.StartFrameRate(0);
  int redraws = 0;
  for (int frame = 0; frame < 62; ++frame) {
    engine.ElapsedMs = frame * 33.0;
    display.CountFrame(engine.ElapsedMs);
    redraws += display.DrawTimeLine(engine, chart, flags);
    display.DrawStatusLine(engine, chart);
  }
  EXPECT_EQ(redraws, 1);  // at 1023 ms only
  EXPECT_EQ(display.Fps, 31);
  EXPECT_EQ(log, std::vector<std::string>{"31fps"});

  engine.StatusDirty = true;  // a measure or tempo change
  EXPECT_TRUE(display.DrawTimeLine(engine, chart, flags));
  engine.StatusDirty = false;
  flags.Set(Element::MillisecondTimer, true);
  EXPECT_TRUE(display.DrawTimeLine(engine, chart, flags));
  flags.Set(Element::MillisecondTimer, false);
  engine.Playing = false;
  EXPECT_TRUE(display.DrawTimeLine(engine, chart, flags));
  EXPECT_TRUE(display.DrawStatusLine(engine, chart));
}

TEST_F(StatusDisplayTest, PositionBarRampsFillAndBlink) {
  EXPECT_EQ(display.Curpos.pixel(0, 0), qRgb(0, 255, 255));
  EXPECT_EQ(display.Curpos.pixel(50, 3), qRgb(128, 255, 128));  // 127.5 rounds to even
  EXPECT_EQ(display.Curpos.pixel(51, 0), qRgb(0, 0, 0));        // every second column only
  EXPECT_EQ(display.CurposBG.pixel(30, 0), qRgb(38, 128, 90));

  // Half way through a beat: a quarter of the bar filled.
  display.DrawPositionBar(120, 224, true);
  EXPECT_EQ(display.BarWidth, 25);
  EXPECT_FLOAT_EQ(display.BeatFraction, 0.5F);
  EXPECT_EQ(display.PicCurPos.pixel(0, 0), qRgb(0, 255, 255));
  EXPECT_EQ(display.PicCurPos.pixel(30, 0), qRgb(38, 128, 90));
  // The first tenth of a beat blinks the filled part off while playing, not while stopped.
  display.DrawPositionBar(96, 224, true);
  EXPECT_EQ(display.PicCurPos.pixel(0, 0), qRgb(0, 128, 128));
  display.DrawPositionBar(96, 224, false);
  EXPECT_EQ(display.PicCurPos.pixel(0, 0), qRgb(0, 255, 255));
}

TEST_F(StatusDisplayTest, GaugeTakesInputInFifthsAndStopsAt78) {
  display.AddGaugeInput(10);
  std::vector<float> pending;
  for (int32_t now = 0; now < 6; ++now) {
    display.GaugeTimerProc(now);
    pending.push_back(display.GaugePending);
  }
  EXPECT_EQ(pending, (std::vector<float>{8, 7, 6, 5, 4, 4}));
  const float peak = display.GaugePeak;
  display.GaugeTimerProc(1004);
  EXPECT_EQ(display.GaugePeak, peak);  // held for a second
  display.GaugeTimerProc(1005);
  EXPECT_FLOAT_EQ(display.GaugePeak, peak - 1);
  display.GaugeTimerProc(1006);  // the level is above the sunken peak again: it takes it over
  EXPECT_EQ(display.GaugePeak, display.GaugeLevel);

  display.AddGaugeInput(100000);
  float highest = 0;
  for (int32_t now = 2000; now < 2100; ++now) {
    display.GaugeTimerProc(now);
    highest = std::max(highest, display.GaugeLevel);
    if (now == 2000) {
      EXPECT_EQ(display.GaugeLevel, 78.0F);
      EXPECT_EQ(display.PicPolGraph.pixel(0, 14), qRgb(0, 255, 0));
      EXPECT_EQ(display.PicPolGraph.pixel(76, 0), qRgb(255, 0, 0));
    }
  }
  EXPECT_EQ(highest, 78.0F);

  StatusDisplay idle;  // nothing pending: a peak sinks to 0 and rests there
  idle.GaugePeak = 0.5F;
  idle.GaugeTimerProc(2000);
  EXPECT_EQ(idle.GaugePeak, 0.0F);
  EXPECT_EQ(display.PicPolGraph.pixel(79, 0), qRgb(0, 0, 0));
}

TEST_F(StatusDisplayTest, GaugeComesToRestAfterASoundKeepingTheInputTooSmallToShow) {
  EXPECT_TRUE(display.GaugeAtRest());
  display.AddGaugeInput(10);
  EXPECT_FALSE(display.GaugeAtRest());
  int32_t now = 0;
  for (; now < 5000 && !display.GaugeAtRest(); ++now)
    display.GaugeTimerProc(now);
  // The level decays to exactly 0, the peak sinks after its second: at rest within 1.2 s.
  EXPECT_TRUE(display.GaugeAtRest());
  EXPECT_LT(now, 1200);
  EXPECT_EQ(display.GaugeLevel, 0.0F);
  EXPECT_EQ(display.GaugePending, 4.0F);                      // kept for the next sound
  EXPECT_EQ(display.PicPolGraph.pixel(4, 0), qRgb(0, 0, 0));  // only the peak mark at 0 is left
  display.AddGaugeInput(1);  // 5 pending: the next step takes one in
  EXPECT_FALSE(display.GaugeAtRest());
}

TEST_F(StatusDisplayTest, StatusWordAndTitleView) {
  QImage icon(16, 16, QImage::Format_RGB32);
  icon.fill(qRgb(1, 2, 3));
  display.Status("Playing", icon);
  EXPECT_EQ(display.PicStatus.pixel(2, 1), qRgb(1, 2, 3));
  EXPECT_EQ(display.PicStatus.pixel(1, 1), qRgb(0, 0, 0));
  bool white = false;
  for (int x = 24; x < display.PicStatus.width(); ++x)
    for (int y = 4; y < display.PicStatus.height(); ++y)
      white = white || display.PicStatus.pixel(x, y) == qRgb(255, 255, 255);
  EXPECT_TRUE(white);

  chart.Header.Genre = "G";
  chart.Header.Title = "T";
  const int needed = display.DrawTitleInfo(chart.Header);
  EXPECT_GT(needed, 15 + 20 + 10 + 3 * 5);
  bool grey = false;
  const int w = display.PicDisplay.width();
  for (int x = w / 2; x < w; ++x)
    for (int y = 0; y < 12; ++y)
      grey = grey || display.PicDisplay.pixel(x, y) == qRgb(128, 128, 128);
  EXPECT_TRUE(grey);
}

}  // namespace
}  // namespace quillon
