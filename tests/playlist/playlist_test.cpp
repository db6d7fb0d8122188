#include "playlist/playlist.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "platform/file_io.h"
#include "support/test_data.h"

namespace quillon {
namespace {

using test::FakeHost;
using test::FakeView;

class PlaylistTest : public ::testing::Test {
 protected:
  // Adds charts /c/1.bms .. /c/n.bms (they do not exist: the texts stay empty).
  void AddCharts(int n) {
    for (int i = 1; i <= n; ++i)
      list.AddList("/c/" + std::to_string(i) + ".bms");
    host.calls.clear();
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const PlaylistEntry& e : list.entries())
      files.push_back(e.FileName);
    return files;
  }

  FakeHost host;
  FakeView view;
  Playlist list{host, view};
  test::TempDir dir;
};

TEST_F(PlaylistTest, AddListScansTheHeaderAndKeepsEachPathOnce) {
  const std::string chart =
      dir.Write("Song.bms", "#GENRE Trance\r\n#TITLE Song\r\n#ARTIST someone\r\n#WAV01 no.wav\r\n");
  EXPECT_TRUE(list.AddList(chart));
  EXPECT_TRUE(list.AddList("/no/such/chart.bms"));
  EXPECT_EQ(list.selected(), 1u);
  const PlaylistEntry& e = list.entries().at(0);
  EXPECT_EQ(e.Genre + "|" + e.Title + "|" + e.Artist + "|" + e.Length, "Trance|Song|someone|--:--");
  EXPECT_EQ(list.entries()[1].Genre + list.entries()[1].Title, "");
  // The same path in other letter case adds nothing and leaves the selection alone.
  list.Select(0);
  EXPECT_FALSE(list.AddList("/NO/SUCH/Chart.BMS"));
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(list.selected(), 0u);
  EXPECT_TRUE(list.ListSaved);  // adding by itself changes nothing
  // Loading a list with a duplicate in other case keeps the first.
  list.LoadBytes("a\tb\tc\td\t/a/song.bms\r\nA\tB\tC\tD\t/A/SONG.BMS\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"/a/song.bms"});
}

TEST_F(PlaylistTest, SavesAndLoadsFiles) {
  AddCharts(3);
  list.SetPlayedLength(187400);
  list.ListSaved = false;
  const std::string base = (dir.path() / "list").string();
  ASSERT_TRUE(list.Savelist(base));
  EXPECT_TRUE(list.ListSaved);
  EXPECT_EQ(test::ReadFile(base + ".bpl"),
            "\t\t\t--:--\t/c/1.bms\r\n\t\t\t--:--\t/c/2.bms\r\n\t\t\t03:07\t/c/3.bms\r\n");
  list.ListSaved = false;
  view.answer = SaveAnswer::No;
  list.Loadlist(base + ".bpl");
  EXPECT_EQ(view.questions, 1);
  EXPECT_EQ(Files(), (std::vector<std::string>{"/c/1.bms", "/c/2.bms", "/c/3.bms"}));
  EXPECT_EQ(list.entries()[2].Length, "03:07");
  EXPECT_TRUE(list.ListSaved);

  // An empty list writes an empty file, which reads back as an empty list.
  list.New();
  ASSERT_TRUE(list.Savelist(base));
  EXPECT_EQ(test::ReadFile(base + ".bpl"), "");
  list.AddList("/c/9.bms");
  EXPECT_TRUE(list.Loadlist(base + ".bpl"));
  EXPECT_EQ(list.size(), 0u);
  EXPECT_TRUE(view.refusals.empty());
}

TEST_F(PlaylistTest, ReadsCp932TextsAndKeepsCp932PathBytes) {
  const std::string path = dir.Write("old.bpl",
                                     "\x83\x65\x83\x58\x83\x67\tt\ta\t--:--\t/c/\x83\x65.bms\r\n"
                                     "UTF-8\t曲\ta\t--:--\t/c/曲.bms\r\n");
  list.Loadlist(path);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.entries()[0].Genre, "テスト");
  EXPECT_EQ(list.entries()[0].FileName, "/c/\x83\x65.bms");
  EXPECT_EQ(list.entries()[1].Title, "曲");
  ASSERT_TRUE(list.Savelist(path));
  const std::string written = test::ReadFile(path);
  EXPECT_EQ(written, "テスト\tt\ta\t--:--\t/c/\x83\x65.bms\r\nUTF-8\t曲\ta\t--:--\t/c/曲.bms\r\n");
  list.Loadlist(path);
  ASSERT_TRUE(list.Savelist(path));
  EXPECT_EQ(test::ReadFile(path), written);
}

TEST_F(PlaylistTest, AFailedSaveIsReportedAndKeepsTheOldFile) {
  // A name of 250 characters leaves no room for the temporary file beside it (the limit is 255),
  // so writing fails after the old file was found: even as root.
  const std::string name = std::string(246, 'k') + ".bpl";
  const std::string path = dir.Write(name, "g\tt\ta\t--:--\t/old.bms\r\n");
  AddCharts(2);
  list.ListSaved = false;
  EXPECT_FALSE(list.Savelist(path));
  EXPECT_FALSE(list.ListSaved);
  EXPECT_EQ(test::ReadFile(path), "g\tt\ta\t--:--\t/old.bms\r\n");
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_NE(view.errors[0].find(name), std::string::npos);
  EXPECT_NE(view.errors[0].find("File name too long"), std::string::npos);
  EXPECT_EQ(list.save_error(), view.errors[0]);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  // Asked to save before going on, a failed save means "do not go on".
  view.answer = SaveAnswer::Yes;
  view.save_answer = path;
  list.New();
  EXPECT_EQ(list.size(), 2u);
}

TEST_F(PlaylistTest, AskSaveAnswers) {
  AddCharts(1);
  list.ListSaved = false;
  view.answer = SaveAnswer::Cancel;
  list.New();
  EXPECT_EQ(list.size(), 1u);
  view.answer = SaveAnswer::Yes;  // the Save dialog cancelled: do not go on
  EXPECT_FALSE(list.AskSave());
  view.save_answer = (dir.path() / "saved").string();
  EXPECT_TRUE(list.AskSave());
  EXPECT_TRUE(list.ListSaved && std::filesystem::exists(dir.path() / "saved.bpl"));
  EXPECT_TRUE(list.AskSave());  // nothing unsaved: no further question
  EXPECT_EQ(view.questions, 3);
}

TEST_F(PlaylistTest, SortingByColumns) {
  list.LoadBytes("b\tz\t\t\t/1\r\nA\ty\t\t\t/2\r\nc\tx\t\t\t/3\r\na\tw\t\t\t/4\r\n");
  list.Select(0);
  list.SortByColumn(PlaylistColumn::Genre);
  EXPECT_EQ(Files(), (std::vector<std::string>{"/2", "/4", "/1", "/3"}));  // case ignored, stable
  EXPECT_EQ(list.selected(), 2u);  // the selection stays on its row
  list.SortByColumn(PlaylistColumn::Genre);
  EXPECT_FALSE(list.ascending());
  EXPECT_EQ(Files(), (std::vector<std::string>{"/3", "/1", "/2", "/4"}));
  list.SortByColumn(PlaylistColumn::Title);
  EXPECT_TRUE(list.ascending());
  EXPECT_EQ(Files(), (std::vector<std::string>{"/4", "/3", "/2", "/1"}));
  // While sorted, a new row goes to its sorted place.
  list.AddList("/5");  // empty title
  EXPECT_EQ(Files(), (std::vector<std::string>{"/5", "/4", "/3", "/2", "/1"}));
  EXPECT_EQ(list.selected(), 0u);
  // Moving a row puts the list in the user's own order and marks it unsaved.
  list.ListSaved = true;
  EXPECT_TRUE(list.MoveSelected(1));
  EXPECT_FALSE(list.MoveSelected(-2));
  EXPECT_EQ(Files(), (std::vector<std::string>{"/4", "/5", "/3", "/2", "/1"}));
  EXPECT_EQ(list.selected(), 1u);
  EXPECT_FALSE(list.sorted());
  EXPECT_FALSE(list.ListSaved);
  list.Select(0);
  EXPECT_FALSE(list.MoveSelected(-1));
}

TEST_F(PlaylistTest, StartingAnEntry) {
  AddCharts(3);
  list.StartSelected();
  EXPECT_EQ(list.PlayIndex, 3);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"load /c/3.bms list", "stop"}));
  EXPECT_EQ(view.armed, 1);
  // The chart already loaded is not loaded again; only the started row is marked.
  host.calls.clear();
  list.StartSelected();
  EXPECT_EQ(host.calls, std::vector<std::string>{"stop"});
  list.Select(0);
  host.fail_loads = true;
  list.StartSelected();  // a chart that fails to load: marked, PlayIndex on it, nothing played
  EXPECT_EQ(list.PlayIndex, 1);
  EXPECT_TRUE(list.entries()[0].Marked);
  EXPECT_FALSE(list.entries()[2].Marked);
  EXPECT_EQ(host.calls.back(), "load /c/1.bms list");
  EXPECT_EQ(view.armed, 2);
}

