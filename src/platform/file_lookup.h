// Finding the files a chart names, on a case-sensitive file system.
#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillon {

// Resolves `name` as written in a chart below `folder` (a path ending in '/', or empty for the
// current folder) and returns the path of an existing entry that is not a folder, as `folder`
// followed by the resolved parts joined by '/'; nullopt when nothing matches.
//
// - '\' and '/' both separate folders; empty parts (doubled separators) are ignored.
// - A name written as absolute is still read below `folder`: a leading drive ("C:") and any
//   leading separators are dropped, so "C:\snd\a.wav" and "/snd/a.wav" mean "snd/a.wav".
// - "." and ".." are kept as they are, so "..\common\a.wav" reaches a sibling folder.
// - The name as written wins when it exists. Otherwise each part is matched against the
//   entries of its folder without regard to case (FoldUpperCase): a part that exists as written
//   is taken as it is, else the first matching entry in byte order. Parts before the last must
//   be folders; the last must not be one.
// - An entry whose name is not valid UTF-8 (CP932 bytes, as unpacked from an archive) also
//   matches by its name decoded from CP932, since the chart's text, and so `name`, is decoded
//   to UTF-8 before it gets here. The path returned keeps the entry's own bytes. Entries that
//   match by their own name come before those that match by their decoded name.
// - An empty name, or one containing a NUL, matches nothing.
std::optional<std::string> FindChartFile(const std::string& folder, std::string_view name);

// The same lookups for many names of one chart: each folder is listed once and kept, so a chart
// naming hundreds of files costs one directory read, not hundreds. Keep one for one load; files
// that appear or vanish meanwhile are not seen.
class ChartFileFinder {
 public:
  explicit ChartFileFinder(std::string folder);
  ChartFileFinder(const ChartFileFinder&) = delete;
  ChartFileFinder& operator=(const ChartFileFinder&) = delete;
  ~ChartFileFinder();

  std::optional<std::string> Find(std::string_view name);
  // Find, and when nothing matches, the same name with each of `extensions` (".ogg", ...) in
  // place of its own, in that order: packages often ship kick.ogg for a chart naming kick.wav.
  std::optional<std::string> FindWithExtensions(std::string_view name,
                                                std::initializer_list<std::string_view> extensions);

 private:
  struct Listing;
  const Listing& ListingOf(const std::string& path);

  std::string folder_;
  std::unordered_map<std::string, std::unique_ptr<Listing>> listings_;
};

}  // namespace quillon
