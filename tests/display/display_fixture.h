// A loaded chart, a play engine whose state the tests set directly, and a note display with its
// default skins on a 512 x 512 display.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <string>
#include <string_view>

#include "chart/loader.h"
#include "platform/surface.h"
#include "playback/note_display.h"
#include "playback/play_engine.h"

namespace quillon::testing_display {

class StillClock : public TickClock {
 public:
  int32_t Now() override { return 0; }
  void Sleep(int32_t) override {}
};

class NoView : public PlayView {
 public:
  std::optional<double> TempoBoxValue() const override { return std::nullopt; }
};

class NoSounds : public PlaySounds {
 public:
  void Anchor(double) override {}
  void Restart(int32_t, double) override {}
  void Stop(int32_t) override {}
};

inline constexpr QRgb kBlack = 0xFF000000u;
inline constexpr QRgb kWhite = 0xFFFFFFFFu;
inline constexpr QRgb kCyan = 0xFF00C0FFu;  // second note colour
inline constexpr QRgb kRed = 0xFFFF0000u;   // scratch note, judge strip
inline constexpr QRgb kGrey = 0xFF808080u;  // separator, five-key lane lines
inline constexpr QRgb kZoneTop = 0xFFFFA010u;

class DisplayTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 512;
  static constexpr int kJudgeY = kSize - 5;

  void SetUp() override {
    ASSERT_TRUE(data_dir.isValid());
    surfaces.DisplayWidth = kSize;
    surfaces.DisplayHeight = kSize;
    display.DisplayWidth = kSize;
    display.DisplayHeight = kSize;
    display.LoadSkins("", data_dir.path().toStdString());
    surfaces.CreateSurface(sprite.Dc, sprite.Bitmap, 0, 0, 0, "SpriteDC");
    surfaces.CreateSurface(bga.Dc, bga.Bitmap, 256, 256, 0, "BGADC");
  }

  void Load(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines)
      text += std::string(line) + "\r\n";
    LoadView load_view;
    LoadOptions options;
    options.Seed = 1;
    ChartLoader loader(chart, load_view, flags, nullptr, options);
    loader.LoadBmsBytes("/x/chart.bms", text, false);
    display.SetLaneLayout(chart.Header.SevenKeys ? 1 : 0);
  }

  // Draws a frame at `position` (always: the last drawn position is moved out of the way).
  const QImage& DrawAt(double position, QImage* target = nullptr) {
    engine.PlayPosition = position;
    display.LastDrawnPosition = position - 1000;
    display.DrawFrame(engine, chart, sprite.Dc, bga.Dc, target);
    return Frame();
  }
  // What play leaves behind at `position`: every object up to it fired, the cursor past them.
  void PlayUpTo(double position) {
    engine.PlayCursor = 0;
    for (int32_t i = 0; i <= chart.ObjectLast; ++i) {
      BmsObject& object = chart.ObjectTable[static_cast<size_t>(i)];
      if (object.Position > position) break;
      object.Played = true;
      engine.PlayCursor = i + 1;
    }
  }
  const QImage& Frame() { return *surfaces.Image(sprite.Dc); }
  QRgb At(int x, int y) { return Frame().pixel(x, y); }
  // Index of the first object on `ch`.
  BmsObject& First(int ch) {
    for (int32_t i = 0; i <= chart.ObjectLast; ++i) {
      if (chart.ObjectTable[static_cast<size_t>(i)].Channel == ch) {
        return chart.ObjectTable[static_cast<size_t>(i)];
      }
    }
    ADD_FAILURE() << "no object on channel " << ch;
    return chart.ObjectTable[0];
  }

  QTemporaryDir data_dir;
  SurfaceRegistry surfaces;
  ElementFlags flags = ElementFlags::FirstStart();
  Chart chart;
  StillClock clock;
  NoView view;
  NoSounds sounds;
  PlayEngine engine{chart, flags, clock, view, sounds};
  NoteDisplay display{surfaces, flags};
  SurfacePair sprite, bga;
};

}  // namespace quillon::testing_display
