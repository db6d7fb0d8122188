// The library's SQLite file through Qt SQL: opening it safely, its schema, its folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <unordered_set>

#include "library/library.h"
#include "library/library_internal.h"
#include "platform/file_io.h"

namespace quillon {
namespace {

// Each schema step brings the file from the version before it to its own.
struct Migration {
  int version;
  std::vector<const char*> statements;
};

const std::vector<Migration>& Migrations() {
  static const std::vector<Migration> migrations = {
      {1,
       {"CREATE TABLE folders (id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE)",
        "CREATE TABLE charts ("
        " id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE, folder BLOB NOT NULL,"
        " file_size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, md5 TEXT, sha256 TEXT,"
        " title TEXT, subtitle TEXT, artist TEXT, subartist TEXT, genre TEXT,"
        " mode INTEGER, play_level INTEGER, difficulty INTEGER, rank INTEGER, total REAL,"
        " start_bpm REAL, min_bpm REAL, max_bpm REAL, note_count INTEGER,"
        " long_note_count INTEGER, length_ms INTEGER, has_long_notes INTEGER,"
        " has_mines INTEGER, has_random INTEGER, has_bga INTEGER, has_movie INTEGER,"
        " has_stage_picture INTEGER, encoding TEXT, indexed_at INTEGER, supported INTEGER,"
        " error TEXT)",
        "CREATE INDEX charts_md5 ON charts (md5)",
        "CREATE INDEX charts_sha256 ON charts (sha256)"}},
  };
  return migrations;
}

constexpr char kSqliteMagic[] = "SQLite format 3";  // and its NUL: the first 16 bytes

QByteArray Bytes(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}
std::string FromBytes(const QVariant& v) {
  const QByteArray bytes = v.toByteArray();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
std::string Text(const QVariant& v) {
  return v.toString().toStdString();
}

std::atomic<int> connection_counter{0};

// SQLite's result codes that mean the file is no database or a damaged one.
bool IsCorruption(const QSqlError& error) {
  const QString code = error.nativeErrorCode();
  return code == QLatin1String("11") ||
         code == QLatin1String("26");  // SQLITE_CORRUPT, SQLITE_NOTADB
}

std::string CorruptMessage(const std::string& path) {
  return "The library database " + path +
         " is damaged or is not a Quillon library. It was left as it is; rebuilding starts a new "
         "one and keeps the old file beside it.";
}

std::string BrokenName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string name = path + ".broken-" + stamp;
  for (int n = 2; ::access(name.c_str(), F_OK) == 0; ++n)
    name = path + ".broken-" + stamp + "-" + std::to_string(n);
  return name;
}

}  // namespace

const char* const kChartColumns =
    "path, folder, file_size, mtime_ns, md5, sha256, title, subtitle, artist, subartist, genre, "
    "mode, play_level, difficulty, rank, total, start_bpm, min_bpm, max_bpm, note_count, "
    "long_note_count, length_ms, has_long_notes, has_mines, has_random, has_bga, has_movie, "
    "has_stage_picture, encoding, indexed_at, supported, error";

bool PrepareChartUpsert(QSqlQuery& query) {
  const std::string columns = kChartColumns;
  std::string values, updates;
  size_t start = 0;
  while (start < columns.size()) {
    size_t end = columns.find(", ", start);
    if (end == std::string::npos) end = columns.size();
    const std::string column = columns.substr(start, end - start);
    values += values.empty() ? "?" : ", ?";
    if (column != "path") updates += (updates.empty() ? "" : ", ") + column + "=excluded." + column;
    start = end + 2;
  }
  return query.prepare(QString::fromStdString("INSERT INTO charts (" + columns + ") VALUES (" +
                                              values + ") ON CONFLICT (path) DO UPDATE SET " +
                                              updates));
}

void BindChart(QSqlQuery& q, const ChartRecord& r) {
  int i = 0;
  const auto bind = [&](const QVariant& v) { q.bindValue(i++, v); };
  bind(Bytes(r.Path));
  bind(Bytes(r.Folder));
  bind(qint64{r.FileSize});
  bind(qint64{r.MtimeNs});
  for (const std::string* text :
       {&r.Md5, &r.Sha256, &r.Title, &r.SubTitle, &r.Artist, &r.SubArtist, &r.Genre})
    bind(QString::fromStdString(*text));
  for (int32_t n : {r.Mode, r.PlayLevel, r.Difficulty, r.Rank})
    bind(n);
  for (double d : {r.Total, r.StartBpm, r.MinBpm, r.MaxBpm})
    bind(d);
  bind(r.NoteCount);
  bind(r.LongNoteCount);
  bind(qint64{r.LengthMs});
  for (bool b : {r.HasLongNotes, r.HasMines, r.HasRandom, r.HasBga, r.HasMovie, r.HasStagePicture})
    bind(b ? 1 : 0);
  bind(QString::fromStdString(r.Encoding));
  bind(qint64{r.IndexedAt});
  bind(r.Supported ? 1 : 0);
  bind(QString::fromStdString(r.Error));
}

std::string PrefixEnd(const std::string& prefix) {
  std::string end = prefix;
  while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF)
    end.pop_back();
  if (!end.empty()) end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
  return end;
}

