// Loading a chart's sounds and pictures: tables, lists, progress and the pictures' placement.
#include "chart_resources/resource_loader.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cstdlib>

#include "chart/recording_view.h"
#include "support/odd_files.h"
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

// A PNG file's bytes: `w` x `h` pixels of `colour`, but for the top-left one (1, 2, 3), so that
// placement can be seen.
std::string Png(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  image.setPixel(0, 0, qRgb(1, 2, 3));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

void WritePicture(const test::TempDir& dir, const std::string& name, int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  // Mark the top-left pixel so that placement can be seen.
  image.setPixel(0, 0, qRgb(1, 2, 3));
  ASSERT_TRUE(image.save(QString::fromStdString((dir.path() / name).string())));
}

// Two hexadecimal digits, as a #WAV or #BMP line writes its id.
std::string HexId(int id) {
  const char* digits = "0123456789ABCDEF";
  return {digits[id / 16], digits[id % 16]};
}

class NoMessages : public SoundMessages {
 public:
  std::vector<std::string> shown;
  void ShowSoundError(std::string_view text) override { shown.emplace_back(text); }
};

class ResourceLoaderTest : public ::testing::Test {
 protected:
  // Loads `chart` (lines joined with CR LF) from the temporary folder.
  void Load(const std::vector<std::string>& lines, bool with_device = false) {
    std::string text;
    for (const std::string& line : lines)
      text += line + "\r\n";
    LoadFile(dir.Write("chart.bms", text), with_device);
  }
  // Loads the chart already written at `path`.
  void LoadFile(const std::string& path, bool with_device = false) {
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
            "Error while loading a sound file:\n" + (dir.path() / "broken.wav").string());
  EXPECT_EQ(loader->Sounds().at(1).Frames, 2205 * sound->Rate() / 22050);
}

// The chart is mixed at the rate most of its sounds have: those play as they are in their files,
// the others are resampled to it. A chart whose sounds are at another rate reopens the device.
TEST_F(ResourceLoaderTest, MixesAtTheRateMostSoundsHaveAndResamplesOnlyTheOthers) {
  auto output = std::make_unique<MemoryBackend>(44100, MemoryBackend::Rates::Asked);
  MemoryBackend* memory = output.get();
  sound = std::make_unique<SoundDevice>(std::move(output));
  device = sound->dsInitialize2(0, 2);
  dir.Write("a.wav", Wav(480, 48000));
  dir.Write("b.wav", Wav(960, 48000));
  dir.Write("c.wav", Wav(441, 44100));
  dir.Write("broken.wav", "RIFF but not a sound");
  Load({"#WAV01 a.wav", "#WAV02 b.wav", "#WAV03 c.wav", "#WAV04 broken.wav", "#WAV05 none.wav"});
  EXPECT_EQ(sound->Rate(), 48000);
  EXPECT_EQ(sound->Opens(), 2u);
  EXPECT_EQ(loader->Sounds().at(1).Rate, 48000);
  EXPECT_EQ(loader->Sounds().at(1).Frames, 480);
  EXPECT_EQ(loader->Sounds().at(3).Rate, 48000);
  EXPECT_EQ(loader->Sounds().at(3).Frames, 480);  // 441 frames at 44.1 kHz
  // A sound at the mix rate is played sample for sample as the file holds it.
  std::vector<int16_t> out(2 * 480);
  sound->dsPlay(chart.SoundTable[1]);
  memory->Render(out.data(), 480);
  for (size_t i = 0; i < 480; ++i) {
    ASSERT_EQ(out[2 * i], i % 2 ? 8000 : -8000) << i;
    ASSERT_EQ(out[2 * i + 1], out[2 * i]) << i;
  }

  // The next chart is at 22.05 kHz: the device reopens at 44.1 kHz, the lowest mix rate, and its
  // sounds are resampled up to it.
  dir.Write("d.wav", Wav(100));
  Load({"#WAV01 d.wav"});
  EXPECT_EQ(sound->Rate(), kDefaultMixRate);
  EXPECT_EQ(sound->Opens(), 3u);
  ASSERT_GT(chart.SoundTable[1], 0);
  EXPECT_EQ(chart.SoundTable[2], -1);
  EXPECT_EQ(loader->Sounds().at(1).Frames, 200);
  // A chart without sounds stays at the default rate.
  Load({"#TITLE quiet"});
  EXPECT_EQ(sound->Rate(), kDefaultMixRate);
  EXPECT_EQ(sound->Opens(), 3u);
}

// An output held at one rate (the audio export's) is not reopened: every sound at another rate
// is resampled to it.
TEST_F(ResourceLoaderTest, AFixedOutputRateIsKept) {
  sound = std::make_unique<SoundDevice>(std::make_unique<MemoryBackend>(44100));
  device = sound->dsInitialize2(0, 2);
  dir.Write("a.wav", Wav(480, 48000));
  dir.Write("b.wav", Wav(480, 48000));
  Load({"#WAV01 a.wav", "#WAV02 b.wav"});
  EXPECT_EQ(sound->Rate(), 44100);
  EXPECT_EQ(sound->Opens(), 1u);
  EXPECT_EQ(loader->Sounds().at(2).Rate, 44100);
  EXPECT_EQ(loader->Sounds().at(2).Frames, 441);
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

// Sounds that are no file to read fail like ones that do not decode, and the next ones load.
TEST_F(ResourceLoaderTest, RefusedSoundsAreNamedAndTheOthersLoad) {
  dir.Write("first.wav", Wav(2205));
  dir.Write("last.wav", Wav(2205));
  const std::vector<test::OddFile> odd = test::MakeOddFiles(dir, ".wav", kSoundFileCap + 1);
  std::vector<std::string> lines{"#WAV01 first.wav"};
  for (size_t i = 0; i < odd.size(); ++i)
    lines.push_back("#WAV" + HexId(static_cast<int>(i) + 2) + " " + odd[i].name);
  lines.push_back("#WAV" + HexId(static_cast<int>(odd.size()) + 2) + " last.wav");
  Load(lines, /*with_device=*/true);

  EXPECT_GT(chart.SoundTable[1], 0);
  EXPECT_GT(chart.SoundTable[odd.size() + 2], 0);
  std::vector<std::string> named;
  for (size_t i = 0; i < odd.size(); ++i) {
    SCOPED_TRACE(odd[i].name);
    // A folder is not taken for a sound at all; the others are found, then fail to read.
    if (odd[i].name == "folder.wav") {
      EXPECT_EQ(chart.SoundTable[i + 2], -1);
      continue;
    }
    EXPECT_EQ(chart.SoundTable[i + 2], 0);
    named.push_back("Error while loading a sound file:\n" + odd[i].path);
  }
  EXPECT_EQ(messages.shown, named);
}

// Pictures that are no file to read, or too large on a side, stay black; the next ones load.
TEST_F(ResourceLoaderTest, RefusedPicturesStayBlackAndTheOthersLoad) {
  dir.Write("first.png", Png(16, 16, qRgb(200, 0, 0)));
  dir.Write("wide.png", Png(20000, 1, qRgb(0, 200, 0)));
  dir.Write("last.png", Png(16, 16, qRgb(0, 0, 200)));
  const std::vector<test::OddFile> odd =
      test::MakeOddFiles(dir, ".png", kPictureFileCap + (uint64_t{36} << 20));
  std::vector<std::string> lines{"#BMP01 first.png", "#BMP02 wide.png"};
  for (size_t i = 0; i < odd.size(); ++i)
    lines.push_back("#BMP" + HexId(static_cast<int>(i) + 3) + " " + odd[i].name);
  const int last = static_cast<int>(odd.size()) + 3;
  lines.push_back("#BMP" + HexId(last) + " last.png");
  Load(lines);

  EXPECT_EQ(Picture(1)->pixel(255, 0), qRgb(200, 0, 0));
  EXPECT_EQ(Picture(last)->pixel(255, 0), qRgb(0, 0, 200));
  for (int id = 2; id < last; ++id) {
    SCOPED_TRACE(id);
    ASSERT_NE(Picture(id), nullptr);
    EXPECT_EQ(Picture(id)->pixel(255, 0), qRgb(0, 0, 0));
  }
  std::vector<int> loaded;
  for (const auto& [id, picture] : loader->Pictures())
    loaded.push_back(id);
  EXPECT_EQ(loaded, (std::vector<int>{1, last}));
  EXPECT_EQ(Logged("picture-file ").size(), odd.size() + 3);
}

// A package unpacked from a CP932 archive: the folder, chart and file names are CP932 bytes
// and so is the chart's text. The names it writes find their files, whose paths keep their
// bytes.
TEST_F(ResourceLoaderTest, Cp932NamesInACp932ChartFindCp932Files) {
  const std::string folder = "\x8b\xc8/";                        // 曲
  dir.Write(folder + "\x89\xb9.wav", Wav(100));                  // 音.wav
  dir.Write(folder + "\x8a\x47.png", Png(8, 8, qRgb(9, 9, 9)));  // 絵.png
  const std::string path =
      dir.Write(folder + "\x95\x88\x96\xca.bms",  // 譜面.bms
                "#TITLE \x95\x88\x96\xca\r\n#WAV01 \x89\xb9.wav\r\n#BMP01 \x8a\x47.png\r\n");
  LoadFile(path);
  EXPECT_EQ(chart.Header.Title, "譜面");
  EXPECT_EQ(chart.SoundTable[1], 0);  // found (no device, so no buffer)
  ASSERT_EQ(loader->Pictures().count(1), 1u);
  EXPECT_EQ(loader->Pictures().at(1).File, "\x8a\x47.png");
  EXPECT_EQ(Picture(1)->pixel(255, 7), qRgb(9, 9, 9));
}

TEST(VolumeLevelTest, GainIsWaveVolumeOverHundred) {
  EXPECT_EQ(VolumeLevel(100), 0);
  EXPECT_EQ(VolumeLevel(50), -602);
  EXPECT_EQ(VolumeLevel(0), -10000);
  EXPECT_EQ(VolumeLevel(1000), 0);  // never louder than the sound itself
}

}  // namespace
}  // namespace quillon
