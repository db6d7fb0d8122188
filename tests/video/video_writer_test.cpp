#include "video/video_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <cmath>
#include <filesystem>
#include <vector>

#include "support/decoded_video.h"
#include "support/test_clip.h"
#include "support/test_data.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace quillon {
namespace {

constexpr int kFps = 30;
constexpr int kFrames = 30;  // one second
constexpr int kRate = 48000;
constexpr int kFlashFrame = 17;                           // the white frame
constexpr int kClickSample = kFlashFrame * kRate / kFps;  // the click, at the same time
constexpr double kFrameSeconds = 1.0 / kFps;

// Frames before the flash are blue, the flash white, the rest red.
QRgb ColourOf(int frame) {
  if (frame < kFlashFrame) return qRgb(20, 40, 200);
  return frame == kFlashFrame ? qRgb(255, 255, 255) : qRgb(200, 30, 30);
}

// One second of 320x240 at 30 fps with silence and a click; the sound goes in uneven pieces
// between the frames, so no piece matches the audio encoder's frame size.
bool WriteTestVideo(const std::string& path, std::string& error) {
  VideoWriter writer;
  VideoSettings settings;
  settings.Width = 320;
  settings.Height = 240;
  settings.Fps = kFps;
  if (!writer.Open(path, settings, error)) return false;
  std::vector<int16_t> sound(2 * kRate, 0);
  for (int i = kClickSample; i < kClickSample + 96; ++i)
    sound[2 * i] = sound[2 * i + 1] = (i / 12) % 2 ? 30000 : -30000;
  int64_t sent = 0;
  for (int n = 0; n < kFrames; ++n) {
    QImage frame(n == 5 ? 160 : 320, n == 5 ? 120 : 240, QImage::Format_RGB888);  // one scaled
    frame.fill(ColourOf(n));
    if (!writer.WriteFrame(frame, error)) return false;
    const int64_t piece = std::min<int64_t>(700 + 611 * (n % 3), kRate - sent);
    if (!writer.WriteSound(sound.data() + 2 * sent, piece, error)) return false;
    sent += piece;
  }
  if (!writer.WriteSound(sound.data() + 2 * sent, kRate - sent, error)) return false;
  EXPECT_EQ(writer.FramesWritten(), kFrames);
  return writer.Finish(error);
}

bool Near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= 12 && std::abs(qGreen(a) - qGreen(b)) <= 12 &&
         std::abs(qBlue(a) - qBlue(b)) <= 12;
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return names;
}

struct Format {
  const char* name;
  const char* video_encoder;
  const char* audio_encoder;
  AVCodecID video;
  AVCodecID audio;
};

class VideoWriterFormats : public ::testing::TestWithParam<Format> {};

TEST_P(VideoWriterFormats, DecodesBackInSyncWithTheRightColours) {
  const Format& f = GetParam();
  if (!test::HasEncoder(f.video_encoder)) GTEST_SKIP() << f.video_encoder;
  if (!test::HasEncoder(f.audio_encoder)) GTEST_SKIP() << f.audio_encoder;
  test::TempDir dir;
  const std::string path = (dir.path() / f.name).string();
  std::string error;
  ASSERT_TRUE(WriteTestVideo(path, error)) << error;
  // Only the finished file is left; the temporary one took its name.
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{f.name});

  const test::DecodedVideo d = test::DecodeVideo(path, 160, 120);
  ASSERT_EQ(d.codecs,
            (std::vector<std::string>{avcodec_get_name(f.video), avcodec_get_name(f.audio)}));
  EXPECT_NEAR(d.duration, 1.0, kFrameSeconds);
  ASSERT_EQ(d.frame_times.size(), static_cast<size_t>(kFrames));
  EXPECT_NEAR(d.frame_times.front(), 0.0, 1e-6);
  EXPECT_NEAR(d.frame_times.back(), (kFrames - 1) * kFrameSeconds, 1e-3);
  for (int n : {0, 5, kFlashFrame - 1, kFlashFrame, kFlashFrame + 1, kFrames - 1})
    EXPECT_TRUE(Near(d.colours[static_cast<size_t>(n)], ColourOf(n)))
        << "frame " << n << ": " << std::hex << d.colours[static_cast<size_t>(n)];

  // Written sample k plays at k / 48000 s: the click's onset, in the container's own time, is
  // where it was written and where the flash is. (The encoder's priming lies before 0 s.)
  ASSERT_LE(d.sound_start, 1e-6);
  EXPECT_NEAR(static_cast<double>(d.left.size()), kRate - d.sound_start * kRate,
              kRate * kFrameSeconds);
  size_t onset = 0;
  while (onset < d.left.size() && std::abs(d.left[onset]) < 0.25f)
    ++onset;
  ASSERT_LT(onset, d.left.size());
  const double click = d.sound_start + static_cast<double>(onset) / kRate;
  EXPECT_NEAR(click, static_cast<double>(kClickSample) / kRate, 0.002);
  EXPECT_NEAR(d.frame_times[kFlashFrame], click, kFrameSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    All, VideoWriterFormats,
    ::testing::Values(Format{"clip.mp4", "libx264", "aac", AV_CODEC_ID_H264, AV_CODEC_ID_AAC},
                      Format{"clip.webm", "libvpx-vp9", "libopus", AV_CODEC_ID_VP9,
                             AV_CODEC_ID_OPUS},
                      Format{"clip.MKV", "libx264", "aac", AV_CODEC_ID_H264, AV_CODEC_ID_AAC}),
    [](const auto& p) { return std::string(p.param.name).substr(5); });

