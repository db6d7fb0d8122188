#include "platform/surface.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillon {
namespace {

constexpr quint32 kOpaque = 0xFF000000u;
constexpr quint32 kRgbBits = 0x00FFFFFFu;

// The transfers read and write pixels as 32-bit words; these are the formats laid out that way.
bool Usable(const QImage* image) {
  if (image == nullptr || image->isNull()) return false;
  const QImage::Format f = image->format();
  return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
         f == QImage::Format_ARGB32_Premultiplied;
}

quint32* Row(uchar* bits, qsizetype stride, int64_t y) {
  return reinterpret_cast<quint32*>(bits + stride * y);
}

const quint32* Row(const uchar* bits, qsizetype stride, int64_t y) {
  return reinterpret_cast<const quint32*>(bits + stride * y);
}

// Calls `body` with the pixel function of `op` (destination, source -> result), so that each
// operation gets its own loop, which the compiler can vectorise.
template <typename Body>
void WithPixelOp(RasterOp op, Body&& body) {
  switch (op) {
    case RasterOp::Copy:
      body([](quint32, quint32 s) { return s | kOpaque; });
      break;
    case RasterOp::And:
      body([](quint32 d, quint32 s) { return (d & s) | kOpaque; });
      break;
    case RasterOp::Xor:
      body([](quint32 d, quint32 s) { return (d ^ s) | kOpaque; });
      break;
    case RasterOp::Black:
      body([](quint32, quint32) { return kOpaque; });
      break;
  }
}

// One row of BitBlt. `backward` walks right to left, for a source overlapping the destination
// further left on the same row.
void TransferRow(RasterOp op, quint32* d, const quint32* s, int64_t n, bool backward,
                 bool opaque_source) {
  if (op == RasterOp::Black) {
    std::fill_n(d, n, kOpaque);  // no source row to read
    return;
  }
  if (op == RasterOp::Copy && opaque_source) {
    std::memmove(d, s, static_cast<size_t>(n) * sizeof(quint32));
    return;
  }
  WithPixelOp(op, [&](auto f) {
    if (backward) {
      for (int64_t i = n; i-- > 0;)
        d[i] = f(d[i], s[i]);
    } else {
      for (int64_t i = 0; i < n; ++i)
        d[i] = f(d[i], s[i]);
    }
  });
}

}  // namespace

void SurfaceRegistry::CreateSurface(SurfaceHandle& dc, SurfaceHandle& bitmap, int32_t width,
                                    int32_t height, int32_t depth, std::string name) {
  if (dc != 0) FreeSurface(dc, bitmap);
  // Whatever happens below, a pair that is not made reads as "no surface".
  dc = 0;
  bitmap = 0;
  if (width == 0) {
    width = DisplayWidth;
    height = DisplayHeight;
  }
  if (depth == 0) depth = ScreenBitsPerPixel;
  if (depth <= 0 || width <= 0 || height <= 0) return;

  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return;  // could not allocate
  image.fill(Qt::black);

  Entry entry;
  entry.info.Dc = next_handle_++;
  entry.info.Bitmap = next_handle_++;
  entry.info.Name = std::move(name);
  entry.info.Width = width;
  entry.info.Height = height;
  entry.info.Depth = depth;
  entry.info.Created = std::chrono::system_clock::now();
  entry.image = std::move(image);
  dc = entry.info.Dc;
  bitmap = entry.info.Bitmap;
  const auto it = surfaces_.emplace(dc, std::move(entry)).first;
  if (listener_ != nullptr) listener_->SurfaceCreated(it->second.info);
}

void SurfaceRegistry::FreeSurface(SurfaceHandle& dc, SurfaceHandle& bitmap) {
  if (dc == 0) return;
  const auto it = surfaces_.find(dc);
  if (it != surfaces_.end()) {
    if (listener_ != nullptr) listener_->SurfaceFreed(dc);
    surfaces_.erase(it);
  }
  dc = 0;
  bitmap = 0;
}

QImage* SurfaceRegistry::Image(SurfaceHandle dc) {
  const auto it = surfaces_.find(dc);
  return it == surfaces_.end() ? nullptr : &it->second.image;
}

const QImage* SurfaceRegistry::Image(SurfaceHandle dc) const {
  const auto it = surfaces_.find(dc);
  return it == surfaces_.end() ? nullptr : &it->second.image;
}

