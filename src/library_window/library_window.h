// The library window "Library": every chart under the user's library folders in one table, with
// a search box, mode and level filters, and the buttons that play a chart, add rows to the
// playlist, show a chart in its folder, edit the folders and scan them. A thin view: the rows
// come from the library's database and search, and what it asks of the main window goes through
// LibraryHost.
//
// Threads: the window lives on the UI thread. Every database use runs on its LibraryWorker; the
// results come back as continuations queued on the window's event loop. Nothing here waits for
// the database.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QTableView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "library/library.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace quillon {

class LibraryModel;
class LibraryWorker;

// What the library window asks of the main window.
class LibraryHost {
 public:
  virtual ~LibraryHost() = default;
  // Loads the chart at `path` (bytes) and plays it.
  virtual void PlayLibraryChart(const std::string& path) = 0;
  // Appends the charts to the playlist, in this order.
  virtual void AddLibraryChartsToPlaylist(const std::vector<std::string>& paths) = 0;
};

// The table: Enter plays, rows drag out as files.
class LibraryTable : public QTableView {
 public:
  explicit LibraryTable(QWidget* parent = nullptr);
  std::function<void()> on_enter;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class LibraryWindow;

// "Library folders": the folders with Add and Remove. Changes go to the database at once.
class LibraryFoldersDialog : public QDialog {
 public:
  LibraryFoldersDialog(LibraryWindow& window, const StringTable& strings);
  void SetFolders(const std::vector<std::string>& folders);
  QListWidget* list() const { return list_; }
  QPushButton* add_button() const { return add_; }
  QPushButton* remove_button() const { return remove_; }

 private:
  LibraryWindow& window_;
  QListWidget* list_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
};

// The [Library] section of the settings: the window's size and its columns.
inline constexpr std::string_view kLibrarySection = "Library";

class LibraryWindow : public QMainWindow {
 public:
  LibraryWindow(LibraryHost& host, SettingsStore& settings, std::string database_path,
                UiLanguage language = DetectUiLanguage(), QWidget* parent = nullptr);
  ~LibraryWindow() override;

  // Opens the database and reads its rows (on the worker); the first show does it.
  void OpenDatabase();
  // Scans every library folder; the table is read again when it ends.
  void StartScan();
  void CancelScan();
  // Adds or removes a library folder (bytes), then reads the folders and rows again.
  void AddFolder(const std::string& folder);
  void RemoveFolder(const std::string& folder);
  // Opens the folders dialog (made on first use).
  void ShowFoldersDialog();

  // The selected charts' paths, in table order.
  std::vector<std::string> SelectedPaths() const;
  void PlayCurrent();
  void AddSelectedToPlaylist();
  void ShowSelectedInFolder();

  // Stores the size, column widths and order and the sort in [Library] (done when hidden).
  void SaveLayout();

  // True while a database job is queued or running, or its result is not shown yet.
  bool Busy() const;
  bool Scanning() const { return scanning_; }
  const std::vector<std::string>& folders() const { return folders_; }
  LibraryModel* model() const { return model_; }
  LibraryTable* table() const { return table_; }
  QLineEdit* search_box() const { return search_; }
  QComboBox* mode_box() const { return mode_; }
  QSpinBox* min_level_box() const { return min_level_; }
  QSpinBox* max_level_box() const { return max_level_; }
  QPushButton* scan_button() const { return scan_; }
  QPushButton* cancel_button() const { return cancel_; }
  LibraryFoldersDialog* folders_dialog() const { return folders_dialog_; }
  QString StatusText() const;

 protected:
  // The refused database's question: true to rebuild.
  virtual bool AskRebuild(const QString& message);
  virtual void ShowMessage(const QString& text);
  // The folder chooser; empty when cancelled.
  virtual QString ChooseFolder();
  virtual void ShowInFolder(const QString& path);

  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Snapshot {
    std::vector<std::string> folders;
    std::shared_ptr<const LibrarySearch> rows;
  };
  static Snapshot ReadSnapshot(LibraryDatabase& db);
  void Apply(const Snapshot& snapshot);
  void Rebuild();
  void ApplyFilter();
  void ShowCount();
  void ShowProgress(const ScanProgress& progress);
  void ScanEnded(const ScanProgress& progress);
  void SetScanning(bool on);
  void RestoreLayout();
  // Runs a job on the worker; its continuation runs here.
  void Run(std::function<std::function<void()>(LibraryDatabase&)> job);
  QString Text(int id) const { return QString::fromStdString(strings_.Get(id)); }
  friend class LibraryFoldersDialog;

  LibraryHost& host_;
  SettingsStore& settings_;
  std::string database_path_;
  StringTable strings_;
  LibraryModel* model_ = nullptr;
  LibraryTable* table_ = nullptr;
  QLineEdit* search_ = nullptr;
  QComboBox* mode_ = nullptr;
  QSpinBox* min_level_ = nullptr;
  QSpinBox* max_level_ = nullptr;
  QPushButton* scan_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* folders_button_ = nullptr;
  QLabel* status_ = nullptr;
  LibraryFoldersDialog* folders_dialog_ = nullptr;
  std::vector<std::string> folders_;
  bool opened_ = false;  // OpenDatabase has run
  bool usable_ = false;  // the database is open
  bool scanning_ = false;
  std::unique_ptr<LibraryWorker> worker_;
};

}  // namespace quillon
