// Off-screen surfaces: every picture the program draws on or from lives in one registry.
//
// A surface is named by a pair of handles (the "device context" and the "bitmap"), both 0 while
// it does not exist, and holds an RGB32 QImage. Masks are ordinary surfaces whose pixels are
// white (bit 1) or black (bit 0), so that the transfer operations below treat them like the
// one-bit masks of the drawing code: AND with a mask, then XOR with the picture. The registry
// lists every live surface with its name, size, depth and creation time for the debug window.
//
// Threads: UI thread only.
#pragma once

#include <QImage>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quillon {

using SurfaceHandle = int32_t;

struct SurfaceInfo {
  SurfaceHandle Dc = 0;
  SurfaceHandle Bitmap = 0;
  std::string Name;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Depth = 0;
  std::chrono::system_clock::time_point Created{};
};

// Told of every surface made and freed (the debug window's surface list).
class SurfaceListener {
 public:
  virtual ~SurfaceListener() = default;
  virtual void SurfaceCreated(const SurfaceInfo& info) = 0;
  virtual void SurfaceFreed(SurfaceHandle dc) = 0;
};

class SurfaceRegistry {
 public:
  // Colour depth of the screen, the default depth of new surfaces (0: none can be made).
  int32_t ScreenBitsPerPixel = 32;
  // Size of the play display, the default size of new surfaces.
  int32_t DisplayWidth = 512;
  int32_t DisplayHeight = 512;

  // Makes the pair, freeing the old one first. Width 0: the display's size. Depth 0:
  // ScreenBitsPerPixel; when that is 0 too, nothing is made and both handles stay 0. Nothing is
  // made either for a negative size, a zero height, a negative depth or when the pixels cannot
  // be allocated. A new surface is black. The pixels are RGB32 whatever the depth: the depth is
  // only recorded (and shown by the debug window).
  void CreateSurface(SurfaceHandle& dc, SurfaceHandle& bitmap, int32_t width, int32_t height,
                     int32_t depth, std::string name);
  // Destroys the pair and sets both handles to 0; harmless on a pair that is already 0.
  void FreeSurface(SurfaceHandle& dc, SurfaceHandle& bitmap);

  // The pixels of a live surface; nullptr for 0 or a freed handle.
  QImage* Image(SurfaceHandle dc);
  const QImage* Image(SurfaceHandle dc) const;

  std::vector<SurfaceInfo> Live() const;
  void SetListener(SurfaceListener* listener) { listener_ = listener; }

 private:
  struct Entry {
    SurfaceInfo info;
    QImage image;
  };
  std::map<SurfaceHandle, Entry> surfaces_;  // by device context handle
  SurfaceHandle next_handle_ = 1;
  SurfaceListener* listener_ = nullptr;
};

// The colour depth of the primary screen, read once at start-up into ScreenBitsPerPixel; 32 when
// there is no screen (no QGuiApplication, or a headless platform without one).
int32_t ReadScreenBitsPerPixel();

// Colours are red + 256 * green + 65536 * blue. Bits above the low 24 are ignored, so every
// component is 0 to 255 even for an out-of-range value.
void SplitRgb(int32_t colour, int32_t& red, int32_t& green, int32_t& blue);
QRgb ToQRgb(int32_t colour);

// Exact pixel transfers between 32-bit images (QImage::Format_RGB32, or ARGB32 of either kind,
// whose alpha is ignored), clipped to both images. A null image, one of another format, or a zero
// or negative size makes them do nothing. Results always have alpha 0xFF. Source and destination
// may be the same image, with overlapping rectangles.
enum class RasterOp {
  Copy,   // destination = source
  And,    // destination &= source
  Xor,    // destination ^= source
  Black,  // destination = black (source unused)
};
void BitBlt(QImage* dst, int dx, int dy, int width, int height, const QImage* src, int sx, int sy,
            RasterOp op);
// A transparent transfer in one pass: destination = (destination AND mask) XOR picture, with the
// mask and the picture read at the same place; the same as BitBlt with And, then with Xor.
void MaskedBlt(QImage* dst, int dx, int dy, int width, int height, const QImage* mask,
               const QImage* picture, int sx, int sy);
// Source rectangle scaled to the destination rectangle, nearest neighbour: destination pixel
// (x, y) takes source pixel (sx + floor((x - dx) * sw / dw), sy + floor((y - dy) * sh / dh)).
// Destination pixels outside the destination image or mapping outside the source image are left
// alone. No mirroring: any zero or negative extent draws nothing.
void StretchBlt(QImage* dst, int dx, int dy, int dw, int dh, const QImage* src, int sx, int sy,
                int sw, int sh, RasterOp op);
// A mask of `src` drawn into the existing `mask`, both from their top-left corners over the area
// they share: pixels of `background` (compared on red, green and blue) become white (1), every
// other colour black (0).
void MakeMask(QImage* mask, const QImage* src, QRgb background);

}  // namespace quillon
