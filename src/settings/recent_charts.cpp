#include "settings/recent_charts.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/text_encoding.h"
#include "settings/settings_table.h"

namespace quillon {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string EncodeStoredPath(std::string_view bytes) {
  const bool text = IsValidUtf8(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '%' || b < 0x20 || b == 0x7F || (b >= 0x80 && !text)) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> DecodeStoredPath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

std::vector<std::string> ReadRecentCharts(const SettingsStore& store) {
  std::vector<std::string> charts;
  for (std::size_t i = 0; i < kRecentChartCount; ++i) {
    const std::optional<std::string> stored =
        store.Read(kRecentSection, IndexedKey("Chart", static_cast<int>(i)));
    if (!stored) continue;
    std::optional<std::string> path = DecodeStoredPath(*stored);
    if (!path || std::find(charts.begin(), charts.end(), *path) != charts.end()) continue;
    charts.push_back(std::move(*path));
  }
  return charts;
}

void WriteRecentCharts(SettingsStore& store, const std::vector<std::string>& charts) {
  for (std::size_t i = 0; i < kRecentChartCount; ++i) {
    store.Write(kRecentSection, IndexedKey("Chart", static_cast<int>(i)),
                i < charts.size() ? EncodeStoredPath(charts[i]) : std::string());
  }
}

std::vector<std::string> WithRecentChart(std::vector<std::string> charts, std::string_view path) {
  if (path.empty()) return charts;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
  // Without a current folder the path is kept as given.
  if (error) absolute = std::filesystem::path(path);
  const std::string entry = absolute.lexically_normal().string();
  charts.erase(std::remove(charts.begin(), charts.end(), entry), charts.end());
  charts.insert(charts.begin(), entry);
  if (charts.size() > kRecentChartCount) charts.resize(kRecentChartCount);
  return charts;
}

}  // namespace quillon
