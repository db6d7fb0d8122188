// `quillon --dump`: the command line, the JSON form, and the expected dump of every quirk chart.
#include "app/dump_command.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QtGlobal>
#include <filesystem>
#include <regex>
#include <sstream>

#include "app/command_line.h"
#include "playlist/default_playlist.h"
#include "support/odd_files.h"
#include "support/test_data.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

CommandLine Parse(std::initializer_list<const char*> args) {
  std::vector<std::string> list{"quillon"};
  list.insert(list.end(), args.begin(), args.end());
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
  // The player takes the rest of the line as one path: words split at a blank join again.
  EXPECT_EQ(Parse({"my", "song.bms"}).ChartPath, "my song.bms");

  // Remote control and editor preview.
  const CommandLine remote = Parse({"--remote", "LLOAD /a b.bms", "LPLAY", "--wait", "900"});
  ASSERT_EQ(remote.Action, CommandLine::Mode::Remote);
  EXPECT_EQ(remote.RemoteTexts, (std::vector<std::string>{"LLOAD /a b.bms", "LPLAY"}));
  EXPECT_EQ(remote.RemoteWaitMs, 900);
  const CommandLine preview = Parse({"-P", "-N12", "song.bms"});
  ASSERT_EQ(preview.Action, CommandLine::Mode::Preview);
  EXPECT_EQ(preview.PreviewMeasure, 12);
  EXPECT_EQ(preview.ChartPath, "song.bms");
  EXPECT_EQ(Parse({"-S"}).Action, CommandLine::Mode::PreviewStop);

  // Paths and texts keep their bytes, whether UTF-8 or CP932 (not text in a UTF-8 locale).
  const char* cp932 = "\x89\xb9\x8a\x79/\x8b\xc8.bms";
  EXPECT_EQ(Parse({cp932}).ChartPath, cp932);
  EXPECT_EQ(Parse({"--dump", cp932}).Dump.ChartPath, cp932);
  EXPECT_EQ(Parse({"-P", "曲/譜面.bms"}).ChartPath, "曲/譜面.bms");
  EXPECT_EQ(Parse({"--remote", "LLOAD /\x8b\xc8.bms"}).RemoteTexts,
            (std::vector<std::string>{"LLOAD /\x8b\xc8.bms"}));
  EXPECT_EQ(Parse({"--render-frames", "\x8b\xc8", "--fps", "30", "a.bms"}).RenderFrames.Base,
            "\x8b\xc8");

  for (auto bad : {Parse({"--remote"}), Parse({"--wait", "5", "a.bms"}), Parse({"-P"}),
                   Parse({"-N3", "a.bms"}), Parse({"-P", "-Nx", "a.bms"}), Parse({"-S", "a.bms"}),
                   Parse({"--remote", "LPLAY", "-P", "a.bms"}), Parse({"--dump"}),
                   Parse({"--dump", "--choose", "x", "a.bms"}),
                   Parse({"--dump", "--seed", "-1", "a.bms"}), Parse({"--choose", "1", "a.bms"}),
                   Parse({"--nonsense"}), Parse({"--dump", "a.bms", "b.bms"})}) {
    EXPECT_EQ(bad.Action, CommandLine::Mode::Error);
    std::ostringstream out, err;
    EXPECT_EQ(RunCommandLine(bad, out, err), 2);
    EXPECT_NE(err.str().find("quillon: "), std::string::npos);
  }
}

// Qt's messages while a test body runs.
std::vector<std::string>* g_qt_messages = nullptr;
void CollectQtMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
  if (g_qt_messages != nullptr) g_qt_messages->push_back(text.toStdString());
}

TEST(CommandLineTest, FramesFindTheSkinsWhereTheWindowDoesWithoutAnApplicationObject) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);  // as main() parses the first time
  std::vector<std::string> messages;
  g_qt_messages = &messages;
  const QtMessageHandler previous = qInstallMessageHandler(CollectQtMessage);
  const CommandLine frames = Parse({"--render-frames", "out", "--fps", "30", "a.bms"});
  qInstallMessageHandler(previous);
  g_qt_messages = nullptr;
  EXPECT_EQ(messages, std::vector<std::string>{});
  ASSERT_EQ(frames.Action, CommandLine::Mode::RenderFrames);
  EXPECT_EQ(frames.RenderFrames.ProgramFolder, ProgramFolder());
  EXPECT_EQ(frames.RenderFrames.DataFolder, UserDataFolder());
  EXPECT_FALSE(frames.RenderFrames.ProgramFolder.empty());
}

