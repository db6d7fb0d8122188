// Where resampling happens: loading a chart's sounds for an output that prefers another rate, and
// the quality of the sounds that are resampled.
//
// Load: a chart naming 255 WAV files (16-bit stereo, 0.6 s, 44.1 kHz), generated once in a
// temporary folder, loaded with LoadBms and its resources (sound only) into a sound device on
// memory output, three ways:
//   - an output at 44.1 kHz: the baseline;
//   - an output that prefers 48 kHz and converts the mixed stream, as SDL and the sound server
//     do: the chart is mixed at its sounds' rate and nothing is resampled;
//   - an output held at 48 kHz (every sound resampled at load), for comparison.
// The summary prints each load's median and the ratio to the baseline (target: 48 kHz-preferring
// <= 1.0 x), plus the cost of reading every sound's rate from its header.
//
// Quality: a linear sine sweep from 20 Hz to 20 kHz at half of full scale, 10 s at 48 kHz, is
// written as a float WAV file and decoded to 44.1 kHz 16-bit by DecodeSound (libsoxr, SOXR_HQ).
// The result is cut into blocks of 8192 samples (half overlapping, Kaiser window, beta 20, whose
// side lobes lie far below what is measured) and each block's spectrum is taken; everything
// more than 200 Hz away from the frequencies the sweep passes through in that block is aliasing,
// imaging or noise (quantisation to 16 bits included). Its power, relative to a full-scale sine,
// is printed for the worst block and on average (target: below -90 dBFS); so is the same figure
// for a sweep from 22.2 to 23.9 kHz, above the new rate's Nyquist frequency, where everything
// left is aliasing that the filter failed to remove ("silent" when every sample rounds to 0).
#include <benchmark/benchmark.h>

#include <sndfile.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "chart/load_view.h"
#include "chart/loader.h"
#include "chart_resources/resource_loader.h"
#include "platform/file_io.h"
#include "platform/surface.h"
#include "playback/sound_backend.h"
#include "playback/sound_decoder.h"
#include "playback/sound_device.h"

namespace quillon {
namespace {

constexpr int kSounds = 255;

class NoMessages : public SoundMessages {
 public:
  void ShowSoundError(std::string_view) override {}
};

// A 16-bit PCM WAV file written by libsndfile from float samples of [-1, 1], or a float one.
std::string EncodeWav(const std::vector<float>& samples, int channels, int rate, int subtype) {
  const bench::TempFolder folder;
  const std::string path = folder.Path("sound.wav");
  SF_INFO info{0, rate, channels, SF_FORMAT_WAV | subtype, 0, 0};
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return {};
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
  sf_close(file);
  return ReadUserFile(path, kSoundFileCap).bytes;
}

std::string Hex2(int v) {
  const char* digits = "0123456789ABCDEF";
  return {digits[(v >> 4) & 15], digits[v & 15]};
}

// "sXX.wav", built by appending (GCC 12 warns wrongly about "s" + std::string at -O2).
std::string SoundName(int id) {
  std::string name = "s";
  name += Hex2(id);
  name += ".wav";
  return name;
}

// The chart and its 255 sounds, each a different tone so that no two files are alike.
const std::string& ChartPath() {
  static const bench::TempFolder folder;
  static const std::string path = [] {
    std::string chart = "#TITLE sounds\r\n#BPM 120\r\n";
    const int frames = 44100 * 6 / 10;
    for (int id = 1; id <= kSounds; ++id) {
      std::vector<float> samples(static_cast<size_t>(2 * frames));
      for (int i = 0; i < frames; ++i) {
        const auto s = static_cast<float>(0.3 * std::sin(2 * M_PI * (100 + 7 * id) * i / 44100.0));
        samples[static_cast<size_t>(2 * i)] = s;
        samples[static_cast<size_t>(2 * i + 1)] = -s;
      }
      folder.Write(SoundName(id), EncodeWav(samples, 2, 44100, SF_FORMAT_PCM_16));
      chart.append("#WAV").append(Hex2(id)).append(" ").append(SoundName(id)).append("\r\n");
      chart.append(id % 2 ? "#00101:" : "#00111:").append(Hex2(id)).append("\r\n");
    }
    return folder.Write("chart.bms", chart);
  }();
  return path;
}

// Loads the chart into a device over `output`; the rate the sounds ended at.
int32_t LoadChart(std::unique_ptr<SoundBackend> output) {
  SoundDevice sound(std::move(output));
  const int32_t device = sound.dsInitialize2(0, 2);
  NoMessages messages;
  SurfaceRegistry surfaces;
  ElementFlags flags = ElementFlags::FirstStart();
  flags.Set(Element::DontLoadBmp, true);
  ResourceLoader resources(sound, device, messages, surfaces, flags);
  Chart chart;
  LoadView view;
  ChartLoader loader(chart, view, flags, &resources, LoadOptions{});
  loader.LoadBms(ChartPath(), false);
  resources.ReleaseAll(chart);
  return sound.Rate();
}

std::unique_ptr<SoundBackend> Output44() {
  return std::make_unique<MemoryBackend>(44100);
}
std::unique_ptr<SoundBackend> Output48Converting() {
  return std::make_unique<MemoryBackend>(48000, MemoryBackend::Rates::Asked);
}
std::unique_ptr<SoundBackend> Output48Fixed() {
  return std::make_unique<MemoryBackend>(48000);
}

void BM_Load44Output(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadChart(Output44()));
}
void BM_Load48PreferringOutput(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadChart(Output48Converting()));
}
void BM_Load48FixedOutput(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadChart(Output48Fixed()));
}
BENCHMARK(BM_Load44Output)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load48PreferringOutput)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load48FixedOutput)->Unit(benchmark::kMillisecond);

