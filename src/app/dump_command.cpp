#include "app/dump_command.h"

#include <cmath>
#include <cstdio>

#include "chart/notes.h"
#include "chart_resources/headless_load.h"
#include "chart_resources/resource_loader.h"
#include "platform/surface.h"
#include "playback/sound_device.h"
#include "playback/sound_module.h"

namespace quillon {

namespace {

// A position or tempo as the dump prints it: a whole value as an integer (the classic reading
// has only whole ones), any other as a decimal number.
nlohmann::ordered_json Number(double value) {
  if (std::isfinite(value) && value == std::nearbyint(value) && std::fabs(value) < 0x1p53) {
    return static_cast<int64_t>(value);
  }
  return value;
}

// A time in milliseconds for the note list: whole as an integer, otherwise with 3 to 6 decimals.
std::string TimeText(double ms) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6f", ms);
  std::string text = buffer;
  if (text.ends_with(".000000") || !std::isfinite(ms)) {
    return std::to_string(static_cast<int64_t>(std::isfinite(ms) ? std::nearbyint(ms) : 0));
  }
  while (text.size() > 3 && text[text.size() - 4] != '.' && text.back() == '0')
    text.pop_back();
  return text;
}

}  // namespace

std::string NotesJsonText(const std::vector<PlayableNote>& notes) {
  std::string text = "[";
  for (const PlayableNote& n : notes) {
    if (text.size() > 1) text += ',';
    text += '[';
    text += TimeText(n.TimeMs);
    text += ',' + std::to_string(n.Lane) + ',' + std::to_string(n.Value) + ',';
    text += n.EndTimeMs ? TimeText(*n.EndTimeMs) : "null";
    text += ']';
  }
  return text + "]";
}

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
  if (chart.Extended) {
    header["SubTitle"] = h.SubTitle;
    header["SubArtist"] = h.SubArtist;
    header["Total"] = Number(h.Total);
    header["Difficulty"] = h.Difficulty;
    header["Banner"] = h.Banner;
    header["Preview"] = h.Preview;
    header["LnType"] = h.LnType;
    header["LnObj"] = h.LnObj;
    header["LnMode"] = h.LnMode;
  }
  nlohmann::ordered_json objects = nlohmann::ordered_json::array();
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    objects.push_back({o.Channel, Number(o.Position), o.Value, o.Measure});
  }
  return {
      {"header", std::move(header)},
      {"StartBpm", Number(chart.StartBpm)},
      {"WaveVolume", chart.WaveVolume},
      {"LastMeasure", chart.LastMeasure},
      {"EndPosition", Number(chart.EndPosition)},
      {"NoteCount", chart.NoteCount},
      {"ScorePerNote", chart.ScorePerNote},
      {"TotalTimeMs", chart.TotalTimeMs},
      {"objects", std::move(objects)},
  };
}

void AddResourcesToJson(const ResourceLoader& resources, nlohmann::ordered_json& json) {
  nlohmann::ordered_json sounds = nlohmann::ordered_json::array();
  for (const auto& [id, s] : resources.Sounds()) {
    sounds.push_back({{"id", id},
                      {"file", s.File},
                      {"frames", s.Frames},
                      {"rate", s.Rate},
                      {"channels", s.Channels}});
  }
  nlohmann::ordered_json pictures = nlohmann::ordered_json::array();
  for (const auto& [id, p] : resources.Pictures()) {
    nlohmann::ordered_json picture = {
        {"id", id}, {"file", p.File}, {"width", p.Width}, {"height", p.Height}};
    if (p.Movie) {
      picture["movie"] = true;
      picture["frames"] = p.Frames;
      picture["fps"] = p.Fps;
    }
    pictures.push_back(std::move(picture));
  }
  json["sounds"] = std::move(sounds);
  json["pictures"] = std::move(pictures);
}

int RunDump(const DumpRequest& request, std::ostream& out, std::ostream& err) {
  Chart chart;
  const ElementFlags flags = ElementFlags::FirstStart();
  // Sounds are decoded with no device behind them; pictures go to off-screen surfaces.
  SoundDevice sound(MakeNullBackend());
  const int32_t no_device = 0;
  StreamSoundMessages messages(err);
  SurfaceRegistry surfaces;
  ResourceLoader resources(sound, no_device, messages, surfaces, flags);
  resources.DecodeWithoutDevice = true;
  if (!LoadHeadless(request.ChartPath, request.Options, flags,
                    request.Resources ? &resources : nullptr, chart, err)) {
    return 1;
  }
  nlohmann::ordered_json json = ChartToJson(chart);
  if (request.Notes) json["notes"] = "";
  if (request.Resources) AddResourcesToJson(resources, json);
  // Text that is not valid UTF-8 cannot appear (charts are decoded), but never throw on output.
  std::string text = json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  if (request.Notes) {
    // The times are printed with at least three decimals, which the JSON library does not do: the
    // placeholder after "objects" is replaced by the list's text. An unescaped quote only occurs
    // around keys and strings of the dump itself, so the key found is the one put there.
    const std::string placeholder = "\"notes\":\"\"";
    const size_t at = text.find(placeholder);
    if (at != std::string::npos) {
      text.replace(at, placeholder.size(), "\"notes\":" + NotesJsonText(PlayableNotes(chart)));
    }
  }
  out << text << '\n';
  return 0;
}

}  // namespace quillon
