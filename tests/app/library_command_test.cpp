// The library commands: parsing, and each one run end to end on a small library in a temporary
// data folder.
#include "app/library_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/command_line.h"
#include "library/library.h"
#include "support/test_data.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

CommandLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "quillon");
  return ParseCommandLine(args);
}

TEST(LibraryCommandLine, ParsesEachCommandAndRefusesMixes) {
  ASSERT_EQ(setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1), 0);
  const CommandLine add = Parse({"--library-add", "/music/\x8B\xC8"});
  ASSERT_EQ(add.Action, CommandLine::Mode::Library);
  EXPECT_EQ(add.Library.Action, LibraryRequest::Kind::Add);
  EXPECT_EQ(add.Library.Folder, "/music/\x8B\xC8");  // bytes kept
  EXPECT_EQ(add.Library.DataFolder, "/tmp/xdg-data/Quillon");
  unsetenv("XDG_DATA_HOME");

  const CommandLine query = Parse({"--library-query", "night", "sky"});
  ASSERT_EQ(query.Action, CommandLine::Mode::Library);
  EXPECT_EQ(query.Library.Action, LibraryRequest::Kind::Query);
  EXPECT_EQ(query.Library.Text, "night sky");
  EXPECT_EQ(Parse({"--library-query", ""}).Library.Text, "");
  EXPECT_EQ(Parse({"--library-scan"}).Library.Action, LibraryRequest::Kind::Scan);
  EXPECT_EQ(Parse({"--library-remove", "d"}).Library.Action, LibraryRequest::Kind::Remove);
  EXPECT_EQ(Parse({"--library-rebuild"}).Library.Action, LibraryRequest::Kind::Rebuild);

  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"--library-scan", "--dump", "a.bms"},
                                             {"--library-scan", "--library-query", "x"},
                                             {"--library-scan", "a.bms"},
                                             {"--library-add", ""},
                                             {"--library-query", "x", "--seed", "1"},
                                             {"--library-add"}}) {
    EXPECT_EQ(Parse(wrong).Action, CommandLine::Mode::Error) << wrong.front() << wrong.back();
  }
}

std::string Chart(const std::string& title, int level) {
  return "#TITLE " + title + "\r\n#ARTIST Someone\r\n#PLAYLEVEL " + std::to_string(level) +
         "\r\n#BPM 120\r\n#00111:01010101\r\n#00112:0101\r\n";
}

