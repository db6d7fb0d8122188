// The debug window "Debug Window": the trace lines written while it is open (also appended to the
// log file) and the list of live off-screen surfaces, so that leaks can be seen.
//
// It lists only what happens while it is open: the trace list and the surface list start empty,
// and surfaces made before it was opened are not listed. The callers (loader, scheduler, drawing
// code) write to it only while the main window's debug-logging flag is on; the window turns that
// flag off through on_closed.
//
// Threads: UI thread only.
#pragma once

#include <QHash>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

#include "platform/surface.h"

class QAction;
class QListWidget;
class QMenuBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillon {

class DebugWindow : public QWidget, public SurfaceListener {
 public:
  // Oldest on-screen lines are dropped beyond this many; the file is not bounded.
  static constexpr int kListLimit = 100000;

  // `elapsed_ms`: the play clock's ElapsedMs now. `log_path`: the log file, by default Debug.txt
  // in the current directory. With a parent it is a separate window owned by that window. It
  // becomes the surface registry's listener at once (taking over from an older debug window).
  DebugWindow(SurfaceRegistry& surfaces, std::function<double()> elapsed_ms,
              std::string log_path = "Debug.txt", QWidget* parent = nullptr);
  // Stops listening to the registry (unless a newer window has taken over), which must still
  // exist.
  ~DebugWindow() override;

  // One trace line: added as the last list item (selected, scrolled to) and appended to the log
  // file. When the file cannot be written the line is still listed, and the failure is reported
  // once by a list line "<log path>: <reason>" until a line gets through again.
  void WriteDebugLog(std::string_view text);

  QListWidget* List() const { return list_; }
  QTreeWidget* SurfaceList() const { return surface_list_; }
  QAction* ClearAction() const { return clear_action_; }

  // The number of lines kept on screen (kListLimit unless changed; at least 1).
  int ListLimit() const { return list_limit_; }
  void SetListLimit(int limit);

  // Called once the user has agreed to close (the main window turns debug logging off). It runs
  // inside closeEvent: to destroy the window from it, use deleteLater.
  std::function<void()> on_closed;

  // SurfaceListener: one row per surface, keyed "#" + device context, with the columns "DC",
  // "OBJ", "W", "H", "Bit", "TIME", "more" (the name the creator gave it).
  void SurfaceCreated(const SurfaceInfo& info) override;
  void SurfaceFreed(SurfaceHandle dc) override;

 protected:
  // "Quit?" titled "Quit confirming" with Yes and No and a question icon; true for Yes.
  virtual bool AskQuit();

  // Any close asks first. No keeps the window open and logging; Yes stops listening to the
  // registry and calls on_closed.
  void closeEvent(QCloseEvent* event) override;
  // Showing the window again after it was closed starts over: empty lists, listening again.
  void showEvent(QShowEvent* event) override;
  // Below the menu bar: the trace list takes the top third, the surface list the rest.
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Whether this window, and not a newer one, gets the registry's surfaces.
  bool Listening() const;
  void Attach();
  void Detach();
  // Adds one line at the end of the trace list, dropping the oldest beyond the limit.
  void AddListLine(const QString& text);

  SurfaceRegistry& surfaces_;
  std::function<double()> elapsed_ms_;
  std::string log_path_;
  QMenuBar* menu_bar_ = nullptr;
  QAction* clear_action_ = nullptr;
  QListWidget* list_ = nullptr;
  QTreeWidget* surface_list_ = nullptr;
  QHash<QString, QTreeWidgetItem*> rows_;  // by row key
  int list_limit_ = kListLimit;
  bool log_failure_reported_ = false;
};

}  // namespace quillon
