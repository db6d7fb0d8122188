#include "playlist/playlist.h"

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "chart/header_scan.h"
#include "chart/model.h"
#include "chart/text_util.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"
#include "playlist/safe_write.h"

namespace quillon {

bool IsPlaylistFile(const std::string& name) {
  return UpperCase(name).ends_with(".BPL");
}

Playlist::Playlist(PlaylistHost& host, PlaylistView& view) : host_(host), view_(view) {}

void Playlist::Select(std::optional<size_t> row) {
  selected_ = row && *row < entries_.size() ? row : std::nullopt;
}

const std::string& Playlist::ColumnText(const PlaylistEntry& e) const {
  switch (sort_column_) {
    case PlaylistColumn::Genre:
      return e.Genre;
    case PlaylistColumn::Title:
      return e.Title;
    case PlaylistColumn::Artist:
      return e.Artist;
    case PlaylistColumn::Length:
      return e.Length;
    case PlaylistColumn::FileName:
      break;
  }
  return e.FileName;
}

// Column texts compare without regard to letter case; equal texts keep their order.
bool Playlist::Less(const PlaylistEntry& a, const PlaylistEntry& b) const {
  const std::string x = UpperCase(ColumnText(a));
  const std::string y = UpperCase(ColumnText(b));
  return ascending_ ? x < y : y < x;
}

void Playlist::SortRows() {
  std::vector<std::string> texts;
  texts.reserve(entries_.size());
  for (const PlaylistEntry& e : entries_)
    texts.push_back(UpperCase(ColumnText(e)));
  std::vector<size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return ascending_ ? texts[a] < texts[b] : texts[b] < texts[a];
  });
  std::vector<PlaylistEntry> rows;
  rows.reserve(entries_.size());
  std::optional<size_t> selected;
  for (size_t i = 0; i < order.size(); ++i) {
    if (selected_ == order[i]) selected = i;
    rows.push_back(std::move(entries_[order[i]]));
  }
  entries_ = std::move(rows);
  selected_ = selected;
}

void Playlist::SortByColumn(PlaylistColumn column) {
  if (sorted_ && column == sort_column_) {
    ascending_ = !ascending_;
  } else {
    sort_column_ = column;
    ascending_ = true;
  }
  sorted_ = true;
  SortRows();
}

void Playlist::Clear() {
  entries_.clear();
  keys_.clear();
  selected_.reset();
}

std::optional<size_t> Playlist::Insert(PlaylistEntry entry) {
  if (!keys_.insert(entry.Key).second) return std::nullopt;
  size_t row = entries_.size();
  if (sorted_) {
    row = static_cast<size_t>(
        std::upper_bound(
            entries_.begin(), entries_.end(), entry,
            [this](const PlaylistEntry& a, const PlaylistEntry& b) { return Less(a, b); }) -
        entries_.begin());
  }
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(row), std::move(entry));
  if (selected_ && *selected_ >= row) ++*selected_;
  return row;
}

std::optional<std::string> Playlist::Admit(const std::string& file, bool check_file,
                                           std::vector<std::string>& refused,
                                           bool refuse_missing) const {
  if (!StorablePath(file)) {
    // Storing it would need another name, which would be another file.
    refused.push_back("File name with a TAB or line break cannot be listed: " + DisplayPath(file));
    return std::nullopt;
  }
  std::string path = AbsolutePath(file);
  if (path.empty() || path.front() != '/') {
    refused.push_back("Cannot find the current folder for: " + DisplayPath(file));
    return std::nullopt;
  }
  if (check_file) {
    // A missing file is listed all the same (its disk may be unmounted), unless the caller has
    // just been told it is there; anything else that could not be read as a chart is not.
    int error = 0;
    const FileRefusal refusal = CheckUserFile(path, kChartFileCap, &error);
    if (refusal != FileRefusal::None && (refuse_missing || refusal != FileRefusal::Missing)) {
      refused.push_back(RefusalText(refusal, "chart", DisplayPath(path), error));
      return std::nullopt;
    }
  }
  return path;
}

void Playlist::ReportRefused(const std::vector<std::string>& refused) {
  if (refused.empty()) return;
  std::string message;
  for (const std::string& line : refused) {
    if (!message.empty()) message += '\n';
    message += line;
  }
  view_.ReportRefusedFiles(message);
}

