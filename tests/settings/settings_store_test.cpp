#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "support/test_data.h"

namespace quillon {
namespace {

QString Q(const std::string& path) {
  return QString::fromStdString(path);
}

// A store opened on a copy of `path`: QSettings shares one copy of a file per process, so reading
// a copy is what proves that the values reached the disk.
std::optional<std::string> ReadFromDisk(const test::TempDir& dir, const std::string& path,
                                        std::string_view section, std::string_view key) {
  static int copies = 0;
  const std::string copy =
      dir.Write("copy" + std::to_string(copies++) + ".ini", test::ReadFile(path));
  return SettingsStore(Q(copy)).Read(section, key);
}

TEST(SettingsStore, DefaultFileIsTheUsersQuillonIni) {
  const test::TempDir dir;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  const QString path = SettingsStore().FilePath();
  saved ? setenv("XDG_CONFIG_HOME", saved->c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(path, Q((dir.path() / "Quillon" / "Quillon.ini").string()));
}

TEST(SettingsStore, SectionsAndKeysMatchWhateverTheirCase) {
  const test::TempDir dir;
  const std::string path = dir.Write("s.ini", "[windowpos]\nmainleft=1200\n[InfoView]\nend0=255\n");
  SettingsStore store(Q(path));
  EXPECT_EQ(store.Read("WindowPos", "MainLeft"), "1200");
  EXPECT_EQ(store.Read("INFOVIEW", "END0"), "255");
  EXPECT_EQ(store.Read("InfoView", "End1"), std::nullopt);
  EXPECT_EQ(store.Read("Other", "MainLeft"), std::nullopt);

  store.Write("InfoView", "End0", "65535");
  EXPECT_EQ(store.Read("infoview", "end0"), "65535");
  ASSERT_TRUE(store.Sync());
  const std::string text = test::ReadFile(path);
  EXPECT_NE(text.find("End0=65535"), std::string::npos) << text;
  EXPECT_EQ(text.find("end0"), std::string::npos) << text;  // one value, the new spelling
}

TEST(SettingsStore, TextsRoundTripThroughTheFile) {
  const test::TempDir dir;
  const std::string path = (dir.path() / "new" / "s.ini").string();  // folder made on Sync
  const std::vector<std::string> values = {"ＭＳ Ｐゴシック", "a,b", "a, b;c",    "@String(x)",
                                           " padded ",        "",    "tab\there", "\"quoted\""};
  {
    SettingsStore store(Q(path));
    for (size_t i = 0; i < values.size(); ++i)
      store.Write("Values", "Key" + std::to_string(i), values[i]);
    ASSERT_TRUE(store.Sync());
  }
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(ReadFromDisk(dir, path, "values", "key" + std::to_string(i)), values[i]) << i;
}

TEST(SettingsStore, HandWrittenListsAndGarbageAreReadWithoutHarm) {
  const test::TempDir dir;
  std::string garbage = "[Show]\nItem0=a,b\nItem1=@Invalid()\nItem2\n[broken\n";
  for (int c = 0; c < 256; ++c)
    garbage += static_cast<char>(c);
  const std::string path = dir.Write("g.ini", garbage);
  SettingsStore store(Q(path));
  EXPECT_EQ(store.Read("Show", "Item0"), "a,b");
  EXPECT_EQ(store.Read("Show", "Item1"), std::nullopt);
  EXPECT_EQ(store.Read("Show", "Item2"), std::nullopt);
  // The format error met while reading does not make the write look failed.
  store.Write("Show", "Item3", "1");
  EXPECT_TRUE(store.Sync());
  EXPECT_EQ(ReadFromDisk(dir, path, "Show", "Item3"), "1");
}

TEST(SettingsStore, FailedWriteIsReportedAndRetriedLater) {
  const test::TempDir dir;
  const std::string blocker = dir.Write("blocker", "a file where the folder should be");
  const std::string path = blocker + "/s.ini";
  SettingsStore store(Q(path));
  store.Write("View", "Item0", "False");
  std::string error;
  EXPECT_FALSE(store.Sync(&error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(store.Read("View", "Item0"), "False");

  std::filesystem::remove(blocker);
  EXPECT_TRUE(store.Sync(&error));
  EXPECT_EQ(ReadFromDisk(dir, path, "View", "Item0"), "False");
}

// Runs `body` where the permissions of files count: in a child process as user "nobody" when
// this process is root, else here. nullopt when that cannot be arranged.
std::optional<int> RunWithoutRoot(const std::function<int()>& body) {
  if (geteuid() != 0) return body();
  const pid_t pid = fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 100)
    return std::nullopt;
  return WEXITSTATUS(status);
}

TEST(SettingsStore, ReadOnlyFileIsReportedAndLeftIntact) {
  const test::TempDir dir;
  const std::string old_text = "[View]\nItem0=True\n";
  const std::string path = dir.Write("locked/s.ini", old_text);
  const std::string folder = (dir.path() / "locked").string();
  chmod(path.c_str(), 0444);
  chmod(folder.c_str(), 0555);
  const std::optional<int> result = RunWithoutRoot([&] {
    if (access(path.c_str(), W_OK) == 0) return 2;  // this user can write it anyway
    SettingsStore store(Q(path));
    store.Write("View", "Item0", "False");
    std::string error;
    if (store.Sync(&error)) return 1;
    return error.find(path) != std::string::npos ? 0 : 3;
  });
  chmod(folder.c_str(), 0755);
  if (!result || *result == 2) GTEST_SKIP() << "no user here lacks the right to write the file";
  EXPECT_EQ(*result, 0);
  EXPECT_EQ(test::ReadFile(path), old_text);
}

}  // namespace
}  // namespace quillon