std::vector<SurfaceInfo> SurfaceRegistry::Live() const {
  std::vector<SurfaceInfo> out;
  out.reserve(surfaces_.size());
  for (const auto& [handle, entry] : surfaces_)
    out.push_back(entry.info);
  return out;
}

void SplitRgb(int32_t colour, int32_t& red, int32_t& green, int32_t& blue) {
  const auto v = static_cast<uint32_t>(colour);
  red = static_cast<int32_t>(v & 0xFF);
  green = static_cast<int32_t>((v >> 8) & 0xFF);
  blue = static_cast<int32_t>((v >> 16) & 0xFF);
}

QRgb ToQRgb(int32_t colour) {
  int32_t r = 0;
  int32_t g = 0;
  int32_t b = 0;
  SplitRgb(colour, r, g, b);
  return qRgb(r, g, b);
}

void BitBlt(QImage* dst, int dx, int dy, int width, int height, const QImage* src, int sx, int sy,
            RasterOp op) {
  const bool uses_source = op != RasterOp::Black;
  if (!Usable(dst) || width <= 0 || height <= 0) return;
  if (uses_source && !Usable(src)) return;

  // 64-bit so that no position plus extent can overflow.
  int64_t x = dx, y = dy, w = width, h = height, u = sx, v = sy;
  auto clip = [&](int64_t& pos, int64_t& other, int64_t& extent, int64_t limit) {
    if (pos < 0) {
      other -= pos;
      extent += pos;
      pos = 0;
    }
    extent = std::min(extent, limit - pos);
  };
  clip(x, u, w, dst->width());
  clip(y, v, h, dst->height());
  if (uses_source) {
    clip(u, x, w, src->width());
    clip(v, y, h, src->height());
  }
  if (w <= 0 || h <= 0) return;

  const bool same = uses_source && src == dst;
  uchar* dbits = dst->bits();  // detaches dst first, so a src sharing its data keeps the old one
  const qsizetype dstride = dst->bytesPerLine();
  const uchar* sbits = uses_source ? src->constBits() : nullptr;
  const qsizetype sstride = uses_source ? src->bytesPerLine() : 0;
  const bool opaque_source = uses_source && src->format() == QImage::Format_RGB32;

  // Within one image, walk so that every source pixel is read before it is overwritten.
  const bool bottom_up = same && y > v;
  const bool backward = same && y == v && x > u;
  for (int64_t i = 0; i < h; ++i) {
    const int64_t row = bottom_up ? h - 1 - i : i;
    quint32* d = Row(dbits, dstride, y + row) + x;
    const quint32* s = uses_source ? Row(sbits, sstride, v + row) + u : nullptr;
    TransferRow(op, d, s, w, backward, opaque_source);
  }
}

void MaskedBlt(QImage* dst, int dx, int dy, int width, int height, const QImage* mask,
               const QImage* picture, int sx, int sy) {
  if (!Usable(dst) || !Usable(mask) || !Usable(picture) || width <= 0 || height <= 0) return;
  if (mask == dst || picture == dst) {  // overlapping reads: the two plain passes handle them
    BitBlt(dst, dx, dy, width, height, mask, sx, sy, RasterOp::And);
    BitBlt(dst, dx, dy, width, height, picture, sx, sy, RasterOp::Xor);
    return;
  }
  int64_t x = dx, y = dy, w = width, h = height, u = sx, v = sy;
  auto clip = [](int64_t& pos, int64_t& other, int64_t& extent, int64_t limit) {
    if (pos < 0) {
      other -= pos;
      extent += pos;
      pos = 0;
    }
    extent = std::min(extent, limit - pos);
  };
  clip(x, u, w, dst->width());
  clip(y, v, h, dst->height());
  clip(u, x, w, std::min(mask->width(), picture->width()));
  clip(v, y, h, std::min(mask->height(), picture->height()));
  if (w <= 0 || h <= 0) return;
  uchar* dbits = dst->bits();
  const qsizetype dstride = dst->bytesPerLine();
  for (int64_t row = 0; row < h; ++row) {
    quint32* d = Row(dbits, dstride, y + row) + x;
    const quint32* m = Row(mask->constBits(), mask->bytesPerLine(), v + row) + u;
    const quint32* p = Row(picture->constBits(), picture->bytesPerLine(), v + row) + u;
    for (int64_t i = 0; i < w; ++i)
      d[i] = (((d[i] & m[i]) ^ p[i]) & kRgbBits) | kOpaque;
  }
}

