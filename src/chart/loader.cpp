#include "chart/loader.h"

#include <chrono>
#include <filesystem>
#include <iterator>

#include "chart/compiler.h"
#include "chart/extended_compiler.h"
#include "chart/header_scan.h"
#include "chart/ids.h"
#include "chart/numbers.h"
#include "chart/sort.h"
#include "chart/text_util.h"
#include "chart/timing.h"
#include "platform/file_io.h"
#include "platform/file_lookup.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

// The chart text's lines that contain '#', in upper case.
void MakeLineList(std::string_view text, CompiledLines& lines) {
  lines.UpperText = UpperCase(text);
  const std::string_view upper = lines.UpperText;
  size_t start = 0;
  while (start <= upper.size()) {
    size_t end = upper.find("\r\n", start);
    if (end == std::string_view::npos) end = upper.size();
    const std::string_view line = upper.substr(start, end - start);
    if (line.find('#') != std::string_view::npos) lines.Lines.push_back(line);
    start = end + 2;
  }
}

}  // namespace

ChartLoader::ChartLoader(Chart& chart, LoadView& view, const ElementFlags& flags,
                         ChartResources* resources, LoadOptions options)
    : chart_(chart),
      view_(view),
      flags_(flags),
      resources_(resources),
      options_(std::move(options)) {}

void ChartLoader::Debug(std::string_view text) {
  if (view_.DebugLogging()) view_.WriteDebugLog(text);
}

void ChartLoader::BeginLoad(const std::string& path, bool keep_resources) {
  Debug("Read file ---------------");
  Debug(path);
  rng_.seed(options_.Seed.value_or(
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())));
  view_.ClearDisplay(true);
  InitChart(keep_resources);
}

int32_t ChartLoader::LoadBms(const std::string& path, bool keep_resources) {
  // Read before anything is reset: a file that is refused leaves the loaded chart as it is.
  const FileRead read = ReadUserFile(path, kChartFileCap);
  if (read.refusal == FileRefusal::Missing) {
    BeginLoad(path, keep_resources);
    Debug("Error: FileNotFound");
    view_.ShowLoadLine("File not found.");
    return -1;
  }
  if (!read.ok()) {
    view_.ShowLoadLine(RefusalText(read.refusal, "chart", path, read.error));
    return kChartRefused;
  }
  BeginLoad(path, keep_resources);
  std::error_code error;
  const auto modified = std::filesystem::last_write_time(path, error);
  std::chrono::system_clock::time_point file_date{};
  if (!error) {
    file_date = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(modified));
  }
  return LoadFromBytes(path, read.bytes, file_date);
}

int32_t ChartLoader::LoadBmsBytes(const std::string& path, std::string_view bytes,
                                  bool keep_resources) {
  BeginLoad(path, keep_resources);
  return LoadFromBytes(path, bytes, {});
}

void ChartLoader::InitChart(bool keep_resources) {
  Debug("Initalizing...");
  view_.ShowProgress("Initalizing...");
  view_.ResetPlayState();

  chart_.Header = BmsHeader{};
  chart_.ObjectTable.assign(1, BmsObject{});
  chart_.ObjectLast = 0;
  chart_.StartBpm = 0;
  chart_.CurrentBpm = 0;
  chart_.LastMeasure = 0;
  chart_.EndPosition = 0;
  chart_.NoteCount = 0;
  chart_.ScorePerNote = 0.0;
  chart_.TotalTimeMs = 0;
  chart_.ChartHasBga = false;
  chart_.ChartHasLayer = false;
  chart_.WaveVolume = 100;
  chart_.Extended = false;
  chart_.BpmValues.clear();
  chart_.StopValues.clear();
  chart_.LongNotes.clear();
  if (resources_ != nullptr) {
    resources_->Reset(chart_, keep_resources);
  } else if (!keep_resources) {
    chart_.SoundTable.assign(kIdCount, -1);
    chart_.BgaPictures.assign(kIdCount, BgaPictureSlot{});
  }

  view_.ShowLoadLine("Initalizing...Done");
  Debug("Initalizing...Done");
}

