// The BGA picture: the base picture of channel 4 with the layer picture of channel 7 over it, and
// in the extended reading the second layer (channel 0A) over both, composed on the 256 x 256 BGA
// surface only when something changed.
//
// Black is the layer's transparent colour: each id's layer mask (white where the picture is
// black) is made the first time the id is composed as a layer, then kept with the id until the
// next load frees it.
//
// Threads: UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "chart/model.h"
#include "platform/surface.h"

namespace quillon {

class PlayEngine;

inline constexpr int kBgaSize = 256;

class BgaDisplay {
 public:
  BgaDisplay(SurfaceRegistry& surfaces, const ElementFlags& flags);

  // Debug log lines; unset while the debug log is off.
  std::function<void(std::string_view)> DebugLog;

  // Composes `bga_dc` from the engine's current base, layer and second layer ids, then clears
  // BgaDirty.
  void ComposeBga(PlayEngine& engine, Chart& chart, SurfaceHandle bga_dc);
  // Makes the layer mask of id `id` from `picture_dc` unless the id has one already.
  void MakeLM(Chart& chart, SurfaceHandle picture_dc, int id);

 private:
  SurfaceRegistry& surfaces_;
  const ElementFlags& flags_;
};

}  // namespace quillon
