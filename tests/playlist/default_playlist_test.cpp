#include "playlist/default_playlist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fake_windows.h"
#include "platform/file_io.h"
#include "playlist/playlist.h"
#include "support/test_data.h"

namespace quillon {
namespace {

class DefaultPlaylistTest : public ::testing::Test {
 protected:
  // One run of the program as far as the default list goes: loaded at the start, `change` made
  // to it, written at the end.
  void Run(const std::function<void(Playlist&)>& change) {
    Playlist list(host, view);
    list.LoadDefault(DefaultPlaylistReadPath(program, data));
    change(list);
    list.SaveDefault(DefaultPlaylistWritePath(data));
  }

  test::FakeHost host;
  test::FakeView view;
  test::TempDir dir;
  const std::string program = (dir.path() / "bin").string();
  const std::string data = (dir.path() / "data" / "Quillon").string();
};

TEST_F(DefaultPlaylistTest, Folders) {
  EXPECT_EQ(UserDataFolder("/x/data", "/home/me"), "/x/data/Quillon");
  EXPECT_EQ(UserDataFolder("", "/home/me"), "/home/me/.local/share/Quillon");
  EXPECT_EQ(UserDataFolder(nullptr, nullptr), "");
  EXPECT_EQ(DefaultPlaylistReadPath(program, data), data + "/quillon.bpl");
  EXPECT_EQ(DefaultPlaylistWritePath(data), data + "/quillon.bpl");
  EXPECT_EQ(DefaultPlaylistWritePath(""), "");
}

TEST_F(DefaultPlaylistTest, AListBesideTheProgramOnlySeedsAUserWhoHasNone) {
  // Its relative rows are relative to the program's folder.
  dir.Write("bin/quillon.bpl", "g\tt\ta\t--:--\tsongs/beside.bms\r\n");
  Run([](Playlist& list) {
    EXPECT_EQ(list.size(), 1u);
    list.AddList("/new.bms");
  });
  EXPECT_EQ(test::ReadFile(data + "/quillon.bpl"),
            "g\tt\ta\t--:--\t" + program + "/songs/beside.bms\r\n\t\t\t--:--\t/new.bms\r\n");
  // The next starts read the user's list, not the stale one beside the program; an emptied list
  // is the user's own too.
  Run([](Playlist& list) {
    ASSERT_EQ(list.size(), 2u);
    list.Select(0);
    list.DeleteSelected();
  });
  Run([](Playlist& list) {
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries()[0].FileName, "/new.bms");
    list.Select(0);
    list.DeleteSelected();
  });
  EXPECT_EQ(test::ReadFile(data + "/quillon.bpl"), "");
  Run([](Playlist& list) { EXPECT_EQ(list.size(), 0u); });
  EXPECT_TRUE(view.refusals.empty());
}

TEST_F(DefaultPlaylistTest, LoadingAsksNothingAndTheEndWritesWhateverTheUserSaid) {
  view.answer = SaveAnswer::Cancel;
  Run([](Playlist& list) {
    list.AddList("/new.bms");
    list.ListSaved = false;
    EXPECT_FALSE(list.AskSave());
  });
  EXPECT_EQ(view.questions, 1);
  EXPECT_EQ(test::ReadFile(data + "/quillon.bpl"), "\t\t\t--:--\t/new.bms\r\n");
}

TEST_F(DefaultPlaylistTest, Cp932PathsSurviveRunAfterRun) {
  const std::string bytes = "テスト\t\x83\x65\t\t--:--\t/bms/\x83\x65\x83\x58\x83\x67/a.bms\r\n";
  dir.Write("data/Quillon/quillon.bpl", bytes);
  Run([](Playlist&) {});
  const std::string written = "テスト\tテ\t\t--:--\t/bms/\x83\x65\x83\x58\x83\x67/a.bms\r\n";
  EXPECT_EQ(test::ReadFile(data + "/quillon.bpl"), written);
  Run([](Playlist&) {});
  EXPECT_EQ(test::ReadFile(data + "/quillon.bpl"), written);
}

TEST_F(DefaultPlaylistTest, AListThatCouldNotBeReadIsNotOverwritten) {
  const std::string path = dir.Write("data/Quillon/quillon.bpl", "");
  std::filesystem::resize_file(path, kPlaylistFileCap + 1);
  Run([](Playlist& list) {
    EXPECT_EQ(list.size(), 0u);
    list.AddList("/new.bms");
  });
  EXPECT_EQ(view.refusals.size(), 1u);
  EXPECT_EQ(std::filesystem::file_size(path), kPlaylistFileCap + 1);
}

}  // namespace
}  // namespace quillon
