// The video export decoded back: a white picture flashed on a click shows where the click sounds,
// the file is as long as the picture or the sound's tail, and what cannot be written leaves no
// file.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/command_line.h"
#include "support/decoded_video.h"
#include "support/test_clip.h"
#include "support/test_data.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr int kFps = 30;
constexpr double kFrame = 1.0 / kFps;
constexpr double kFlashSeconds = 2.0;  // measure 1 at 120 BPM

// The video's text is drawn with fonts, which need a QGuiApplication (made per test: other tests
// here check that none exists).
class GuiApp {
 public:
  GuiApp() : app_((qputenv("QT_QPA_PLATFORM", "offscreen"), argc_), argv_) {}

 private:
  int argc_ = 1;
  char name_[8] = "quillon";
  char* argv_[2] = {name_, nullptr};
  QGuiApplication app_;
};

// A 20 ms click, 16-bit mono at 48000 Hz.
std::string ClickWav() {
  std::vector<int16_t> samples(960);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = (i / 12) % 2 ? 30000 : -30000;
  std::string wav = "RIFF";
  const auto put = [&wav](uint32_t v, int bytes) {
    for (int b = 0; b < bytes; ++b)
      wav += static_cast<char>((v >> (8 * b)) & 0xFF);
  };
  put(36 + 1920, 4);
  wav += "WAVEfmt ";
  put(16, 4), put(1, 2), put(1, 2), put(48000, 4), put(96000, 4), put(2, 2), put(16, 2);
  wav += "data";
  put(1920, 4);
  wav.append(reinterpret_cast<const char*>(samples.data()), 1920);
  return wav;
}

// The chart: silence and black, then at measure 1 the click and a white BGA picture together,
// black again a sixteenth later.
std::string FlashChart(const test::TempDir& dir) {
  dir.Write("click.wav", ClickWav());
  for (const auto& [name, colour] : {std::pair{"white.bmp", Qt::white}, {"black.bmp", Qt::black}}) {
    QImage picture(256, 256, QImage::Format_RGB32);
    picture.fill(colour);
    picture.save(QString::fromStdString((dir.path() / name).string()));
  }
  return dir.Write("flash.bms",
                   "#TITLE Flash\r\n#ARTIST Someone\r\n#GENRE Test\r\n#BPM 120\r\n"
                   "#WAV01 click.wav\r\n#BMP01 white.bmp\r\n#BMP02 black.bmp\r\n"
                   "#00101:01\r\n#00104:0102000000000000\r\n");
}

// `quillon --render-video OUT --size 160x90 --fps 30 [more] CHART`, parsed as main() parses it.
int RenderVideo(const std::string& out_path, const std::string& chart, std::string& err_text,
                std::function<void(int64_t)> after_frame = nullptr) {
  CommandLine command = ParseCommandLine(
      {"quillon", "--render-video", out_path, "--size", "160x90", "--fps", "30", chart});
  EXPECT_EQ(command.Action, CommandLine::Mode::RenderVideo) << command.Text;
  command.RenderVideo.Export.ProgramFolder.clear();
  command.RenderVideo.Export.DataFolder = (fs::path(chart).parent_path() / "skins").string();
  command.RenderVideo.AfterFrame = std::move(after_frame);
  std::ostringstream out, err;
  const int status = RunCommandLine(command, out, err);
  err_text = err.str();
  return status;
}

struct Container {
  const char* extension;
  const char* video_codec;
  const char* audio_codec;
  const char* video_encoder;
};

class RenderVideoFormats : public ::testing::TestWithParam<Container> {};

