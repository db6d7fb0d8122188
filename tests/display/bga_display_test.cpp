// The BGA picture: base and layer composed with black as the layer's transparent colour,
// recomposed only on a switch, and stretched under the lanes.
#include "playback/bga_display.h"

#include <algorithm>
#include <vector>

#include "display/display_fixture.h"

namespace quillon::testing_display {
namespace {

constexpr QRgb kGreen = 0xFF00FF00u;
constexpr QRgb kBlue = 0xFF0000FFu;

class BgaDisplayTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    Load({"#BPM 120", "#BMP01 base.bmp", "#BMP02 layer.bmp", "#BMP03 other.bmp", "#00104:01",
          "#00107:02", "#00204:03", "#00207:02"});
    // Pictures sit at the top right of their surfaces, as the resource loader places them.
    Picture(1, 100, 100, kRed);
    Picture(3, 100, 100, kBlue);
    Picture(2, 100, 100, kBlack);
    BgaPictureSlot& layer = chart.BgaPictures[2];
    QImage square(20, 20, QImage::Format_RGB32);
    square.fill(kGreen);
    BitBlt(surfaces.Image(layer.PictureDc), 200, 10, 20, 20, &square, 0, 0, RasterOp::Copy);
    display.Bga.DebugLog = [this](std::string_view line) { log.emplace_back(line); };
  }

  void Picture(int id, int w, int h, QRgb colour) {
    BgaPictureSlot& slot = chart.BgaPictures[id];
    surfaces.CreateSurface(slot.PictureDc, slot.PictureBitmap, 256, 256, 0, "BGADC");
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(colour);
    BitBlt(surfaces.Image(slot.PictureDc), 256 - w, 0, w, h, &picture, 0, 0, RasterOp::Copy);
  }

  // Fires the object on `ch` in measure `m` as the scheduler would.
  void Fire(int ch, int m) {
    for (int32_t i = 0; i <= chart.ObjectLast; ++i) {
      const BmsObject& o = chart.ObjectTable[static_cast<size_t>(i)];
      if (o.Channel == ch && o.Position == 192 * m) {
        engine.FireObject(i);
        return;
      }
    }
    ADD_FAILURE() << "no object on channel " << ch << " in measure " << m;
  }
  QRgb Bga(int x, int y) { return surfaces.Image(bga.Dc)->pixel(x, y); }

  std::vector<std::string> log;
};

TEST_F(BgaDisplayTest, LayerBlackShowsTheRightAlignedBase) {
  Fire(4, 1);
  Fire(7, 1);
  ASSERT_TRUE(engine.BgaDirty);
  DrawAt(200);
  EXPECT_FALSE(engine.BgaDirty);
  EXPECT_EQ(Bga(155, 50), kBlack);
  EXPECT_EQ(Bga(156, 50), kRed);
  EXPECT_EQ(Bga(240, 50), kRed);  // the layer is black here
  EXPECT_EQ(Bga(210, 15), kGreen);
  EXPECT_EQ(Bga(240, 100), kBlack);
  // Stretched twice over the 512 x 512 display.
  EXPECT_EQ(At(480, 100), kRed);
  EXPECT_EQ(At(420, 30), kGreen);
  EXPECT_EQ(At(311, 100), kBlack);
  EXPECT_EQ(At(312, 100), kRed);
}

TEST_F(BgaDisplayTest, LayerMaskIsMadeOnceAndLogged) {
  Fire(4, 1);
  Fire(7, 1);
  DrawAt(200);
  const int32_t mask = chart.BgaPictures[2].MaskDc;
  ASSERT_NE(mask, 0);
  EXPECT_EQ(log, std::vector<std::string>{"MakeLM:2:" + std::to_string(mask)});
  Fire(7, 2);
  DrawAt(400);
  EXPECT_EQ(chart.BgaPictures[2].MaskDc, mask);
  EXPECT_EQ(log.size(), 1u);
  const std::vector<SurfaceInfo> live = surfaces.Live();
  EXPECT_EQ(std::count_if(live.begin(), live.end(),
                          [](const SurfaceInfo& s) { return s.Name == "LayerMask(2)"; }),
            1);
  EXPECT_EQ(chart.BgaPictures[1].MaskDc, 0);  // a base picture needs no mask
}

TEST_F(BgaDisplayTest, SwitchedOffElementsTakeEffectAtTheNextSwitch) {
  Fire(4, 1);
  Fire(7, 1);
  DrawAt(200);
  flags.Set(Element::Bga, false);
  DrawAt(300);  // nothing switched: the base stays
  EXPECT_EQ(Bga(240, 50), kRed);
  Fire(4, 2);
  DrawAt(400);
  EXPECT_EQ(Bga(240, 50), kBlack);
  EXPECT_EQ(Bga(210, 15), kGreen);  // the layer stays

  flags.Set(Element::Bga, true);
  flags.Set(Element::Layer, false);
  Fire(7, 2);
  DrawAt(500);
  EXPECT_EQ(Bga(210, 15), kBlack);
}

TEST_F(BgaDisplayTest, IdsWithoutAPictureComposeBlack) {
  Fire(4, 1);
  DrawAt(200);
  ASSERT_EQ(Bga(240, 50), kRed);
  for (int16_t id : {int16_t{0}, int16_t{-200}, int16_t{9}, int16_t{300}}) {
    engine.CurrentBga = id;
    engine.BgaDirty = true;
    DrawAt(300);
    EXPECT_EQ(Bga(240, 50), kBlack) << id;
    Fire(4, 1);  // already played: no switch
    engine.CurrentBga = 1;
    engine.BgaDirty = true;
    DrawAt(200);
    ASSERT_EQ(Bga(240, 50), kRed);
  }
  // Out-of-range layer ids are skipped rather than read past the table.
  engine.CurrentLayer = 300;
  engine.LayerShown = true;
  engine.BgaDirty = true;
  DrawAt(300);
  EXPECT_EQ(Bga(240, 50), kRed);
}

}  // namespace
}  // namespace quillon::testing_display
