// The headless audio export: every sound starts within one sample of its chart time.
#include "playback/audio_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "chart/loader.h"
#include "chart/timing.h"

namespace quillon {
namespace {

TEST(AudioExport, ClicksLandOnTheSampleOfTheirChartTime) {
  // Clicks across two tempo changes (137 -> 211 -> 89 BPM, odd on purpose) and a 0.75 measure.
  const std::string text =
      "#BPM 137\r\n#00011:0101010101010101\r\n#00103:D3\r\n#00111:010001\r\n"
      "#00202:0.75\r\n#00211:01010101010101\r\n#00303:59\r\n#00311:0000000100\r\n"
      "#00411:01\r\n";
  Chart chart;
  LoadView load_view;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader loader(chart, load_view, flags);
  ASSERT_EQ(loader.LoadBmsBytes("/x/clicks.bms", text, false), 0);

  auto backend = std::make_unique<MemoryBackend>(44100);
  MemoryBackend& memory = *backend;
  SoundDevice device(std::move(backend));
  ASSERT_NE(device.dsInitialize2(0, 2), 0);
  // A one-sample click followed by silence: its start shows as one peak in the mix.
  auto click = std::make_shared<DecodedSound>();
  click->Rate = 44100;
  click->Channels = 1;
  click->Samples.assign(64, 0);
  click->Samples[0] = 12000;
  chart.SoundTable.assign(kIdCount, -1);
  chart.SoundTable[1] = device.CreateBuffer(click);

  const ExportedAudio audio = ExportChartAudio(chart, flags, device, memory, 100);
  const TempoMap tempo(chart);
  std::vector<int64_t> ideal;
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    if (o.Channel == 11) ideal.push_back(std::llround(tempo.TimeAt(o.Position) * 44.1));
  }
  std::vector<int64_t> peaks;
  for (size_t f = 0; f < audio.Samples.size() / 2; ++f) {
    if (audio.Samples[2 * f] > 1000) peaks.push_back(static_cast<int64_t>(f));
  }
  ASSERT_EQ(peaks.size(), ideal.size());
  for (size_t k = 0; k < ideal.size(); ++k)
    EXPECT_LE(std::abs(peaks[k] - ideal[k]), 1) << k;
  // The file ends after play has passed the end of the chart.
  EXPECT_GE(static_cast<double>(audio.Samples.size() / 2),
            tempo.TimeAt(chart.EndPosition + 256) * 44.1 - 1);
}

TEST(AudioExport, WritesAPlayableWavOrSaysWhyNot) {
  std::string error;
  EXPECT_FALSE(WriteWav16("/no/such/folder/x.wav", 44100, {0, 0}, error));
  EXPECT_NE(error.find("/no/such/folder/x.wav"), std::string::npos);
  const std::string path = ::testing::TempDir() + "quillon_export_test.wav";
  ASSERT_TRUE(WriteWav16(path, 44100, {1, -1, 2, -2}, error));
  EXPECT_EQ(std::filesystem::file_size(path), 44u + 8u);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace quillon
