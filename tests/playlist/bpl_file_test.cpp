#include "playlist/bpl_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "playlist/safe_write.h"
#include "support/test_data.h"

namespace quillon {
namespace {

PlaylistEntry Entry(std::string genre, std::string title, std::string artist, std::string length,
                    std::string file) {
  PlaylistEntry e;
  e.Genre = std::move(genre);
  e.Title = std::move(title);
  e.Artist = std::move(artist);
  e.Length = std::move(length);
  e.FileName = std::move(file);
  e.Key = e.FileName;
  for (char& c : e.Key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return e;
}

TEST(ParseBpl, FieldsAndLines) {
  EXPECT_EQ(ParseBpl("Trance\tSong\tArtist\t02:31\tC:\\bms\\a.bms\r\n"),
            std::vector{Entry("Trance", "Song", "Artist", "02:31", "C:\\bms\\a.bms")});
  EXPECT_TRUE(ParseBpl("a\tb\tc\r\n").empty());
  EXPECT_TRUE(ParseBpl("a\tb\tc\td\r\n\r\n\r\n").empty());
  EXPECT_EQ(ParseBpl("a\tb\tc\td\te\tf\tg\r\n"), std::vector{Entry("a", "b", "c", "d", "e")});
  // Empty fields still count; the last line needs no line end; LF and CR alone end lines too.
  EXPECT_EQ(ParseBpl("\t\t\t\t\na\tb\tc\td\te\rA\tB\tC\tD\tf"),
            (std::vector{Entry("", "", "", "", ""), Entry("a", "b", "c", "d", "e"),
                         Entry("A", "B", "C", "D", "f")}));
  EXPECT_TRUE(ParseBpl("").empty());
}

TEST(ParseBpl, EncodingsAndGarbage) {
  EXPECT_EQ(ParseBpl("\xEF\xBB\xBFテスト\tt\ta\t--:--\tf\r\n").at(0).Genre, "テスト");
  EXPECT_EQ(ParseBpl("ü\tt\ta\t--:--\t/ü.bms\r\n").at(0).Key, "/Ü.BMS");
  std::string garbage;
  for (int i = 0; i < 5000; ++i)
    garbage += static_cast<char>((i * 7919) % 256);
  for (const PlaylistEntry& e : ParseBpl(garbage))
    EXPECT_EQ(e.FileName.find_first_of("\t\r\n"), std::string::npos);
  // A megabyte-long line is one field like any other.
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(ParseBpl("g\tt\ta\tl\t" + big).at(0).FileName.size(), big.size());
}

TEST(SerializeBpl, RoundTripsAndKeepsLinesIntact) {
  const std::vector entries{Entry("Trance", "Song", "Artist", "02:31", "/bms/a.bms"),
                            Entry("日本", "曲", "", "--:--", "/bms/b.bms")};
  const std::string bytes = SerializeBpl(entries);
  EXPECT_EQ(bytes, "Trance\tSong\tArtist\t02:31\t/bms/a.bms\r\n日本\t曲\t\t--:--\t/bms/b.bms\r\n");
  EXPECT_EQ(ParseBpl(bytes), entries);
  EXPECT_EQ(SerializeBpl({}), "");
  // A title scanned with a TAB in it, or bytes that are not UTF-8, must not spoil the file.
  const std::string odd =
      SerializeBpl({Entry("\xEF\xBB\xBFg", "a\tb\r\nc", "\xFF\x83", "--:--", "/x.bms")});
  EXPECT_EQ(ParseBpl(odd), std::vector{Entry("\xEF\xBB\xBFg", "a b  c", "\xEF\xBF\xBD\xEF\xBF\xBD",
                                             "--:--", "/x.bms")});
}

// "テスト" and "テ" in CP932.
constexpr const char* kSjisTest = "\x83\x65\x83\x58\x83\x67";
constexpr const char* kSjisTe = "\x83\x65";

TEST(ParseBpl, EachTextDecidesItsEncodingAndThePathKeepsItsBytes) {
  const std::string sjis_path = std::string("/bms/") + kSjisTe + "/a.bms";
  const std::string mixed = "日本\tUTF-8の曲\t作者\t01:02\t/bms/曲.bms\r\n" +
                            std::string(kSjisTest) + "\t" + kSjisTest + "\tü\t--:--\t" + sjis_path +
                            "\r\n";
  // One CP932 line leaves the UTF-8 line as it is.
  EXPECT_EQ(ParseBpl(mixed),
            (std::vector{Entry("日本", "UTF-8の曲", "作者", "01:02", "/bms/曲.bms"),
                         Entry("テスト", "テスト", "ü", "--:--", sjis_path)}));
  // Written back: texts in UTF-8, the path's bytes untouched; that file then reads and writes
  // back byte for byte.
  const std::string written = SerializeBpl(ParseBpl(mixed));
  EXPECT_EQ(written, "日本\tUTF-8の曲\t作者\t01:02\t/bms/曲.bms\r\nテスト\tテスト\tü\t--:--\t" +
                         sjis_path + "\r\n");
  EXPECT_EQ(SerializeBpl(ParseBpl(written)), written);
  EXPECT_EQ(ParseBpl("\xEF\xBB\xBF" + written), ParseBpl(written));
}

TEST(SerializeBpl, NeverWritesAChangedPath) {
  // A path the format cannot carry is left out rather than written as another file's name.
  EXPECT_EQ(SerializeBpl({Entry("g", "t", "a", "--:--", "/a\tb.bms"),
                          Entry("g", "t", "a", "--:--", "/c\rd.bms"),
                          Entry("g", "t", "a", "--:--", "/ok.bms")}),
            "g\tt\ta\t--:--\t/ok.bms\r\n");
  EXPECT_FALSE(StorablePath("/x\n.bms"));
  EXPECT_TRUE(StorablePath(std::string("/\x83\x65 \x01.bms")));
}

TEST(WithBplExtension, OnlyANameWithoutDotGetsIt) {
  EXPECT_EQ(WithBplExtension("list"), "list.bpl");
  EXPECT_EQ(WithBplExtension("my.lists\\x"), "my.lists\\x.bpl");
  EXPECT_EQ(WithBplExtension("/home/me/my.lists/x"), "/home/me/my.lists/x.bpl");
  EXPECT_EQ(WithBplExtension("x.txt"), "x.txt");
  EXPECT_EQ(WithBplExtension("/a/.hidden"), "/a/.hidden");
}

TEST(ReplaceFileContents, ReplacesOrLeavesTheOldFileIntact) {
  test::TempDir dir;
  const std::string path = dir.Write("list.bpl", "old contents");
  std::filesystem::permissions(path, std::filesystem::perms(0640));
  std::string error;
  ASSERT_TRUE(ReplaceFileContents(path, "new", error)) << error;
  EXPECT_EQ(test::ReadFile(path), "new");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));

  // A symbolic link keeps pointing at the file, which gets the new contents.
  const std::filesystem::path link = dir.path() / "link.bpl";
  std::filesystem::create_symlink(path, link);
  ASSERT_TRUE(ReplaceFileContents(link.string(), "via link", error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(test::ReadFile(path), "via link");

  // A folder in the way, or a folder that does not exist: false, the reason, nothing left over.
  std::filesystem::create_directory(dir.path() / "sub");
  EXPECT_FALSE(ReplaceFileContents((dir.path() / "sub").string(), "x", error));
  EXPECT_NE(error.find("sub"), std::string::npos);
  EXPECT_FALSE(ReplaceFileContents((dir.path() / "none" / "a.bpl").string(), "x", error));
  EXPECT_NE(error.find("No such file"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

}  // namespace
}  // namespace quillon
