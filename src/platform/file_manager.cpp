#include "platform/file_manager.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

namespace quillon {
namespace {

// Long enough for a file manager that has to start first; the window does not wait for it.
constexpr int kCallTimeoutMs = 5000;

QString AbsolutePath(const QString& path) {
  return QFileInfo(path).absoluteFilePath();
}

bool SendOnSessionBus(const QDBusMessage& call, std::function<void(bool)> answered) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [answered = std::move(answered)](QDBusPendingCallWatcher* done) {
                     const bool ok = !done->isError();
                     done->deleteLater();
                     if (answered) answered(ok);
                   });
  return true;
}

}  // namespace

QDBusMessage ShowItemsMessage(const QString& path) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  const QString uri = QUrl::fromLocalFile(AbsolutePath(path)).toString(QUrl::FullyEncoded);
  call << QStringList{uri} << QString();
  return call;
}

QUrl FolderUrl(const QString& path) {
  return QUrl::fromLocalFile(QFileInfo(AbsolutePath(path)).absolutePath());
}

FileManagerPorts SystemFileManagerPorts() {
  return {SendOnSessionBus, [](const QUrl& url) { return QDesktopServices::openUrl(url); }};
}

bool ShowInFileManager(const QString& path, const FileManagerPorts& ports) {
  if (path.isEmpty()) return false;
  const QUrl folder = FolderUrl(path);
  auto open_folder = [open_url = ports.open_url, folder] {
    return open_url ? open_url(folder) : false;
  };
  if (ports.send) {
    const bool sent = ports.send(ShowItemsMessage(path), [open_folder](bool ok) {
      if (!ok) open_folder();
    });
    if (sent) return true;
  }
  return open_folder();
}

bool ShowInFileManager(const QString& path) {
  return ShowInFileManager(path, SystemFileManagerPorts());
}

}  // namespace quillon
