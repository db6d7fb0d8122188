#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "library/library.h"
#include "support/test_data.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A chart with a header and the given channel lines ("#00111:01" ...).
std::string Chart(const std::string& title, const std::string& body, bool with_bpm = true) {
  return "#PLAYER 1\r\n#TITLE " + title + "\r\n#ARTIST someone\r\n" +
         (with_bpm ? "#BPM 120\r\n" : "") + "#WAV01 a.wav\r\n" + body;
}

// `n` small charts, three per folder, below `root`.
void WriteTree(const TempDir& dir, const std::string& root, int n) {
  for (int i = 0; i < n; ++i)
    dir.Write(root + "/song" + std::to_string(i / 3) + "/c" + std::to_string(i) + ".bme",
              Chart("Song " + std::to_string(i), "#00111:01010101\r\n#00212:0101\r\n"));
}

// Raw SQL on the database file, beside the library's own connection.
struct RawDb {
  explicit RawDb(const std::string& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QString::fromStdString(path));
    db.open();
  }
  ~RawDb() {
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
  }
  QVariant Value(const char* sql) {
    QSqlQuery q(QSqlDatabase::database(name));
    q.exec(QString::fromUtf8(sql));
    return q.next() ? q.value(0) : QVariant();
  }
  QString name = QStringLiteral("raw");
};

TEST(ChartRecordTest, FieldsOfAChart) {
  TempDir dir;
  const std::string text =
      Chart("Tempo Test",
            "#SUBTITLE [HARD]\r\n#PLAYLEVEL 9\r\n#DIFFICULTY 3\r\n#TOTAL 300\r\n"
            "#STAGEFILE stage.png\r\n#BMP01 clip.MP4\r\n#BPM01 240\r\n"
            "#LNOBJ ZZ\r\n#RANDOM 2\r\n#IF 1\r\n#00116:01\r\n#ENDIF\r\n"
            "#ENDRANDOM\r\n#00103:3C\r\n#00108:0001\r\n#00104:01\r\n"
            "#00111:0101\r\n#00118:0001\r\n#00211:01ZZ\r\n#002D1:01\r\n");
  const std::string path = dir.Write("f/a.bme", text);
  const ChartRecord r = ReadChartRecord(path);
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(r.Folder, dir.path().string() + "/f/");
  EXPECT_EQ(r.FileSize, static_cast<int64_t>(text.size()));
  EXPECT_EQ(r.Md5,
            QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5)
                .toHex()
                .toStdString());
  EXPECT_EQ(r.Sha256.size(), 64u);
  EXPECT_EQ(r.Title, "Tempo Test");
  EXPECT_EQ(r.SubTitle, "[HARD]");
  EXPECT_EQ(r.PlayLevel, 9);
  EXPECT_EQ(r.Difficulty, 3);
  EXPECT_EQ(r.Total, 300.0);
  EXPECT_EQ(r.Mode, 7);  // lane 18 is used
  EXPECT_EQ(r.StartBpm, 120.0);
  EXPECT_EQ(r.MinBpm, 60.0);
  EXPECT_EQ(r.MaxBpm, 240.0);
  // 11 x2, 18, the #RANDOM branch's 16, and 11 made a long note by #LNOBJ in measure 2.
  EXPECT_EQ(r.NoteCount, 5);
  EXPECT_EQ(r.LongNoteCount, 1);
  EXPECT_GT(r.LengthMs, 0);
  EXPECT_TRUE(r.HasLongNotes && r.HasMines && r.HasRandom && r.HasBga && r.HasMovie &&
              r.HasStagePicture);
  EXPECT_EQ(r.Encoding, "UTF-8");

  // Keys from the lanes used.
  const auto mode = [&](const std::string& name, const std::string& body) {
    return ReadChartRecord(dir.Write(name, Chart("m", body))).Mode;
  };
  EXPECT_EQ(mode("five.bms", "#00111:01\r\n#00116:01\r\n"), 5);
  EXPECT_EQ(mode("ten.bms", "#00111:01\r\n#00121:01\r\n"), 10);
  EXPECT_EQ(mode("fourteen.bms", "#00111:01\r\n#00229:01\r\n"), 14);
  EXPECT_EQ(mode("nine.pms", "#00111:01\r\n#00114:01\r\n"), 9);
  EXPECT_EQ(mode("nine.bme", "#PLAYER 3\r\n#00111:01\r\n#00125:01\r\n"), 9);
  EXPECT_EQ(mode("none.bms", ""), 0);
}

