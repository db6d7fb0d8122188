// The mixer rendered offline through the sound device over memory output, as the audio export
// renders (exact start frames, restarts, volume, the limiter, freeing), and the sound device over
// each output.
#include "playback/sound_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "playback/mixer.h"
#include "playback/sound_files.h"
#include "playback/sound_module.h"

namespace quillon {
namespace {

using test::MakeSound;

// A sound device open on memory output at 44100 Hz, pulled by the test itself.
class OfflineMix {
 public:
  OfflineMix() {
    auto output = std::make_unique<MemoryBackend>(44100);
    memory_ = output.get();
    device_ = std::make_unique<SoundDevice>(std::move(output));
    EXPECT_NE(device_->dsInitialize2(0, 2), 0);
  }
  SoundDevice* operator->() { return device_.get(); }
  // Renders `frames` frames in pieces of at most `piece` frames.
  std::vector<int16_t> Render(int64_t frames, int64_t piece = 1 << 20) {
    std::vector<int16_t> out(static_cast<size_t>(2 * frames));
    for (int64_t done = 0; done < frames; done += piece)
      memory_->Render(out.data() + 2 * done, std::min(piece, frames - done));
    return out;
  }

 private:
  MemoryBackend* memory_ = nullptr;
  std::unique_ptr<SoundDevice> device_;
};

std::shared_ptr<const DecodedSound> Impulse(int16_t level) {
  std::vector<int16_t> samples(64);
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
  for (const int64_t frame : {0, 1, 1023, 1024, 1025, 5000}) {
    for (const int64_t piece : {1, 333, 1024, 8192}) {
      OfflineMix mixer;
      mixer->PlayAt(mixer->CreateBuffer(Impulse(20000)), frame);
      EXPECT_EQ(SoundingFrames(mixer.Render(8192, piece)), std::vector<int64_t>{frame})
          << frame << "/" << piece;
    }
  }
  // A start already due begins at the first frame of the next render.
  OfflineMix mixer;
  const int32_t late = mixer->CreateBuffer(Impulse(1000));
  mixer.Render(100);
  mixer->PlayAt(late, 40);
  mixer->dsPlay(mixer->CreateBuffer(Impulse(2000)));
  const std::vector<int16_t> out = mixer.Render(100);
  EXPECT_EQ(SoundingFrames(out), std::vector<int64_t>{0});
  EXPECT_EQ(out[0], 3000);
}

TEST(Mixer, ABufferRestartsInsteadOfLayering) {
  OfflineMix mixer;
  const int32_t id = mixer->CreateBuffer(Ramp(1000));
  mixer->dsPlay(id);
  mixer.Render(300);
  mixer->dsPlay(id);
  EXPECT_EQ(mixer.Render(10)[18], 100);
  // A scheduled restart cuts the sound exactly there; it runs on until then.
  mixer->PlayAt(id, mixer->OutputFrame() + 500);
  std::vector<int16_t> out = mixer.Render(1000);
  EXPECT_EQ(out[2 * 499], 10 * 510);
  EXPECT_EQ(out[2 * 500], 10);
  // Stop cancels what was scheduled.
  mixer->PlayAt(id, mixer->OutputFrame() + 10);
  mixer->dsStop(id);
  EXPECT_TRUE(SoundingFrames(mixer.Render(100)).empty());
}

TEST(Mixer, VolumeIsInHundredthsOfADecibel) {
  OfflineMix mixer;
  const int32_t mono = mixer->CreateBuffer(Impulse(20000));
  const int32_t stereo = mixer->CreateBuffer(MakeSound(44100, 2, {20000, -8000, 0, 0}));
  const auto first_frame = [&](int32_t id, int32_t level) {
    mixer->dsSetVolume(id, level);
    mixer->dsPlay(id);
    const std::vector<int16_t> out = mixer.Render(64);
    return std::pair{out[0], out[1]};
  };
  using Frame = std::pair<int16_t, int16_t>;
  EXPECT_EQ(first_frame(mono, -600), Frame(10024, 10024));  // 10^(-600/2000) = 0.501
  EXPECT_EQ(first_frame(stereo, -600), Frame(10024, -4009));
  EXPECT_EQ(first_frame(mono, -10000), Frame(0, 0));
  EXPECT_EQ(first_frame(mono, 600), Frame(20000, 20000));  // no amplification
}

// 64 loud voices: the sum is 60 times full scale. The output keeps the sum's sign (no wrapping),
// stays at the limiter's threshold, and comes back to full level after.
TEST(Mixer, LimitsADenseChordWithoutWrapping) {
  OfflineMix mixer;
  std::vector<int16_t> square(4410);
  for (size_t i = 0; i < square.size(); ++i)
    square[i] = (i / 50) % 2 ? -30000 : 30000;
  const auto sound = MakeSound(44100, 1, square);
  for (int v = 0; v < 64; ++v)
    mixer->dsPlay(mixer->CreateBuffer(sound));
  const std::vector<int16_t> out = mixer.Render(4410, 512);
  for (size_t i = 0; i < square.size(); ++i) {
    ASSERT_EQ(out[2 * i] > 0, square[i] > 0) << "frame " << i;
    ASSERT_LE(std::abs(out[2 * i]), Mixer::kLimiterThreshold + 1) << "frame " << i;
    ASSERT_GE(std::abs(out[2 * i]), 30000) << "frame " << i;
  }
  mixer.Render(44100);
  mixer->dsPlay(mixer->CreateBuffer(Impulse(1234)));
  EXPECT_EQ(mixer.Render(8)[0], 1234);
}

TEST(Mixer, FreeingASoundingBufferSilencesAndReleasesIt) {
  OfflineMix mixer;
  auto sound = Ramp(10000);
  std::weak_ptr<const DecodedSound> watch = sound;
  const int32_t id = mixer->CreateBuffer(std::move(sound));
  mixer->dsPlay(id);
  mixer.Render(100);
  mixer->dsFree(id);
  mixer->dsPlay(id);  // the id is gone for good
  EXPECT_TRUE(SoundingFrames(mixer.Render(200)).empty());
  // The render side has let go of it: the next control call releases it.
  mixer->dsStop(id);
  EXPECT_TRUE(watch.expired());
  EXPECT_GT(mixer->CreateBuffer(Impulse(1)), id);
  // Sounds the mixer cannot play get no id.
  EXPECT_EQ(mixer->CreateBuffer(nullptr), 0);
  EXPECT_EQ(mixer->CreateBuffer(MakeSound(44100, 3, std::vector<int16_t>(9))), 0);
  EXPECT_EQ(mixer->CreateBuffer(MakeSound(44100, 1, {})), 0);
}

TEST(SoundDevice, WithoutAnOutputEverythingIsSilentAndHarmless) {
  SoundDevice sound(MakeNullBackend());
  EXPECT_EQ(sound.dsInitialize2(0, 2), 0);
  EXPECT_EQ(sound.CreateBuffer(MakeSound(44100, 1, {1, 2, 3})), 0);
  sound.dsSetVolume(1, -600);
  sound.dsPlay(1);
  sound.dsFree(1);
  sound.dsTerminate(0);
  EXPECT_EQ(sound.OutputFrame(), 0);
}

// The UI thread makes, plays and frees buffers while the mixer renders them at full speed
// (meant for the sanitizer builds). Every sound is released once the mixer has let go.
TEST(SoundDevice, MakingAndFreeingBuffersWhileRenderingIsSafe) {
  auto output = std::make_unique<MemoryBackend>(44100);
  MemoryBackend* memory = output.get();
  SoundDevice sound(std::move(output));
  ASSERT_NE(sound.dsInitialize2(0, 2), 0);
  std::vector<int16_t> out(2 * 128);
  std::atomic<bool> done{false};
  std::thread render([&] {
    while (!done)
      memory->Render(out.data(), 128);
  });
  std::vector<std::weak_ptr<const DecodedSound>> watches;
  std::vector<int32_t> live;
  for (int i = 0; i < 3000; ++i) {
    auto decoded = MakeSound(44100, 1 + i % 2, std::vector<int16_t>(200 + i % 700, 30000));
    watches.push_back(decoded);
    live.push_back(sound.CreateBuffer(std::move(decoded)));
    sound.dsSetVolume(live.back(), -i);
    sound.PlayAt(live.back(), sound.OutputFrame() + i % 300);
    if (i % 3 == 0) sound.dsStop(live[live.size() / 2]);
    if (live.size() > 40) {
      sound.dsFree(live.front());
      live.erase(live.begin());
    }
  }
  for (int32_t id : live)
    sound.dsFree(id);
  done = true;
  render.join();
  memory->Render(out.data(), 16);
  sound.dsStop(1);  // any control call lets go of what the mixer has finished with
  for (const auto& watch : watches)
    EXPECT_TRUE(watch.expired());
}

TEST(MajorityRate, TheRateOfMostSoundsWinsATieTheHigherRate) {
  EXPECT_EQ(MajorityRate({44100, 48000, 44100}), 44100);
  EXPECT_EQ(MajorityRate({48000, 22050, 48000, 44100}), 48000);
  EXPECT_EQ(MajorityRate({44100, 48000}), 48000);
  EXPECT_EQ(MajorityRate({22050, 48000, 22050, 48000, 96000}), 48000);
  // Unknown rates (0) and rates no sound is decoded at have no say.
  EXPECT_EQ(MajorityRate({0, 0, 0, 96000}), 96000);
  EXPECT_EQ(MajorityRate({500, 500, 1'000'000, 32000}), 44100);  // never below 44.1 kHz
  EXPECT_EQ(MajorityRate({22050, 22050, 44100}), 44100);
  // No sounds, or none with a rate known: the default.
  EXPECT_EQ(MajorityRate({}), kDefaultMixRate);
  EXPECT_EQ(MajorityRate({0, 0}), 44100);
}

// A device that can run at any rate reopens for a new one; its buffers and frame count go, and
// the new mixer plays sounds at the new rate from its own frame 0.
TEST(SoundDevice, UseRateReopensTheOutputOnlyForANewRate) {
  auto output = std::make_unique<MemoryBackend>(44100, MemoryBackend::Rates::Asked);
  MemoryBackend* memory = output.get();
  SoundDevice sound(std::move(output));
  ASSERT_NE(sound.dsInitialize2(0, 2), 0);
  EXPECT_EQ(sound.Rate(), kDefaultMixRate);
  EXPECT_EQ(sound.Opens(), 1u);
  const int32_t old_id = sound.CreateBuffer(Impulse(1000));
  ASSERT_GT(old_id, 0);
  std::vector<int16_t> out(2 * 100);
  memory->Render(out.data(), 100);

  EXPECT_EQ(sound.UseRate(44100), 44100);
  EXPECT_EQ(sound.UseRate(5), 44100);  // not a rate to mix at
  EXPECT_EQ(sound.Opens(), 1u);
  EXPECT_EQ(sound.OutputFrame(), 100);

  EXPECT_EQ(sound.UseRate(48000), 48000);
  EXPECT_EQ(sound.Rate(), 48000);
  EXPECT_EQ(sound.Opens(), 2u);
  EXPECT_EQ(sound.OutputFrame(), 0);
  EXPECT_EQ(sound.CreateBuffer(Impulse(1000)), 0);  // at the old rate
  const int32_t id = sound.CreateBuffer(MakeSound(48000, 1, {700, 800}));
  EXPECT_GT(id, old_id);  // ids are not reused
  sound.dsPlay(old_id);   // released: nothing
  sound.PlayAt(id, 10);
  memory->Render(out.data(), 100);
  EXPECT_EQ(SoundingFrames(out), (std::vector<int64_t>{10, 11}));
  EXPECT_EQ(out[20], 700);
  EXPECT_EQ(out[23], 800);
}

TEST(SoundDevice, UseRateLeavesAFixedOrClosedOutputAsItIs) {
  SoundDevice fixed(std::make_unique<MemoryBackend>(22050));
  ASSERT_NE(fixed.dsInitialize2(0, 2), 0);
  EXPECT_EQ(fixed.Rate(), 22050);
  const int32_t id = fixed.CreateBuffer(MakeSound(22050, 1, {1}));
  EXPECT_EQ(fixed.UseRate(48000), 22050);
  EXPECT_EQ(fixed.Opens(), 1u);
  EXPECT_EQ(fixed.CreateBuffer(MakeSound(22050, 1, {1})), id + 1);  // still the same mixer

  SoundDevice none(MakeNullBackend());
  EXPECT_EQ(none.UseRate(48000), 0);
  EXPECT_FALSE(none.IsOpen());
}

// SDL's dummy driver; skipped where SDL cannot start it.
TEST(SdlOutput, DummyDriverOpensAndPlays) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  SoundDevice sound(MakeSdlBackend());
  const int32_t handle = sound.dsInitialize2(0, 2);
  if (handle == 0) GTEST_SKIP() << "SDL cannot open its dummy audio driver here";
  const auto wait_for = [](auto done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
  };
  // SDL opens at the rate asked for and converts to the device's own rate when it must.
  EXPECT_EQ(sound.Rate(), kDefaultMixRate);
  EXPECT_EQ(sound.UseRate(22050), 22050);
  const int32_t id =
      sound.CreateBuffer(MakeSound(sound.Rate(), 2, std::vector<int16_t>(88200, 1000)));
  ASSERT_NE(id, 0);
  sound.dsPlay(id);
  EXPECT_TRUE(wait_for([&] { return sound.ActiveVoices() == 1; }));
  const int64_t frame = sound.OutputFrame();
  EXPECT_TRUE(wait_for([&] { return sound.OutputFrame() > frame; }));
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

struct Messages : SoundMessages {
  std::vector<std::string> shown;
  void ShowSoundError(std::string_view text) override { shown.emplace_back(text); }
};

TEST(SoundModule, NoDeviceIsToldOnceAndAnOpenDeviceSaysNothing) {
  Messages messages;
  SoundDevice none(MakeNullBackend());
  EXPECT_EQ(InitSound(none, 0, messages), 0);
  EXPECT_EQ(messages.shown, std::vector<std::string>{"The sound device could not be opened."});

  SoundDevice device(std::make_unique<MemoryBackend>(44100));
  EXPECT_NE(InitSound(device, 0, messages), 0);
  EXPECT_EQ(messages.shown.size(), 1u);  // an opened device says nothing
}

}  // namespace
}  // namespace quillon
