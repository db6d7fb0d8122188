#include "library_window/library_window.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <optional>
#include <set>

#include "library_window/library_model.h"
#include "library_window/library_worker.h"
#include "platform/file_manager.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

QString Utf8(const std::string& text) {
  return QString::fromStdString(text);
}

// In LibraryColumn order.
constexpr int kDefaultWidths[kLibraryColumnCount] = {260, 160, 110, 45, 60, 95, 55, 55, 260};
constexpr int kModes[] = {0, 5, 7, 9, 10, 14};
constexpr int kDefaultWidth = 860;
constexpr int kDefaultHeight = 480;

// "1,2,3" -> {1, 2, 3}; nullopt when any item is no number.
std::optional<std::vector<int>> ReadNumberList(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::vector<int> numbers;
  const char* p = text->data();
  const char* end = p + text->size();
  while (p < end) {
    int value = 0;
    const auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc() || (next != end && *next != ',')) return std::nullopt;
    numbers.push_back(value);
    p = next == end ? end : next + 1;
  }
  return numbers;
}

std::string NumberList(const std::vector<int>& numbers) {
  std::string text;
  for (const int n : numbers) {
    if (!text.empty()) text += ',';
    text += std::to_string(n);
  }
  return text;
}

std::optional<int> ReadNumber(const SettingsStore& settings, std::string_view key) {
  const auto list = ReadNumberList(settings.Read(kLibrarySection, key));
  if (!list || list->size() != 1) return std::nullopt;
  return list->front();
}

QPushButton* AddButton(QHBoxLayout* bar, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(QString::fromUtf8(name));
  // Keys stay with the table and the search box.
  button->setFocusPolicy(Qt::NoFocus);
  bar->addWidget(button);
  return button;
}

}  // namespace

LibraryTable::LibraryTable(QWidget* parent) : QTableView(parent) {}

void LibraryTable::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (on_enter) on_enter();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