void StretchBlt(QImage* dst, int dx, int dy, int dw, int dh, const QImage* src, int sx, int sy,
                int sw, int sh, RasterOp op) {
  const bool uses_source = op != RasterOp::Black;
  if (!Usable(dst) || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  if (uses_source && !Usable(src)) return;

  // The destination columns inside dst whose source column lies inside src. The source column
  // never decreases with x, so they form one run.
  const int64_t x_begin = std::max<int64_t>(dx, 0);
  const int64_t x_end = std::min<int64_t>(int64_t{dx} + dw, dst->width());
  const int64_t src_width = uses_source ? src->width() : 0;
  int64_t first_x = 0;
  std::vector<int32_t> columns;
  for (int64_t x = x_begin; x < x_end; ++x) {
    const int64_t c = sx + (x - dx) * sw / dw;
    if (uses_source && (c < 0 || c >= src_width)) {
      if (!columns.empty()) break;
      continue;
    }
    if (columns.empty()) first_x = x;
    columns.push_back(static_cast<int32_t>(c));
  }
  if (columns.empty()) return;

  // Reading from the image being written: read from a snapshot, which the detach below leaves
  // holding the old pixels.
  QImage snapshot;
  if (uses_source && src == dst) {
    snapshot = *src;
    src = &snapshot;
  }
  uchar* dbits = dst->bits();
  const qsizetype dstride = dst->bytesPerLine();
  const uchar* sbits = uses_source ? src->constBits() : nullptr;
  const qsizetype sstride = uses_source ? src->bytesPerLine() : 0;

  const int64_t y_begin = std::max<int64_t>(dy, 0);
  const int64_t y_end = std::min<int64_t>(int64_t{dy} + dh, dst->height());
  const auto n = static_cast<int64_t>(columns.size());
  if (!uses_source) {
    for (int64_t y = y_begin; y < y_end; ++y)
      std::fill_n(Row(dbits, dstride, y) + first_x, n, kOpaque);
    return;
  }
  const int32_t* cols = columns.data();
  WithPixelOp(op, [&](auto f) {
    // A plain copy enlarging vertically makes runs of equal rows: each is gathered once and
    // then copied whole, which turns most of a full-screen stretch into memcpy.
    const quint32* previous = nullptr;
    int64_t previous_r = -1;
    for (int64_t y = y_begin; y < y_end; ++y) {
      const int64_t r = sy + (y - dy) * sh / dh;
      if (r < 0 || r >= src->height()) continue;
      quint32* d = Row(dbits, dstride, y) + first_x;
      if (op == RasterOp::Copy && r == previous_r) {
        std::memcpy(d, previous, static_cast<size_t>(n) * sizeof(quint32));
        continue;
      }
      const quint32* s = Row(sbits, sstride, r);
      for (int64_t i = 0; i < n; ++i)
        d[i] = f(d[i], s[cols[i]]);
      previous = d;
      previous_r = r;
    }
  });
}

void MakeMask(QImage* mask, const QImage* src, QRgb background) {
  if (!Usable(mask) || !Usable(src)) return;
  const int w = std::min(mask->width(), src->width());
  const int h = std::min(mask->height(), src->height());
  uchar* mbits = mask->bits();
  const qsizetype mstride = mask->bytesPerLine();
  const uchar* sbits = src->constBits();
  const qsizetype sstride = src->bytesPerLine();
  const quint32 key = background & kRgbBits;
  for (int y = 0; y < h; ++y) {
    quint32* m = Row(mbits, mstride, y);
    const quint32* s = Row(sbits, sstride, y);
    for (int x = 0; x < w; ++x)
      m[x] = (s[x] & kRgbBits) == key ? 0xFFFFFFFFu : kOpaque;
  }
}

int32_t ReadScreenBitsPerPixel() {
  const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                              ? QGuiApplication::primaryScreen()
                              : nullptr;
  return screen != nullptr && screen->depth() > 0 ? screen->depth() : 32;
}

}  // namespace quillon
