// Surface transfers against the cheapest possible pass over the same pixels.
//
// A full-screen 1920x1080 RGB32 BitBlt copy is timed against a plain memcpy of the same bytes
// measured in the same run; the summary line gives the copy/memcpy ratio, the figure to compare
// between machines. XOR and a 2x StretchBlt of a 960x540 picture are timed alongside.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/surface.h"

namespace quillon {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int64_t kBytes = int64_t{kWidth} * kHeight * 4;

QImage Picture(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x)
      row[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
  }
  return image;
}

void BM_Memcpy(benchmark::State& state) {
  const QImage src = Picture(kWidth, kHeight);
  QImage dst(kWidth, kHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    std::memcpy(dst.bits(), src.constBits(), static_cast<size_t>(kBytes));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_BitBlt(benchmark::State& state, RasterOp op) {
  const QImage src = Picture(kWidth, kHeight);
  QImage dst = Picture(kWidth, kHeight).mirrored();
  for (auto _ : state) {
    BitBlt(&dst, 0, 0, kWidth, kHeight, &src, 0, 0, op);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_StretchDouble(benchmark::State& state) {
  const QImage src = Picture(kWidth / 2, kHeight / 2);
  QImage dst(kWidth, kHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    StretchBlt(&dst, 0, 0, kWidth, kHeight, &src, 0, 0, kWidth / 2, kHeight / 2, RasterOp::Copy);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BitBlt, copy, RasterOp::Copy)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BitBlt, xor, RasterOp::Xor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StretchDouble)->Unit(benchmark::kMicrosecond);

using bench::MedianSeconds;

void PrintSummary() {
  constexpr int kRepetitions = 51;
  const QImage src = Picture(kWidth, kHeight);
  QImage dst(kWidth, kHeight, QImage::Format_RGB32);
  const double copy = MedianSeconds(kRepetitions, [&] {
    BitBlt(&dst, 0, 0, kWidth, kHeight, &src, 0, 0, RasterOp::Copy);
    benchmark::ClobberMemory();
  });
  const double baseline = MedianSeconds(kRepetitions, [&] {
    std::memcpy(dst.bits(), src.constBits(), static_cast<size_t>(kBytes));
    benchmark::ClobberMemory();
  });
  std::printf("%dx%d BitBlt copy %.3f ms, memcpy %.3f ms\n", kWidth, kHeight, copy * 1e3,
              baseline * 1e3);
  std::printf("copy/memcpy ratio: %.2f\n", copy / baseline);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, quillon::PrintSummary);
}
