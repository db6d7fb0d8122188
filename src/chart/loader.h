// LoadBms: the one entry point that turns a chart file into the loaded Chart.
//
// Runs on the caller's thread from start to end: reset, header scan, compile (with #RANDOM
// branches), resources, sort, play length. What the user sees while it runs goes through
// LoadView; sounds and pictures through ChartResources.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "chart/load_view.h"
#include "chart/model.h"

namespace quillon {

// What the compile pass leaves for the resource loader. Lines point into UpperText, so the
// object is neither copied nor moved.
struct CompiledLines {
  CompiledLines() = default;
  CompiledLines(const CompiledLines&) = delete;
  CompiledLines& operator=(const CompiledLines&) = delete;

  std::string ChartFolder;
  std::string UpperText;  // the chart text in upper case
  // The chart text as written, at the same byte offsets as UpperText (upper-casing keeps every
  // character's length); empty when only the upper-case text is known.
  std::string_view OriginalText;
  std::vector<std::string_view> Lines;  // its lines that contain '#'
  std::vector<size_t> WavLines;         // indices of the #WAV lines the compile pass visited
  std::vector<size_t> BmpLines;         // the same for #BMP, empty while "Don't Load BMP" is on
  // How #WAV and #BMP ids read: 16 in the classic reading (hexadecimal), 36 or 62 (#BASE 62) in
  // the extended one.
  int IdBase = 16;

  // Line `index` as written (the upper-case line when the original text is not known).
  std::string_view OriginalLine(size_t index) const {
    const std::string_view line = Lines[index];
    if (OriginalText.size() != UpperText.size()) return line;
    return OriginalText.substr(static_cast<size_t>(line.data() - UpperText.data()), line.size());
  }
};

// Sounds and pictures of the chart, loaded by the layers that own the sound device and
// the surfaces.
class ChartResources {
 public:
  virtual ~ChartResources() = default;
  // At the reset of every load: remake the shared surfaces; unless `keep_resources`, free every
  // sound and picture of `chart` and clear its tables.
  virtual void Reset(Chart& chart, bool keep_resources) = 0;
  // After compiling: load the sounds, then the pictures.
  virtual void Load(Chart& chart, const CompiledLines& lines, LoadView& view) = 0;
};

struct LoadOptions {
  // Forced #RANDOM choices, one per block in the order met; 0 or a missing entry: random.
  std::vector<int> Choices;
  // Seed for the random branches; none: seeded from the clock.
  std::optional<uint64_t> Seed;
  // The object table never grows past this many records; reaching it is reported in the load log.
  size_t ObjectLimit = 4'000'000;
  // The extended reading (base-36 ids, #BPMxx, #STOP, long notes, nested branches); false: the
  // classic reading. The program's default is the ExtendedCommands setting.
  bool Extended = false;
  // Whether the header scan looks for the files the chart names (their sizes and presence) and
  // the stage picture is looked up; false for callers that only want the chart's contents.
  bool CheckFiles = true;
};

// What LoadBms returns for a path that is there but is not a chart file it may read.
inline constexpr int32_t kChartRefused = -2;

// The line in the load log when the object table is full.
inline constexpr std::string_view kObjectLimitText = "Object limit reached: the rest is skipped.";

class ChartLoader {
 public:
  ChartLoader(Chart& chart, LoadView& view, const ElementFlags& flags,
              ChartResources* resources = nullptr, LoadOptions options = {});

  // 0 when the chart was loaded, -1 when the file does not exist (the chart is then reset and
  // the load log says "File not found."), kChartRefused when the path is not a chart file that
  // can be read: a folder, FIFO or device, a file over kChartFileCap, or one that cannot be
  // opened. A refused file is never read past the check: the load log shows one line naming it
  // (RefusalText) and nothing else happens, so the chart loaded before stays loaded.
  int32_t LoadBms(const std::string& path, bool keep_resources);
  // In the extended reading, a chart whose start tempo is missing, 0 or negative is also refused
  // (kChartRefused) after it was read: the load log then says StartTempoRefusal and the chart is
  // left empty.
  // The same for chart bytes already in memory; `path` names the chart and its folder.
  int32_t LoadBmsBytes(const std::string& path, std::string_view bytes, bool keep_resources);
  // The reset at the start of every load.
  void InitChart(bool keep_resources);

 private:
  // Debug lines, random seed, display cleared, chart reset.
  void BeginLoad(const std::string& path, bool keep_resources);
  // Steps from the header scan on, once the bytes are read.
  // 0, or kChartRefused for an unusable start tempo.
  int32_t LoadFromBytes(const std::string& path, std::string_view bytes,
                        std::chrono::system_clock::time_point file_date);
  // The extended reading's compile; false when the chart is refused for its start tempo.
  bool CompileExtended(CompiledLines& lines);
  void Debug(std::string_view text);

  Chart& chart_;
  LoadView& view_;
  const ElementFlags& flags_;
  ChartResources* resources_;
  LoadOptions options_;
  std::mt19937_64 rng_;
};

}  // namespace quillon