std::string LibraryDatabasePath(const std::string& data_folder) {
  std::string folder = data_folder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + "library.sqlite";
}

LibraryDatabase::LibraryDatabase() : impl_(std::make_unique<Impl>()) {
  impl_->connection = "quillon-library-" + std::to_string(connection_counter.fetch_add(1));
}

LibraryDatabase::~LibraryDatabase() {
  const QString name = QString::fromStdString(impl_->connection);
  if (QSqlDatabase::contains(name)) {
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
  }
}

bool LibraryDatabase::IsOpen() const {
  return impl_->open;
}
const std::string& LibraryDatabase::Path() const {
  return impl_->path;
}

LibraryDatabase::Status LibraryDatabase::Open(const std::string& path, std::string& message) {
  const QString name = QString::fromStdString(impl_->connection);
  if (QSqlDatabase::contains(name)) {
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
  }
  impl_->open = false;
  impl_->path = path;
  message.clear();

  // The folder, and the file's first bytes, are checked before SQLite opens it: a file that is
  // refused is never touched (not even by journal recovery or a mode change).
  const std::string folder = FolderOf(AbsolutePath(path));
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (!folder.empty() && ::access(folder.c_str(), W_OK) != 0) {
    message = "The library database cannot be written in " + folder + ": " + std::strerror(errno);
    return Status::Unwritable;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      message = CorruptMessage(path);
      return Status::Corrupt;
    }
    if (::access(path.c_str(), R_OK | W_OK) != 0) {
      message = "The library database " + path + " cannot be written: " + std::strerror(errno);
      return Status::Unwritable;
    }
    if (st.st_size > 0) {
      unsigned char header[100] = {};
      const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      const ssize_t got = fd < 0 ? -1 : ::read(fd, header, sizeof header);
      if (fd >= 0) ::close(fd);
      if (got != static_cast<ssize_t>(sizeof header) ||
          std::memcmp(header, kSqliteMagic, sizeof kSqliteMagic) != 0) {
        message = CorruptMessage(path);
        return Status::Corrupt;
      }
      // The user version: four bytes, big-endian, at offset 60.
      const int version = (header[60] << 24) | (header[61] << 16) | (header[62] << 8) | header[63];
      if (version > kLibrarySchemaVersion || version < 0) {
        message = "The library database " + path + " was written by a newer Quillon (schema " +
                  std::to_string(version) + ", this one knows " +
                  std::to_string(kLibrarySchemaVersion) +
                  "). It was left as it is; rebuilding starts a new one and keeps the old file "
                  "beside it.";
        return Status::TooNew;
      }
    }
  }

  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
  db.setDatabaseName(QString::fromStdString(path));
  if (!db.open()) {
    message = "The library database " + path +
              " cannot be opened: " + db.lastError().text().toStdString();
    return Status::Unwritable;
  }
  QSqlQuery q(db);
  q.exec(QStringLiteral("PRAGMA busy_timeout = 10000"));
  // Reading the schema reads the first pages: a damaged file fails here, before any write.
  int version = 0;
  bool has_tables = false;
  if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next()) {
    message = IsCorruption(q.lastError())
                  ? CorruptMessage(path)
                  : "The library database " + path +
                        " cannot be read: " + q.lastError().text().toStdString();
    db.close();
    return IsCorruption(q.lastError()) ? Status::Corrupt : Status::Unwritable;
  }
  has_tables = q.value(0).toInt() > 0;
  if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next()) version = q.value(0).toInt();
  if (version > kLibrarySchemaVersion) {
    message = "The library database " + path +
              " was written by a newer Quillon. It was left as "
              "it is; rebuilding starts a new one and keeps the old file beside it.";
    db.close();
    return Status::TooNew;
  }
  if (version == 0 && has_tables) {  // some other program's database
    message = CorruptMessage(path);
    db.close();
    return Status::Corrupt;
  }
  if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) ||
      !q.exec(QStringLiteral("PRAGMA synchronous = NORMAL"))) {
    message = "The library database " + path +
              " cannot be written: " + q.lastError().text().toStdString();
    db.close();
    return Status::Unwritable;
  }
  for (const Migration& migration : Migrations()) {
    if (migration.version <= version) continue;
    bool ok = db.transaction();
    for (const char* statement : migration.statements)
      ok = ok && q.exec(QString::fromUtf8(statement));
    ok =
        ok && q.exec(QStringLiteral("PRAGMA user_version = ") + QString::number(migration.version));
    if (!ok || !db.commit()) {
      message = "The library database " + path +
                " cannot be brought up to date: " + q.lastError().text().toStdString();
      db.rollback();
      db.close();
      return Status::Unwritable;
    }
  }
  impl_->open = true;
  return Status::Ok;
}

