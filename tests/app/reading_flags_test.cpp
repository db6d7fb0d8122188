// The command line's choice of reading and the notes list of the dump.
#include <gtest/gtest.h>

#include <sstream>

#include "app/command_line.h"

namespace quillon {
namespace {

CommandLine Parse(std::initializer_list<const char*> args) {
  std::vector<std::string> list{"quillon"};
  list.insert(list.end(), args.begin(), args.end());
  return ParseCommandLine(list);
}

TEST(ReadingFlagsTest, HeadlessCommandsReadExtendedUnlessClassicIsGiven) {
  EXPECT_TRUE(Parse({"--dump", "a.bms"}).Dump.Options.Extended);
  EXPECT_FALSE(Parse({"--dump", "--classic", "a.bms"}).Dump.Options.Extended);
  EXPECT_TRUE(Parse({"--render-audio", "o.wav", "a.bms"}).RenderAudio.Options.Extended);
  EXPECT_FALSE(
      Parse({"--classic", "--render-audio", "o.wav", "a.bms"}).RenderAudio.Options.Extended);
  EXPECT_TRUE(
      Parse({"--render-frames", "f", "--fps", "30", "a.bms"}).RenderFrames.Options.Extended);
  EXPECT_FALSE(Parse({"--render-frames", "f", "--fps", "30", "--classic", "a.bms"})
                   .RenderFrames.Options.Extended);

  // --notes is the dump's, and goes with either reading; the other options are kept beside them.
  const CommandLine notes = Parse({"--dump", "--notes", "--classic", "--choose", "2", "a.bms"});
  ASSERT_EQ(notes.Action, CommandLine::Mode::Dump);
  EXPECT_TRUE(notes.Dump.Notes);
  EXPECT_FALSE(notes.Dump.Options.Extended);
  EXPECT_EQ(notes.Dump.Options.Choices, std::vector<int>{2});
  EXPECT_FALSE(Parse({"--dump", "a.bms"}).Dump.Notes);

  for (auto bad : {Parse({"--classic", "a.bms"}), Parse({"--notes", "a.bms"}),
                   Parse({"--render-audio", "o.wav", "--notes", "a.bms"}),
                   Parse({"--render-frames", "f", "--fps", "30", "--notes", "a.bms"})}) {
    EXPECT_EQ(bad.Action, CommandLine::Mode::Error) << bad.Text;
  }

  const std::string help = Parse({"--help"}).Text;
  EXPECT_NE(help.find("--classic"), std::string::npos);
  EXPECT_NE(help.find("--notes"), std::string::npos);
}

}  // namespace
}  // namespace quillon
