#include "playlist/bpl_file.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "chart/text_util.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length a UTF-8 sequence would have from its lead byte; 1 for ASCII and stray bytes.
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

void AppendField(std::string& out, std::string_view field) {
  const size_t start = out.size();
  if (IsValidUtf8(field)) {
    out += field;
  } else {
    for (size_t i = 0; i < field.size();) {
      const size_t length = SequenceLength(static_cast<unsigned char>(field[i]));
      const std::string_view piece = field.substr(i, length);
      if (piece.size() == length && IsValidUtf8(piece)) {
        out += piece;
        i += length;
      } else {
        out += kReplacement;
        ++i;
      }
    }
  }
  std::replace_if(
      out.begin() + static_cast<std::ptrdiff_t>(start), out.end(),
      [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
}

}  // namespace

std::vector<PlaylistEntry> ParseBpl(std::string_view bytes) {
  const std::string text = DecodeChartText(bytes);
  std::vector<PlaylistEntry> entries;
  const std::string_view all(text);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = all.substr(pos, end - pos);
    pos = end;
    if (pos < all.size()) pos += all.compare(pos, 2, "\r\n") == 0 ? 2 : 1;

    std::array<std::string_view, 5> fields;
    size_t count = 0;
    size_t from = 0;
    while (count < fields.size()) {
      const size_t tab = line.find('\t', from);
      fields[count++] = line.substr(from, tab == std::string_view::npos ? tab : tab - from);
      if (tab == std::string_view::npos) break;
      from = tab + 1;
    }
    if (count < fields.size()) continue;
    PlaylistEntry entry;
    entry.Genre = fields[0];
    entry.Title = fields[1];
    entry.Artist = fields[2];
    entry.Length = fields[3];
    entry.FileName = fields[4];
    entry.Key = UpperCase(entry.FileName);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string SerializeBpl(const std::vector<PlaylistEntry>& entries) {
  std::string out;
  size_t estimate = 0;
  for (const PlaylistEntry& e : entries) {
    estimate +=
        e.Genre.size() + e.Title.size() + e.Artist.size() + e.Length.size() + e.FileName.size() + 6;
  }
  out.reserve(estimate);
  for (const PlaylistEntry& e : entries) {
    AppendField(out, e.Genre);
    out += '\t';
    AppendField(out, e.Title);
    out += '\t';
    AppendField(out, e.Artist);
    out += '\t';
    AppendField(out, e.Length);
    out += '\t';
    AppendField(out, e.FileName);
    out += "\r\n";
  }
  // Reading drops one leading byte-order mark; a genre that itself begins with one keeps it
  // behind a second.
  if (out.starts_with(kByteOrderMark)) out.insert(0, kByteOrderMark);
  return out;
}

std::string WithBplExtension(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const size_t file_part = slash == std::string::npos ? 0 : slash + 1;
  if (name.find('.', file_part) == std::string::npos) return name + ".bpl";
  return name;
}

std::string LengthText(int64_t milliseconds) {
  // A negative length cannot come from a chart; show it as nothing played rather than "-1:-5".
  milliseconds = std::max<int64_t>(milliseconds, 0);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02lld:%02lld",
                static_cast<long long>(milliseconds / 60000),
                static_cast<long long>(milliseconds % 60000 / 1000));
  return buffer;
}

}  // namespace quillon
