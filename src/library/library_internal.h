// What the library's source files share and nothing outside them needs.
#pragma once

#include <sys/stat.h>

#include <QSqlDatabase>
#include <cstdint>
#include <string>

#include "library/library.h"

namespace quillon {

// The schema this build writes; older files are brought up to it, newer ones refused.
inline constexpr int kLibrarySchemaVersion = 1;

int64_t MtimeNsOf(const struct stat& st);
// The folder part of `path`, ending in '/'; empty when there is none.
std::string FolderOf(const std::string& path);
// `folder` made absolute, without a trailing '/' (except for "/" itself).
std::string LibraryFolderPath(const std::string& folder);

struct LibraryDatabase::Impl {
  std::string path;
  std::string connection;  // the Qt SQL connection name, unique per object
  bool open = false;
  QSqlDatabase Db() const {
    return QSqlDatabase::database(QString::fromStdString(connection), false);
  }
};

struct LibraryScanAccess {
  static LibraryDatabase::Impl& Of(LibraryDatabase& db) { return *db.impl_; }
};

}  // namespace quillon

class QSqlQuery;

namespace quillon {

// ReadChartRecord, also saying whether the file was gone when it was to be read.
ChartRecord ReadChartRecord(const std::string& path, bool* missing);

// The chart columns in the order BindChart binds them and ChartFromQuery reads them (after id).
extern const char* const kChartColumns;
// Prepares the insert-or-update of one chart by its path.
bool PrepareChartUpsert(QSqlQuery& query);
void BindChart(QSqlQuery& query, const ChartRecord& record);

// The smallest byte string above every string that starts with `prefix` (non-empty).
std::string PrefixEnd(const std::string& prefix);

}  // namespace quillon
