// Decoding whole sound files into 16-bit samples at the output rate.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// A decoded sound: 16-bit samples at one rate, interleaved, mono or stereo. Immutable once it has
// been handed to the mixer.
struct DecodedSound {
  int32_t Rate = 0;
  int32_t Channels = 0;
  std::vector<int16_t> Samples;
  int64_t Frames() const {
    return Channels == 0 ? 0 : static_cast<int64_t>(Samples.size()) / Channels;
  }
};

// The longest sound DecodeSound accepts, in seconds of audio.
inline constexpr int64_t kMaxSoundSeconds = 30 * 60;
// The most samples DecodeSound keeps, before and after resampling: 30 minutes of 48 kHz stereo
// (so files at higher rates are held to less time).
inline constexpr int64_t kMaxSoundSamples = kMaxSoundSeconds * 48000 * 2;
// Sample rates DecodeSound accepts, for the file and for the output.
inline constexpr int32_t kMinSoundRate = 1000;
inline constexpr int32_t kMaxSoundRate = 384000;

// The `rate` that asks DecodeSound for the file's own rate: no resampling.
inline constexpr int32_t kFileRate = 0;

// Decodes a whole sound file image (anything libsndfile reads: WAV PCM/float/ADPCM, Ogg Vorbis,
// FLAC, MP3, ...) and resamples it once to `rate` (kFileRate: kept at its own rate). Mono stays
// mono, stereo stays stereo, more channels are mixed down to stereo. A file whose data stops short
// of what its header promises gives the frames that are there. Safe to call from any thread.
// Returns false with `error` set (and `out` empty) when the bytes are not a sound it can read, hold
// no audio, or hold more than kMaxSoundSeconds or kMaxSoundSamples of it.
bool DecodeSound(std::string_view file_image, int32_t rate, DecodedSound& out, std::string& error);
// The same, reading the file open at `fd` (a regular file; see OpenUserFile) with positioned
// reads, never past `size` bytes and without a copy of the whole file.
bool DecodeSound(int fd, uint64_t size, int32_t rate, DecodedSound& out, std::string& error);

}  // namespace quillon
