// The playlist model: an ordered list of chart files that the main window plays one after another,
// read from and written to .bpl files. The playlist window shows it and forwards the user's
// actions here; the main window's loading and playing are reached through PlaylistHost, and the
// questions and dialogs the list needs through PlaylistView, so the whole model runs headless.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "playlist/bpl_file.h"

namespace quillon {

// What the list needs from the main window.
class PlaylistHost {
 public:
  virtual ~PlaylistHost() = default;
  // Loads a chart (ListLoad: the list stays as it is); -1 on failure.
  virtual int32_t LoadChart(const std::string& file, bool list_load) = 0;
  virtual void StopFile(bool no_stop) = 0;
  virtual void PlayFile() = 0;
  // The path of the chart now loaded (its header's FilePath); empty when none.
  virtual std::string LoadedFilePath() const = 0;
  virtual bool IsPlaying() const = 0;
  // 0 none, 1 repeat the chart, 2 repeat the list.
  virtual int RepeatMode() const = 0;
  // Arms the end-of-chart timer again; its next tick runs the end-of-song follow-up.
  virtual void RearmEndTimer() = 0;
  // Sets the PLAYLIST button of the system toolbar down or up.
  virtual void SetPlaylistButton(bool down) = 0;
};

enum class SaveAnswer { Yes, No, Cancel };

// What the list needs from the playlist window.
class PlaylistView {
 public:
  virtual ~PlaylistView() = default;
  // "Playlist has changed. Save the changes?"
  virtual SaveAnswer AskSaveChanges() = 0;
  // The open and save dialogs; an empty answer means cancelled.
  virtual std::string ChooseOpenFile() = 0;
  virtual std::string ChooseSaveFile() = 0;
  // Writing a playlist failed; `message` names the file and the reason.
  virtual void ReportSaveError(const std::string& message) = 0;
  // Files an action could not take: one line per file, naming it and the reason (a playlist
  // that cannot be read, charts that cannot become rows). Shown once per action.
  virtual void ReportRefusedFiles(const std::string& message) = 0;
  // Starts the one-shot timer whose tick calls OnPlayStartTimer, so that the window finishes the
  // click and repaints before play begins.
  virtual void ArmPlayStart() = 0;
};

enum class PlaylistColumn { Genre = 0, Title, Artist, Length, FileName };

class Playlist {
 public:
  Playlist(PlaylistHost& host, PlaylistView& view);

  const std::vector<PlaylistEntry>& entries() const { return entries_; }
  size_t size() const { return entries_.size(); }
  // The selected row, 0-based.
  std::optional<size_t> selected() const { return selected_; }
  void Select(std::optional<size_t> row);

  // The 1-based position of the entry being played; 0 = none. Shared with the main window.
  int32_t PlayIndex = 0;
  // True while the list holds no unsaved changes.
  bool ListSaved = true;

  // Sorting by a column's text: the sort column again reverses the order, another column
  // becomes the sort column in ascending order. While sorted, new rows go to their sorted place.
  void SortByColumn(PlaylistColumn column);
  bool sorted() const { return sorted_; }
  PlaylistColumn sort_column() const { return sort_column_; }
  bool ascending() const { return ascending_; }

  // Appends the chart `filename` (made absolute against the current folder; header scan without
  // file checks) and selects it. False when the path is already in the list, or when the file
  // is refused (see Admit), which is reported. A file that does not exist is added with empty
  // texts.
  bool AddList(const std::string& filename);
  // Charts handed over from outside (the command line, the desktop): each is appended unless it is
  // in the list already. One that is missing or refused (see Admit) is left out, and all such are
  // reported in one message. The selection stays where it was: a load under way gives its length
  // to the selected row. True when a row was added; ListSaved is then false.
  bool AddCharts(const std::vector<std::string>& files);
  // Asks about unsaved changes, then replaces the list by the file (an empty name asks for one).
  // A file that cannot be read (missing, a folder, FIFO or device, too large, unreadable) is
  // reported and leaves the list as it was; false then, or when the user cancelled.
  bool Loadlist(const std::string& filename);
  // Writes the list (an empty name asks for one; ".bpl" is added to a name without extension).
  // False when cancelled or when writing failed; the previous file is then left as it was and
  // save_error() says why.
  bool Savelist(const std::string& filename);
  const std::string& save_error() const { return save_error_; }
  // True means "go on": nothing unsaved, the user said No, or said Yes and the save succeeded.
  bool AskSave();
  // The New menu item.
  void New();

