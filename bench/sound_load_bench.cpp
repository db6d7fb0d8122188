// Loading a chart's sounds, against decoding the same files with plain libsndfile in one thread.
//
// Three generated charts, each with its sound files in a temporary folder:
//   (a) 255 WAV files, 16-bit stereo, 0.6 s at the device rate (44.1 kHz);
//   (b) 255 Ogg Vorbis files, stereo, 0.6 s at 44.1 kHz;
//   (c) 1,295 short WAV files (0.1 s, 16-bit stereo). Ids only reach FF, so the chart names
//       the ids 01..FF again and again: each #WAV line is read and decoded as a file of its own
//       (a later definition replaces the earlier one), which is what loading 1,295 ids costs.
// The load is LoadBms through ChartLoader with the real ResourceLoader and a sound device open on
// the memory output, so every sound also gets its mixer buffer. The baseline, in the same run:
// each file opened with sf_open, decoded with sf_readf_short in one thread into its own newly
// allocated buffer, all buffers kept until the end (as the loader keeps its sounds).
//
// `sound_load_bench a` (or b, c) runs one set only. Resident memory after loading is measured in a
// fresh process (this program started again with --memory CHART), so that nothing from the timing
// runs is counted.
#include <sndfile.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "chart_resources/resource_loader.h"
#include "playback/sound_backend.h"

namespace quillon {
namespace {

constexpr int kRate = 44100;
constexpr double kTimeTarget = 0.75;
constexpr double kMemoryFactor = 1.3;
constexpr double kMemoryAllowanceMb = 80;

class NoMessages : public SoundMessages {
 public:
  int errors = 0;
  void ShowSoundError(std::string_view) override { ++errors; }
};

std::string Hex2(int v) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(v >> 4) & 15], kDigits[v & 15]};
}

// A stereo sound of `frames` frames at kRate, different for each `seed`: two sines and a little
// noise, so that Vorbis has something to code.
std::vector<int16_t> MakeSound(int64_t frames, int seed) {
  std::vector<int16_t> samples(static_cast<size_t>(frames * 2));
  uint32_t noise = 12345u + static_cast<uint32_t>(seed);
  const double f1 = 110.0 + 7.0 * seed, f2 = 1500.0 + 13.0 * seed;
  for (int64_t i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const double t = static_cast<double>(i) / kRate;
    const double s = 0.4 * std::sin(2 * M_PI * f1 * t) + 0.2 * std::sin(2 * M_PI * f2 * t) +
                     0.05 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5);
    samples[static_cast<size_t>(2 * i)] = static_cast<int16_t>(s * 32767);
    samples[static_cast<size_t>(2 * i + 1)] = static_cast<int16_t>(-s * 32767);
  }
  return samples;
}

void WriteSound(const std::string& path, const std::vector<int16_t>& samples, int format) {
  SF_INFO info{0, kRate, 2, format, 0, 0};
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
    std::exit(1);
  }
  sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
  sf_close(file);
}

struct SoundSet {
  std::string name;
  std::string chart;
  std::vector<std::string> files;  // in the chart's order
};

// Writes `count` sound files of `frames` frames and a chart naming them in order, ids 01..FF
// over and over.
SoundSet MakeSet(const bench::TempFolder& folder, const std::string& name, int count,
                 int64_t frames, int format, const char* extension) {
  SoundSet set{name, {}, {}};
  std::string text = "#PLAYER 1\r\n#TITLE " + name + "\r\n#BPM 150\r\n";
  for (int i = 0; i < count; ++i) {
    const std::string file = name + "_" + std::to_string(i) + extension;
    set.files.push_back(folder.Path(file));
    WriteSound(set.files.back(), MakeSound(frames, i), format);
    text += "#WAV" + Hex2(i % 255 + 1) + " " + file + "\r\n";
  }
  text += "#00101:0102030405060708\r\n";
  set.chart = folder.Write(name + ".bms", text);
  return set;
}

struct Loaded {
  size_t sounds = 0;
  int errors = 0;
  uint64_t pcm_bytes = 0;
};