TEST(ChartRecordTest, Cp932NamesAndText) {
  TempDir dir;
  // "テスト" in CP932 for the folder, the file and the title.
  const std::string sjis = "\x83\x65\x83\x58\x83\x67";
  const std::string path = dir.Write(sjis + "/" + sjis + ".bms", Chart(sjis, "#00111:01\r\n"));
  const FolderWalk walk = WalkChartFolder(dir.path().string());
  ASSERT_EQ(walk.Charts.size(), 1u);
  EXPECT_EQ(walk.Charts[0].Path, path);
  const ChartRecord r = ReadChartRecord(path);
  EXPECT_EQ(r.Title, "テスト");
  EXPECT_EQ(r.Encoding, "CP932");
  EXPECT_EQ(r.Folder, dir.path().string() + "/" + sjis + "/");
}

TEST(ChartRecordTest, FilesThatAreNoCharts) {
  TempDir dir;
  EXPECT_TRUE(IsLibraryChartName("A.BMSON") && IsLibraryChartName("x.Pms"));
  EXPECT_FALSE(IsLibraryChartName(".bms") || IsLibraryChartName("a.bms.txt"));

  const ChartRecord bmson = ReadChartRecord(dir.Write("a.bmson", "{\"info\":{}}"));
  EXPECT_FALSE(bmson.Supported);
  EXPECT_EQ(bmson.Md5.size(), 32u);

  // Random bytes: no chart data, found without reading them as a chart.
  std::string garbage(8 << 20, '\0');
  std::mt19937 rng(7);
  for (char& c : garbage)
    c = static_cast<char>(rng());
  const ChartRecord junk = ReadChartRecord(dir.Write("junk.bms", garbage));
  EXPECT_NE(junk.Error, "");
  EXPECT_EQ(junk.Md5.size(), 32u);

  // No start tempo: kept with the reading's reason.
  const ChartRecord no_bpm = ReadChartRecord(dir.Write("nobpm.bms", Chart("t", "", false)));
  EXPECT_NE(no_bpm.Error.find("tempo"), std::string::npos);
  EXPECT_EQ(no_bpm.Title, "t");

  // A FIFO is neither listed nor opened.
  const std::string fifo = (dir.path() / "pipe.bms").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_TRUE(WalkChartFolder(dir.path().string()).Charts.size() == 3u);
  EXPECT_NE(ReadChartRecord(fifo).Error, "");
  EXPECT_NE(ReadChartRecord((dir.path() / "gone.bms").string()).Error, "");
}

TEST(FolderWalkTest, LoopsAndUnreadableFolders) {
  TempDir dir;
  const std::string root = (dir.path() / "lib").string();
  dir.Write("lib/a/x.bms", "#BPM 1");
  dir.Write("lib/a/b/y.BME", "#BPM 1");
  dir.Write("lib/a/b/sound.wav", "");
  fs::create_directory_symlink(root + "/a", root + "/a/b/up");  // a loop
  fs::create_symlink(root + "/nowhere", root + "/a/dangling.bms");
  fs::create_directory_symlink(dir.path() / "outside", root + "/out");
  dir.Write("outside/z.bml", "#BPM 1");
  FolderWalk walk = WalkChartFolder(root + "/");
  ASSERT_EQ(walk.Charts.size(), 3u);
  EXPECT_EQ(walk.Charts[0].Path, root + "/a/b/y.BME");
  EXPECT_EQ(walk.Charts[2].Path, root + "/out/z.bml");
  EXPECT_EQ(walk.SkippedLoops, 1);
  EXPECT_EQ(walk.SkippedUnreadable, 0);

  if (::geteuid() != 0) {  // root reads any folder
    ::chmod((root + "/a/b").c_str(), 0);
    walk = WalkChartFolder(root);
    ::chmod((root + "/a/b").c_str(), 0755);
    EXPECT_EQ(walk.SkippedUnreadable, 1);
    EXPECT_EQ(walk.Charts.size(), 2u);
  }
}

