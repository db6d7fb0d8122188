// The charts opened last, most recent first, kept in the settings file as section "Recent", keys
// "Chart0" (the most recent) to "Chart9". Paths are bytes: a path that is UTF-8 text is stored as
// it reads, with '%' and control bytes percent-encoded; any other path has every byte outside
// printable ASCII percent-encoded, so CP932 folder names come back byte for byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

namespace quillon {

inline constexpr std::string_view kRecentSection = "Recent";
inline constexpr std::size_t kRecentChartCount = 10;

std::string EncodeStoredPath(std::string_view bytes);
// The bytes of a stored path; nullopt for a broken escape ("%", "%4", "%zz") or an empty path.
std::optional<std::string> DecodeStoredPath(std::string_view text);

// The stored list: empty, undecodable and repeated entries are skipped, at most kRecentChartCount.
std::vector<std::string> ReadRecentCharts(const SettingsStore& store);
// Stores `charts` (the first kRecentChartCount of them) and empties the keys after them.
void WriteRecentCharts(SettingsStore& store, const std::vector<std::string>& charts);

// `charts` with `path` (made absolute against the current folder) at the front, its earlier
// place dropped, cut to kRecentChartCount.
std::vector<std::string> WithRecentChart(std::vector<std::string> charts, std::string_view path);

}  // namespace quillon