TEST(DumpTest, MissingChartFailsWithAMessage) {
  std::ostringstream out, err;
  EXPECT_EQ(RunDump({"/no/such/chart.bms", {}}, out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "quillon: chart not found: /no/such/chart.bms\n");
}

// Each headless command refuses what is no chart to read at once, with its reason, and exits 1:
// a FIFO is never waited on, /dev/zero never read.
TEST(DumpTest, WhatIsNoChartFileFailsAtOnceWithItsReason) {
  test::TempDir dir;
  // None of these may block (ctest's time-out would end a hang) or be read.
  for (const test::OddFile& odd : test::MakeOddFiles(dir, ".bms", uint64_t{100} << 20)) {
    SCOPED_TRACE(odd.name);
    const std::string line =
        odd.refusal == FileRefusal::Missing
            ? "quillon: chart not found: " + odd.path + "\n"
            : "quillon: " + RefusalText(odd.refusal, "chart", odd.path, odd.error) + "\n";
    std::ostringstream out, err;
    EXPECT_EQ(RunDump({odd.path, {}, true}, out, err), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), line);

    RenderAudioRequest audio;
    audio.ChartPath = odd.path;
    audio.OutPath = (dir.path() / "out.wav").string();
    std::ostringstream audio_err;
    EXPECT_EQ(RunRenderAudio(audio, out, audio_err), 1);
    EXPECT_EQ(audio_err.str(), line);

    RenderFramesRequest frames;
    frames.ChartPath = odd.path;
    frames.Base = (dir.path() / "frame").string();
    std::ostringstream frames_err;
    EXPECT_EQ(RunRenderFrames(frames, out, frames_err), 1);
    EXPECT_EQ(frames_err.str(), line);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "out.wav"));
  EXPECT_FALSE(fs::exists(dir.path() / "frame0001.bmp"));
  std::ostringstream out, err;
  EXPECT_EQ(RunDump({(dir.path() / "fifo.bms").string(), {}}, out, err), 1);
  EXPECT_EQ(err.str(), "quillon: Not a chart file: " + (dir.path() / "fifo.bms").string() + "\n");
}

// Key order and value types are pinned by the expected dumps below (ordered comparison); the
// path is the one thing they cannot show.
TEST(DumpTest, RecordsTheFullPath) {
  test::TempDir dir;
  const std::string path = dir.Write("x.bms", "#TITLE x\r\n#00111:01\r\n");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path());
  std::ostringstream out, err;
  const int status = RunDump({"x.bms", {}}, out, err);
  fs::current_path(cwd);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(nlohmann::ordered_json::parse(out.str())["header"]["FilePath"], path);
}

TEST(DumpTest, ResourcesListWhatWasLoaded) {
  // The demo chart names .ogg sounds, .png pictures and an .avi movie that ship with it.
  DumpRequest request{QUILLON_SOURCE_DIR "/resources/demo/demo.bms", {}, true};
  std::ostringstream out, err;
  ASSERT_EQ(RunDump(request, out, err), 0) << err.str();
  const auto json = nlohmann::ordered_json::parse(out.str());
  ASSERT_EQ(json["sounds"].size(), 12u);
  const auto& kick = json["sounds"][0];
  EXPECT_EQ(kick["id"], 1);
  EXPECT_EQ(kick["file"], "kick.ogg");
  EXPECT_EQ(kick["rate"], 44100);
  EXPECT_EQ(kick["channels"], 1);
  EXPECT_GT(kick["frames"].get<int>(), 10000);
  ASSERT_EQ(json["pictures"].size(), 4u);
  EXPECT_EQ(json["pictures"][2],
            nlohmann::ordered_json::parse(
                R"({"id": 3, "file": "layer_01.png", "width": 256, "height": 256})"));
  EXPECT_EQ(json["pictures"][3],
            nlohmann::ordered_json::parse(R"({"id": 4, "file": "demo_layer.avi", "width": 256,
                "height": 256, "movie": true, "frames": 144, "fps": 21.0})"));
  EXPECT_EQ(err.str(), "");
}

