#include "shell/remote_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

// Records every call as one line, in order.
class RecordingTarget : public RemoteTarget {
 public:
  std::vector<std::string> calls;
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
};

using Calls = std::vector<std::string>;

TEST(RemoteCommandsTest, LoadTakesEverythingAfterTheFirstBlank) {
  RecordingTarget target;
  HandleRemoteText(target, "LLOAD /a b/x.bms");
  EXPECT_EQ(target.calls, (Calls{"controlled", "load /a b/x.bms", "arm"}));
  EXPECT_EQ(target.item, "untouched");  // the text stays in DDEP

  RecordingTarget alone;
  HandleRemoteText(alone, "LLOAD");
  EXPECT_EQ(alone.calls, (Calls{"controlled", "load LLOAD", "arm"}));
}

TEST(RemoteCommandsTest, LoadOfTheChartLoadedNow) {
  RecordingTarget target;
  target.current_file = "/m/x.bms";
  target.paused = true;
  HandleRemoteText(target, "LLOAD /m/x.bms");
  EXPECT_EQ(target.calls, (Calls{"controlled", "play"}));

  // Not paused: loaded and armed again (the loader itself skips reloading the same chart).
  target.calls.clear();
  target.paused = false;
  HandleRemoteText(target, "LLOAD /m/x.bms");
  EXPECT_EQ(target.calls, (Calls{"controlled", "load /m/x.bms", "arm"}));
}

TEST(RemoteCommandsTest, CommandBarKeysPressTheirButtonAndEmptyTheItem) {
  RecordingTarget target;
  HandleRemoteText(target, "LPAUSE");
  EXPECT_EQ(target.calls, (Calls{"controlled", "press PAUSE"}));
  EXPECT_EQ(target.item, "");

  target.calls.clear();
  HandleRemoteText(target, "LNEXT");
  EXPECT_EQ(target.calls, (Calls{"controlled", "press NEXT"}));

  for (const char* key : {"PLAY", "STOP", "PREV", "REW", "FF", "REP1", "REPA", "BMPOUT"})
    EXPECT_TRUE(IsCommandBarKey(key)) << key;
  for (const char* key : {"OPEN", "PLAYLIST", "pause", "PAUSE ", "", "CLOSE"})
    EXPECT_FALSE(IsCommandBarKey(key)) << key;
}

TEST(RemoteCommandsTest, OtherKeysOnlyEmptyTheItem) {
  RecordingTarget target;
  HandleRemoteText(target, "LOPEN");
  EXPECT_EQ(target.calls, (Calls{"controlled"}));
  EXPECT_EQ(target.item, "");

  target.item = "x";
  HandleRemoteText(target, "L");
  EXPECT_EQ(target.item, "");
}

TEST(RemoteCommandsTest, TextsNotStartingWithLAreIgnored) {
  for (const char* text : {"PPREV", "PNEXT", "PCLOSE", "", "lpause", " LPAUSE"}) {
    RecordingTarget target;
    HandleRemoteText(target, text);
    EXPECT_TRUE(target.calls.empty()) << text;
    EXPECT_FALSE(target.controlled) << text;
    EXPECT_EQ(target.item, "untouched") << text;
  }
}

TEST(RemoteCommandsTest, CloseEndsTheLinkAndReleasesControl) {
  RecordingTarget target;
  HandleRemoteText(target, "LCLOSE");
  EXPECT_EQ(target.calls, (Calls{"controlled", "close", "released"}));
  EXPECT_FALSE(target.controlled);
  EXPECT_EQ(target.item, "");

  // Only the exact text closes.
  target.calls.clear();
  HandleRemoteText(target, "LCLOSE ");
  EXPECT_EQ(target.calls, (Calls{"controlled"}));
}

TEST(RemoteCommandsTest, PreviewReadsMeasureAndPath) {
  RecordingTarget target;
  HandleRemoteText(target, "LPREVIEW 12 /a b/x.bms");
  EXPECT_EQ(target.calls, (Calls{"controlled", "preview 12 /a b/x.bms"}));
  EXPECT_EQ(target.item, "untouched");

  const auto parsed = [](std::string_view text) {
    const RemotePreview p = ParseRemotePreview(text);
    return std::to_string(p.measure) + "|" + p.path;
  };
  EXPECT_EQ(parsed("LPREVIEW 7bis /x.bms"), "7|/x.bms");
  EXPECT_EQ(parsed("LPREVIEW abc /x.bms"), "0|/x.bms");
  EXPECT_EQ(parsed("LPREVIEW -3 /x.bms"), "0|/x.bms");
  EXPECT_EQ(parsed("LPREVIEW 99999999999 /x.bms"), "0|/x.bms");
  EXPECT_EQ(parsed("LPREVIEW  /x.bms"), "0|/x.bms");
  EXPECT_EQ(parsed("LPREVIEW 3"), "3|");

  // Without a path nothing is previewed; without the blank it is an unknown key.
  target.calls.clear();
  HandleRemoteText(target, "LPREVIEW 3");
  EXPECT_EQ(target.calls, (Calls{"controlled"}));
  HandleRemoteText(target, "LPREVIEW");
  EXPECT_EQ(target.item, "");
}

}  // namespace
}  // namespace quillon
