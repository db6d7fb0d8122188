#include "shell/remote_channel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "shell/remote_commands.h"

namespace quillon {
namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;

// A folder that only its owner, this user, may use. `follow_links`: a symbolic link to such a
// folder counts too (the runtime folder may be one); a folder we made ourselves must not be one.
bool IsPrivateFolder(const std::string& folder, bool follow_links) {
  struct stat info {};
  const int result = follow_links ? stat(folder.c_str(), &info) : lstat(folder.c_str(), &info);
  return result == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 077) == 0;
}

// Cuts incoming bytes into lines. A line longer than kMaxRemoteText (its CR not counted) is
// dropped, and so is everything up to its line end; memory per connection stays bounded.
template <typename OnLine>
void SplitLines(std::string_view bytes, std::string& pending, bool& discarding, OnLine&& on_line) {
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
      if (discarding) return;
      pending.append(bytes);
      // One byte of room for a CR that may come before the line end.
      if (static_cast<qint64>(pending.size()) > kMaxRemoteText + 1) {
        pending.clear();
        pending.shrink_to_fit();
        discarding = true;
      }
      return;
    }
    const std::string_view tail = bytes.substr(0, end);
    bytes.remove_prefix(end + 1);
    if (discarding) {
      discarding = false;
      continue;
    }
    pending.append(tail);
    if (!pending.empty() && pending.back() == '\r') pending.pop_back();
    if (static_cast<qint64>(pending.size()) <= kMaxRemoteText) on_line(std::string_view(pending));
    pending.clear();
  }
}

QString DefaultPath(const QString& path) {
  return path.isEmpty() ? QString::fromStdString(RemoteSocketPath()) : path;
}

// The local sockets need an application object for their event handling; a command-line client
// may run before there is one.
std::unique_ptr<QCoreApplication> EnsureApplication() {
  if (QCoreApplication::instance()) return nullptr;
  static int argc = 1;
  static char name[] = "quillon";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace

bool EnsurePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(folder, /*follow_links=*/false);
}

std::string RemoteSocketPath() {
  // Asking Qt for the runtime folder without XDG_RUNTIME_DIR would make one of Qt's own choice.
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const std::string runtime =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
            .toStdString();
    if (!runtime.empty() && IsPrivateFolder(runtime, /*follow_links=*/true))
      return runtime + "/quillon";
  }
  const std::string folder = "/tmp/quillon-" + std::to_string(geteuid());
  if (!EnsurePrivateFolder(folder)) return {};
  return folder + "/quillon";
}

// ---- RemoteServer ----

RemoteServer::RemoteServer(QObject* parent) : QObject(parent) {
  // Many clients may connect at once (a script starting several); the surplus over
  // kMaxRemoteClients is answered and closed rather than left waiting.
  server_.setMaxPendingConnections(256);
  server_.setListenBacklogSize(256);
  connect(&server_, &QLocalServer::newConnection, this, [this] { AcceptClients(); });
  watch_.setSingleShot(true);
  connect(&watch_, &QTimer::timeout, this, [this] { Watch(); });
}

RemoteServer::~RemoteServer() {
  watch_.stop();
  // The sockets are children of server_ and go with it; nothing of theirs may call back here.
  for (const auto& entry : clients_)
    QObject::disconnect(entry.first, nullptr, this, nullptr);
  clients_.clear();
  StopListening();
}

bool RemoteServer::Listen(std::string* error, const QString& path) {
  path_ = DefaultPath(path);
  const bool listening = TryListen(error);
  if (!path_.isEmpty()) watch_.start(listening ? kRemoteCheckIntervalMs : kRemoteRetryIntervalMs);
  return listening;
}

bool RemoteServer::Listening() const {
  return server_.isListening() && OwnsSocketFile();
}

