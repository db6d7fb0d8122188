#include "playlist/playlist_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemDelegate>
#include <QAction>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/common_dialog.h"
#include "playlist/fake_windows.h"

namespace quillon {
namespace {

// The window with its question and save dialog answered by the test.
class TestWindow : public PlaylistWindow {
 public:
  using PlaylistWindow::PlaylistWindow;
  QMessageBox::StandardButton answer = QMessageBox::Cancel;
  QString save_answer;
  QStringList questions;
  QStringList errors;
  // The window's own dialogs, answered by the dialog backend the test installs.
  bool real_dialogs = false;

 protected:
  QMessageBox::StandardButton ShowSaveQuestion(const QString& text, const QString& cap) override {
    questions << cap + QStringLiteral("|") + text;
    return answer;
  }
  QString RunFileDialog(FileDialogKind kind) override {
    if (real_dialogs) return PlaylistWindow::RunFileDialog(kind);
    return kind == FileDialogKind::Save ? save_answer : QString();
  }
  void ShowError(const QString& text) override { errors << text; }
};

// Answers the save dialog with a fixed path and keeps what it was asked.
class SaveBackend : public DialogBackend {
 public:
  std::optional<QString> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const FileDialogRequest& r) override {
    request = r;
    return answer;
  }
  std::optional<QColor> Color(QWidget*, const QColor&) override { return std::nullopt; }
  std::optional<QFont> Font(QWidget*, const QFont&) override { return std::nullopt; }

  QString answer;
  FileDialogRequest request;
};

void PressKey(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent event(QEvent::KeyPress, key, mods);
  QCoreApplication::sendEvent(target, &event);
}

// The texts of one column, joined by spaces.
std::string Column(const QTreeWidget* list, int column = 4) {
  QStringList texts;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    texts << list->topLevelItem(i)->text(column);
  return texts.join(QLatin1Char(' ')).toStdString();
}

class PlaylistWindowTest : public testing::Test {
 protected:
  void Fill(std::initializer_list<const char*> files) {
    for (const char* file : files)
      window.playlist().AddList(file);
    window.Refresh();
  }

  test::FakeHost host;
  TestWindow window{host, /*japanese_ui=*/false};
  PlaylistTree* list = window.list();
};

TEST_F(PlaylistWindowTest, KeysPlayStopDeleteAndMove) {
  Fill({"/m/a.bms", "/m/b.bms", "/m/c.bms"});
  list->setCurrentItem(list->topLevelItem(1));
  // Enter loads and stops at once; play follows on the one-shot timer.
  PressKey(list, Qt::Key_Return);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"load /m/b.bms list", "stop"}));
  QElapsedTimer clock;
  clock.start();
  while (host.calls.size() < 3 && clock.elapsed() < 1000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(host.calls.back(), "play");
  EXPECT_EQ(window.playlist().PlayIndex, 2);
  const QColor playing = window.palette().color(QPalette::Active, QPalette::Highlight);
  EXPECT_EQ(list->topLevelItem(1)->foreground(4).color(), playing);

  // Starting another row takes the colour away from the earlier one.
  list->setCurrentItem(list->topLevelItem(2));
  PressKey(list, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(list->topLevelItem(2)->foreground(0).color(), playing);
  EXPECT_EQ(list->topLevelItem(1)->data(0, Qt::ForegroundRole), QVariant());

  host.calls.clear();
  PressKey(list, Qt::Key_Escape);
  PressKey(list, Qt::Key_Return, Qt::AltModifier);  // Alt alone: Enter does nothing
  EXPECT_EQ(host.calls, std::vector<std::string>{"stop"});
  PressKey(list, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(Column(list), "/m/a.bms /m/c.bms /m/b.bms");
  EXPECT_EQ(list->currentItem(), list->topLevelItem(1));

  window.playlist().ListSaved = true;
  PressKey(list, Qt::Key_Delete);
  EXPECT_EQ(Column(list), "/m/a.bms /m/b.bms");
  EXPECT_FALSE(window.playlist().ListSaved);
}

// The width the list's own delegate wants for the cell at row 0 of `column`.
int CellWidth(const QTreeWidget* list, int column) {
  QStyleOptionViewItem option;
  option.initFrom(list);
  return list->itemDelegate()->sizeHint(option, list->model()->index(0, column)).width();
}

TEST_F(PlaylistWindowTest, TheLengthColumnHoldsALengthWholeInTheFontInUse) {
  Fill({"/a.bms"});
  const int length = static_cast<int>(PlaylistColumn::Length);
  list->topLevelItem(0)->setText(length, QStringLiteral("00:00"));
  EXPECT_GE(list->columnWidth(length), 38);
  EXPECT_GE(list->columnWidth(length), CellWidth(list, length));
  // A larger desktop font widens it; the other columns keep their widths.
  QFont large = list->font();
  large.setPointSize(large.pointSize() * 2);
  list->setFont(large);
  EXPECT_GT(list->columnWidth(length), 38);
  EXPECT_GE(list->columnWidth(length), CellWidth(list, length));
  EXPECT_EQ(list->columnWidth(static_cast<int>(PlaylistColumn::Genre)), 128);
}

TEST_F(PlaylistWindowTest, HeaderClickSortsAndReverses) {
  Fill({"/m/b.bms", "/m/c.bms", "/m/a.bms"});
  QHeaderView* header = list->header();
  Q_EMIT header->sectionClicked(4);
  EXPECT_EQ(Column(list), "/m/a.bms /m/b.bms /m/c.bms");
  Q_EMIT header->sectionClicked(4);
  EXPECT_EQ(Column(list), "/m/c.bms /m/b.bms /m/a.bms");
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(PlaylistWindowTest, CloseOnlyHides) {
  Fill({"/m/a.bms"});
  window.show();
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isHidden());
  EXPECT_EQ(host.calls, std::vector<std::string>{"button up"});
  EXPECT_EQ(list->topLevelItemCount(), 1);
}

TEST_F(PlaylistWindowTest, DroppedFilesAreAppendedAndPlaylistOpened) {
  Fill({"/m/a.bms"});
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QStringLiteral("/m/b.bms")),
                QUrl(QStringLiteral("http://example.com/x.bms")),
                QUrl::fromLocalFile(QStringLiteral("/m/c.bms"))});
  // A drop reaches the list only after the drag entered it.
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &drop);
  EXPECT_EQ(Column(list), "/m/a.bms /m/b.bms /m/c.bms");
  EXPECT_FALSE(window.playlist().ListSaved);
  EXPECT_TRUE(host.calls.empty());

  // File names that are not UTF-8 (a CP932 folder) keep their bytes through the drop.
  QMimeData cp932;
  cp932.setData(QStringLiteral("text/uri-list"), QByteArray("file:///m/%8B%C8/%89%B9.bms\r\n"));
  QDragEnterEvent enter_cp932(QPoint(5, 5), Qt::CopyAction, &cp932, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &enter_cp932);
  QDropEvent drop_cp932(QPointF(5, 5), Qt::CopyAction, &cp932, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &drop_cp932);
  ASSERT_EQ(window.playlist().entries().size(), 4u);
  EXPECT_EQ(window.playlist().entries().back().FileName, "/m/\x8b\xc8/\x89\xb9.bms");

  // A dropped .bpl replaces the list, after the question about unsaved changes.
  QTemporaryDir dir;
  const QString bpl = dir.filePath(QStringLiteral("x.BPL"));
  QFile file(bpl);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("Trance\tSong\tArtist\t02:31\t/bms/z.bms\r\n");
  file.close();
  window.answer = QMessageBox::No;
  data.setUrls({QUrl::fromLocalFile(bpl), QUrl::fromLocalFile(QStringLiteral("/m/d.bms"))});
  window.DropOnList(data);
  EXPECT_EQ(window.questions.size(), 1);
  EXPECT_EQ(Column(list, 1), "Song");
  EXPECT_TRUE(window.playlist().ListSaved);
}

