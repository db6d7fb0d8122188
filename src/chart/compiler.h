// The BMS compiler: turns the upper-cased line list of a chart into BmsObject records.
//
// Header values it needs itself (start tempo, volume, measure lengths), the compile pass with
// its #RANDOM / #IF / #ENDIF handling, and the two closing bar lines. Driven by ChartLoader,
// which interleaves the load log and debug trace between the steps.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "chart/load_view.h"
#include "chart/loader.h"
#include "chart/model.h"

namespace quillon {

// Channel lines whose measure is above this are skipped: every bar line of the chart, the two
// closing ones included, must fit the 16-bit measure field.
inline constexpr int32_t kMaxMeasure = 32765;
// Depths 1..50 of nested #RANDOM blocks are kept; a block nested deeper is skipped whole.
inline constexpr int kRandomDepthSlots = 51;

class BmsCompiler {
 public:
  using DebugLog = std::function<void(std::string_view)>;

  BmsCompiler(Chart& chart, CompiledLines& lines, LoadView& view, const ElementFlags& flags,
              const LoadOptions& options, std::mt19937_64& rng, DebugLog debug);

  // StartBpm and CurrentBpm from the first line containing "#BPM".
  void ReadTempo();
  // WaveVolume from the first line containing "#VOLWAV"; 100 when absent or 0.
  void ReadVolume();
  // Record 0 becomes the bar line of measure 0.
  void StartTable();
  // Every line containing "02:", whatever branch it lies in.
  void ReadMeasureLengths();
  // The compile pass over the whole line list.
  void CompileLines();
  // The two closing bar lines and EndPosition.
  void CloseChart();

  bool ObjectLimitReached() const { return limit_reached_; }

 private:
  void CompileRandom(size_t& i);
  void CompileEndIf(size_t& i);
  void CompileChannelLine(std::string_view line);
  void AppendBarLine(int32_t measure, bool closing = false);
  bool Append(const BmsObject& object, bool closing = false);
  int ChooseBranch(int branches);
  // Skips the run of branches starting at `from`; i ends on its last line.
  void SkipBranchRun(size_t& i, size_t from);

  Chart& chart_;
  CompiledLines& lines_;
  LoadView& view_;
  const ElementFlags& flags_;
  const LoadOptions& options_;
  std::mt19937_64& rng_;
  DebugLog debug_;

  std::unordered_map<int32_t, float> measure_lengths_;  // first entry per measure
  int32_t current_measure_ = 0;
  float current_ratio_ = 1.0f;
  int32_t measure_shift_ = 0;
  int random_depth_ = 0;
  std::array<int16_t, kRandomDepthSlots> random_max_{};
  std::array<int16_t, kRandomDepthSlots> random_choice_{};
  int32_t random_count_ = 0;
  bool limit_reached_ = false;
  std::u32string wide_data_;  // scratch for channel data that is not ASCII
};

}  // namespace quillon