TEST_F(PlaylistTest, PreviousNextAndTheEndOfASong) {
  AddCharts(4);
  list.Select(2);
  list.StartSelected();
  list.SortByColumn(PlaylistColumn::FileName);
  list.SortByColumn(PlaylistColumn::FileName);  // descending: /c/4 /c/3 /c/2 /c/1
  host.calls.clear();
  list.Next();  // position 4 whatever stands there now
  EXPECT_EQ(list.PlayIndex, 4);
  EXPECT_EQ(host.loaded, "/c/1.bms");
  list.Previous();
  EXPECT_EQ(host.loaded, "/c/2.bms");
  EXPECT_EQ(list.PlayIndex, 3);
  list.Select(0);
  list.StartSelected();
  host.calls.clear();
  list.Previous();  // at the first row nothing happens
  EXPECT_TRUE(host.calls.empty());

  // The last row ends: without repeat the play stops; with repeat-all the list wraps to row 1.
  list.Select(3);
  list.StartSelected();
  host.calls.clear();
  list.OnSongEnd();
  EXPECT_EQ(host.calls, std::vector<std::string>{"stop"});
  host.repeat_mode = 2;
  host.playing = true;
  host.calls.clear();
  list.OnSongEnd();
  EXPECT_EQ(list.PlayIndex, 0);
  EXPECT_EQ(host.calls, std::vector<std::string>{"rearm"});
  list.OnSongEnd();  // the re-armed timer's tick
  EXPECT_EQ(list.PlayIndex, 1);
  EXPECT_EQ(host.loaded, "/c/4.bms");
  host.repeat_mode = 1;
  host.calls.clear();
  list.OnSongEnd();
  EXPECT_EQ(host.calls, std::vector<std::string>{"play"});
}