  // Window load: reads the default playlist when it exists, without a question.
  void LoadDefault(const std::string& path);
  // Program end: writes the default playlist whatever ListSaved says; but a default playlist
  // that was there and could not be read is left alone, so that its rows are not lost.
  bool SaveDefault(const std::string& path);

  // Starting the selected entry (double click, Play button, Enter).
  void StartSelected();
  // The deferred start of play.
  void OnPlayStartTimer();
  // The Stop button and Esc.
  void Stop();
  // The Delete key: removes the selected row; ListSaved becomes false when one was removed.
  bool DeleteSelected();
  // Alt+Up / Alt+Down: moves the selected row by `delta` (-1 or 1). The list is then in the
  // user's own order, so sorting is switched off.
  bool MoveSelected(int delta);
  // The File menu's Close: the window hides and the PLAYLIST button comes up.
  void CloseByUser();

  // Files dropped on the list: a .bpl is opened, anything else appended. Refused files are
  // skipped and reported in one message.
  void DropOnList(const std::vector<std::string>& files);
  // ODD: files dropped on the main window. A .bpl is opened; otherwise they replace the list and
  // the first one is loaded and played. Refused files are skipped and reported in one message;
  // when every file is refused the list stays as it was.
  void ODD(const std::vector<std::string>& files);

  // The main window loaded `file` on its own (not from the list): it becomes the only entry.
  // A path the file format cannot carry is reported and leaves the list as it was (PlayIndex 0).
  void ReplaceWithChart(const std::string& file);
  // After every load: the selected row's LENGTH from the chart's play length.
  void SetPlayedLength(int32_t total_time_ms);
  // The main window's Previous and Next commands.
  void Previous();
  void Next();
  // The end-of-chart timer fired.
  void OnSongEnd();

  // The list from a .bpl file's bytes and to them (Loadlist and Savelist without the file).
  // Relative paths in the bytes are taken relative to `folder` (the current folder when empty).
  void LoadBytes(std::string_view bytes, const std::string& folder = {});
  std::string SaveBytes() const { return SerializeBpl(entries_); }

 private:
  void Clear();
  // The absolute path a dropped or added file enters the list as, or nullopt when it may not:
  // a path with TAB, CR or LF (the file format cannot carry it), or a file that is there but is
  // a folder, FIFO, device, too large for a chart or unreadable. Then a line saying why goes to
  // `refused`. With `check_file` false only the path itself is judged; a missing file is
  // admitted unless `refuse_missing`.
  std::optional<std::string> Admit(const std::string& file, bool check_file,
                                   std::vector<std::string>& refused,
                                   bool refuse_missing = false) const;
  // One message for the files an action refused; nothing when there are none.
  void ReportRefused(const std::vector<std::string>& refused);
  // Scans the chart's header and puts its row in place (see AddList), selecting it when `select`;
  // `path` was admitted.
  bool AddAdmitted(const std::string& path, bool select = true);
  // Puts `entry` in its place (the end, or its sorted place); the row index, or nullopt when its
  // key is already present.
  std::optional<size_t> Insert(PlaylistEntry entry);
  void SortRows();
  bool Less(const PlaylistEntry& a, const PlaylistEntry& b) const;
  const std::string& ColumnText(const PlaylistEntry& e) const;

  PlaylistHost& host_;
  PlaylistView& view_;
  std::vector<PlaylistEntry> entries_;
  std::unordered_set<std::string> keys_;
  std::optional<size_t> selected_;
  bool sorted_ = false;
  PlaylistColumn sort_column_ = PlaylistColumn::Genre;
  bool ascending_ = true;
  std::string save_error_;
  // The default playlist that was there at load time but could not be read.
  std::string unreadable_default_;
};

// True when `name`, upper-cased, ends with ".BPL".
bool IsPlaylistFile(const std::string& name);

}  // namespace quillon
