#include "playlist/playlist_window.h"

#include "platform/common_dialog.h"
#include "platform/text_encoding.h"
#include "platform/uri_list.h"
#include "resources/string_table.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include <QUrl>
#include <QVBoxLayout>

namespace quillon {
namespace {

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}
QString Utf8(const std::string& text) {
  return QString::fromStdString(text);
}

struct ColumnSetup {
  int header;  // string table id
  int width;
};
// In PlaylistColumn order.
constexpr ColumnSetup kColumns[] = {
    {2016, 128}, {2017, 128}, {2018, 128}, {2100, 38}, {2101, 250},
};

QPushButton* AddButton(QHBoxLayout* bar, const char* name, const char* caption) {
  auto* button = new QPushButton(Utf8(caption));
  button->setObjectName(Utf8(name));
  // Keys belong to the list: the buttons take no focus away from it.
  button->setFocusPolicy(Qt::NoFocus);
  bar->addWidget(button);
  return button;
}

}  // namespace

std::vector<std::string> DroppedFiles(const QMimeData& mime) {
  // The raw list, not QMimeData::urls(): a QUrl turns file-name bytes that are not UTF-8 into
  // U+FFFD, and such a file could not be found again.
  const QByteArray list = mime.data(QStringLiteral("text/uri-list"));
  return LocalPathsFromUriList(
      std::string_view(list.constData(), static_cast<size_t>(list.size())));
}

PlaylistTree::PlaylistTree(QWidget* parent) : QTreeWidget(parent) {
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
}

void PlaylistTree::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (mods == Qt::AltModifier) {
    // Alt+Up and Alt+Down move the selected row; other Alt keys are left to the menu.
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
      if (on_move) on_move(event->key() == Qt::Key_Up ? -1 : 1);
      event->accept();
    } else {
      event->ignore();
    }
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (on_start) on_start();
      return;
    case Qt::Key_Escape:
      if (on_stop) on_stop();
      return;
    case Qt::Key_Delete:
      if (on_delete) on_delete();
      return;
    default:
      QTreeWidget::keyPressEvent(event);
  }
}

void PlaylistTree::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void PlaylistTree::changeEvent(QEvent* event) {
  QTreeWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitLengthColumn();
}

void PlaylistTree::FitLengthColumn() {
  // An item's text sits between two margins of the focus frame's width plus one pixel, as the
  // item views lay it out.
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const int text = fontMetrics().horizontalAdvance(QStringLiteral("00:00"));
  const auto column = static_cast<int>(PlaylistColumn::Length);
  // Wide enough for its header too ("Length" is wider than "00:00").
  setColumnWidth(column, std::max({kColumns[column].width, text + 2 * margin,
                                   header()->sectionSizeHint(column)}));
}

void PlaylistTree::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void PlaylistTree::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  if (on_drop) on_drop(*event->mimeData());
}