LibraryFoldersDialog::LibraryFoldersDialog(LibraryWindow& window, const StringTable& strings)
    : QDialog(&window), window_(window) {
  setObjectName(QStringLiteral("frmLibraryFolders"));
  setWindowTitle(Utf8(strings.Get(2423)));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lstFolders"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* bar = new QHBoxLayout;
  add_ = AddButton(bar, "cmdAdd", Utf8(strings.Get(2424)));
  remove_ = AddButton(bar, "cmdRemove", Utf8(strings.Get(2425)));
  bar->addStretch(1);
  QPushButton* close = AddButton(bar, "cmdClose", Utf8(strings.Get(2426)));
  auto* column = new QVBoxLayout(this);
  column->addWidget(list_, 1);
  column->addLayout(bar);
  resize(520, 260);

  connect(add_, &QPushButton::clicked, this, [this] {
    const QString folder = window_.ChooseFolder();
    // The path's bytes as the file system has them (the locale's encoding of the chosen name).
    if (!folder.isEmpty()) window_.AddFolder(QFile::encodeName(folder).toStdString());
  });
  connect(remove_, &QPushButton::clicked, this, [this] {
    const QListWidgetItem* item = list_->currentItem();
    if (item == nullptr) return;
    window_.RemoveFolder(item->data(Qt::UserRole).toByteArray().toStdString());
  });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void LibraryFoldersDialog::SetFolders(const std::vector<std::string>& folders) {
  list_->clear();
  for (const std::string& folder : folders) {
    auto* item = new QListWidgetItem(Utf8(DisplayPath(folder)), list_);
    item->setData(Qt::UserRole, QByteArray(folder.data(), static_cast<qsizetype>(folder.size())));
  }
  remove_->setEnabled(!folders.empty());
}

LibraryWindow::LibraryWindow(LibraryHost& host, SettingsStore& settings, std::string database_path,
                             UiLanguage language, QWidget* parent)
    : QMainWindow(parent),
      host_(host),
      settings_(settings),
      database_path_(std::move(database_path)),
      strings_(language) {
  setObjectName(QStringLiteral("frmLibrary"));
  setWindowTitle(Text(2400));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 0);

  // Search and filters along the top.
  auto* filters = new QHBoxLayout;
  auto* search_label = new QLabel(Text(2411), central);
  search_ = new QLineEdit(central);
  search_->setObjectName(QStringLiteral("txtSearch"));
  search_->setPlaceholderText(Text(2412));
  search_->setClearButtonEnabled(true);
  search_label->setBuddy(search_);
  mode_ = new QComboBox(central);
  mode_->setObjectName(QStringLiteral("cboMode"));
  for (const int mode : kModes)
    mode_->addItem(mode == 0 ? Text(2414) : Text(2415).arg(mode), mode);
  auto* mode_label = new QLabel(Text(2413), central);
  mode_label->setBuddy(mode_);
  min_level_ = new QSpinBox(central);
  min_level_->setObjectName(QStringLiteral("spnMinLevel"));
  max_level_ = new QSpinBox(central);
  max_level_->setObjectName(QStringLiteral("spnMaxLevel"));
  for (QSpinBox* box : {min_level_, max_level_})
    box->setRange(0, 99);
  max_level_->setValue(99);
  auto* level_label = new QLabel(Text(2416), central);
  level_label->setBuddy(min_level_);
  filters->addWidget(search_label);
  filters->addWidget(search_, 1);
  filters->addSpacing(8);
  filters->addWidget(mode_label);
  filters->addWidget(mode_);
  filters->addSpacing(8);
  filters->addWidget(level_label);
  filters->addWidget(min_level_);
  filters->addWidget(new QLabel(Text(2417), central));
  filters->addWidget(max_level_);
  layout->addLayout(filters);

  model_ = new LibraryModel(language, this);
  table_ = new LibraryTable(central);
  table_->setObjectName(QStringLiteral("tblLibrary"));
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setDragEnabled(true);
  table_->setDragDropMode(QAbstractItemView::DragOnly);
  table_->setDefaultDropAction(Qt::CopyAction);
  table_->setAlternatingRowColors(true);
  table_->setShowGrid(false);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  // Rows of one text line, not measured row by row (100,000 rows).
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  QHeaderView* header = table_->horizontalHeader();
  header->setSectionsMovable(true);
  header->setHighlightSections(false);
  header->setStretchLastSection(true);
  for (int i = 0; i < kLibraryColumnCount; ++i)
    header->resizeSection(i, kDefaultWidths[i]);
  layout->addWidget(table_, 1);

  // The buttons along the bottom.
  auto* bar = new QHBoxLayout;
  QPushButton* add = AddButton(bar, "cmdAddToPlaylist", Text(2418));
  QPushButton* show_folder = AddButton(bar, "cmdShowInFolder", Text(2419));
  bar->addStretch(1);
  folders_button_ = AddButton(bar, "cmdFolders", Text(2420));
  scan_ = AddButton(bar, "cmdScan", Text(2421));
  cancel_ = AddButton(bar, "cmdCancel", Text(2422));
  cancel_->hide();
  layout->addLayout(bar);
  setCentralWidget(central);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lblStatus"));
  status_->setTextFormat(Qt::PlainText);
  // A long folder name must not widen the window.
  status_->setMinimumWidth(1);
  status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* count = new QLabel(this);
  count->setObjectName(QStringLiteral("lblCount"));
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(count);
  statusBar()->setSizeGripEnabled(true);

  connect(search_, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
  connect(mode_, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
  for (QSpinBox* box : {min_level_, max_level_})
    connect(box, &QSpinBox::valueChanged, this, [this] { ApplyFilter(); });
  table_->on_enter = [this] { PlayCurrent(); };
  connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    table_->setCurrentIndex(index);
    PlayCurrent();
  });
  connect(add, &QPushButton::clicked, this, [this] { AddSelectedToPlaylist(); });
  connect(show_folder, &QPushButton::clicked, this, [this] { ShowSelectedInFolder(); });
  connect(folders_button_, &QPushButton::clicked, this, [this] { ShowFoldersDialog(); });
  connect(scan_, &QPushButton::clicked, this, [this] { StartScan(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelScan(); });
  connect(model_, &QAbstractItemModel::modelReset, count, [this, count] {
    const int shown = model_->rowCount();
    const int total = model_->TotalCount();
    count->setText(shown == total ? Text(2427).arg(total) : Text(2428).arg(shown).arg(total));
  });

  worker_ = std::make_unique<LibraryWorker>([this](std::function<void()> done) {
    // Queued on this window's event loop; dropped if the window has gone by then.
    QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
  });
  RestoreLayout();
}

LibraryWindow::~LibraryWindow() {
  // Stops a scan and waits for the running job before the window's parts go.
  worker_.reset();
}

void LibraryWindow::Run(std::function<std::function<void()>(LibraryDatabase&)> job) {
  worker_->Run(std::move(job));
}

bool LibraryWindow::Busy() const {
  return worker_->Pending() > 0;
}

QString LibraryWindow::StatusText() const {
  return status_->text();
}

LibraryWindow::Snapshot LibraryWindow::ReadSnapshot(LibraryDatabase& db) {
  // Runs on the worker: reading 100,000 rows and making their search keys takes a while.
  auto search = std::make_shared<LibrarySearch>();
  search->Reset(db.AllCharts());
  return {db.Folders(), std::move(search)};
}

void LibraryWindow::Apply(const Snapshot& snapshot) {
  folders_ = snapshot.folders;
  if (folders_dialog_ != nullptr) folders_dialog_->SetFolders(folders_);
  model_->SetRows(snapshot.rows);
  if (folders_.empty() && !scanning_) status_->setText(Text(2441));
}

void LibraryWindow::OpenDatabase() {
  if (opened_) return;
  opened_ = true;
  status_->setText(Text(2437));
  Run([this, path = database_path_](LibraryDatabase& db) -> std::function<void()> {
    std::string message;
    const LibraryDatabase::Status status = db.Open(path, message);
    if (status != LibraryDatabase::Status::Ok) {
      return [this, status, message] {
        status_->setText(Text(2438));
        // A damaged file or one from a newer version is kept; a new one can be started.
        if (status == LibraryDatabase::Status::Unwritable) {
          ShowMessage(Utf8(message));
        } else if (AskRebuild(Utf8(message))) {
          Rebuild();
        }
      };
    }
    return [this, snapshot = ReadSnapshot(db)] {
      usable_ = true;
      status_->clear();
      Apply(snapshot);
    };
  });
}

void LibraryWindow::Rebuild() {
  Run([this](LibraryDatabase& db) -> std::function<void()> {
    std::string message;
    const bool ok = db.Rebuild(message) == LibraryDatabase::Status::Ok;
    std::optional<Snapshot> snapshot;
    if (ok) snapshot = ReadSnapshot(db);
    return [this, ok, message, snapshot] {
      ShowMessage(Utf8(message));
      if (!ok) return;
      usable_ = true;
      status_->clear();
      Apply(*snapshot);
    };
  });
}

void LibraryWindow::StartScan() {
  if (!usable_ || scanning_) return;
  SetScanning(true);
  const std::atomic<bool>* cancel = &worker_->cancel_flag();
  Run([this, cancel](LibraryDatabase& db) -> std::function<void()> {
    const ScanProgress result = ScanLibrary(
        db,
        [this](const ScanProgress& progress) {
          // From the worker thread: shown when the window's loop gets to it.
          QMetaObject::invokeMethod(
              this, [this, progress] { ShowProgress(progress); }, Qt::QueuedConnection);
        },
        cancel);
    return [this, result, snapshot = ReadSnapshot(db)] {
      SetScanning(false);
      Apply(snapshot);
      ScanEnded(result);
    };
  });
}

void LibraryWindow::CancelScan() {
  if (scanning_) worker_->Cancel();
}

void LibraryWindow::SetScanning(bool on) {
  scanning_ = on;
  scan_->setVisible(!on);
  cancel_->setVisible(on);
}

void LibraryWindow::ShowProgress(const ScanProgress& progress) {
  if (!scanning_) return;
  status_->setText(Text(2429).arg(QString::number(progress.Found),
                                  QString::number(progress.Read + progress.Failed),
                                  QString::number(progress.ChartsPerSecond, 'f', 0),
                                  Utf8(DisplayPath(progress.CurrentFolder))));
}

void LibraryWindow::ScanEnded(const ScanProgress& progress) {
  QString text = Text(progress.Cancelled ? 2431 : 2430)
                     .arg(QString::number(progress.Read), QString::number(progress.Unchanged),
                          QString::number(progress.Failed), QString::number(progress.Removed));
  const int skipped = progress.SkippedLoops + progress.SkippedUnreadable;
  if (skipped > 0) text += Text(2432).arg(skipped);
  if (!progress.MissingFolders.empty())
    text += Text(2433).arg(static_cast<int>(progress.MissingFolders.size()));
  status_->setText(text);
}

void LibraryWindow::AddFolder(const std::string& folder) {
  Run([this, folder](LibraryDatabase& db) -> std::function<void()> {
    std::string message;
    const bool added = db.IsOpen() && db.AddFolder(folder, message);
    return [this, added, message, snapshot = ReadSnapshot(db)] {
      if (!added && !message.empty()) ShowMessage(Utf8(message));
      Apply(snapshot);
      if (added && !scanning_) status_->setText(Text(2442));
    };
  });
}

void LibraryWindow::RemoveFolder(const std::string& folder) {
  Run([this, folder](LibraryDatabase& db) -> std::function<void()> {
    std::string message;
    const bool removed = db.IsOpen() && db.RemoveFolder(folder, message);
    return [this, removed, message, snapshot = ReadSnapshot(db)] {
      if (!removed && !message.empty()) ShowMessage(Utf8(message));
      Apply(snapshot);
    };
  });
}

void LibraryWindow::ShowFoldersDialog() {
  if (folders_dialog_ == nullptr) {
    folders_dialog_ = new LibraryFoldersDialog(*this, strings_);
    folders_dialog_->SetFolders(folders_);
  }
  folders_dialog_->show();
  folders_dialog_->raise();
}

void LibraryWindow::ApplyFilter() {
  LibraryFilter filter;
  filter.Mode = mode_->currentData().toInt();
  filter.MinLevel = min_level_->value();
  filter.MaxLevel = max_level_->value();
  model_->SetSearch(search_->text().toStdString(), filter);
}

std::vector<std::string> LibraryWindow::SelectedPaths() const {
  std::set<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows())
    rows.insert(index.row());
  std::vector<std::string> paths;
  for (const int row : rows)
    paths.push_back(model_->Record(row).Path);
  return paths;
}

