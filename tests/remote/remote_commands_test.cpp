#include "shell/remote_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quillon {
namespace {

using Calls = std::vector<std::string>;

// Records every call as one line, in order.
class RecordingTarget : public RemoteTarget {
 public:
  Calls calls;
  std::string current_file;
  bool paused = false;
  bool controlled = false;
  std::string item = "untouched";

  void SetDdeControlled(bool on) override {
    controlled = on;
    calls.push_back(on ? "controlled" : "released");
  }
  void BV_CLOSE() override { calls.push_back("close"); }
  const std::string& CurrentFile() const override { return current_file; }
  bool Paused() const override { return paused; }
  void PlayFile() override { calls.push_back("play"); }
  void LoadChart(const std::string& path) override { calls.push_back("load " + path); }
  void ArmPlayFileTimer() override { calls.push_back("arm"); }
  void PressCommandButton(std::string_view key) override {
    calls.push_back("press " + std::string(key));
  }
  void SetItemText(std::string text) override { item = std::move(text); }
  void PreviewChart(const std::string& path, int measure) override {
    calls.push_back("preview " + std::to_string(measure) + " " + path);
  }
  void AddToPlaylist(const std::string& path) override { calls.push_back("add " + path); }
  void OpenPlaylist(const std::string& path) override { calls.push_back("list " + path); }
};

TEST(RemoteCommandsTest, EachTextMakesItsCallsAndLeavesOrEmptiesTheItem) {
  struct Case {
    const char* text;
    Calls calls;
    const char* item;
  };
  const Case cases[] = {
      {"LLOAD /a b/x.bms", {"controlled", "load /a b/x.bms", "arm"}, "untouched"},
      {"LLOAD", {"controlled", "load LLOAD", "arm"}, "untouched"},
      {"LPAUSE", {"controlled", "press PAUSE"}, ""},
      {"LNEXT", {"controlled", "press NEXT"}, ""},
      {"LOPEN", {"controlled"}, ""},
      {"LCLOSE", {"controlled", "close", "released"}, ""},
      {"LCLOSE ", {"controlled"}, ""},  // only the exact text closes
      {"LPREVIEW 12 /a b/x.bms", {"controlled", "preview 12 /a b/x.bms"}, "untouched"},
      {"LPREVIEW 3", {"controlled"}, "untouched"},  // no path: nothing previewed
      {"LPREVIEW", {"controlled"}, ""},
      // The desktop's texts take no control and leave the item as it was.
      {"LADD /a b/x.bms", {"add /a b/x.bms"}, "untouched"},
      {"LPLAYLIST /l/my list.bpl", {"list /l/my list.bpl"}, "untouched"},
      {"LADD", {}, "untouched"},
      {"LPLAYLIST ", {}, "untouched"},
      {"LPLAYLIST", {}, "untouched"},
      {"LADDX", {"controlled"}, ""},  // another word: an unknown key
      {"LPLAY", {"controlled", "press PLAY"}, ""},
      {"PPREV", {}, "untouched"},
      {"lpause", {}, "untouched"},
      {" LPAUSE", {}, "untouched"},
      {"", {}, "untouched"},
  };
  for (const Case& c : cases) {
    RecordingTarget target;
    HandleRemoteText(target, c.text);
    EXPECT_EQ(target.calls, c.calls) << '"' << c.text << '"';
    EXPECT_EQ(target.item, c.item) << '"' << c.text << '"';
    const bool took_control = !c.calls.empty() && c.calls.front() == "controlled";
    EXPECT_EQ(target.controlled, took_control && c.calls.back() != "released") << c.text;
  }
}

TEST(RemoteCommandsTest, LoadOfTheChartLoadedNowResumesOnlyWhenPaused) {
  RecordingTarget target;
  target.current_file = "/m/x.bms";
  target.paused = true;
  HandleRemoteText(target, "LLOAD /m/x.bms");
  EXPECT_EQ(target.calls, (Calls{"controlled", "play"}));
  target.calls.clear();
  target.paused = false;
  HandleRemoteText(target, "LLOAD /m/x.bms");
  EXPECT_EQ(target.calls, (Calls{"controlled", "load /m/x.bms", "arm"}));
}

TEST(RemoteCommandsTest, PreviewMeasureFallsBackToZero) {
  const auto parsed = [](std::string_view text) {
    const RemotePreview p = ParseRemotePreview(text);
    return std::to_string(p.measure) + "|" + p.path;
  };
  EXPECT_EQ(parsed("LPREVIEW 7bis /x.bms"), "7|/x.bms");
  for (const char* text : {"LPREVIEW abc /x.bms", "LPREVIEW -3 /x.bms",
                           "LPREVIEW 99999999999 /x.bms", "LPREVIEW  /x.bms"})
    EXPECT_EQ(parsed(text), "0|/x.bms") << text;
}

TEST(RemoteCommandsTest, AClientSendsChartPathsAbsoluteWithTheirBytesKept) {
  const std::string here = std::filesystem::current_path().string();
  // CP932 bytes ("曲" is 0x8B 0xC8) that are not UTF-8 stay as they are.
  const std::string cp932 = "\x8B\xC8/a b.bms";
  EXPECT_EQ(ResolveRemoteText("LLOAD " + cp932), "LLOAD " + here + "/" + cp932);
  EXPECT_EQ(ResolveRemoteText("LLOAD ./x/../y/./z.bms"), "LLOAD " + here + "/y/z.bms");
  EXPECT_EQ(ResolveRemoteText("LPREVIEW 12 ../x.bms"),
            "LPREVIEW 12 " + (std::filesystem::path(here).parent_path() / "x.bms").string());
  // The path is read as the handler reads it: a blank inside it stays part of it.
  EXPECT_EQ(ResolveRemoteText("LPREVIEW 3 my song.bms"), "LPREVIEW 3 " + here + "/my song.bms");
  EXPECT_EQ(ResolveRemoteText("LADD a b.bms"), "LADD " + here + "/a b.bms");
  EXPECT_EQ(ResolveRemoteText("LPLAYLIST " + cp932), "LPLAYLIST " + here + "/" + cp932);
  for (const char* unchanged : {"LLOAD /abs/./x.bms", "LLOAD", "LLOAD ", "LPREVIEW 3", "LSTOP",
                                "PLENGTH 5", "LLOADX", "LADD", "LADDX y", "LPLAYLIST"})
    EXPECT_EQ(ResolveRemoteText(unchanged), unchanged);
}

}  // namespace
}  // namespace quillon