TEST_P(RenderVideoFormats, TheFlashAndTheClickMeetAndTheFileHoldsPictureAndTail) {
  const Container& container = GetParam();
  if (!test::HasEncoder(container.video_encoder)) GTEST_SKIP() << container.video_encoder;
  const GuiApp app;
  const test::TempDir dir;
  const std::string chart = FlashChart(dir);
  const std::string out = (dir.path() / (std::string("flash.") + container.extension)).string();
  std::string err;
  ASSERT_EQ(RenderVideo(out, chart, err), 0) << err;

  // The sound's own length, from the audio export at the video's rate.
  std::ostringstream ignored;
  const std::string wav = (dir.path() / "flash.wav").string();
  ASSERT_EQ(
      RunCommandLine(ParseCommandLine({"quillon", "--render-audio", wav, "--rate", "48000", chart}),
                     ignored, ignored),
      0);
  const double sound_seconds = (fs::file_size(wav) - 44) / 4 / 48000.0;

  // The centre of the display square (90 x 90 at the left).
  const test::DecodedVideo video = test::DecodeVideo(out, 45, 45);
  ASSERT_EQ(video.codecs.size(), 2u);
  EXPECT_EQ(video.codecs[0], container.video_codec);
  EXPECT_EQ(video.codecs[1], container.audio_codec);
  ASSERT_FALSE(video.frame_times.empty());
  EXPECT_NEAR(video.frame_times.front(), 0.0, 1e-3);
  EXPECT_LT(video.luma.front(), 40);  // black before the flash

  const double flash = test::FirstBrightFrame(video, 200);
  const double click = test::FirstLoudSample(video, 0.3F);
  EXPECT_NEAR(flash, kFlashSeconds, kFrame + 1e-3);
  EXPECT_NEAR(click, kFlashSeconds, kFrame);
  EXPECT_NEAR(flash, click, kFrame + 1e-3);
  // A sixteenth of a measure (125 ms) later the picture is black again.
  const auto after = std::find_if(video.frame_times.begin(), video.frame_times.end(),
                                  [](double t) { return t >= kFlashSeconds + 0.25; });
  ASSERT_NE(after, video.frame_times.end());
  EXPECT_LT(video.luma[static_cast<size_t>(after - video.frame_times.begin())], 40);

  // The picture runs past the chart's end; the file is the longer of it and the sound's tail.
  const double picture_seconds = video.frame_times.back() + kFrame;
  EXPECT_GE(picture_seconds + kFrame, sound_seconds);
  EXPECT_NEAR(video.duration, std::max(picture_seconds, sound_seconds), kFrame + 0.03);
}

INSTANTIATE_TEST_SUITE_P(Containers, RenderVideoFormats,
                         ::testing::Values(Container{"mp4", "h264", "aac", "libx264"},
                                           Container{"webm", "vp9", "opus", "libvpx-vp9"}),
                         [](const auto& test_info) {
                           return std::string(test_info.param.extension);
                         });

// Everything in `folder` but the chart's own files.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "click.wav" && name != "white.bmp" && name != "black.bmp" && name != "skins" &&
        entry.path().extension() != ".bms") {
      names.push_back(name);
    }
  }
  return names;
}

TEST(RenderVideoTest, WhatCannotBeWrittenOrPlayedLeavesNoFile) {
  const GuiApp app;
  const test::TempDir dir;
  const std::string chart = FlashChart(dir);
  std::string err;
  EXPECT_EQ(RenderVideo((dir.path() / "flash.avi").string(), chart, err), 1);
  EXPECT_NE(err.find("quillon: cannot write .avi videos"), std::string::npos) << err;

  dir.Write("file", "");
  EXPECT_EQ(RenderVideo((dir.path() / "file" / "flash.mp4").string(), chart, err), 1);
  EXPECT_NE(err.find("quillon: cannot write in"), std::string::npos) << err;

  // Refused as the audio export refuses it: play would never move.
  const std::string still = dir.Write("still.bms", "#00111:01\r\n#00211:01\r\n");
  EXPECT_EQ(RenderVideo((dir.path() / "still.mp4").string(), still, err), 1);
  std::ostringstream ignored, audio_err;
  EXPECT_EQ(RunCommandLine(ParseCommandLine({"quillon", "--render-audio",
                                             (dir.path() / "still.wav").string(), still}),
                           ignored, audio_err),
            1);
  EXPECT_NE(err.find("start tempo is 0 BPM"), std::string::npos) << err;
  EXPECT_EQ(err, audio_err.str());

  // Ctrl+C half-way: the partial file goes, the status says which signal stopped it.
  const std::string out = (dir.path() / "stopped.mp4").string();
  EXPECT_EQ(RenderVideo(out, chart, err,
                        [](int64_t frames) {
                          if (frames == 10) std::raise(SIGINT);
                        }),
            128 + SIGINT);
  EXPECT_EQ(err, "quillon: stopped: " + out + " not written\n");
  fs::remove(dir.path() / "file");
  EXPECT_EQ(Leftovers(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillon
