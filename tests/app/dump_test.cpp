// `quillon --dump`: the command line, the JSON form, and the expected dump of every quirk chart.
#include "app/dump_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "app/command_line.h"
#include "support/test_data.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

CommandLine Parse(std::initializer_list<const char*> args) {
  QStringList list{QStringLiteral("quillon")};
  for (const char* arg : args)
    list << QString::fromUtf8(arg);
  return ParseCommandLine(list);
}

TEST(CommandLineTest, DumpOptions) {
  const CommandLine dump = Parse({"--dump", "--choose", "2,0,1", "--seed", "42", "a b.bms"});
  ASSERT_EQ(dump.Action, CommandLine::Mode::Dump);
  EXPECT_EQ(dump.Dump.ChartPath, "a b.bms");
  EXPECT_EQ(dump.Dump.Options.Choices, (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(dump.Dump.Options.Seed, 42u);

  const CommandLine player = Parse({"song.bms"});
  EXPECT_EQ(player.Action, CommandLine::Mode::Player);
  EXPECT_EQ(player.ChartPath, "song.bms");

  for (auto bad : {Parse({"--dump"}), Parse({"--dump", "--choose", "x", "a.bms"}),
                   Parse({"--dump", "--seed", "-1", "a.bms"}), Parse({"--choose", "1", "a.bms"}),
                   Parse({"--nonsense"}), Parse({"a.bms", "b.bms"})}) {
    EXPECT_EQ(bad.Action, CommandLine::Mode::Error);
    std::ostringstream out, err;
    EXPECT_EQ(RunCommandLine(bad, out, err), 2);
    EXPECT_NE(err.str().find("quillon: "), std::string::npos);
  }
}

TEST(DumpTest, MissingChartFailsWithAMessage) {
  std::ostringstream out, err;
  EXPECT_EQ(RunDump({"/no/such/chart.bms", {}}, out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "quillon: chart not found: /no/such/chart.bms\n");
  test::TempDir dir;
  EXPECT_EQ(RunDump({dir.path().string(), {}}, out, err), 1);
}

TEST(DumpTest, KeysComeInTheirOrderWithTheirTypes) {
  test::TempDir dir;
  const std::string path = dir.Write("x.bms", "#TITLE x\r\n#BPM 120\r\n#00111:01\r\n");
  std::ostringstream out, err;
  ASSERT_EQ(RunDump({path, {}}, out, err), 0);
  const auto json = nlohmann::ordered_json::parse(out.str());
  std::vector<std::string> keys;
  for (const auto& item : json.items())
    keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"header", "StartBpm", "WaveVolume", "LastMeasure",
                                            "EndPosition", "NoteCount", "ScorePerNote",
                                            "TotalTimeMs", "objects"}));
  std::vector<std::string> header_keys;
  for (const auto& item : json["header"].items())
    header_keys.push_back(item.key());
  EXPECT_EQ(header_keys,
            (std::vector<std::string>{"Genre", "Title", "Artist", "Bpm", "Player", "PlayLevel",
                                      "Rank", "HasBga", "HasLayer", "HasMidiFile", "HasRandom",
                                      "FilePath", "TotalSize", "StageFile", "Email", "Url",
                                      "SevenKeys", "FilesPresent"}));
  EXPECT_TRUE(json["header"]["TotalSize"].is_string());
  EXPECT_TRUE(json["header"]["HasBga"].is_boolean());
  EXPECT_EQ(json["header"]["FilePath"], path);
  EXPECT_EQ(json["objects"][2], nlohmann::ordered_json::parse("[11, 192, 1, 0]"));
}

// Every tests/data/charts/NAME.bms has NAME.json (dumped with --seed 1) and may have
// NAME.choose-LIST.json (dumped with --choose LIST). FilePath differs by checkout: not compared.
TEST(DumpTest, QuirkChartsGiveTheirExpectedDumps) {
  const fs::path charts = test::DataDir() / "charts";
  const std::regex choose_name(R"((.*)\.choose-([0-9,]+)\.json)");
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(charts)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".json") continue;
    DumpRequest request;
    request.Options.Seed = 1;
    std::smatch match;
    std::string stem = entry.path().stem().string();
    if (std::regex_match(name, match, choose_name)) {
      stem = match[1];
      std::stringstream list(match[2]);
      for (std::string item; std::getline(list, item, ',');) {
        request.Options.Choices.push_back(std::stoi(item));
      }
    }
    request.ChartPath = (charts / (stem + ".bms")).string();
    std::ostringstream out, err;
    ASSERT_EQ(RunDump(request, out, err), 0) << name;
    auto actual = nlohmann::ordered_json::parse(out.str());
    auto expected = nlohmann::ordered_json::parse(test::ReadFile(entry.path()));
    actual["header"].erase("FilePath");
    expected["header"].erase("FilePath");
    EXPECT_EQ(actual, expected) << name;
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

}  // namespace
}  // namespace quillon
