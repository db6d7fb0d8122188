// The note display on a 512 x 512 display: lanes, notes, zone blocks, separators, command dots,
// frame skipping, skins, and the BGA picture under it all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include <string>
#include <tuple>
#include <vector>

#include "chart/loader.h"
#include "playback/headless.h"
#include "playback/note_display.h"
#include "playback/play_engine.h"

namespace quillon {
namespace {

constexpr QRgb kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u;
constexpr QRgb kCyan = 0xFF00C0FFu, kGrey = 0xFF808080u, kGreen = 0xFF00FF00u;
constexpr QRgb kZoneTop = 0xFFFFA010u;
constexpr int kSize = 512, kJudgeY = kSize - 5;

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_dir.isValid());
    surfaces.DisplayWidth = surfaces.DisplayHeight = kSize;
    display.DisplayWidth = display.DisplayHeight = kSize;
    display.LoadSkins("", data_dir.path().toStdString());
    surfaces.CreateSurface(sprite.Dc, sprite.Bitmap, 0, 0, 0, "SpriteDC");
    surfaces.CreateSurface(bga.Dc, bga.Bitmap, 256, 256, 0, "BGADC");
  }
  void Load(const std::string& text) {
    LoadView load_view;
    ChartLoader(chart, load_view, flags, nullptr, {}).LoadBmsBytes("/x/a.bms", text, false);
    display.SetLaneLayout(chart.Header.SevenKeys ? 1 : 0);
  }
  // Draws a frame at `position`, never skipped.
  void DrawAt(double position) {
    engine.PlayPosition = position;
    display.LastDrawnPosition = position - 1000;
    display.DrawFrame(engine, chart, sprite.Dc, bga.Dc, nullptr);
  }
  QRgb At(int x, int y) { return surfaces.Image(sprite.Dc)->pixel(x, y); }

  QTemporaryDir data_dir;
  SurfaceRegistry surfaces;
  ElementFlags flags = ElementFlags::FirstStart();
  Chart chart;
  StillClock clock;
  HeadlessView view;
  SilentSounds sounds;
  PlayEngine engine{chart, flags, clock, view, sounds};
  NoteDisplay display{surfaces, flags};
  SurfacePair sprite, bga;
};

TEST_F(DisplayTest, LanesInBothLayouts) {
  // Every note channel a chart can hold: its five-key x, seven-key x and colour.
  const std::tuple<int, int, int, QRgb> lanes[] = {
      {11, 11, 38, kWhite},   {12, 22, 59, kCyan},   {13, 33, 76, kWhite},   {14, 44, 97, kCyan},
      {15, 55, 114, kWhite},  {16, 77, 1, kRed},     {18, 66, 135, kCyan},   {19, 77, 152, kWhite},
      {21, 121, 228, kWhite}, {22, 132, 249, kCyan}, {23, 143, 266, kWhite}, {24, 154, 287, kCyan},
      {25, 165, 304, kWhite}, {26, 187, 363, kRed}};
  // One note per lane, each in its own sixteenth of measure 1: at zoom 1 the note in slot k,
  // 192 + 12 k units ahead, is drawn that many pixels above the judge line.
  std::string text = "#BPM 120";
  for (size_t k = 0; k < std::size(lanes); ++k) {
    std::string data(32, '0');
    data[2 * k + 1] = '1';
    text += "\n#001" + std::to_string(std::get<0>(lanes[k])) + ":" + data;
  }
  Load(text);
  for (bool seven : {false, true}) {
    chart.Header.SevenKeys = seven;
    display.SetLaneLayout(seven ? 1 : 0);
    DrawAt(0);
    int y = kJudgeY - 192;
    for (const auto& [channel, x5, x7, colour] : lanes) {
      const int x = seven ? x7 : x5;
      SCOPED_TRACE("channel " + std::to_string(channel) + (seven ? " seven" : " five"));
      EXPECT_EQ(At(x, y), colour);
      EXPECT_EQ(At(x - 1, y), kBlack);
      EXPECT_EQ(At(x, y - 1), kBlack);
      // Seven-key black keys are 16 pixels wide, every other note at least 20.
      EXPECT_EQ(At(x + 16, y) == kBlack, seven && colour == kCyan);
      y -= 12;
    }
  }
}

