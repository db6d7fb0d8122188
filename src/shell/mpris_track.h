// What the desktop's media controls are told about the loaded chart, and where a seek to a play
// time lands. Standard C++ only: the D-Bus side turns these into its own types.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "chart/model.h"
#include "chart/timing.h"

namespace quillon {

// The loaded chart as a media player describes its track. All empty when no chart is loaded.
struct MediaTrack {
  std::string TrackId;  // a D-Bus object path naming this load
  std::string Title;    // the title, followed by the subtitle when there is one
  std::string Artist;
  std::string Genre;
  int64_t LengthUs = 0;
  std::string ArtUrl;  // file:// URL of the stage picture; empty when none was shown
  std::string Url;     // file:// URL of the chart

  bool operator==(const MediaTrack&) const = default;
};

// The track of the chart `header` describes (its FilePath absolute), `total_ms` long, with the
// stage picture read from `stage_path` (empty: none). `load_serial` counts the loads, so that
// a chart loaded again is a new track to the desktop.
MediaTrack DescribeTrack(const BmsHeader& header, int32_t total_ms, std::string_view stage_path,
                         uint64_t load_serial);

// A file:// URL of an absolute path, every byte outside the unreserved characters and '/'
// percent-encoded (a file name need not be UTF-8). Empty for an empty or relative path.
std::string FileUrl(std::string_view absolute_path);
// The path of a file:// URL (percent-decoded, "file://localhost/" accepted); empty when the text
// is no such URL or decodes to a NUL byte.
std::string PathOfFileUrl(std::string_view url);

// The measure whose bar line is the last one at or before `ms` on `timeline` (the chart's bar
// lines read in table order); 0 before the first or when the chart holds none.
int16_t MeasureAtTime(const Chart& chart, const TempoMap& timeline, double ms);

// "Playing", "Paused" or "Stopped".
std::string_view PlaybackStatusName(bool playing, bool paused);

}  // namespace quillon