TEST(LibraryDatabaseTest, OpensRefusesAndRebuilds) {
  TempDir dir;
  const std::string path = LibraryDatabasePath((dir.path() / "data").string());
  std::string message;
  {
    LibraryDatabase db;
    ASSERT_EQ(db.Open(path, message), LibraryDatabase::Status::Ok) << message;
    dir.Write("lib/x", "");
    EXPECT_TRUE(db.AddFolder((dir.path() / "lib").string(), message));
    EXPECT_FALSE(db.AddFolder((dir.path() / "lib/").string(), message));
    EXPECT_FALSE(db.AddFolder((dir.path() / "lib/x").string(), message));
  }
  {
    LibraryDatabase db;
    ASSERT_EQ(db.Open(path, message), LibraryDatabase::Status::Ok);
    EXPECT_EQ(db.Folders(), std::vector<std::string>{(dir.path() / "lib").string()});
    RawDb raw(path);
    EXPECT_EQ(raw.Value("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
    raw.Value("PRAGMA user_version = 7");
  }
  // A newer file, then a corrupt one: refused, left byte for byte, kept by Rebuild.
  for (const bool corrupt : {false, true}) {
    if (corrupt) dir.Write("data/library.sqlite", std::string(4096, 'x'));
    const std::string before = test::ReadFile(path);
    LibraryDatabase db;
    EXPECT_EQ(db.Open(path, message),
              corrupt ? LibraryDatabase::Status::Corrupt : LibraryDatabase::Status::TooNew);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(test::ReadFile(path), before);
    ASSERT_EQ(db.Rebuild(message), LibraryDatabase::Status::Ok) << message;
    EXPECT_TRUE(db.IsOpen() && db.Folders().empty());
    const size_t at = message.find(path + ".broken-");
    ASSERT_NE(at, std::string::npos) << message;
    const std::string kept = message.substr(at, message.find_last_not_of('.') + 1 - at);
    EXPECT_EQ(test::ReadFile(kept), before);
    fs::remove(kept);
  }
}

class LibraryScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = LibraryDatabasePath(dir_.path().string());
    root_ = (dir_.path() / "lib").string();
    fs::create_directories(root_);
    std::string message;
    ASSERT_EQ(db_.Open(path_, message), LibraryDatabase::Status::Ok);
    ASSERT_TRUE(db_.AddFolder(root_, message));
  }
  TempDir dir_;
  std::string path_, root_;
  LibraryDatabase db_;
};

TEST_F(LibraryScanTest, IncrementalRescans) {
  WriteTree(dir_, "lib", 10);
  ScanProgress p = ScanLibrary(db_);
  EXPECT_EQ(p.Found, 10);
  EXPECT_EQ(p.Read, 10);
  EXPECT_EQ(db_.ChartCount(), 10);
  EXPECT_EQ(ScanLibrary(db_).Read, 0);

  // Changed (new time), added, deleted.
  const std::string changed = root_ + "/song0/c1.bme";
  std::ofstream(changed, std::ios::app) << "#00311:01\r\n";
  dir_.Write("lib/new/n.bms", Chart("New", ""));
  fs::remove(root_ + "/song3/c9.bme");
  p = ScanLibrary(db_);
  EXPECT_EQ(p.Read, 2);
  EXPECT_EQ(p.Unchanged, 8);
  EXPECT_EQ(p.Removed, 1);
  const std::vector<ChartRecord> all = db_.AllCharts();
  ASSERT_EQ(all.size(), 10u);
  for (const ChartRecord& r : all) {
    if (r.Path == changed) {
      EXPECT_EQ(r.NoteCount, 7);
    }
  }

  // A folder that cannot be listed keeps its charts (root lists any folder).
  if (::geteuid() != 0) {
    ::chmod((root_ + "/song1").c_str(), 0);
    p = ScanLibrary(db_);
    ::chmod((root_ + "/song1").c_str(), 0755);
    EXPECT_EQ(p.SkippedUnreadable, 1);
    EXPECT_EQ(p.Removed, 0);
    EXPECT_EQ(db_.ChartCount(), 10);
  }

  // A library folder that is not there (an unplugged disk) keeps its charts.
  fs::rename(root_, root_ + ".away");
  p = ScanLibrary(db_);
  EXPECT_EQ(p.MissingFolders, std::vector<std::string>{root_});
  EXPECT_EQ(p.Removed, 0);
  EXPECT_EQ(db_.ChartCount(), 10);
  fs::rename(root_ + ".away", root_);

  std::string message;
  EXPECT_TRUE(db_.RemoveFolder(root_, message));
  EXPECT_EQ(db_.ChartCount(), 0);
}

