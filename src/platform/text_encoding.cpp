#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quillon {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// True when the eight bytes at `p` are all ASCII.
bool EightAscii(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080ull) == 0;
}

// One iconv descriptor for the length of one conversion; each call opens its own, so that
// threads never share conversion state.
class Converter {
 public:
  Converter() : cd_(iconv_open("UTF-8", "CP932")) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Without a CP932 converter (no gconv modules installed) ASCII still reads correctly; every
// other byte becomes U+FFFD.
std::string AsciiOnly(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      out += kReplacement;
    }
  }
  return out;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  const char* const data = bytes.data();
  const size_t size = bytes.size();
  size_t i = 0;
  while (i < size) {
    if (i + 8 <= size && EightAscii(data + i)) {
      i += 8;
      continue;
    }
    const auto at = [&](size_t k) { return static_cast<unsigned char>(data[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The allowed range of the second byte depends on the lead byte; this is what excludes
    // overlong forms, surrogates (U+D800..U+DFFF) and code points above U+10FFFF.
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;  // continuation byte, C0/C1 overlong lead, or F5..FF
    }
    if (size - i < length) return false;
    if (at(i + 1) < low || at(i + 1) > high) return false;
    for (size_t k = 2; k < length; ++k) {
      if ((at(i + k) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string DecodeChartText(std::string_view bytes) {
  if (IsValidUtf8(bytes)) {
    if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
    return std::string(bytes);
  }
  return Cp932ToUtf8(bytes);
}

std::string Cp932ToUtf8(std::string_view bytes) {
  Converter converter;
  if (!converter.ok()) return AsciiOnly(bytes);

  // Every CP932 character is one or two bytes and becomes at most three UTF-8 bytes (all of
  // them lie in the Basic Multilingual Plane), and U+FFFD for a skipped byte is three bytes,
  // so three output bytes per input byte always suffice. The buffer still grows on E2BIG in
  // case a converter writes more than that.
  std::string out(bytes.size() * 3 + 16, '\0');
  size_t written = 0;

  // iconv takes a non-const input pointer but never writes through it.
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char* out_ptr = out.data() + written;
    size_t out_left = out.size() - written;
    const size_t result = iconv(converter.get(), &in, &in_left, &out_ptr, &out_left);
    written = out.size() - out_left;
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ (not a CP932 sequence), EINVAL (a sequence cut off at the end) or anything else:
    // one replacement character for the first byte, then carry on after it.
    if (out.size() - written < kReplacement.size()) out.resize(out.size() * 2);
    std::memcpy(out.data() + written, kReplacement.data(), kReplacement.size());
    written += kReplacement.size();
    ++in;
    --in_left;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  }
  out.resize(written);
  return out;
}

std::string DisplayPath(std::string_view path) {
  const std::string text = DecodeChartText(path);
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t':
        shown += "\\t";
        break;
      case '\r':
        shown += "\\r";
        break;
      case '\n':
        shown += "\\n";
        break;
      default:
        shown += c;
    }
  }
  return shown;
}

}  // namespace quillon
