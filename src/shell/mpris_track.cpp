#include "shell/mpris_track.h"

#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

MediaTrack DescribeTrack(const BmsHeader& header, int32_t total_ms, std::string_view stage_path,
                         uint64_t load_serial) {
  MediaTrack track;
  if (header.FilePath.empty()) return track;
  track.TrackId = "/org/quillon/Quillon/track/" + std::to_string(load_serial);
  track.Title = header.Title;
  if (!header.SubTitle.empty()) {
    if (!track.Title.empty()) track.Title += ' ';
    track.Title += header.SubTitle;
  }
  track.Artist = header.Artist;
  track.Genre = header.Genre;
  track.LengthUs = int64_t{std::max(total_ms, 0)} * 1000;
  track.ArtUrl = FileUrl(stage_path);
  track.Url = FileUrl(header.FilePath);
  return track;
}

std::string FileUrl(std::string_view absolute_path) {
  if (absolute_path.empty() || absolute_path.front() != '/') return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char ch : absolute_path) {
    const auto c = static_cast<unsigned char>(ch);
    if (Unreserved(c)) {
      url += ch;
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0xF];
    }
  }
  return url;
}

std::string PathOfFileUrl(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  constexpr std::string_view kLocalhost = "localhost";
  if (!url.starts_with(kScheme)) return {};
  url.remove_prefix(kScheme.size());
  if (url.starts_with(kLocalhost)) url.remove_prefix(kLocalhost.size());
  if (!url.starts_with('/')) return {};
  std::string path;
  for (size_t i = 0; i < url.size(); ++i) {
    char c = url[i];
    if (c == '%') {
      const int high = i + 2 < url.size() ? HexValue(url[i + 1]) : -1;
      const int low = high >= 0 ? HexValue(url[i + 2]) : -1;
      if (low < 0) return {};
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0') return {};
    path += c;
  }
  return path;
}

int16_t MeasureAtTime(const Chart& chart, const TempoMap& timeline, double ms) {
  int16_t measure = 0;
  if (std::isnan(ms)) return measure;
  const size_t count = std::min(chart.ObjectCount(), chart.ObjectTable.size());
  for (size_t i = 0; i < count; ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    if (o.Channel != channel::kBarLine) continue;
    if (timeline.TimeAt(o.Position) > ms) break;
    measure = o.Measure;
  }
  return measure;
}

std::string_view PlaybackStatusName(bool playing, bool paused) {
  if (paused) return "Paused";
  return playing ? "Playing" : "Stopped";
}

}  // namespace quillon
