#include "playlist/default_playlist.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_windows.h"
#include "playlist/playlist.h"
#include "support/test_data.h"

namespace quillon {
namespace {

TEST(DefaultPlaylist, ReadBesideTheProgramFirstWrittenToTheDataFolder) {
  EXPECT_EQ(UserDataFolder("/x/data", "/home/me"), "/x/data/Quillon");
  EXPECT_EQ(UserDataFolder("", "/home/me"), "/home/me/.local/share/Quillon");
  EXPECT_EQ(UserDataFolder(nullptr, nullptr), "");
  test::TempDir dir;
  const std::string program = (dir.path() / "bin").string();
  const std::string data = (dir.path() / "data" / "Quillon").string();
  EXPECT_EQ(DefaultPlaylistReadPath(program, data), data + "/quillon.bpl");
  dir.Write("bin/quillon.bpl", "g\tt\ta\t--:--\t/beside.bms\r\n");
  EXPECT_EQ(DefaultPlaylistReadPath(program, data), program + "/quillon.bpl");

  // Loading asks nothing; the program's end writes the list even when the user declined.
  test::FakeHost host;
  test::FakeView view;
  view.answer = SaveAnswer::Cancel;
  Playlist list(host, view);
  list.ListSaved = false;
  list.LoadDefault(DefaultPlaylistReadPath(program, data));
  EXPECT_EQ(list.size(), 1u);
  list.AddList("/new.bms");
  list.ListSaved = false;
  EXPECT_FALSE(list.AskSave());
  ASSERT_TRUE(list.SaveDefault(DefaultPlaylistWritePath(data)));
  EXPECT_EQ(test::ReadFile(data + "/quillon.bpl"),
            "g\tt\ta\t--:--\t/beside.bms\r\n\t\t\t--:--\t/new.bms\r\n");
  EXPECT_EQ(view.questions, 1);
}

}  // namespace
}  // namespace quillon
