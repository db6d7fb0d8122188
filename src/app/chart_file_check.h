// The check every headless command makes on the chart it is given, before loading it.
#pragma once

#include <ostream>
#include <string>

#include "chart/model.h"
#include "platform/file_io.h"

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

// After a load that did not succeed (the file changed since the check): the reason on `err`.
inline void ReportFailedLoad(const std::string& path, std::ostream& err) {
  if (CheckChartFile(path, err)) err << "quillon: chart not loaded: " << path << '\n';
}

// The exports play the chart from its start: at a start tempo of 0 or less the position never
// moves and play never ends, so such a chart is refused with a line on `err`.
inline bool CheckStartTempo(const Chart& chart, const std::string& path, std::ostream& err) {
  if (chart.StartBpm > 0) return true;
  err << "quillon: " << path << ": the start tempo is " << chart.StartBpm
      << " BPM (is #BPM missing?), so play would never move: nothing rendered\n";
  return false;
}

}  // namespace quillon
