#include "playback/sound_files.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace quillon::test {
namespace {

// libsndfile's virtual I/O over a growing string.
struct Output {
  std::string bytes;
  sf_count_t at = 0;
};

Output& Out(void* user) {
  return *static_cast<Output*>(user);
}

SF_VIRTUAL_IO kStringIo = {
    [](void* u) { return static_cast<sf_count_t>(Out(u).bytes.size()); },
    [](sf_count_t offset, int whence, void* u) {
      Output& o = Out(u);
      const sf_count_t size = static_cast<sf_count_t>(o.bytes.size());
      o.at = offset + (whence == SEEK_CUR ? o.at : whence == SEEK_END ? size : 0);
      return o.at;
    },
    [](void* ptr, sf_count_t count, void* u) {
      Output& o = Out(u);
      const sf_count_t n =
          std::max<sf_count_t>(0, std::min(count, static_cast<sf_count_t>(o.bytes.size()) - o.at));
      std::memcpy(ptr, o.bytes.data() + o.at, static_cast<size_t>(n));
      o.at += n;
      return n;
    },
    [](const void* ptr, sf_count_t count, void* u) {
      Output& o = Out(u);
      if (o.bytes.size() < static_cast<size_t>(o.at + count))
        o.bytes.resize(static_cast<size_t>(o.at + count));
      std::memcpy(o.bytes.data() + o.at, ptr, static_cast<size_t>(count));
      o.at += count;
      return count;
    },
    [](void* u) { return Out(u).at; },
};

template <typename Sample>
std::string Encode(const std::vector<Sample>& samples, int channels, int rate, int format) {
  Output out;
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open_virtual(&kStringIo, SFM_WRITE, &info, &out);
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
  return out.bytes;
}

}  // namespace

std::string EncodeSound(const std::vector<float>& samples, int channels, int rate, int format) {
  return Encode(samples, channels, rate, format);
}

std::string EncodeSound(const std::vector<int16_t>& samples, int channels, int rate, int format) {
  return Encode(samples, channels, rate, format);
}

std::vector<float> Sine(int64_t frames, int channels, int rate, double hz, float amplitude) {
  std::vector<float> out;
  for (int64_t i = 0; i < frames; ++i)
    out.insert(out.end(), static_cast<size_t>(channels),
               static_cast<float>(amplitude * std::sin(2 * M_PI * hz * i / rate)));
  return out;
}

std::shared_ptr<const DecodedSound> MakeSound(int32_t rate, int32_t channels,
                                              std::vector<int16_t> samples) {
  return std::make_shared<const DecodedSound>(DecodedSound{rate, channels, std::move(samples)});
}

}  // namespace quillon::test
