// Decoding with libsndfile over an in-memory file image or an open file, resampling with libsoxr.
//
// A sound already at the output rate goes straight into its final buffer, a chunk at a time: 8-
// and 16-bit PCM is read as 16 bits directly (the same samples the float reading gives, rounded
// back), everything else as float, mixed down to at most two channels and converted to 16 bits
// chunk by chunk. A sound at another rate is read as float in chunks and mixed down as it is
// read, resampled once on the whole sound, then converted to 16 bits. Either way memory follows
// the length of the audio, not what a header claims.
#include "playback/sound_decoder.h"

#include <sndfile.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "playback/sndfile_io.h"

namespace quillon {
namespace {

// libsndfile's virtual I/O over an open regular file of `size` bytes, with positioned reads. The
// small reads of header parsing are served from a look-ahead block; large ones (the audio data)
// go straight into libsndfile's buffer.
struct DescriptorFile {
  int fd = -1;
  sf_count_t size = 0;
  sf_count_t position = 0;
  static constexpr sf_count_t kBlock = 4096;
  sf_count_t block_start = 0;
  sf_count_t block_length = 0;
  char block[kBlock];
};

// Reads up to `count` bytes at `offset`, stopping early only at the end of the file or on an
// error.
sf_count_t ReadAt(int fd, char* into, sf_count_t count, sf_count_t offset) {
  sf_count_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, into + done, static_cast<size_t>(count - done),
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

sf_count_t DescriptorLength(void* user) {
  return static_cast<DescriptorFile*>(user)->size;
}

sf_count_t DescriptorSeek(sf_count_t offset, int whence, void* user) {
  auto* file = static_cast<DescriptorFile*>(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  if (whence == SEEK_END) base = file->size;
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  file->position = base + offset;
  return file->position;
}

sf_count_t DescriptorRead(void* ptr, sf_count_t count, void* user) {
  auto* file = static_cast<DescriptorFile*>(user);
  // The size seen when the file was checked bounds every read, should the file grow.
  if (count <= 0 || file->position >= file->size) return 0;
  count = std::min(count, file->size - file->position);
  auto* into = static_cast<char*>(ptr);
  const sf_count_t offset = file->position - file->block_start;
  if (offset < 0 || offset + count > file->block_length) {
    if (count >= DescriptorFile::kBlock) {
      const sf_count_t got = ReadAt(file->fd, into, count, file->position);
      file->position += got;
      return got;
    }
    file->block_start = file->position;
    file->block_length = ReadAt(file->fd, file->block, DescriptorFile::kBlock, file->position);
    count = std::min(count, file->block_length);
    std::memcpy(into, file->block, static_cast<size_t>(count));
  } else {
    std::memcpy(into, file->block + offset, static_cast<size_t>(count));
  }
  file->position += count;
  return count;
}

sf_count_t DescriptorTell(void* user) {
  return static_cast<DescriptorFile*>(user)->position;
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

// A float sample as read or mixed down, bounded: infinities and NaNs become silence, and huge
// values (they end up at full scale anyway) are cut so that the resampler's sums cannot overflow.
float Bounded(float s) {
  return std::isfinite(s) ? std::clamp(s, -kMaxLevel, kMaxLevel) : 0.0f;
}

// A float sample of [-1, 1] (or beyond) to 16 bits, rounded and clamped.
int16_t ToInt16(float s) {
  const float scaled = std::clamp(s * 32768.0f, -32768.0f, 32767.0f);
  return std::isnan(scaled) ? 0 : static_cast<int16_t>(scaled + (scaled < 0 ? -0.5f : 0.5f));
}

void ToInt16(const std::vector<float>& in, std::vector<int16_t>& out) {
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); ++i)
    out[i] = ToInt16(in[i]);
}

bool Fail(std::string& error, std::string text) {
  error = std::move(text);
  return false;
}

// Whether libsndfile's 16-bit reads of this encoding give exactly the samples that its float
// reads give once rounded to 16 bits: 8- and 16-bit PCM, whose float values are the integers
// over 32768 (or 128).
bool ReadsAs16Bits(int format) {
  const int subtype = format & SF_FORMAT_SUBMASK;
  return subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_16;
}

// Frames per read, about 64K samples whatever the channel count.
sf_count_t ChunkFrames(int channels) {
  return std::max<sf_count_t>(1, 65536 / channels);
}

// The error of a file that gave no frames.
std::string NoAudioError(SNDFILE* file) {
  return sf_error(file) != SF_ERR_NO_ERROR
             ? std::string("cannot read the sound data (") + sf_strerror(file) + ")"
             : std::string("the sound file holds no audio");
}

// Reads a sound that is at the output rate already straight into `out.Samples`, a chunk at a
// time; mono and stereo files of 8- or 16-bit PCM are read as 16 bits directly, the others as
// float, mixed down and converted chunk by chunk. The samples are the same as those of reading
// all as float and converting afterwards. `out` is left empty on failure.
bool ReadAtOutputRate(SNDFILE* file, const SF_INFO& info, const std::vector<Weights>& weights,
                      int64_t max_frames, const std::string& too_long, DecodedSound& out,
                      std::string& error) {
  const int in_channels = info.channels;
  const int out_channels = std::min(in_channels, 2);
  const auto width = static_cast<size_t>(out_channels);
  const bool direct = in_channels <= 2 && ReadsAs16Bits(info.format);
  const bool counted = info.frames > 0 && info.frames != SF_COUNT_MAX;
  const sf_count_t chunk_frames = ChunkFrames(in_channels);
  // Scratch for the reads that do not go to their place directly, kept by each thread.
  thread_local std::vector<float> floats;
  thread_local std::vector<int16_t> shorts;
  std::vector<int16_t>& samples = out.Samples;
  if (counted)
    samples.reserve(static_cast<size_t>(std::min<int64_t>(info.frames, 1 << 22)) * width);

  int64_t frames = 0;
  for (;;) {
    sf_count_t got = 0;
    if (direct && counted && frames < info.frames) {
      // Within the header's count the samples are read into their place.
      const sf_count_t want = std::min<sf_count_t>(info.frames - frames, chunk_frames);
      samples.resize(static_cast<size_t>(frames + want) * width);
      got = sf_readf_short(file, samples.data() + static_cast<size_t>(frames) * width, want);
      samples.resize(static_cast<size_t>(frames + std::max<sf_count_t>(got, 0)) * width);
    } else if (direct) {
      // Past it (a header that counts too few frames, or none), through the scratch, so that the
      // read finding the end does not grow the final buffer.
      shorts.resize(static_cast<size_t>(chunk_frames) * width);
      got = sf_readf_short(file, shorts.data(), chunk_frames);
      if (got > 0) {
        samples.insert(
            samples.end(), shorts.begin(),
            shorts.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(got) * width));
      }
    } else {
      floats.resize(static_cast<size_t>(chunk_frames * in_channels));
      got = sf_readf_float(file, floats.data(), chunk_frames);
      if (got > 0) {
        const size_t start = samples.size();
        const auto n = static_cast<size_t>(got);
        samples.resize(start + n * width);
        int16_t* to = samples.data() + start;
        if (in_channels <= 2) {
          for (size_t i = 0; i < n * width; ++i)
            to[i] = ToInt16(Bounded(floats[i]));
        } else {
          for (size_t f = 0; f < n; ++f) {
            float left = 0, right = 0;
            for (int c = 0; c < in_channels; ++c) {
              const float s = floats[f * static_cast<size_t>(in_channels) + static_cast<size_t>(c)];
              left += s * weights[static_cast<size_t>(c)].left;
              right += s * weights[static_cast<size_t>(c)].right;
            }
            to[2 * f] = ToInt16(Bounded(left));
            to[2 * f + 1] = ToInt16(Bounded(right));
          }
        }
      }
    }
    if (got <= 0) break;
    frames += got;
    if (frames > max_frames) {
      out = DecodedSound{};
      return Fail(error, too_long);
    }
  }
  if (frames == 0) {
    out = DecodedSound{};
    return Fail(error, NoAudioError(file));
  }
  out.Rate = info.samplerate;
  out.Channels = out_channels;
  return true;
}

bool Decode(SF_VIRTUAL_IO& io, void* source, int32_t rate, DecodedSound& out, std::string& error) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> file;
  {
    const char* failure = "";
    file.reset(sndfile::Open(io, source, info, &failure));
    if (!file) return Fail(error, std::string("not a readable sound file (") + failure + ")");
  }
  if (info.channels < 1) return Fail(error, "the sound file has no channels");
  if (info.samplerate < kMinSoundRate || info.samplerate > kMaxSoundRate)
    return Fail(error, "unsupported sample rate " + std::to_string(info.samplerate));
  if (rate == kFileRate) rate = info.samplerate;
  const int in_channels = info.channels;
  const int out_channels = std::min(in_channels, 2);
  const int64_t max_frames =
      std::min(kMaxSoundSeconds * info.samplerate, kMaxSoundSamples / out_channels);
  const std::string too_long =
      "the sound is longer than " + std::to_string(kMaxSoundSeconds / 60) + " minutes";
  if (info.frames > max_frames && info.frames != SF_COUNT_MAX) return Fail(error, too_long);