PlaylistWindow::PlaylistWindow(PlaylistHost& host, bool japanese_ui, QWidget* parent)
    : QMainWindow(parent), playlist_(host, *this), japanese_ui_(japanese_ui) {
  setObjectName(QStringLiteral("frmPlayList"));
  setWindowTitle(QStringLiteral("PlayList"));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  // The list fills the window above the button bar.
  list_ = new PlaylistTree(central);
  list_->setObjectName(QStringLiteral("lvwPlayList"));
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setColumnCount(static_cast<int>(std::size(kColumns)));
  QStringList headers;
  const StringTable strings = Strings();
  for (const ColumnSetup& column : kColumns)
    headers << Utf8(strings.Get(column.header));
  list_->setHeaderLabels(headers);
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i)
    list_->setColumnWidth(i, kColumns[i].width);
  list_->FitLengthColumn();
  // The model sorts; the header only reports the click.
  list_->setSortingEnabled(false);
  list_->header()->setSectionsClickable(true);
  list_->header()->setStretchLastSection(false);
  layout->addWidget(list_, 1);

  // The button bar keeps its height along the bottom edge.
  auto* bar_widget = new QWidget(central);
  bar_widget->setObjectName(QStringLiteral("picBox"));
  auto* bar = new QHBoxLayout(bar_widget);
  bar->setContentsMargins(2, 2, 2, 2);
  QPushButton* play = AddButton(bar, "cmdPlay", "Play(&P)");
  QPushButton* stop = AddButton(bar, "cmdStop", "Stop(&S)");
  QPushButton* up = AddButton(bar, "cmdPrev", "↑(Alt+↑)");
  QPushButton* down = AddButton(bar, "cmdNext", "↓(Alt+↓)");
  bar->addStretch(1);
  bar_widget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  layout->addWidget(bar_widget);
  setCentralWidget(central);

  play_start_timer_ = new QTimer(this);
  play_start_timer_->setObjectName(QStringLiteral("timPlayStart"));
  play_start_timer_->setSingleShot(true);
  play_start_timer_->setInterval(1);
  connect(play_start_timer_, &QTimer::timeout, this, [this] { playlist_.OnPlayStartTimer(); });

  auto start = [this] { Act([this] { playlist_.StartSelected(); }); };
  auto stop_play = [this] { playlist_.Stop(); };
  auto move = [this](int delta) { Act([this, delta] { playlist_.MoveSelected(delta); }); };
  connect(play, &QPushButton::clicked, this, start);
  connect(stop, &QPushButton::clicked, this, stop_play);
  connect(up, &QPushButton::clicked, this, [move] { move(-1); });
  connect(down, &QPushButton::clicked, this, [move] { move(1); });

  list_->on_start = start;
  list_->on_stop = stop_play;
  list_->on_delete = [this] { Act([this] { playlist_.DeleteSelected(); }); };
  list_->on_move = move;
  list_->on_drop = [this](const QMimeData& mime) { DropOnList(mime); };

  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (refreshing_) return;
    const QList<QTreeWidgetItem*> items = list_->selectedItems();
    if (items.isEmpty()) {
      playlist_.Select(std::nullopt);
    } else {
      playlist_.Select(static_cast<size_t>(list_->indexOfTopLevelItem(items.front())));
    }
  });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this, start](QTreeWidgetItem* item) {
    playlist_.Select(static_cast<size_t>(list_->indexOfTopLevelItem(item)));
    start();
  });
  connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int section) {
    if (section < 0 || section >= static_cast<int>(std::size(kColumns))) return;
    Act([this, section] { playlist_.SortByColumn(static_cast<PlaylistColumn>(section)); });
  });

  BuildMenu();
  resize(680, 320);
}

void PlaylistWindow::BuildMenu() {
  const StringTable strings = Strings();
  QMenu* file = menuBar()->addMenu(Utf8(strings.Get(10)));
  file->setObjectName(QStringLiteral("mnuFile"));
  auto add = [this, file, &strings](const char* name, int caption, std::function<void()> action) {
    QAction* item = file->addAction(Utf8(strings.Get(caption)));
    item->setObjectName(Utf8(name));
    connect(item, &QAction::triggered, this, [action = std::move(action)] { action(); });
  };
  add("mF_0", 2102, [this] { Act([this] { playlist_.New(); }); });
  add("mF_1", 2103, [this] { Act([this] { playlist_.Loadlist({}); }); });
  add("mF_2", 2104, [this] { playlist_.Savelist({}); });
  file->addSeparator()->setObjectName(QStringLiteral("mF_7"));
  add("mF_8", 2105, [this] { HideByUser(); });
}

void PlaylistWindow::Act(const std::function<void()>& action) {
  action();
  Refresh();
}