bool Playlist::AddAdmitted(const std::string& path, bool select) {
  const std::string key = UpperCase(path);
  if (keys_.contains(key)) return false;
  BmsHeader header;
  ReadBmsHeader(path, header, /*NoFileCheck=*/true);
  PlaylistEntry entry;
  entry.Genre = std::move(header.Genre);
  entry.Title = std::move(header.Title);
  entry.Artist = std::move(header.Artist);
  entry.FileName = path;
  entry.Key = key;
  const std::optional<size_t> row = Insert(std::move(entry));
  if (row && select) selected_ = row;
  return row.has_value();
}

bool Playlist::AddList(const std::string& filename) {
  std::vector<std::string> refused;
  const std::optional<std::string> path = Admit(filename, /*check_file=*/true, refused);
  ReportRefused(refused);
  return path && AddAdmitted(*path);
}

bool Playlist::AddCharts(const std::vector<std::string>& files) {
  std::vector<std::string> refused;
  bool added = false;
  for (const std::string& file : files) {
    const std::optional<std::string> path =
        Admit(file, /*check_file=*/true, refused, /*refuse_missing=*/true);
    if (path && AddAdmitted(*path, /*select=*/false)) added = true;
  }
  ReportRefused(refused);
  if (added) ListSaved = false;
  return added;
}

void Playlist::LoadBytes(std::string_view bytes, const std::string& folder) {
  Clear();
  std::vector<PlaylistEntry> parsed = ParseBpl(bytes);
  entries_.reserve(parsed.size());
  keys_.reserve(parsed.size());
  for (PlaylistEntry& entry : parsed) {
    // Rows are not checked against the disk here: it may simply not be mounted yet.
    if (!entry.FileName.empty() && entry.FileName.front() != '/') {
      entry.FileName = AbsolutePath(entry.FileName, folder);
      entry.Key = UpperCase(entry.FileName);
    }
    if (keys_.insert(entry.Key).second) entries_.push_back(std::move(entry));
  }
  // Rows added one by one to a sorted list each go to their sorted place; sorting once at the
  // end gives the same order.
  if (sorted_) SortRows();
}

bool Playlist::Loadlist(const std::string& filename) {
  if (!AskSave()) return false;
  const std::string name = filename.empty() ? view_.ChooseOpenFile() : filename;
  if (name.empty()) return false;
  FileRead read = ReadUserFile(name, kPlaylistFileCap);
  if (!read.ok()) {
    ReportRefused({RefusalText(read.refusal, "playlist", DisplayPath(name), read.error)});
    return false;
  }
  // Relative rows are relative to the playlist file's own folder.
  const std::string folder = std::filesystem::path(AbsolutePath(name)).parent_path().string();
  LoadBytes(read.bytes, folder);
  ListSaved = true;
  return true;
}

bool Playlist::Savelist(const std::string& filename) {
  const std::string chosen = filename.empty() ? view_.ChooseSaveFile() : filename;
  if (chosen.empty()) return false;
  const std::string name = WithBplExtension(chosen);
  std::string error;
  if (!ReplaceFileContents(name, SaveBytes(), error)) {
    save_error_ = error;
    view_.ReportSaveError(save_error_);
    return false;
  }
  save_error_.clear();
  ListSaved = true;
  return true;
}

bool Playlist::AskSave() {
  if (ListSaved) return true;
  switch (view_.AskSaveChanges()) {
    case SaveAnswer::Yes:
      return Savelist("");
    case SaveAnswer::No:
      return true;
    case SaveAnswer::Cancel:
      break;
  }
  return false;
}

void Playlist::New() {
  if (!AskSave()) return;
  Clear();
  ListSaved = true;
}

void Playlist::LoadDefault(const std::string& path) {
  ListSaved = true;
  unreadable_default_.clear();
  if (FileExists(path) && !Loadlist(path)) unreadable_default_ = path;
}

bool Playlist::SaveDefault(const std::string& path) {
  if (path.empty() || path == unreadable_default_) return false;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  return Savelist(path);
}

