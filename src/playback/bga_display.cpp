#include "playback/bga_display.h"

#include <string>

#include "playback/play_engine.h"

namespace quillon {
namespace {

// The slot of a picture id; nullptr for ids outside the table (-200 and the like show nothing).
// The table holds 256 ids in the classic reading, up to 3844 in the extended one.
BgaPictureSlot* SlotOf(Chart& chart, int id) {
  if (id < 0 || static_cast<size_t>(id) >= chart.BgaPictures.size()) return nullptr;
  return &chart.BgaPictures[static_cast<size_t>(id)];
}

}  // namespace

BgaDisplay::BgaDisplay(SurfaceRegistry& surfaces, const ElementFlags& flags)
    : surfaces_(surfaces), flags_(flags) {}

void BgaDisplay::ComposeBga(PlayEngine& engine, Chart& chart, SurfaceHandle bga_dc) {
  QImage* bga = surfaces_.Image(bga_dc);
  BitBlt(bga, 0, 0, kBgaSize, kBgaSize, nullptr, 0, 0, RasterOp::Black);
  if (flags_[Element::Bga] && (chart.ChartHasBga || engine.BgaShown)) {
    if (const BgaPictureSlot* base = SlotOf(chart, engine.CurrentBga)) {
      BitBlt(bga, 0, 0, kBgaSize, kBgaSize, surfaces_.Image(base->PictureDc), 0, 0, RasterOp::Copy);
    }
  }
  // The layer, then (extended reading) the second layer over it; black is transparent in both.
  const auto compose_layer = [&](int16_t id) {
    BgaPictureSlot* layer = SlotOf(chart, id);
    if (layer == nullptr) return;
    if (layer->MaskDc == 0) MakeLM(chart, layer->PictureDc, id);
    BitBlt(bga, 0, 0, kBgaSize, kBgaSize, surfaces_.Image(layer->MaskDc), 0, 0, RasterOp::And);
    BitBlt(bga, 0, 0, kBgaSize, kBgaSize, surfaces_.Image(layer->PictureDc), 0, 0, RasterOp::Xor);
  };
  if (flags_[Element::Layer] && (chart.ChartHasLayer || engine.LayerShown) &&
      engine.CurrentLayer != 0) {
    compose_layer(engine.CurrentLayer);
  }
  if (flags_[Element::Layer] && chart.Extended && engine.CurrentLayer2 != 0) {
    compose_layer(engine.CurrentLayer2);
  }
  engine.BgaDirty = false;
}

void BgaDisplay::MakeLM(Chart& chart, SurfaceHandle picture_dc, int id) {
  BgaPictureSlot* slot = SlotOf(chart, id);
  if (slot == nullptr || slot->MaskDc != 0) return;
  surfaces_.CreateSurface(slot->MaskDc, slot->MaskBitmap, kBgaSize, kBgaSize, 1,
                          "LayerMask(" + std::to_string(id) + ")");
  // Without a picture the copy is skipped and the mask stays black: the layer then covers the
  // base with black, as an id without a picture does on the base.
  MakeMask(surfaces_.Image(slot->MaskDc), surfaces_.Image(picture_dc), qRgb(0, 0, 0));
  if (DebugLog) {
    DebugLog("MakeLM:" + std::to_string(id) + ":" + std::to_string(slot->MaskDc));
  }
}

}  // namespace quillon