TEST_F(PlaylistTest, TheMainWindowReplacesTheListAndSetsLengths) {
  AddCharts(3);
  list.ListSaved = false;
  list.ReplaceWithChart("/other.bms");
  EXPECT_EQ(Files(), std::vector<std::string>{"/other.bms"});
  EXPECT_EQ(list.PlayIndex, 1);
  EXPECT_FALSE(list.ListSaved);  // unchanged
  list.SetPlayedLength(7500000);
  EXPECT_EQ(list.entries()[0].Length, "125:00");
  list.SetPlayedLength(-5000);  // no such chart length; shown as nothing rather than "-1:-5"
  EXPECT_EQ(list.entries()[0].Length, "00:00");
}

TEST_F(PlaylistTest, DroppedFiles) {
  const std::string bpl = dir.Write("d.BPL", "g\tt\ta\t--:--\t/from/list.bms\r\n");
  list.DropOnList({"/a.bms", "/b.bms"});
  EXPECT_EQ(Files(), (std::vector<std::string>{"/a.bms", "/b.bms"}));
  EXPECT_FALSE(list.ListSaved);
  view.answer = SaveAnswer::Cancel;
  list.ODD({bpl, "/c.bms"});
  EXPECT_EQ(list.size(), 2u);  // the question was cancelled
  view.answer = SaveAnswer::No;
  list.DropOnList({bpl, "/c.bms"});
  EXPECT_EQ(Files(), std::vector<std::string>{"/from/list.bms"});
  EXPECT_TRUE(host.calls.empty());  // nothing is played

  list.ODD({"/x.bms", "/y.bms"});
  EXPECT_EQ(Files(), (std::vector<std::string>{"/x.bms", "/y.bms"}));
  EXPECT_EQ(list.selected(), 0u);
  EXPECT_EQ(list.PlayIndex, 1);
  EXPECT_EQ(host.calls, std::vector<std::string>{"load /x.bms list"});
  EXPECT_EQ(view.armed, 1);
}

