#include "library_window/library_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QSpinBox>
#include <QThread>
#include <filesystem>
#include <memory>

#include "library_window/library_model.h"
#include "platform/uri_list.h"
#include "support/test_data.h"

namespace quillon {
namespace {

ChartRecord Record(std::string path, std::string title, int mode, int level) {
  ChartRecord r;
  r.Folder = path.substr(0, path.rfind('/') + 1);
  r.Path = std::move(path);
  r.Title = std::move(title);
  r.Mode = mode;
  r.PlayLevel = level;
  return r;
}

std::vector<std::string> ShownTitles(const LibraryModel& model) {
  std::vector<std::string> titles;
  for (int row = 0; row < model.rowCount(); ++row)
    titles.push_back(model.index(row, 0).data().toString().toStdString());
  return titles;
}

TEST(LibraryModel, SortsEveryWayAndKeepsTheSortWhileFiltering) {
  auto rows = std::make_shared<LibrarySearch>();
  std::vector<ChartRecord> records = {
      Record("/c/a.bms", "beta", 7, 12), Record("/c/b.bms", "Alpha", 5, 3),
      Record("/c/c.bme", "gamma", 14, 7), Record("/c/untitled.bms", "", 7, 1),
      Record("/c/d.bmson", "Delta", 0, 0)};
  records[4].Supported = false;
  records[3].Error = "no chart";
  rows->Reset(records);
  LibraryModel model(UiLanguage::English);
  model.SetRows(rows);

  // Titles without regard to case; a chart without a title sorts by its file name as shown.
  EXPECT_EQ(ShownTitles(model),
            (std::vector<std::string>{"Alpha", "beta", "Delta", "gamma", "untitled.bms"}));
  model.sort(static_cast<int>(LibraryColumn::Level), Qt::DescendingOrder);
  EXPECT_EQ(ShownTitles(model),
            (std::vector<std::string>{"beta", "gamma", "Alpha", "untitled.bms", "Delta"}));
  // A search and a filter keep the rows in the sorted order.
  model.SetSearch("", LibraryFilter{.Mode = 7, .MinLevel = 0, .MaxLevel = 99});
  EXPECT_EQ(ShownTitles(model), (std::vector<std::string>{"beta", "untitled.bms"}));
  model.SetSearch("a", LibraryFilter{.Mode = 7, .MinLevel = 0, .MaxLevel = 99});
  EXPECT_EQ(ShownTitles(model), (std::vector<std::string>{"beta"}));
  model.SetSearch("", LibraryFilter{.Mode = 0, .MinLevel = 3, .MaxLevel = 7});
  EXPECT_EQ(ShownTitles(model), (std::vector<std::string>{"gamma", "Alpha"}));
  model.sort(static_cast<int>(LibraryColumn::Level), Qt::AscendingOrder);
  EXPECT_EQ(ShownTitles(model), (std::vector<std::string>{"Alpha", "gamma"}));
  EXPECT_EQ(model.TotalCount(), 5);

  // Charts that cannot be played are greyed, with the reason as their tooltip; they show no
  // numbers.
  model.SetSearch("", {});
  const auto row_of = [&model](const char* title) {
    const std::vector<std::string> titles = ShownTitles(model);
    return static_cast<int>(std::find(titles.begin(), titles.end(), title) - titles.begin());
  };
  const QModelIndex failed = model.index(row_of("untitled.bms"), 0);
  EXPECT_EQ(failed.data(Qt::ToolTipRole).toString(), QStringLiteral("no chart"));
  EXPECT_TRUE(failed.data(Qt::ForegroundRole).isValid());
  EXPECT_FALSE(model.index(row_of("Delta"), 0).data(Qt::ToolTipRole).toString().isEmpty());
  EXPECT_FALSE(model.index(row_of("Alpha"), 0).data(Qt::ForegroundRole).isValid());
  EXPECT_FALSE(model.index(failed.row(), static_cast<int>(LibraryColumn::Level)).data().isValid());
  EXPECT_EQ(model.index(row_of("gamma"), static_cast<int>(LibraryColumn::Mode)).data().toString(),
            QStringLiteral("14 keys"));

  EXPECT_EQ(TempoRangeText(120, 120), QStringLiteral("120"));
  EXPECT_EQ(TempoRangeText(87.25, 200), QStringLiteral("87.25-200"));
  EXPECT_EQ(TempoRangeText(0, 0), QString());
  EXPECT_EQ(LengthText(65'999), QStringLiteral("1:05"));
  EXPECT_EQ(LengthText(3'700'000), QStringLiteral("61:40"));
}

struct FakeHost : LibraryHost {
  void PlayLibraryChart(const std::string& path) override { played.push_back(path); }
  void AddLibraryChartsToPlaylist(const std::vector<std::string>& paths) override {
    added.push_back(paths);
  }
  std::vector<std::string> played;
  std::vector<std::vector<std::string>> added;
};

class TestWindow : public LibraryWindow {
 public:
  using LibraryWindow::LibraryWindow;
  bool rebuild_answer = false;
  std::vector<std::string> asked, messages;

 protected:
  bool AskRebuild(const QString& message) override {
    asked.push_back(message.toStdString());
    return rebuild_answer;
  }
  void ShowMessage(const QString& text) override { messages.push_back(text.toStdString()); }
};

// Lets the worker's results come in.
void WaitIdle(const LibraryWindow& window) {
  for (int i = 0; i < 3000 && window.Busy(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  ASSERT_FALSE(window.Busy());
}

std::string Chart(const char* title, int level) {
  return std::string("#PLAYER 1\n#TITLE ") + title + "\n#PLAYLEVEL " + std::to_string(level) +
         "\n#BPM 150\n#00111:01010101\n";
}

int RowOf(const LibraryModel& model, const std::string& title) {
  const std::vector<std::string> titles = ShownTitles(model);
  return static_cast<int>(std::find(titles.begin(), titles.end(), title) - titles.begin());
}

class LibraryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = std::make_unique<SettingsStore>(
        QString::fromStdString((dir.path() / "settings.ini").string()));
    database = (dir.path() / "data" / "library.sqlite").string();
    // A folder named in CP932 bytes: paths must leave the window byte for byte.
    alpha = dir.Write("charts/\x8b\xc8/alpha.bms", Chart("Alpha", 3));
    beta = dir.Write("charts/b/beta.bme", Chart("Beta", 9));
    bmson = dir.Write("charts/b/gamma.bmson", "{}");
  }
  std::unique_ptr<TestWindow> OpenScanned() {
    auto window = std::make_unique<TestWindow>(host, *settings, database, UiLanguage::English);
    window->OpenDatabase();
    window->AddFolder((dir.path() / "charts").string());
    WaitIdle(*window);
    window->StartScan();
    WaitIdle(*window);
    return window;
  }
  void Select(LibraryWindow& window, const std::vector<int>& rows) {
    QItemSelectionModel* selection = window.table()->selectionModel();
    selection->clearSelection();
    for (const int row : rows)
      selection->select(window.model()->index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->setCurrentIndex(window.model()->index(rows.front(), 0),
                               QItemSelectionModel::NoUpdate);
  }

  test::TempDir dir;
  std::unique_ptr<SettingsStore> settings;
  std::string database, alpha, beta, bmson;
  FakeHost host;
};

TEST_F(LibraryWindowTest, PlaysAddsAndDragsTheChartsOfTheRowsChosen) {
  std::unique_ptr<TestWindow> window = OpenScanned();
  LibraryModel& model = *window->model();
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_FALSE(window->Scanning());
  EXPECT_EQ(window->folders().size(), 1u);

  // Enter plays the current row; a double click plays the row clicked.
  Select(*window, {RowOf(model, "Alpha")});
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(window->table(), &enter);
  Q_EMIT window->table()->doubleClicked(model.index(RowOf(model, "Beta"), 2));
  EXPECT_EQ(host.played, (std::vector<std::string>{alpha, beta}));
  // A format that cannot be played yet is not handed on.
  Select(*window, {RowOf(model, "gamma.bmson")});
  QCoreApplication::sendEvent(window->table(), &enter);
  EXPECT_EQ(host.played.size(), 2u);

  // Add to playlist: the selected rows in table order, without the unplayable one.
  Select(*window, {2, 1, 0});
  window->AddSelectedToPlaylist();
  ASSERT_EQ(host.added.size(), 1u);
  EXPECT_EQ(host.added[0], (std::vector<std::string>{alpha, beta}));

  // Dragged rows are a text/uri-list that gives back the paths' bytes.
  std::unique_ptr<QMimeData> mime(
      model.mimeData({model.index(RowOf(model, "Beta"), 0), model.index(RowOf(model, "Beta"), 3),
                      model.index(RowOf(model, "Alpha"), 1)}));
  ASSERT_TRUE(mime->hasUrls());
  const QByteArray list = mime->data(QStringLiteral("text/uri-list"));
  EXPECT_EQ(LocalPathsFromUriList(list.toStdString()), (std::vector<std::string>{alpha, beta}));

  // Typing filters; the level range too.
  window->search_box()->setText(QStringLiteral("ALP"));
  EXPECT_EQ(ShownTitles(model), (std::vector<std::string>{"Alpha"}));
  window->search_box()->clear();
  window->min_level_box()->setValue(5);
  EXPECT_EQ(ShownTitles(model), (std::vector<std::string>{"Beta"}));

  // A removed folder takes its charts along.
  window->RemoveFolder(window->folders().front());
  WaitIdle(*window);
  EXPECT_EQ(model.TotalCount(), 0);
  EXPECT_TRUE(window->folders().empty());
}

TEST_F(LibraryWindowTest, RemembersSizeColumnsAndSort) {
  {
    std::unique_ptr<TestWindow> window = OpenScanned();
    window->resize(700, 333);
    QHeaderView* header = window->table()->horizontalHeader();
    header->resizeSection(static_cast<int>(LibraryColumn::Artist), 77);
    header->moveSection(header->visualIndex(static_cast<int>(LibraryColumn::Folder)), 0);
    header->setSortIndicator(static_cast<int>(LibraryColumn::Level), Qt::DescendingOrder);
    window->SaveLayout();
  }
  TestWindow window(host, *settings, database, UiLanguage::English);
  window.OpenDatabase();
  WaitIdle(window);
  EXPECT_EQ(window.size(), QSize(700, 333));
  const QHeaderView* header = window.table()->horizontalHeader();
  EXPECT_EQ(header->sectionSize(static_cast<int>(LibraryColumn::Artist)), 77);
  EXPECT_EQ(header->logicalIndex(0), static_cast<int>(LibraryColumn::Folder));
  EXPECT_EQ(header->logicalIndex(1), static_cast<int>(LibraryColumn::Title));
  EXPECT_EQ(window.model()->sort_column(), static_cast<int>(LibraryColumn::Level));
  EXPECT_EQ(ShownTitles(*window.model()),
            (std::vector<std::string>{"Beta", "Alpha", "gamma.bmson"}));

  // Values that are broken or out of range leave the defaults.
  settings->Write(kLibrarySection, "Width", "wide");
  settings->Write(kLibrarySection, "ColumnOrder", "0,0,1,2,3,4,5,6,7");
  TestWindow fresh(host, *settings, database, UiLanguage::English);
  EXPECT_NE(fresh.width(), 700);
  EXPECT_EQ(fresh.table()->horizontalHeader()->logicalIndex(0), 0);
}

TEST_F(LibraryWindowTest, ARefusedDatabaseIsKeptAndRebuiltWhenTheUserAsks) {
  std::filesystem::create_directories(dir.path() / "data");
  dir.Write("data/library.sqlite", std::string(8192, 'x'));
  {
    TestWindow refused(host, *settings, database, UiLanguage::English);
    refused.OpenDatabase();
    WaitIdle(refused);
    EXPECT_EQ(refused.asked.size(), 1u);
    // Not rebuilt: nothing is usable and the file is as it was.
    refused.StartScan();
    EXPECT_FALSE(refused.Scanning());
    EXPECT_EQ(test::ReadFile(database), std::string(8192, 'x'));
  }
  TestWindow window(host, *settings, database, UiLanguage::English);
  window.rebuild_answer = true;
  window.OpenDatabase();
  WaitIdle(window);
  ASSERT_EQ(window.messages.size(), 1u);
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "data")) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("library.sqlite.broken")) {
      ++kept;
      EXPECT_NE(window.messages[0].find(name), std::string::npos) << window.messages[0];
      EXPECT_EQ(test::ReadFile(entry.path()), std::string(8192, 'x'));
    }
  }
  EXPECT_EQ(kept, 1);
  window.AddFolder((dir.path() / "charts").string());
  window.StartScan();
  WaitIdle(window);
  EXPECT_EQ(window.model()->TotalCount(), 3);
}

}  // namespace
}  // namespace quillon
