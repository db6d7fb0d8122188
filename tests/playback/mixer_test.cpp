// The mixer rendered offline: exact start frames, restarts, volume, the limiter, freeing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

#include "playback/mixer.h"
#include "playback/sound_device.h"
#include "playback/sound_files.h"

namespace quillon {
namespace {

using test::MakeSound;
using Frame = std::pair<int16_t, int16_t>;

// Renders `frames` frames in pieces of at most `piece` frames.
std::vector<int16_t> Render(OfflineMixer& mixer, int64_t frames, int64_t piece = 1 << 20) {
  std::vector<int16_t> out(static_cast<size_t>(2 * frames));
  for (int64_t done = 0; done < frames; done += piece)
    mixer.Render(out.data() + 2 * done, std::min(piece, frames - done));
  return out;
}

std::shared_ptr<const DecodedSound> Impulse(int16_t level, size_t length = 64) {
  std::vector<int16_t> samples(length);
  samples[0] = level;
  return MakeSound(44100, 1, samples);
}

// A mono ramp 10, 20, 30, ...: any sample tells how far into the sound it is.
std::shared_ptr<const DecodedSound> Ramp(int16_t length) {
  std::vector<int16_t> samples;
  for (int16_t i = 1; i <= length; ++i)
    samples.push_back(static_cast<int16_t>(10 * i));
  return MakeSound(44100, 1, samples);
}

std::vector<int64_t> SoundingFrames(const std::vector<int16_t>& out) {
  std::vector<int64_t> frames;
  for (size_t i = 0; i < out.size(); i += 2)
    if (out[i] != 0 || out[i + 1] != 0) frames.push_back(static_cast<int64_t>(i / 2));
  return frames;
}

TEST(Mixer, StartsAtTheExactFrameWhateverTheRenderPieces) {
  for (const int64_t frame : {0, 1, 333, 1023, 1024, 1025, 5000}) {
    for (const int64_t piece : {1, 333, 1024, 8192}) {
      OfflineMixer mixer(44100);
      mixer.PlayAt(mixer.AddSound(Impulse(20000)), frame);
      const std::vector<int16_t> out = Render(mixer, 8192, piece);
      EXPECT_EQ(SoundingFrames(out), std::vector<int64_t>{frame}) << frame << "/" << piece;
      EXPECT_EQ(out[static_cast<size_t>(2 * frame + 1)], 20000);
    }
  }
  // A start already due begins at the first frame of the next render.
  OfflineMixer mixer(44100);
  const int32_t late = mixer.AddSound(Impulse(1000));
  Render(mixer, 100);
  mixer.PlayAt(late, 40);
  mixer.Play(mixer.AddSound(Impulse(2000)));
  const std::vector<int16_t> out = Render(mixer, 100);
  EXPECT_EQ(SoundingFrames(out), std::vector<int64_t>{0});
  EXPECT_EQ(out[0], 3000);
}

TEST(Mixer, ABufferRestartsInsteadOfLayering) {
  OfflineMixer mixer(44100);
  const int32_t id = mixer.AddSound(Ramp(1000));
  mixer.Play(id);
  Render(mixer, 300);
  mixer.Stop(id);
  mixer.Play(id);
  EXPECT_EQ(Render(mixer, 10)[18], 100);
  mixer.Play(id);  // without a Stop too
  EXPECT_EQ(Render(mixer, 10)[0], 10);
  // A scheduled restart cuts the sound exactly there; it runs on until then.
  mixer.PlayAt(id, mixer.Frame() + 500);
  const std::vector<int16_t> out = Render(mixer, 1000);
  EXPECT_EQ(out[2 * 499], 10 * 510);
  EXPECT_EQ(out[2 * 500], 10);
}

TEST(Mixer, KeepsTheEarliestScheduledStartsUntilStopped) {
  OfflineMixer mixer(44100);
  const int32_t id = mixer.AddSound(Impulse(1000, 1));
  std::vector<int64_t> expected;
  for (int64_t k = Mixer::kMaxPendingStarts; k >= 0; --k) {
    mixer.PlayAt(id, 10 * k);
    if (k < Mixer::kMaxPendingStarts) expected.insert(expected.begin(), 10 * k);
  }
  EXPECT_EQ(SoundingFrames(Render(mixer, 100)), expected);
  mixer.PlayAt(id, mixer.Frame() + 10);
  mixer.Stop(id);
  EXPECT_TRUE(SoundingFrames(Render(mixer, 100)).empty());
}

TEST(Mixer, VolumeIsInHundredthsOfADecibel) {
  OfflineMixer mixer(44100);
  std::vector<int16_t> stereo(128);
  stereo[0] = 20000;
  stereo[1] = -8000;
  const int32_t mono = mixer.AddSound(Impulse(20000));
  const int32_t two = mixer.AddSound(MakeSound(44100, 2, stereo));
  const auto first_frame = [&](int32_t id, int32_t level) {
    mixer.SetVolume(id, level);
    mixer.Play(id);
    const std::vector<int16_t> out = Render(mixer, 64);
    return Frame{out[0], out[1]};
  };
  EXPECT_EQ(first_frame(mono, 0), Frame(20000, 20000));
  EXPECT_EQ(first_frame(two, 0), Frame(20000, -8000));
  EXPECT_EQ(first_frame(mono, -600), Frame(10024, 10024));  // 10^(-600/2000) = 0.501
  EXPECT_EQ(first_frame(two, -600), Frame(10024, -4009));
  EXPECT_EQ(first_frame(mono, -10000), Frame(0, 0));
  EXPECT_EQ(first_frame(mono, 600), Frame(20000, 20000));  // no amplification
}

// 64 loud voices: the sum is 60 times full scale. The output keeps the sum's sign (no wrapping),
// stays at the limiter's threshold, and comes back to full level after.
TEST(Mixer, LimitsADenseChordWithoutWrapping) {
  OfflineMixer mixer(44100);
  std::vector<int16_t> square(4410);
  for (size_t i = 0; i < square.size(); ++i)
    square[i] = (i / 50) % 2 ? -30000 : 30000;
  const auto sound = MakeSound(44100, 1, square);
  for (int v = 0; v < 64; ++v)
    mixer.Play(mixer.AddSound(sound));
  const std::vector<int16_t> out = Render(mixer, 4410, 512);
  for (size_t i = 0; i < square.size(); ++i) {
    ASSERT_EQ(out[2 * i] > 0, square[i] > 0) << "frame " << i;
    ASSERT_LE(std::abs(out[2 * i]), Mixer::kLimiterThreshold + 1) << "frame " << i;
    ASSERT_GE(std::abs(out[2 * i]), 30000) << "frame " << i;
  }
  Render(mixer, 44100);
  mixer.Play(mixer.AddSound(Impulse(1234)));
  EXPECT_EQ(Render(mixer, 8)[0], 1234);
}

TEST(Mixer, FreeingASoundingBufferSilencesAndReleasesIt) {
  OfflineMixer mixer(44100);
  auto sound = Ramp(10000);
  std::weak_ptr<const DecodedSound> watch = sound;
  const int32_t id = mixer.AddSound(std::move(sound));
  mixer.Play(id);
  Render(mixer, 100);
  mixer.Free(id);
  EXPECT_TRUE(watch.expired());
  mixer.Play(id);  // the id is gone for good
  EXPECT_TRUE(SoundingFrames(Render(mixer, 200)).empty());
  EXPECT_GT(mixer.AddSound(Impulse(1)), id);
}

TEST(Mixer, TakesMoreBuffersThanAChartCanName) {
  OfflineMixer mixer(44100);
  std::vector<int32_t> ids;
  for (int i = 0; i < 1400; ++i)
    ids.push_back(mixer.AddSound(Impulse(10)));
  EXPECT_GT(ids.front(), 0);
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<>()), ids.end());
  for (int32_t id : ids)
    mixer.PlayAt(id, 7);
  EXPECT_EQ(Render(mixer, 16)[14], 14000);
  EXPECT_EQ(mixer.AddSound(nullptr), 0);
  EXPECT_EQ(mixer.AddSound(MakeSound(44100, 3, std::vector<int16_t>(9))), 0);
  EXPECT_EQ(mixer.AddSound(MakeSound(44100, 1, {})), 0);
}

// With nothing pulling, a full queue costs one short wait, then commands are dropped and
// counted; a freed sound is kept until the mixer goes. Once pulled, everything works again.
TEST(Mixer, QueueFullOfCommandsDropsAndCounts) {
  Mixer mixer(44100);
  const int32_t id = mixer.Add(Impulse(1000));
  auto sound = Impulse(1);
  std::weak_ptr<const DecodedSound> watch = sound;
  const int32_t doomed = mixer.Add(std::move(sound));
  for (size_t i = 0; i < Mixer::kQueueCapacity; ++i)
    mixer.SetVolume(id, 0);
  mixer.Free(doomed);
  EXPECT_EQ(mixer.DroppedCommands(), 3u);
  EXPECT_FALSE(watch.expired());
  std::vector<int16_t> out(2 * 64);
  mixer.Render(out.data(), 64);
  mixer.Play(id);
  mixer.Render(out.data(), 64);
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(mixer.DroppedCommands(), 3u);
}

}  // namespace
}  // namespace quillon
