#include "platform/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "support/test_data.h"

namespace quillon {
namespace {

TEST(DebugLine, RoundsTheClockHalvesToEvenAndGivesZeroWithoutAWholeValue) {
  EXPECT_EQ(DebugLine(1234.5, "Play start ----------------"), "1234\tPlay start ----------------");
  EXPECT_EQ(DebugLine(1235.5, "BGADC(1)\tモード"), "1236\tBGADC(1)\tモード");
  EXPECT_EQ(DebugLine(-1.5, ""), "-2\t");
  for (double reading : {std::numeric_limits<double>::quiet_NaN(),
                         -std::numeric_limits<double>::infinity(), 9223372036854775808.0})
    EXPECT_EQ(DebugLine(reading, "x"), "0\tx") << reading;
}

TEST(AppendDebugLine, AddsCrLfLinesToANewOrAnExistingFile) {
  test::TempDir dir;
  const std::string fresh = (dir.path() / "new.txt").string();
  ASSERT_TRUE(AppendDebugLine(fresh, "1\ta"));
  EXPECT_EQ(test::ReadFile(fresh), "1\ta\r\n");
  const std::string path = dir.Write("Debug.txt", "old line\r\n");
  EXPECT_TRUE(AppendDebugLine(path, "12\tfirst"));
  EXPECT_TRUE(AppendDebugLine(path, "13\tサウンド"));
  EXPECT_EQ(test::ReadFile(path), "old line\r\n12\tfirst\r\n13\tサウンド\r\n");
}

TEST(AppendDebugLine, GivesTheReasonWhenTheFileCannotBeOpened) {
  test::TempDir dir;
  const std::filesystem::path missing = dir.path() / "no such folder" / "Debug.txt";
  std::filesystem::create_directories(dir.path() / "a folder.txt");
  for (const std::filesystem::path& path : {missing, dir.path() / "a folder.txt"}) {
    std::string error;
    EXPECT_FALSE(AppendDebugLine(path.string(), "1\ta", &error)) << path;
    EXPECT_FALSE(error.empty()) << path;
  }
  EXPECT_FALSE(AppendDebugLine(missing.string(), "1\ta"));
  EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
}

}  // namespace
}  // namespace quillon
