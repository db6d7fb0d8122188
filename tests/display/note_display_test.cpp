// Where the note display puts lanes, notes, zone blocks, separators and command dots, and when it
// skips a frame.
#include "playback/note_display.h"

#include <QDir>
#include <QFile>

#include <vector>

#include "display/display_fixture.h"

namespace quillon::testing_display {
namespace {

// One measure-1 line putting a single object in slot `slot` of 16.
std::string SlotLine(int ch, int slot) {
  std::string data;
  for (int k = 0; k < 16; ++k)
    data += k == slot ? "01" : "00";
  return "#001" + std::to_string(ch) + ":" + data;
}

struct LaneCase {
  int channel;
  int x;
  QRgb colour;
};

class NoteDisplayTest : public DisplayTest {
 protected:
  // Each case's object in its own slot of measure 1: slot k lies 12 k pixels above the first.
  void ExpectLanes(const std::vector<LaneCase>& cases, bool seven) {
    std::vector<std::string> lines = {"#BPM 120"};
    for (size_t k = 0; k < cases.size(); ++k)
      lines.push_back(SlotLine(cases[k].channel, static_cast<int>(k)));
    std::string text;
    for (const std::string& line : lines)
      text += line + "\r\n";
    LoadView load_view;
    ChartLoader loader(chart, load_view, flags, nullptr, {});
    loader.LoadBmsBytes("/x/chart.bms", text, false);
    chart.Header.SevenKeys = seven;
    display.SetLaneLayout(seven ? 1 : 0);
    DrawAt(0);
    for (size_t k = 0; k < cases.size(); ++k) {
      const int y = kJudgeY - 192 - 12 * static_cast<int>(k);
      EXPECT_EQ(At(cases[k].x, y), cases[k].colour) << "channel " << cases[k].channel;
      EXPECT_EQ(At(cases[k].x - 1, y), kBlack) << "channel " << cases[k].channel;
    }
  }
};

TEST_F(NoteDisplayTest, FiveKeyLanes) {
  display.SetLaneLayout(0);
  const std::vector<int32_t> x = {11,  22,  33,  44,  55,  77,  77,  66,  77, 110,
                                  121, 132, 143, 154, 165, 187, 187, 176, 187};
  EXPECT_EQ(std::vector<int32_t>(display.LaneX.begin(), display.LaneX.end()), x);
  for (int c = 11; c <= 29; ++c) {
    EXPECT_EQ(display.LaneSprite[c - 11], c % 2 ? display.NormObj0.Dc : display.NormObj1.Dc);
  }
  ExpectLanes({{11, 11, kWhite},
               {12, 22, kCyan},
               {13, 33, kWhite},
               {14, 44, kCyan},
               {15, 55, kWhite},
               {16, 77, kRed},
               {18, 66, kCyan},
               {19, 77, kWhite},
               {21, 121, kWhite},
               {22, 132, kCyan},
               {25, 165, kWhite},
               {26, 187, kRed}},
              false);
}

TEST_F(NoteDisplayTest, SevenKeyLanes) {
  display.SetLaneLayout(1);
  const std::vector<int32_t> x = {38,  59,  76,  97,  114, 1,   1,   135, 152, 211,
                                  228, 249, 266, 287, 304, 363, 363, 342, 351};
  EXPECT_EQ(std::vector<int32_t>(display.LaneX.begin(), display.LaneX.end()), x);
  for (int c = 11; c <= 29; ++c) {
    EXPECT_EQ(display.LaneSprite[c - 11], (c - 11) % 2 ? display.NormObj2.Dc : display.NormObj0.Dc);
  }
  ExpectLanes({{11, 38, kWhite},
               {12, 59, kCyan},
               {13, 76, kWhite},
               {14, 97, kCyan},
               {15, 114, kWhite},
               {16, 1, kRed},
               {18, 135, kCyan},
               {19, 152, kWhite},
               {21, 228, kWhite},
               {22, 249, kCyan},
               {25, 304, kWhite},
               {26, 363, kRed}},
              true);
  // The black key sprite is 16 pixels wide: a 20-pixel transfer leaves the rest alone.
  EXPECT_EQ(At(59 + 16, kJudgeY - 192 - 12), kBlack);
}

TEST_F(NoteDisplayTest, ObjectAheadIsDrawnZoomTimesItsDistanceAboveTheJudgeLine) {
  Load({"#BPM 120", "#00211:01"});  // a note at 384
  DrawAt(192);
  EXPECT_EQ(At(11, kJudgeY - 192), kWhite);
  EXPECT_EQ(At(11, kJudgeY - 193), kBlack);
  display.Zoom = 2.0f;
  DrawAt(384 - 100.25);  // 200.5 pixels above: y = 306.5, and halves go to even
  EXPECT_EQ(At(11, 306), kWhite);
  EXPECT_EQ(At(11, 305), kBlack);
  // The judge line strip sits under the judge line, red with the lane lines through it.
  EXPECT_EQ(At(0, kJudgeY), kRed);
  EXPECT_EQ(At(10, kJudgeY + 4), kGrey);
}

TEST_F(NoteDisplayTest, HiddenAndSuddenHideNotesButNotSeparators) {
  // d = 48 (near the judge line) and d = 300 (beyond 0.4 x 512 = 204.8).
  Load({"#BPM 120", "#00111:01", "#00211:01"});
  flags.Set(Element::Separators, true);
  const double position = 192 - 48;  // notes at 192 and 384
  const int near = kJudgeY - 48, far = kJudgeY - 240;
  const int separator = kJudgeY - 48 + 5;  // bar line of measure 1, with the near note
  DrawAt(position);
  EXPECT_EQ(At(11, near), kWhite);
  EXPECT_EQ(At(11, far), kWhite);
  flags.Set(Element::Hidden, true);
  DrawAt(position);
  EXPECT_EQ(At(11, near), kBlack);
  EXPECT_EQ(At(11, far), kWhite);
  flags.Set(Element::Sudden, true);
  DrawAt(position);
  EXPECT_EQ(At(11, near), kBlack);
  EXPECT_EQ(At(11, far), kBlack);
  EXPECT_EQ(At(0, separator), kGrey);
  EXPECT_EQ(At(255, separator), kGrey);
  flags.Set(Element::Hidden, false);
  DrawAt(position);
  EXPECT_EQ(At(11, near), kWhite);
  EXPECT_EQ(At(11, far), kBlack);
}

TEST_F(NoteDisplayTest, ZoneBlockCoversTheFollowingBeatAndStaysWhilePassingTheJudgeLine) {
  Load({"#BPM 120", "#00117:01", "#00211:01", "#00311:01"});  // zone at 192, notes at 384, 576
  DrawAt(0);
  const int y = kJudgeY - 192;
  EXPECT_EQ(At(77, y - 48 + 5), kZoneTop);
  EXPECT_NE(At(77, y + 4), kZoneTop);  // a vertical gradient
  EXPECT_NE(At(77, y + 4), kBlack);
  EXPECT_EQ(At(77, y - 48 + 4), kBlack);
  EXPECT_EQ(At(77, y + 5), kBlack);
  EXPECT_EQ(At(77 + 35, y), At(77, y));
  EXPECT_EQ(At(77 + 36, y), kBlack);

  display.Zoom = 2.0f;
  DrawAt(96);  // still 192 pixels away; the block is 96 tall
  EXPECT_EQ(At(77, y - 96 + 5), kZoneTop);
  EXPECT_EQ(At(77, y - 96 + 4), kBlack);
  EXPECT_EQ(At(77, y + 5), kBlack);

  // Played and 10 units past the judge line: the block keeps being drawn over the judge strip
  // while the note beyond it keeps the display's visibility on.
  display.Zoom = 1.0f;
  PlayUpTo(202);
  DrawAt(202);
  EXPECT_EQ(At(77, kJudgeY + 10 - 48 + 5), kZoneTop);
  EXPECT_EQ(At(77, kJudgeY + 4), qRgb(255 - 3 * 37, 160 - 3 * 37, 16));  // row 37 of the block
  // The top-most note hidden by Sudden turns the block off from the next frame on.
  flags.Set(Element::Sudden, true);
  DrawAt(203);
  DrawAt(204);
  EXPECT_EQ(At(77, kJudgeY + 12 - 48 + 5), kBlack);
  // A played note is not drawn at all.
  flags.Set(Element::Sudden, false);
  First(11).Played = true;
  DrawAt(384 - 10);
  EXPECT_EQ(At(11, kJudgeY - 10), kBlack);
}

TEST_F(NoteDisplayTest, SeparatorsAndCommandDots) {
  Load({"#BPM 120", "#00103:78", "#00104:02", "#00211:01"});
  const int y = kJudgeY - 192;  // measure 1's bar line and commands
  DrawAt(0);
  EXPECT_EQ(At(0, y + 5), kBlack);  // both off by default
  EXPECT_EQ(At(kSize + 6 - 25, y + 3), kBlack);
  flags.Set(Element::Separators, true);
  flags.Set(Element::Commands, true);
  DrawAt(0);
  EXPECT_EQ(At(0, y + 5), kGrey);
  EXPECT_EQ(At(255, y + 5), kGrey);
  EXPECT_EQ(At(0, y + 4), kBlack);
  EXPECT_EQ(At(kSize + 6 - 25, y + 3), kWhite);  // channel 3: odd
  EXPECT_EQ(At(kSize + 6 - 25 + 1, y + 3), kWhite);
  EXPECT_EQ(At(kSize + 8 - 25, y + 3), kCyan);  // channel 4: even, over channel 3's right half
  EXPECT_EQ(At(kSize + 8 - 25 + 3, y + 4), qRgb(0, 64, 64));  // the sprite's 4 x 2 corner
  EXPECT_EQ(At(kSize + 8 - 25 + 4, y + 3), kBlack);
  EXPECT_EQ(At(kSize + 8 - 25, y + 5), kBlack);
  // Without separators a bar line is a command dot of channel -1.
  flags.Set(Element::Separators, false);
  DrawAt(0);
  EXPECT_EQ(At(kSize - 2 - 25, y + 3), kWhite);
  EXPECT_EQ(At(0, y + 5), kBlack);
}

TEST_F(NoteDisplayTest, FinalBarLineAndObjectsAboveTheTopEdgeAreNotDrawn) {
  Load({"#BPM 120", "#00111:01"});
  flags.Set(Element::Separators, true);
  const BmsObject& last = chart.ObjectTable[static_cast<size_t>(chart.ObjectLast)];
  ASSERT_EQ(last.Channel, channel::kBarLine);
  DrawAt(last.Position - 100);
  EXPECT_EQ(At(0, kJudgeY - 100 + 5), kBlack);
  // The walk stops at the first object above the top edge even when later ones are lower.
  chart.ObjectTable[0].Position = 10000;
  chart.ObjectTable[0].Channel = 11;
  engine.PlayCursor = 0;
  DrawAt(192 - 20);
  EXPECT_EQ(At(11, kJudgeY - 20), kBlack);
  chart.ObjectTable[0].Position = 0;
  DrawAt(192 - 20);
  EXPECT_EQ(At(11, kJudgeY - 20), kWhite);
}

class CountingHooks : public FrameHooks {
 public:
  int frames = 0, status = 0;
  void CountFrame() override { ++frames; }
  void DrawStatusArea() override { ++status; }
};

TEST_F(NoteDisplayTest, SkipsFramesThatWouldNotMoveAPixel) {
  Load({"#BPM 120", "#00111:01"});
  CountingHooks hooks;
  std::vector<int32_t> sleeps;
  display.Hooks = &hooks;
  display.Sleep = [&](int32_t ms) { sleeps.push_back(ms); };
  QImage screen(kSize, kSize, QImage::Format_RGB32);
  screen.fill(Qt::blue);
  DrawAt(100, &screen);
  EXPECT_EQ(screen.pixel(11, kJudgeY - 92), kWhite);
  EXPECT_EQ(screen, Frame());
  EXPECT_EQ(hooks.frames, 1);
  EXPECT_EQ(hooks.status, 1);

  engine.PlayPosition = 100.4;
  display.DrawFrame(engine, chart, sprite.Dc, bga.Dc, &screen);
  EXPECT_EQ(display.LastDrawnPosition, 100.4);
  EXPECT_EQ(sleeps, std::vector<int32_t>{1});
  EXPECT_EQ(hooks.frames, 1);
  EXPECT_EQ(screen.pixel(11, kJudgeY - 92), kWhite);
  flags.Set(Element::AutoWaitOff, true);
  display.DrawFrame(engine, chart, sprite.Dc, bga.Dc, &screen);
  EXPECT_EQ(sleeps.size(), 1u);

  // At zoom 4 the same step moves the display by two pixels.
  display.Zoom = 4.0f;
  engine.PlayPosition = 100.8;
  display.DrawFrame(engine, chart, sprite.Dc, bga.Dc, &screen);
  EXPECT_EQ(hooks.frames, 2);
  EXPECT_EQ(screen.pixel(11, 142), kWhite);  // 507 - 4 x (192 - 100.8) = 142.2

  // Minimised: the frame is drawn but not counted.
  engine.Minimized = true;
  DrawAt(20);
  EXPECT_EQ(hooks.frames, 2);
  EXPECT_EQ(hooks.status, 3);
}

TEST_F(NoteDisplayTest, ObjectsOffInFullScreenRedrawsOnlyForABgaChange) {
  Load({"#BPM 120", "#00111:01"});
  DrawAt(0);
  flags.Set(Element::Objects, false);
  display.FullScreenOn = true;
  DrawAt(50);
  EXPECT_EQ(At(11, kJudgeY - 192), kWhite);  // the old frame stays
  engine.BgaDirty = true;
  DrawAt(60);
  EXPECT_EQ(At(11, kJudgeY - 192), kBlack);
  EXPECT_EQ(At(0, kJudgeY), kBlack);  // no lanes, no judge strip either
}

TEST_F(NoteDisplayTest, LaneBackgroundsAreTransparentWhereBlack) {
  flags.Set(Element::Lines, true);
  QImage blue(256, 256, QImage::Format_RGB32);
  blue.fill(qRgb(0, 0, 255));
  BitBlt(surfaces.Image(bga.Dc), 0, 0, 256, 256, &blue, 0, 0, RasterOp::Copy);
  Load({"#BPM 120", "#00111:01"});
  DrawAt(0);
  EXPECT_EQ(At(10, 0), kGrey);
  EXPECT_EQ(At(10, kJudgeY - 1), kGrey);
  EXPECT_EQ(At(11, 100), qRgb(0, 0, 255));
  EXPECT_EQ(At(300, 100), qRgb(0, 0, 255));
  // Seven keys: the lane skin twice, 190 pixels apart, and the judge strip in two parts.
  Load({"#BPM 120", "#00118:01"});
  DrawAt(0);
  const QRgb lines7 = qRgb(128, 128, 152);
  EXPECT_EQ(At(37, 100), lines7);
  EXPECT_EQ(At(37 + 190, 100), lines7);
  EXPECT_EQ(At(10, 100), qRgb(0, 0, 255));
  EXPECT_EQ(At(171, kJudgeY), kRed);
  EXPECT_EQ(At(172, kJudgeY), lines7);
  EXPECT_EQ(At(173, kJudgeY), qRgb(0, 0, 255));
  EXPECT_EQ(At(227, kJudgeY), lines7);  // from x 37 of the skin
  EXPECT_EQ(At(226, kJudgeY), qRgb(0, 0, 255));
}

TEST_F(NoteDisplayTest, SkinsComeFromTheProgramFolderFirstAndDefaultsAreSaved) {
  const QString data = data_dir.path();
  for (const char* name : {"5line.bmp", "7line.bmp", "obj.bmp"})
    EXPECT_TRUE(QFile::exists(data + QLatin1Char('/') + QLatin1String(name))) << name;
  QImage saved(data + QStringLiteral("/obj.bmp"));
  EXPECT_EQ(saved.size(), QSize(256, 80));
  EXPECT_EQ(saved.pixel(0, 17), kZoneTop);

  // A program folder skin wins; the data folder's copy stays as it was.
  QTemporaryDir program;
  QImage own(256, 256, QImage::Format_RGB32);
  own.fill(Qt::black);
  own.setPixel(5, 5, qRgb(1, 2, 3));
  ASSERT_TRUE(own.save(program.path() + QStringLiteral("/5line.bmp"), "BMP"));
  display.LoadSkins(program.path().toStdString(), data.toStdString());
  const QImage* picture = surfaces.Image(display.BG5Line.Dc);
  const QImage* mask = surfaces.Image(display.BG5LineMask.Dc);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->pixel(5, 5), qRgb(1, 2, 3));
  EXPECT_EQ(picture->pixel(10, 5), kBlack);
  EXPECT_EQ(mask->pixel(5, 5), kBlack);
  EXPECT_EQ(mask->pixel(10, 5), kWhite);
  EXPECT_EQ(QImage(data + QStringLiteral("/5line.bmp")).pixel(10, 5), kGrey);
  // The lane table follows the remade sprites.
  EXPECT_EQ(display.LaneSprite[0], display.NormObj0.Dc);

  // A data folder that cannot be made: the defaults are used all the same.
  display.LoadSkins("", "/proc/no/such/folder");
  ASSERT_NE(surfaces.Image(display.ScrObj.Dc), nullptr);
  EXPECT_EQ(surfaces.Image(display.ScrObj.Dc)->size(), QSize(36, 4));
  EXPECT_EQ(surfaces.Image(display.ScrObj.Dc)->pixel(0, 0), kRed);
  EXPECT_EQ(surfaces.Image(display.SepObj.Dc)->pixel(100, 0), kGrey);
}

}  // namespace
}  // namespace quillon::testing_display
