// The frame loop of bitmap output: file names, the bitmap format, and which frames are made.
#include "playback/frame_export.h"
#include "playback/headless.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "chart/loader.h"
#include "support/test_data.h"

namespace quillon {
namespace {

TEST(FrameNames, BaseAndNumbering) {
  EXPECT_EQ(OutputBaseOf("C:\\out\\clip.bmp"), "C:\\out\\clip");
  EXPECT_EQ(OutputBaseOf("C:\\a.b\\out"), "C:\\a.b\\out");
  EXPECT_EQ(OutputBaseOf("/tmp/a.b/out.x.bmp"), "/tmp/a.b/out.x");
  EXPECT_EQ(FrameFileName("/tmp/out", 12), "/tmp/out0012.bmp");
  EXPECT_EQ(FrameFileName("/tmp/out", 12345), "/tmp/out12345.bmp");
}

TEST(WriteBmp24Test, BottomUpRowsPaddedToFourBytes) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(qRgb(1, 2, 3));
  image.setPixel(0, 0, qRgb(10, 20, 30));  // top-left: the start of the last row in the file
  test::TempDir dir;
  const std::string path = (dir.path() / "x.bmp").string();
  std::string error;
  ASSERT_TRUE(WriteBmp24(path, image, error)) << error;
  const std::string bytes = test::ReadFile(path);
  ASSERT_EQ(bytes.size(), 54u + 2 * 12);  // rows of 9 bytes padded to 12
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<int>(bytes[28]), 24);
  EXPECT_EQ(bytes.substr(54 + 12, 3), std::string("\x1e\x14\x0a", 3));  // blue, green, red
  EXPECT_EQ(bytes.substr(54, 3), std::string("\x03\x02\x01", 3));
  EXPECT_FALSE(WriteBmp24("/no/such/folder/x.bmp", image, error));
  EXPECT_NE(error.find("/no/such/folder/x.bmp"), std::string::npos);
}

// One writer for a whole run keeps its buffer: a frame after a larger one must come out exactly
// as a fresh writer writes it, with zero padding where the larger frame had pixels, and the
// pixels packed four at a time must keep their colours and their order.
TEST(WriteBmp24Test, ReusedWriterWritesEachFrameAsAFreshOne) {
  const auto pattern = [](int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        image.setPixel(x, y, qRgb((x * 37 + seed) & 255, (y * 91 + x) & 255, (seed * 7 + y) & 255));
    return image;
  };
  test::TempDir dir;
  BmpWriter writer;
  std::string error;
  const std::string big = (dir.path() / "big.bmp").string();
  ASSERT_TRUE(writer.Write(big, pattern(11, 3, 1), error)) << error;
  const std::string bytes = test::ReadFile(big);
  ASSERT_EQ(bytes.size(), 54u + 3 * 36);  // 33 bytes a row, padded to 36
  // The top row is the file's last: every pixel blue, green, red, the packed ones and the rest.
  const QImage first = pattern(11, 3, 1);
  for (int x = 0; x < 11; ++x) {
    const QRgb p = first.pixel(x, 0);
    const std::string expected{static_cast<char>(qBlue(p)), static_cast<char>(qGreen(p)),
                               static_cast<char>(qRed(p))};
    EXPECT_EQ(bytes.substr(54 + 2 * 36 + 3 * static_cast<size_t>(x), 3), expected) << x;
  }
  EXPECT_EQ(bytes.substr(54 + 33, 3), std::string(3, '\0'));

  for (const QImage& next : {pattern(5, 4, 2), pattern(8, 2, 3), pattern(1, 1, 4)}) {
    const std::string reused = (dir.path() / "reused.bmp").string();
    const std::string fresh = (dir.path() / "fresh.bmp").string();
    ASSERT_TRUE(writer.Write(reused, next, error)) << error;
    ASSERT_TRUE(WriteBmp24(fresh, next, error)) << error;
    EXPECT_EQ(test::ReadFile(reused), test::ReadFile(fresh))
        << next.width() << "x" << next.height();
  }
  // Shorter than the file it replaces: the old bytes do not linger at the end.
  ASSERT_TRUE(writer.Write(big, pattern(1, 1, 5), error)) << error;
  EXPECT_EQ(test::ReadFile(big).size(), 54u + 4);
}

struct Rig {
  Chart chart;
  StillClock clock;
  HeadlessView view;
  SilentSounds sounds;
  ElementFlags flags = ElementFlags::FirstStart();
  PlayEngine engine{chart, flags, clock, view, sounds};
  test::TempDir dir;
  QImage picture{4, 4, QImage::Format_RGB32};
  std::vector<double> positions;  // PlayPosition of every frame drawn

  FrameRun Go(const std::string& text, float fps, const std::string& base_name = "out",
              const std::function<void()>& each_frame = nullptr) {
    LoadView load_view;
    const auto pictures = chart.BgaPictures;  // the loader clears them: a test sets them first
    ChartLoader(chart, load_view, flags).LoadBmsBytes("/x/c.bms", text, false);
    chart.BgaPictures = pictures;
    FrameExportHooks hooks;
    hooks.DrawFrame = [this, each_frame] {
      positions.push_back(engine.PlayPosition);
      if (each_frame) each_frame();
      return &picture;
    };
    return RunFrameLoop(engine, chart, fps, (dir.path() / base_name).string(), hooks);
  }
};