// The socket is made under a name of its own and then linked to the public path: the link never
// replaces a file that is there, and Qt, which only knows the private name, never removes the
// public one (a close or a failed accept would). The public file is removed by StopListening,
// and only while it is still this server's.
bool RemoteServer::TryListen(std::string* error) {
  const auto fail = [error](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (path_.isEmpty())
    return fail("quillon: no folder private to this user for the remote-control socket");
  const std::string file = QFile::encodeName(path_).toStdString();
  StopListening();

  struct stat info {};
  if (lstat(file.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode))
      return fail("quillon: " + file + " exists and is not a socket; remote control is off");
    if (RemoteInstanceRunning(path_))
      return fail("quillon: another Quillon already listens at " + file);
    // Left by an instance that ended without closing it.
    unlink(file.c_str());
  }

  const QString private_name = path_ + QStringLiteral(".new-%1").arg(getpid());
  const std::string private_file = QFile::encodeName(private_name).toStdString();
  unlink(private_file.c_str());
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_.listen(private_name))
    return fail("quillon: cannot listen at " + file + ": " + server_.errorString().toStdString());
  const bool linked = link(private_file.c_str(), file.c_str()) == 0;
  const int link_error = errno;
  unlink(private_file.c_str());
  if (!linked) {
    server_.close();
    if (link_error == EEXIST) return fail("quillon: another Quillon already listens at " + file);
    return fail("quillon: cannot listen at " + file + ": " + std::strerror(link_error));
  }
  if (lstat(file.c_str(), &info) == 0) {
    if ((info.st_mode & 077) != 0) chmod(file.c_str(), 0600);
    owns_file_ = true;
    file_device_ = info.st_dev;
    file_inode_ = info.st_ino;
  }
  return true;
}

void RemoteServer::StopListening() {
  if (OwnsSocketFile()) unlink(QFile::encodeName(path_).constData());
  owns_file_ = false;
  if (server_.isListening()) server_.close();
}

bool RemoteServer::OwnsSocketFile() const {
  if (!owns_file_) return false;
  struct stat info {};
  return lstat(QFile::encodeName(path_).constData(), &info) == 0 && info.st_dev == file_device_ &&
         info.st_ino == file_inode_;
}

// Runs every few seconds: a server that still listens at its own file only checks; one that lost
// its socket (a failed accept closed it) or its file (removed, or replaced by another instance),
// or never had one, tries to listen again.
void RemoteServer::Watch() {
  if (Listening()) {
    watch_.start(kRemoteCheckIntervalMs);
    return;
  }
  watch_.start(TryListen(nullptr) ? kRemoteCheckIntervalMs : kRemoteRetryIntervalMs);
}

void RemoteServer::AcceptClients() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    if (static_cast<int>(clients_.size()) >= kMaxRemoteClients) {
      // Told why, and closed before it can hold a descriptor.
      socket->write("PBUSY\n");
      socket->flush();
      socket->abort();
      socket->deleteLater();
      continue;
    }
    clients_.emplace(socket, Client{});
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadClient(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      // Lines that arrived together with the end of the connection still count.
      ReadClient(socket);
      RemoveClient(socket);
    });
    // A client that connected and went away before we got to it.
    if (socket->state() != QLocalSocket::ConnectedState) {
      ReadClient(socket);
      RemoveClient(socket);
    }
  }
}

void RemoteServer::ReadClient(QLocalSocket* socket) {
  const auto it = clients_.find(socket);
  if (it == clients_.end()) return;
  // A connection that a failed write has just closed has nothing left to read.
  if (socket->bytesAvailable() <= 0) return;
  Client& client = it->second;
  const QByteArray bytes = socket->readAll();
  const size_t before = queue_.size();
  SplitLines(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), client.pending,
             client.discarding, [this, &client](std::string_view line) {
               if (TakesRemoteControl(line)) client.controls = true;
               queue_.push_back(Queued{std::string(line)});
             });
  if (queue_.size() != before) PostDelivery();
}

void RemoteServer::RemoveClient(QLocalSocket* socket) {
  if (!clients_.contains(socket)) return;
  ForgetClient(socket);
  socket->deleteLater();
}

void RemoteServer::DropClient(QLocalSocket* socket) {
  if (!clients_.contains(socket)) return;
  ForgetClient(socket);
  QObject::disconnect(socket, nullptr, this, nullptr);
  socket->abort();
  socket->deleteLater();
}

// The end of control is queued behind the client's own lines, so that a client that sends a
// command and leaves at once has its command carried out first.
void RemoteServer::ForgetClient(QLocalSocket* socket) {
  const auto it = clients_.find(socket);
  const bool controlled = it->second.controls;
  clients_.erase(it);
  if (controlled && !AnyClientControls()) {
    queue_.push_back(Queued{{}, /*end_of_control=*/true});
    PostDelivery();
  }
}

