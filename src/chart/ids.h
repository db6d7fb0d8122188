// Two-character object ids of the extended reading: base 36 (0-9, A-Z, case-insensitive) or,
// after #BASE 62, base 62 (0-9, A-Z, a-z, case-sensitive). "00" names nothing.
#pragma once

#include "chart/model.h"

namespace quillon {

// The value of one id character, -1 when it lies outside `base` (36 or 62).
constexpr int IdDigit(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return base == 62 ? c - 'a' + 36 : c - 'a' + 10;
  return -1;
}

// The id spelt by `first` `second`: 1..base²-1, or 0 for "00" and for a character outside the
// base (such a pair is no object, not an error).
constexpr int ReadId(char first, char second, int base) {
  const int high = IdDigit(first, base);
  const int low = IdDigit(second, base);
  if (high < 0 || low < 0) return 0;
  return high * base + low;
}

// The id table size of a base: 1296 for base 36, 3844 for base 62.
constexpr int IdCount(int base) {
  return base == 62 ? kIdCount62 : kIdCount36;
}

}  // namespace quillon
