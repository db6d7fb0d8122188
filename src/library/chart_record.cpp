// Reading one chart file into the record the library keeps.
#include <sys/stat.h>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "chart/loader.h"
#include "library/library.h"
#include "library/library_internal.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"

namespace quillon {
namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i)
    if (Lower(tail[i]) != suffix[i]) return false;
  return true;
}

// Whether `text` starts with `word` (upper case) without regard to case.
bool StartsWithNoCase(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 32) : text[i];
    if (c != word[i]) return false;
  }
  return true;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The digest of `bytes` as lower-case hex digits. OpenSSL's digests use the CPU's SHA
// instructions: a quarter of the cost of hashing in plain C++ on a 50 KB chart.
std::string Digest(const EVP_MD* md, std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, md, nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

// What one pass over the raw lines tells before (and besides) the reading: whether there is chart
// data at all, and the commands the reading does not keep.
struct LineFacts {
  bool ChartData = false;  // a channel line or a common header command
  bool Random = false;     // #RANDOM / #SWITCH blocks, anywhere in the file
  bool Movie = false;      // a #BMPxx naming a movie file
  bool PlayLevel = false;  // a #PLAYLEVEL line
};

// Movie extensions a #BMP may name (the same the movie layer plays).
bool IsMovieName(std::string_view name) {
  for (std::string_view ext :
       {".mpg", ".mpeg", ".mp4", ".m4v", ".avi", ".wmv", ".webm", ".mkv", ".mov"})
    if (EndsWithNoCase(name, ext)) return true;
  return false;
}

LineFacts ScanLines(std::string_view bytes) {
  LineFacts facts;
  size_t pos = 0;
  while (pos < bytes.size()) {
    // Lines of interest start with '#' after blanks; jump from '#' to '#'.
    const void* hash = std::memchr(bytes.data() + pos, '#', bytes.size() - pos);
    if (hash == nullptr) break;
    const size_t at = static_cast<size_t>(static_cast<const char*>(hash) - bytes.data());
    size_t start = at;
    while (start > 0 && IsBlank(bytes[start - 1]))
      --start;
    size_t end = at;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
      ++end;
    pos = end;
    if (start > 0 && bytes[start - 1] != '\n' && bytes[start - 1] != '\r') {
      pos = at + 1;  // a '#' inside a line
      continue;
    }
    const std::string_view line = bytes.substr(at + 1, end - at - 1);
    if (line.size() >= 6 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
        IsAlnum(line[3]) && IsAlnum(line[4]) && line[5] == ':') {
      facts.ChartData = true;
      continue;
    }
    size_t word = 0;
    while (word < line.size() && !IsBlank(line[word]))
      ++word;
    const std::string_view command = line.substr(0, word);
    std::string_view value = line.substr(word);
    while (!value.empty() && (IsBlank(value.front()) || value.front() == '\0'))
      value.remove_prefix(1);
    while (!value.empty() && (IsBlank(value.back()) || value.back() == '\0'))
      value.remove_suffix(1);
    const bool has_value = word < line.size();
    for (std::string_view header :
         {"TITLE", "ARTIST", "GENRE", "BPM", "PLAYER", "PLAYLEVEL", "RANK", "TOTAL", "STAGEFILE"}) {
      if (has_value && command.size() == header.size() && StartsWithNoCase(command, header))
        facts.ChartData = true;
    }
    if (command.size() == 5 && StartsWithNoCase(command, "WAV") && has_value)
      facts.ChartData = true;
    if (command.size() == 5 && StartsWithNoCase(command, "BMP") && has_value) {
      facts.ChartData = true;
      if (IsMovieName(value)) facts.Movie = true;
    }
    if (command.size() == 9 && StartsWithNoCase(command, "PLAYLEVEL") && has_value)
      facts.PlayLevel = true;
    for (std::string_view block : {"RANDOM", "SETRANDOM", "SWITCH", "SETSWITCH"})
      if (command.size() == block.size() && StartsWithNoCase(command, block)) facts.Random = true;
  }
  return facts;
}

// Keys from the lanes the notes use: 5 or 7 on one side, 10 or 14 on both, 9 for a pop'n layout.
int32_t ModeOf(const Chart& chart, bool pms_name, int16_t player) {
  std::array<bool, 30> used{};
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const int lane = channel::PlayableLane(chart.ObjectTable[i].Channel);
    if (lane >= 0 && lane < 30) used[static_cast<size_t>(lane)] = true;
  }
  for (const LongNote& note : chart.LongNotes)
    if (note.Lane >= 0 && note.Lane < 30) used[static_cast<size_t>(note.Lane)] = true;
  bool first = false, second = false, wide = false, nine_layout = true, nine_right = false;
  for (int lane = 11; lane <= 29; ++lane) {
    if (!used[static_cast<size_t>(lane)]) continue;
    const int key = lane % 10;
    (lane < 20 ? first : second) = true;
    if (key == 8 || key == 9) wide = true;
    // The nine buttons in a two-sided file: 11-15 and 22-25.
    const bool in_nine = lane < 20 ? key <= 5 : key >= 2 && key <= 5;
    if (!in_nine) nine_layout = false;
    if (lane >= 22 && lane <= 25) nine_right = true;
  }
  if (pms_name) return 9;
  if (player == 3 && nine_layout && nine_right) return 9;
  if (second) return wide ? 14 : 10;
  if (first) return wide ? 7 : 5;
  return 0;
}

