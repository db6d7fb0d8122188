#include "chart/header_scan.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "chart/numbers.h"
#include "chart/text_util.h"
#include "platform/file_io.h"
#include "platform/file_lookup.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

// Only the first lines can hold header commands; the last piece is the rest of the file.
constexpr size_t kHeaderPieces = 500;
// The contact lines (%EMAIL, %URL) are also looked for, without needing a '#', in the first
// lines.
constexpr size_t kContactPieces = 5;

bool Contains(std::string_view text, std::string_view what) {
  return ContainsText(text, what);
}

// The last piece of a limited split holds the rest of the file; a command there takes its own
// line only, not everything after it.
std::string_view FirstLine(std::string_view piece) {
  return piece.substr(0, piece.find("\r\n"));
}

// Stores the whole value of `value` in `field`; a value that does not fit leaves it unchanged.
void StoreWhole(std::string_view value, int16_t& field) {
  if (const std::optional<int16_t> whole = ReadWhole<int16_t>(value)) field = *whole;
}

// Looks for a sound or picture file named by the chart: its size joins `total`, a missing
// (or unreadable) one clears FilesPresent.
void CheckFile(ChartFileFinder& finder, const std::string& name, uint64_t& total,
               BmsHeader& header) {
  const std::optional<std::string> found = finder.Find(name);
  if (found) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(*found, ec);
    if (!ec) {
      total += size;
      return;
    }
  }
  header.FilesPresent = false;
}

}  // namespace

void ScanBmsHeader(std::string_view bytes, const std::string& path, BmsHeader& header,
                   bool NoFileCheck) {
  std::string text = DecodeChartText(bytes);
  NormalizeLineEnds(text);
  ScanBmsHeaderText(text, bytes.size(), path, header, NoFileCheck);
}

void ScanBmsHeaderText(std::string_view text, uint64_t byte_count, const std::string& path,
                       BmsHeader& header, bool NoFileCheck) {
  ChartFileFinder finder(GetFolderPath(path));
  uint64_t total = byte_count;

  BmsHeader h;  // a cleared record: Player 1, PlayLevel 3, Rank 2, FilesPresent true
  h.FilePath = path;
  h.FileDate = header.FileDate;

  h.HasBga = Contains(text, "04 ") || Contains(text, "04:");
  h.HasLayer = Contains(text, "07 ") || Contains(text, "07:");
  h.SevenKeys = Contains(text, "18:");

  for (std::string_view piece : SplitCrLf(text, kHeaderPieces)) {
    piece = FirstLine(piece);
    if (!Contains(piece, "#")) continue;
    const size_t space = piece.find(' ');
    if (space == std::string_view::npos) {
      if (piece.starts_with("#0")) break;  // the channel data has begun
      continue;
    }
    const std::string command = UpperCase(piece.substr(0, space));
    const std::string value = TrimNull(piece.substr(space));
    if (command == "#TITLE") {
      h.Title = value;
    } else if (command == "#ARTIST") {
      h.Artist = value;
    } else if (command == "#GENRE") {
      h.Genre = value;
    } else if (command == "#BPM") {
      StoreWhole(value, h.Bpm);
    } else if (command == "#PLAYER") {
      StoreWhole(value, h.Player);
    } else if (command == "#PLAYLEVEL") {
      StoreWhole(value, h.PlayLevel);
    } else if (command == "#RANK") {
      StoreWhole(value, h.Rank);
    } else if (command == "#RANDOM") {
      h.HasRandom = true;
    } else if (command == "%EMAIL") {
      h.Email = value;
    } else if (command == "%URL") {
      h.Url = value;
    } else if (command == "#MIDIFILE") {
      h.HasMidiFile = true;
    } else if (command == "#STAGEFILE") {
      h.StageFile = value;
    } else if (command.starts_with("#BMP")) {
      h.HasBga = true;
      if (!NoFileCheck) CheckFile(finder, value, total, h);
    } else if (command.starts_with("#WAV")) {
      if (!NoFileCheck) CheckFile(finder, value, total, h);
    }
  }

  // Contact lines near the top count even without a '#', and win over what was found above.
  for (std::string_view piece : SplitCrLf(text, kContactPieces)) {
    piece = FirstLine(piece);
    if (!Contains(piece, "%")) continue;
    const size_t space = piece.find(' ');
    if (space == std::string_view::npos) continue;
    const std::string command = UpperCase(piece.substr(0, space));
    if (command == "%EMAIL") {
      h.Email = TrimNull(piece.substr(space));
    } else if (command == "%URL") {
      h.Url = TrimNull(piece.substr(space));
    }
  }

  h.TotalSize = std::to_string(total);
  header = std::move(h);
}

int16_t ReadBmsHeader(const std::string& path, BmsHeader& header, bool NoFileCheck) {
  const FileRead read = ReadUserFile(path, kChartFileCap);
  if (read.refusal == FileRefusal::Missing) return -1;
  if (!read.ok()) return kHeaderRefused;
  ScanBmsHeader(read.bytes, path, header, NoFileCheck);

  header.FileDate = {};
  std::error_code ec;
  const std::filesystem::file_time_type modified = std::filesystem::last_write_time(path, ec);
  if (!ec) {
    header.FileDate = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(modified));
  }
  return 1;
}

std::string PlayerText(int16_t player) {
  switch (player) {
    case 0:
    case 1:
      return "1 Player";
    case 2:
      return "2 Players";
    case 3:
      return "Double";
    case 4:
      return "Battle";
    default:
      return "Unknown";
  }
}

std::string RankText(int16_t rank) {
  switch (rank) {
    case 0:
      return "VeryHard";
    case 1:
      return "Hard";
    case 2:
      return "Normal";
    case 3:
      return "Easy";
    default:
      return "?????";
  }
}

std::optional<std::string> LevelStars(int16_t level) {
  constexpr int kStars = 6;
  if (level < 0 || level > kStars) return std::nullopt;
  std::string stars;
  for (int i = 0; i < kStars; ++i)
    stars += i < level ? "\u2605" : "\u2606";  // ★ ☆
  return stars;
}

}  // namespace quillon
