#include "playback/bga_display.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "playback/play_engine.h"
#include "video/movie.h"

namespace quillon {
namespace {

// The slot of a picture id; nullptr for ids outside the table (-200 and the like show nothing).
// The table holds 256 ids in the classic reading, up to 3844 in the extended one.
const BgaPictureSlot* SlotOf(const Chart& chart, int id) {
  if (id < 0 || static_cast<size_t>(id) >= chart.BgaPictures.size()) return nullptr;
  return &chart.BgaPictures[static_cast<size_t>(id)];
}
BgaPictureSlot* SlotOf(Chart& chart, int id) {
  return const_cast<BgaPictureSlot*>(SlotOf(std::as_const(chart), id));
}

}  // namespace

BgaDisplay::BgaDisplay(SurfaceRegistry& surfaces, const ElementFlags& flags)
    : surfaces_(surfaces), flags_(flags) {}

BgaDisplay::~BgaDisplay() = default;

void BgaDisplay::SetCompositionSize(int size, std::function<const QImage*(int id)> source_of) {
  size_ = std::clamp(size, kBgaSize, kMovieSideLimit);
  source_of_ = std::move(source_of);
  scaled_.clear();
  composed_ = size_ == kBgaSize ? QImage() : QImage(size_, size_, QImage::Format_RGB32);
  for (MovieChannel& movie : movies_)
    movie.exact_index = -1;  // redrawn at the new size
}

const BgaDisplay::ScaledPicture* BgaDisplay::Scaled(const Chart& chart, int id, bool layer) {
  const BgaPictureSlot* slot = SlotOf(chart, id);
  const QImage* surface = slot != nullptr ? surfaces_.Image(slot->PictureDc) : nullptr;
  if (surface == nullptr) return nullptr;
  const QImage* source = source_of_ ? source_of_(id) : nullptr;
  const qint64 key = (source != nullptr ? source : surface)->cacheKey();
  ScaledPicture& scaled = scaled_[{id, layer}];
  if (scaled.source_key == key && !scaled.picture.isNull()) return &scaled;
  scaled.source_key = key;
  scaled.picture = QImage(size_, size_, QImage::Format_RGB32);
  scaled.picture.fill(Qt::black);
  const Qt::TransformationMode mode = layer ? Qt::FastTransformation : Qt::SmoothTransformation;
  if (source != nullptr) {
    // The part the 256 x 256 rule shows: the right-most 256 columns and the top 256 rows, at the
    // top right; scaled, it covers the same part of the larger square.
    const int w = std::min(source->width(), kBgaSize);
    const int h = std::min(source->height(), kBgaSize);
    const QImage part = source->copy(source->width() - w, 0, w, h);
    const int sw = static_cast<int>(std::lround(static_cast<double>(w) * size_ / kBgaSize));
    const int sh = static_cast<int>(std::lround(static_cast<double>(h) * size_ / kBgaSize));
    const QImage big =
        part.scaled(sw, sh, Qt::IgnoreAspectRatio, mode).convertToFormat(QImage::Format_RGB32);
    BitBlt(&scaled.picture, size_ - sw, 0, sw, sh, &big, 0, 0, RasterOp::Copy);
  } else {
    const QImage big = surface->scaled(size_, size_, Qt::IgnoreAspectRatio, mode)
                           .convertToFormat(QImage::Format_RGB32);
    BitBlt(&scaled.picture, 0, 0, size_, size_, &big, 0, 0, RasterOp::Copy);
  }
  if (layer) {
    scaled.mask = QImage(size_, size_, QImage::Format_RGB32);
    MakeMask(&scaled.mask, &scaled.picture, qRgb(0, 0, 0));
  }
  return &scaled;
}

const QImage& BgaDisplay::AtSize(const QImage& frame, QImage& scratch) const {
  if (frame.width() == size_ && frame.height() == size_) return frame;
  scratch = frame.scaled(size_, size_, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                .convertToFormat(QImage::Format_RGB32);
  return scratch;
}

int BgaDisplay::ShownId(const PlayEngine& engine, const Chart& chart, int c) const {
  switch (c) {
    case kBase:
      return flags_[Element::Bga] && (chart.ChartHasBga || engine.BgaShown) ? engine.CurrentBga : 0;
    case kLayer:
      return flags_[Element::Layer] && (chart.ChartHasLayer || engine.LayerShown)
                 ? engine.CurrentLayer
                 : 0;
    default:
      return flags_[Element::Layer] && chart.Extended ? engine.CurrentLayer2 : 0;
  }
}

bool BgaDisplay::AdvanceMovies(PlayEngine& engine, Chart& chart) {
  bool changed = false;
  for (int c = kBase; c <= kLayer2; ++c)
    changed = AdvanceMovie(engine, chart, c) || changed;
  if (changed) engine.BgaDirty = true;
  return changed;
}

bool BgaDisplay::AdvanceMovie(PlayEngine& engine, Chart& chart, int c) {
  MovieChannel& movie = movies_[static_cast<size_t>(c)];
  const BgaPictureSlot* slot = SlotOf(chart, ShownId(engine, chart, c));
  if (slot == nullptr || slot->MoviePath.empty()) {
    if (movie.live && !movie.path.empty()) movie.live->Park();
    movie.path.clear();
    return false;
  }
  const double switched = c == kBase    ? engine.BgaSwitchMs
                          : c == kLayer ? engine.LayerSwitchMs
                                        : engine.Layer2SwitchMs;
  const double ms = engine.ElapsedMs - switched;
  bool changed = false;
  if (movie.path != slot->MoviePath) {
    // Until a frame of its own is ready the channel shows the movie's first frame, read at load.
    movie.path = slot->MoviePath;
    const QImage* first = surfaces_.Image(slot->PictureDc);
    movie.frame = first != nullptr ? first->copy() : QImage();
    movie.exact_index = -1;
    changed = true;
  }
  if (engine.PicturesOnly) {
    if (!movie.exact) movie.exact = std::make_unique<MovieDecoder>();
    if (movie.exact_path != movie.path) {
      std::string error;
      movie.exact_path = movie.path;
      movie.exact_failed = !movie.exact->Open(movie.path, error);
      movie.exact_index = -1;
    }
    if (!movie.exact_failed && movie.exact->DecodeTo(ms) &&
        movie.exact->FrameIndex() != movie.exact_index) {
      movie.exact->Draw(movie.frame, size_);
      movie.exact_index = movie.exact->FrameIndex();
      changed = true;
    }
  } else {
    if (!movie.live) movie.live = std::make_unique<MoviePlayer>();
    movie.live->Bind(movie.path);
    changed = movie.live->Show(ms, movie.frame) || changed;
  }
  if (changed && c != kBase && !movie.frame.isNull()) {
    if (movie.mask.size() != movie.frame.size()) {
      movie.mask = QImage(movie.frame.size(), QImage::Format_RGB32);
    }
    MakeMask(&movie.mask, &movie.frame, qRgb(0, 0, 0));
  }
  return changed;
}

bool BgaDisplay::ShowsMovie() const {
  for (const MovieChannel& movie : movies_) {
    if (!movie.path.empty()) return true;
  }
  return false;
}

const BgaDisplay::MovieChannel* BgaDisplay::MovieOf(const Chart& chart, int c, int id) const {
  const BgaPictureSlot* slot = SlotOf(chart, id);
  const MovieChannel& movie = movies_[static_cast<size_t>(c)];
  if (slot == nullptr || slot->MoviePath.empty() || movie.path != slot->MoviePath ||
      movie.frame.isNull()) {
    return nullptr;
  }
  return &movie;
}

void BgaDisplay::ComposeBga(PlayEngine& engine, Chart& chart, SurfaceHandle bga_dc) {
  const bool larger = size_ != kBgaSize;
  QImage* bga = larger ? &composed_ : surfaces_.Image(bga_dc);
  const int size = larger ? size_ : kBgaSize;
  QImage scratch;
  BitBlt(bga, 0, 0, size, size, nullptr, 0, 0, RasterOp::Black);
  if (flags_[Element::Bga] && (chart.ChartHasBga || engine.BgaShown)) {
    if (const MovieChannel* movie = MovieOf(chart, kBase, engine.CurrentBga)) {
      BitBlt(bga, 0, 0, size, size, &AtSize(movie->frame, scratch), 0, 0, RasterOp::Copy);
    } else if (larger) {
      if (const ScaledPicture* base = Scaled(chart, engine.CurrentBga, /*layer=*/false)) {
        BitBlt(bga, 0, 0, size, size, &base->picture, 0, 0, RasterOp::Copy);
      }
    } else if (const BgaPictureSlot* base = SlotOf(chart, engine.CurrentBga)) {
      BitBlt(bga, 0, 0, size, size, surfaces_.Image(base->PictureDc), 0, 0, RasterOp::Copy);
    }
  }
  // The layer, then (extended reading) the second layer over it; black is transparent in both.
  const auto compose_layer = [&](int c, int16_t id) {
    if (const MovieChannel* movie = MovieOf(chart, c, id); movie != nullptr) {
      QImage mask_scratch;
      BitBlt(bga, 0, 0, size, size, &AtSize(movie->mask, mask_scratch), 0, 0, RasterOp::And);
      BitBlt(bga, 0, 0, size, size, &AtSize(movie->frame, scratch), 0, 0, RasterOp::Xor);
      return;
    }
    if (larger) {
      if (const ScaledPicture* layer = Scaled(chart, id, /*layer=*/true)) {
        BitBlt(bga, 0, 0, size, size, &layer->mask, 0, 0, RasterOp::And);
        BitBlt(bga, 0, 0, size, size, &layer->picture, 0, 0, RasterOp::Xor);
      }
      return;
    }
    BgaPictureSlot* layer = SlotOf(chart, id);
    if (layer == nullptr) return;
    if (layer->MaskDc == 0) MakeLM(chart, layer->PictureDc, id);
    BitBlt(bga, 0, 0, size, size, surfaces_.Image(layer->MaskDc), 0, 0, RasterOp::And);
    BitBlt(bga, 0, 0, size, size, surfaces_.Image(layer->PictureDc), 0, 0, RasterOp::Xor);
  };
  if (flags_[Element::Layer] && (chart.ChartHasLayer || engine.LayerShown) &&
      engine.CurrentLayer != 0) {
    compose_layer(kLayer, engine.CurrentLayer);
  }
  if (flags_[Element::Layer] && chart.Extended && engine.CurrentLayer2 != 0) {
    compose_layer(kLayer2, engine.CurrentLayer2);
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