TEST_F(DisplayTest, HiddenHidesNearNotesSuddenFarOnesNeitherSeparators) {
  Load("#BPM 120\n#00111:01\n#00211:01");  // notes at 192 and 384
  flags.Set(Element::Separators, true);
  for (int both = 0; both < 4; ++both) {
    const bool hidden = both & 1, sudden = both & 2;
    SCOPED_TRACE(both);
    flags.Set(Element::Hidden, hidden);
    flags.Set(Element::Sudden, sudden);
    DrawAt(144);  // 48 and 240 pixels above the judge line: either side of 0.4 x 512
    EXPECT_EQ(At(11, kJudgeY - 48), hidden ? kBlack : kWhite);
    EXPECT_EQ(At(11, kJudgeY - 240), sudden ? kBlack : kWhite);
    EXPECT_EQ(At(0, kJudgeY - 48 + 5), kGrey);  // measure 1's bar line
  }
}

TEST_F(DisplayTest, ZoneBlockIsABeatTallAndStaysWhilePassingTheJudgeLine) {
  Load("#BPM 120\n#00117:01\n#00211:01");  // a zone at 192, a note at 384
  const int y = kJudgeY - 192;
  for (float zoom : {2.0f, 1.0f}) {
    display.Zoom = zoom;
    DrawAt(192 - 192 / zoom);
    const int top = y + 5 - static_cast<int>(48 * zoom);
    EXPECT_EQ(At(77, top - 1), kBlack) << zoom;
    EXPECT_EQ(At(77, top), kZoneTop) << zoom;
    EXPECT_NE(At(77, y + 4), kBlack) << zoom;
    EXPECT_EQ(At(77, y + 5), kBlack) << zoom;
  }
  // Played and 10 units past the judge line: still drawn, over the judge strip.
  for (BmsObject& object : chart.ObjectTable)
    object.Played = object.Position <= 202;
  DrawAt(202);
  EXPECT_EQ(At(77, kJudgeY + 10 - 48 + 5), kZoneTop);
  EXPECT_EQ(At(77, kJudgeY + 4), qRgb(255 - 3 * 37, 160 - 3 * 37, 16));  // row 37 of the block
}

TEST_F(DisplayTest, SeparatorsAndCommandDots) {
  Load("#BPM 120\n#00103:78\n#00104:02\n#00211:01");
  flags.Set(Element::Separators, true);
  flags.Set(Element::Commands, true);
  const int y = kJudgeY - 192;  // measure 1's bar line and commands
  DrawAt(0);
  EXPECT_EQ(At(255, y + 5), kGrey);
  // 4 x 2 dots, white for odd channels and cyan for even ones; channel 4's overlaps channel 3's.
  EXPECT_EQ(At(kSize + 2 * 3 - 25, y + 3), kWhite);
  EXPECT_EQ(At(kSize + 2 * 4 - 25, y + 3), kCyan);
  EXPECT_EQ(At(kSize + 2 * 4 - 25 + 4, y + 3), kBlack);
  // Without separators a bar line is a command dot of channel -1.
  flags.Set(Element::Separators, false);
  DrawAt(0);
  EXPECT_EQ(At(0, y + 5), kBlack);
  EXPECT_EQ(At(kSize - 2 - 25, y + 3), kWhite);
}

TEST_F(DisplayTest, FinalBarLineIsNotDrawn) {
  Load("#BPM 120\n#00111:01");
  flags.Set(Element::Separators, true);
  const BmsObject& last = chart.ObjectTable[static_cast<size_t>(chart.ObjectLast)];
  ASSERT_EQ(last.Channel, channel::kBarLine);
  DrawAt(last.Position - 100);
  EXPECT_EQ(At(0, kJudgeY - 100 + 5), kBlack);
}

TEST_F(DisplayTest, SkipsFramesThatWouldNotMoveAPixel) {
  struct : FrameHooks {
    int frames = 0;
    void CountFrame() override { ++frames; }
  } hooks;
  std::vector<int32_t> sleeps;
  display.Hooks = &hooks;
  display.Sleep = [&](int32_t ms) { sleeps.push_back(ms); };
  QImage screen(kSize, kSize, QImage::Format_RGB32);
  const auto draw = [&](double position) {
    screen.fill(Qt::blue);
    engine.PlayPosition = position;
    display.DrawFrame(engine, chart, sprite.Dc, bga.Dc, &screen);
  };
  Load("#BPM 120\n#00111:01");
  draw(100);
  EXPECT_EQ(screen.pixel(11, kJudgeY - 92), kWhite);
  draw(100.4);  // 0.4 pixels on: skipped, with a 1 ms wait unless waits are off
  EXPECT_EQ(screen.pixel(11, kJudgeY - 92), qRgb(0, 0, 255));
  EXPECT_EQ(hooks.frames, 1);
  EXPECT_EQ(sleeps, std::vector<int32_t>{1});
  flags.Set(Element::AutoWaitOff, true);
  draw(100.4);
  EXPECT_EQ(sleeps.size(), 1u);
  display.Zoom = 4.0f;  // the same step now moves the display by two pixels
  draw(100.8);
  EXPECT_EQ(hooks.frames, 2);
  EXPECT_EQ(screen.pixel(11, 142), kWhite);  // 507 - 4 x (192 - 100.8) = 142.2
}

