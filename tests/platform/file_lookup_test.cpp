#include "platform/file_lookup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_data.h"

namespace quillon {
namespace {

using namespace std::string_literals;

class FindChartFileTest : public ::testing::Test {
 protected:
  // The chart folder as the header scan passes it: ending in '/'.
  std::string Folder() const { return dir_.path().string() + "/"; }
  std::string Path(std::string_view relative) const { return Folder() + std::string(relative); }
  void Write(std::string_view name) const { dir_.Write(name, "x"); }
  void MakeFolder(std::string_view name) const {
    std::filesystem::create_directories(dir_.path() / std::string(name));
  }

  test::TempDir dir_;
};

TEST_F(FindChartFileTest, FindsTheNameAsWritten) {
  Write("kick.wav");
  Write("snd/hat.ogg");
  EXPECT_EQ(FindChartFile(Folder(), "kick.wav"), Path("kick.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "snd/hat.ogg"), Path("snd/hat.ogg"));
  EXPECT_EQ(FindChartFile(Folder(), "snd\\hat.ogg"), Path("snd/hat.ogg"));
  // A folder given without its trailing '/' works the same.
  EXPECT_EQ(FindChartFile(dir_.path().string(), "kick.wav"), Path("kick.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "snare.wav"), std::nullopt);
}

TEST_F(FindChartFileTest, MatchesEveryPartWithoutRegardToCase) {
  Write("Sound/Drums/kick.wav");
  EXPECT_EQ(FindChartFile(Folder(), "SOUND\\drums\\KICK.WAV"), Path("Sound/Drums/kick.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "sound/DRUMS//Kick.Wav"), Path("Sound/Drums/kick.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "sound\\kick.wav"), std::nullopt);
  EXPECT_EQ(FindChartFile(Folder(), "KICK.WA"), std::nullopt);
}

TEST_F(FindChartFileTest, FoldsLatin1AndFullWidthLettersButNothingElse) {
  Write("Éclair ａｂ.wav");
  Write("ｱ.wav");
  EXPECT_EQ(FindChartFile(Folder(), "éCLAIR ＡＢ.WAV"), Path("Éclair ａｂ.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "ｱ.WAV"), Path("ｱ.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "ア.wav"), std::nullopt);  // full-width katakana differs
}

TEST_F(FindChartFileTest, PrefersTheExactNameThenTheFirstInByteOrder) {
  Write("a.WAV");
  Write("A.wav");
  Write("a.wav");
  EXPECT_EQ(FindChartFile(Folder(), "a.WAV"), Path("a.WAV"));
  EXPECT_EQ(FindChartFile(Folder(), "A.WAV"), Path("A.wav"));
  // The same rule for folders: "X" is a folder as written, so "x" is not looked at.
  Write("X/one.wav");
  Write("x/one.wav");
  Write("x/two.wav");
  EXPECT_EQ(FindChartFile(Folder(), "X\\one.wav"), Path("X/one.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "X\\two.wav"), std::nullopt);
  EXPECT_EQ(FindChartFile(Folder(), "x\\two.wav"), Path("x/two.wav"));
}

TEST_F(FindChartFileTest, TakesOnlyFoldersBeforeTheLastPartAndNoFolderAtTheEnd) {
  Write("bgm");  // a file, not the folder the chart means
  Write("BGM/loop.wav");
  MakeFolder("kick.wav");
  EXPECT_EQ(FindChartFile(Folder(), "bgm\\loop.wav"), Path("BGM/loop.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "kick.wav"), std::nullopt);
  EXPECT_EQ(FindChartFile(Folder(), "BGM"), Path("bgm"));
}

TEST_F(FindChartFileTest, ReadsAbsoluteNamesBelowTheFolder) {
  Write("snd/a.wav");
  EXPECT_EQ(FindChartFile(Folder(), "C:\\snd\\a.wav"), Path("snd/a.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "c:snd\\A.WAV"), Path("snd/a.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "\\snd\\a.wav"), Path("snd/a.wav"));
  EXPECT_EQ(FindChartFile(Folder(), "//snd/a.wav"), Path("snd/a.wav"));
}

TEST_F(FindChartFileTest, FollowsDotAndDotDot) {
  Write("common/Shared.wav");
  MakeFolder("song");
  const std::string song = Path("song/");
  EXPECT_EQ(FindChartFile(song, "..\\common\\shared.wav"), song + "../common/Shared.wav");
  EXPECT_EQ(FindChartFile(song, ".\\..\\COMMON\\Shared.wav"), song + "./../common/Shared.wav");
  EXPECT_EQ(FindChartFile(song, ".."), std::nullopt);
}

TEST_F(FindChartFileTest, EmptyOrImpossibleNamesMatchNothing) {
  Write("a.wav");
  EXPECT_EQ(FindChartFile(Folder(), ""), std::nullopt);
  EXPECT_EQ(FindChartFile(Folder(), "\\"), std::nullopt);
  EXPECT_EQ(FindChartFile(Folder(), "C:"), std::nullopt);
  EXPECT_EQ(FindChartFile(Folder(), "a.wav\0x"s), std::nullopt);
  EXPECT_EQ(FindChartFile(Path("missing/"), "a.wav"), std::nullopt);
}

}  // namespace
}  // namespace quillon