TEST_F(PlaylistTest, Deleting) {
  AddCharts(3);
  list.Select(1);
  EXPECT_TRUE(list.DeleteSelected());
  EXPECT_EQ(Files(), (std::vector<std::string>{"/c/1.bms", "/c/3.bms"}));
  EXPECT_EQ(list.selected(), 1u);
  EXPECT_FALSE(list.ListSaved);
  EXPECT_TRUE(list.AddList("/C/2.BMS"));  // its key is free again
  list.Select(std::nullopt);
  list.ListSaved = true;
  EXPECT_FALSE(list.DeleteSelected());
  EXPECT_TRUE(list.ListSaved);
}

// Runs the test in `folder` as the current folder, and goes back afterwards.
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& folder)
      : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(before_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path before_;
};

// A file of `size` bytes that takes no room on the disk.
std::string SparseFile(const test::TempDir& dir, const std::string& name, uint64_t size) {
  const std::string path = dir.Write(name, "");
  std::filesystem::resize_file(path, size);
  return path;
}

TEST_F(PlaylistTest, RefusedFilesAreSkippedWithOneMessagePerAction) {
  const std::string good = dir.Write("good.bms", "#TITLE good\r\n");
  const std::string fifo = (dir.path() / "pipe.bms").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = (dir.path() / "folder.bms").string();
  std::filesystem::create_directory(folder);
  const std::string big = SparseFile(dir, "big.bms", kChartFileCap + 1);
  const std::string tab = (dir.path() / "a\tb.bms").string();
  const std::string cr = (dir.path() / "c\rd.bms").string();
  list.DropOnList({fifo, good, "/dev/zero", folder, big, tab, cr});
  EXPECT_EQ(Files(), std::vector<std::string>{good});
  EXPECT_EQ(list.entries()[0].Title, "good");
  ASSERT_EQ(view.refusals.size(), 1u);
  const std::string& message = view.refusals[0];
  for (const char* name :
       {"pipe.bms", "/dev/zero", "folder.bms", "big.bms", "a\\tb.bms", "c\\rd.bms"}) {
    EXPECT_NE(message.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(message.find("good.bms"), std::string::npos);
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 5);

  // Dropped on the main window: when nothing is left the list stays and nothing is played.
  list.ODD({fifo, tab});
  EXPECT_EQ(Files(), std::vector<std::string>{good});
  EXPECT_TRUE(host.calls.empty());
  list.ODD({folder, good});
  EXPECT_EQ(host.calls, std::vector<std::string>{"load " + good + " list"});
  EXPECT_EQ(view.refusals.size(), 3u);
  // One by one, and the chart the main window opened by itself.
  EXPECT_FALSE(list.AddList(fifo));
  EXPECT_EQ(view.refusals.size(), 4u);
  list.ReplaceWithChart(tab);
  EXPECT_EQ(Files(), std::vector<std::string>{good});
  EXPECT_EQ(list.PlayIndex, 0);
  EXPECT_EQ(view.refusals.size(), 5u);
  // Nothing written can name a different file.
  EXPECT_EQ(list.SaveBytes().find("a b.bms"), std::string::npos);
}

TEST_F(PlaylistTest, ChartsFromOutsideMustBeThereAndLeaveTheSelectionAlone) {
  AddCharts(2);
  list.Select(0);
  const std::string a = dir.Write("a.bms", "#TITLE A\r\n");
  const std::string b = dir.Write("b.bms", "#TITLE B\r\n");
  const std::string fifo = (dir.path() / "pipe.bms").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string missing = (dir.path() / "gone.bms").string();
  EXPECT_TRUE(list.AddCharts({a, missing, fifo, b, a}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"/c/1.bms", "/c/2.bms", a, b}));
  EXPECT_EQ(list.entries()[3].Title, "B");
  // A load under way gives its length to the selected row: that must still be the first one.
  EXPECT_EQ(list.selected(), 0u);
  EXPECT_FALSE(list.ListSaved);
  ASSERT_EQ(view.refusals.size(), 1u);
  EXPECT_NE(view.refusals[0].find("gone.bms"), std::string::npos);
  EXPECT_NE(view.refusals[0].find("pipe.bms"), std::string::npos);
  EXPECT_TRUE(host.calls.empty());
  // Nothing taken: nothing changes, not even the saved state.
  list.ListSaved = true;
  EXPECT_FALSE(list.AddCharts({missing, a}));
  EXPECT_EQ(list.size(), 4u);
  EXPECT_TRUE(list.ListSaved);
  EXPECT_EQ(view.refusals.size(), 2u);
}

