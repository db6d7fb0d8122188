#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <thread>

#include "support/test_clip.h"
#include "support/test_data.h"
#include "video/movie.h"

namespace quillon {
namespace {

// Calls Show(ms) until the frame shown is `frame` (its colour, the middle of a 64 x 48 clip's
// part), giving up after a long while: the thread's speed is not what is tested.
bool ShowsFrame(MoviePlayer& player, double ms, int frame, QImage& target) {
  for (int i = 0; i < 20000; ++i) {
    player.Show(ms, target);
    if (!target.isNull() &&
        test::ClipColourIndex(target.pixel(128, 96)) == frame % test::kClipColours)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

class MoviePlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClipOptions options;
    options.frames = 50;
    path_ = (dir_.path() / "clip.avi").string();
    options.codec = "mpeg4";
    ASSERT_EQ(test::WriteClip(path_, options), "");
  }
  test::TempDir dir_;
  std::string path_;
};

TEST_F(MoviePlayerTest, DeliversTheFrameDueAndFollowsJumps) {
  MoviePlayer player;
  QImage target;
  EXPECT_FALSE(player.Show(0, target));  // nothing bound
  player.Bind(path_);
  EXPECT_TRUE(ShowsFrame(player, 0, 0, target));
  EXPECT_FALSE(player.Show(0, target));  // the same frame again is not new
  EXPECT_FALSE(player.Show(30, target));
  EXPECT_TRUE(ShowsFrame(player, 530, 13, target));
  player.Park();
  EXPECT_TRUE(ShowsFrame(player, 1000, 25, target));   // Show wakes a parked player
  EXPECT_TRUE(ShowsFrame(player, 200, 5, target));     // back
  EXPECT_TRUE(ShowsFrame(player, 1900, 47, target));   // far ahead
  EXPECT_TRUE(ShowsFrame(player, 60000, 49, target));  // held at the end
  EXPECT_EQ(target.size(), QSize(kMovieFrameSize, kMovieFrameSize));
  player.Bind(path_);  // the same movie: the decoder stays, and so does the frame
  EXPECT_TRUE(ShowsFrame(player, 0, 0, target));
}

TEST_F(MoviePlayerTest, RebindsAndIgnoresMoviesThatDoNotOpen) {
  MoviePlayer player;
  QImage target;
  player.Bind(dir_.Write("bad.mpg", std::string(5000, 'x')));
  for (int i = 0; i < 50; ++i) {
    ASSERT_FALSE(player.Show(40.0 * i, target));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  player.Bind(path_);
  EXPECT_TRUE(ShowsFrame(player, 400, 10, target));
  player.Bind("");
  EXPECT_FALSE(player.Show(440, target));
}

// Players destroyed in every state: just bound, decoding towards a far time, parked.
TEST_F(MoviePlayerTest, StopsCleanlyWhileDecoding) {
  QImage target;
  for (int i = 0; i < 6; ++i) {
    MoviePlayer player;
    player.Bind(path_);
    if (i % 3 >= 1) player.Show(40.0 * i * i, target);
    if (i % 3 == 2) player.Park();
  }
}

}  // namespace
}  // namespace quillon
