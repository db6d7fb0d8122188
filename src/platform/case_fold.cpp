#include "platform/case_fold.h"

#include <cstdint>
#include <cstring>

namespace quillon {

std::string FoldUpperCase(std::string_view text) {
  std::string out(text);
  const size_t size = out.size();
  const auto at = [&](size_t i) { return static_cast<unsigned char>(out[i]); };
  size_t i = 0;
  while (i < size) {
    // Eight ASCII bytes at a time while there are no lower-case letters among them: most of a
    // chart is upper case, digits and punctuation.
    if (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, out.data() + i, sizeof word);
      constexpr uint64_t kOnes = 0x0101010101010101u;
      constexpr uint64_t kHigh = 0x8080808080808080u;
      // Per byte b < 0x80: high bit of (b + 0x80 - 'a') set when b >= 'a', of (b + 0x80 - 'z' - 1)
      // set when b > 'z'; no carries cross bytes because every byte stays below 0x100.
      const uint64_t at_least_a = word + kOnes * (0x80 - 'a');
      const uint64_t above_z = word + kOnes * (0x80 - 'z' - 1);
      const uint64_t lower = at_least_a & ~above_z & kHigh;
      if ((word & kHigh) == 0 && lower == 0) {
        i += 8;
        continue;
      }
    }
    const unsigned char c = at(i);
    if (c < 0x80) {
      if (c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 0x20);
      ++i;
    } else if (c == 0xC3 && i + 1 < size && at(i + 1) >= 0xA0 && at(i + 1) <= 0xBE &&
               at(i + 1) != 0xB7) {
      // U+00E0..U+00FE are C3 A0..C3 BE; upper case is C3 80..C3 9E. U+00F7 (division sign)
      // is C3 B7.
      out[i + 1] = static_cast<char>(at(i + 1) - 0x20);
      i += 2;
    } else if (c == 0xEF && i + 2 < size && at(i + 1) == 0xBD && at(i + 2) >= 0x81 &&
               at(i + 2) <= 0x9A) {
      // U+FF41..U+FF5A are EF BD 81..EF BD 9A; U+FF21..U+FF3A are EF BC A1..EF BC BA.
      out[i + 1] = static_cast<char>(0xBC);
      out[i + 2] = static_cast<char>(at(i + 2) + 0x20);
      i += 3;
    } else {
      // Any other lead byte: step over its continuation bytes so that they are never taken
      // for the start of a character. A stray byte is passed over on its own.
      ++i;
      while (i < size && (at(i) & 0xC0) == 0x80 && c >= 0xC0)
        ++i;
    }
  }
  return out;
}

}  // namespace quillon
