// Movies named by #BMP on the BGA: which file is taken, which frame shows when, in bitmap output
// (decoded exactly, the same on every run) and in live play (a decoder thread ahead of the
// clock), and what a movie that cannot play leaves.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "app/render_frames_command.h"
#include "chart/recording_view.h"
#include "chart_resources/resource_loader.h"
#include "playback/frame_export.h"
#include "playback/headless.h"
#include "playback/note_display.h"
#include "playback/play_engine.h"
#include "playback/sound_backend.h"
#include "support/test_clip.h"
#include "support/test_data.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

// 120 BPM, a measure is 2 s. The base movie (30 frames at 10 fps) starts at measure 1 (2 s) and
// ends at 5 s; at measure 3 (6 s) the base becomes a red picture and the layer a movie whose
// first ten frames are black. The chart names clip.mpg; a clip.mp4 beside it is the one played.
constexpr char kChart[] =
    "#BPM 120\r\n#BMP01 clip.mpg\r\n#BMP02 layer.avi\r\n#BMP03 red.png\r\n"
    "#00104:01\r\n#00304:03\r\n#00307:02\r\n#00411:01\r\n";

class MovieBgaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClipOptions base;
    base.codec = "mpeg4";
    base.width = 64;
    base.height = 64;
    base.fps = 10;
    base.frames = 30;
    ASSERT_EQ(test::WriteClip((dir.path() / "clip.mp4").string(), base), "");
    test::ClipOptions decoy = base;
    decoy.codec = "mpeg1video";
    decoy.frames = 5;
    decoy.black = {0, 1, 2, 3, 4};
    ASSERT_EQ(test::WriteClip((dir.path() / "clip.mpg").string(), decoy), "");
    test::ClipOptions layer = base;
    layer.frames = 20;
    layer.black = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(test::WriteClip((dir.path() / "layer.avi").string(), layer), "");
    QImage red(256, 256, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    ASSERT_TRUE(red.save(QString::fromStdString((dir.path() / "red.png").string())));
    chart_path = dir.Write("c.bms", kChart);
  }

  // Writes the frames at 20 fps (frame n at n x 50 ms) as `base`NNNN.bmp, 128 x 128.
  void Export(const std::string& base) {
    RenderFramesRequest request;
    request.ChartPath = chart_path;
    request.Base = (dir.path() / base).string();
    request.Fps = 20;
    request.Width = 128;
    request.Height = 128;
    request.ProgramFolder = (dir.path() / "program").string();
    request.DataFolder = (dir.path() / "data").string();
    std::ostringstream out, err;
    ASSERT_EQ(RunRenderFrames(request, out, err), 0) << err.str();
  }
  QImage Frame(const std::string& base, int n) const {
    return QImage(QString::fromStdString(FrameFileName((dir.path() / base).string(), n)));
  }

  test::TempDir dir;
  std::string chart_path;
};

// A pixel of the BGA (stretched to the display) that no lane covers.
constexpr int kX = 120;
constexpr int kY = 40;

TEST_F(MovieBgaTest, BitmapOutputShowsTheFrameDueAtEachFrameTheSameOnEveryRun) {
  Export("a");
  const auto shown = [&](int n) { return test::ClipColourIndex(Frame("a", n).pixel(kX, kY)); };
  EXPECT_EQ(shown(39), -1);  // 1.95 s: no picture yet
  EXPECT_EQ(shown(41), 0);   // 2.05 s: the movie's first frame, from its switch on
  EXPECT_EQ(shown(43), 1);   // 2.15 s
  EXPECT_EQ(shown(61), 2);   // 3.05 s: frame 10 after a second
  EXPECT_EQ(shown(99), 29 % test::kClipColours);   // 4.95 s: the last frame
  EXPECT_EQ(shown(119), 29 % test::kClipColours);  // 5.95 s: held after the end
  // Measure 3: the layer's black frames let the red base through, then its own frames show.
  EXPECT_EQ(Frame("a", 121).pixel(kX, kY), qRgb(255, 0, 0));
  EXPECT_EQ(shown(141), 10 % test::kClipColours);  // 7.05 s

  Export("b");
  for (int n = 1; n <= 160; ++n) {
    ASSERT_EQ(test::ReadFile(FrameFileName((dir.path() / "a").string(), n)),
              test::ReadFile(FrameFileName((dir.path() / "b").string(), n)))
        << "frame " << n;
  }
}

class NoSoundMessages : public SoundMessages {
 public:
  void ShowSoundError(std::string_view) override {}
};

