#include "dialogs/debug_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <QTreeWidget>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "support/test_data.h"

namespace quillon {
namespace {

// The window with the quit question answered by the test.
class TestWindow : public DebugWindow {
 public:
  using DebugWindow::DebugWindow;
  bool answer_yes = false;

 protected:
  bool AskQuit() override { return answer_yes; }
};

QString Texts(const QListWidget* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i)
    lines << list->item(i)->text();
  return lines.join(QLatin1Char('|'));
}

QString Texts(const QTreeWidgetItem* row) {
  QStringList texts;
  for (int c = 0; c < row->columnCount(); ++c)
    texts << row->text(c);
  return texts.join(QLatin1Char('|'));
}

class DebugWindowTest : public testing::Test {
 protected:
  std::string LogPath() const { return (dir_.path() / "Debug.txt").string(); }
  std::string Log() const { return test::ReadFile(LogPath()); }
  int Rows() const { return window_.SurfaceList()->topLevelItemCount(); }
  std::unique_ptr<TestWindow> Another(const std::string& path) {
    return std::make_unique<TestWindow>(
        surfaces_, [] { return 5.0; }, path);
  }

  test::TempDir dir_;
  SurfaceRegistry surfaces_;
  double clock_ms_ = 0;
  TestWindow window_{surfaces_, [this] { return clock_ms_; }, LogPath()};
};

TEST_F(DebugWindowTest, ListsTheLineSelectedAndAppendsItToTheFileUntilCleared) {
  clock_ms_ = 1234.5;
  window_.WriteDebugLog("Play start");
  clock_ms_ = 1235.5;
  window_.WriteDebugLog("ＢＧＡ");
  EXPECT_EQ(Texts(window_.List()), QString::fromUtf8("1234\tPlay start|1236\tＢＧＡ"));
  EXPECT_TRUE(window_.List()->item(1)->isSelected());

  SurfaceHandle dc = 0, bmp = 0;
  surfaces_.CreateSurface(dc, bmp, 8, 8, 32, "SpriteDC");
  window_.ClearAction()->trigger();
  EXPECT_EQ(window_.List()->count(), 0);
  EXPECT_EQ(Rows(), 1);

  // A window opened later (or in the next run) appends to the same file.
  Another(LogPath())->WriteDebugLog("next");
  EXPECT_EQ(Log(), "1234\tPlay start\r\n1236\tＢＧＡ\r\n5\tnext\r\n");
}

TEST_F(DebugWindowTest, NoKeepsTheWindowLoggingYesClosesItAndReopeningStartsEmpty) {
  int closed = 0;
  window_.on_closed = [&closed] { ++closed; };
  window_.show();
  EXPECT_FALSE(window_.close());
  EXPECT_TRUE(window_.isVisible());
  window_.WriteDebugLog("still here");
  SurfaceHandle dc = 0, bmp = 0, dc2 = 0, bmp2 = 0;
  surfaces_.CreateSurface(dc, bmp, 8, 8, 32, "BGADC(1)");
  EXPECT_EQ(Rows(), 1);
  EXPECT_EQ(closed, 0);

  window_.answer_yes = true;
  EXPECT_TRUE(window_.close());
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(Log(), "0\tstill here\r\n");
  surfaces_.CreateSurface(dc2, bmp2, 8, 8, 32, "made while closed");
  window_.show();
  EXPECT_EQ(window_.List()->count(), 0);
  EXPECT_EQ(Rows(), 0);
  surfaces_.CreateSurface(dc, bmp, 8, 8, 32, "after");
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(window_.SurfaceList()->topLevelItem(0)->text(6), QStringLiteral("after"));
  window_.close();
}

TEST_F(DebugWindowTest, ShowsARowForEachSurfaceMadeWhileOpenUntilItIsFreed) {
  SurfaceHandle before = 0, before_bmp = 0, bga = 0, bga_bmp = 0, sprite = 0, sprite_bmp = 0;
  surfaces_.CreateSurface(before, before_bmp, 4, 4, 32, "made before");
  auto older = Another(LogPath());
  const auto window = Another(LogPath());
  older.reset();  // leaves the surfaces to the newer window
  QTreeWidget* rows = window->SurfaceList();
  surfaces_.CreateSurface(bga, bga_bmp, 256, 128, 24, "BGADC(1)");
  surfaces_.CreateSurface(sprite, sprite_bmp, 0, 0, 0, "SpriteDC");
  ASSERT_EQ(rows->topLevelItemCount(), 2);
  const QTreeWidgetItem* row = rows->topLevelItem(0);
  EXPECT_EQ(Texts(row).section(QLatin1Char('|'), 0, 4) + row->text(6),
            QStringLiteral("%1|%2|256|128|24BGADC(1)").arg(bga).arg(bga_bmp));
  EXPECT_EQ(Texts(rows->topLevelItem(1)).section(QLatin1Char('|'), 2, 4),
            QStringLiteral("512|512|32"));  // a surface made without a size

  // Remade, a surface still has one row, under its new handle; freed, none.
  surfaces_.CreateSurface(bga, bga_bmp, 64, 64, 24, "BGADC(1)");
  surfaces_.FreeSurface(before, before_bmp);
  surfaces_.FreeSurface(sprite, sprite_bmp);
  ASSERT_EQ(rows->topLevelItemCount(), 1);
  EXPECT_EQ(rows->topLevelItem(0)->text(0), QString::number(bga));
  surfaces_.FreeSurface(bga, bga_bmp);
  EXPECT_EQ(rows->topLevelItemCount(), 0);
}

TEST_F(DebugWindowTest, StopsListeningWhenDestroyed) {
  // Made in a buffer that is wiped after its destruction, so that a registry still calling the
  // window crashes here rather than by chance later.
  alignas(TestWindow) std::byte storage[sizeof(TestWindow)];
  (new (storage) TestWindow(surfaces_, nullptr, LogPath()))->~TestWindow();
  std::memset(storage, 0, sizeof storage);
  SurfaceHandle dc = 0, bmp = 0;
  surfaces_.CreateSurface(dc, bmp, 4, 4, 32, "after the window");
  surfaces_.FreeSurface(dc, bmp);
}

TEST_F(DebugWindowTest, AnUnwritableFileIsReportedOnceWhileTheTraceGoesOn) {
  const std::filesystem::path folder = dir_.path() / "missing";
  const QString path = QString::fromStdString((folder / "Debug.txt").string());
  const auto window = Another(path.toStdString());
  for (const char* text : {"one", "two", "three"})
    window->WriteDebugLog(text);
  const QStringList lines = Texts(window->List()).split(QLatin1Char('|'));
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[1].startsWith(path + QStringLiteral(": "))) << lines[1].toStdString();
  EXPECT_EQ(lines[0] + lines[2] + lines[3], QStringLiteral("5\tone5\ttwo5\tthree"));

  // Lines reach the file again once it can be written; a new failure is told again.
  std::filesystem::create_directories(folder);
  window->WriteDebugLog("four");
  EXPECT_EQ(test::ReadFile(folder / "Debug.txt"), "5\tfour\r\n");
  std::filesystem::remove_all(folder);
  window->WriteDebugLog("five");
  EXPECT_EQ(window->List()->count(), 7);
}

TEST_F(DebugWindowTest, DropsTheOldestListLinesBeyondTheLimitButNotFromTheFile) {
  window_.SetListLimit(2);
  for (clock_ms_ = 1; clock_ms_ <= 3; ++clock_ms_)
    window_.WriteDebugLog("x");
  EXPECT_EQ(Texts(window_.List()), QStringLiteral("2\tx|3\tx"));
  EXPECT_EQ(window_.List()->currentRow(), 1);
  EXPECT_EQ(Log(), "1\tx\r\n2\tx\r\n3\tx\r\n");
}

}  // namespace
}  // namespace quillon
