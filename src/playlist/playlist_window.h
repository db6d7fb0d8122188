// The playlist window "PlayList": the list of charts with its button bar and File menu, drawn
// with Qt Widgets over the headless Playlist model. Every user action is handed to the model and
// the rows are then redrawn from it; the questions and dialogs the model asks for are answered
// here through small virtuals, so tests can put their own answers in.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "playlist/playlist.h"
#include "resources/string_table.h"

class QMimeData;
class QTimer;

namespace quillon {

// The list control: forwards its keys and the file lists dropped on it to the window.
class PlaylistTree : public QTreeWidget {
 public:
  explicit PlaylistTree(QWidget* parent = nullptr);

  std::function<void()> on_start;
  std::function<void()> on_stop;
  std::function<void()> on_delete;
  std::function<void(int)> on_move;
  std::function<void(const QMimeData&)> on_drop;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The length column holds "00:00" whole in the font in use, and is never narrower than 38.
  void FitLengthColumn();
  friend class PlaylistWindow;
};

// The local files of a dropped text/uri-list, in the order given; URLs that are not local files
// are left out.
std::vector<std::string> DroppedFiles(const QMimeData& mime);

class PlaylistWindow : public QMainWindow, public PlaylistView {
 public:
  enum class FileDialogKind { Open, Save };

  explicit PlaylistWindow(PlaylistHost& host,
                          bool japanese_ui = DetectUiLanguage() == UiLanguage::Japanese,
                          QWidget* parent = nullptr);

  Playlist& playlist() { return playlist_; }
  PlaylistTree* list() const { return list_; }

  // Redraws the rows, their colours and the selection from the model. The main window calls it
  // after it changed the list itself (Previous, Next, loading a chart).
  void Refresh();

  // Window load: reads the default playlist when it exists.
  void LoadDefault(const std::string& path);
  // Program end: writes the default playlist without a question.
  bool SaveDefault(const std::string& path);

  // Files dropped on the list: a .bpl is opened, anything else appended.
  void DropOnList(const QMimeData& mime);

  // PlaylistView
  SaveAnswer AskSaveChanges() override;
  std::string ChooseOpenFile() override;
  std::string ChooseSaveFile() override;
  void ReportSaveError(const std::string& message) override;
  void ReportRefusedFiles(const std::string& message) override;
  void ArmPlayStart() override;

 protected:
  // The Yes/No/Cancel question; returns the button pressed.
  virtual QMessageBox::StandardButton ShowSaveQuestion(const QString& text, const QString& caption);
  // The open or save dialog, starting in the current directory; empty when cancelled. The save
  // dialog adds ".bpl" to a name typed without one before it asks about overwriting.
  virtual QString RunFileDialog(FileDialogKind kind);
  virtual void ShowError(const QString& text);

  // The close box only hides the window: the list stays in memory until the program ends.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  // Runs a model action that may change the rows, then redraws them.
  void Act(const std::function<void()>& action);
  void HideByUser();
  StringTable Strings() const {
    return StringTable(japanese_ui_ ? UiLanguage::Japanese : UiLanguage::English);
  }

  Playlist playlist_;
  bool japanese_ui_;
  PlaylistTree* list_ = nullptr;
  QTimer* play_start_timer_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace quillon