TEST(VideoWriter, RefusesWhatItCannotWriteAndLeavesNoFile) {
  test::TempDir dir;
  VideoWriter writer;
  std::string error;
  EXPECT_FALSE(writer.Open((dir.path() / "clip.avi").string(), {}, error));
  EXPECT_EQ(error, "cannot write .avi videos: use .mp4, .webm or .mkv");
  EXPECT_FALSE(writer.Open((dir.path() / "clip").string(), {}, error));
  EXPECT_NE(error.find("no extension"), std::string::npos) << error;
  VideoSettings odd;
  odd.Width = 1279;
  EXPECT_FALSE(writer.Open((dir.path() / "clip.mp4").string(), odd, error));
  EXPECT_NE(error.find("1279x1080"), std::string::npos) << error;
  EXPECT_FALSE(writer.Open((dir.path() / "missing" / "clip.webm").string(), {}, error));
  EXPECT_NE(error.find("cannot write in"), std::string::npos) << error;
  if (::geteuid() != 0) {  // root writes anywhere
    std::filesystem::create_directory(dir.path() / "locked");
    std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::owner_exec);
    EXPECT_FALSE(writer.Open((dir.path() / "locked" / "clip.mp4").string(), {}, error));
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_all);
    EXPECT_TRUE(FilesIn(dir.path() / "locked").empty());
    std::filesystem::remove(dir.path() / "locked");
  }
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(VideoWriter, AnUnfinishedFileIsRemoved) {
  if (!test::HasEncoder("libx264") || !test::HasEncoder("aac")) GTEST_SKIP();
  test::TempDir dir;
  VideoSettings settings;
  settings.Width = 64;
  settings.Height = 48;
  std::string error;
  QImage frame(64, 48, QImage::Format_RGB32);
  frame.fill(Qt::green);
  const std::vector<int16_t> sound(2 * 3000, 100);
  for (bool abort : {true, false}) {
    {
      VideoWriter writer;
      ASSERT_TRUE(writer.Open((dir.path() / "clip.mp4").string(), settings, error)) << error;
      const std::string temp = writer.TemporaryPath();
      EXPECT_EQ(temp, (dir.path() / (".clip.mp4.part-" + std::to_string(::getpid()))).string());
      EXPECT_EQ(FilesIn(dir.path()).size(), 1u);
      for (int n = 0; n < 10; ++n)
        ASSERT_TRUE(writer.WriteFrame(frame, error)) << error;
      ASSERT_TRUE(writer.WriteSound(sound.data(), 3000, error)) << error;
      if (abort) {
        writer.Abort();
        EXPECT_FALSE(writer.WriteFrame(frame, error));
      }
    }
    EXPECT_TRUE(FilesIn(dir.path()).empty()) << (abort ? "Abort" : "destructor");
  }
}

}  // namespace
}  // namespace quillon