TEST_F(PlaylistWindowTest, SaveQuestionBeforeNewAndOpen) {
  Fill({"/m/a.bms"});
  window.playlist().ListSaved = false;
  auto menu = [this](const char* name) {
    window.findChild<QAction*>(QString::fromUtf8(name))->trigger();
  };
  menu("mF_0");  // New, Cancel: the list stays
  EXPECT_EQ(window.questions,
            QStringList{QStringLiteral("Save|Playlist has changed. Save the changes?")});
  EXPECT_EQ(list->topLevelItemCount(), 1);
  window.answer = QMessageBox::Yes;
  menu("mF_1");  // Open, Yes, save dialog cancelled: the list stays
  EXPECT_EQ(list->topLevelItemCount(), 1);

  // Yes and a name: the list is written (".bpl" added) before New empties it.
  QTemporaryDir dir;
  window.save_answer = dir.filePath(QStringLiteral("mine"));
  menu("mF_0");
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("mine.bpl"))));
  EXPECT_EQ(list->topLevelItemCount(), 0);

  TestWindow japanese(host, /*japanese_ui=*/true);
  japanese.playlist().ListSaved = false;
  EXPECT_FALSE(japanese.playlist().AskSave());
  EXPECT_EQ(japanese.questions.front().toStdString(),
            "保存|プレイリストが変更されています。変更を保存しますか?");
}

TEST_F(PlaylistWindowTest, TheSaveDialogAddsTheExtensionBeforeAskingAboutOverwriting) {
  Fill({"/m/a.bms"});
  QTemporaryDir dir;
  SaveBackend backend;
  const ScopedDialogBackend scoped(backend);
  // What the dialog returns for "list" typed where list.bpl exists, once it has asked.
  backend.answer = dir.filePath(QStringLiteral("list.bpl"));
  window.real_dialogs = true;
  window.findChild<QAction*>(QStringLiteral("mF_2"))->trigger();
  EXPECT_EQ(backend.request.default_suffix, QStringLiteral("bpl"));
  EXPECT_TRUE(QFile::exists(backend.answer));
  EXPECT_TRUE(window.playlist().ListSaved);
}

TEST_F(PlaylistWindowTest, FileNamesAreDecodedForDisplayOnlyAndRefusalsShown) {
  // A CP932 folder name ("テスト") beside a UTF-8 one.
  const std::string sjis = "/bms/\x83\x65\x83\x58\x83\x67/a.bms";
  window.playlist().LoadBytes("g\tt\ta\t--:--\t" + sjis + "\r\ng\t曲\ta\t--:--\t/bms/曲.bms\r\n");
  window.Refresh();
  EXPECT_EQ(Column(list), "/bms/テスト/a.bms /bms/曲.bms");
  EXPECT_EQ(window.playlist().entries()[0].FileName, sjis);

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QStringLiteral("/dev/null"))});
  window.DropOnList(data);
  ASSERT_EQ(window.errors.size(), 1);
  EXPECT_TRUE(window.errors[0].contains(QStringLiteral("/dev/null")));
  EXPECT_EQ(list->topLevelItemCount(), 2);
}

}  // namespace
}  // namespace quillon
