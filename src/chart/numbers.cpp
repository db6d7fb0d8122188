#include "chart/numbers.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace quillon {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Reads the digits of a &H or &O number from `pos` on, skipping blanks.
std::optional<double> ReadRadix(std::string_view text, size_t pos, int radix) {
  uint64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (IsBlank(c)) continue;
    const int d = DigitValue(c);
    if (d >= radix) break;
    value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (value <= 0xFFFFull) return static_cast<double>(static_cast<int16_t>(value));
  return static_cast<double>(static_cast<int32_t>(value));
}

// For a decimal number that does not fit a double (digits, an optional point, then an optional
// "e", sign and digits): true when it is too large, false when it is too small. The power of ten
// of its first significant digit decides; the exponent alone does not ("999...9e-10" is large).
bool IsTooLarge(std::string_view number) {
  const size_t e = std::min(number.find('e'), number.size());
  const std::string_view mantissa = number.substr(0, e);
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return false;
  int64_t magnitude = first < point ? static_cast<int64_t>(point - first) - 1
                                    : -static_cast<int64_t>(first - point);
  int64_t exponent = 0;
  bool negative = false;
  for (size_t i = e + 1; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '-') negative = true;
    if (c >= '0' && c <= '9' && exponent < 1'000'000'000) exponent = exponent * 10 + (c - '0');
  }
  magnitude += negative ? -exponent : exponent;
  return magnitude > 0;
}

// Plain whole numbers ("150", "001") are nearly every number in a chart: read them directly when
// the digits end the text or are followed by a character that cannot continue a number.
std::optional<double> ReadPlainWhole(std::string_view text) {
  size_t pos = 0;
  int64_t value = 0;
  while (pos < text.size() && pos < 15 && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos++] - '0');
  }
  if (pos == 0) return std::nullopt;
  if (pos < text.size()) {
    const char c = text[pos];
    const bool may_continue = (c >= '0' && c <= '9') || IsBlank(c) || c == '.' || c == 'E' ||
                              c == 'e' || c == 'D' || c == 'd';
    if (may_continue) return std::nullopt;
  }
  return static_cast<double>(value);
}

}  // namespace

std::optional<double> ReadNumber(std::string_view text) {
  if (const std::optional<double> plain = ReadPlainWhole(text)) return plain;
  size_t pos = 0;
  auto skip_blanks = [&] {
    while (pos < text.size() && IsBlank(text[pos]))
      ++pos;
  };
  skip_blanks();
  if (pos + 1 < text.size() && text[pos] == '&') {
    const char kind = text[pos + 1];
    if (kind == 'H' || kind == 'h') return ReadRadix(text, pos + 2, 16);
    if (kind == 'O' || kind == 'o') return ReadRadix(text, pos + 2, 8);
    return 0.0;
  }

  // Gather the decimal number without its blanks, then let strtod do the exact conversion.
  std::string digits;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  bool seen_point = false;
  bool seen_digit = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (IsBlank(c)) continue;
    if (c >= '0' && c <= '9') {
      digits += c;
      seen_digit = true;
    } else if (c == '.' && !seen_point) {
      digits += c;
      seen_point = true;
    } else {
      break;
    }
  }
  if (!seen_digit) return 0.0;
  if (pos < text.size() &&
      (text[pos] == 'E' || text[pos] == 'e' || text[pos] == 'D' || text[pos] == 'd')) {
    // The exponent counts only when digits follow (an optional sign between).
    size_t p = pos + 1;
    std::string exponent = "e";
    while (p < text.size() && IsBlank(text[p]))
      ++p;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) exponent += text[p++];
    bool exponent_digit = false;
    for (; p < text.size(); ++p) {
      const char c = text[p];
      if (IsBlank(c)) continue;
      if (c < '0' || c > '9') break;
      exponent += c;
      exponent_digit = true;
    }
    if (exponent_digit) digits += exponent;
  }
  // from_chars: exact and independent of the process locale (Qt sets LC_NUMERIC).
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    if (IsTooLarge(digits)) return std::nullopt;
    value = 0.0;  // too small: 0
  } else if (error != std::errc()) {
    return 0.0;
  }
  return negative ? -value : value;
}

}  // namespace quillon
