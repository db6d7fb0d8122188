// libFuzzer target for movie files: OpenBytes over arbitrary bytes, then the frames due at a
// few times (forward, far past the end, back) each drawn into the BGA composition.
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "video/movie.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  quillon::MovieDecoder decoder;
  std::string error;
  if (!decoder.OpenBytes(bytes, error)) {
    if (error.empty()) __builtin_trap();  // a refusal must say why
    return 0;
  }
  const quillon::MovieInfo& info = decoder.Info();
  if (info.Width > quillon::kMovieSideLimit || info.Height > quillon::kMovieSideLimit)
    __builtin_trap();
  QImage target;
  for (double ms : {0.0, 500.0, 10000.0, 100.0}) {
    if (!decoder.DecodeTo(ms)) __builtin_trap();  // an open decoder always has a frame
    decoder.Draw(target);
    if (target.width() != quillon::kMovieFrameSize || target.format() != QImage::Format_RGB32)
      __builtin_trap();
  }
  return 0;
}
