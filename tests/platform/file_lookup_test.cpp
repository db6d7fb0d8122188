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
  std::optional<std::string> Find(std::string_view name) { return FindChartFile(Folder(), name); }
  void Write(std::string_view name) const { dir_.Write(name, "x"); }

  test::TempDir dir_;
};

TEST_F(FindChartFileTest, MatchesEveryPartWithoutRegardToCase) {
  Write("Sound/Drums/kick.wav");
  Write("Éclair ａｂ.wav");
  EXPECT_EQ(Find("SOUND\\drums\\KICK.WAV"), Path("Sound/Drums/kick.wav"));
  EXPECT_EQ(Find("sound/DRUMS//Kick.Wav"), Path("Sound/Drums/kick.wav"));
  EXPECT_EQ(Find("sound\\kick.wav"), std::nullopt);
  // Latin-1 and full-width letters fold too.
  EXPECT_EQ(Find("éCLAIR ＡＢ.WAV"), Path("Éclair ａｂ.wav"));
}

TEST_F(FindChartFileTest, PrefersTheExactNameThenTheFirstInByteOrderOfTheRightKind) {
  Write("a.WAV");
  Write("A.wav");
  Write("a.wav");
  EXPECT_EQ(Find("a.WAV"), Path("a.WAV"));
  EXPECT_EQ(Find("A.WAV"), Path("A.wav"));
  // The same rule for folders: "X" is a folder as written, so "x" is not looked at.
  Write("X/one.wav");
  Write("x/two.wav");
  EXPECT_EQ(Find("X\\two.wav"), std::nullopt);
  EXPECT_EQ(Find("x\\two.wav"), Path("x/two.wav"));
  // Only folders before the last part, and no folder at the end.
  Write("bgm");
  Write("BGM/loop.wav");
  std::filesystem::create_directories(dir_.path() / "kick.wav");
  EXPECT_EQ(Find("bgm\\loop.wav"), Path("BGM/loop.wav"));
  EXPECT_EQ(Find("kick.wav"), std::nullopt);
  EXPECT_EQ(Find("BGM"), Path("bgm"));
}

// Names unpacked from a CP932 archive keep their CP932 bytes, while the chart asks for the
// UTF-8 text its own CP932 text was decoded to.
TEST_F(FindChartFileTest, FindsCp932NamedEntriesByTheirDecodedNames) {
  Write("\x8b\xc8/\x89\xb9.wav");  // 曲/音.wav in CP932
  EXPECT_EQ(Find("曲\\音.WAV"), Path("\x8b\xc8/\x89\xb9.wav"));
  EXPECT_EQ(Find("\x8b\xc8/\x89\xb9.wav"), Path("\x8b\xc8/\x89\xb9.wav"));  // as written
  // An entry whose own name matches comes first, as written or folded, then the decoded ones.
  Write("\x89\xb9.wav");
  Write("音.WAV");
  EXPECT_EQ(Find("音.WAV"), Path("音.WAV"));
  EXPECT_EQ(Find("音.wav"), Path("音.WAV"));
  EXPECT_EQ(Find("\x89\xb9.wav"), Path("\x89\xb9.wav"));
  std::filesystem::remove(Path("音.WAV"));
  EXPECT_EQ(FindChartFile(Folder(), "音.wav"), Path("\x89\xb9.wav"));
  // Bytes that are not CP932 either are matched only as they are.
  Write("\xff\xfe.wav");
  EXPECT_EQ(Find("\uFFFD\uFFFD.wav"), std::nullopt);
  EXPECT_EQ(Find("\xff\xfe.WAV"), Path("\xff\xfe.wav"));
}

TEST_F(FindChartFileTest, ReadsAbsoluteAndRelativeNamesAndRejectsImpossibleOnes) {
  Write("snd/a.wav");
  EXPECT_EQ(Find("c:\\snd\\A.WAV"), Path("snd/a.wav"));
  EXPECT_EQ(Find("//snd/a.wav"), Path("snd/a.wav"));
  const std::string song = Path("song/");
  std::filesystem::create_directories(song);
  EXPECT_EQ(FindChartFile(song, ".\\..\\SND\\a.wav"), song + "./../snd/a.wav");
  EXPECT_EQ(FindChartFile(song, ".."), std::nullopt);
  for (const std::string& name : {""s, "\\"s, "C:"s, "snd/a.wav\0x"s})
    EXPECT_EQ(Find(name), std::nullopt) << name;
  EXPECT_EQ(FindChartFile(Path("missing/"), "snd/a.wav"), std::nullopt);
}

}  // namespace
}  // namespace quillon