  const std::vector<Weights> weights =
      in_channels > 2 ? DownmixWeights(file.get(), in_channels) : std::vector<Weights>{};
  if (info.samplerate == rate)
    return ReadAtOutputRate(file.get(), info, weights, max_frames, too_long, out, error);

  const sf_count_t chunk_frames = ChunkFrames(in_channels);
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
  if (frames == 0) return Fail(error, NoAudioError(file.get()));
  file.reset();
  // Float files may hold anything: bound them before resampling.
  for (float& s : samples)
    s = Bounded(s);

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

bool CheckRate(int32_t rate, std::string& error) {
  if (rate == kFileRate || (rate >= kMinSoundRate && rate <= kMaxSoundRate)) return true;
  return Fail(error, "unsupported output rate " + std::to_string(rate));
}

}  // namespace

bool DecodeSound(std::string_view file_image, int32_t rate, DecodedSound& out, std::string& error) {
  out = DecodedSound{};
  error.clear();
  if (!CheckRate(rate, error)) return false;
  if (file_image.empty()) return Fail(error, "the sound file is empty");
  sndfile::MemorySource memory{file_image};
  SF_VIRTUAL_IO io = sndfile::MemorySource::Io();
  return Decode(io, &memory, rate, out, error);
}

bool DecodeSound(int fd, uint64_t size, int32_t rate, DecodedSound& out, std::string& error) {
  out = DecodedSound{};
  error.clear();
  if (!CheckRate(rate, error)) return false;
  if (size == 0) return Fail(error, "the sound file is empty");
  if (size > static_cast<uint64_t>(INT64_MAX)) return Fail(error, "the sound file is too large");
  auto file = std::make_unique<DescriptorFile>();
  file->fd = fd;
  file->size = static_cast<sf_count_t>(size);
  SF_VIRTUAL_IO io{DescriptorLength, DescriptorSeek, DescriptorRead, nullptr, DescriptorTell};
  return Decode(io, file.get(), rate, out, error);
}

}  // namespace quillon
