// Drawing one frame of the note display against one plain full-frame copy of the same size.
//
// The chart is a dense passage: 32nd notes on every key of both players with zone blocks, lane
// backgrounds, separators and command dots on, over a BGA picture. A frame is the whole
// procedure: the stretched BGA, the lanes, the objects and the copy to the display target. The
// summary line gives the frame/copy ratio, the figure to compare between machines, and frames
// per second.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <string>

#include "chart/loader.h"
#include "playback/headless.h"
#include "playback/note_display.h"
#include "playback/play_engine.h"

namespace quillon {
namespace {

std::string DenseChart() {
  std::string text = "#BPM 180\r\n";
  std::string notes, zones;
  for (int k = 0; k < 32; ++k)
    notes += "01";
  for (int k = 0; k < 4; ++k)
    zones += "01";
  char line[128];
  for (int m = 1; m <= 40; ++m) {
    for (int ch : {11, 12, 13, 14, 15, 16, 18, 19, 21, 22, 23, 24, 25, 26}) {
      std::snprintf(line, sizeof line, "#%03d%02d:%s\r\n", m, ch, notes.c_str());
      text += line;
    }
    std::snprintf(line, sizeof line, "#%03d17:%s\r\n#%03d03:78B4\r\n", m, zones.c_str(), m);
    text += line;
  }
  return text;
}

// A display of one size over the dense chart, ready to draw frames.
struct Scene {
  Scene(int width, int height) : target(width, height, QImage::Format_RGB32) {
    surfaces.DisplayWidth = width;
    surfaces.DisplayHeight = height;
    for (Element e : {Element::Lines, Element::Separators, Element::Commands})
      flags.Set(e, true);
    LoadView load_view;
    ChartLoader loader(chart, load_view, flags, nullptr, {});
    loader.LoadBmsBytes("/x/dense.bms", DenseChart(), false);
    display.DisplayWidth = width;
    display.DisplayHeight = height;
    display.LoadSkins("", skins.path().toStdString());
    display.SetLaneLayout(chart.Header.SevenKeys ? 1 : 0);
    surfaces.CreateSurface(sprite.Dc, sprite.Bitmap, 0, 0, 0, "SpriteDC");
    surfaces.CreateSurface(bga.Dc, bga.Bitmap, 256, 256, 0, "BGADC");
    QImage* picture = surfaces.Image(bga.Dc);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x)
        picture->setPixel(x, y, qRgb(x, y, (x ^ y) & 255));
  }

  // One frame, a few units further on each time, within measures 10 to 30.
  void Frame() {
    position = position >= 30 * 192 ? 10 * 192 : position + 3.0;
    engine.PlayPosition = position;
    engine.PlayCursor = 0;
    while (engine.PlayCursor < chart.ObjectLast &&
           chart.ObjectTable[static_cast<size_t>(engine.PlayCursor)].Position < position) {
      ++engine.PlayCursor;
    }
    display.DrawFrame(engine, chart, sprite.Dc, bga.Dc, &target);
  }
  void Copy() {
    BitBlt(&target, 0, 0, target.width(), target.height(), surfaces.Image(sprite.Dc), 0, 0,
           RasterOp::Copy);
  }

  QTemporaryDir skins;
  SurfaceRegistry surfaces;
  ElementFlags flags = ElementFlags::FirstStart();
  Chart chart;
  StillClock clock;
  HeadlessView view;
  SilentSounds sounds;
  PlayEngine engine{chart, flags, clock, view, sounds};
  NoteDisplay display{surfaces, flags};
  SurfacePair sprite, bga;
  QImage target;
  double position = 10 * 192;
};

void BM_DrawFrame(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    scene.Frame();
    benchmark::ClobberMemory();
  }
}

void BM_FullFrameCopy(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    scene.Copy();
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_DrawFrame)->Args({1920, 1080})->Args({512, 512})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullFrameCopy)->Args({1920, 1080})->Args({512, 512})->Unit(benchmark::kMicrosecond);

void PrintSummary(int width, int height) {
  constexpr int kRepetitions = 101;
  Scene scene(width, height);
  const double frame = bench::MedianSeconds(kRepetitions, [&] {
    scene.Frame();
    benchmark::ClobberMemory();
  });
  const double copy = bench::MedianSeconds(kRepetitions, [&] {
    scene.Copy();
    benchmark::ClobberMemory();
  });
  std::printf("%dx%d frame %.3f ms (%.0f frames/s), full-frame copy %.3f ms\n", width, height,
              frame * 1e3, 1.0 / frame, copy * 1e3);
  // The target is set for the full-HD display only.
  if (width == 1920 && height == 1080) {
    std::printf("%dx%d frame/copy ratio: %.2f (target: at most 4.00)\n", width, height,
                frame / copy);
  } else {
    std::printf("%dx%d frame/copy ratio: %.2f\n", width, height, frame / copy);
  }
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  return quillon::bench::RunBenchmarks(argc, argv, [] {
    quillon::PrintSummary(1920, 1080);
    quillon::PrintSummary(512, 512);
  });
}