// LoadBms of `chart` with the resource loader and an open sound device on the memory output;
// everything loaded is released when it returns (after `while_loaded`, when given).
template <typename F>
Loaded LoadChart(const std::string& chart_path, F&& while_loaded) {
  SoundDevice sound(std::make_unique<MemoryBackend>(kRate));
  const int32_t device = sound.dsInitialize2(0, 2);
  NoMessages messages;
  SurfaceRegistry surfaces;
  const ElementFlags flags = ElementFlags::FirstStart();
  ResourceLoader resources(sound, device, messages, surfaces, flags);
  Chart chart;
  LoadView view;
  LoadOptions options;
  options.Seed = 1;
  ChartLoader loader(chart, view, flags, &resources, options);
  loader.LoadBms(chart_path, false);
  Loaded loaded;
  loaded.sounds = resources.Sounds().size();
  loaded.errors = messages.errors;
  for (const auto& [id, s] : resources.Sounds())
    loaded.pcm_bytes += static_cast<uint64_t>(s.Frames * s.Channels) * sizeof(int16_t);
  while_loaded(loaded);
  return loaded;
}

// The baseline: one thread, plain libsndfile, each file into its own new buffer, all kept.
int64_t DecodePlain(const std::vector<std::string>& files) {
  std::vector<std::unique_ptr<int16_t[]>> kept;
  kept.reserve(files.size());
  int64_t frames = 0;
  for (const std::string& path : files) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) continue;
    auto buffer =
        std::make_unique_for_overwrite<int16_t[]>(static_cast<size_t>(info.frames * info.channels));
    frames += sf_readf_short(file, buffer.get(), info.frames);
    sf_close(file);
    kept.push_back(std::move(buffer));
  }
  return frames;
}

int64_t ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtoll(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// The child process of the memory measurement: loads the chart once and prints
// "<resident KB> <PCM bytes>".
int MeasureMemory(const std::string& chart) {
  LoadChart(chart, [](const Loaded& loaded) {
    std::printf("%" PRId64 " %" PRIu64 "\n", ResidentKb(), loaded.pcm_bytes);
  });
  return 0;
}

void Report(const SoundSet& set, const char* self) {
  Loaded loaded;
  const double load = bench::MedianSeconds(7, [&] { loaded = LoadChart(set.chart, [](auto&) {}); });
  int64_t frames = 0;
  const double plain = bench::MedianSeconds(7, [&] { frames = DecodePlain(set.files); });
  std::printf("%s: %zu files, %zu sounds held, %d errors, %.1f MB of PCM decoded by the baseline\n",
              set.name.c_str(), set.files.size(), loaded.sounds, loaded.errors,
              static_cast<double>(frames) * 4 / 1e6);
  std::printf(
      "  sound loading %.1f ms, plain libsndfile one thread %.1f ms: ratio %.2f (target "
      "<= %.2f)\n",
      load * 1e3, plain * 1e3, load / plain, kTimeTarget);

  const std::string command = std::string(self) + " --memory '" + set.chart + "'";
  FILE* child = popen(command.c_str(), "r");
  int64_t resident_kb = -1;
  uint64_t pcm = 0;
  if (child) {
    if (std::fscanf(child, "%" SCNd64 " %" SCNu64, &resident_kb, &pcm) != 2) resident_kb = -1;
    pclose(child);
  }
  const double resident_mb = static_cast<double>(resident_kb) / 1024;
  const double pcm_mb = static_cast<double>(pcm) / (1024 * 1024);
  const double limit_mb = kMemoryFactor * pcm_mb + kMemoryAllowanceMb;
  std::printf(
      "  resident after loading %.1f MiB, PCM held %.1f MiB: limit %.2f x PCM + %.0f MiB "
      "= %.1f MiB (%s)\n",
      resident_mb, pcm_mb, kMemoryFactor, kMemoryAllowanceMb, limit_mb,
      resident_kb >= 0 && resident_mb <= limit_mb ? "met" : "NOT met");
}

// `only`: the name's first letter of the one set to run (a, b or c); empty runs all three.
int Run(const char* self, std::string_view only) {
  const bench::TempFolder folder;
  constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  struct Kind {
    const char* name;
    int count;
    int64_t frames;
    int format;
    const char* extension;
  };
  const Kind kinds[] = {
      {"a_wav", 255, kRate * 6 / 10, kWav16, ".wav"},
      {"b_vorbis", 255, kRate * 6 / 10, SF_FORMAT_OGG | SF_FORMAT_VORBIS, ".ogg"},
      {"c_short_wav", 1295, kRate / 10, kWav16, ".wav"},
  };
  for (const Kind& k : kinds) {
    if (!only.empty() && std::string_view(k.name).substr(0, only.size()) != only) continue;
    Report(MakeSet(folder, k.name, k.count, k.frames, k.format, k.extension), self);
  }
  return 0;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) return quillon::MeasureMemory(argv[2]);
  return quillon::Run(std::filesystem::read_symlink("/proc/self/exe").c_str(),
                      argc == 2 ? argv[1] : "");
}
