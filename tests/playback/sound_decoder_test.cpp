// Decoding sound files of every format we read, resampling, and refusing what is not a sound.
#include "playback/sound_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <tuple>

#include "platform/file_io.h"
#include "playback/sound_files.h"

namespace quillon {
namespace {

using test::EncodeSound;
using test::Sine;

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// Decodes `image` from memory and, written to a file, from the open file as the loader does; both
// must give the same sound.
DecodedSound Decode(const std::string& image) {
  DecodedSound sound;
  std::string error;
  EXPECT_TRUE(DecodeSound(image, 44100, sound, error)) << error;
  const test::TempDir dir;
  const OpenedFile file = OpenUserFile(dir.Write("sound", image), kSoundFileCap);
  DecodedSound from_file;
  EXPECT_TRUE(DecodeSound(file.fd(), file.size(), 44100, from_file, error)) << error;
  EXPECT_EQ(from_file.Rate, sound.Rate);
  EXPECT_EQ(from_file.Channels, sound.Channels);
  EXPECT_EQ(from_file.Samples, sound.Samples);
  return sound;
}

// Every format at 22050 Hz mono and 48000 Hz stereo comes out at 44100 Hz with its channels,
// its length scaled by the rate ratio and its loudness kept.
TEST(DecodeSound, ReadsEachFormatAndResamplesToTheOutputRate) {
  const std::tuple<const char*, int, int64_t> formats[] = {
      // name, format, frames a coder may add at 44100 Hz
      {"wav u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1},
      {"wav 16", kWav16, 1},
      {"wav float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1},
      {"ima adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2048},
      {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1},
      {"vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1},
      {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1},
  };
  for (const auto& [name, format, padding] : formats) {
    for (const int rate : {22050, 48000}) {
      SCOPED_TRACE(testing::Message() << name << " at " << rate);
      const int channels = rate == 22050 ? 1 : 2;
      const DecodedSound sound =
          Decode(EncodeSound(Sine(rate / 4, channels, rate), channels, rate, format));
      EXPECT_EQ(sound.Rate, 44100);
      ASSERT_EQ(sound.Channels, channels);
      EXPECT_NEAR(sound.Frames(), 44100 / 4, padding);
      for (int c = 0; c < channels; ++c) {
        double sum = 0;
        for (int64_t f = 4000; f < 8000; ++f)
          sum += std::pow(sound.Samples[static_cast<size_t>(f * channels + c)], 2);
        EXPECT_NEAR(std::sqrt(sum / 4000), 0.5 * 32768 / std::sqrt(2.0), 600) << "channel " << c;
      }
    }
  }
}

TEST(DecodeSound, ConvertsTo16BitsRoundingClampingAndMixingDown) {
  const std::vector<int16_t> pcm = {-32768, 32767, 1, 0, -12345};
  EXPECT_EQ(Decode(EncodeSound(pcm, 1, 44100, kWav16)).Samples, pcm);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> in = {1.5f, -1.5f, 100.6f / 32768, -100.6f / 32768, nan, inf, 0.5f};
  EXPECT_EQ(Decode(EncodeSound(in, 1, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT)).Samples,
            (std::vector<int16_t>{32767, -32768, 101, -101, 0, 0, 16384}));
  // Values near the float limit must not overflow the resampler's sums.
  const std::vector<float> huge(480, 3e38f);
  EXPECT_EQ(Decode(EncodeSound(huge, 1, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT)).Samples[220],
            32767);
  // Four channels without a channel map: 0 left, 1 right, 2 and 3 centred at -3 dB; the weights
  // of a side add up to one, so equal channels keep their level.
  const std::vector<float> quad = {0.25f, 0.25f, 0.25f, 0.25f, 0.5f, 0, 0, 0};
  EXPECT_EQ(Decode(EncodeSound(quad, 4, 44100, kWav16)).Samples,
            (std::vector<int16_t>{8192, 8192, 6786, 0}));
}

TEST(DecodeSound, KeepsWhatATruncatedFileHoldsAndRefusesWhatIsNotASound) {
  const std::string wav = test::Wav(44100, 1, 1000);
  EXPECT_EQ(Decode(wav.substr(0, 44 + 2 * 600)).Frames(), 600);
  {
    // A file that grows after it was opened is read as far as it went then.
    const test::TempDir grown;
    const std::string path = grown.Write("grows.wav", wav.substr(0, 44 + 2 * 600));
    const OpenedFile file = OpenUserFile(path, kSoundFileCap);
    std::ofstream(path, std::ios::binary | std::ios::app) << wav.substr(44 + 2 * 600);
    DecodedSound sound;
    std::string error;
    EXPECT_TRUE(DecodeSound(file.fd(), file.size(), 44100, sound, error)) << error;
    EXPECT_EQ(sound.Frames(), 600);
  }
  const std::pair<std::string, std::string> cases[] = {
      {"empty", ""},
      {"text", "this is not a sound file at all, just some text\r\n"},
      {"header cut", wav.substr(0, 30)},
      {"no frames", EncodeSound(std::vector<int16_t>{}, 1, 44100, kWav16)},
      // 31 minutes of 8-bit mono at 1000 Hz: a small file, but longer than we take.
      {"too long", EncodeSound(std::vector<int16_t>(31 * 60 * 1000), 1, 1000,
                               SF_FORMAT_WAV | SF_FORMAT_PCM_U8)},
  };
  const test::TempDir dir;
  for (const auto& [name, image] : cases) {
    DecodedSound sound{1, 1, {1}};
    std::string error;
    EXPECT_FALSE(DecodeSound(image, 44100, sound, error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_TRUE(sound.Channels == 0 && sound.Samples.empty()) << name;
    const OpenedFile file = OpenUserFile(dir.Write(name, image), kSoundFileCap);
    sound = DecodedSound{1, 1, {1}};
    error.clear();
    EXPECT_FALSE(DecodeSound(file.fd(), file.size(), 44100, sound, error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_TRUE(sound.Channels == 0 && sound.Samples.empty()) << name;
  }
  DecodedSound sound;
  std::string error;
  EXPECT_FALSE(DecodeSound(wav, -1, sound, error));
  EXPECT_FALSE(DecodeSound(wav, kMaxSoundRate + 1, sound, error));
  // kFileRate keeps the file's own rate.
  ASSERT_TRUE(DecodeSound(wav, kFileRate, sound, error)) << error;
  EXPECT_EQ(sound.Rate, 44100);
}

// Sounds at the output rate must decode to exactly the samples they always have, whatever way
// the decoder reads them: each case's samples are checked against a digest taken from the
// decoder that read everything as float and converted it afterwards. The content is noise over
// the whole range, full-scale extremes and, for float files, values beyond full scale, NaN and
// infinity.
TEST(DecodeSound, SamplesAtTheOutputRateAreUnchanged) {
  const auto content = [](int64_t frames, int channels) {
    std::vector<float> out;
    uint32_t state = 0x9e3779b9u;
    for (int64_t i = 0; i < frames * channels; ++i) {
      state = state * 1664525u + 1013904223u;
      out.push_back(static_cast<float>(static_cast<int32_t>(state)) / 2147483648.0f);
    }
    const float extremes[] = {1.0f, -1.0f, 0.0f, 0.99999f, -0.99999f, 1.0f / 65536, -1.0f / 65536};
    std::copy(std::begin(extremes), std::end(extremes), out.begin());
    return out;
  };
  const auto digest = [](const DecodedSound& sound) {
    uint64_t hash = 1469598103934665603u;  // FNV-1a over the samples' bytes
    for (const int16_t s : sound.Samples) {
      for (const int byte : {s & 0xff, (s >> 8) & 0xff})
        hash = (hash ^ static_cast<uint64_t>(byte)) * 1099511628211u;
    }
    return hash;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> wild = {1.5f, -1.5f, nan, inf, -inf, 3e38f, 100.6f / 32768, 0.5f};
  struct Case {
    const char* name;
    int format;
    int channels;
    uint64_t digest;
  };
  const Case cases[] = {
      {"wav u8 mono", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 0x1b33de4c61f90ff3u},
      {"wav u8 stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, 0xb785cf45249d6843u},
      {"aiff s8 stereo", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, 0xb785cf45249d6843u},
      {"wav 16 mono", kWav16, 1, 0x5dc393a5e98c38dfu},
      {"wav 16 stereo", kWav16, 2, 0x55503ca08c5d24d9u},
      {"wav 16 3 channels", kWav16, 3, 0xd114b552c358c091u},
      {"wav 16 6 channels", kWav16, 6, 0xc1ac656ef21f3f27u},
      {"aiff 16 stereo", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 0x55503ca08c5d24d9u},
      {"flac 16 stereo", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 0x55503ca08c5d24d9u},
      {"wav 24 mono", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 0xac22d514c04bc803u},
      {"wav 24 stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 0x6da0b90e6adb9949u},
      {"wav 24 4 channels", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 4, 0x00eea1173975f1a2u},
      {"wav 32 stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 0x4a95b9acfff42e10u},
      {"wav float mono", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 0x8f5117401f6906fdu},
      {"wav float stereo", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 0x34c9c1d40e8c0a48u},
      {"wav float 5 channels", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 5, 0x2a7154fb647f2ed8u},
      {"wav double stereo", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, 0x34c9c1d40e8c0a48u},
      {"ima adpcm stereo", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 0xb86e108740f8309bu},
      {"ms adpcm mono", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 1, 0x4827f2d55a2a8eb8u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Longer than one read of the decoder, and not a multiple of it.
    std::vector<float> samples = content(70001, c.channels);
    if ((c.format & SF_FORMAT_SUBMASK) >= SF_FORMAT_FLOAT) {
      std::copy(wild.begin(), wild.end(), samples.begin() + 100);
    }
    const DecodedSound sound = Decode(EncodeSound(samples, c.channels, 44100, c.format));
    EXPECT_EQ(sound.Channels, std::min(c.channels, 2));
    EXPECT_EQ(digest(sound), c.digest);
  }
}

// The fuzz seeds are tiny files our encoder makes; they must decode. Set
// QUILLON_WRITE_SOUND_SEEDS=1 to (re)write them into the source tree first.
TEST(DecodeSound, FuzzSeedsDecode) {
  const auto dir = std::filesystem::path(QUILLON_SOURCE_DIR) / "fuzz/corpus/sound";
  if (std::getenv("QUILLON_WRITE_SOUND_SEEDS")) {
    const std::tuple<const char*, int, int, int, int> seeds[] = {
        {"pcm16_22050_mono.wav", 200, 1, 22050, kWav16},
        {"u8_44100_stereo.wav", 300, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        {"float_48000_stereo.wav", 150, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"ima_adpcm_22050_mono.wav", 1000, 1, 22050, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM},
        {"ms_adpcm_44100_stereo.wav", 500, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM},
        {"four_channels.wav", 100, 4, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"flac_48000_stereo.flac", 1000, 2, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"vorbis_8000_mono.ogg", 400, 1, 8000, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"mp3_22050_mono.mp3", 1200, 1, 22050, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
    };
    for (const auto& [name, frames, channels, rate, format] : seeds)
      std::ofstream(dir / name, std::ios::binary)
          << EncodeSound(Sine(frames, channels, rate), channels, rate, format);
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    Decode(test::ReadFile(entry.path()));
  using Files = std::filesystem::directory_iterator;
  EXPECT_GE(std::distance(Files(dir), Files()), 9);
}

}  // namespace
}  // namespace quillon
