#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <fstream>

#include "support/test_clip.h"
#include "support/test_data.h"
#include "video/movie.h"

namespace quillon {
namespace {

using test::ClipColourIndex;
using test::ClipOptions;
using test::WriteClip;

// The clip's frame the decoder shows, told by the colour in the middle of the movie's part.
int Shown(MovieDecoder& decoder) {
  QImage image;
  decoder.Draw(image);
  const QRect rect = MovieRect(decoder.Info().Width, decoder.Info().Height);
  return ClipColourIndex(image.pixel(rect.center()));
}

std::string Clip(const test::TempDir& dir, const std::string& name, const ClipOptions& options) {
  const std::string path = (dir.path() / name).string();
  const std::string error = WriteClip(path, options);
  EXPECT_EQ(error, "") << name;
  return path;
}

struct Container {
  const char* name;
  const char* codec;
};

class MovieTiming : public ::testing::TestWithParam<Container> {};

// 50 frames at 25 fps: frame n starts at 40n ms and shows colour n % 8.
TEST_P(MovieTiming, ShowsTheFrameDueAtEachTime) {
  if (!test::HasEncoder(GetParam().codec)) GTEST_SKIP() << GetParam().codec;
  test::TempDir dir;
  ClipOptions options;
  options.codec = GetParam().codec;
  options.frames = 50;
  const std::string path = Clip(dir, GetParam().name, options);
  MovieDecoder decoder;
  std::string error;
  ASSERT_TRUE(decoder.Open(path, error)) << error;
  EXPECT_EQ(decoder.Info().Width, 64);
  EXPECT_EQ(decoder.Info().Height, 48);
  EXPECT_NEAR(decoder.Info().Fps, 25.0, 0.01);
  EXPECT_EQ(decoder.Info().Codec,
            std::string(GetParam().codec) == "libx264" ? "h264" : GetParam().codec);
  // MPEG program streams have no frame count; their length is an estimate.
  if (std::string(GetParam().name) != "clip.mpg") {
    EXPECT_NEAR(static_cast<double>(decoder.Info().Frames), 50.0, 1.0);
    EXPECT_NEAR(decoder.Info().DurationMs, 2000.0, 41.0);
  }
  EXPECT_EQ(decoder.FrameIndex(), 0);
  EXPECT_EQ(Shown(decoder), 0);

  struct Step {
    double ms;
    int64_t frame;
  };
  // In order: before the start, mid-frame, a frame boundary, 1 s, the last frame, held past the
  // end, back across key frames, a little forward, far forward, back to the start.
  const Step steps[] = {{-100, 0},  {60, 1},   {80, 2},   {1000, 25}, {1990, 49},
                        {9000, 49}, {440, 11}, {530, 13}, {1500, 37}, {0, 0}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.ms);
    ASSERT_TRUE(decoder.DecodeTo(step.ms));
    EXPECT_EQ(decoder.FrameIndex(), step.frame);
    EXPECT_EQ(Shown(decoder), step.frame % test::kClipColours);
    EXPECT_DOUBLE_EQ(decoder.FrameStartMs(), 40.0 * static_cast<double>(step.frame));
    if (step.frame < 49) {
      EXPECT_DOUBLE_EQ(decoder.FrameEndMs(), decoder.FrameStartMs() + 40.0);
    }
  }
  EXPECT_FALSE(decoder.AtEnd());
  decoder.DecodeTo(2500);
  EXPECT_TRUE(decoder.AtEnd());
}

INSTANTIATE_TEST_SUITE_P(Containers, MovieTiming,
                         ::testing::Values(Container{"clip.mpg", "mpeg1video"},
                                           Container{"clip.avi", "mpeg4"},
                                           Container{"clip.mkv", "mpeg4"},
                                           Container{"clip.mp4", "libx264"}),
                         [](const ::testing::TestParamInfo<Container>& p) {
                           return std::string(p.param.name).substr(5);  // "mpg", ...
                         });

// The same calls give the same pixels, also where decoding runs on two threads (HD).
TEST(MovieDecode, IsDeterministic) {
  const char* codec = test::HasEncoder("libx264") ? "libx264" : "mpeg4";
  test::TempDir dir;
  ClipOptions options;
  options.codec = codec;
  options.width = 1280;
  options.height = 720;
  options.frames = 20;
  options.key_interval = 8;
  options.moving = true;
  const std::string path = Clip(dir, "moving.mkv", options);
  MovieDecoder first, second;
  std::string error;
  ASSERT_TRUE(first.Open(path, error)) << error;
  ASSERT_TRUE(second.Open(path, error)) << error;
  QImage a, b;
  for (double ms : {0.0, 200.0, 240.0, 700.0, 100.0, 2000.0, 300.0}) {
    SCOPED_TRACE(ms);
    first.DecodeTo(ms);
    second.DecodeTo(ms);
    EXPECT_EQ(first.FrameIndex(), std::min<int64_t>(static_cast<int64_t>(ms / 40), 19));
    first.Draw(a);
    second.Draw(b);
    EXPECT_TRUE(a == b);
  }
  second.DecodeTo(0);
  for (int n = 1; n <= 7; ++n)
    ASSERT_TRUE(second.Step());
  second.Draw(b);
  EXPECT_TRUE(a == b);  // stepping reaches the same frame 7 as seeking did
}

TEST(MovieRect, FitsTheCompositionAlignedToTheTop) {
  EXPECT_EQ(MovieRect(256, 256), QRect(0, 0, 256, 256));
  EXPECT_EQ(MovieRect(1280, 720), QRect(0, 0, 256, 144));
  EXPECT_EQ(MovieRect(100, 200), QRect(64, 0, 128, 256));
  EXPECT_EQ(MovieRect(64, 48), QRect(0, 0, 256, 192));
  EXPECT_TRUE(MovieRect(0, 10).isEmpty());
}

// The movie fills its part of the composition; outside it, and wherever the movie is black,
// the pixels are exactly black (the layer rule treats black as transparent).
TEST(MovieDraw, PlacesTheFrameAndKeepsBlackExact) {
  test::TempDir dir;
  struct Case {
    int width, height;
  };
  for (const Case c : {Case{256, 256}, Case{1280, 720}, Case{100, 200}}) {
    SCOPED_TRACE(c.width);
    ClipOptions options;
    options.width = c.width;
    options.height = c.height;
    options.frames = 2;
    options.black = {1};
    const std::string path = Clip(dir, "c" + std::to_string(c.width) + ".mpg", options);
    MovieDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Open(path, error)) << error;
    const QRect rect = MovieRect(c.width, c.height);
    QImage image(10, 10, QImage::Format_ARGB32);
    decoder.Draw(image);
    ASSERT_EQ(image.size(), QSize(kMovieFrameSize, kMovieFrameSize));
    ASSERT_EQ(image.format(), QImage::Format_RGB32);
    for (int y = 0; y < kMovieFrameSize; ++y)
      for (int x = 0; x < kMovieFrameSize; ++x) {
        if (rect.contains(x, y))
          ASSERT_EQ(ClipColourIndex(image.pixel(x, y)), 0) << x << "," << y;
        else
          ASSERT_EQ(image.pixel(x, y), 0xFF000000u) << x << "," << y;
      }
    ASSERT_TRUE(decoder.DecodeTo(40));
    decoder.Draw(image);
    for (int y = 0; y < kMovieFrameSize; ++y)
      for (int x = 0; x < kMovieFrameSize; ++x)
        ASSERT_EQ(image.pixel(x, y), 0xFF000000u);
  }
}

