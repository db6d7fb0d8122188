#include "chart/header_scan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/test_data.h"

namespace quillon {
namespace {

using namespace std::string_literals;

// Scans `text` as a chart in a folder that holds nothing else, without file checks.
BmsHeader Scan(std::string_view text) {
  BmsHeader header;
  ScanBmsHeader(text, "/no/such/folder/chart.bms", header, /*NoFileCheck=*/true);
  return header;
}

TEST(ScanBmsHeader, ReadsTheHeaderCommands) {
  const std::string text =
      "*---------------------- HEADER FIELD\r\n"
      "#PLAYER 3\r\n"
      "#genre Trance\r\n"
      "#Title My Song  \r\n"
      "#ARTIST  someone\r\n"
      "#BPM 145\r\n"
      "#PLAYLEVEL 5\r\n"
      "#RANK 0\r\n"
      "#STAGEFILE stage.bmp\r\n"
      "#MIDIFILE song.mid\r\n"
      "#RANDOM 2\r\n"
      "\r\n"
      "#00111:0101\r\n";
  BmsHeader expected;
  expected.Player = 3;
  expected.Genre = "Trance";
  expected.Title = "My Song";
  expected.Artist = "someone";
  expected.Bpm = 145;
  expected.PlayLevel = 5;
  expected.Rank = 0;
  expected.StageFile = "stage.bmp";
  expected.HasMidiFile = true;
  expected.HasRandom = true;
  expected.FilePath = "/no/such/folder/chart.bms";
  expected.TotalSize = std::to_string(text.size());
  EXPECT_EQ(Scan(text), expected);
}

TEST(ScanBmsHeader, StartsFromAClearedRecordButKeepsTheFileDate) {
  BmsHeader old;
  old.Title = "previous";
  old.Bpm = 99;
  old.HasRandom = true;
  old.FilesPresent = false;
  old.FileDate = std::chrono::system_clock::time_point(std::chrono::hours(5));
  ScanBmsHeader("#ARTIST a\r\n", "c.bms", old, true);
  BmsHeader expected;  // Player 1, PlayLevel 3, Rank 2
  expected.Artist = "a";
  expected.FilePath = "c.bms";
  expected.TotalSize = "11";
  expected.FileDate = old.FileDate;
  EXPECT_EQ(old, expected);
}

TEST(ScanBmsHeader, CommandNeedsASpaceAndValueKeepsInnerSpacesAndTabs) {
  EXPECT_EQ(Scan("#TITLE\tTabbed\r\n").Title, "");
  EXPECT_EQ(Scan("#TITLE\r\n#ARTIST x\r\n").Artist, "x");  // a bare command is skipped
  EXPECT_EQ(Scan("#TITLE   two  words \r\n").Title, "two  words");
  EXPECT_EQ(Scan("#TITLE \tx\t \r\n").Title, "\tx\t");
  EXPECT_EQ(Scan("#TITLE a\0b\r\n"s).Title, "ab");
  EXPECT_EQ(Scan("  #TITLE x\r\n").Title, "");  // the command is the text before the space
  EXPECT_EQ(Scan("#title lower Case\r\n").Title, "lower Case");
}

TEST(ScanBmsHeader, WholeValuesRoundHalvesToEvenAndKeepTheOldValueOnOverflow) {
  EXPECT_EQ(Scan("#BPM 150.5\r\n").Bpm, 150);
  EXPECT_EQ(Scan("#BPM 151.5\r\n").Bpm, 152);
  EXPECT_EQ(Scan("#BPM &HB4\r\n").Bpm, 180);
  EXPECT_EQ(Scan("#BPM fast\r\n").Bpm, 0);
  const BmsHeader h = Scan("#BPM 120\r\n#BPM 40000\r\n#PLAYLEVEL 1E400\r\n#RANK 1\r\n");
  EXPECT_EQ(h.Bpm, 120);
  EXPECT_EQ(h.PlayLevel, 3);
  EXPECT_EQ(h.Rank, 1);
}

TEST(ScanBmsHeader, StopsAtTheFirstChannelLine) {
  const BmsHeader h = Scan("#ARTIST a\r\n#00111:01\r\n#TITLE late\r\n#BMP01 a.bmp\r\n");
  EXPECT_EQ(h.Artist, "a");
  EXPECT_EQ(h.Title, "");
  EXPECT_FALSE(h.HasBga);
  // A "#0" line with a space is an ordinary (unknown) command.
  EXPECT_EQ(Scan("#0 x\r\n#TITLE t\r\n").Title, "t");
  // Lines without '#' are passed over, even one starting with "#0"-like text elsewhere.
  EXPECT_EQ(Scan("x#0\r\n#TITLE t\r\n").Title, "t");
}

TEST(ScanBmsHeader, PictureAndLayerFlags) {
  EXPECT_TRUE(Scan("#BMP01 a.bmp\r\n").HasBga);
  EXPECT_TRUE(Scan("#bmpZZ a.bmp\r\n").HasBga);
  EXPECT_FALSE(Scan("#BPM 1\r\n").HasBga);
  // The searches look at the whole text, case-sensitively, whatever the line is.
  EXPECT_TRUE(Scan("#WAV04 a.wav\r\n").HasBga);
  EXPECT_TRUE(Scan("#00104:01\r\n").HasBga);
  EXPECT_TRUE(Scan("#WAV07 a.wav\r\n").HasLayer);
  EXPECT_TRUE(Scan("#00207:01\r\n").HasLayer);
  EXPECT_FALSE(Scan("#WAV07\ta.wav\r\n").HasLayer);
  EXPECT_TRUE(Scan("#00118:01\r\n").SevenKeys);
  EXPECT_FALSE(Scan("#00118 01\r\n").SevenKeys);
}

TEST(ScanBmsHeader, ReadsLfOnlyAndCrOnlyFilesLikeCrLfFiles) {
  EXPECT_EQ(Scan("#TITLE a\n#ARTIST b\n").Artist, "b");
  EXPECT_EQ(Scan("#TITLE a\r#ARTIST b\r").Title, "a");
  // One CR LF keeps the other line ends: the LF-separated lines are one piece.
  EXPECT_EQ(Scan("#TITLE a\n#ARTIST b\r\n").Title, "a\n#ARTIST b");
}

TEST(ScanBmsHeader, LooksAtTheFirst500LinesOnly) {
  std::string text;
  for (int i = 0; i < 498; ++i)
    text += "x\r\n";
  text += "#ARTIST on line 499\r\n";
  text += "y\r\n";
  text += "#TITLE on line 501\r\n";
  const BmsHeader h = Scan(text);
  EXPECT_EQ(h.Artist, "on line 499");
  EXPECT_EQ(h.Title, "");
  // Line 500 starts the last piece; its command does not swallow the lines after it.
  EXPECT_EQ(Scan(std::string(text).replace(text.find("y\r\n"), 1, "#GENRE g")).Genre, "g");
}

TEST(ScanBmsHeader, ContactLines) {
  // Within the first five lines no '#' is needed; a later line overwrites an earlier one.
  const BmsHeader top = Scan("%email a@b\r\n%URL http://x\r\n%EMAIL c@d\r\n");
  EXPECT_EQ(top.Email, "c@d");
  EXPECT_EQ(top.Url, "http://x");
  // Further down the line must also hold a '#'.
  const std::string pad = "1\r\n2\r\n3\r\n4\r\n5\r\n";
  EXPECT_EQ(Scan(pad + "%EMAIL e@f\r\n").Email, "");
  EXPECT_EQ(Scan(pad + "%EMAIL e@f #1\r\n").Email, "e@f #1");
  // The second look at the top wins over what the command loop found further down.
  EXPECT_EQ(Scan("%URL top\r\n" + pad + "%URL #bottom\r\n").Url, "top");
  // The fifth piece runs to the end of the file, but a command there keeps only its own line.
  EXPECT_EQ(Scan("1\r\n2\r\n3\r\n4\r\n%URL u\r\n6\r\n").Url, "u");
}

TEST(ScanBmsHeader, DecodesShiftJisAndUtf8) {
  const BmsHeader sjis = Scan("#TITLE \x83\x65\x83\x58\x83\x67\x8B\xC8\r\n#ARTIST \x95\x5C\r\n");
  EXPECT_EQ(sjis.Title, "テスト曲");
  EXPECT_EQ(sjis.Artist, "表");
  EXPECT_EQ(sjis.TotalSize, "29");
  const BmsHeader utf8 = Scan("\xEF\xBB\xBF#TITLE テスト曲\r\n");
  EXPECT_EQ(utf8.Title, "テスト曲");
  EXPECT_EQ(utf8.TotalSize, "24");  // the byte length of the file, mark included
}

class ReadBmsHeaderTest : public ::testing::Test {
 protected:
  std::string Chart(std::string_view text) const { return dir_.Write("song/chart.bms", text); }
  test::TempDir dir_;
};

TEST_F(ReadBmsHeaderTest, AddsTheSizesOfTheFilesItFinds) {
  dir_.Write("song/Sounds/Kick.wav", std::string(1000, 'k'));
  dir_.Write("song/bg.BMP", std::string(300, 'b'));
  const std::string text =
      "#WAV01 sounds\\KICK.WAV\r\n"
      "#bmp01 BG.bmp\r\n"
      "#WAV02 sounds\\kick.wav\r\n";
  const std::string path = Chart(text);
  BmsHeader h;
  ASSERT_EQ(ReadBmsHeader(path, h, false), 1);
  EXPECT_TRUE(h.FilesPresent);
  EXPECT_TRUE(h.HasBga);
  EXPECT_EQ(h.TotalSize, std::to_string(text.size() + 1000 + 300 + 1000));
  EXPECT_EQ(h.FilePath, path);

  // Without file checks only the chart counts.
  ASSERT_EQ(ReadBmsHeader(path, h, true), 1);
  EXPECT_EQ(h.TotalSize, std::to_string(text.size()));
}

TEST_F(ReadBmsHeaderTest, AMissingFileClearsFilesPresentAndAddsNothing) {
  dir_.Write("song/a.wav", "12345");
  const std::string text = "#WAV01 a.wav\r\n#WAV02 missing.wav\r\n#WAV03 \r\n#TITLE t\r\n";
  const std::string path = Chart(text);
  BmsHeader h;
  ASSERT_EQ(ReadBmsHeader(path, h, false), 1);
  EXPECT_FALSE(h.FilesPresent);
  EXPECT_EQ(h.TotalSize, std::to_string(text.size() + 5));
  EXPECT_EQ(h.Title, "t");  // the scan goes on

  ASSERT_EQ(ReadBmsHeader(path, h, true), 1);
  EXPECT_TRUE(h.FilesPresent);
}

TEST_F(ReadBmsHeaderTest, TakesTheFileDate) {
  const std::string path = Chart("#TITLE t\r\n");
  using namespace std::chrono;
  const sys_seconds when = sys_days{2021y / March / 4} + hours(5) + minutes(6);
  std::filesystem::last_write_time(path, file_clock::from_sys(when));
  BmsHeader h;
  ASSERT_EQ(ReadBmsHeader(path, h, true), 1);
  EXPECT_EQ(h.FileDate, when);
}

TEST_F(ReadBmsHeaderTest, AMissingChartLeavesTheRecordAlone) {
  BmsHeader h;
  h.Title = "kept";
  EXPECT_EQ(ReadBmsHeader((dir_.path() / "nothing.bms").string(), h, false), -1);
  EXPECT_EQ(ReadBmsHeader("", h, false), -1);
  EXPECT_EQ(h.Title, "kept");
}

TEST_F(ReadBmsHeaderTest, AnUnreadableChartScansAsEmpty) {
  BmsHeader h;
  h.Title = "old";
  ASSERT_EQ(ReadBmsHeader(dir_.path().string(), h, false), 1);  // a folder
  EXPECT_EQ(h.Title, "");
  EXPECT_EQ(h.TotalSize, "0");
  EXPECT_TRUE(h.FilesPresent);
}

TEST(DisplayTexts, PlayerRankAndStars) {
  const char* players[] = {"1 Player", "1 Player", "2 Players", "Double", "Battle", "Unknown"};
  const char* ranks[] = {"VeryHard", "Hard", "Normal", "Easy", "?????", "?????"};
  for (int16_t i = 0; i < 6; ++i) {
    EXPECT_EQ(PlayerText(i), players[i]);
    EXPECT_EQ(RankText(i), ranks[i]);
  }
  EXPECT_EQ(PlayerText(-1), "Unknown");
  EXPECT_EQ(RankText(-1), "?????");
  EXPECT_EQ(LevelStars(0), "☆☆☆☆☆☆");
  EXPECT_EQ(LevelStars(3), "★★★☆☆☆");
  EXPECT_EQ(LevelStars(6), "★★★★★★");
  EXPECT_EQ(LevelStars(-1), std::nullopt);
  EXPECT_EQ(LevelStars(7), std::nullopt);
}

}  // namespace
}  // namespace quillon
