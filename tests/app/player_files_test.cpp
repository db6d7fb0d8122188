// The player's files on the command line: how words become files, and what a start opens or
// hands to a running player.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "support/test_data.h"

namespace quillon {
namespace {

using Files = std::vector<std::string>;

CommandLine Parse(const Files& words) {
  Files arguments{"quillon"};
  arguments.insert(arguments.end(), words.begin(), words.end());
  return ParseCommandLine(arguments);
}

TEST(PlayerFilesTest, WordsAreSeparateFilesOnlyWhenEachExistsAndTheirJoinDoesNot) {
  const test::TempDir dir;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  // CP932 bytes ("曲" is 0x8B 0xC8) that are not UTF-8 reach the player as they are.
  const std::string cp932 = "\x8B\xC8.bms";
  for (const std::string& name : {std::string("a.bms"), cp932, std::string("l.bpl"),
                                  std::string("my"), std::string("my song.bms")})
    dir.Write(name, "");

  EXPECT_EQ(Parse({"a.bms", cp932, "l.bpl"}).Files, (Files{"a.bms", cp932, "l.bpl"}));
  EXPECT_EQ(Parse({"my", "a.bms"}).Files, (Files{"my", "a.bms"}));
  // One word that names nothing is still the chart the player is asked for.
  EXPECT_EQ(Parse({"gone.bms"}).Files, Files{"gone.bms"});
  // A word that names nothing: the words are one path with blanks, as a path with blanks that
  // was split into words.
  EXPECT_EQ(Parse({"a.bms", "gone.bms"}).Files, Files{"a.bms gone.bms"});
  EXPECT_EQ(Parse({"my", "song.bms"}).Files, Files{"my song.bms"});
  // Every word names a file, but so does their join: that is the file meant.
  dir.Write("song.bms", "");
  EXPECT_EQ(Parse({"my", "song.bms"}).Files, Files{"my song.bms"});
  EXPECT_TRUE(Parse({}).Files.empty());
  // The preview keeps its one chart and takes no files; the headless commands take one chart.
  const CommandLine preview = Parse({"-P", "my", "a.bms"});
  EXPECT_EQ(preview.ChartPath, "my a.bms");
  EXPECT_TRUE(preview.Files.empty());
  EXPECT_EQ(Parse({"--dump", "my", "a.bms"}).Action, CommandLine::Mode::Error);
  std::filesystem::current_path(before);
}

TEST(PlayerFilesTest, AStartPlaysTheFirstChartListsTheRestAndOpensOnePlaylist) {
  const std::string here = std::filesystem::current_path().string();
  const StartFiles files =
      SortStartFiles({"x/../a.bms", "/m/L.BPL", "", "/m/b.bms", "/m/other.bpl", "/m/c.bme"});
  EXPECT_EQ(files.Chart, here + "/a.bms");
  EXPECT_EQ(files.Playlist, "/m/L.BPL");
  EXPECT_EQ(files.MoreCharts, (Files{"/m/b.bms", "/m/c.bme"}));
  EXPECT_EQ(files.LeftOut, Files{"/m/other.bpl"});
  EXPECT_EQ(ForwardTexts(files), (Files{"LPLAYLIST /m/L.BPL", "LLOAD " + here + "/a.bms",
                                        "LADD /m/b.bms", "LADD /m/c.bme"}));

  // A playlist alone opens and plays nothing; charts alone send no playlist.
  EXPECT_EQ(ForwardTexts(SortStartFiles({"/m/l.bpl"})), Files{"LPLAYLIST /m/l.bpl"});
  EXPECT_EQ(ForwardTexts(SortStartFiles({"/m/a b.bms", "/m/c.bms"})),
            (Files{"LLOAD /m/a b.bms", "LADD /m/c.bms"}));
  EXPECT_TRUE(ForwardTexts(SortStartFiles({})).empty());
}

}  // namespace
}  // namespace quillon