// The window's path: the engine played by hand on a clock that does not move, the display drawn
// until the decoder thread delivers the frame due. Frames other than the one due never show.
class LivePlay {
 public:
  explicit LivePlay(const std::string& path, bool keep_sources = false) {
    loader = std::make_unique<ResourceLoader>(sound, no_device, messages, surfaces, flags);
    loader->KeepPictureSources = keep_sources;
    ChartLoader chart_loader(chart, view, flags, loader.get(), LoadOptions{});
    ok = chart_loader.LoadBms(path, false) == 0;
    display.SetLaneLayout(0);
  }
  QRgb Draw() {
    display.LastDrawnPosition = -1e9;  // draw even where the notes did not move
    display.DrawFrame(engine, chart, loader->SpriteDc, loader->BgaDc, nullptr);
    return surfaces.Image(loader->BgaDc)->pixel(kX * 2, kY * 2);
  }
  // The movie frame (by colour) shown once the BGA shows `expected`, or the last one shown
  // after `ms` of drawing.
  int SettledFrame(int expected, int ms = 20000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int last = -2;
    while (std::chrono::steady_clock::now() < until) {
      last = test::ClipColourIndex(Draw());
      if (last == expected) return last;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return last;
  }

  SoundDevice sound{MakeNullBackend()};
  int32_t no_device = 0;
  NoSoundMessages messages;
  SurfaceRegistry surfaces;
  ElementFlags flags = ElementFlags::FirstStart();
  test::RecordingView view;
  Chart chart;
  std::unique_ptr<ResourceLoader> loader;
  StillClock clock;
  HeadlessView play_view;
  SilentSounds sounds;
  PlayEngine engine{chart, flags, clock, play_view, sounds};
  NoteDisplay display{surfaces, flags};
  bool ok = false;
};

TEST_F(MovieBgaTest, LivePlayShowsTheFrameReachedAfterASeekAndHoldsItWhileTheClockStands) {
  LivePlay live(chart_path);
  ASSERT_TRUE(live.ok);
  // Located at measure 2 (4 s): the movie switched at 2 s has reached its frame 20.
  live.engine.LocateMeasure(2);
  EXPECT_EQ(live.SettledFrame(20 % test::kClipColours), 20 % test::kClipColours);
  // The clock stands (paused): the same frame, however often it is drawn.
  EXPECT_EQ(live.SettledFrame(-3, 300), 20 % test::kClipColours);
  // Back to 2.45 s (a seek backwards): frame 4.
  live.engine.StepAt(2450);
  EXPECT_EQ(live.SettledFrame(4), 4);
}

// A video export composes the BGA larger: the 64 x 64 movie fills all of it, scaled from its own
// frames, and the red picture under the layer's black frames covers it as it covers 256 x 256.
TEST_F(MovieBgaTest, ALargerCompositionScalesMoviesAndPicturesToIt) {
  LivePlay play(chart_path, /*keep_sources=*/true);
  ASSERT_TRUE(play.ok);
  play.display.Bga.SetCompositionSize(512,
                                      [&play](int id) { return play.loader->PictureSource(id); });
  play.engine.PicturesOnly = true;
  ASSERT_TRUE(play.engine.Cue(0));
  const auto composed = [&play](double ms, int x, int y) {
    play.engine.StepAt(ms);
    play.Draw();
    const QImage* bga = play.display.Bga.Composed();
    return bga != nullptr && bga->size() == QSize(512, 512) ? bga->pixel(x, y) : 0u;
  };
  EXPECT_EQ(test::ClipColourIndex(composed(2150, 500, 500)), 1);
  EXPECT_EQ(test::ClipColourIndex(composed(2250, 10, 10)), 2);
  EXPECT_EQ(composed(6050, 500, 10), qRgb(255, 0, 0));
  EXPECT_EQ(composed(6050, 10, 500), qRgb(255, 0, 0));
}

TEST_F(MovieBgaTest, MoviesAreListedAndOnesThatCannotPlayAreNamedAndShowBlack) {
  dir.Write("layer.avi", "RIFF....AVI LIST not really a movie");
  LivePlay live(chart_path);
  ASSERT_TRUE(live.ok);
  const auto& pictures = live.loader->Pictures();
  ASSERT_EQ(pictures.count(1), 1u);
  EXPECT_EQ(pictures.at(1).File, "clip.mp4");
  EXPECT_TRUE(pictures.at(1).Movie);
  EXPECT_EQ(pictures.at(1).Frames, 30);
  EXPECT_DOUBLE_EQ(pictures.at(1).Fps, 10.0);
  EXPECT_EQ(pictures.count(2), 0u);
  EXPECT_EQ(live.chart.BgaPictures[2].MoviePath, "");
  bool named = false;
  for (const std::string& entry : live.view.log) {
    if (entry.find("Movie layer.avi: ") != std::string::npos) named = true;
  }
  EXPECT_TRUE(named);
  // The refused movie's picture is black, transparent on the layer over the red base.
  live.engine.LocateMeasure(4);
  ASSERT_EQ(live.engine.CurrentLayer, 2);
  EXPECT_EQ(live.Draw(), qRgb(255, 0, 0));
}

}  // namespace
}  // namespace quillon
