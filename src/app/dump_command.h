// `quillon --dump`: loads a chart headless and prints it as one JSON object.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "chart/loader.h"
#include "chart/model.h"

namespace quillon {

struct DumpRequest {
  std::string ChartPath;
  LoadOptions Options;
};

// The loaded chart: header fields, chart-wide values, then every record in table order as
// [Channel, Position, Value, Measure].
nlohmann::ordered_json ChartToJson(const Chart& chart);

// Loads the chart with the default display switches and no sounds or pictures, writes the JSON
// and a newline to `out`. Exit status: 0, or 1 with a message on `err` when the chart is missing.
int RunDump(const DumpRequest& request, std::ostream& out, std::ostream& err);

}  // namespace quillon
