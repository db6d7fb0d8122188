// Decoding with libsndfile over the in-memory file image, resampling with libsoxr.
//
// The file is read as float in chunks and mixed down to at most two channels as it is read, so
// memory follows the length of the audio, not what a header claims. Resampling happens once, on
// the whole sound, before the conversion to 16 bits.
#include "playback/sound_decoder.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace quillon {
namespace {

// libsndfile's virtual I/O over a read-only byte range.
struct MemoryFile {
  std::string_view bytes;
  sf_count_t position = 0;
};

sf_count_t GetLength(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  auto* file = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(file->bytes.size());
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  if (whence == SEEK_END) base = size;
  // Offsets come from file headers: refuse those that would overflow or go before the start.
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  file->position = base + offset;
  return file->position;
}

sf_count_t Read(void* ptr, sf_count_t count, void* user) {
  auto* file = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(file->bytes.size());
  if (count <= 0 || file->position >= size) return 0;
  const sf_count_t n = std::min(count, size - file->position);
  std::memcpy(ptr, file->bytes.data() + file->position, static_cast<size_t>(n));
  file->position += n;
  return n;
}

sf_count_t Tell(void* user) {
  return static_cast<MemoryFile*>(user)->position;
}

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

struct Weights {
  float left = 0;
  float right = 0;
};

// How much each source channel gives to the left and right output: left and right positions to
// their side, the low-frequency channel nowhere, everything else (centre, mono, surround centre)
// to both at -3 dB. Each side is then scaled to a total weight of 1 so the mix cannot clip.
// Without a channel map, channel 0 is left, channel 1 right and the others are centred.
std::vector<Weights> DownmixWeights(SNDFILE* file, int channels) {
  constexpr float kCentre = 0.70710678f;
  std::vector<int> map(static_cast<size_t>(channels), SF_CHANNEL_MAP_INVALID);
  const bool has_map = sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                  static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
  std::vector<Weights> weights(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    Weights& w = weights[static_cast<size_t>(c)];
    const int position = has_map ? map[static_cast<size_t>(c)] : SF_CHANNEL_MAP_INVALID;
    switch (position) {
      case SF_CHANNEL_MAP_LEFT:
      case SF_CHANNEL_MAP_FRONT_LEFT:
      case SF_CHANNEL_MAP_REAR_LEFT:
      case SF_CHANNEL_MAP_SIDE_LEFT:
      case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
      case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
      case SF_CHANNEL_MAP_TOP_REAR_LEFT:
        w.left = 1;
        break;
      case SF_CHANNEL_MAP_RIGHT:
      case SF_CHANNEL_MAP_FRONT_RIGHT:
      case SF_CHANNEL_MAP_REAR_RIGHT:
      case SF_CHANNEL_MAP_SIDE_RIGHT:
      case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
      case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
      case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
        w.right = 1;
        break;
      case SF_CHANNEL_MAP_LFE:
        break;
      case SF_CHANNEL_MAP_INVALID:
        if (!has_map && c < 2) {
          (c == 0 ? w.left : w.right) = 1;
          break;
        }
        [[fallthrough]];
      default:
        w.left = w.right = kCentre;
    }
  }
  float left = 0, right = 0;
  for (const Weights& w : weights) {
    left += w.left;
    right += w.right;
  }
  for (Weights& w : weights) {
    if (left > 0) w.left /= left;
    if (right > 0) w.right /= right;
  }
  return weights;
}

// Samples beyond this (64 times full scale) are cut before resampling.
constexpr float kMaxLevel = 64.0f;

// Float samples of [-1, 1] (or beyond) to 16 bits, rounded and clamped.
void ToInt16(const std::vector<float>& in, std::vector<int16_t>& out) {
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const float scaled = std::clamp(in[i] * 32768.0f, -32768.0f, 32767.0f);
    out[i] = std::isnan(scaled) ? 0 : static_cast<int16_t>(scaled + (scaled < 0 ? -0.5f : 0.5f));
  }
}

bool Fail(std::string& error, std::string text) {
  error = std::move(text);
  return false;
}

}  // namespace