TEST(MovieOpen, RefusesWhatIsNotAPlayableMovie) {
  test::TempDir dir;
  std::string noise(20000, '\0');
  uint32_t r = 1;
  for (char& c : noise)
    c = static_cast<char>((r = r * 1103515245u + 12345u) >> 24);
  QImage picture(32, 32, QImage::Format_RGB32);
  picture.fill(Qt::red);
  const std::string png = (dir.path() / "picture.mpg").string();
  ASSERT_TRUE(picture.save(QString::fromStdString(png), "PNG"));
  const std::string fifo = (dir.path() / "fifo.mpg").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ClipOptions wide;
  wide.codec = "mpeg4";
  wide.width = 4098;
  wide.height = 16;
  wide.frames = 1;

  struct Case {
    std::string path, reason;
  };
  const Case cases[] = {
      {dir.Write("noise.mpg", noise), "not a movie"},
      {png, "not a movie"},
      {dir.Write("empty.mpg", ""), "not a movie"},
      {(dir.path() / "missing.mpg").string(), "not found"},
      {fifo, "Not a movie file"},
      {Clip(dir, "wide.avi", wide), "4098x16 is larger than 4096 on a side"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    MovieDecoder decoder;
    std::string error;
    EXPECT_FALSE(decoder.Open(c.path, error));
    EXPECT_FALSE(decoder.IsOpen());
    EXPECT_NE(error, "");
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_FALSE(ProbeMovie(c.path, error));
  }
}

// A file cut short plays what it has and holds its last frame; the same bytes from memory
// play the same.
TEST(MovieOpen, CutFilesHoldTheirLastFrame) {
  test::TempDir dir;
  ClipOptions options;
  options.frames = 50;
  const std::string bytes = test::ReadFile(Clip(dir, "clip.mpg", options));
  const std::string cut = bytes.substr(0, bytes.size() * 6 / 10);
  MovieDecoder from_file, from_memory;
  std::string error;
  ASSERT_TRUE(from_file.Open(dir.Write("cut.mpg", cut), error)) << error;
  ASSERT_TRUE(from_memory.OpenBytes(cut, error)) << error;
  int64_t last = -1;
  for (double ms : {500.0, 5000.0, 100.0, 5000.0}) {
    ASSERT_TRUE(from_file.DecodeTo(ms));
    ASSERT_TRUE(from_memory.DecodeTo(ms));
    EXPECT_EQ(from_file.FrameIndex(), from_memory.FrameIndex());
    EXPECT_EQ(Shown(from_file), from_file.FrameIndex() % test::kClipColours);
    if (ms == 5000.0) {
      if (last >= 0) {
        EXPECT_EQ(from_file.FrameIndex(), last);  // the same last frame each time
      }
      last = from_file.FrameIndex();
    }
  }
  EXPECT_GE(from_file.FrameIndex(), 12);
  EXPECT_LT(from_file.FrameIndex(), 49);
  EXPECT_TRUE(from_file.AtEnd());

  // Without its start, the file either is refused with a reason or plays from where it can.
  MovieDecoder headless;
  if (headless.OpenBytes(std::string_view(bytes).substr(bytes.size() / 2), error)) {
    EXPECT_TRUE(headless.DecodeTo(0));
    EXPECT_TRUE(headless.DecodeTo(3000));
    EXPECT_NE(Shown(headless), -1);
  } else {
    EXPECT_NE(error, "");
  }
}

TEST(MovieProbe, GivesTheInfoAndTheFirstFrame) {
  test::TempDir dir;
  ClipOptions options;
  options.width = 320;
  options.height = 240;
  const std::string path = Clip(dir, "clip.avi", options);
  std::string error;
  QImage first;
  const std::optional<MovieInfo> info = ProbeMovie(path, error, &first);
  ASSERT_TRUE(info) << error;
  EXPECT_EQ(info->Width, 320);
  EXPECT_EQ(info->Codec, "mpeg1video");
  EXPECT_NEAR(info->DurationMs, 1000.0, 41.0);
  EXPECT_EQ(ClipColourIndex(first.pixel(128, 96)), 0);
  EXPECT_EQ(first.pixel(128, 200), 0xFF000000u);

  EXPECT_TRUE(HasMovieExtension("a/b/Movie.MPG"));
  EXPECT_TRUE(HasMovieExtension("x.webm"));
  EXPECT_TRUE(HasMovieExtension("x.m4v"));
  EXPECT_FALSE(HasMovieExtension("x.mpga"));
  EXPECT_FALSE(HasMovieExtension("mpg"));
  EXPECT_FALSE(HasMovieExtension("x.png"));
}

}  // namespace
}  // namespace quillon
