#include "app/library_command.h"

#include <atomic>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/stop_signals.h"
#include "library/library.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

// The end of a long folder name, so that the progress line fits a terminal line and "\r"
// rewrites it whole.
std::string ShortFolder(const std::string& folder) {
  constexpr size_t kMost = 60;
  const std::string shown = DisplayPath(folder);
  if (shown.size() <= kMost) return shown;
  size_t at = shown.size() - kMost;
  while (at < shown.size() && (static_cast<unsigned char>(shown[at]) & 0xC0) == 0x80)
    ++at;
  return "..." + shown.substr(at);
}

std::string Summary(const ScanProgress& scan) {
  char line[256];
  std::snprintf(line, sizeof line,
                "found %lld, read %lld, unchanged %lld, failed %lld, removed %lld, "
                "skipped folders %d (%d symbolic link loops, %d unreadable)",
                static_cast<long long>(scan.Found), static_cast<long long>(scan.Read),
                static_cast<long long>(scan.Unchanged), static_cast<long long>(scan.Failed),
                static_cast<long long>(scan.Removed), scan.SkippedLoops + scan.SkippedUnreadable,
                scan.SkippedLoops, scan.SkippedUnreadable);
  return line;
}

int Scan(LibraryDatabase& db, const LibraryRequest& request, std::ostream& out, std::ostream& err) {
  if (db.Folders().empty()) {
    err << "quillon: the library has no folders yet; add one with --library-add DIR\n";
  }
  // Ctrl+C stops the scan after the batch being written: the database keeps what was read.
  const StopSignals stop_signals;
  bool drawn = false;
  const auto progress = [&](const ScanProgress& now) {
    if (!request.Progress || now.Done) return;
    char counts[96];
    std::snprintf(counts, sizeof counts, "%lld charts, %.0f/s, ", static_cast<long long>(now.Found),
                  now.ChartsPerSecond);
    // Back to the line's start, the new text, then clear what is left of the old one.
    err << '\r' << counts << ShortFolder(now.CurrentFolder) << "\x1b[K" << std::flush;
    drawn = true;
  };
  const ScanProgress scan = ScanLibrary(db, progress, &StopSignals::Flag());
  if (drawn) err << "\r\x1b[K" << std::flush;
  for (const std::string& folder : scan.MissingFolders) {
    err << "quillon: library folder " << DisplayPath(folder)
        << " is not there; its charts are kept as they were\n";
  }
  if (scan.Cancelled) out << "scan cancelled (what was read is kept): ";
  out << Summary(scan) << '\n';
  return scan.Cancelled ? 128 + StopSignals::Signal() : 0;
}

int Query(LibraryDatabase& db, const std::string& text, std::ostream& out) {
  LibrarySearch search;
  search.Reset(db.AllCharts());
  for (const int32_t index : search.Find(text))
    out << ChartJsonLine(search.Row(index)) << '\n';
  return 0;
}

}  // namespace

std::string ChartJsonLine(const ChartRecord& chart) {
  nlohmann::ordered_json line;
  line["path"] = DecodeChartText(chart.Path);
  line["title"] = chart.Title;
  line["artist"] = chart.Artist;
  line["level"] = chart.PlayLevel;
  line["mode"] = chart.Mode;
  line["notes"] = chart.NoteCount;
  line["length"] = chart.LengthMs;
  line["md5"] = chart.Md5;
  line["sha256"] = chart.Sha256;
  // A title that is no valid UTF-8 (it should not be: records hold decoded text) prints with
  // U+FFFD rather than stopping the listing.
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

int RunLibraryCommand(const LibraryRequest& request, std::ostream& out, std::ostream& err) {
  if (request.DataFolder.empty()) {
    err << "quillon: no folder for the library database: neither XDG_DATA_HOME nor HOME is set\n";
    return 1;
  }
  const std::string path = LibraryDatabasePath(request.DataFolder);
  LibraryDatabase db;
  std::string message;
  const LibraryDatabase::Status status = db.Open(path, message);
  if (request.Action == LibraryRequest::Kind::Rebuild) {
    if (status == LibraryDatabase::Status::Ok) {
      out << "the library database " << DisplayPath(path) << " is sound; nothing to rebuild\n";
      return 0;
    }
    if (db.Rebuild(message) != LibraryDatabase::Status::Ok) {
      err << "quillon: " << message << '\n';
      return 1;
    }
    out << message << '\n';
    out << (db.Folders().empty()
                ? "add the library folders again with quillon --library-add DIR, then scan them "
                  "with quillon --library-scan\n"
                : "run quillon --library-scan to index the library folders again\n");
    return 0;
  }
  if (status != LibraryDatabase::Status::Ok) {
    // The message names the file; should it not, the line says which file it is.
    err << "quillon: ";
    if (message.find(path) == std::string::npos) err << DisplayPath(path) << ": ";
    err << message << '\n';
    if (status == LibraryDatabase::Status::Corrupt || status == LibraryDatabase::Status::TooNew) {
      err << "quillon: the Library window offers to rebuild it, or run quillon --library-rebuild "
             "to keep it aside and start a new library\n";
    }
    return 1;
  }
  switch (request.Action) {
    case LibraryRequest::Kind::Add:
      if (!db.AddFolder(request.Folder, message)) {
        err << "quillon: " << message << '\n';
        return 1;
      }
      out << (message.empty() ? "added " + DisplayPath(request.Folder) : message) << '\n';
      out << "run quillon --library-scan to index its charts\n";
      return 0;
    case LibraryRequest::Kind::Remove:
      if (!db.RemoveFolder(request.Folder, message)) {
        err << "quillon: " << message << '\n';
        return 1;
      }
      out << (message.empty() ? "removed " + DisplayPath(request.Folder) : message) << '\n';
      return 0;
    case LibraryRequest::Kind::Scan:
      return Scan(db, request, out, err);
    case LibraryRequest::Kind::Query:
      return Query(db, request.Text, out);
    case LibraryRequest::Kind::Rebuild:
      break;
  }
  return 0;
}

}  // namespace quillon