bool DecodeSound(std::string_view file_image, int32_t rate, DecodedSound& out, std::string& error) {
  out = DecodedSound{};
  error.clear();
  if (rate < kMinSoundRate || rate > kMaxSoundRate)
    return Fail(error, "unsupported output rate " + std::to_string(rate));
  if (file_image.empty()) return Fail(error, "the sound file is empty");

  MemoryFile memory{file_image};
  SF_VIRTUAL_IO io{GetLength, Seek, Read, nullptr, Tell};
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> file;
  {
    // libsndfile keeps the reason an open failed in one global: read it before another open.
    static std::mutex open_mutex;
    std::lock_guard lock(open_mutex);
    file.reset(sf_open_virtual(&io, SFM_READ, &info, &memory));
    if (!file)
      return Fail(error, std::string("not a readable sound file (") + sf_strerror(nullptr) + ")");
  }
  if (info.channels < 1) return Fail(error, "the sound file has no channels");
  if (info.samplerate < kMinSoundRate || info.samplerate > kMaxSoundRate)
    return Fail(error, "unsupported sample rate " + std::to_string(info.samplerate));
  const int in_channels = info.channels;
  const int out_channels = std::min(in_channels, 2);
  const int64_t max_frames =
      std::min(kMaxSoundSeconds * info.samplerate, kMaxSoundSamples / out_channels);
  const std::string too_long =
      "the sound is longer than " + std::to_string(kMaxSoundSeconds / 60) + " minutes";
  if (info.frames > max_frames && info.frames != SF_COUNT_MAX) return Fail(error, too_long);

  const std::vector<Weights> weights =
      in_channels > 2 ? DownmixWeights(file.get(), in_channels) : std::vector<Weights>{};
  // About 64K samples per read, whatever the channel count.
  const sf_count_t chunk_frames = std::max<sf_count_t>(1, 65536 / in_channels);
  std::vector<float> chunk(static_cast<size_t>(chunk_frames * in_channels));
  std::vector<float> samples;
  if (info.frames > 0 && info.frames != SF_COUNT_MAX)
    samples.reserve(static_cast<size_t>(std::min<int64_t>(info.frames, 1 << 22) * out_channels));

  int64_t frames = 0;
  for (;;) {
    const sf_count_t got = sf_readf_float(file.get(), chunk.data(), chunk_frames);
    if (got <= 0) break;
    frames += got;
    if (frames > max_frames) return Fail(error, too_long);
    const size_t n = static_cast<size_t>(got);
    if (in_channels <= 2) {
      samples.insert(samples.end(), chunk.begin(),
                     chunk.begin() + static_cast<std::ptrdiff_t>(n * in_channels));
    } else {
      for (size_t f = 0; f < n; ++f) {
        float left = 0, right = 0;
        for (int c = 0; c < in_channels; ++c) {
          const float s = chunk[f * static_cast<size_t>(in_channels) + static_cast<size_t>(c)];
          left += s * weights[static_cast<size_t>(c)].left;
          right += s * weights[static_cast<size_t>(c)].right;
        }
        samples.push_back(left);
        samples.push_back(right);
      }
    }
  }
  if (frames == 0) {
    const int code = sf_error(file.get());
    return Fail(error, code != SF_ERR_NO_ERROR ? std::string("cannot read the sound data (") +
                                                     sf_strerror(file.get()) + ")"
                                               : std::string("the sound file holds no audio"));
  }
  file.reset();
  // Float files may hold anything. Infinities and NaNs become silence, and huge values are
  // bounded (they end up at full scale anyway) so that the resampler's sums cannot overflow.
  for (float& s : samples)
    s = std::isfinite(s) ? std::clamp(s, -kMaxLevel, kMaxLevel) : 0.0f;

  if (info.samplerate != rate) {
    const auto out_frames = static_cast<size_t>(
        std::llround(static_cast<double>(frames) * static_cast<double>(rate) / info.samplerate));
    if (out_frames == 0) return Fail(error, "the sound is too short to resample");
    if (out_frames > static_cast<size_t>(kMaxSoundSamples / out_channels))
      return Fail(error, too_long);
    std::vector<float> resampled(out_frames * static_cast<size_t>(out_channels));
    const soxr_io_spec_t io_spec = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t done = 0;
    const soxr_error_t failed =
        soxr_oneshot(info.samplerate, rate, static_cast<unsigned>(out_channels), samples.data(),
                     static_cast<size_t>(frames), nullptr, resampled.data(), out_frames, &done,
                     &io_spec, &quality, nullptr);
    if (failed) return Fail(error, std::string("cannot resample the sound (") + failed + ")");
    resampled.resize(done * static_cast<size_t>(out_channels));
    if (done == 0) return Fail(error, "the sound is too short to resample");
    samples = std::move(resampled);
  }

  out.Rate = rate;
  out.Channels = out_channels;
  ToInt16(samples, out.Samples);
  return true;
}

}  // namespace quillon