TEST_F(DisplayTest, SkinsComeFromTheProgramFolderFirstAndDefaultsAreSaved) {
  const QString data = data_dir.path() + QLatin1Char('/');
  EXPECT_EQ(QImage(data + QStringLiteral("obj.bmp")).pixel(0, 17), kZoneTop);
  QTemporaryDir program;
  QImage own(256, 256, QImage::Format_RGB32);
  own.fill(Qt::black);
  own.setPixel(5, 5, qRgb(1, 2, 3));
  ASSERT_TRUE(own.save(program.path() + QStringLiteral("/5line.bmp"), "BMP"));
  display.LoadSkins(program.path().toStdString(), data_dir.path().toStdString());
  EXPECT_EQ(surfaces.Image(display.BG5Line.Dc)->pixel(5, 5), qRgb(1, 2, 3));
  EXPECT_EQ(QImage(data + QStringLiteral("5line.bmp")).pixel(10, 5), kGrey);  // left alone
  EXPECT_EQ(display.LaneSprite[0], display.NormObj0.Dc);  // the lanes use the remade sprites
}

// Skins are read by the bytes of their path (a program folder named in CP932 works), and a skin
// name taken by a FIFO or a device is passed over, not waited on or read without end.
TEST_F(DisplayTest, SkinsAreReadByTheirPathsBytesAndOddFilesArePassedOver) {
  QTemporaryDir program;
  const std::string folder = program.path().toStdString() + "/\x8b\xc8";  // 曲 in CP932
  std::filesystem::create_directory(folder);
  QImage own(256, 256, QImage::Format_RGB32);
  own.fill(Qt::black);
  own.setPixel(5, 5, qRgb(1, 2, 3));
  QByteArray bmp;
  QBuffer buffer(&bmp);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(own.save(&buffer, "BMP"));
  std::ofstream(folder + "/7line.bmp", std::ios::binary).write(bmp.constData(), bmp.size());
  ASSERT_EQ(::mkfifo((folder + "/5line.bmp").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", folder + "/obj.bmp");
  display.LoadSkins(folder, data_dir.path().toStdString());
  EXPECT_EQ(surfaces.Image(display.BG7Line.Dc)->pixel(5, 5), qRgb(1, 2, 3));
  // For the others the data folder's copies, the drawn defaults, are used.
  EXPECT_EQ(surfaces.Image(display.BG5Line.Dc)->pixel(10, 5), kGrey);
  EXPECT_EQ(surfaces.Image(display.NormObj0.Dc)->pixel(0, 0), kWhite);
}

TEST_F(DisplayTest, BgaLayerOverTheRightAlignedBase) {
  // Red base 1 and black layer 2 with a green square, right-aligned; layer 2 again in measure 2.
  Load("#BPM 120\n#BMP01 a\n#BMP02 b\n#00104:01\n#00107:02\n#00207:02");
  for (auto [id, colour] : {std::pair{1, kRed}, {2, kBlack}}) {
    BgaPictureSlot& slot = chart.BgaPictures[id];
    surfaces.CreateSurface(slot.PictureDc, slot.PictureBitmap, 256, 256, 0, "BGADC");
    QPainter painter(surfaces.Image(slot.PictureDc));
    painter.fillRect(156, 0, 100, 100, QColor(colour));
    if (id == 2) painter.fillRect(200, 10, 20, 20, QColor(kGreen));
  }
  std::vector<std::string> log;
  display.Bga.DebugLog = [&](std::string_view line) { log.emplace_back(line); };
  const auto fire = [&](int m) {  // measure m's switches, as the scheduler fires them
    for (int32_t i = 0; i <= chart.ObjectLast; ++i)
      if (chart.ObjectTable[static_cast<size_t>(i)].Position == 192 * m) engine.FireObject(i);
  };
  const auto bga_at = [&](int x, int y) { return surfaces.Image(bga.Dc)->pixel(x, y); };
  fire(1);
  DrawAt(200);
  EXPECT_EQ(bga_at(155, 50), kBlack);
  EXPECT_EQ(bga_at(240, 50), kRed);  // the layer is black here
  EXPECT_EQ(bga_at(210, 15), kGreen);
  EXPECT_EQ(At(311, 100), kBlack);  // stretched twice over the display
  EXPECT_EQ(At(312, 100), kRed);
  EXPECT_EQ(At(420, 30), kGreen);
  // "BGA" off: the base stays until the next switch (a layer's here) blanks it; one mask is made.
  const int32_t mask = chart.BgaPictures[2].MaskDc;
  flags.Set(Element::Bga, false);
  DrawAt(300);
  EXPECT_EQ(bga_at(240, 50), kRed);
  fire(2);
  DrawAt(400);
  EXPECT_EQ(bga_at(240, 50), kBlack);
  EXPECT_EQ(bga_at(210, 15), kGreen);
  EXPECT_EQ(chart.BgaPictures[2].MaskDc, mask);
  EXPECT_EQ(log, std::vector<std::string>{"MakeLM:2:" + std::to_string(mask)});
}

}  // namespace
}  // namespace quillon

