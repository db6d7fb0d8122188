// The sound device over each output, the sound module's messages, and SDL's test drivers.
#include "playback/sound_device.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "playback/sound_files.h"
#include "playback/sound_module.h"
#include "support/test_data.h"

namespace quillon {
namespace {

using test::MakeSound;

std::string Wav(int rate, int channels, int64_t frames) {
  return test::EncodeSound(test::Sine(frames, channels, rate, 440, 0.5f), channels, rate,
                           SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

struct RecordingMessages : SoundMessages {
  void ShowSoundError(std::string_view text) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

// A device over memory output; `memory` renders it.
struct MemoryDevice {
  explicit MemoryDevice(int32_t rate = 44100) {
    auto output = std::make_unique<MemoryBackend>(rate);
    memory = output.get();
    sound = std::make_unique<SoundDevice>(std::move(output));
  }
  std::vector<int16_t> Render(int64_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(2 * frames));
    memory->Render(out.data(), frames);
    return out;
  }
  MemoryBackend* memory;
  std::unique_ptr<SoundDevice> sound;
};

TEST(SoundDevice, WithoutAnOutputEverythingIsSilentAndHarmless) {
  SoundDevice sound(MakeNullBackend());
  EXPECT_EQ(sound.dsInitialize2(0, 2), 0);
  EXPECT_EQ(sound.dsCreateDSB(0, Wav(44100, 1, 100), 1), 0);
  EXPECT_EQ(sound.dsCreateDSB(1, Wav(44100, 1, 100), 1), 0);
  EXPECT_EQ(sound.CreateBuffer(MakeSound(44100, 1, {1, 2, 3})), 0);
  sound.dsSetVolume(1, -600);
  sound.dsPlay(1);
  sound.dsStop(1);
  sound.dsFree(1);
  sound.dsTerminate(0);
  EXPECT_EQ(sound.OutputFrame(), 0);
}

TEST(SoundDevice, DecodesAtTheOutputRateAndNeverReusesIds) {
  MemoryDevice device(48000);
  SoundDevice& sound = *device.sound;
  const int32_t handle = sound.dsInitialize2(0, 2);
  ASSERT_NE(handle, 0);
  EXPECT_EQ(sound.dsInitialize2(0, 2), handle);
  const int32_t id = sound.dsCreateDSB(handle, Wav(22050, 1, 2205), 1);
  ASSERT_GT(id, 0);
  EXPECT_EQ(sound.dsCreateDSB(handle + 1, Wav(22050, 1, 2205), 1), 0);
  EXPECT_EQ(sound.dsCreateDSB(handle, "not a sound", 1), 0);
  EXPECT_FALSE(sound.LastError().empty());
  EXPECT_EQ(sound.CreateBuffer(MakeSound(44100, 1, {1, 2, 3})), 0);  // another rate

  device.Render(1000);
  EXPECT_EQ(sound.OutputFrame(), 1000);
  sound.PlayAt(id, 1500);
  const std::vector<int16_t> out = device.Render(9600);
  // 0.1 s at 22050 Hz is 4800 frames at 48000 Hz, from 500 frames into this render.
  int64_t first = -1, last = -1;
  for (int64_t f = 0; f < 9600; ++f) {
    if (out[static_cast<size_t>(2 * f)] == 0) continue;
    if (first < 0) first = f;
    last = f;
  }
  EXPECT_NEAR(first, 500, 1);
  EXPECT_NEAR(last, 500 + 4800, 2);

  sound.dsFree(id);
  const int32_t second = sound.CreateBuffer(MakeSound(48000, 2, {1, 2}));
  EXPECT_GT(second, id);
  sound.dsTerminate(handle);
  EXPECT_EQ(sound.dsCreateDSB(handle, Wav(48000, 1, 100), 1), 0);
  ASSERT_EQ(sound.dsInitialize2(0, 2), handle);
  EXPECT_GT(sound.dsCreateDSB(handle, Wav(48000, 1, 100), 1), second);
}

TEST(SoundDevice, AFreedSoundIsReleasedOnTheControlSideOnceTheMixerLetGo) {
  MemoryDevice device;
  SoundDevice& sound = *device.sound;
  ASSERT_NE(sound.dsInitialize2(0, 2), 0);
  auto decoded = MakeSound(44100, 1, std::vector<int16_t>(44100, 100));
  std::weak_ptr<const DecodedSound> watch = decoded;
  const int32_t id = sound.CreateBuffer(std::move(decoded));
  sound.dsPlay(id);
  device.Render(256);
  EXPECT_EQ(sound.ActiveVoices(), 1);
  sound.dsFree(id);
  EXPECT_FALSE(watch.expired());  // the mixer may still be reading it
  EXPECT_EQ(device.Render(256)[0], 0);
  sound.dsStop(12345);  // any control call lets go of what the mixer has finished with
  EXPECT_TRUE(watch.expired());
}

// The UI thread makes, plays and frees buffers while the mixer renders them at full speed
// (meant for the sanitizer builds).
TEST(SoundDevice, MakingAndFreeingBuffersWhileRenderingIsSafe) {
  MemoryDevice device;
  SoundDevice& sound = *device.sound;
  ASSERT_NE(sound.dsInitialize2(0, 2), 0);
  std::atomic<bool> done{false};
  std::thread render([&] {
    while (!done)
      device.Render(128);
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
  device.Render(16);
  sound.dsStop(1);
  for (const auto& watch : watches)
    EXPECT_TRUE(watch.expired());
}

TEST(SoundModule, InitSoundReportsAMissingDeviceOnce) {
  RecordingMessages messages;
  SoundDevice none(MakeNullBackend());
  EXPECT_EQ(InitSound(none, 0, messages), 0);
  EXPECT_EQ(messages.shown,
            std::vector<std::string>{"Direct Soundインターフェースが作成できません。"});
  MemoryDevice device;
  EXPECT_NE(InitSound(*device.sound, 0, messages), 0);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(SoundModule, LoadWaveNamesTheFileItCannotLoad) {
  test::TempDir dir;
  const std::string good = dir.Write("good.wav", Wav(44100, 2, 441));
  const std::string bad = dir.Write("bad.wav", "RIFF....WAVEfmt garbage");
  const std::string empty = dir.Write("empty.wav", "");
  RecordingMessages messages;
  MemoryDevice device;
  const int32_t handle = InitSound(*device.sound, 0, messages);
  ASSERT_NE(handle, 0);
  EXPECT_GT(LoadWave(*device.sound, handle, good, 1, messages), 0);
  EXPECT_EQ(LoadWave(*device.sound, 0, good, 1, messages), 0);
  EXPECT_EQ(LoadWave(*device.sound, handle, good + ".missing", 1, messages), 0);
  EXPECT_TRUE(messages.shown.empty());
  for (const std::string& path : {bad, empty, dir.path().string()}) {
    EXPECT_EQ(LoadWave(*device.sound, handle, path, 1, messages), 0);
    EXPECT_EQ(messages.shown.back(), "ファイルロード中のエラー :\n" + path);
  }
  EXPECT_EQ(messages.shown.size(), 3u);
}

template <typename F>
bool WaitFor(F&& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return done();
}

// SDL's dummy driver; skipped where SDL cannot start it.
TEST(SdlOutput, DummyDriverOpensAndPlays) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  SoundDevice sound(MakeSdlBackend());
  const int32_t handle = sound.dsInitialize2(0, 2);
  if (handle == 0) GTEST_SKIP() << "SDL cannot open its dummy audio driver here";
  const int32_t id = sound.dsCreateDSB(handle, Wav(44100, 2, 44100), 1);
  sound.dsPlay(id);
  EXPECT_TRUE(WaitFor([&] { return sound.ActiveVoices() == 1; }));
  const int64_t frame = sound.OutputFrame();
  EXPECT_TRUE(WaitFor([&] { return sound.OutputFrame() > frame; }));
  sound.dsStop(id);
  EXPECT_TRUE(WaitFor([&] { return sound.ActiveVoices() == 0; }));
  sound.dsTerminate(handle);
  EXPECT_FALSE(sound.IsOpen());
}

}  // namespace
}  // namespace quillon
