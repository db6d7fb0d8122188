// Sounds made in memory for the tests and the fuzz seeds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "playback/sound_decoder.h"

namespace quillon::test {

// Samples (interleaved; float at full scale ±1, or 16-bit written as they are) encoded as a whole
// sound file by libsndfile into memory; `format` is SF_FORMAT_* container | subtype.
std::string EncodeSound(const std::vector<float>& samples, int channels, int rate, int format);
std::string EncodeSound(const std::vector<int16_t>& samples, int channels, int rate, int format);

// A sine of `hz` at `amplitude` (full scale 1), the same on every channel.
std::vector<float> Sine(int64_t frames, int channels, int rate, double hz, float amplitude);

// A decoded sound holding exactly `samples`.
std::shared_ptr<const DecodedSound> MakeSound(int32_t rate, int32_t channels,
                                              std::vector<int16_t> samples);

}  // namespace quillon::test