// Archives unpacked on Linux keep CP932 folder and file names: bytes that are not UTF-8.
TEST(DumpTest, ChartsInCp932NamedFoldersLoadWithTheirFiles) {
  test::TempDir dir;
  const fs::path folder = dir.path() / "\x89\xb9\x8a\x79";
  fs::copy(QUILLON_SOURCE_DIR "/resources/demo", folder);
  fs::rename(folder / "demo.bms", folder / "\x8b\xc8.bms");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path());
  std::ostringstream out, err;
  const int status = RunDump({"\x89\xb9\x8a\x79/\x8b\xc8.bms", {}, true}, out, err);
  fs::current_path(cwd);
  ASSERT_EQ(status, 0) << err.str();
  const auto json = nlohmann::ordered_json::parse(out.str());
  EXPECT_EQ(json["header"]["Title"], "Quillon Demo");
  EXPECT_EQ(json["sounds"].size(), 12u);
  EXPECT_EQ(json["pictures"].size(), 4u);
}

TEST(RenderFramesTest, WritesOneBitmapPerFrameOfTheDisplay) {
  test::TempDir dir;
  RenderFramesRequest request;
  request.ChartPath = dir.Write("c.bms", "#BPM 150\r\n#00011:01\r\n");
  request.Base = (dir.path() / "out").string();
  request.Fps = 10;
  request.Width = 64;
  request.Height = 48;
  request.ProgramFolder = (dir.path() / "program").string();
  request.DataFolder = (dir.path() / "data").string();
  std::ostringstream out, err;
  ASSERT_EQ(RunRenderFrames(request, out, err), 0) << err.str();
  // Final bar line at 384, play to 640 units; frame F lies at 12F: frames 1 to 54.
  EXPECT_TRUE(fs::exists(dir.path() / "out0054.bmp"));
  EXPECT_FALSE(fs::exists(dir.path() / "out0055.bmp"));
  EXPECT_EQ(fs::file_size(dir.path() / "out0001.bmp"), 54u + 64 * 3 * 48);
  EXPECT_TRUE(fs::exists(dir.path() / "data" / "obj.bmp"));  // the default skin was saved

  request.Base = (dir.path() / "no-folder" / "out").string();
  EXPECT_EQ(RunRenderFrames(request, out, err), 1);
  EXPECT_NE(err.str().find("out0001.bmp"), std::string::npos);
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
    // Compared as text: a whole number printed as 384.0 instead of 384 is a different dump.
    EXPECT_EQ(actual.dump(), expected.dump()) << name;
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

// Every tests/data/peer/NAME.bms (the extended reading's rules, one chart each) has
// NAME.notes.json: its `--dump --notes` list with every #RANDOM and #SWITCH taking branch 1, as
// text.
TEST(DumpTest, ExtendedRuleChartsGiveTheirExpectedNotes) {
  const fs::path charts = test::DataDir() / "peer";
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(charts)) {
    if (entry.path().extension() != ".bms") continue;
    DumpRequest request;
    request.ChartPath = entry.path().string();
    request.Notes = true;
    request.Options.Extended = true;
    request.Options.Seed = 1;
    request.Options.Choices.assign(16, 1);
    std::ostringstream out, err;
    ASSERT_EQ(RunDump(request, out, err), 0) << entry.path() << err.str();
    const std::string text = out.str();
    const size_t at = text.find("\"notes\":");
    ASSERT_NE(at, std::string::npos);
    fs::path golden = entry.path();
    golden.replace_extension(".notes.json");
    std::string expected = test::ReadFile(golden);
    while (!expected.empty() && expected.back() == '\n')
      expected.pop_back();
    EXPECT_EQ(text.substr(at + 8, text.size() - at - 8 - 2), expected) << entry.path();
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

}  // namespace
}  // namespace quillon
