// Mixing and sound decoding against baselines measured in the same run.
//
// Mixing: one second of 64 voices at 44100 Hz (32 mono, 32 stereo, all sounding for the whole
// second, each at its own level) rendered offline, against a plain sum of the same samples into
// a 32-bit accumulator narrowed to 16 bits. Decoding: a 10 s 48 kHz stereo 16-bit WAV decoded
// to 44.1 kHz (libsoxr, high quality) against decoding it at its own rate. A summary line gives
// each ratio; the ratios are the figures to compare between machines.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "playback/sound_backend.h"
#include "playback/sound_decoder.h"
#include "playback/sound_device.h"

namespace quillon {
namespace {

constexpr int32_t kRate = 44100;
constexpr int kVoices = 64;

std::shared_ptr<const DecodedSound> Tone(int channels, double hz, int64_t frames) {
  auto sound = std::make_shared<DecodedSound>();
  sound->Rate = kRate;
  sound->Channels = channels;
  for (int64_t i = 0; i < frames; ++i) {
    const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * i / kRate));
    sound->Samples.insert(sound->Samples.end(), static_cast<size_t>(channels), v);
  }
  return sound;
}

const std::vector<std::shared_ptr<const DecodedSound>>& Voices() {
  static const auto voices = [] {
    std::vector<std::shared_ptr<const DecodedSound>> v;
    for (int i = 0; i < kVoices; ++i)
      v.push_back(Tone(1 + i % 2, 110.0 * (1 + i % 12), kRate + 1000));
    return v;
  }();
  return voices;
}

// One second of all 64 voices through the sound device over memory output (the audio export's
// path), rendered in 512-frame callbacks as the device would.
void MixOneSecond(std::vector<int16_t>& out) {
  auto output = std::make_unique<MemoryBackend>(kRate);
  MemoryBackend& memory = *output;
  SoundDevice device(std::move(output));
  if (device.dsInitialize2(0, 2) == 0) std::abort();
  for (int i = 0; i < kVoices; ++i) {
    const int32_t id = device.CreateBuffer(Voices()[static_cast<size_t>(i)]);
    device.dsSetVolume(id, -(i % 8) * 100);
    device.dsPlay(id);
  }
  for (int64_t done = 0; done < kRate; done += 512)
    memory.Render(out.data() + 2 * done, std::min<int64_t>(512, kRate - done));
}

// The same samples summed as plainly as possible.
void SumOneSecond(std::vector<int32_t>& sum, std::vector<int16_t>& out) {
  std::fill(sum.begin(), sum.end(), 0);
  for (const auto& voice : Voices()) {
    const int16_t* in = voice->Samples.data();
    if (voice->Channels == 2) {
      for (size_t i = 0; i < sum.size(); ++i)
        sum[i] += in[i];
    } else {
      for (size_t i = 0; i < sum.size(); i += 2) {
        sum[i] += in[i / 2];
        sum[i + 1] += in[i / 2];
      }
    }
  }
  for (size_t i = 0; i < sum.size(); ++i)
    out[i] = static_cast<int16_t>(std::clamp(sum[i], -32768, 32767));
}

// A 16-bit PCM WAV file image.
std::string Wav(int32_t rate, int channels, const std::vector<int16_t>& samples) {
  const auto put32 = [](std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const auto put16 = [](std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
  };
  const auto data_bytes = static_cast<uint32_t>(samples.size() * 2);
  std::string s = "RIFF";
  put32(s, 36 + data_bytes);
  s += "WAVEfmt ";
  put32(s, 16);
  put16(s, 1);
  put16(s, static_cast<uint16_t>(channels));
  put32(s, static_cast<uint32_t>(rate));
  put32(s, static_cast<uint32_t>(rate * channels * 2));
  put16(s, static_cast<uint16_t>(channels * 2));
  put16(s, 16);
  s += "data";
  put32(s, data_bytes);
  const size_t header = s.size();
  s.resize(header + data_bytes);
  std::memcpy(s.data() + header, samples.data(), data_bytes);  // little-endian host
  return s;
}

const std::string& TenSeconds48k() {
  static const std::string image = [] {
    std::vector<int16_t> samples;
    for (int64_t i = 0; i < 10 * 48000; ++i) {
      samples.push_back(static_cast<int16_t>(10000 * std::sin(2 * M_PI * 440 * i / 48000)));
      samples.push_back(static_cast<int16_t>(10000 * std::sin(2 * M_PI * 660 * i / 48000)));
    }
    return Wav(48000, 2, samples);
  }();
  return image;
}

void Decode(int32_t rate) {
  DecodedSound sound;
  std::string error;
  if (!DecodeSound(TenSeconds48k(), rate, sound, error)) std::abort();
  benchmark::DoNotOptimize(sound.Samples.data());
}

void BM_SumBaseline(benchmark::State& state) {
  std::vector<int32_t> sum(2 * kRate);
  std::vector<int16_t> out(2 * kRate);
  for (auto _ : state) {
    SumOneSecond(sum, out);
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_Mix64Voices(benchmark::State& state) {
  std::vector<int16_t> out(2 * kRate);
  for (auto _ : state) {
    MixOneSecond(out);
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_Decode(benchmark::State& state) {
  for (auto _ : state)
    Decode(static_cast<int32_t>(state.range(0)));
}

BENCHMARK(BM_SumBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mix64Voices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Arg(48000)->Arg(44100)->Unit(benchmark::kMillisecond);

using bench::MedianSeconds;

void PrintSummary() {
  constexpr int kRepetitions = 9;
  std::vector<int32_t> sum(2 * kRate);
  std::vector<int16_t> out(2 * kRate);
  const double baseline = MedianSeconds(kRepetitions, [&] { SumOneSecond(sum, out); });
  const double mix = MedianSeconds(kRepetitions, [&] { MixOneSecond(out); });
  std::printf(
      "mix 1 s of %d voices: %.3f ms, plain sum %.3f ms, mix/sum ratio: %.2f, "
      "real-time factor %.0f\n",
      kVoices, mix * 1e3, baseline * 1e3, mix / baseline, 1.0 / mix);
  const double plain = MedianSeconds(kRepetitions, [] { Decode(48000); });
  const double resampled = MedianSeconds(kRepetitions, [] { Decode(44100); });
  std::printf(
      "decode 10 s 48 kHz stereo: %.2f ms, to 44.1 kHz %.2f ms, "
      "resampled/plain ratio: %.2f\n",
      plain * 1e3, resampled * 1e3, resampled / plain);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