void LibraryWindow::PlayCurrent() {
  const QModelIndex index = table_->currentIndex();
  if (!index.isValid()) return;
  const ChartRecord& record = model_->Record(index.row());
  if (!record.Supported) {
    status_->setText(Text(2434));
    return;
  }
  host_.PlayLibraryChart(record.Path);
}

void LibraryWindow::AddSelectedToPlaylist() {
  std::vector<std::string> paths;
  std::set<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows())
    rows.insert(index.row());
  for (const int row : rows) {
    // Charts that cannot be played yet stay out of the playlist.
    if (model_->Record(row).Supported) paths.push_back(model_->Record(row).Path);
  }
  if (paths.empty()) return;
  host_.AddLibraryChartsToPlaylist(paths);
  status_->setText(Text(2440).arg(static_cast<int>(paths.size())));
}

void LibraryWindow::ShowSelectedInFolder() {
  const QModelIndex index = table_->currentIndex();
  if (!index.isValid()) return;
  const std::string& path = model_->Record(index.row()).Path;
  ShowInFolder(QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size()))));
}

bool LibraryWindow::AskRebuild(const QString& message) {
  QMessageBox box(QMessageBox::Warning, windowTitle(), message, QMessageBox::NoButton, this);
  QPushButton* rebuild = box.addButton(Text(2435), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Cancel);
  box.exec();
  return box.clickedButton() == rebuild;
}

void LibraryWindow::ShowMessage(const QString& text) {
  QMessageBox::information(this, windowTitle(), text);
}

QString LibraryWindow::ChooseFolder() {
  return QFileDialog::getExistingDirectory(
      folders_dialog_ != nullptr ? static_cast<QWidget*>(folders_dialog_) : this, Text(2439));
}

void LibraryWindow::ShowInFolder(const QString& path) {
  ShowInFileManager(path);
}

void LibraryWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  OpenDatabase();
}

void LibraryWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (!event->spontaneous()) SaveLayout();
}

void LibraryWindow::SaveLayout() {
  const QSize size = isMaximized() ? normalGeometry().size() : this->size();
  settings_.Write(kLibrarySection, "Width", std::to_string(size.width()));
  settings_.Write(kLibrarySection, "Height", std::to_string(size.height()));
  const QHeaderView* header = table_->horizontalHeader();
  std::vector<int> widths;
  std::vector<int> order;  // the column shown at each place, left to right
  for (int i = 0; i < kLibraryColumnCount; ++i) {
    widths.push_back(header->sectionSize(i));
    order.push_back(header->logicalIndex(i));
  }
  settings_.Write(kLibrarySection, "ColumnWidths", NumberList(widths));
  settings_.Write(kLibrarySection, "ColumnOrder", NumberList(order));
  settings_.Write(kLibrarySection, "SortColumn", std::to_string(model_->sort_column()));
  settings_.Write(kLibrarySection, "SortDescending",
                  model_->sort_order() == Qt::DescendingOrder ? "1" : "0");
  settings_.Sync();
}