// --- Quality ---

void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> step = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> u = a[i + k];
        const std::complex<double> v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= step;
      }
    }
  }
}

double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 60; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

struct SweepLevels {
  double worst_dbfs = -1000;
  double mean_dbfs = -1000;
  bool ok = false;
};

// Resamples a linear sweep from `f0` to `f1` Hz (48 kHz, `seconds` long) to 44.1 kHz through
// DecodeSound and measures what lies away from the sweep's own frequencies, block by block.
SweepLevels MeasureSweep(double f0, double f1, double seconds) {
  constexpr int kIn = 48000;
  constexpr int kOut = 44100;
  constexpr double kAmplitude = 0.5;
  const auto frames = static_cast<size_t>(seconds * kIn);
  std::vector<float> sweep(frames);
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kIn;
    sweep[i] = static_cast<float>(
        kAmplitude * std::sin(2 * M_PI * (f0 * t + (f1 - f0) * t * t / (2 * seconds))));
  }
  DecodedSound decoded;
  std::string error;
  SweepLevels levels;
  if (!DecodeSound(EncodeWav(sweep, 1, kIn, SF_FORMAT_FLOAT), kOut, decoded, error)) return levels;

  constexpr size_t kBlock = 8192;
  constexpr double kMargin = 200;  // Hz either side of the sweep's span in a block
  std::vector<double> window(kBlock);
  double window_power = 0;
  for (size_t n = 0; n < kBlock; ++n) {
    const double r = 2.0 * static_cast<double>(n) / (kBlock - 1) - 1;
    window[n] = BesselI0(20 * std::sqrt(1 - r * r)) / BesselI0(20);
    window_power += window[n] * window[n];
  }
  const double bin_hz = static_cast<double>(kOut) / kBlock;
  double sum_power = 0;
  int blocks = 0;
  double worst = 0;
  // Skip the first and last 0.1 s: the sweep's own start and end are not steady tones.
  for (size_t start = kOut / 10; start + kBlock + kOut / 10 <= decoded.Samples.size();
       start += kBlock / 2) {
    std::vector<std::complex<double>> spectrum(kBlock);
    for (size_t n = 0; n < kBlock; ++n)
      spectrum[n] = decoded.Samples[start + n] / 32768.0 * window[n];
    Fft(spectrum);
    const double t0 = static_cast<double>(start) / kOut;
    const double t1 = static_cast<double>(start + kBlock) / kOut;
    const double lo = f0 + (f1 - f0) * t0 / seconds - kMargin;
    const double hi = f0 + (f1 - f0) * t1 / seconds + kMargin;
    double power = 0;
    for (size_t k = 1; k < kBlock / 2; ++k) {
      const double f = static_cast<double>(k) * bin_hz;
      if (f < lo || f > hi) power += std::norm(spectrum[k]);
    }
    // One-sided spectrum to the signal's mean power, then relative to a full-scale sine (0.5).
    const double relative = 2 * power / (kBlock * window_power) / 0.5;
    worst = std::max(worst, relative);
    sum_power += relative;
    ++blocks;
  }
  if (blocks == 0) return levels;
  levels.worst_dbfs = worst > 0 ? 10 * std::log10(worst) : -1000;
  levels.mean_dbfs = sum_power > 0 ? 10 * std::log10(sum_power / blocks) : -1000;
  levels.ok = true;
  return levels;
}

