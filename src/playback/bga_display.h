// The BGA picture: the base picture of channel 4 with the layer picture of channel 7 over it, and
// in the extended reading the second layer (channel 0A) over both, composed on the 256 x 256 BGA
// surface only when something changed.
//
// Black is the layer's transparent colour: each id's layer mask (white where the picture is
// black) is made the first time the id is composed as a layer, then kept with the id until the
// next load frees it.
//
// An id naming a movie shows the movie's frame due at the time played since its channel switched
// to it (the engine's clock: it stands still while paused, and a seek lands on the frame the
// movie would have reached). During live play a decoder thread per channel runs ahead of the
// clock and the display takes whatever frame is due, never waiting; during bitmap output (the
// engine's pictures-only mode) each frame is decoded there and then, so that two exports of a
// chart give the same files.
//
// Threads: UI thread only (the movie decoders' own threads are behind MoviePlayer).
#pragma once

#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "chart/model.h"
#include "platform/surface.h"

namespace quillon {

class PlayEngine;
class MovieDecoder;
class MoviePlayer;

inline constexpr int kBgaSize = 256;

class BgaDisplay {
 public:
  BgaDisplay(SurfaceRegistry& surfaces, const ElementFlags& flags);
  ~BgaDisplay();

  // Debug log lines; unset while the debug log is off.
  std::function<void(std::string_view)> DebugLog;

  // Brings each channel showing a movie to the frame due now; true when one of them changed, in
  // which case BgaDirty is set too. Channels that show no movie stop their decoders.
  bool AdvanceMovies(PlayEngine& engine, Chart& chart);
  // Composes the BGA at `size` x `size` instead of 256 x 256, for a video export at a higher
  // resolution: each picture's visible part (as the 256 x 256 rule places it) is scaled by
  // size / 256 from `source_of(id)`, the picture as decoded (nullptr: from its 256 x 256 surface),
  // smoothly on the base and pixel for pixel on the layers, so that black stays exactly black;
  // movies are scaled from their own size. The composition then goes to Composed() instead of the
  // BGA surface. A size of 256 goes back to the usual composition.
  void SetCompositionSize(int size, std::function<const QImage*(int id)> source_of = nullptr);
  // The larger composition; nullptr while composing at 256 x 256.
  const QImage* Composed() const { return size_ == kBgaSize ? nullptr : &composed_; }

  // Whether a channel showed a movie at the last AdvanceMovies.
  bool ShowsMovie() const;
  // Composes `bga_dc` from the engine's current base, layer and second layer ids, then clears
  // BgaDirty.
  void ComposeBga(PlayEngine& engine, Chart& chart, SurfaceHandle bga_dc);
  // Makes the layer mask of id `id` from `picture_dc` unless the id has one already.
  void MakeLM(Chart& chart, SurfaceHandle picture_dc, int id);

 private:
  // One BGA channel's movie: the file it plays, its current frame and (on the layers) that
  // frame's mask. The live player and the exact decoder are made when first needed.
  struct MovieChannel {
    std::string path;
    QImage frame;
    QImage mask;
    std::unique_ptr<MoviePlayer> live;
    std::unique_ptr<MovieDecoder> exact;
    std::string exact_path;
    bool exact_failed = false;
    int64_t exact_index = -1;
  };
  enum ChannelIndex { kBase = 0, kLayer = 1, kLayer2 = 2 };

  // The id channel `c` shows now; 0 when it shows nothing.
  int ShownId(const PlayEngine& engine, const Chart& chart, int c) const;
  bool AdvanceMovie(PlayEngine& engine, Chart& chart, int c);
  // The movie frame channel `c` shows for id `id`, nullptr when it shows the id's picture.
  const MovieChannel* MovieOf(const Chart& chart, int c, int id) const;

  // The picture of id `id` at the larger composition's size (its layer mask too when `layer`),
  // made once per picture; nullptr when the id has none.
  struct ScaledPicture {
    qint64 source_key = 0;
    QImage picture;
    QImage mask;
  };
  const ScaledPicture* Scaled(const Chart& chart, int id, bool layer);
  // `frame` at the composition's size (a live frame is 256 x 256).
  const QImage& AtSize(const QImage& frame, QImage& scratch) const;

  SurfaceRegistry& surfaces_;
  const ElementFlags& flags_;
  std::array<MovieChannel, 3> movies_;
  int size_ = kBgaSize;
  std::function<const QImage*(int id)> source_of_;
  QImage composed_;
  std::map<std::pair<int, bool>, ScaledPicture> scaled_;
};

}  // namespace quillon