LibraryDatabase::Status LibraryDatabase::Rebuild(std::string& message) {
  const std::string path = impl_->path;
  const QString name = QString::fromStdString(impl_->connection);
  if (QSqlDatabase::contains(name)) {
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
  }
  impl_->open = false;
  const std::string kept = BrokenName(path);
  if (::rename(path.c_str(), kept.c_str()) != 0 && errno != ENOENT) {
    message = "The library database " + path + " cannot be renamed: " + std::strerror(errno);
    return Status::Unwritable;
  }
  for (const char* suffix : {"-wal", "-shm"})
    ::rename((path + suffix).c_str(), (kept + suffix).c_str());
  std::string opened;
  const Status status = Open(path, opened);
  message = status == Status::Ok ? "The old library database was kept as " + kept + "." : opened;
  return status;
}

std::vector<std::string> LibraryDatabase::Folders() {
  std::vector<std::string> folders;
  if (!impl_->open) return folders;
  QSqlQuery q(impl_->Db());
  q.exec(QStringLiteral("SELECT path FROM folders ORDER BY path"));
  while (q.next())
    folders.push_back(FromBytes(q.value(0)));
  return folders;
}

bool LibraryDatabase::AddFolder(const std::string& folder, std::string& message) {
  if (!impl_->open) return false;
  const std::string path = LibraryFolderPath(folder);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    message = "Not a folder: " + path;
    return false;
  }
  QSqlQuery q(impl_->Db());
  q.prepare(QStringLiteral("INSERT OR IGNORE INTO folders (path) VALUES (?)"));
  q.addBindValue(Bytes(path));
  if (!q.exec()) {
    message = q.lastError().text().toStdString();
    return false;
  }
  if (q.numRowsAffected() == 0) {
    message = "Already a library folder: " + path;
    return false;
  }
  return true;
}