TEST_F(PlaylistTest, RelativePathsBecomeAbsolute) {
  const std::string sjis = "\x83\x65";
  {
    InFolder here(dir.path());
    EXPECT_TRUE(list.AddList("sub/../a.bms"));
    list.DropOnList({"./b.bms", sjis + "/c.bms"});
    EXPECT_FALSE(list.AddList(dir.path().string() + "/a.bms"));  // the same file
  }
  const std::string root = dir.path().string();
  EXPECT_EQ(Files(), (std::vector<std::string>{root + "/a.bms", root + "/b.bms",
                                               root + "/" + sjis + "/c.bms"}));
  {
    InFolder here(dir.path());
    list.ODD({"d.bms"});
    EXPECT_EQ(host.loaded, root + "/d.bms");
    list.ReplaceWithChart("x/./e.bms");
  }
  EXPECT_EQ(Files(), std::vector<std::string>{root + "/x/e.bms"});

  // In a .bpl file they are relative to the file's folder, whatever the current folder is.
  dir.Write("lists/mine.bpl",
            "g\tt\ta\t--:--\tsongs/f.bms\r\n"
            "g\tt\ta\t--:--\t../" +
                sjis +
                ".bms\r\n"
                "g\tt\ta\t--:--\t/abs/g.bms\r\n");
  {
    InFolder here(dir.path() / "lists");
    list.Loadlist("mine.bpl");
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{root + "/lists/songs/f.bms",
                                               root + "/" + sjis + ".bms", "/abs/g.bms"}));
}

TEST_F(PlaylistTest, AListThatCannotBeReadLeavesTheListAsItWas) {
  AddCharts(2);
  list.ListSaved = false;
  const std::string fifo = (dir.path() / "pipe.bpl").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = (dir.path() / "folder.bpl").string();
  std::filesystem::create_directory(folder);
  const std::string big = SparseFile(dir, "big.bpl", kPlaylistFileCap + 1);
  const std::string missing = (dir.path() / "missing.bpl").string();
  for (const std::string& file : {fifo, std::string("/dev/zero"), folder, big, missing}) {
    EXPECT_FALSE(list.Loadlist(file)) << file;
    EXPECT_EQ(list.size(), 2u) << file;
    ASSERT_FALSE(view.refusals.empty());
    EXPECT_NE(view.refusals.back().find(file), std::string::npos);
  }
  EXPECT_EQ(view.refusals.size(), 5u);
  EXPECT_FALSE(list.ListSaved);
  // Dropped as a playlist too.
  list.DropOnList({fifo});
  list.ODD({folder});
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(view.refusals.size(), 7u);
}

TEST_F(PlaylistTest, BadInputDoesNoHarm) {
  // 50 MB that is not UTF-8: Shift-JIS lines of about 1 KB, NULs, a stray byte now and then.
  std::string bytes;
  bytes.reserve(50 << 20);
  const std::string text(1000, 'x');
  for (int i = 0; bytes.size() < (50u << 20); ++i) {
    bytes += "\x83\x65\t" + text + std::string("\t\0\ta\t/", 6) + std::to_string(i % 500) +
             (i % 7 ? "\r\n" : "\n");
    if (i % 1000 == 0) bytes += "\xFF\x80\r";
  }
  list.Loadlist(dir.Write("big.bpl", bytes));
  EXPECT_EQ(list.size(), 500u);
  EXPECT_EQ(list.entries()[0].Genre, "テ");
  list.Loadlist(dir.path().string());  // a folder: said so, and the list stays
  EXPECT_EQ(list.size(), 500u);
  EXPECT_EQ(view.refusals.size(), 1u);
  std::string lines;
  for (int i = 0; i < 3; ++i)
    lines += std::string(1 << 20, 'g') + "\tt\ta\t--:--\t/" + std::to_string(i) + "\n";
  list.LoadBytes(lines);
  EXPECT_EQ(list.size(), 3u);
}

}  // namespace
}  // namespace quillon
