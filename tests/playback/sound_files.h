// Sounds made in memory for the tests and the fuzz seeds.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "playback/sound_decoder.h"
#include "support/test_data.h"

namespace quillon::test {

// Interleaved samples (float at full scale ±1, or 16-bit as they are) written by libsndfile as a
// whole sound file; `format` is SF_FORMAT_* container | subtype.
template <typename Sample>
std::string EncodeSound(const std::vector<Sample>& samples, int channels, int rate, int format) {
  const TempDir dir;
  const std::string path = (dir.path() / "sound").string();
  SF_INFO info{0, rate, channels, format, 0, 0};
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) throw std::runtime_error(std::string("cannot encode: ") + sf_strerror(nullptr));
  double quality = 0.0;  // the smallest Vorbis files; other formats ignore it
  sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
  const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
  sf_count_t written = 0;
  if constexpr (std::is_same_v<Sample, float>) {
    written = sf_writef_float(file, samples.data(), frames);
  } else {
    written = sf_writef_short(file, samples.data(), frames);
  }
  sf_close(file);
  if (written != frames) throw std::runtime_error("short write while encoding");
  return ReadFile(path);
}

// A sine of 440 Hz at half of full scale, the same on every channel.
inline std::vector<float> Sine(int64_t frames, int channels, int rate) {
  std::vector<float> out;
  for (int64_t i = 0; i < frames; ++i)
    out.insert(out.end(), static_cast<size_t>(channels),
               static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / rate)));
  return out;
}

// A 16-bit WAV file of Sine().
inline std::string Wav(int rate, int channels, int64_t frames) {
  return EncodeSound(Sine(frames, channels, rate), channels, rate,
                     SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

inline std::shared_ptr<const DecodedSound> MakeSound(int32_t rate, int32_t channels,
                                                     std::vector<int16_t> samples) {
  return std::make_shared<const DecodedSound>(DecodedSound{rate, channels, std::move(samples)});
}

}  // namespace quillon::test