int32_t ChartLoader::LoadFromBytes(const std::string& path, std::string_view bytes,
                                   std::chrono::system_clock::time_point file_date) {
  view_.LoadSettings();
  // The text is decoded once, for the header scan and the compiler alike.
  std::string text = DecodeChartText(bytes);
  NormalizeLineEnds(text);
  ScanBmsHeaderText(text, bytes.size(), path, chart_.Header, !options_.CheckFiles);
  BmsHeader& header = chart_.Header;
  header.FileDate = file_date;
  view_.SetCaption("Loading... \"" + header.Title + "\" - Quillon");

  Debug("Reading Information...");
  CompiledLines lines;
  lines.ChartFolder = GetFolderPath(path);
  view_.ShowLoadLine("Now Loading...");

  std::string stage_path;
  if (!header.StageFile.empty() && options_.CheckFiles) {
    stage_path = FindChartFile(lines.ChartFolder, header.StageFile).value_or(std::string());
  }
  view_.ShowStagePicture(stage_path);
  view_.DrawTitleInfo(header);
  view_.FillProperties(header);

  Debug("Compiling BMS / size:" + std::to_string(bytes.size()));
  chart_.ChartHasBga = header.HasBga;
  chart_.ChartHasLayer = header.HasLayer;
  view_.SetChartText(text);
  MakeLineList(text, lines);

  if (options_.Extended) {
    lines.OriginalText = text;
    if (!CompileExtended(lines)) return kChartRefused;
  } else {
    BmsCompiler compiler(chart_, lines, view_, flags_, options_, rng_,
                         [this](std::string_view line) { Debug(line); });
    compiler.ReadTempo();
    compiler.ReadVolume();
    compiler.StartTable();
    compiler.ReadMeasureLengths();
    view_.MoveToBottomLine();
    view_.SetProgress(0.1);
    view_.ShowProgress("[10%] Compiling BMS...");
    compiler.CompileLines();
    Debug("Compile Complete");
    if (compiler.ObjectLimitReached()) {
      Debug(kObjectLimitText);
      view_.ShowLoadLine(kObjectLimitText);
      view_.MoveToBottomLine();
    }
    compiler.CloseChart();
  }

  if (resources_ != nullptr) resources_->Load(chart_, lines, view_);

  view_.ShowProgress("[90%] Sorting Objects...");
  Debug("Sort Objects");
  if (!options_.Extended) {  // the extended compiler leaves its table sorted
    SortObjects(chart_.ObjectTable, 0, chart_.ObjectLast);
    RaiseBarLines(chart_.ObjectTable, chart_.ObjectLast);
  }
  view_.ShowProgress("[100%] Load Complete!");
  view_.SetProgress(1.0);
  Debug("Load Complete ----------------");

  view_.SetLaneLayout(header.SevenKeys);
  const std::string title_text =
      WindowTitleText(header.Genre, header.Title, header.Artist, header.SubTitle);
  view_.SetTitleText(title_text);
  chart_.ScorePerNote = chart_.NoteCount == 0 ? 0.0 : 100000.0 / chart_.NoteCount;
  view_.ShowNoteCount(chart_.NoteCount, chart_.ScorePerNote);
  view_.ProcessEvents();
  chart_.TotalTimeMs = MeasureTime(chart_, chart_.LastMeasure);
  view_.ClearDisplay(false);

  // The classic reading offers whole tempos around the header's; the extended one the start
  // tempo as read, decimals kept.
  const double box_bpm = chart_.Extended ? chart_.StartBpm : header.Bpm;
  std::vector<double> tempo_items;
  for (double factor : {0.5, 0.75, 1.0, 1.5, 2.0}) {
    tempo_items.push_back(chart_.Extended ? box_bpm * factor
                                          : ToWhole<int32_t>(box_bpm * factor).value_or(0));
  }
  view_.FillTempoBox(tempo_items, box_bpm);
  view_.SetStartMeasure("0");
  view_.SetCaption("[Quillon] " + title_text);
  return 0;
}

bool ChartLoader::CompileExtended(CompiledLines& lines) {
  ExtendedCompiler compiler(chart_, lines, view_, flags_, options_, rng_,
                            [this](std::string_view line) { Debug(line); });
  view_.MoveToBottomLine();
  view_.SetProgress(0.1);
  view_.ShowProgress("[10%] Compiling BMS...");
  compiler.Compile();
  Debug("Compile Complete");
  if (compiler.ObjectLimitReached()) {
    Debug(kObjectLimitText);
    view_.ShowLoadLine(kObjectLimitText);
    view_.MoveToBottomLine();
  }
  if (!compiler.StartTempoUsable()) {
    const std::string refusal = StartTempoRefusal(chart_.StartBpm);
    Debug(refusal);
    view_.ShowLoadLine(refusal);
    // Nothing of the refused chart is left to play: an empty chart has no end to play to.
    chart_.ObjectTable.assign(1, BmsObject{channel::kBarLine, 0, 0, false, 0});
    chart_.ObjectLast = 0;
    chart_.LongNotes.clear();
    chart_.NoteCount = 0;
    chart_.LastMeasure = 0;
    chart_.EndPosition = 0;
    return false;
  }
  // The id tables grow to the reading's size; entries already there (kept resources) stay.
  const size_t ids = static_cast<size_t>(IdCount(lines.IdBase));
  if (chart_.SoundTable.size() < ids) chart_.SoundTable.resize(ids, -1);
  if (chart_.BgaPictures.size() < ids) chart_.BgaPictures.resize(ids);
  // The header fields only this reading fills are known now.
  view_.DrawTitleInfo(chart_.Header);
  view_.FillProperties(chart_.Header);
  return true;
}

}  // namespace quillon
