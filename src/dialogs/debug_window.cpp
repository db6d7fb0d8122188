#include "dialogs/debug_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <map>
#include <utility>

#include "platform/debug_log.h"
#include "platform/text_encoding.h"

namespace quillon {

namespace {

// The window that receives each registry's surfaces (the registry has one listener). A window
// made later takes the list over; the older one, closed or destroyed, must then leave it alone.
std::map<const SurfaceRegistry*, const DebugWindow*>& ListeningWindows() {
  static std::map<const SurfaceRegistry*, const DebugWindow*> windows;
  return windows;
}

QString RowKey(SurfaceHandle dc) {
  return QStringLiteral("#") + QString::number(dc);
}

// The Japanese fixed-pitch font the trace list was laid out for, else the system's fixed font.
QFont TraceFont() {
  const QString family = QString::fromUtf8("ＭＳ ゴシック");
  if (QFontDatabase::hasFamily(family)) return QFont(family);
  return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

QString CreatedText(std::chrono::system_clock::time_point created) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(created.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

}  // namespace

DebugWindow::DebugWindow(SurfaceRegistry& surfaces, std::function<double()> elapsed_ms,
                         std::string log_path, QWidget* parent)
    : QWidget(parent, Qt::Window),
      surfaces_(surfaces),
      elapsed_ms_(std::move(elapsed_ms)),
      log_path_(std::move(log_path)) {
  setObjectName(QStringLiteral("frmDebug"));
  setWindowTitle(QStringLiteral("Debug Window"));

  menu_bar_ = new QMenuBar(this);
  clear_action_ = menu_bar_->addAction(QStringLiteral("Clear(&C)"));
  clear_action_->setObjectName(QStringLiteral("mnuClear"));
  connect(clear_action_, &QAction::triggered, this, [this] { list_->clear(); });

  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lstDebug"));
  list_->setFont(TraceFont());
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Every row is one line of one font: lets a list of many thousand lines scroll quickly.
  list_->setUniformItemSizes(true);

  surface_list_ = new QTreeWidget(this);
  surface_list_->setObjectName(QStringLiteral("lvwDCList"));
  surface_list_->setRootIsDecorated(false);
  surface_list_->setHeaderLabels({QStringLiteral("DC"), QStringLiteral("OBJ"), QStringLiteral("W"),
                                  QStringLiteral("H"), QStringLiteral("Bit"),
                                  QStringLiteral("TIME"), QStringLiteral("more")});
  // Narrow number columns, so that the time and the name are seen without scrolling.
  const int widths[] = {56, 56, 48, 48, 40, 150};
  for (int c = 0; c < 6; ++c)
    surface_list_->setColumnWidth(c, widths[c]);

  resize(640, 480);
  Attach();
}

DebugWindow::~DebugWindow() {
  Detach();
}

bool DebugWindow::Listening() const {
  const auto it = ListeningWindows().find(&surfaces_);
  return it != ListeningWindows().end() && it->second == this;
}

void DebugWindow::Attach() {
  if (Listening()) return;
  ListeningWindows()[&surfaces_] = this;
  surfaces_.SetListener(this);
}

void DebugWindow::Detach() {
  if (!Listening()) return;
  ListeningWindows().erase(&surfaces_);
  surfaces_.SetListener(nullptr);
}

void DebugWindow::SetListLimit(int limit) {
  list_limit_ = std::max(limit, 1);
  while (list_->count() > list_limit_)
    delete list_->takeItem(0);
}

void DebugWindow::AddListLine(const QString& text) {
  list_->addItem(text);
  while (list_->count() > list_limit_)
    delete list_->takeItem(0);
  QListWidgetItem* last = list_->item(list_->count() - 1);
  list_->setCurrentItem(last);
  list_->scrollToItem(last);
}

void DebugWindow::WriteDebugLog(std::string_view text) {
  const std::string line = DebugLine(elapsed_ms_ ? elapsed_ms_() : 0.0, text);
  AddListLine(QString::fromStdString(DecodeChartText(line)));

  std::string error;
  if (AppendDebugLine(log_path_, line, &error)) {
    log_failure_reported_ = false;
  } else if (!log_failure_reported_) {
    // Said once, not on every line: the trace itself goes on in the list.
    log_failure_reported_ = true;
    AddListLine(QString::fromStdString(log_path_) + QStringLiteral(": ") +
                QString::fromLocal8Bit(error.c_str()));
  }
  // The writers often run in a long step on this thread (loading): show the line now.
  if (list_->isVisible()) list_->viewport()->repaint();
}

void DebugWindow::SurfaceCreated(const SurfaceInfo& info) {
  const QString key = RowKey(info.Dc);
  // Handles are not reused while alive, but a stale row must never hide the new surface.
  delete rows_.take(key);
  auto* row = new QTreeWidgetItem(surface_list_);
  row->setText(0, QString::number(info.Dc));
  row->setText(1, QString::number(info.Bitmap));
  row->setText(2, QString::number(info.Width));
  row->setText(3, QString::number(info.Height));
  row->setText(4, QString::number(info.Depth));
  row->setText(5, CreatedText(info.Created));
  row->setText(6, QString::fromStdString(info.Name));
  rows_.insert(key, row);
}

void DebugWindow::SurfaceFreed(SurfaceHandle dc) {
  delete rows_.take(RowKey(dc));
}

bool DebugWindow::AskQuit() {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Quit confirming"), QStringLiteral("Quit?"),
                  QMessageBox::Yes | QMessageBox::No, this);
  return box.exec() == QMessageBox::Yes;
}

void DebugWindow::closeEvent(QCloseEvent* event) {
  if (!AskQuit()) {
    event->ignore();
    return;
  }
  event->accept();
  Detach();
  if (on_closed) on_closed();
}

void DebugWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (Listening()) return;
  list_->clear();
  rows_.clear();
  surface_list_->clear();
  log_failure_reported_ = false;
  Attach();
}

void DebugWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int bar = menu_bar_->sizeHint().height();
  const int w = width();
  const int h = std::max(height() - bar, 0);
  menu_bar_->setGeometry(0, 0, w, bar);
  list_->setGeometry(0, bar, w, h / 3);
  surface_list_->setGeometry(0, bar + h / 3 + 1, w, h * 2 / 3);
}

}  // namespace quillon
