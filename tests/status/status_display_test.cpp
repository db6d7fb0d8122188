#include "playback/status_display.h"
#include "playback/headless.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <algorithm>
#include <functional>
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

// The smallest rectangle holding every pixel of `image` that `belongs` picks; null when none does.
QRect InkBox(const QImage& image, const std::function<bool(QRgb)>& belongs) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (belongs(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
  return box;
}

// A shade of grey, as white or grey text leaves on black where its edges are smoothed.
bool Grey(QRgb c) {
  return qRed(c) > 0 && qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
}

// Where `text` in `font` leaves ink when its line's top-left corner is at `top_left`, as the
// font's own metrics tell it.
QRect TextBox(const QString& text, const QFont& font, const QImage& on, QPoint top_left) {
  const QFontMetrics metrics(font, &on);
  return metrics.tightBoundingRect(text).translated(top_left.x(), top_left.y() + metrics.ascent());
}

// The ink starts where the metrics say; smoothing may take its right and bottom edges a pixel
// either way.
void ExpectAt(const QRect& ink, const QRect& expected) {
  ASSERT_FALSE(ink.isNull());
  EXPECT_EQ(ink.topLeft(), expected.topLeft());
  EXPECT_NEAR(ink.right(), expected.right(), 1);
  EXPECT_NEAR(ink.bottom(), expected.bottom(), 1);
}

QFont Points(const char* family, double points) {
  QFont font(QString::fromUtf8(family));
  font.setPointSizeF(points);
  return font;
}

TEST_F(StatusDisplayTest, StatusWordIsWhiteAt24By4BesideTheIconAndReplacesTheLastOne) {
  const QRgb icon_colour = qRgb(1, 2, 3);
  QImage icon(16, 16, QImage::Format_RGB32);
  icon.fill(icon_colour);
  const QImage& picture = display.PicStatus;
  const auto is_icon = [&](QRgb c) { return c == icon_colour; };
  const QFont font = Points("Arial", 9);

  display.Status("Stopped", icon);
  EXPECT_EQ(InkBox(picture, is_icon), QRect(2, 1, 16, 16));
  ExpectAt(InkBox(picture, Grey), TextBox(QStringLiteral("Stopped"), font, picture, {24, 4}));
  // The word is white: nothing but black, the icon and shades of white, the brightest pure.
  const auto other = [&](QRgb c) { return c != qRgb(0, 0, 0) && !Grey(c) && !is_icon(c); };
  const auto white = [](QRgb c) { return c == qRgb(255, 255, 255); };
  EXPECT_TRUE(InkBox(picture, other).isNull());
  EXPECT_FALSE(InkBox(picture, white).isNull());

  // The next word clears the picture first: no icon, and nothing of the longer word is left.
  display.Status("Paused", QImage());
  EXPECT_TRUE(InkBox(picture, is_icon).isNull());
  ExpectAt(InkBox(picture, Grey), TextBox(QStringLiteral("Paused"), font, picture, {24, 4}));

  // A Japanese word in the Japanese interface font: from x 24 to the end of its last character's
  // advance (a fallback font's glyphs may reach past what its tight metrics say), below y 4, and
  // whole inside the picture.
  display.Texts.InterfaceFont = "MS UI Gothic";
  const QString playing = QStringLiteral("再生しています");
  display.Status(playing.toStdString(), icon);
  const QRect ink = InkBox(picture, Grey);
  const int advance = QFontMetrics(Points("MS UI Gothic", 9), &picture).horizontalAdvance(playing);
  ASSERT_FALSE(ink.isNull());
  EXPECT_NEAR(ink.left(), 24, 1);
  EXPECT_GT(ink.right(), 24 + advance - 4);
  EXPECT_LT(ink.right(), 24 + advance);
  EXPECT_GE(ink.top(), 4);
  EXPECT_LT(ink.bottom(), picture.height());
  EXPECT_LT(24 + advance, picture.width());
}

TEST_F(StatusDisplayTest, TitleViewStacksItsLinesAtTheLeftWithTheGreyInfoLineTopRight) {
  // One colour per line, so each line's ink can be told apart (red + 256 green + 65536 blue).
  constexpr int32_t kGreen = 255 * 256, kBlue = 255 * 65536, kRed = 255;
  display.TitleLines[0].Start = display.TitleLines[0].End = kGreen;
  display.TitleLines[1].End = kBlue;  // a single character takes the end colour
  display.TitleLines[2].End = kRed;
  chart.Header.Genre = "G";
  chart.Header.Title = "T";
  chart.Header.Artist = "A";
  chart.Header.PlayLevel = 3;
  chart.Header.Rank = 2;
  chart.Header.Player = 1;
  const int needed = display.DrawTitleInfo(chart.Header);
  const QImage& picture = display.PicDisplay;
  // Smoothed edges of a pure colour on black keep its hue.
  const auto green = [](QRgb c) { return qGreen(c) > 0 && qRed(c) == 0 && qBlue(c) == 0; };
  const auto blue = [](QRgb c) { return qBlue(c) > 0 && qRed(c) == 0 && qGreen(c) == 0; };
  const auto red = [](QRgb c) { return qRed(c) > 0 && qGreen(c) == 0 && qBlue(c) == 0; };
  const QRect genre = InkBox(picture, green);
  const QRect title = InkBox(picture, blue);
  const QRect artist = InkBox(picture, red);

  // The genre between double quotes on the first line, from the left edge at the top.
  const QFont title_font = Points(display.TitleLines[0].Font.c_str(), display.TitleLines[0].Size);
  ExpectAt(genre, TextBox(QStringLiteral("\"G\""), title_font, picture, {0, 0}));
  // Title and artist below it, each on a line of its own, from the left edge.
  ASSERT_FALSE(title.isNull());
  ASSERT_FALSE(artist.isNull());
  EXPECT_GT(title.top(), genre.bottom());
  EXPECT_GT(artist.top(), title.bottom());
  EXPECT_LE(title.left(), 2);
  EXPECT_LE(artist.left(), 2);
  // The panel's height leaves room for the gauge (15), the status picture (20), the three lines
  // and 10 more.
  EXPECT_GE(needed, 15 + 20 + 10 + (artist.bottom() - genre.top() + 1));

  // The info line: grey (128, 128, 128) in the interface font, right-aligned at the top.
  const QString info = QStringLiteral("[***---] [NORMAL] [1player]");
  const QFont interface_font = Points("Arial", 9);
  const int advance = QFontMetrics(interface_font, &picture).horizontalAdvance(info);
  const QRect grey = InkBox(picture, Grey);
  ExpectAt(grey, TextBox(info, interface_font, picture, {picture.width() - advance, 0}));
  int brightest = 0;
  for (int y = grey.top(); y <= grey.bottom(); ++y)
    for (int x = grey.left(); x <= grey.right(); ++x)
      if (Grey(picture.pixel(x, y))) brightest = std::max(brightest, qRed(picture.pixel(x, y)));
  EXPECT_EQ(brightest, 128);

  // An empty title keeps its line: the artist stays where it was.
  chart.Header.Title.clear();
  display.DrawTitleInfo(chart.Header);
  EXPECT_TRUE(InkBox(picture, blue).isNull());
  EXPECT_EQ(InkBox(picture, red), artist);
}

}  // namespace
}  // namespace quillon
