#include "shell/remote_channel.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
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
#include <filesystem>
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

TEST_F(RemoteChannelTest, LinesArePassedOnByteForByte) {
  RawClient client(path);
  std::string garbage;
  for (int i = 0; i < 4096; ++i) {
    const char byte = static_cast<char>((i * 7919) % 256);
    if (byte != '\n') garbage += byte;
  }
  // A chart in a folder whose name is CP932 bytes ("曲" is 0x8B 0xC8), which are not UTF-8.
  const std::string cp932 = "LLOAD /bms/\x8B\xC8/\x83\x65\x83\x58\x83\x67.bms";
  client.Send(std::string("\0\xFFL\0X\n", 6) + cp932 + "\n" + garbage + "\nLPAUSE\n");
  ASSERT_TRUE(RunUntil([&] { return !texts.empty() && texts.back() == "LPAUSE"; }));
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], std::string("\0\xFFL\0X", 5));
  EXPECT_EQ(texts[1], cp932);
  std::string without_cr = garbage;
  if (without_cr.back() == '\r') without_cr.pop_back();
  EXPECT_EQ(texts[2], without_cr);
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

// Sets the soft limit of open files for the life of the object.
class FileLimit {
 public:
  explicit FileLimit(rlim_t soft) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit wanted = saved_;
    wanted.rlim_cur = std::min(soft, saved_.rlim_max);
    setrlimit(RLIMIT_NOFILE, &wanted);
  }
  ~FileLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }
  FileLimit(const FileLimit&) = delete;
  FileLimit& operator=(const FileLimit&) = delete;
  static rlim_t Current() {
    rlimit now{};
    getrlimit(RLIMIT_NOFILE, &now);
    return now.rlim_cur;
  }

 private:
  rlimit saved_{};
};

bool SocketFileExists(const QString& path) {
  struct stat info {};
  return lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

TEST_F(RemoteChannelTest, ClientsPastTheCapAreToldBusyAndTheChannelStays) {
  // 1,100 idle connections, as many as used up the descriptors of a server without a cap.
  const FileLimit limit(4096);
  ASSERT_GE(FileLimit::Current(), 2048u);
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int batch = 0; batch < 11; ++batch) {
    for (int i = 0; i < 100; ++i)
      clients.push_back(std::make_unique<RawClient>(path));
    // Every client past the cap hears PBUSY and finds its connection closed.
    ASSERT_TRUE(RunUntil([&] {
      return std::all_of(clients.begin() + kMaxRemoteClients, clients.end(),
                         [](auto& c) { return !c->Read(); });
    })) << "batch "
        << batch;
  }
  ASSERT_TRUE(std::all_of(clients.begin(), clients.end(), [](auto& c) { return c->connected(); }));
  EXPECT_EQ(server.ClientCount(), kMaxRemoteClients);
  for (size_t i = kMaxRemoteClients; i < clients.size(); ++i)
    ASSERT_EQ(clients[i]->received, "PBUSY\n") << i;
  EXPECT_TRUE(server.Listening());
  EXPECT_TRUE(SocketFileExists(path));

  // The clients kept all hear a broadcast; once they have gone, a new client is served.
  server.Broadcast("PENABLED True");
  ASSERT_TRUE(RunUntil([&] {
    return std::all_of(clients.begin(), clients.begin() + kMaxRemoteClients,
                       [](auto& c) { return c->Read() && c->Lines() == 1; });
  }));
  EXPECT_EQ(clients.front()->received, "PENABLED True\n");
  clients.clear();
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 0; }));
  std::ostringstream out, err;
  EXPECT_EQ(RunRemoteClient({"LSTOP"}, 0, out, err, path), 0) << err.str();
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 1; }));
  EXPECT_EQ(texts[0], "LSTOP");
}

TEST_F(RemoteChannelTest, AFailedAcceptOrARemovedFileMakesTheServerListenAgain) {
  // Every descriptor but one in use: a client takes the last, and the server's accept fails,
  // which makes Qt close the listening socket.
  {
    const FileLimit limit(512);
    std::vector<int> fillers;
    for (int fd; (fd = dup(STDERR_FILENO)) >= 0;)
      fillers.push_back(fd);
    ASSERT_FALSE(fillers.empty());
    close(fillers.back());
    fillers.pop_back();
    RawClient last(path);
    EXPECT_TRUE(last.connected());
    const bool lost = RunUntil([&] { return !server.Listening(); });
    for (int fd : fillers)
      close(fd);
    ASSERT_TRUE(lost);
  }
  ASSERT_TRUE(RunUntil([&] { return server.Listening(); }));
  RawClient after_failure(path);
  after_failure.Send("LPLAY\n");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 1; }));

  // The socket file removed: it is back within the check interval, and serves.
  ASSERT_EQ(unlink(QFile::encodeName(path).constData()), 0);
  QDeadlineTimer back(kRemoteCheckIntervalMs + 1000);
  ASSERT_TRUE(RunUntil([&] { return SocketFileExists(path) && server.Listening(); }));
  EXPECT_FALSE(back.hasExpired());
  RawClient after_removal(path);
  after_removal.Send("LSTOP\n");
  ASSERT_TRUE(RunUntil([&] { return texts.size() == 2; }));
  EXPECT_EQ(texts, (std::vector<std::string>{"LPLAY", "LSTOP"}));
}