void PrintSummary() {
  constexpr int kRuns = 9;
  // Warm the page cache and the files once, then alternate the three loads.
  LoadChart(Output44());
  std::vector<double> t44, t48, t48fixed;
  int32_t rate44 = 0, rate48 = 0, rate48fixed = 0;
  for (int r = 0; r < kRuns; ++r) {
    t44.push_back(bench::MedianSeconds(1, [&] { rate44 = LoadChart(Output44()); }));
    t48.push_back(bench::MedianSeconds(1, [&] { rate48 = LoadChart(Output48Converting()); }));
    t48fixed.push_back(bench::MedianSeconds(1, [&] { rate48fixed = LoadChart(Output48Fixed()); }));
  }
  const auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  const double m44 = median(t44), m48 = median(t48), m48fixed = median(t48fixed);
  std::printf("\nLoading 255 WAV files (16-bit stereo, 0.6 s, 44.1 kHz), median of %d:\n", kRuns);
  std::printf("  44.1 kHz output:                      %7.1f ms (mixed at %d Hz)\n", m44 * 1e3,
              rate44);
  std::printf(
      "  48 kHz-preferring output (converts):  %7.1f ms (mixed at %d Hz)  %.2fx  target <= "
      "1.0x\n",
      m48 * 1e3, rate48, m48 / m44);
  std::printf("  48 kHz output, every sound resampled: %7.1f ms (mixed at %d Hz)  %.2fx\n",
              m48fixed * 1e3, rate48fixed, m48fixed / m44);

  // A block whose samples all rounded to 0 has no power to take the logarithm of.
  const auto level = [](double dbfs) {
    char text[32];
    if (dbfs <= -1000) return std::string("silent");
    std::snprintf(text, sizeof text, "%6.1f dBFS", dbfs);
    return std::string(text);
  };
  const SweepLevels sweep = MeasureSweep(20, 20000, 10);
  const SweepLevels alias = MeasureSweep(22200, 23900, 4);
  std::printf(
      "\nA 48 kHz sweep resampled to 44.1 kHz 16-bit (SOXR_HQ); power away from the "
      "sweep, relative to a full-scale sine\n");
  std::printf("  sweep 20 Hz - 20 kHz:  worst block %s, mean %s  target < -90 dBFS%s\n",
              level(sweep.worst_dbfs).c_str(), level(sweep.mean_dbfs).c_str(),
              sweep.ok ? "" : "  (decode failed)");
  std::printf("  sweep 22.2 - 23.9 kHz: worst block %s, mean %s  (all of it aliasing)%s\n",
              level(alias.worst_dbfs).c_str(), level(alias.mean_dbfs).c_str(),
              alias.ok ? "" : "  (decode failed)");
  std::printf("  (16-bit rounding alone: %.1f dBFS)\n",
              10 * std::log10(1.0 / 12 / (32768.0 * 32768.0) / 0.5));
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