void PlaylistWindow::Refresh() {
  refreshing_ = true;
  const QColor playing = palette().color(QPalette::Active, QPalette::Highlight);
  const std::vector<PlaylistEntry>& entries = playlist_.entries();
  // Rows are reused so that the scroll position survives a redraw.
  while (list_->topLevelItemCount() > static_cast<int>(entries.size()))
    delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
  for (size_t i = 0; i < entries.size(); ++i) {
    const PlaylistEntry& e = entries[i];
    QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(i));
    if (item == nullptr) {
      item = new QTreeWidgetItem;
      list_->addTopLevelItem(item);
    }
    // The texts are UTF-8 already; the path is bytes, decoded here for display only.
    const std::string file_name = DisplayPath(e.FileName);
    const std::string* texts[] = {&e.Genre, &e.Title, &e.Artist, &e.Length, &file_name};
    for (int c = 0; c < static_cast<int>(std::size(texts)); ++c) {
      item->setText(c, Utf8(*texts[c]));
      // The row last started is drawn in the playing colour; the others in the list's own.
      if (e.Marked) {
        item->setForeground(c, playing);
      } else {
        item->setData(c, Qt::ForegroundRole, QVariant());
      }
    }
  }
  list_->clearSelection();
  if (const std::optional<size_t> row = playlist_.selected()) {
    QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(*row));
    list_->setCurrentItem(item);
    item->setSelected(true);
    list_->scrollToItem(item);
  }
  QHeaderView* header = list_->header();
  header->setSortIndicatorShown(playlist_.sorted());
  if (playlist_.sorted()) {
    header->setSortIndicator(static_cast<int>(playlist_.sort_column()),
                             playlist_.ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
  }
  refreshing_ = false;
}

void PlaylistWindow::LoadDefault(const std::string& path) {
  Act([this, &path] { playlist_.LoadDefault(path); });
}

bool PlaylistWindow::SaveDefault(const std::string& path) {
  return playlist_.SaveDefault(path);
}

void PlaylistWindow::DropOnList(const QMimeData& mime) {
  const std::vector<std::string> files = DroppedFiles(mime);
  if (files.empty()) return;
  Act([this, &files] { playlist_.DropOnList(files); });
}

SaveAnswer PlaylistWindow::AskSaveChanges() {
  const StringTable strings = Strings();
  switch (ShowSaveQuestion(QString::fromStdString(strings.Get(101)),
                           QString::fromStdString(strings.Get(102)))) {
    case QMessageBox::Yes:
      return SaveAnswer::Yes;
    case QMessageBox::No:
      return SaveAnswer::No;
    default:
      // Cancel, and the box closed without an answer.
      return SaveAnswer::Cancel;
  }
}

std::string PlaylistWindow::ChooseOpenFile() {
  return RunFileDialog(FileDialogKind::Open).toStdString();
}

std::string PlaylistWindow::ChooseSaveFile() {
  return RunFileDialog(FileDialogKind::Save).toStdString();
}

void PlaylistWindow::ReportSaveError(const std::string& message) {
  ShowError(Utf8(message));
}

void PlaylistWindow::ReportRefusedFiles(const std::string& message) {
  ShowError(Utf8(message));
}

void PlaylistWindow::ArmPlayStart() {
  play_start_timer_->start();
}

QMessageBox::StandardButton PlaylistWindow::ShowSaveQuestion(const QString& text,
                                                             const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.setEscapeButton(QMessageBox::Cancel);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString PlaylistWindow::RunFileDialog(FileDialogKind kind) {
  // The save dialog adds ".bpl" itself, so its question about overwriting an existing file is
  // asked for the name that is then written.
  const StringTable strings = Strings();
  const std::string filter =
      strings.Get(1107) + '\0' + "*.bpl" + '\0' + strings.Get(1104) + '\0' + "*.*" + '\0';
  const std::string folder = QDir::currentPath().toStdString();
  return QString::fromStdString(kind == FileDialogKind::Open
                                    ? OpenFileDialog(this, filter, folder)
                                    : SaveFileDialog(this, filter, folder, "bpl"));
}

void PlaylistWindow::ShowError(const QString& text) {
  QMessageBox::warning(this, windowTitle(), text);
}

void PlaylistWindow::HideByUser() {
  playlist_.CloseByUser();
  hide();
}

void PlaylistWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  HideByUser();
}

}  // namespace quillon
