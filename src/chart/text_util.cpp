#include "chart/text_util.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/case_fold.h"

namespace quillon {
namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Byte offset of the 0-based character `index`, or text.size() when there are fewer.
size_t ByteOffset(std::string_view text, size_t index) {
  size_t pos = 0;
  while (pos < text.size() && index > 0) {
    ++pos;
    while (pos < text.size() && IsContinuation(static_cast<unsigned char>(text[pos])))
      ++pos;
    --index;
  }
  return pos;
}

}  // namespace

std::string TrimNull(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\0') out += c;
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}

std::string GetFolderPath(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash + 1));
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string UpperCase(std::string_view text) {
  return FoldUpperCase(text);
}

size_t CharCount(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    n += IsContinuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return n;
}

std::string_view Mid(std::string_view text, size_t start, size_t count) {
  if (start == 0) start = 1;
  // Bytes are characters as far as the part that decides the result is ASCII.
  const size_t decisive = count == std::string_view::npos
                              ? start - 1
                              : std::min(text.size(), start - 1 + std::min(count, text.size()));
  if (IsAscii(text.substr(0, decisive))) {
    if (start - 1 >= text.size()) return {};
    return text.substr(start - 1, count);
  }
  const size_t from = ByteOffset(text, start - 1);
  if (count == std::string_view::npos) return text.substr(from);
  const size_t to = from + ByteOffset(text.substr(from), count);
  return text.substr(from, to - from);
}

size_t FindText(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  const size_t before = needle.size() - 1;
  for (size_t pos = from + before; pos < text.size(); ++pos) {
    const void* hit = std::memchr(text.data() + pos, needle.back(), text.size() - pos);
    if (hit == nullptr) break;
    pos = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    if (text.compare(pos - before, before, needle.substr(0, before)) == 0) return pos - before;
  }
  return std::string_view::npos;
}

void NormalizeLineEnds(std::string& text) {
  if (text.find("\r\n") != std::string::npos) return;
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  text = std::move(out);
}

std::vector<std::string_view> SplitCrLf(std::string_view text, size_t limit) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (true) {
    if (limit != 0 && pieces.size() + 1 == limit) break;
    const size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) break;
    pieces.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

std::string TitleWithSubtitle(std::string_view title, std::string_view subtitle) {
  std::string text(title);
  if (!subtitle.empty()) {
    text += ' ';
    text += subtitle;
  }
  return text;
}

std::string WindowTitleText(std::string_view genre, std::string_view title, std::string_view artist,
                            std::string_view subtitle) {
  std::string text = "(";
  text += genre;
  text += ") ";
  text += TitleWithSubtitle(title, subtitle);
  text += " / ";
  text += artist;
  text += "   ";
  return text;
}

}  // namespace quillon
