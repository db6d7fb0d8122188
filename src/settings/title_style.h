// The look of the title view's three lines, as the settings store keeps it.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// The look of one title-view line (settings section InfoView, keys Font, FontSize, FontBold,
// FontItalic, Start and End with the line's digit). Colours are red + 256 * green + 65536 * blue.
struct TitleLineStyle {
  std::string Font = "ＭＳ Ｐゴシック";
  float Size = 9.0F;
  bool Bold = false;
  bool Italic = false;
  int32_t Start = 16777215;  // white
  int32_t End = 16776960;    // red 0, green 255, blue 255
};

}  // namespace quillon
