// How the headless commands and the exports load the chart they are given: the check made before
// loading it, and the messages that say why a chart was not loaded or cannot be played.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "chart/load_view.h"
#include "chart/loader.h"
#include "chart/model.h"
#include "platform/file_io.h"
#include "playback/sound_module.h"

namespace quillon {

// Whether `path` is a chart file that can be read. When it is not, one line on `err` says why:
// "quillon: chart not found: <path>", or "quillon: " and the refusal ("Not a chart file: <path>",
// "File too large: <path>", "Cannot read <path>: <reason>"). Nothing is read, so a FIFO or a
// device given as the chart never blocks.
inline bool CheckChartFile(const std::string& path, std::ostream& err) {
  int error = 0;
  const FileRefusal refusal = CheckUserFile(path, kChartFileCap, &error);
  if (refusal == FileRefusal::None) return true;
  if (refusal == FileRefusal::Missing) {
    err << "quillon: chart not found: " << path << '\n';
  } else {
    err << "quillon: " << RefusalText(refusal, "chart", path, error) << '\n';
  }
  return false;
}

// The load view of the headless commands: keeps the load log's last line, which says why a load
// was refused.
class HeadlessLoadView : public LoadView {
 public:
  void ShowLoadLine(std::string_view text) override { last_line_ = text; }
  const std::string& LastLine() const { return last_line_; }

 private:
  std::string last_line_;
};

// Sound-loading messages of the headless commands: one line each on an error stream.
class StreamSoundMessages : public SoundMessages {
 public:
  explicit StreamSoundMessages(std::ostream& err) : err_(err) {}
  void ShowSoundError(std::string_view text) override { err_ << "quillon: " << text << '\n'; }

 private:
  std::ostream& err_;
};

// After a load that did not succeed: the reason on `err` — the file's refusal when it changed
// since the check, else the load log's last line (a chart the reading refuses, such as one with
// no start tempo).
inline void ReportFailedLoad(const std::string& path, const HeadlessLoadView& view,
                             std::ostream& err) {
  if (!CheckChartFile(path, err)) return;
  if (view.LastLine().empty()) {
    err << "quillon: chart not loaded: " << path << '\n';
  } else {
    err << "quillon: " << path << ": " << view.LastLine() << '\n';
  }
}

// The exports play the chart from its start: at a start tempo of 0 or less the position never
// moves and play never ends, so such a chart is refused with a line on `err`.
inline bool CheckStartTempo(const Chart& chart, const std::string& path, std::ostream& err) {
  if (chart.StartBpm > 0) return true;
  err << "quillon: " << path << ": the start tempo is " << chart.StartBpm
      << " BPM (is #BPM missing?), so play would never move: nothing rendered\n";
  return false;
}

// The whole load of a headless command: CheckChartFile, then the chart read from its absolute path
// (the header records it, as the window's loads do) with `resources` (null: none), then
// ReportFailedLoad when that did not succeed. True when the chart is loaded.
bool LoadHeadless(const std::string& path, const LoadOptions& options, const ElementFlags& flags,
                  ChartResources* resources, Chart& chart, std::ostream& err);

// LoadHeadless followed by CheckStartTempo: the load of the exports, which play the chart.
bool LoadForExport(const std::string& path, const LoadOptions& options, const ElementFlags& flags,
                   ChartResources* resources, Chart& chart, std::ostream& err);

}  // namespace quillon