void Playlist::StartSelected() {
  if (!selected_) return;
  for (PlaylistEntry& e : entries_)
    e.Marked = false;
  PlayIndex = static_cast<int32_t>(*selected_ + 1);
  entries_[*selected_].Marked = true;
  const std::string file = entries_[*selected_].FileName;
  if (file != host_.LoadedFilePath() && host_.LoadChart(file, /*list_load=*/true) == -1) return;
  host_.StopFile(/*no_stop=*/false);
  view_.ArmPlayStart();
}

void Playlist::OnPlayStartTimer() {
  host_.PlayFile();
}

void Playlist::Stop() {
  host_.StopFile(/*no_stop=*/false);
}

bool Playlist::DeleteSelected() {
  if (!selected_) return false;
  const size_t row = *selected_;
  keys_.erase(entries_[row].Key);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(row));
  // The row that moved up into the place is selected next, so that Delete can be repeated.
  selected_ = entries_.empty() ? std::nullopt : std::optional<size_t>(std::min(row, size() - 1));
  ListSaved = false;
  return true;
}

bool Playlist::MoveSelected(int delta) {
  if (!selected_ || (delta != -1 && delta != 1)) return false;
  const size_t row = *selected_;
  if ((delta < 0 && row == 0) || (delta > 0 && row + 1 >= entries_.size())) return false;
  const size_t other = delta < 0 ? row - 1 : row + 1;
  std::swap(entries_[row], entries_[other]);
  selected_ = other;
  sorted_ = false;
  ListSaved = false;
  return true;
}

void Playlist::CloseByUser() {
  host_.SetPlaylistButton(false);
}

void Playlist::DropOnList(const std::vector<std::string>& files) {
  if (files.empty()) return;
  if (IsPlaylistFile(files.front())) {
    Loadlist(files.front());
    return;
  }
  std::vector<std::string> refused;
  bool added = false;
  for (const std::string& file : files) {
    if (const std::optional<std::string> path = Admit(file, /*check_file=*/true, refused)) {
      added = AddAdmitted(*path) || added;
    }
  }
  ReportRefused(refused);
  if (added) ListSaved = false;
}

void Playlist::ODD(const std::vector<std::string>& files) {
  if (!files.empty() && IsPlaylistFile(files.front())) {
    Loadlist(files.front());
    return;
  }
  std::vector<std::string> refused;
  std::vector<std::string> paths;
  for (const std::string& file : files) {
    if (std::optional<std::string> path = Admit(file, /*check_file=*/true, refused)) {
      paths.push_back(std::move(*path));
    }
  }
  ReportRefused(refused);
  // Nothing to put in its place: the list stays.
  if (paths.empty() && !refused.empty()) return;
  Clear();
  if (paths.empty()) return;
  for (const std::string& path : paths)
    AddAdmitted(path);
  ListSaved = false;
  Select(0);
  PlayIndex = 1;
  if (host_.LoadChart(paths.front(), /*list_load=*/true) == -1) return;
  view_.ArmPlayStart();
}

void Playlist::ReplaceWithChart(const std::string& file) {
  // The main window loads the file itself and says what it cannot read; only the path is judged.
  std::vector<std::string> refused;
  const std::optional<std::string> path = Admit(file, /*check_file=*/false, refused);
  if (!path) {
    ReportRefused(refused);
    PlayIndex = 0;
    return;
  }
  Clear();
  AddAdmitted(*path);
  PlayIndex = 1;
}

void Playlist::SetPlayedLength(int32_t total_time_ms) {
  if (selected_) entries_[*selected_].Length = LengthText(total_time_ms);
}

void Playlist::Previous() {
  if (PlayIndex <= 1) return;
  const size_t row = static_cast<size_t>(PlayIndex) - 2;
  if (row >= entries_.size()) return;
  selected_ = row;
  if (!entries_[row].FileName.empty()) StartSelected();
}

void Playlist::Next() {
  const size_t row = PlayIndex < 0 ? entries_.size() : static_cast<size_t>(PlayIndex);
  if (row < entries_.size()) {
    selected_ = row;
    if (!entries_[row].FileName.empty()) StartSelected();
    return;
  }
  if (!host_.IsPlaying()) host_.StopFile(/*no_stop=*/false);
  if (host_.RepeatMode() == 2) {
    PlayIndex = 0;
    host_.RearmEndTimer();
  }
}

void Playlist::OnSongEnd() {
  if (host_.RepeatMode() == 1) {
    host_.PlayFile();
  } else {
    Next();
  }
}

}  // namespace quillon
