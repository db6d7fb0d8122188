// The incremental scan: walk the library folders, read what is new or changed on worker
// threads, write in batched transactions, drop what is gone.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <chrono>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "chart/ordered_work.h"
#include "library/library.h"
#include "library/library_internal.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kBatchRows = 256;
constexpr auto kBatchTime = std::chrono::milliseconds(500);
constexpr auto kProgressEvery = std::chrono::milliseconds(250);
// Charts handed to the readers at a time: bounds the records held in memory.
constexpr size_t kReadChunk = 1024;

bool Raised(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// The lock beside the database that lets one scan run at a time, across processes. flock locks
// belong to the open file, so two scans in one process exclude each other too.
class ScanLock {
 public:
  // Waits for the lock; false when `cancel` was raised meanwhile.
  bool Acquire(const std::string& db_path, const std::atomic<bool>* cancel) {
    fd_ = ::open((db_path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return true;  // a folder we may write the database in but no lock: go on
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) return true;
      if (Raised(cancel)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }
  ~ScanLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }

 private:
  int fd_ = -1;
};

struct Known {
  qint64 id;
  int64_t size;
  int64_t mtime;
  bool seen = false;
};

std::string PrefixOf(const std::string& folder) {
  return folder == "/" ? folder : folder + '/';
}

class Scan {
 public:
  Scan(QSqlDatabase db, const std::function<void(const ScanProgress&)>& progress,
       const std::atomic<bool>* cancel)
      : db_(std::move(db)), report_(progress), cancel_(cancel), upsert_(db_) {}

  ScanProgress Run(const std::vector<std::string>& folders) {
    LoadKnown();
    PrepareChartUpsert(upsert_);
    struct Walked {
      std::string root;
      std::vector<std::string> unreadable;
    };
    std::vector<Walked> complete;
    std::vector<std::string> to_read;
    std::unordered_set<std::string> found;
    for (const std::string& folder : folders) {
      struct stat st {};
      if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        p_.MissingFolders.push_back(folder);
        continue;
      }
      p_.CurrentFolder = folder;
      Report(false);
      FolderWalk walk = WalkChartFolder(folder, cancel_);
      p_.SkippedLoops += walk.SkippedLoops;
      p_.SkippedUnreadable += walk.SkippedUnreadable;
      if (walk.Cancelled) return Finish(true);
      complete.push_back({folder, std::move(walk.UnreadableFolders)});
      for (FoundChart& chart : walk.Charts) {
        if (!found.insert(chart.Path).second) continue;  // also below another library folder
        ++p_.Found;
        const auto known = known_.find(chart.Path);
        if (known != known_.end()) {
          known->second.seen = true;
          if (known->second.size == chart.FileSize && known->second.mtime == chart.MtimeNs) {
            ++p_.Unchanged;
            continue;
          }
        }
        to_read.push_back(std::move(chart.Path));
      }
      Report(false);
    }

    const Clock::time_point read_start = Clock::now();
    last_commit_ = read_start;
    for (size_t first = 0; first < to_read.size(); first += kReadChunk) {
      const size_t count = std::min(kReadChunk, to_read.size() - first);
      OrderedWork<std::pair<ChartRecord, bool>> work(count, [&](size_t i) {
        bool missing = false;
        ChartRecord record = ReadChartRecord(to_read[first + i], &missing);
        return std::pair{std::move(record), missing};
      });
      for (size_t i = 0; i < count; ++i) {
        auto [record, missing] = work.Take(i);
        // A file gone since the walk is not written: a row it had stays until a scan that
        // finds its folder complete without it.
        if (!missing) {
          ++p_.Read;
          if (!record.Error.empty()) ++p_.Failed;
          p_.CurrentFolder = record.Folder;
          batch_.push_back(std::move(record));
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - read_start).count();
        p_.ChartsPerSecond = seconds > 0 ? static_cast<double>(p_.Read) / seconds : 0.0;
        if (batch_.size() >= kBatchRows || Clock::now() - last_commit_ >= kBatchTime) Flush();
        if (Raised(cancel_)) {
          Flush();
          return Finish(true);
        }
        Report(false);
      }
    }
    Flush();

    // Rows below a folder walked completely and not found in it are gone, except below folders
    // that could not be listed; a library folder that vanished meanwhile keeps its rows.
    std::vector<qint64> gone;
    for (const Walked& walked : complete) {
      struct stat st {};
      if (::stat(walked.root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        p_.MissingFolders.push_back(walked.root);
        continue;
      }
      const std::string prefix = PrefixOf(walked.root);
      for (auto& [path, known] : known_) {
        if (known.seen || !path.starts_with(prefix)) continue;
        bool hidden = false;
        for (const std::string& unreadable : walked.unreadable)
          hidden = hidden || path.starts_with(PrefixOf(unreadable));
        if (hidden) continue;
        known.seen = true;  // counted once when library folders nest
        gone.push_back(known.id);
      }
    }
    if (!gone.empty()) {
      db_.transaction();
      QSqlQuery remove(db_);
      remove.prepare(QStringLiteral("DELETE FROM charts WHERE id = ?"));
      for (qint64 id : gone) {
        remove.addBindValue(id);
        remove.exec();
      }
      if (db_.commit()) {
        p_.Removed = static_cast<int64_t>(gone.size());
      } else {
        db_.rollback();
      }
    }
    return Finish(false);
  }

 private:
  void LoadKnown() {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT id, path, file_size, mtime_ns FROM charts"));
    while (q.next()) {
      const QByteArray path = q.value(1).toByteArray();
      known_.emplace(
          std::string(path.constData(), static_cast<size_t>(path.size())),
          Known{q.value(0).toLongLong(), q.value(2).toLongLong(), q.value(3).toLongLong()});
    }
  }

  // One transaction for the rows read since the last one: a scan killed at any point leaves
  // whole batches, and the next scan reads the rest.
  void Flush() {
    last_commit_ = Clock::now();
    if (batch_.empty()) return;
    db_.transaction();
    for (const ChartRecord& record : batch_) {
      BindChart(upsert_, record);
      upsert_.exec();
    }
    if (!db_.commit()) db_.rollback();
    batch_.clear();
    Report(true);  // what the progress says is read is also written now
  }

  void Report(bool force) {
    if (!report_) return;
    const Clock::time_point now = Clock::now();
    if (!force && now - last_report_ < kProgressEvery) return;
    last_report_ = now;
    report_(p_);
  }

  ScanProgress Finish(bool cancelled) {
    p_.Cancelled = cancelled;
    p_.Done = true;
    Report(true);
    return p_;
  }

  QSqlDatabase db_;
  const std::function<void(const ScanProgress&)>& report_;
  const std::atomic<bool>* cancel_;
  QSqlQuery upsert_;
  ScanProgress p_;
  std::unordered_map<std::string, Known> known_;
  std::vector<ChartRecord> batch_;
  Clock::time_point last_commit_{};
  Clock::time_point last_report_{};
};

}  // namespace

ScanProgress ScanLibrary(LibraryDatabase& db,
                         const std::function<void(const ScanProgress&)>& progress,
                         const std::atomic<bool>* cancel) {
  ScanProgress result;
  if (!db.IsOpen()) {
    result.Done = true;
    return result;
  }
  ScanLock lock;
  if (!lock.Acquire(db.Path(), cancel)) {
    result.Done = result.Cancelled = true;
    if (progress) progress(result);
    return result;
  }
  std::vector<std::string> folders = db.Folders();
  Scan scan(LibraryScanAccess::Of(db).Db(), progress, cancel);
  return scan.Run(folders);
}

}  // namespace quillon
