// The remote-control channel: a per-user local socket that carries the texts of the
// remote-control item DDEP, one text per line each way. A text is bytes: commands are ASCII, and a
// path in a command keeps the bytes of the file's name (a CP932 name stays CP932). Clients send
// commands ("L..."), the viewer broadcasts its notifications ("P...") to every connected client.
// The server only moves lines; what a text means is decided by HandleRemoteText
// (remote_commands.h).
//
// The channel is never lost for good: the server keeps at most kMaxRemoteClients connections,
// and it listens again when its socket stops listening (Qt closes a server whose accept fails)
// or its socket file is removed or replaced; an instance that found another one listening takes
// the path over once that one has gone.
//
// Threads: a RemoteServer lives on the thread that made it (the UI thread in the program) and is
// driven by that thread's event loop; it never blocks it. RunRemoteClient and
// RemoteInstanceRunning block their caller for at most their timeouts.
#pragma once

#include <sys/types.h>

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QLocalSocket;

namespace quillon {

// The socket's path: $XDG_RUNTIME_DIR/quillon (QStandardPaths::RuntimeLocation, which Qt keeps
// 0700), else /tmp/quillon-<uid>/quillon in a private folder (see EnsurePrivateFolder). Empty
// when neither folder is private to this user: the channel is then not used.
std::string RemoteSocketPath();

// Makes `folder` with mode 0700 when it is missing. True when it then is a real folder (not a
// symbolic link) owned by this user that neither group nor others may enter, read or write.
bool EnsurePrivateFolder(const std::string& folder);

// The longest text a client may send; a longer line is dropped without being handled, and the
// rest of that client's input is read on from the next line end.
inline constexpr qint64 kMaxRemoteText = 64 * 1024;
// The most output the server keeps for one client that does not read; past it the client is
// disconnected, so that the viewer never blocks or grows without bound.
inline constexpr qint64 kMaxRemoteBacklog = 1024 * 1024;
// The most clients connected at once; a further one is sent "PBUSY" and closed at once, so idle
// connections can never use up the viewer's file descriptors.
inline constexpr int kMaxRemoteClients = 32;
// How often a listening server checks that its socket still listens and its file is still its
// own (one stat), and how often a server without a socket tries to get one.
inline constexpr int kRemoteCheckIntervalMs = 2000;
inline constexpr int kRemoteRetryIntervalMs = 3000;

// The server in the main window.
class RemoteServer : public QObject {
 public:
  explicit RemoteServer(QObject* parent = nullptr);
  ~RemoteServer() override;
  RemoteServer(const RemoteServer&) = delete;
  RemoteServer& operator=(const RemoteServer&) = delete;

  // Listens at `path` (default RemoteSocketPath()). A socket file left by a crashed instance
  // (nobody answers on it) is removed first; when another instance answers, or the path holds
  // something that is not a socket, returns false and `error` says why. The socket file is
  // readable and writable by this user only. Either way the server keeps watching the path from
  // the event loop: it listens again whenever it has no socket there and can get one.
  bool Listen(std::string* error = nullptr, const QString& path = {});
  // True while the server listens at its path.
  bool Listening() const;

  // Every complete line a client sends, without its line end (a trailing CR is removed too),
  // byte for byte. Called from the event loop, never from inside Broadcast; it may run a nested
  // event loop, during which further lines are delivered in order.
  std::function<void(const std::string&)> on_text;
  // Called when the last connected client that sent a text that takes control
  // (TakesRemoteControl: an "L" text other than LADD and LPLAYLIST) has gone, after
  // its lines have been delivered (and only if no other such client is connected by then).
  std::function<void()> on_control_ended;

  // Sends `text` + "\n" to every connected client. A client whose unsent output would pass
  // kMaxRemoteBacklog is disconnected instead.
  void Broadcast(std::string_view text);

  int ClientCount() const { return static_cast<int>(clients_.size()); }
  // The path the server listens at, or will listen at once it can.
  QString ServerPath() const { return path_; }

 private:
  // What has arrived of a client's current line.
  struct Client {
    std::string pending;
    bool discarding = false;  // inside a line that was too long: skip to the next line end
    bool controls = false;    // has sent a text that takes control
  };
  // A line to hand to on_text, or (end_of_control) the point where a controlling client left.
  struct Queued {
    std::string text;
    bool end_of_control = false;
  };

  bool TryListen(std::string* error);
  void StopListening();
  bool OwnsSocketFile() const;
  void Watch();
  void AcceptClients();
  void ReadClient(QLocalSocket* socket);
  void RemoveClient(QLocalSocket* socket);
  void DropClient(QLocalSocket* socket);
  void ForgetClient(QLocalSocket* socket);
  bool AnyClientControls() const;
  void PostDelivery();
  void DeliverQueued();

  QLocalServer server_;
  QString path_;
  // The socket file this server made at path_ (device and inode), while it has one.
  bool owns_file_ = false;
  dev_t file_device_ = 0;
  ino_t file_inode_ = 0;
  QTimer watch_;
  std::unordered_map<QLocalSocket*, Client> clients_;
  std::deque<Queued> queue_;  // lines received and not yet handed to on_text
  bool delivery_posted_ = false;
};

// The client: connects to `path` (default RemoteSocketPath()), sends each text as one line (a
// relative chart path in it made absolute by ResolveRemoteText), then prints every line received
// for `wait_ms` to `out`. Returns 0; or 2 with
// "quillon: no running Quillon (nothing listens at <path>)" on `err` when nothing listens, or with
// a message when a text holds a line end (it would arrive as several commands).
int RunRemoteClient(const std::vector<std::string>& texts, int wait_ms, std::ostream& out,
                    std::ostream& err, const QString& path = {});

// True when an instance listens at `path` (default RemoteSocketPath()).
bool RemoteInstanceRunning(const QString& path = {});

}  // namespace quillon
