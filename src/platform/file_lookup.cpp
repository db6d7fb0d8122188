#include "platform/file_lookup.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <tuple>
#include <vector>

#include "platform/case_fold.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

// U+FFFD in UTF-8: what a decoder puts in place of bytes it cannot read.
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The parts of `name` between separators, after dropping a drive and leading separators.
std::vector<std::string_view> SplitName(std::string_view name) {
  if (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':') name.remove_prefix(2);
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end]))
      ++end;
    if (end > start) parts.push_back(name.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// `base` (a folder path, empty meaning the current folder) joined with `part`.
std::string Join(const std::string& base, std::string_view part) {
  std::string path = base;
  if (!path.empty() && path.back() != '/') path += '/';
  path += part;
  return path;
}

}  // namespace

// The entries of one folder, by folded name; in each list the entries found under their own
// name come first, then those found under their decoded name, each in byte order of the names.
struct ChartFileFinder::Listing {
  struct Entry {
    std::string name;
    bool folder = false;
    bool decoded = false;  // listed under the fold of its name read as CP932
  };
  std::unordered_map<std::string, std::vector<Entry>> by_folded_name;
};

ChartFileFinder::ChartFileFinder(std::string folder) : folder_(std::move(folder)) {}

ChartFileFinder::~ChartFileFinder() = default;

const ChartFileFinder::Listing& ChartFileFinder::ListingOf(const std::string& path) {
  auto [it, added] = listings_.try_emplace(path);
  if (!added) return *it->second;
  it->second = std::make_unique<Listing>();
  Listing& listing = *it->second;
  std::error_code ec;
  std::filesystem::directory_iterator entries(path.empty() ? "." : path, ec);
  const std::filesystem::directory_iterator end;
  while (!ec && entries != end) {
    std::string name = entries->path().filename().string();
    std::error_code kind_error;
    const bool folder = entries->is_directory(kind_error);  // follows symbolic links
    // Names unpacked from CP932 archives keep their CP932 bytes, while the chart's text (and so
    // the name it asks for) has been decoded to UTF-8: such an entry is also listed under its
    // decoded name, unless that decoding is only a guess (it has a replacement character).
    if (!IsValidUtf8(name)) {
      const std::string text = Cp932ToUtf8(name);
      if (text.find(kReplacementCharacter) == std::string::npos) {
        listing.by_folded_name[FoldUpperCase(text)].push_back({name, folder, true});
      }
    }
    listing.by_folded_name[FoldUpperCase(name)].push_back({std::move(name), folder, false});
    entries.increment(ec);
  }
  for (auto& [folded, list] : listing.by_folded_name) {
    std::sort(list.begin(), list.end(), [](const Listing::Entry& a, const Listing::Entry& b) {
      return std::tie(a.decoded, a.name) < std::tie(b.decoded, b.name);
    });
  }
  return listing;
}

std::optional<std::string> ChartFileFinder::Find(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return std::nullopt;
  const std::vector<std::string_view> parts = SplitName(name);
  if (parts.empty()) return std::nullopt;

  std::string path = folder_;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string_view part = parts[i];
    const bool want_folder = i + 1 < parts.size();
    if (part == "." || part == "..") {
      if (!want_folder) return std::nullopt;
      path = Join(path, part);
      continue;
    }
    const Listing& listing = ListingOf(path);
    const auto candidates = listing.by_folded_name.find(FoldUpperCase(part));
    if (candidates == listing.by_folded_name.end()) return std::nullopt;
    const Listing::Entry* chosen = nullptr;
    for (const Listing::Entry& entry : candidates->second) {
      if (entry.folder != want_folder) continue;
      if (entry.name == part) {  // the name as written wins
        chosen = &entry;
        break;
      }
      if (chosen == nullptr) chosen = &entry;
    }
    if (chosen == nullptr) return std::nullopt;
    path = Join(path, chosen->name);
  }
  return path;
}

std::optional<std::string> ChartFileFinder::FindWithExtensions(
    std::string_view name, std::initializer_list<std::string_view> extensions) {
  if (std::optional<std::string> found = Find(name)) return found;
  // The extension of the last part only: a dot in a folder name is not one.
  const size_t last_part = name.find_last_of("/\\") + 1;  // 0 when there is no separator
  const size_t dot = name.rfind('.');
  const std::string_view base =
      dot == std::string_view::npos || dot < last_part ? name : name.substr(0, dot);
  for (std::string_view extension : extensions) {
    if (std::optional<std::string> found = Find(std::string(base) + std::string(extension))) {
      return found;
    }
  }
  return std::nullopt;
}

std::optional<std::string> FindChartFile(const std::string& folder, std::string_view name) {
  return ChartFileFinder(folder).Find(name);
}

}  // namespace quillon