bool RemoteServer::AnyClientControls() const {
  return std::any_of(clients_.begin(), clients_.end(),
                     [](const auto& entry) { return entry.second.controls; });
}

// Lines are handed over from a posted call rather than from the socket's own signal: a handler
// that runs a nested event loop must not have a socket's signal on the stack, as that socket may
// be deleted meanwhile.
void RemoteServer::PostDelivery() {
  if (delivery_posted_) return;
  delivery_posted_ = true;
  QMetaObject::invokeMethod(
      this, [this] { DeliverQueued(); }, Qt::QueuedConnection);
}

void RemoteServer::DeliverQueued() {
  delivery_posted_ = false;
  const QPointer<RemoteServer> alive(this);
  while (!queue_.empty()) {
    const Queued item = std::move(queue_.front());
    queue_.pop_front();
    // Should the handler run a nested event loop, the lines after this one are handled there.
    if (!queue_.empty()) PostDelivery();
    if (item.end_of_control) {
      // A client that took control since has it now.
      if (on_control_ended && !AnyClientControls()) on_control_ended();
    } else if (on_text) {
      on_text(item.text);
    }
    if (!alive) return;
  }
}

void RemoteServer::Broadcast(std::string_view text) {
  QByteArray line(text.data(), static_cast<qsizetype>(text.size()));
  line.append('\n');
  // A write may find a client gone and remove it at once, so walk over a copy.
  std::vector<QLocalSocket*> sockets;
  sockets.reserve(clients_.size());
  for (const auto& entry : clients_)
    sockets.push_back(entry.first);
  for (QLocalSocket* socket : sockets) {
    if (!clients_.contains(socket)) continue;
    if (socket->bytesToWrite() + line.size() > kMaxRemoteBacklog) {
      DropClient(socket);
      continue;
    }
    socket->write(line);
    // Hands what the system takes to it now; the rest goes out from the event loop.
    if (clients_.contains(socket)) socket->flush();
  }
}

// ---- Clients ----

bool RemoteInstanceRunning(const QString& path) {
  const QString name = DefaultPath(path);
  if (name.isEmpty()) return false;
  const auto app = EnsureApplication();
  QLocalSocket socket;
  socket.connectToServer(name);
  const bool running = socket.waitForConnected(kConnectTimeoutMs);
  socket.abort();
  return running;
}

int RunRemoteClient(const std::vector<std::string>& texts, int wait_ms, std::ostream& out,
                    std::ostream& err, const QString& path) {
  for (const std::string& text : texts) {
    if (text.find_first_of("\r\n") != std::string::npos) {
      err << "quillon: a remote text cannot hold a line end\n";
      return 2;
    }
  }
  const QString name = DefaultPath(path);
  const auto app = EnsureApplication();
  QLocalSocket socket;
  if (!name.isEmpty()) socket.connectToServer(name);
  if (name.isEmpty() || !socket.waitForConnected(kConnectTimeoutMs)) {
    err << "quillon: no running Quillon (nothing listens at " << QFile::encodeName(name).data()
        << ")\n";
    return 2;
  }

  QByteArray bytes;
  for (const std::string& text : texts) {
    const std::string resolved = ResolveRemoteText(text);
    bytes.append(resolved.data(), static_cast<qsizetype>(resolved.size()));
    bytes.append('\n');
  }
  socket.write(bytes);
  while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(kWriteTimeoutMs)) {
  }

  std::string pending;
  bool discarding = false;
  // Each notification is flushed at once, so a script reading the output sees it as it comes.
  const auto print = [&out](std::string_view line) { out << line << std::endl; };
  const auto take = [&] {
    if (socket.bytesAvailable() <= 0) return;
    const QByteArray received = socket.readAll();
    SplitLines(std::string_view(received.constData(), static_cast<size_t>(received.size())),
               pending, discarding, print);
  };
  const QDeadlineTimer deadline(wait_ms);
  while (!deadline.hasExpired() && socket.state() == QLocalSocket::ConnectedState) {
    if (socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) take();
  }
  take();
  out.flush();
  socket.abort();
  return 0;
}

}  // namespace quillon
