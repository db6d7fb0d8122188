#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace quillon {
namespace {

// --help lists every option the parser takes, each with a line that says what it does.
TEST(CommandLineHelp, NamesEveryOptionWithADescription) {
  const CommandLine help = ParseCommandLine({"quillon", "--help"});
  ASSERT_EQ(help.Action, CommandLine::Mode::Help);
  std::vector<std::string> described;
  std::istringstream lines(help.Text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    // "  --wait <MS>   With --remote: ...": the names, then two or more spaces, then the text.
    const size_t gap = line.find("  ", 2);
    ASSERT_NE(gap, std::string::npos) << line;
    EXPECT_NE(line.find_first_not_of(' ', gap), std::string::npos) << line;
    described.push_back(line.substr(2, gap - 2));
  }
  std::string all;
  for (const std::string& names : described)
    all += names + "\n";
  for (const char* option : {"--help",
                             "--version",
                             "--remote",
                             "--wait <MS>",
                             "-P",
                             "-N <MEASURE>",
                             "-S",
                             "--render-frames <BASE>",
                             "--render-video <OUT>",
                             "--fps <F>",
                             "--size <WxH>",
                             "--quality <Q>",
                             "--render-audio <OUT.wav>",
                             "--rate <HZ>",
                             "--dump",
                             "--resources",
                             "--notes",
                             "--classic",
                             "--choose <LIST>",
                             "--seed <N>"}) {
    EXPECT_NE(all.find(std::string(option) + "\n"), std::string::npos)
        << option << " missing from:\n"
        << help.Text;
  }
  for (const char* option : {"--library-add <DIR>", "--library-remove <DIR>", "--library-scan",
                             "--library-query <TEXT>", "--library-rebuild"}) {
    EXPECT_NE(all.find(std::string(option) + "\n"), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace quillon
