// Reading a sound file's sample rate from its headers, without decoding it: the loader asks
// every sound of a chart before choosing the rate to mix the chart at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

// How many bytes from the start of a sound file SoundFileRate needs: enough for the headers of
// WAV, FLAC and MP3 files and for the set-up headers (code books) of Ogg Vorbis files.
inline constexpr size_t kSoundHeadBytes = size_t{64} << 10;

// The sample rate the headers of a sound file give, read from `head` (the file's first bytes, or
// all of it) with libsndfile: 0 when they cannot be read there, or give a rate DecodeSound
// refuses. Safe to call from any thread.
int32_t SoundFileRate(std::string_view head);

}  // namespace quillon
