#include "platform/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/odd_files.h"
#include "support/test_data.h"

namespace quillon {
namespace {

TEST(ReadUserFile, ReadsRegularFilesWhole) {
  test::TempDir dir;
  const std::string bytes(200'000, 'x');
  const FileRead read = ReadUserFile(dir.Write("a.bms", bytes), kChartFileCap);
  EXPECT_TRUE(read.ok());
  EXPECT_EQ(read.bytes, bytes);
  EXPECT_EQ(ReadUserFile(dir.Write("empty.bms", ""), kChartFileCap).refusal, FileRefusal::None);
  // Files that report no size but have content are read to their end, within the cap.
  const FileRead status = ReadUserFile("/proc/self/status", kChartFileCap);
  EXPECT_TRUE(status.ok());
  EXPECT_NE(status.bytes.find("Name:"), std::string::npos);
}

// Nothing here may block or grow without bound, and each says why it was refused.
TEST(ReadUserFile, RefusesWhatIsNotASmallRegularFile) {
  test::TempDir dir;
  std::vector<test::OddFile> odd = test::MakeOddFiles(dir, ".bms", uint64_t{100} << 20);
  const std::string big = (dir.path() / "big.bms").string();
  odd.push_back({"", "/dev/zero", FileRefusal::NotRegular});
  odd.push_back({"", big + "/under-a-file", FileRefusal::Missing});
  odd.push_back({"", "", FileRefusal::Missing});
  for (const test::OddFile& c : odd) {
    SCOPED_TRACE(c.path);
    const FileRead read = ReadUserFile(c.path, kChartFileCap);
    EXPECT_EQ(read.refusal, c.refusal);
    if (c.refusal == FileRefusal::Unreadable) {
      EXPECT_EQ(read.error, c.error);
    }
    EXPECT_TRUE(read.bytes.empty());
    EXPECT_EQ(CheckUserFile(c.path, kChartFileCap), c.refusal);
    const OpenedFile opened = OpenUserFile(c.path, kChartFileCap);
    EXPECT_EQ(opened.refusal, c.refusal);
    EXPECT_EQ(opened.fd(), -1);
  }
  // The same sparse file is fine under the sound cap.
  EXPECT_EQ(CheckUserFile(big, kSoundFileCap), FileRefusal::None);
}

TEST(OpenUserFile, OpensRegularFilesWithTheirSizeAndClosesThem) {
  test::TempDir dir;
  OpenedFile file = OpenUserFile(dir.Write("a.wav", "RIFF...."), kSoundFileCap);
  ASSERT_TRUE(file.ok());
  EXPECT_EQ(file.size(), 8u);
  char bytes[4] = {};
  EXPECT_EQ(::pread(file.fd(), bytes, 4, 0), 4);
  EXPECT_EQ(std::string(bytes, 4), "RIFF");
  // Moving hands the descriptor over; it is closed once, by its last owner.
  const int fd = file.fd();
  OpenedFile moved = std::move(file);
  EXPECT_EQ(moved.fd(), fd);
  moved = OpenedFile();
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

TEST(RefusalText, NamesTheFile) {
  EXPECT_EQ(RefusalText(FileRefusal::NotRegular, "chart", "/tmp/f"), "Not a chart file: /tmp/f");
  EXPECT_EQ(RefusalText(FileRefusal::TooLarge, "chart", "/tmp/f"), "File too large: /tmp/f");
  EXPECT_EQ(RefusalText(FileRefusal::Missing, "playlist", "/tmp/f"), "File not found: /tmp/f");
  EXPECT_EQ(RefusalText(FileRefusal::Unreadable, "chart", "/tmp/f", EACCES),
            "Cannot read /tmp/f: Permission denied");
  EXPECT_EQ(RefusalText(FileRefusal::None, "chart", "/tmp/f"), "");
}

TEST(AbsolutePath, JoinsRelativePathsLexicallyAndKeepsBytes) {
  const std::string cp932 = "\x89\xb9/\x8b\xc8.bms";  // not UTF-8: must pass through unchanged
  EXPECT_EQ(AbsolutePath(cp932), std::filesystem::current_path().string() + "/" + cp932);
  EXPECT_EQ(AbsolutePath(cp932, "/l"), "/l/" + cp932);
  EXPECT_EQ(AbsolutePath("./songs/../x/./b.bms", "/lists/mine"), "/lists/mine/x/b.bms");
  EXPECT_EQ(AbsolutePath("../../../c.bms", "/lists/mine"), "/c.bms");
  // Absolute and empty paths are left as they are, dots and all.
  EXPECT_EQ(AbsolutePath("/a/../b.bms", "/lists"), "/a/../b.bms");
  EXPECT_EQ(AbsolutePath("", "/lists"), "");
}

}  // namespace
}  // namespace quillon