class LibraryCommandRun : public ::testing::Test {
 protected:
  // Runs a request on the test's data folder; the output goes to out_ and err_.
  int Run(LibraryRequest::Kind kind, const std::string& argument = {}) {
    LibraryRequest request;
    request.Action = kind;
    request.DataFolder = (data_.path() / "Quillon").string();
    (kind == LibraryRequest::Kind::Query ? request.Text : request.Folder) = argument;
    out_.str({});
    err_.str({});
    return RunLibraryCommand(request, out_, err_);
  }
  std::vector<nlohmann::json> QueryLines(const std::string& text) {
    EXPECT_EQ(Run(LibraryRequest::Kind::Query, text), 0) << err_.str();
    std::vector<nlohmann::json> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);)
      lines.push_back(nlohmann::json::parse(line));
    return lines;
  }
  std::string DatabaseFile() const {
    return LibraryDatabasePath((data_.path() / "Quillon").string());
  }

  test::TempDir data_;
  test::TempDir charts_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(LibraryCommandRun, AddScanQueryRescanRemove) {
  charts_.Write("song/alpha.bms", Chart("Alpha Night", 3));
  charts_.Write("song/beta.bme", Chart("ＢＥＴＡ", 11));
  // A CP932 folder name: "曲" is 0x8B 0xC8.
  charts_.Write("\x8B\xC8/gamma.bms", Chart("Gamma", 7));
  charts_.Write("song/notes.txt", "no chart");
  const std::string root = charts_.path().string();

  ASSERT_EQ(Run(LibraryRequest::Kind::Add, root), 0) << err_.str();
  EXPECT_EQ(Run(LibraryRequest::Kind::Add, root), 1);  // there already
  EXPECT_FALSE(err_.str().empty());
  ASSERT_EQ(Run(LibraryRequest::Kind::Scan), 0) << err_.str();
  EXPECT_EQ(
      out_.str().rfind("found 3, read 3, unchanged 0, failed 0, removed 0, skipped folders 0", 0),
      0u)
      << out_.str();

  const std::vector<nlohmann::json> all = QueryLines("");
  ASSERT_EQ(all.size(), 3u);
  const auto first = nlohmann::ordered_json::parse(out_.str().substr(0, out_.str().find('\n')));
  std::vector<std::string> keys;
  for (const auto& [key, value] : first.items())
    keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"path", "title", "artist", "level", "mode", "notes",
                                            "length", "md5", "sha256"}));

  const std::vector<nlohmann::json> night = QueryLines("ＮＩＧＨＴ alpha");
  ASSERT_EQ(night.size(), 1u);
  EXPECT_EQ(night[0]["path"], root + "/song/alpha.bms");
  EXPECT_EQ(night[0]["title"], "Alpha Night");
  EXPECT_EQ(night[0]["artist"], "Someone");
  EXPECT_EQ(night[0]["level"], 3);
  EXPECT_EQ(night[0]["notes"], 6);
  EXPECT_EQ(night[0]["md5"].get<std::string>().size(), 32u);
  const std::vector<nlohmann::json> folder = QueryLines("曲");  // found by its CP932 folder
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_EQ(folder[0]["path"], root + "/曲/gamma.bms");
  EXPECT_EQ(QueryLines("beta").size(), 1u);
  EXPECT_TRUE(QueryLines("alpha gamma").empty());

  fs::remove(charts_.path() / "song/beta.bme");
  ASSERT_EQ(Run(LibraryRequest::Kind::Scan), 0) << err_.str();
  EXPECT_EQ(out_.str().rfind("found 2, read 0, unchanged 2, failed 0, removed 1", 0), 0u)
      << out_.str();
  EXPECT_TRUE(err_.str().empty()) << err_.str();  // no terminal: no progress line

  ASSERT_EQ(Run(LibraryRequest::Kind::Remove, root), 0) << err_.str();
  EXPECT_EQ(Run(LibraryRequest::Kind::Remove, root), 1);
  EXPECT_TRUE(QueryLines("").empty());
}

TEST_F(LibraryCommandRun, RefusedDatabaseIsKeptUntilRebuilt) {
  const std::string garbage(4096, 'x');
  fs::create_directories(fs::path(DatabaseFile()).parent_path());
  { std::ofstream(DatabaseFile(), std::ios::binary) << garbage; }
  for (const auto kind :
       {LibraryRequest::Kind::Query, LibraryRequest::Kind::Scan, LibraryRequest::Kind::Add}) {
    EXPECT_EQ(Run(kind, kind == LibraryRequest::Kind::Add ? charts_.path().string() : ""), 1);
    EXPECT_NE(err_.str().find(DatabaseFile()), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("--library-rebuild"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());
  }
  EXPECT_EQ(test::ReadFile(DatabaseFile()), garbage);

  ASSERT_EQ(Run(LibraryRequest::Kind::Rebuild), 0) << err_.str();
  int kept = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(DatabaseFile()).parent_path())) {
    if (entry.path().filename().string().rfind("library.sqlite.broken-", 0) == 0 &&
        test::ReadFile(entry.path()) == garbage)
      ++kept;
  }
  EXPECT_EQ(kept, 1);
  EXPECT_TRUE(QueryLines("").empty());
  EXPECT_EQ(Run(LibraryRequest::Kind::Rebuild), 0);  // a sound database: nothing to do
}

}  // namespace
}  // namespace quillon
