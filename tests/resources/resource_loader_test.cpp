// Loading a chart's sounds and pictures: tables, lists, progress and the pictures' placement.
#include "chart/resource_loader.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>

#include "chart/recording_view.h"
#include "support/test_data.h"

namespace quillon {
namespace {

// A 16-bit mono PCM WAV file of `frames` frames.
std::string Wav(int frames, int rate = 22050) {
  auto u32 = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  const uint32_t data = static_cast<uint32_t>(frames) * 2;
  std::string wav = "RIFF" + u32(36 + data) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(rate) +
                    u32(rate * 2) + u16(2) + u16(16) + "data" + u32(data);
  for (int i = 0; i < frames; ++i)
    wav += u16(static_cast<uint16_t>(i % 2 ? 8000 : -8000));
  return wav;
}

void WritePicture(const test::TempDir& dir, const std::string& name, int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  // Mark the top-left pixel so that placement can be seen.
  image.setPixel(0, 0, qRgb(1, 2, 3));
  ASSERT_TRUE(image.save(QString::fromStdString((dir.path() / name).string())));
}

class NoMessages : public SoundMessages {
 public:
  std::vector<std::string> shown;
  void ShowSoundError(std::string_view text) override { shown.emplace_back(text); }
};

class ResourceLoaderTest : public ::testing::Test {
 protected:
  // Loads `chart` (lines joined with CR LF) from the temporary folder.
  void Load(std::initializer_list<std::string_view> lines, bool with_device = false) {
    std::string text;
    for (std::string_view line : lines)
      text += std::string(line) + "\r\n";
    const std::string path = dir.Write("chart.bms", text);
    if (with_device) {
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      sound = std::make_unique<SoundDevice>(MakeSdlBackend());
      device = sound->dsInitialize2(0, 2);
      if (device == 0) GTEST_SKIP() << "no SDL audio here";
    }
    loader = std::make_unique<ResourceLoader>(*sound, device, messages, surfaces, flags);
    ChartLoader chart_loader(chart, view, flags, loader.get(), options);
    ASSERT_EQ(chart_loader.LoadBms(path, false), 0);
  }
  std::vector<std::string> Logged(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& entry : view.log) {
      if (entry.rfind(prefix, 0) == 0) out.push_back(entry.substr(prefix.size()));
    }
    return out;
  }
  QImage* Picture(int id) { return surfaces.Image(chart.BgaPictures[id].PictureDc); }

  test::TempDir dir;
  std::unique_ptr<SoundDevice> sound = std::make_unique<SoundDevice>(MakeNullBackend());
  int32_t device = 0;
  NoMessages messages;
  SurfaceRegistry surfaces;
  ElementFlags flags = ElementFlags::FirstStart();
  LoadOptions options{{}, 1, 4'000'000};
  Chart chart;
  test::RecordingView view;
  std::unique_ptr<ResourceLoader> loader;
};

TEST_F(ResourceLoaderTest, ProgressListsAndSoundTable) {
  dir.Write("kick.wav", Wav(100));
  dir.Write("Snare.WAV", Wav(100));
  dir.Write("bga.png", "");
  Load({"#wav01 kick.wav", "#WAV02 SNARE.wav", "#WAV03 missing.wav", "#BMP01 bga.png"});
  EXPECT_EQ(Logged("progress ["),
            (std::vector<std::string>{"10%] Compiling BMS...", "30%] Wave files loading... 3",
                                      "50%] Wave files loading... 3",
                                      "70%] Wave files loading... 3", "90%] BMP files loading...1",
                                      "90%] Sorting Objects...", "100%] Load Complete!"}));
  // Lower-case lines give upper-case items; a missing file is not listed.
  EXPECT_EQ(Logged("sound-file "), (std::vector<std::string>{"01:KICK.WAV", "02:SNARE.WAV"}));
  // No device: found files get 0, missing ones -1.
  EXPECT_EQ(chart.SoundTable[1], 0);
  EXPECT_EQ(chart.SoundTable[2], 0);
  EXPECT_EQ(chart.SoundTable[3], -1);
  EXPECT_EQ(loader->WaveFiles[1], dir.path().string() + "/KICK.WAV");
}

TEST_F(ResourceLoaderTest, SoundsWithADevice) {
  dir.Write("kick.wav", Wav(2205));
  dir.Write("broken.wav", "RIFF but not a sound");
  Load({"#VOLWAV 50", "#WAV01 KICK.OGG", "#WAV02 broken.wav"}, /*with_device=*/true);
  // kick.ogg is not there, kick.wav is.
  EXPECT_GT(chart.SoundTable[1], 0);
  EXPECT_EQ(chart.SoundTable[2], 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0],
            "ファイルロード中のエラー :\n" + (dir.path() / "broken.wav").string());
  EXPECT_EQ(loader->Sounds().at(1).Frames, 2205 * sound->Rate() / 22050);
}