bool LibraryDatabase::RemoveFolder(const std::string& folder, std::string& message) {
  if (!impl_->open) return false;
  const std::string path = LibraryFolderPath(folder);
  QSqlDatabase db = impl_->Db();
  QSqlQuery q(db);
  db.transaction();
  q.prepare(QStringLiteral("DELETE FROM folders WHERE path = ?"));
  q.addBindValue(Bytes(path));
  if (!q.exec() || q.numRowsAffected() == 0) {
    db.rollback();
    message = "Not a library folder: " + path;
    return false;
  }
  // The charts below it go, unless another library folder holds them too.
  std::vector<std::string> others;
  q.exec(QStringLiteral("SELECT path FROM folders"));
  while (q.next())
    others.push_back(FromBytes(q.value(0)));
  const auto prefix_of = [](const std::string& f) { return f == "/" ? f : f + '/'; };
  const std::string prefix = prefix_of(path);
  q.prepare(QStringLiteral("SELECT id, path FROM charts WHERE path >= ? AND path < ?"));
  q.addBindValue(Bytes(prefix));
  q.addBindValue(Bytes(PrefixEnd(prefix)));
  q.exec();
  std::vector<qint64> gone;
  while (q.next()) {
    const std::string chart = FromBytes(q.value(1));
    bool kept = false;
    for (const std::string& other : others)
      kept = kept || chart.starts_with(prefix_of(other));
    if (!kept) gone.push_back(q.value(0).toLongLong());
  }
  q.prepare(QStringLiteral("DELETE FROM charts WHERE id = ?"));
  for (qint64 id : gone) {
    q.addBindValue(id);
    q.exec();
  }
  if (!db.commit()) {
    message = db.lastError().text().toStdString();
    db.rollback();
    return false;
  }
  return true;
}

std::vector<ChartRecord> LibraryDatabase::AllCharts() {
  std::vector<ChartRecord> charts;
  if (!impl_->open) return charts;
  QSqlQuery q(impl_->Db());
  q.setForwardOnly(true);
  q.exec(QString::fromStdString(std::string("SELECT id, ") + kChartColumns +
                                " FROM charts ORDER BY path"));
  while (q.next()) {
    ChartRecord r;
    int i = 0;
    const auto next = [&] { return q.value(i++); };
    r.Id = next().toLongLong();
    r.Path = FromBytes(next());
    r.Folder = FromBytes(next());
    r.FileSize = next().toLongLong();
    r.MtimeNs = next().toLongLong();
    for (std::string* text :
         {&r.Md5, &r.Sha256, &r.Title, &r.SubTitle, &r.Artist, &r.SubArtist, &r.Genre})
      *text = Text(next());
    for (int32_t* n : {&r.Mode, &r.PlayLevel, &r.Difficulty, &r.Rank})
      *n = next().toInt();
    for (double* d : {&r.Total, &r.StartBpm, &r.MinBpm, &r.MaxBpm})
      *d = next().toDouble();
    r.NoteCount = next().toInt();
    r.LongNoteCount = next().toInt();
    r.LengthMs = next().toLongLong();
    for (bool* b :
         {&r.HasLongNotes, &r.HasMines, &r.HasRandom, &r.HasBga, &r.HasMovie, &r.HasStagePicture})
      *b = next().toInt() != 0;
    r.Encoding = Text(next());
    r.IndexedAt = next().toLongLong();
    r.Supported = next().toInt() != 0;
    r.Error = Text(next());
    charts.push_back(std::move(r));
  }
  return charts;
}

int64_t LibraryDatabase::ChartCount() {
  if (!impl_->open) return 0;
  QSqlQuery q(impl_->Db());
  if (!q.exec(QStringLiteral("SELECT count(*) FROM charts")) || !q.next()) return 0;
  return q.value(0).toLongLong();
}

}  // namespace quillon
