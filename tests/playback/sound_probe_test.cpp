// Reading a sound file's rate from its first bytes, as the loader does before it decodes.
#include "playback/sound_probe.h"

#include <gtest/gtest.h>

#include "playback/sound_files.h"

namespace quillon {
namespace {

using test::EncodeSound;
using test::Sine;

// `seconds` of stereo white noise at a quarter of full scale: Vorbis cannot squeeze it much.
std::vector<float> Noise(int seconds, int rate) {
  std::vector<float> out(static_cast<size_t>(2 * seconds * rate));
  uint32_t state = 1;
  for (float& s : out) {
    state = state * 1664525u + 1013904223u;
    s = static_cast<float>(state >> 8) / static_cast<float>(1 << 24) * 0.5f - 0.25f;
  }
  return out;
}

TEST(SoundFileRate, ReadsEachFormatsRateFromTheHeadOfTheFile) {
  struct Case {
    const char* name;
    int format;
    int rate;
    int seconds;
  };
  const Case cases[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1},
                        {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 16},
                        {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Long enough that the head is only a part of each file.
    const std::string file = EncodeSound(Noise(c.seconds, c.rate), 2, c.rate, c.format);
    ASSERT_GT(file.size(), kSoundHeadBytes);
    EXPECT_EQ(SoundFileRate(std::string_view(file).substr(0, kSoundHeadBytes)), c.rate);
    EXPECT_EQ(SoundFileRate(file), c.rate);
  }
}

TEST(SoundFileRate, IsZeroForWhatGivesNoUsableRate) {
  EXPECT_EQ(SoundFileRate(""), 0);
  EXPECT_EQ(SoundFileRate("RIFF but not a sound"), 0);
  const std::string wav =
      EncodeSound(Sine(100, 1, 44100), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(SoundFileRate(std::string_view(wav).substr(0, 20)), 0);  // cut inside the header
  // A rate the decoder refuses has no say either.
  EXPECT_EQ(SoundFileRate(EncodeSound(Sine(100, 1, 500), 1, 500, SF_FORMAT_WAV | SF_FORMAT_PCM_16)),
            0);
}

}  // namespace
}  // namespace quillon
