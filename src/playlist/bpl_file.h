// The playlist file (.bpl): one entry per line, five TAB-separated fields (genre, title, artist,
// length, file name), CR LF line ends, no header. Each text field is read as UTF-8 when its bytes
// are valid UTF-8, else as CP932, and written as UTF-8; the file name is the path's own bytes,
// read and written as they are (folders unpacked from BMS archives keep CP932 names on Linux).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct PlaylistEntry {
  std::string Genre;
  std::string Title;
  std::string Artist;
  std::string Length = "--:--";  // "mm:ss" once the chart has been loaded
  std::string FileName;          // the path's bytes, never decoded
  std::string Key;               // FileName upper-cased: a path stands in a list only once
  bool Marked = false;           // drawn in the playing colour (the entry last started)

  bool operator==(const PlaylistEntry&) const = default;
};

// The entries of a .bpl file's bytes, in file order, Key filled in. A line with fewer than five
// fields is skipped; fields past the fifth are ignored. CR LF, a lone LF and a lone CR all end a
// line; a leading UTF-8 byte-order mark is dropped. Paths are kept as written, relative ones
// too. Duplicates are kept here: the list decides what it accepts.
std::vector<PlaylistEntry> ParseBpl(std::string_view bytes);

// The file's bytes for `entries` in the given order. In the texts, TAB, CR and LF would split the
// line on reading, so each becomes a space, and bytes that are not UTF-8 become U+FFFD. A path
// is written as its bytes; a row whose path cannot be stored (see StorablePath) is left out
// rather than written as another file's name.
std::string SerializeBpl(const std::vector<PlaylistEntry>& entries);

// False when the path holds a TAB, CR or LF, which the file format cannot carry.
bool StorablePath(std::string_view path);

// `name` with ".bpl" appended when the part after its last '/' or '\' has no '.'.
std::string WithBplExtension(const std::string& name);

// "mm:ss" for a play length in milliseconds: minutes at least two digits, seconds two.
std::string LengthText(int64_t milliseconds);

}  // namespace quillon
