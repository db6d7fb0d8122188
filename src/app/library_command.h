// `quillon --library-add DIR`, `--library-remove DIR`, `--library-scan`, `--library-query TEXT`
// and `--library-rebuild`: the chart library from the command line.
#pragma once

#include <ostream>
#include <string>

namespace quillon {

struct ChartRecord;

struct LibraryRequest {
  enum class Kind { Add, Remove, Scan, Query, Rebuild };
  Kind Action = Kind::Scan;
  std::string Folder;      // Add, Remove: the folder, bytes as given
  std::string Text;        // Query: the search text; empty lists every chart
  std::string DataFolder;  // the database is LibraryDatabasePath(DataFolder)
  bool Progress = false;   // Scan: a progress line on `err`, rewritten in place (a terminal)
};

// One chart as a line of JSON (without the newline): path, title, artist, level, mode, notes,
// length (ms), md5, sha256. The path is UTF-8 text when its bytes are UTF-8, else decoded from
// CP932.
std::string ChartJsonLine(const ChartRecord& chart);

// Runs the request against the library database. Exit status: 0; 1 with a message on `err` when
// the database is refused (corrupt, from a newer Quillon: the file is kept and the message says
// how to rebuild it), cannot be written, or the folder cannot be added or removed. A scan stops
// after the batch being written at SIGINT and says so.
int RunLibraryCommand(const LibraryRequest& request, std::ostream& out, std::ostream& err);

}  // namespace quillon
