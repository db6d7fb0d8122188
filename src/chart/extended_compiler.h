// The extended reading's compiler: base-36/62 ids, #BPMxx tempos, stops, long notes, mines,
// nested branches, exact positions.
//
// One pass over the line list keeps the lines of the branches taken; the header commands among
// them come first (ids, tempos, stops, #LNOBJ and the header fields), then the channel lines.
// Every object keeps its place as a reduced fraction of its measure, so overlays are found
// exactly and positions are computed once the measure lengths are all known. The table is left
// sorted by position (bar lines first at their position, line order otherwise), with long notes
// made and the note count set.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "chart/load_view.h"
#include "chart/loader.h"
#include "chart/model.h"

namespace quillon {

// Stops longer than this many units (over 50,000 measures) are cut to it: such values only come
// from broken charts, and the cut keeps every later sum of stops finite and far from overflow.
inline constexpr double kMaxStopUnits = 1e7;
// Measure lengths above this are cut to it, for the same reason.
inline constexpr double kMaxMeasureLength = 1e4;

// The load-log line of a chart refused for its start tempo.
std::string StartTempoRefusal(double bpm);

class ExtendedCompiler {
 public:
  using DebugLog = std::function<void(std::string_view)>;

  ExtendedCompiler(Chart& chart, CompiledLines& lines, LoadView& view, const ElementFlags& flags,
                   const LoadOptions& options, std::mt19937_64& rng, DebugLog debug);

  // The whole compile; afterwards the chart's table is sorted and closed.
  void Compile();

  // False when the start tempo is missing, 0 or negative: the chart cannot play.
  bool StartTempoUsable() const { return chart_.StartBpm > 0; }
  bool ObjectLimitReached() const { return limit_reached_; }

 private:
  // An object as read: its measure and reduced slot fraction k/n, and its line order.
  struct Raw {
    int32_t measure;
    uint32_t k;
    uint32_t n;
    uint32_t order;
    int16_t channel;
    int16_t value;
  };

  void SelectLines(std::vector<size_t>& headers, std::vector<size_t>& channels);
  int32_t DrawBranch(bool is_switch, int32_t range);
  void ReadHeaders(const std::vector<size_t>& headers);
  void ReadChannelLine(size_t index);
  void Build();
  std::string_view Original(std::string_view upper) const;

  Chart& chart_;
  CompiledLines& lines_;
  LoadView& view_;
  const ElementFlags& flags_;
  const LoadOptions& options_;
  std::mt19937_64& rng_;
  DebugLog debug_;

  int base_ = 36;
  int32_t draws_ = 0;
  bool limit_reached_ = false;
  size_t raw_limit_ = 0;
  std::vector<int16_t> ln_objects_;  // the #LNOBJ ids
  std::vector<double> lengths_;      // per measure 0..999
  std::vector<Raw> raws_;
};

}  // namespace quillon
