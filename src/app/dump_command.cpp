#include "app/dump_command.h"

#include <filesystem>

#include "chart/text_util.h"

namespace quillon {

nlohmann::ordered_json ChartToJson(const Chart& chart) {
  const BmsHeader& h = chart.Header;
  nlohmann::ordered_json header = {
      {"Genre", h.Genre},         {"Title", h.Title},
      {"Artist", h.Artist},       {"Bpm", h.Bpm},
      {"Player", h.Player},       {"PlayLevel", h.PlayLevel},
      {"Rank", h.Rank},           {"HasBga", h.HasBga},
      {"HasLayer", h.HasLayer},   {"HasMidiFile", h.HasMidiFile},
      {"HasRandom", h.HasRandom}, {"FilePath", h.FilePath},
      {"TotalSize", h.TotalSize}, {"StageFile", h.StageFile},
      {"Email", h.Email},         {"Url", h.Url},
      {"SevenKeys", h.SevenKeys}, {"FilesPresent", h.FilesPresent},
  };
  nlohmann::ordered_json objects = nlohmann::ordered_json::array();
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    objects.push_back({o.Channel, o.Position, o.Value, o.Measure});
  }
  return {
      {"header", std::move(header)},        {"StartBpm", chart.StartBpm},
      {"WaveVolume", chart.WaveVolume},     {"LastMeasure", chart.LastMeasure},
      {"EndPosition", chart.EndPosition},   {"NoteCount", chart.NoteCount},
      {"ScorePerNote", chart.ScorePerNote}, {"TotalTimeMs", chart.TotalTimeMs},
      {"objects", std::move(objects)},
  };
}

int RunDump(const DumpRequest& request, std::ostream& out, std::ostream& err) {
  std::error_code error;
  if (!FileExists(request.ChartPath)) {
    err << "quillon: chart not found: " << request.ChartPath << '\n';
    return 1;
  }
  if (std::filesystem::is_directory(request.ChartPath, error)) {
    err << "quillon: not a chart file: " << request.ChartPath << '\n';
    return 1;
  }
  // The header records the full path, as the window's loads do.
  const std::string path = std::filesystem::absolute(request.ChartPath, error).lexically_normal();
  Chart chart;
  LoadView view;
  const ElementFlags flags = ElementFlags::FirstStart();
  ChartLoader loader(chart, view, flags, /*resources=*/nullptr, request.Options);
  if (loader.LoadBms(path, /*keep_resources=*/false) != 0) {
    err << "quillon: chart not found: " << request.ChartPath << '\n';
    return 1;
  }
  // Text that is not valid UTF-8 cannot appear (charts are decoded), but never throw on output.
  out << ChartToJson(chart).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
      << '\n';
  return 0;
}

}  // namespace quillon
