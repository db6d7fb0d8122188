// Reading numbers from chart text, and turning fractional values into whole ones.
//
// Every whole value in the loader is rounded to the nearest whole number with halves to even,
// and a value that does not fit the field it is stored in makes that step fail (nullopt); the
// caller skips the step and goes on.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace quillon {

// The number at the start of `text`: blanks (space, tab, line feed) before and inside the number
// are skipped; an optional sign; then decimal digits with an optional point, fraction and
// exponent (E or D), or &H + hexadecimal digits, or &O + octal digits. Reading stops at the first
// character that does not fit; no number gives 0. nullopt when the number overflows.
//
// Hexadecimal and octal values take the width of the smallest field that holds them, as two's
// complement: &HFF is 255, &HFFFF is -1, &H10000 is 65536, &HFFFFFFFF is -1; wider is an overflow.
std::optional<double> ReadNumber(std::string_view text);

// Nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4), if it fits in T.
template <typename T>
std::optional<T> ToWhole(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double r = std::nearbyint(value);  // default rounding mode: to nearest, ties to even
  if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
      r > static_cast<double>(std::numeric_limits<T>::max())) {
    return std::nullopt;
  }
  return static_cast<T>(r);
}

// ToWhole of ReadNumber: the whole value of the number at the start of `text`.
template <typename T>
std::optional<T> ReadWhole(std::string_view text) {
  const std::optional<double> v = ReadNumber(text);
  if (!v) return std::nullopt;
  return ToWhole<T>(*v);
}

}  // namespace quillon