TEST_F(LibraryScanTest, CancelThenResume) {
  WriteTree(dir_, "lib", 600);
  std::atomic<bool> cancel{false};
  const ScanProgress p = ScanLibrary(
      db_, [&](const ScanProgress& now) { cancel = cancel || now.Read >= 256; }, &cancel);
  EXPECT_TRUE(p.Cancelled);
  const int64_t written = db_.ChartCount();
  EXPECT_EQ(written, p.Read);  // the batch being read is written before the scan stops
  EXPECT_LT(written, 600);
  const ScanProgress resumed = ScanLibrary(db_);
  EXPECT_EQ(resumed.Unchanged, written);
  EXPECT_EQ(resumed.Read + resumed.Unchanged, 600);
  EXPECT_EQ(db_.ChartCount(), 600);
}

TEST_F(LibraryScanTest, TwoScansAtOnceOneWaits) {
  WriteTree(dir_, "lib", 300);
  ScanProgress results[2];
  std::vector<std::thread> threads;
  for (ScanProgress& result : results) {
    threads.emplace_back([&] {
      LibraryDatabase db;  // a connection of its own, in its own thread
      std::string message;
      if (db.Open(path_, message) == LibraryDatabase::Status::Ok) result = ScanLibrary(db);
    });
  }
  for (std::thread& t : threads)
    t.join();
  EXPECT_EQ(results[0].Read + results[1].Read, 300);
  EXPECT_TRUE(results[0].Done && results[1].Done);
  EXPECT_EQ(RawDb(path_).Value("SELECT count(DISTINCT path) FROM charts").toInt(), 300);
  EXPECT_EQ(db_.ChartCount(), 300);
}

TEST_F(LibraryScanTest, ChartsReplacedWhileRead) {
  WriteTree(dir_, "lib", 200);
  // Charts swapped for other contents (renamed into place) while the scan reads them.
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    for (int round = 0; !stop; ++round) {
      const std::string target = root_ + "/song" + std::to_string(round % 60) + "/c" +
                                 std::to_string(round % 60 * 3) + ".bme";
      const std::string tmp = dir_.Write(
          "lib/tmp", Chart("Swap " + std::to_string(round), std::string(round % 7, '\n')));
      const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000 + round, 0}};  // one per round
      ::utimensat(AT_FDCWD, tmp.c_str(), times, 0);
      fs::rename(tmp, target);
    }
  });
  ScanLibrary(db_);
  stop = true;
  swapper.join();
  ScanLibrary(db_);
  // After a rescan every row describes the file as it is now.
  for (const ChartRecord& r : db_.AllCharts()) {
    const std::string bytes = test::ReadFile(r.Path);
    EXPECT_EQ(r.Md5,
              QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Md5)
                  .toHex()
                  .toStdString())
        << r.Path;
  }
}

TEST_F(LibraryScanTest, KilledScanLeavesAConsistentDatabase) {
  WriteTree(dir_, "lib", 1500);
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fds[0]);
    LibraryDatabase db;
    std::string message;
    if (db.Open(path_, message) != LibraryDatabase::Status::Ok) ::_exit(1);
    ScanLibrary(db, [&](const ScanProgress& p) {
      if (p.Read >= 256 && ::write(pipe_fds[1], "r", 1) < 0) ::_exit(2);
    });
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  char c = 0;
  ASSERT_EQ(::read(pipe_fds[0], &c, 1), 1);  // a batch is written: kill it from here on
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(pipe_fds[0]);

  LibraryDatabase db;
  std::string message;
  ASSERT_EQ(db.Open(path_, message), LibraryDatabase::Status::Ok) << message;
  EXPECT_EQ(RawDb(path_).Value("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
  const int64_t written = db.ChartCount();
  EXPECT_GT(written, 0);
  const ScanProgress p = ScanLibrary(db);
  EXPECT_EQ(p.Unchanged, written);
  EXPECT_EQ(db.ChartCount(), 1500);
}

}  // namespace
}  // namespace quillon
