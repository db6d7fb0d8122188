#include "shell/remote_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>
#include <sstream>

namespace quillon {
namespace {

// Runs the event loop until `done` holds; gives up after a generous bound so a fault fails the
// test instead of hanging it.
bool RunUntil(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(20'000);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

sockaddr_un Address(const QString& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path);
  std::copy(name.begin(), name.end(), address.sun_path);
  return address;
}

// A client on a bare system socket: it reads only when asked to, and can vanish abruptly.
class RawClient {
 public:
  explicit RawClient(const QString& path) : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
    const sockaddr_un address = Address(path);
    connected_ = connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawClient() { Close(); }
  bool connected() const { return connected_; }
  void Send(const std::string& bytes) {
    ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // Reads what has arrived; false once the server has closed the connection.
  bool Read() {
    char buffer[65536];
    for (;;) {
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0) return false;
      if (n < 0) return true;
      received.append(buffer, static_cast<size_t>(n));
    }
  }
  size_t Lines() const {
    return static_cast<size_t>(std::count(received.begin(), received.end(), '\n'));
  }

  std::string received;

 private:
  int fd_ = -1;
  bool connected_ = false;
};

class RemoteChannelTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    server.on_text = [this](const std::string& text) { texts.push_back(text); };
    std::string error;
    ASSERT_TRUE(server.Listen(&error, path)) << error;
  }

  QTemporaryDir folder;
  QString path = folder.filePath(QStringLiteral("quillon"));
  RemoteServer server;
  std::vector<std::string> texts;
};

TEST_F(RemoteChannelTest, LinesInNotificationsOut) {
  RawClient client(path);
  client.Send("LPAUSE\r\nLLOAD /a b/\xE6\x9B\xB2.bms\nLNE");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 2; }));
  EXPECT_EQ(texts, (std::vector<std::string>{"LPAUSE", "LLOAD /a b/\xE6\x9B\xB2.bms"}));
  client.Send("XT\n");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 3; }));
  EXPECT_EQ(texts.back(), "LNEXT");

  server.Broadcast("PNEXT");
  ASSERT_TRUE(RunUntil([&] { return client.Read() && client.Lines() == 1; }));
  EXPECT_EQ(client.received, "PNEXT\n");
}

TEST_F(RemoteChannelTest, HandlerInANestedLoopGetsTheNextLinesInOrder) {
  // As the play loop does: the handler of one command runs the event loop for a while, and the
  // lines queued behind it and those arriving meanwhile are handled there.
  RawClient client(path);
  server.on_text = [&](const std::string& text) {
    texts.push_back(text);
    if (text != "LPLAY") return;
    if (!RunUntil([&] { return texts.size() == 2; })) return;
    client.Send("LSTOP\n");
    RunUntil([&] { return texts.size() == 3; });
    texts.push_back("LPLAY done");
  };
  client.Send("LPLAY\nLNEXT\n");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 4; }));
  EXPECT_EQ(texts, (std::vector<std::string>{"LPLAY", "LNEXT", "LSTOP", "LPLAY done"}));
}

TEST_F(RemoteChannelTest, OverlongLineIsDroppedAndOthersGoOn) {
  RawClient flooder(path), other(path);
  ASSERT_TRUE(flooder.connected() && other.connected());
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 2; }));
  const std::string chunk(16 * 1024, 'x');
  for (int i = 0; i < 5; ++i) {  // more than kMaxRemoteText without a line end
    flooder.Send(chunk);
    QCoreApplication::processEvents();
  }
  other.Send("LSTOP\n");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 1; }));
  flooder.Send("still the long line\nLPLAY\n" + std::string(kMaxRemoteText, 'y') + "\r\n");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 3; }));
  EXPECT_EQ(texts[0], "LSTOP");
  EXPECT_EQ(texts[1], "LPLAY");
  EXPECT_EQ(texts[2].size(), static_cast<size_t>(kMaxRemoteText));  // the longest text allowed
  EXPECT_EQ(server.ClientCount(), 2);
}

TEST_F(RemoteChannelTest, GarbageAndNulBytesArePassedOnDecoded) {
  RawClient client(path);
  std::string garbage;
  for (int i = 0; i < 4096; ++i)
    garbage += static_cast<char>((i * 7919) % 256);
  client.Send(std::string("\0\xFFL\0X\n", 6) + garbage + "\nLPAUSE\n");
  ASSERT_TRUE(RunUntil([&] { return !texts.empty() && texts.back() == "LPAUSE"; }));
  EXPECT_EQ(texts.front(), std::string("\0\xEF\xBF\xBDL\0X", 7));
}

TEST_F(RemoteChannelTest, HalfLineThenGoneDeliversOnlyWholeLines) {
  {
    RawClient client(path);
    client.Send("LPLAY\nLPAU");
  }
  ASSERT_TRUE(RunUntil([&] { return !texts.empty() && server.ClientCount() == 0; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(texts, std::vector<std::string>{"LPLAY"});
}

TEST_F(RemoteChannelTest, ClientThatNeverReadsIsDropped) {
  RawClient silent(path);
  QLocalSocket reader;
  reader.connectToServer(path);
  ASSERT_TRUE(reader.waitForConnected(5000));
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 2; }));
  const std::string line = "PLENGTH " + std::string(1000, '9');
  qint64 sent = 0, read = 0;
  for (int batch = 0; batch < 30; ++batch) {
    for (int i = 0; i < 100; ++i)
      server.Broadcast(line);
    sent += 100 * static_cast<qint64>(line.size() + 1);
    ASSERT_TRUE(RunUntil([&] {
      read += reader.readAll().size();
      return read == sent;
    }));
  }
  EXPECT_EQ(server.ClientCount(), 1);
  // The silent client finds its connection closed after what the system had taken for it.
  EXPECT_TRUE(RunUntil([&] { return !silent.Read(); }));
  EXPECT_LT(static_cast<qint64>(silent.received.size()), sent);
}

