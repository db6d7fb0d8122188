// Dropped files arrive as a text/uri-list: one URL per line, file names percent-encoded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The local file paths of the "file:" URLs in a text/uri-list, percent-decoded to the file
// names' bytes (which need not be UTF-8: BMS folders are often named in CP932). Comment lines
// ('#'), other schemes and URLs naming another host are left out; CR LF and LF both end a line.
std::vector<std::string> LocalPathsFromUriList(std::string_view list);

// A text/uri-list of "file://" URLs for absolute paths, one per line ending in CR LF: every byte
// but letters, digits, "-._~" and '/' percent-encoded, so any file name's bytes come back from
// LocalPathsFromUriList as they were.
std::string UriListFromLocalPaths(const std::vector<std::string>& paths);

}  // namespace quillon
