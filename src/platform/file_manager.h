// Showing a chart file in the desktop's file manager: the folder opens with the file selected.
//
// The request is the freedesktop file manager's "show items" call on the session bus, sent
// without waiting for the answer so the window never stalls on a slow file manager. When there is
// no session bus, or the call comes back with an error (no file manager owns the name, a
// time-out), the folder itself is opened with the desktop's default handler instead.
#pragma once

#include <QDBusMessage>
#include <QString>
#include <QUrl>
#include <functional>

namespace quillon {

// The org.freedesktop.FileManager1 ShowItems call for `path` (made absolute from the current
// directory): arguments [the file's URL, fully encoded], "" (no start-up id).
QDBusMessage ShowItemsMessage(const QString& path);

// The folder that holds `path`, as a file URL.
QUrl FolderUrl(const QString& path);

// How a request leaves the program; tests put their own in.
struct FileManagerPorts {
  // Sends `call` and returns true, running `answered` later (or at once) with true when the file
  // manager took it; returns false when there is nothing to send on.
  std::function<bool(const QDBusMessage& call, std::function<void(bool)> answered)> send;
  // Opens a URL with the desktop's default handler; true when that was started.
  std::function<bool(const QUrl&)> open_url;
};

// The session bus (with a time-out of a few seconds) and QDesktopServices.
FileManagerPorts SystemFileManagerPorts();

// Asks the file manager to show `path` selected in its folder, falling back to opening the folder.
// True when something was asked; an empty path asks nothing.
bool ShowInFileManager(const QString& path, const FileManagerPorts& ports);
bool ShowInFileManager(const QString& path);

}  // namespace quillon
