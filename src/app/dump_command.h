// `quillon --dump`: loads a chart headless and prints it as one JSON object.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "chart/loader.h"
#include "chart/model.h"

namespace quillon {

struct DumpRequest {
  std::string ChartPath;
  LoadOptions Options;
  // Also load the sounds and pictures (with no sound device) and list them.
  bool Resources = false;
  // Also list the playable notes with their times: "notes": [[TimeMs, Lane, Value, EndTimeMs]].
  bool Notes = false;
};

// The loaded chart: header fields, chart-wide values, then every record in table order as
// [Channel, Position, Value, Measure].
nlohmann::ordered_json ChartToJson(const Chart& chart);

struct PlayableNote;
// The note list as JSON text: [[TimeMs, Lane, Value, EndTimeMs or null], ...], times whole or with
// at least 3 decimals.
std::string NotesJsonText(const std::vector<PlayableNote>& notes);

class ResourceLoader;
// "sounds": [{"id", "file", "frames", "rate", "channels"}], "pictures": [{"id", "file", "width",
// "height"}], added to `json`.
void AddResourcesToJson(const ResourceLoader& resources, nlohmann::ordered_json& json);

// Loads the chart with the default display switches (and its sounds and pictures when asked),
// writes the JSON and a newline to `out`; messages of the sound loading go to `err`. Exit status:
// 0, or 1 with a message on `err` when the chart is missing or is no chart file to read (a
// folder, FIFO, device, a file too large or unreadable).
int RunDump(const DumpRequest& request, std::ostream& out, std::ostream& err);

}  // namespace quillon