void LibraryWindow::RestoreLayout() {
  const std::optional<int> width = ReadNumber(settings_, "Width");
  const std::optional<int> height = ReadNumber(settings_, "Height");
  resize(width && *width >= 200 && *width <= 10000 ? *width : kDefaultWidth,
         height && *height >= 150 && *height <= 10000 ? *height : kDefaultHeight);

  QHeaderView* header = table_->horizontalHeader();
  const auto widths = ReadNumberList(settings_.Read(kLibrarySection, "ColumnWidths"));
  if (widths && widths->size() == static_cast<size_t>(kLibraryColumnCount)) {
    for (int i = 0; i < kLibraryColumnCount; ++i) {
      const int w = (*widths)[static_cast<size_t>(i)];
      if (w >= 10 && w <= 4000) header->resizeSection(i, w);
    }
  }
  // The order is taken only when it names every column once.
  const auto order = ReadNumberList(settings_.Read(kLibrarySection, "ColumnOrder"));
  if (order && order->size() == static_cast<size_t>(kLibraryColumnCount) &&
      std::set<int>(order->begin(), order->end()) == std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}) {
    for (int place = 0; place < kLibraryColumnCount; ++place)
      header->moveSection(header->visualIndex((*order)[static_cast<size_t>(place)]), place);
  }
  const std::optional<int> column = ReadNumber(settings_, "SortColumn");
  const std::optional<int> descending = ReadNumber(settings_, "SortDescending");
  header->setSortIndicator(column && *column >= 0 && *column < kLibraryColumnCount ? *column : 0,
                           descending.value_or(0) == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
  // Sorting by the header from now on; turning it on sorts by the indicator.
  table_->setSortingEnabled(true);
}

}  // namespace quillon