// The tempo range over the timeline: the start tempo and every change (03 and 08).
void TempoRange(const Chart& chart, double& min_bpm, double& max_bpm) {
  min_bpm = max_bpm = chart.StartBpm;
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const BmsObject& o = chart.ObjectTable[i];
    double bpm = 0;
    if (o.Channel == channel::kTempo) {
      bpm = o.Value;
    } else if (o.Channel == channel::kExtendedTempo && o.Value > 0 &&
               static_cast<size_t>(o.Value) < chart.BpmValues.size()) {
      bpm = chart.BpmValues[static_cast<size_t>(o.Value)];
    }
    if (bpm > 0) {
      min_bpm = std::min(min_bpm, bpm);
      max_bpm = std::max(max_bpm, bpm);
    }
  }
}

// The reading's view: keeps the load log's last line, which says why a chart was refused.
class RecordLoadView : public LoadView {
 public:
  void ShowLoadLine(std::string_view text) override { last_line_ = text; }
  const std::string& LastLine() const { return last_line_; }

 private:
  std::string last_line_;
};

// Every #RANDOM block takes its first branch, so that a chart always reads the same.
const std::vector<int>& FirstChoices() {
  static const std::vector<int> choices(4096, 1);
  return choices;
}

}  // namespace

bool IsLibraryChartName(std::string_view name) {
  for (std::string_view ext : {".bms", ".bme", ".bml", ".pms", ".bmson"})
    if (EndsWithNoCase(name, ext) && name.size() > ext.size()) return true;
  return false;
}

int64_t MtimeNsOf(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

ChartRecord ReadChartRecord(const std::string& path) {
  return ReadChartRecord(path, nullptr);
}

ChartRecord ReadChartRecord(const std::string& path, bool* missing) {
  if (missing != nullptr) *missing = false;
  ChartRecord r;
  r.Path = path;
  r.Folder = FolderOf(path);
  r.IndexedAt = std::chrono::duration_cast<std::chrono::seconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  r.Supported = !EndsWithNoCase(path, ".bmson");

  // Size and time come from before the read: when the file is replaced meanwhile, the record
  // then names an older time than the file's and the next scan reads it again.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (missing != nullptr) *missing = errno == ENOENT || errno == ENOTDIR;
    r.Error = RefusalText(
        errno == ENOENT || errno == ENOTDIR ? FileRefusal::Missing : FileRefusal::Unreadable,
        "chart", path, errno);
    return r;
  }
  r.FileSize = static_cast<int64_t>(st.st_size);
  r.MtimeNs = MtimeNsOf(st);
  const FileRead read = ReadUserFile(path, kChartFileCap);
  if (!read.ok()) {
    if (missing != nullptr) *missing = read.refusal == FileRefusal::Missing;
    r.Error = RefusalText(read.refusal, "chart", path, read.error);
    return r;
  }
  const std::string& bytes = read.bytes;
  r.Md5 = Digest(EVP_md5(), bytes);
  r.Sha256 = Digest(EVP_sha256(), bytes);
  r.Encoding = IsValidUtf8(bytes) ? "UTF-8" : "CP932";
  if (!r.Supported) return r;

  const LineFacts facts = ScanLines(bytes);
  if (!facts.ChartData) {
    r.Error = "No chart data in the file.";
    return r;
  }

  Chart chart;
  RecordLoadView load_view;
  ElementFlags flags;  // nothing asked, every #BMP line read
  LoadOptions options;
  options.Extended = true;
  options.CheckFiles = false;
  options.Seed = 0;
  options.Choices = FirstChoices();
  ChartLoader loader(chart, load_view, flags, nullptr, std::move(options));
  if (loader.LoadBmsBytes(path, bytes, false) != 0) {
    r.Error = load_view.LastLine().empty() ? "The chart could not be read." : load_view.LastLine();
  }

  const BmsHeader& h = chart.Header;
  r.Title = h.Title;
  r.SubTitle = h.SubTitle;
  r.Artist = h.Artist;
  r.SubArtist = h.SubArtist;
  r.Genre = h.Genre;
  r.PlayLevel = facts.PlayLevel ? h.PlayLevel : 0;
  r.Difficulty = h.Difficulty;
  r.Rank = h.Rank;
  r.Total = h.Total;
  r.HasRandom = facts.Random || h.HasRandom;
  r.HasMovie = facts.Movie;
  r.HasStagePicture = !h.StageFile.empty();
  if (!r.Error.empty()) return r;

  r.Mode = ModeOf(chart, EndsWithNoCase(path, ".pms"), h.Player);
  r.StartBpm = chart.StartBpm;
  TempoRange(chart, r.MinBpm, r.MaxBpm);
  r.NoteCount = chart.NoteCount;
  r.LongNoteCount = static_cast<int32_t>(chart.LongNotes.size());
  r.HasLongNotes = r.LongNoteCount > 0;
  r.LengthMs = chart.TotalTimeMs;
  for (size_t i = 0; i < chart.ObjectCount(); ++i) {
    const int16_t ch = chart.ObjectTable[i].Channel;
    if (channel::MineLane(ch) >= 0) r.HasMines = true;
    if (ch == channel::kBgaBase || ch == channel::kBgaLayer || ch == channel::kBgaLayer2)
      r.HasBga = true;
  }
  return r;
}

}  // namespace quillon
