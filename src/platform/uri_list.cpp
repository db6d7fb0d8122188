#include "platform/uri_list.h"

#include <unistd.h>

#include <climits>
#include <optional>

#include "platform/case_fold.h"

namespace quillon {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%41" -> "A"; a '%' not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsThisHost(std::string_view host) {
  if (host.empty() || FoldUpperCase(host) == "LOCALHOST") return true;
  char name[HOST_NAME_MAX + 1] = {};
  return ::gethostname(name, sizeof name - 1) == 0 && host == name;
}

std::optional<std::string> LocalPath(std::string_view url) {
  constexpr std::string_view kScheme = "FILE:";
  if (url.size() < kScheme.size() || FoldUpperCase(url.substr(0, kScheme.size())) != kScheme) {
    return std::nullopt;
  }
  url.remove_prefix(kScheme.size());
  if (url.starts_with("//")) {  // file://host/path
    url.remove_prefix(2);
    const size_t slash = url.find('/');
    if (slash == std::string_view::npos || !IsThisHost(url.substr(0, slash))) return std::nullopt;
    url.remove_prefix(slash);
  }
  if (!url.starts_with('/')) return std::nullopt;
  // A query or fragment is no part of a file name ('?' and '#' in names are percent-encoded).
  url = url.substr(0, url.find_first_of("?#"));
  std::string path = PercentDecode(url);
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

}  // namespace

std::vector<std::string> LocalPathsFromUriList(std::string_view list) {
  std::vector<std::string> paths;
  while (!list.empty()) {
    const size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (std::optional<std::string> path = LocalPath(line)) paths.push_back(std::move(*path));
  }
  return paths;
}

std::string UriListFromLocalPaths(const std::vector<std::string>& paths) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string list;
  for (const std::string& path : paths) {
    list += "file://";
    for (const char c : path) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
          (byte >= '0' && byte <= '9') ||
          std::string_view("-._~/").find(c) != std::string_view::npos) {
        list += c;
      } else {
        list += '%';
        list += kHex[byte >> 4];
        list += kHex[byte & 15];
      }
    }
    list += "\r\n";
  }
  return list;
}

}  // namespace quillon