TEST_F(RemoteChannelTest, ASecondServerTakesOverWhenTheFirstCloses) {
  const QString shared = folder.filePath(QStringLiteral("shared"));
  auto first = std::make_unique<RemoteServer>();
  ASSERT_TRUE(first->Listen(nullptr, shared));
  auto second = std::make_unique<RemoteServer>();
  std::vector<std::string> heard;
  second->on_text = [&](const std::string& text) { heard.push_back(text); };
  std::string error;
  EXPECT_FALSE(second->Listen(&error, shared));
  EXPECT_NE(error.find("already listens"), std::string::npos) << error;

  // The first closes: the second takes the path over within its retry time.
  first.reset();
  const QDeadlineTimer deadline(kRemoteRetryIntervalMs + 2000);
  ASSERT_TRUE(RunUntil([&] { return second->Listening(); }));
  EXPECT_FALSE(deadline.hasExpired());
  std::ostringstream out, err;
  EXPECT_EQ(RunRemoteClient({"LNEXT"}, 0, out, err, shared), 0) << err.str();
  ASSERT_TRUE(RunUntil([&] { return heard.size() == 1; }));
  EXPECT_EQ(heard[0], "LNEXT");

  // Another live socket put over the second's file: the second, closing, leaves it alone.
  RemoteServer third;
  const QString third_path = folder.filePath(QStringLiteral("third"));
  ASSERT_TRUE(third.Listen(nullptr, third_path));
  const QByteArray file = QFile::encodeName(shared);
  ASSERT_EQ(rename(QFile::encodeName(third_path).constData(), file.constData()), 0);
  struct stat before {};
  ASSERT_EQ(lstat(file.constData(), &before), 0);
  EXPECT_FALSE(second->Listening());
  second.reset();
  struct stat after {};
  ASSERT_EQ(lstat(file.constData(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_TRUE(RemoteInstanceRunning(shared));
}

TEST_F(RemoteChannelTest, ControlEndsWhenTheLastClientThatSentACommandLeaves) {
  std::vector<std::string> events;
  server.on_text = [&](const std::string& text) { events.push_back(text); };
  server.on_control_ended = [&] { events.push_back("ended"); };

  // A listener that only sent a notification text is not in control.
  RawClient listener(path);
  listener.Send("PPREV\n");
  ASSERT_TRUE(RunUntil([&] { return events.size() == 1; }));
  // A one-shot client: its command is carried out before control ends.
  {
    RawClient once(path);
    once.Send("LSTOP\n");
  }
  ASSERT_TRUE(RunUntil([&] { return events.size() == 3; }));
  EXPECT_EQ(events, (std::vector<std::string>{"PPREV", "LSTOP", "ended"}));
  // A second start handing files over from the desktop takes no control, so ends none.
  {
    RawClient desktop(path);
    desktop.Send("LPLAYLIST /l.bpl\nLADD /a.bms\n");
  }
  ASSERT_TRUE(RunUntil([&] { return events.size() == 5; }));
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 1; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(events.back(), "LADD /a.bms");
  events.erase(events.begin() + 3, events.end());

  // Two clients in control: control ends only when both have gone.
  events.clear();
  auto first = std::make_unique<RawClient>(path);
  auto second = std::make_unique<RawClient>(path);
  first->Send("LPLAY\n");
  second->Send("LNEXT\n");
  ASSERT_TRUE(RunUntil([&] { return events.size() == 2; }));
  first.reset();
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 2; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(events.size(), 2u);
  second.reset();
  ASSERT_TRUE(RunUntil([&] { return events.size() == 3; }));
  EXPECT_EQ(events.back(), "ended");
  listener.Close();
  ASSERT_TRUE(RunUntil([&] { return server.ClientCount() == 0; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(events.size(), 3u);
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

  // A relative chart path is sent absolute, against the client's own folder.
  std::vector<std::string> sent;
  server.on_text = [&](const std::string& text) { sent.push_back(text); };
  EXPECT_EQ(RunRemoteClient({"LLOAD songs/../x.bms", "LSTOP"}, 0, out, err, path), 0);
  ASSERT_TRUE(RunUntil([&] { return sent.size() == 2; }));
  EXPECT_EQ(sent[0], "LLOAD " + (std::filesystem::current_path() / "x.bms").string());

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
