// The playlist file (.bpl): one entry per line, five TAB-separated fields (genre, title, artist,
// length, file name), CR LF line ends, no header. Read as UTF-8 when the bytes are valid UTF-8,
// else as CP932; written as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct PlaylistEntry {
  std::string Genre;
  std::string Title;
  std::string Artist;
  std::string Length = "--:--";  // "mm:ss" once the chart has been loaded
  std::string FileName;          // the path exactly as it was given
  std::string Key;               // FileName upper-cased: a path stands in a list only once
  bool Marked = false;           // drawn in the playing colour (the entry last started)

  bool operator==(const PlaylistEntry&) const = default;
};

// The entries of a .bpl file's bytes, in file order, Key filled in. A line with fewer than five
// fields is skipped; fields past the fifth are ignored. CR LF, a lone LF and a lone CR all end a
// line. Duplicates are kept here: the list decides what it accepts.
std::vector<PlaylistEntry> ParseBpl(std::string_view bytes);

// The file's bytes for `entries` in the given order. TAB, CR and LF inside a field would split
// the line on reading, so each becomes a space; bytes that are not UTF-8 become U+FFFD so that
// one bad text cannot make the whole file read back as CP932.
std::string SerializeBpl(const std::vector<PlaylistEntry>& entries);

// `name` with ".bpl" appended when the part after its last '/' or '\' has no '.'.
std::string WithBplExtension(const std::string& name);

// "mm:ss" for a play length in milliseconds: minutes at least two digits, seconds two.
std::string LengthText(int64_t milliseconds);

}  // namespace quillon