TEST_F(ResourceLoaderTest, OnlyDefinitionsInVisitedBranchesAreLoaded) {
  dir.Write("a.wav", Wav(10));
  options.Choices = {2};
  Load({"#RANDOM 2", "#IF 1", "#WAV01 a.wav", "#WAV02 a.wav", "#ENDIF", "#IF 2", "#WAV03 a.wav",
        "#ENDIF", "#WAV04 a.wav"});
  EXPECT_EQ(chart.SoundTable[1], -1);
  EXPECT_EQ(chart.SoundTable[2], -1);
  EXPECT_EQ(chart.SoundTable[3], 0);
  EXPECT_EQ(chart.SoundTable[4], 0);  // after the block: loaded, not cut off by the count
}

TEST_F(ResourceLoaderTest, PicturesSitAtTheTopRight) {
  WritePicture(dir, "small.png", 128, 128, qRgb(200, 0, 0));
  WritePicture(dir, "wide.bmp", 300, 300, qRgb(0, 200, 0));
  Load({"#BMP01 small.png", "#BMP02 WIDE.JPG", "#BMP03 missing.png", "#BMP00 small.png"});
  const QImage* small = Picture(1);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->size(), QSize(256, 256));
  EXPECT_EQ(small->pixel(128, 0), qRgb(1, 2, 3));
  EXPECT_EQ(small->pixel(255, 127), qRgb(200, 0, 0));
  EXPECT_EQ(small->pixel(127, 0), qRgb(0, 0, 0));
  EXPECT_EQ(small->pixel(200, 128), qRgb(0, 0, 0));
  // Wider than 256: its right-most 256 columns, rows below 256 cut off.
  const QImage* wide = Picture(2);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->pixel(0, 0), qRgb(0, 200, 0));
  EXPECT_EQ(wide->pixel(255, 255), qRgb(0, 200, 0));
  // A missing picture leaves a black, listed surface; id 00 is skipped; id 0 is black.
  ASSERT_NE(Picture(3), nullptr);
  EXPECT_EQ(Picture(3)->pixel(255, 0), qRgb(0, 0, 0));
  EXPECT_EQ(Logged("picture-file "),
            (std::vector<std::string>{"01:SMALL.PNG", "02:WIDE.JPG", "03:MISSING.PNG"}));
  ASSERT_NE(Picture(0), nullptr);
  EXPECT_EQ(Picture(0)->pixel(255, 0), qRgb(0, 0, 0));
  EXPECT_EQ(loader->Pictures().at(2).Width, 300);
}

TEST_F(ResourceLoaderTest, NoPicturesWhenSwitchedOffOrMinimized) {
  WritePicture(dir, "a.png", 16, 16, qRgb(9, 9, 9));
  flags.Set(Element::DontLoadBmp, true);
  Load({"#BMP01 a.png"});
  EXPECT_EQ(chart.BgaPictures[1].PictureDc, 0);
  EXPECT_TRUE(Logged("progress [90%] BMP").empty());

  flags.Set(Element::DontLoadBmp, false);
  view.minimized = true;
  Load({"#BMP01 a.png"});
  EXPECT_EQ(chart.BgaPictures[1].PictureDc, 0);
  EXPECT_NE(chart.BgaPictures[0].PictureDc, 0);
}

TEST(VolumeLevelTest, GainIsWaveVolumeOverHundred) {
  EXPECT_EQ(VolumeLevel(100), 0);
  EXPECT_EQ(VolumeLevel(50), -602);
  EXPECT_EQ(VolumeLevel(0), -10000);
  EXPECT_EQ(VolumeLevel(1000), 0);  // never louder than the sound itself
}

}  // namespace
}  // namespace quillon