TEST(RunFrameLoopTest, WritesFramesUntilThePositionPassesTheEnd) {
  Rig r;
  // 150 BPM, final bar line at 1920 (measure 10): frames 1 to 545 (frame 545 is at 2180 > 2176).
  const FrameRun run = r.Go("#BPM 150\r\n#00811:01\r\n", 30);
  EXPECT_EQ(r.chart.EndPosition, 1920);
  EXPECT_EQ(run.FrameNumber, 545);
  EXPECT_TRUE(std::filesystem::exists(r.dir.path() / "out0545.bmp"));
  EXPECT_FALSE(std::filesystem::exists(r.dir.path() / "out0546.bmp"));
  EXPECT_TRUE(run.Error.empty());
  EXPECT_DOUBLE_EQ(r.positions.front(), 4.0);
  for (const BmsObject& o : r.chart.ObjectTable)
    EXPECT_FALSE(o.Played);
}

TEST(RunFrameLoopTest, TempoChangeKeepsThePositionContinuous) {
  Rig r;
  // 120 BPM; at 1000 ms (frame 30) the position is 96, where the tempo doubles.
  r.Go("#BPM 120\r\n#00003:00F0\r\n#00111:01\r\n", 30);
  EXPECT_EQ(r.engine.PositionBase, -96);
  EXPECT_NEAR(r.positions[29], 96.0, 1e-9);
  EXPECT_NEAR(r.positions[30], 96.0 + 240 / 1250.0 * (1000.0 / 30), 1e-9);
}

// The window's bitmap output runs whatever the tempo: at a tempo of 0 the position never reaches
// the end, and the run stops at the first frame past the play length (0 here) + 10 s.
TEST(RunFrameLoopTest, AChartThatNeverEndsStopsTenSecondsPastItsLength) {
  Rig r;
  const FrameRun run = r.Go("#00011:01\r\n#00111:01\r\n", 30);  // no #BPM: tempo 0
  EXPECT_TRUE(run.Capped);
  EXPECT_EQ(run.FrameNumber, 301);  // frame 301 lies at 10033 ms
  EXPECT_TRUE(run.Error.empty());
}

// The scheduler of live play switches the pictures: the frame after a switch shows it, and a
// picture the chart has not loaded blanks the base.
TEST(RunFrameLoopTest, FramesShowThePicturesSwitchedBeforeThem) {
  Rig r;
  std::vector<int16_t> bases;
  r.chart.BgaPictures[2].PictureDc = 7;
  // 120 BPM: base 02 at position 48 (500 ms), base 03 (not loaded) at 144 (1500 ms).
  const FrameRun run = r.Go("#BPM 120\r\n#00004:00020003\r\n#00111:01\r\n", 10, "bga",
                            [&] { bases.push_back(r.engine.CurrentBga); });
  ASSERT_GT(run.FrameNumber, 20);
  EXPECT_EQ(bases[3], 0);   // frame 4, 400 ms
  EXPECT_EQ(bases[4], 2);   // 500 ms
  EXPECT_EQ(bases[13], 2);  // 1400 ms
  EXPECT_EQ(bases[14], 0);  // 1500 ms
  EXPECT_TRUE(r.engine.BgaShown);
}

TEST(RunFrameLoopTest, AFrameThatCannotBeWrittenStopsTheRun) {
  Rig r;
  const FrameRun run = r.Go("#BPM 150\r\n#00111:01\r\n", 30, "missing/out");
  EXPECT_EQ(run.FrameNumber, 0);
  EXPECT_NE(run.Error.find("out0001.bmp"), std::string::npos);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(BitmapOutputReport, CountsTheFilesWrittenAndFormatsSizeAndTime) {
  FrameRun run;
  run.FrameNumber = 545;
  run.Bytes = 129446707;  // 123.45 MB
  const std::vector<std::string> lines =
      BitmapOutputReport(run, "/tmp/out/clip", 921654, 125500, 91606);
  const std::vector<std::string> expected = {
      "BitmapOutput Complete ------", "Total 545 frames",           "/tmp/out/clip0001-0545.bmp",
      "123.45MB(921654byte/file)",    "Complete in 2m5.5s (1.37x)", "----------------------------"};
  EXPECT_EQ(lines, expected);

  run.FrameNumber = 12345;
  run.Bytes = 2400ULL * 1048576;
  const auto big = BitmapOutputReport(run, "b", 10, 60000, 0);
  EXPECT_EQ(big[2], "b0001-12345.bmp");
  EXPECT_EQ(big[3], "2,400.00MB(10byte/file)");
  EXPECT_EQ(big[4], "Complete in 1m0s (0.00x)");
}

}  // namespace
}  // namespace quillon