TEST_F(RemoteChannelTest, HundredClientsAllHearABroadcast) {
  std::vector<std::unique_ptr<QLocalSocket>> clients;
  for (int i = 0; i < 100; ++i) {
    clients.push_back(std::make_unique<QLocalSocket>());
    clients.back()->connectToServer(path);
  }
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 100; }));
  server.Broadcast("PENABLED True");
  ASSERT_TRUE(RunUntil([&] {
    return std::all_of(clients.begin(), clients.end(), [](auto& c) { return c->canReadLine(); });
  }));
  for (auto& client : clients)
    EXPECT_EQ(client->readLine(), "PENABLED True\n");
}

TEST_F(RemoteChannelTest, ClientsGoneDuringBroadcastAreForgotten) {
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < 10; ++i)
    clients.push_back(std::make_unique<RawClient>(path));
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 10; }));
  // Half vanish before the server has seen it: its writes meet closed connections.
  for (int i = 0; i < 10; i += 2)
    clients[static_cast<size_t>(i)]->Close();
  for (int i = 0; i < 100; ++i)
    server.Broadcast("PNEXT " + std::string(100, 'n'));
  ASSERT_TRUE(RunUntil([&] {
    for (int i = 1; i < 10; i += 2)
      clients[static_cast<size_t>(i)]->Read();
    return server.ClientCount() == 5 && std::all_of(clients.begin(), clients.end(), [](auto& c) {
             return c->received.empty() || c->Lines() == 100;
           });
  }));
  EXPECT_EQ(clients[1]->Lines(), 100u);
}

TEST_F(RemoteChannelTest, StaleSocketIsReplacedLiveOneKept) {
  // A socket file that nobody answers on, as a crashed instance leaves it.
  const QString stale = folder.filePath(QStringLiteral("stale"));
  const sockaddr_un address = Address(stale);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(fd);
  ASSERT_FALSE(RemoteInstanceRunning(stale));
  RemoteServer replacement;
  std::string error;
  EXPECT_TRUE(replacement.Listen(&error, stale)) << error;
  EXPECT_TRUE(RemoteInstanceRunning(stale));

  // A second instance on the path of a live one leaves it alone.
  RemoteServer second;
  EXPECT_FALSE(second.Listen(&error, path));
  EXPECT_NE(error.find("already listens"), std::string::npos) << error;
  RawClient client(path);
  client.Send("LSTOP\n");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 1; }));

  // Something that is not a socket is never removed.
  const QString file = folder.filePath(QStringLiteral("file"));
  QFile(file).open(QIODevice::WriteOnly);
  EXPECT_FALSE(second.Listen(&error, file));
  EXPECT_TRUE(QFile::exists(file));
}

TEST_F(RemoteChannelTest, SocketAndFoldersArePrivate) {
  struct stat info {};
  ASSERT_EQ(stat(QFile::encodeName(path).constData(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 077, 0u);

  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
  EXPECT_EQ(RemoteSocketPath(), QFile::encodeName(path).toStdString());
  qputenv("XDG_RUNTIME_DIR", saved);

  const std::string made = QFile::encodeName(folder.filePath(QStringLiteral("made"))).toStdString();
  ASSERT_TRUE(EnsurePrivateFolder(made));
  ASSERT_EQ(stat(made.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  const std::string link = made + "-link";
  ASSERT_EQ(symlink(made.c_str(), link.c_str()), 0);
  EXPECT_FALSE(EnsurePrivateFolder(link));
  if (geteuid() == 0) {
    ASSERT_EQ(chown(made.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(EnsurePrivateFolder(made));
    ASSERT_EQ(chown(made.c_str(), 0, 0), 0);
  }
  chmod(made.c_str(), 0750);
  EXPECT_FALSE(EnsurePrivateFolder(made));
}

TEST_F(RemoteChannelTest, ClientPrintsTheAnswersUntilTheServerGoes) {
  const QString none = folder.filePath(QStringLiteral("none"));
  std::ostringstream out, err;
  EXPECT_EQ(RunRemoteClient({"LPAUSE"}, 0, out, err, none), 2);
  EXPECT_EQ(err.str(), "quillon: no running Quillon (nothing listens at " +
                           QFile::encodeName(none).toStdString() + ")\n");
  EXPECT_FALSE(RemoteInstanceRunning(none));
  err.str("");
  EXPECT_EQ(RunRemoteClient({"LLOAD /a\nLSTOP"}, 0, out, err, path), 2);
  EXPECT_EQ(err.str(), "quillon: a remote text cannot hold a line end\n");
  EXPECT_EQ(out.str(), "");

  // The server answers; on LCLOSE it goes away, which ends the client's wait early.
  auto* answering = new RemoteServer;
  const QString other = folder.filePath(QStringLiteral("other"));
  ASSERT_TRUE(answering->Listen(nullptr, other));
  answering->on_text = [answering](const std::string& text) {
    answering->Broadcast("P" + text.substr(1));
    if (text == "LCLOSE") answering->deleteLater();
  };
  int result = -1;
  std::ostringstream answers;
  std::unique_ptr<QThread> thread(QThread::create([&] {
    result = RunRemoteClient({"LNEXT", "LCLOSE"}, 60'000, answers, err, other);
  }));
  thread->start();
  ASSERT_TRUE(RunUntil([&] { return thread->isFinished(); }));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(answers.str(), "PNEXT\nPCLOSE\n");
}

}  // namespace
}  // namespace quillon
