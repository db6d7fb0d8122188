// Decoding a full-HD movie into the BGA composition, against the movie's own frame interval.
//
// At the start a 1920x1080, 10 s, 30 fps clip is encoded with libx264 (mpeg4 when libavcodec
// has no libx264; the summary says which) into a temporary folder: a sliding gradient with
// noise and turning chroma, so that every frame is new work for the decoder. A frame is what
// the movie player's thread does for each frame of the movie at play: DecodeTo the frame's time
// and Draw it scaled to 256x144 into the 256x256 composition. The summary gives the time per
// frame as a ratio to the frame interval (33.3 ms), and decoding alone per frame.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "support/test_clip.h"
#include "video/movie.h"

namespace quillon {
namespace {

constexpr int kFps = 30;
constexpr int kFrames = 10 * kFps;
constexpr double kIntervalMs = 1000.0 / kFps;

struct Clip {
  bench::TempFolder folder;
  std::string path;
  std::string codec;
};

const Clip& TheClip() {
  static const std::unique_ptr<Clip> clip = [] {
    auto c = std::make_unique<Clip>();
    test::ClipOptions options;
    options.codec = test::HasEncoder("libx264") ? "libx264" : "mpeg4";
    options.width = 1920;
    options.height = 1080;
    options.fps = kFps;
    options.frames = kFrames;
    options.key_interval = 2 * kFps;
    options.moving = true;
    c->codec = options.codec;
    c->path = c->folder.Path(options.codec == "libx264" ? "movie.mp4" : "movie.avi");
    const std::string error = test::WriteClip(c->path, options);
    if (!error.empty()) {
      std::fprintf(stderr, "cannot write the clip: %s\n", error.c_str());
      std::exit(1);
    }
    return c;
  }();
  return *clip;
}

// Plays the whole movie once, frame by frame; `draw` scales every frame too.
void PlayThrough(MovieDecoder& decoder, QImage& target, bool draw) {
  for (int n = 0; n < kFrames; ++n) {
    decoder.DecodeTo(n * kIntervalMs);
    if (draw) decoder.Draw(target);
  }
  decoder.DecodeTo(0);  // back to the start for the next pass
  benchmark::ClobberMemory();
}

std::unique_ptr<MovieDecoder> OpenClip() {
  auto decoder = std::make_unique<MovieDecoder>();
  std::string error;
  if (!decoder->Open(TheClip().path, error)) {
    std::fprintf(stderr, "cannot open the clip: %s\n", error.c_str());
    std::exit(1);
  }
  return decoder;
}

void BM_DecodeAndDraw(benchmark::State& state) {
  auto decoder = OpenClip();
  QImage target;
  for (auto _ : state)
    PlayThrough(*decoder, target, true);
}

void BM_DecodeOnly(benchmark::State& state) {
  auto decoder = OpenClip();
  QImage target;
  for (auto _ : state)
    PlayThrough(*decoder, target, false);
}

void BM_Draw(benchmark::State& state) {
  auto decoder = OpenClip();
  decoder->DecodeTo(5000);
  QImage target;
  for (auto _ : state) {
    decoder->Draw(target);
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_DecodeAndDraw)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Draw)->Unit(benchmark::kMicrosecond);

void PrintSummary() {
  constexpr int kRepetitions = 3;
  auto decoder = OpenClip();
  QImage target;
  const double both =
      bench::MedianSeconds(kRepetitions, [&] { PlayThrough(*decoder, target, true); }) * 1e3 /
      kFrames;
  const double decode =
      bench::MedianSeconds(kRepetitions, [&] { PlayThrough(*decoder, target, false); }) * 1e3 /
      kFrames;
  std::error_code error;
  const double mbps = static_cast<double>(std::filesystem::file_size(TheClip().path, error)) * 8 /
                      1e6 / (kFrames / kFps);
  std::printf("1920x1080 %s, %d frames at %d fps, %.1f Mbit/s\n", TheClip().codec.c_str(), kFrames,
              kFps, mbps);
  std::printf("decode+draw per frame %.2f ms, decode only %.2f ms, draw %.2f ms\n", both, decode,
              both - decode);
  std::printf("decode+draw / frame interval: %.3f (target: at most 0.250)\n", both / kIntervalMs);
  std::printf("decode only / frame interval: %.3f\n", decode / kIntervalMs);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, [] { quillon::PrintSummary(); });
}
