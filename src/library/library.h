// The chart library: every chart file under the user's library folders, read once and kept in
// an SQLite database (Qt SQL, QSQLITE) so that it can be listed, searched and played.
//
// Files are found with POSIX calls (names are bytes: CP932 folder and file names are common and
// Qt's directory listing leaves out names that are not valid in the locale's encoding). Each
// chart is read with the extended reading, without its sounds and pictures. Scans are
// incremental: a file whose size and modification time did not change is not read again.
//
// Threads: a LibraryDatabase belongs to the thread that opened it (one connection each). The
// scan reads charts on worker threads and writes from the thread that runs it. Nothing here
// uses Qt Widgets.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// One chart file as the library keeps it.
struct ChartRecord {
  int64_t Id = 0;
  std::string Path;    // the file's path, its bytes as on disk
  std::string Folder;  // the folder holding it, bytes, ending in '/'
  int64_t FileSize = 0;
  int64_t MtimeNs = 0;  // modification time, nanoseconds since the epoch
  std::string Md5;      // of the file's bytes, 32 lower-case hex digits
  std::string Sha256;   // 64 lower-case hex digits
  std::string Title, SubTitle, Artist, SubArtist, Genre;  // UTF-8
  int32_t Mode = 0;                                       // keys: 5, 7, 9, 10 or 14; 0 when unknown
  int32_t PlayLevel = 0;
  int32_t Difficulty = 0;
  int32_t Rank = 0;
  double Total = 0.0;
  double StartBpm = 0.0;
  double MinBpm = 0.0;
  double MaxBpm = 0.0;
  int32_t NoteCount = 0;
  int32_t LongNoteCount = 0;
  int64_t LengthMs = 0;
  bool HasLongNotes = false;
  bool HasMines = false;
  bool HasRandom = false;
  bool HasBga = false;
  bool HasMovie = false;
  bool HasStagePicture = false;
  std::string Encoding;   // "UTF-8" or "CP932"
  int64_t IndexedAt = 0;  // seconds since the epoch
  bool Supported = true;  // false for .bmson, listed but not read
  std::string Error;      // why the chart could not be read; empty when it was
};

// Whether a file name is a chart the library lists (.bms .bme .bml .pms .bmson, any case).
bool IsLibraryChartName(std::string_view name);

// Reads the chart file at `path` into a record: size, time and hashes of its bytes, then the
// header and counts from the extended reading (random branches at their first choice). A file
// that cannot be read, or is no chart, gives a record with Error set; a .bmson one has
// Supported false. Never throws, never blocks on a FIFO or a device.
ChartRecord ReadChartRecord(const std::string& path);

// A chart file found by a folder walk.
struct FoundChart {
  std::string Path;
  int64_t FileSize = 0;
  int64_t MtimeNs = 0;
};
struct FolderWalk {
  std::vector<FoundChart> Charts;              // in path order
  int32_t SkippedLoops = 0;                    // folders reached again through symbolic links
  int32_t SkippedUnreadable = 0;               // folders that could not be listed
  std::vector<std::string> UnreadableFolders;  // those folders (their charts are not known)
  bool Cancelled = false;                      // stopped early: the list is not complete
};
// Every chart file below `folder` (symbolic links followed, each folder listed once); stops early
// when `cancel` is raised.
FolderWalk WalkChartFolder(const std::string& folder, const std::atomic<bool>* cancel = nullptr);

// The database file: ~/.local/share/Quillon/library.sqlite for a data folder of
// ~/.local/share/Quillon.
std::string LibraryDatabasePath(const std::string& data_folder);

class LibraryDatabase {
 public:
  enum class Status {
    Ok,
    Corrupt,     // not an SQLite database, or damaged
    TooNew,      // written by a newer Quillon (a schema version this one does not know)
    Unwritable,  // cannot be created or written
  };

  LibraryDatabase();
  ~LibraryDatabase();
  LibraryDatabase(const LibraryDatabase&) = delete;
  LibraryDatabase& operator=(const LibraryDatabase&) = delete;

  // Opens the database at `path`, creating it (and its folder) or bringing an older schema up to
  // date; WAL mode. Anything but Ok leaves the file as it is, with a message for the user in
  // `message`.
  Status Open(const std::string& path, std::string& message);
  // After a refused Open: keeps the refused file under a new name beside it ("library.sqlite" ->
  // "library.sqlite.broken-20261207-114400", plus its -wal/-shm), then opens a new empty database
  // at the path. The kept name is in `message`.
  Status Rebuild(std::string& message);
  bool IsOpen() const;
  const std::string& Path() const;

  std::vector<std::string> Folders();
  // Adds a library folder (made absolute, bytes kept); false when it is there already or is no
  // folder.
  bool AddFolder(const std::string& folder, std::string& message);
  // Removes a library folder and the charts found only through it; false when it is not one.
  bool RemoveFolder(const std::string& folder, std::string& message);

  std::vector<ChartRecord> AllCharts();
  int64_t ChartCount();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  friend struct LibraryScanAccess;
};

struct ScanProgress {
  int64_t Found = 0;      // chart files found so far
  int64_t Read = 0;       // new or changed files read
  int64_t Unchanged = 0;  // files skipped: same size and time as in the database
  int64_t Failed = 0;     // files kept with an error
  int64_t Removed = 0;    // charts gone from the folders, dropped
  double ChartsPerSecond = 0.0;
  std::string CurrentFolder;
  int32_t SkippedLoops = 0;
  int32_t SkippedUnreadable = 0;
  bool Done = false;
  bool Cancelled = false;
  // Library folders that were not there (an unplugged disk): their charts are kept as they were.
  std::vector<std::string> MissingFolders;
};

// Scans every library folder of `db`: walks them, reads new and changed charts on worker threads,
// writes them in batched transactions and drops charts that are gone. Only one scan runs at a
// time over one database file, across processes: a second one waits for the first. A raised
// `cancel` stops after the batch being written (what is written stays; the next scan goes on
// from there). `progress` is called on the scanning thread, a few times a second and at the end.
ScanProgress ScanLibrary(LibraryDatabase& db,
                         const std::function<void(const ScanProgress&)>& progress = nullptr,
                         const std::atomic<bool>* cancel = nullptr);

// Searching: the text a search matches, case- and width-insensitive (NFKC, then case folding:
// "ＡＢＣ" and "abc" are the same key; hiragana and katakana stay apart).
std::string SearchKey(std::string_view text);

struct LibraryFilter {
  int32_t Mode = 0;       // 0: any
  int32_t MinLevel = 0;   // 0 or less: no lower bound
  int32_t MaxLevel = 99;  // 99 or more: no upper bound
};

// The rows of a search, kept in memory with their keys: every keystroke is one pass over them.
class LibrarySearch {
 public:
  void Reset(std::vector<ChartRecord> rows);
  // Indexes of the rows whose title, subtitle, artist, genre or folder holds every blank-separated
  // word of `text` (all rows for an empty text) and that pass `filter`, in row order.
  std::vector<int32_t> Find(std::string_view text, const LibraryFilter& filter = {}) const;
  const ChartRecord& Row(int32_t index) const { return rows_[static_cast<size_t>(index)]; }
  int32_t Size() const { return static_cast<int32_t>(rows_.size()); }

 private:
  std::vector<ChartRecord> rows_;
  std::string keys_;              // every row's key in row order, each ending in a line break
  std::vector<size_t> key_ends_;  // where each row's key ends in keys_
};

}  // namespace quillon
