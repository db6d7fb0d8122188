// One line of text printed with its colour running from one colour to another across its
// characters: the title view, the start-up messages and the options preview use it.
//
// Threads: UI thread only (text drawing needs the QGuiApplication).
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace quillon {

// A picture that is printed on line by line: its pixels, its font and the print position (the
// top-left corner of the next character, in pixels).
struct PrintTarget {
  QImage* Image = nullptr;
  QFont Font;
  int CurrentX = 0;
  int CurrentY = 0;
};

// Called once per printed line, after the line has been drawn and ended, with the milliseconds
// left of the 5 ms that each line is meant to take (0 when drawing already took that long). The
// caller shows the updated picture and, when it paces a series of lines (the start-up messages),
// prints the next one that much later from its event loop rather than blocking the window.
using PaceHook = std::function<void(int remaining_ms)>;

// The colour of each of `count` characters running from `from` to `to` (colours are red +
// 256 * green + 65536 * blue): character k of 1..count has each component
// from + k * (to - from) / count, rounded half to even and at least 0. The last one is `to`
// exactly; the first already differs from `from` by one step. Empty for a count of 0 or less.
std::vector<int32_t> GradientColours(int32_t from, int32_t to, int count);

// Prints `text` on `target` from its left edge at CurrentY, each character (code point) in its
// GradientColours colour, then moves the print position to the start of the next line. Unless
// `keep_size` is set, the target's font is first made one point smaller at a time (not below
// 1 point, or 1 pixel for a pixel-sized font) until the text fits the picture's width; the
// smaller font stays on the target. Empty text, or a target without a usable picture, draws
// nothing and leaves the print position alone.
void DrawGradientText(PrintTarget& target, const QString& text, int32_t from, int32_t to,
                      bool keep_size, const PaceHook& pace = {});

}  // namespace quillon