// The tests draw with QPainter and save pictures; the offscreen platform needs no display.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

namespace quillon {
namespace {

TEST_F(DisplayTest, LaneBackgroundIsTransparentWhereTheSkinIsBlack) {
  // The default five-key skin: grey lane lines at x 10, 32, ... and black between them.
  flags.Set(Element::Lines, true);
  surfaces.Image(bga.Dc)->fill(kGreen);
  Load("#BPM 120\r\n#00111:01\r\n");
  for (int height : {kSize, 300}) {  // the stretched skin follows a change of display height
    display.DisplayHeight = height;
    DrawAt(0);
    EXPECT_EQ(At(10, 0), kGrey) << height;
    EXPECT_EQ(At(10, height - 6), kGrey) << height;
    EXPECT_EQ(At(20, 100), kGreen) << height;
  }
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// An extended chart made by hand: bar lines at 0 and 192, then `objects` in position order.
void MakeExtended(Chart& chart, std::vector<BmsObject> objects) {
  chart = Chart{};
  chart.Extended = true;
  chart.BgaPictures.resize(kIdCount36);
  chart.ObjectTable = {{channel::kBarLine, 0, 0, false, 0}};
  for (BmsObject& o : objects)
    chart.ObjectTable.push_back(o);
  chart.ObjectTable.push_back({channel::kBarLine, 1920, 0, false, 10});
  chart.ObjectLast = static_cast<int32_t>(chart.ObjectTable.size()) - 1;
  chart.EndPosition = 1920;
}

QRgb Half(QRgb c) {
  return qRgb(qRed(c) / 2, qGreen(c) / 2, qBlue(c) / 2);
}

TEST_F(DisplayTest, ExtendedLongNotesMinesAndInvisibleNotes) {
  const int16_t mine13 = channel::kMineFirst1 + 2;  // D3: a mine on lane 13
  // A long note on lane 11 from 192 to 288 (its head object on 51), a mine on lane 13 and an
  // invisible note on lane 12 at 300, a long note on lane 14 from 400 to 800 (beyond the display
  // at first).
  MakeExtended(chart, {{51, 192, 1}, {32, 300, 2}, {mine13, 300, 3}, {54, 400, 4}});
  chart.LongNotes = {{11, 192, 288, 1}, {14, 400, 800, 4}};
  display.SetLaneLayout(0);
  const QImage* white = surfaces.Image(display.NormObj0.Dc);
  const QImage* cyan = surfaces.Image(display.NormObj1.Dc);

  // The head has passed the judge line and waits on it; the tail is 48 units (pixels) above.
  DrawAt(240);
  const int tail_y = kJudgeY - 48;
  EXPECT_EQ(At(11, kJudgeY), white->pixel(0, 0));  // the head over the judge strip
  EXPECT_EQ(At(11, tail_y), white->pixel(0, 0));   // the tail
  EXPECT_EQ(At(11 + 10, tail_y + 2), white->pixel(10, 2));
  for (int y : {tail_y + 5, tail_y + 20, kJudgeY - 1})  // the body, dimmer, narrower
    EXPECT_EQ(At(11 + 10, y), Half(white->pixel(10, 2))) << y;
  EXPECT_EQ(At(11 + 1, tail_y + 20), kBlack);
  EXPECT_EQ(At(11 + 10, tail_y - 1), kBlack);  // nothing above the tail
  // The mine 60 units ahead: a red frame around a dark red inside; the invisible note: nothing.
  EXPECT_EQ(At(33, kJudgeY - 60), kRed);
  EXPECT_EQ(At(33 + 10, kJudgeY - 60 + 2), qRgb(96, 0, 0));
  EXPECT_EQ(At(22 + 10, kJudgeY - 60 + 2), kBlack);
  // The second long note from the display's top down: its head at 400 is 160 units ahead.
  EXPECT_EQ(At(44 + 10, kJudgeY - 160 + 2), cyan->pixel(10, 2));
  EXPECT_EQ(At(44 + 10, kJudgeY - 200), Half(cyan->pixel(10, 2)));

  // Sudden hides the far part of the body: rows above 0.4 of the display from the judge line.
  flags.Set(Element::Sudden, true);
  DrawAt(400);
  const int hide_y = kJudgeY - static_cast<int>(0.4 * kSize);
  EXPECT_EQ(At(44 + 10, kJudgeY - 1), Half(cyan->pixel(10, 2)));
  EXPECT_EQ(At(44 + 10, hide_y + 1), Half(cyan->pixel(10, 2)));
  EXPECT_EQ(At(44 + 10, hide_y - 1), kBlack);
  flags.Set(Element::Sudden, false);

  // Once the tail has passed, nothing is left on the lane; the judge strip shows again.
  DrawAt(290);
  for (int y : {0, 200, kJudgeY - 1})
    EXPECT_EQ(At(11 + 10, y), kBlack) << y;
  EXPECT_EQ(At(11 + 10, kJudgeY), kRed);

  // The same objects in a classic chart are no lane notes: nothing on the lanes.
  chart.Extended = false;
  DrawAt(240);
  EXPECT_EQ(At(11 + 10, kJudgeY - 20), kBlack);
  EXPECT_EQ(At(33 + 10, kJudgeY - 60 + 2), kBlack);
}

TEST_F(DisplayTest, SecondLayerOverTheLayerWithBlackTransparent) {
  MakeExtended(chart, {});
  // Base 1 red, layer 2 black with a green square, second layer 1000 (beyond the classic ids)
  // black with a white square that overlaps the green one.
  const std::tuple<int, QRgb, QRect, QRgb> pictures[] = {
      {1, kRed, {}, kRed},
      {2, kBlack, QRect(0, 0, 100, 100), kGreen},
      {1000, kBlack, QRect(50, 50, 100, 100), kWhite}};
  for (const auto& [id, fill, square, ink] : pictures) {
    BgaPictureSlot& slot = chart.BgaPictures[static_cast<size_t>(id)];
    surfaces.CreateSurface(slot.PictureDc, slot.PictureBitmap, 256, 256, 0, "BGADC");
    QImage* picture = surfaces.Image(slot.PictureDc);
    picture->fill(fill);
    QPainter(picture).fillRect(square, QColor(ink));
  }
  chart.ChartHasBga = chart.ChartHasLayer = true;
  engine.CurrentBga = 1;
  engine.CurrentLayer = 2;
  engine.CurrentLayer2 = 1000;
  engine.BgaDirty = true;
  DrawAt(0);
  const auto bga_at = [&](int x, int y) { return surfaces.Image(bga.Dc)->pixel(x, y); };
  EXPECT_EQ(bga_at(10, 10), kGreen);    // the layer alone
  EXPECT_EQ(bga_at(75, 75), kWhite);    // the second layer over the layer
  EXPECT_EQ(bga_at(120, 120), kWhite);  // the second layer over the base
  EXPECT_EQ(bga_at(200, 200), kRed);    // the base through both
  // Ids the table does not hold show nothing and never index past it.
  engine.CurrentLayer2 = 4000;
  engine.BgaDirty = true;
  DrawAt(100);
  EXPECT_EQ(bga_at(120, 120), kRed);
  // The classic reading has no second layer.
  chart.Extended = false;
  engine.CurrentLayer2 = 1000;
  engine.BgaDirty = true;
  DrawAt(200);
  EXPECT_EQ(bga_at(120, 120), kRed);
}

}  // namespace
}  // namespace quillon
