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

// A text field as UTF-8. Each field decides for itself, so that one CP932 title does not turn
// the UTF-8 texts around it into mojibake. A byte-order mark inside a field is kept (only the
// file's own first one is dropped), so that what was written reads back the same.
std::string DecodeText(std::string_view field) {
  return IsValidUtf8(field) ? std::string(field) : Cp932ToUtf8(field);
}

void AppendText(std::string& out, std::string_view field) {
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
  // TAB, CR and LF never occur inside a CP932 or UTF-8 character, so the lines and fields are
  // cut on the raw bytes and each field is decoded on its own.
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  std::vector<PlaylistEntry> entries;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(pos, end - pos);
    pos = end;
    if (pos < bytes.size()) pos += bytes.compare(pos, 2, "\r\n") == 0 ? 2 : 1;

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
    entry.Genre = DecodeText(fields[0]);
    entry.Title = DecodeText(fields[1]);
    entry.Artist = DecodeText(fields[2]);
    entry.Length = DecodeText(fields[3]);
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
    if (!StorablePath(e.FileName)) continue;
    AppendText(out, e.Genre);
    out += '\t';
    AppendText(out, e.Title);
    out += '\t';
    AppendText(out, e.Artist);
    out += '\t';
    AppendText(out, e.Length);
    out += '\t';
    out += e.FileName;
    out += "\r\n";
  }
  // Reading drops one leading byte-order mark; a genre that itself begins with one keeps it
  // behind a second.
  if (out.starts_with(kByteOrderMark)) out.insert(0, kByteOrderMark);
  return out;
}

bool StorablePath(std::string_view path) {
  return path.find_first_of("\t\r\n") == std::string_view::npos;
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
