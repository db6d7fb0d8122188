#include "chart/header_scan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/odd_files.h"
#include "support/test_data.h"

namespace quillon {
namespace {

// Scans `text` as a chart in a folder that holds nothing else, without file checks.
BmsHeader Scan(std::string_view text) {
  BmsHeader header;
  ScanBmsHeader(text, "/no/such/folder/chart.bms", header, /*NoFileCheck=*/true);
  return header;
}

// Starts from a cleared record (FilesPresent true, no contact lines) but keeps the file date and
// stops at the first channel line; TotalSize is the byte count of the file, not of the text.
TEST(ScanBmsHeader, ReadsTheHeaderCommandsOfAShiftJisChart) {
  const std::string text =
      "#genre Trance\r\n#Title \x83\x65\x83\x58\x83\x67\x8B\xC8  \r\n#ARTIST  someone\r\n"
      "#STAGEFILE stage.bmp\r\n#MIDIFILE song.mid\r\n#RANDOM 2\r\n\r\n#00111:01\r\n#BPM 1\r\n";
  const auto date = std::chrono::system_clock::time_point(std::chrono::hours(5));
  BmsHeader h;
  h.Email = "old@x";
  h.FilesPresent = false;
  h.FileDate = date;
  ScanBmsHeader(text, "/no/such/folder/chart.bms", h, true);
  BmsHeader expected;
  expected.Genre = "Trance";
  expected.Title = "テスト曲";
  expected.Artist = "someone";
  expected.HasMidiFile = expected.HasRandom = true;
  expected.FilePath = "/no/such/folder/chart.bms";
  expected.TotalSize = std::to_string(text.size());
  expected.FileDate = date;
  expected.StageFile = "stage.bmp";
  EXPECT_EQ(h, expected);
}

TEST(ScanBmsHeader, CommandsAndValues) {
  EXPECT_EQ(Scan("#TITLE\tTabbed\r\n").Title, "");  // the command ends at a space only
  EXPECT_EQ(Scan("#TITLE\r\n#ARTIST x\r\n").Artist, "x");
  EXPECT_EQ(Scan("#TITLE \tx\t  y \r\n").Title, "\tx\t  y");
  EXPECT_EQ(Scan("#0 x\r\n#TITLE t\r\n").Title, "t");  // with a space: an unknown command
  EXPECT_EQ(Scan("#TITLE a\r#ARTIST b\r").Title, "a");
  // One CR LF keeps the other line ends: the LF-separated lines are one piece.
  EXPECT_EQ(Scan("#TITLE a\n#ARTIST b\r\n").Title, "a\n#ARTIST b");
  // Whole values round halves to even; one that does not fit keeps the value before it.
  const BmsHeader h =
      Scan("#BPM 120\r\n#BPM 40000\r\n#PLAYLEVEL 1E400\r\n#RANK 3.5\r\n#PLAYER 2.5\r\n");
  EXPECT_EQ(h.Bpm, 120);
  EXPECT_EQ(h.PlayLevel, 3);
  EXPECT_EQ(h.Rank, 4);
  EXPECT_EQ(h.Player, 2);
}

TEST(ScanBmsHeader, PictureLayerAndSevenKeyFlagsSearchTheWholeText) {
  EXPECT_TRUE(Scan("#WAV04 a.wav\r\n").HasBga);
  EXPECT_TRUE(Scan("#00207:01\r\n").HasLayer);
  EXPECT_FALSE(Scan("#WAV07\ta.wav\r\n").HasLayer);
  EXPECT_TRUE(Scan("#00118:01\r\n").SevenKeys);
  EXPECT_FALSE(Scan("#00118 01\r\n").SevenKeys);
}

TEST(ScanBmsHeader, LooksAtTheFirst500LinesOnly) {
  std::string text;
  for (int i = 0; i < 498; ++i)
    text += "x\r\n";
  text += "#ARTIST on line 499\r\ny\r\n#TITLE on line 501\r\n";
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
  const std::string pad = "1\r\n2\r\n3\r\n4\r\n5\r\n";
  EXPECT_EQ(Scan(pad + "%EMAIL e@f\r\n").Email, "");
  EXPECT_EQ(Scan(pad + "%EMAIL e@f #1\r\n").Email, "e@f #1");
  EXPECT_EQ(Scan("%URL top\r\n" + pad + "%URL #bottom\r\n").Url, "top");
}

TEST(ReadBmsHeader, AddsTheSizesOfTheFilesItFindsAndNotesMissingOnes) {
  test::TempDir dir;
  dir.Write("song/Sounds/Kick.wav", std::string(1000, 'k'));
  dir.Write("song/bg.BMP", std::string(300, 'b'));
  const std::string text =
      "#WAV01 sounds\\KICK.WAV\r\n#bmp01 BG.bmp\r\n#WAV02 sounds\\kick.wav\r\n#WAV03 gone.wav\r\n"
      "#TITLE t\r\n";
  const std::string path = dir.Write("song/chart.bms", text);
  using namespace std::chrono;
  const sys_seconds when = sys_days{2021y / March / 4} + hours(5) + minutes(6);
  std::filesystem::last_write_time(path, file_clock::from_sys(when));
  BmsHeader h;
  ASSERT_EQ(ReadBmsHeader(path, h, false), 1);
  EXPECT_FALSE(h.FilesPresent);
  EXPECT_EQ(h.TotalSize, std::to_string(text.size() + 1000 + 300 + 1000));
  EXPECT_EQ(h.FileDate, when);
  // The scan went on after the missing file; a missing chart leaves the record alone.
  EXPECT_EQ(ReadBmsHeader((dir.path() / "nothing.bms").string(), h, false), -1);
  EXPECT_EQ(h.Title, "t");
}

// What is no chart to read is refused unread (a playlist skips its row) and leaves the record
// alone; a file gone by the time it is read is a missing one.
TEST(ReadBmsHeader, RefusesWhatIsNoChartFile) {
  test::TempDir dir;
  for (const test::OddFile& odd : test::MakeOddFiles(dir, ".bms", uint64_t{100} << 20)) {
    SCOPED_TRACE(odd.name);
    BmsHeader h;
    h.Title = "kept";
    EXPECT_EQ(ReadBmsHeader(odd.path, h, false),
              odd.refusal == FileRefusal::Missing ? -1 : kHeaderRefused);
    EXPECT_EQ(h.Title, "kept");
  }
}

TEST(LevelStars, SixStarsForLevelsZeroToSix) {
  EXPECT_EQ(LevelStars(3), "★★★☆☆☆");
  EXPECT_EQ(LevelStars(7), std::nullopt);
}

}  // namespace
}  // namespace quillon
