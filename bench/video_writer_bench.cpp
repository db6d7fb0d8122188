// Encoding a finished video: 10 s of 1280x720 at 60 fps with stereo sound, to .mp4 (H.264 + AAC)
// and .webm (VP9 + Opus) at the default quality, against real time.
//
// Each frame is drawn with QPainter first (cheap but always changing: scrolling stripes and a
// few moving blocks, like notes falling over lanes), then converted and encoded; the sound is a
// tone in pieces of one frame's length. The summary gives frames per second, the ratio to real
// time (60 frames per second; at least 1.0 is the goal with drawing the real picture besides),
// the share of the time the drawing took, and the output's bit rate; then the CPU time a frame
// took in all threads, and the ratio to real time that gives on two otherwise idle cores (the
// wall-clock ratio on a shared machine says more about the neighbours than about the encoder).
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <QImage>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "video/video_writer.h"

namespace quillon {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFps = 60;
constexpr int kSeconds = 10;
constexpr int kFrames = kSeconds * kFps;
constexpr int kRate = 48000;
constexpr int kSamplesPerFrame = kRate / kFps;

void Draw(QImage& image, int n) {
  QPainter painter(&image);
  painter.fillRect(image.rect(), QColor(10, 10, 24));
  for (int x = (n * 3) % 64 - 64; x < kWidth; x += 64)
    painter.fillRect(x, 0, 8, kHeight, QColor(40, 40, 70));
  for (int lane = 0; lane < 8; ++lane) {
    const int y = (n * 9 + lane * 137) % (kHeight + 40) - 40;
    painter.fillRect(200 + lane * 110, y, 100, 20,
                     lane % 2 ? QColor(230, 230, 255) : QColor(80, 160, 255));
  }
  painter.fillRect(20, 20, n * (kWidth - 40) / kFrames, 6, Qt::white);  // a progress bar
}

struct Result {
  double seconds = 0.0;
  double cpu_seconds = 0.0;  // all the process's threads: steadier than wall time on a busy machine
  double draw_seconds = 0.0;
  double mbps = 0.0;
};

Result Encode(const std::string& name) {
  bench::TempFolder folder;
  const std::string path = folder.Path(name);
  VideoSettings settings;
  settings.Width = kWidth;
  settings.Height = kHeight;
  settings.Fps = kFps;
  std::vector<int16_t> sound(2 * kSamplesPerFrame);
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  Result result;
  std::string error;
  VideoWriter writer;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  bool ok = writer.Open(path, settings, error);
  for (int n = 0; ok && n < kFrames; ++n) {
    const auto draw_start = std::chrono::steady_clock::now();
    Draw(image, n);
    result.draw_seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - draw_start).count();
    for (int i = 0; i < kSamplesPerFrame; ++i) {
      const double t = static_cast<double>(n * kSamplesPerFrame + i) / kRate;
      sound[2 * i] = sound[2 * i + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t));
    }
    ok =
        writer.WriteFrame(image, error) && writer.WriteSound(sound.data(), kSamplesPerFrame, error);
  }
  ok = ok && writer.Finish(error);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  if (!ok) {
    std::fprintf(stderr, "cannot write %s: %s\n", name.c_str(), error.c_str());
    std::exit(1);
  }
  std::error_code size_error;
  result.mbps =
      static_cast<double>(std::filesystem::file_size(path, size_error)) * 8 / 1e6 / kSeconds;
  return result;
}

void BM_EncodeMp4(benchmark::State& state) {
  for (auto _ : state)
    Encode("bench.mp4");
}

void BM_EncodeWebm(benchmark::State& state) {
  for (auto _ : state)
    Encode("bench.webm");
}

BENCHMARK(BM_EncodeMp4)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_EncodeWebm)->Unit(benchmark::kMillisecond)->Iterations(1);

void PrintSummary() {
  std::printf("%dx%d, %d fps, %d s, default quality %d\n", kWidth, kHeight, kFps, kSeconds,
              VideoSettings::kDefaultQuality);
  for (const char* name : {"bench.mp4", "bench.webm"}) {
    const Result r = Encode(name);
    const double fps = kFrames / r.seconds;
    std::printf(
        "%-5s %6.1f frames/s, %.2fx real time (target: at least 1.0), drawing %.0f%%, "
        "%.2f Mbit/s\n",
        name + 6, fps, fps / kFps, 100.0 * r.draw_seconds / r.seconds, r.mbps);
    const double cpu_ms = 1e3 * r.cpu_seconds / kFrames;
    std::printf("%-5s CPU %.2f ms a frame: up to %.2fx real time on two idle cores\n", name + 6,
                cpu_ms, 2.0 * 1e3 / cpu_ms / kFps);
  }
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, [] { quillon::PrintSummary(); });
}
