#include "chart/compiler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "chart/numbers.h"
#include "chart/random_blocks.h"
#include "chart/text_util.h"

namespace quillon {
namespace {

bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

bool IsAsciiText(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool IsBlank(char32_t c) {
  return c == U' ' || c == U'\t' || c == U'\n';
}

int HexDigit(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
  return -1;
}

// The value of "&H" followed by a two-character pair: blanks are skipped, reading stops at the
// first other character that is not a hexadecimal digit.
template <typename Char>
int16_t PairValue(Char first, Char second) {
  int value = 0;
  for (char32_t c : {static_cast<char32_t>(first), static_cast<char32_t>(second)}) {
    if (IsBlank(c)) continue;
    const int d = HexDigit(c);
    if (d < 0) break;
    value = value * 16 + d;
  }
  return static_cast<int16_t>(value);
}

std::u32string ToUtf32(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (pos + len > text.size()) len = 1;
    char32_t c = len == 1 ? lead : lead & (0x7F >> len);
    for (size_t k = 1; k < len; ++k)
      c = (c << 6) | (static_cast<unsigned char>(text[pos + k]) & 0x3F);
    out += c;
    pos += len;
  }
  return out;
}

// A float in the shortest decimal form that reads back as the same float.
std::string ShortestDecimal(float value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

BmsCompiler::BmsCompiler(Chart& chart, CompiledLines& lines, LoadView& view,
                         const ElementFlags& flags, const LoadOptions& options,
                         std::mt19937_64& rng, DebugLog debug)
    : chart_(chart),
      lines_(lines),
      view_(view),
      flags_(flags),
      options_(options),
      rng_(rng),
      debug_(std::move(debug)) {}

void BmsCompiler::ReadTempo() {
  const size_t i = FindLineContaining(lines_.Lines, 0, "#BPM");
  if (i == kNoLine) return;
  if (const auto bpm = ReadWhole<int16_t>(Mid(lines_.Lines[i], 5))) {
    chart_.CurrentBpm = *bpm;
    chart_.StartBpm = *bpm;
  }
}

void BmsCompiler::ReadVolume() {
  chart_.WaveVolume = 0;
  const size_t i = FindLineContaining(lines_.Lines, 0, "#VOLWAV");
  if (i != kNoLine) {
    if (const auto volume = ReadWhole<int16_t>(Mid(lines_.Lines[i], 8))) {
      chart_.WaveVolume = *volume;
    }
  }
  if (chart_.WaveVolume == 0) chart_.WaveVolume = 100;
}

void BmsCompiler::StartTable() {
  chart_.ObjectTable.assign(1, BmsObject{channel::kBarLine, 0, 0, false, 0});
  chart_.ObjectLast = 0;
}

void BmsCompiler::ReadMeasureLengths() {
  for (std::string_view line : lines_.Lines) {
    if (!ContainsText(line, "02:")) continue;
    const auto measure = ReadWhole<int32_t>(Mid(line, 2, 3));
    const auto ratio = ReadNumber(Mid(line, 8));
    // A ratio a single cannot hold makes the entry fail, like a measure that does not read.
    if (!measure || !ratio || std::fabs(*ratio) > std::numeric_limits<float>::max()) continue;
    const float single = static_cast<float>(*ratio);
    measure_lengths_.try_emplace(*measure, single);
    debug_("TimeChange in " + std::to_string(*measure) + " size " + ShortestDecimal(single));
  }
  current_ratio_ = 1.0f;
  chart_.NoteCount = 0;
  current_measure_ = 0;
  measure_shift_ = 0;
}

void BmsCompiler::CompileLines() {
  const bool count_bmp = !flags_[Element::DontLoadBmp];
  const std::vector<std::string_view>& lines = lines_.Lines;
  // At most one object per two characters of text: reserving that (within the limit) keeps the
  // table from being copied as it grows; pages never written are never touched.
  chart_.ObjectTable.reserve(std::min(options_.ObjectLimit, lines_.UpperText.size() / 2 + 16));
  for (size_t i = 0; i < lines.size(); ++i) {
    // a. Counting the sound and picture definitions this pass visits.
    if (StartsWith(lines[i], "#WAV")) lines_.WavLines.push_back(i);
    if (count_bmp && StartsWith(lines[i], "#BMP")) lines_.BmpLines.push_back(i);
    // b. End of a branch.
    if (StartsWith(lines[i], "#ENDIF") && random_depth_ != 0) CompileEndIf(i);
    // c. Start of a block.
    if (StartsWith(lines[i], "#RANDOM")) CompileRandom(i);
    // d. Channel data.
    const std::string_view line = lines[i];
    if (line.size() >= 2 && line[1] >= '0' && line[1] <= '9') CompileChannelLine(line);
  }
}

void BmsCompiler::CompileEndIf(size_t& i) {
  const int16_t max = random_max_[random_depth_];
  if (random_choice_[random_depth_] < max) {
    // A later branch exists: jump past the last one, to the #ENDIF after "#IF <max>".
    const size_t last_branch = FindBranch(lines_.Lines, i + 1, max);
    const size_t end = last_branch == kNoLine ? kNoLine : FindBranchEnd(lines_.Lines, last_branch);
    if (end != kNoLine) {
      i = end;
    } else {
      SkipBranchRun(i, i + 1);
    }
  }
  debug_("#ENDIF(" + std::to_string(random_count_) + ")");
  --random_depth_;
}

void BmsCompiler::CompileRandom(size_t& i) {
  if (random_depth_ + 1 >= kRandomDepthSlots) {
    // Nested deeper than the depth slots: the whole block is left out.
    SkipBranchRun(i, i + 1);
    return;
  }
  ++random_depth_;
  if (const auto max = ReadWhole<int16_t>(TrimNull(Mid(lines_.Lines[i], 9)))) {
    random_max_[random_depth_] = *max;
  }
  ++random_count_;
  random_choice_[random_depth_] = 0;
  const int16_t max = random_max_[random_depth_];

  int choice = ChooseBranch(max);
  if (choice == 0) {
    const double u = static_cast<double>(rng_() >> 11) * 0x1.0p-53;  // uniform in [0, 1)
    choice = static_cast<int>(std::floor(u * max)) + 1;
  }
  // A forced or asked choice beyond 16 bits names no branch that can exist; kept saturated.
  random_choice_[random_depth_] = static_cast<int16_t>(std::clamp(choice, -32768, 32767));

  const size_t branch = FindBranch(lines_.Lines, i + 1, choice);
  debug_("#RANDOM(" + std::to_string(random_count_) + ") > " + std::to_string(choice));
  if (branch != kNoLine) {
    i = branch;
  } else {
    // The chosen branch does not exist: leave the block out and go on after it.
    SkipBranchRun(i, i + 1);
    --random_depth_;
  }
}

int BmsCompiler::ChooseBranch(int branches) {
  const size_t index = static_cast<size_t>(random_count_ - 1);
  if (index < options_.Choices.size() && options_.Choices[index] != 0) {
    return options_.Choices[index];
  }
  if (flags_[Element::RandomSelect]) {
    const int answer = view_.AskRandomBranch(random_count_, branches);
    return answer < 0 ? 0 : answer;  // closed without a choice: as "Random"
  }
  return 0;
}

void BmsCompiler::SkipBranchRun(size_t& i, size_t from) {
  const size_t end = EndOfBranchRun(lines_.Lines, from);
  if (end + 1 > i) i = end;  // never move backwards
}

void BmsCompiler::CompileChannelLine(std::string_view line) {
  const auto channel_number = ReadWhole<int16_t>(Mid(line, 5, 2));
  if (!channel_number) return;
  const int16_t ch = *channel_number;
  if (ch < 1 || ch > 27 || ch == 5 || ch == 6) return;

  const auto measure_number = ReadWhole<int32_t>(Mid(line, 2, 3));
  if (!measure_number || *measure_number < 0 || *measure_number > kMaxMeasure) return;
  const int32_t measure = *measure_number;

  if (measure != current_measure_) {
    if (current_ratio_ != 1.0f) {
      const double shifted = measure_shift_ - 192.0 + 192.0 * static_cast<double>(current_ratio_);
      if (const auto shift = ToWhole<int32_t>(shifted)) measure_shift_ = *shift;
      current_ratio_ = 1.0f;
    }
    for (int32_t k = current_measure_ + 1; k <= measure && !limit_reached_; ++k)
      AppendBarLine(k);
    current_measure_ = measure;
    const auto length = measure_lengths_.find(measure);
    current_ratio_ = length == measure_lengths_.end() ? 1.0f : length->second;
  }

  const std::string_view data = Mid(line, 8);
  const bool ascii = IsAsciiText(data);
  if (!ascii) wide_data_ = ToUtf32(data);
  const size_t chars = ascii ? data.size() : wide_data_.size();
  const auto slots = ToWhole<int32_t>(static_cast<double>(chars) / 2.0);
  const auto line_start = ToWhole<int32_t>(static_cast<double>(measure) * 192.0 + measure_shift_);
  if (!slots || !line_start) return;
  const int32_t n = *slots;
  if (measure > chart_.LastMeasure) chart_.LastMeasure = measure;
  if (*line_start > chart_.EndPosition) chart_.EndPosition = *line_start;
  if (n <= 0) return;

  const double slot_length = 192.0 / n;
  const double ratio = current_ratio_;
  const bool is_note = channel::IsNote(ch);
  const bool is_zone = channel::IsZone(ch);
  for (int32_t k = 0; k < n && !limit_reached_; ++k) {
    // Characters 2k+1 and 2k+2 of the data; the second may lie past its end.
    const size_t first = 2 * static_cast<size_t>(k);
    const bool has_second = first + 1 < chars;
    // "00" (or a lone '0' at the end) is most of a chart's pairs: no object, nothing to read.
    if (ascii && data[first] == '0' && (!has_second || data[first + 1] == '0')) continue;
    int16_t value;
    if (ascii) {
      value = PairValue(data[first], has_second ? data[first + 1] : 'X');
    } else {
      value = PairValue(wide_data_[first], has_second ? wide_data_[first + 1] : U'X');
    }
    if (value == 0) continue;
    const auto position = ToWhole<int32_t>(slot_length * k * ratio + *line_start);
    if (!position) continue;
    BmsObject object{ch, static_cast<double>(*position), value, false, 0};
    if (is_zone) object.Value = ToWhole<int16_t>(slot_length).value_or(0);
    if (Append(object) && is_note) ++chart_.NoteCount;
  }
}

void BmsCompiler::AppendBarLine(int32_t measure, bool closing) {
  const int64_t position = int64_t{measure} * kUnitsPerMeasure + measure_shift_;
  if (position < std::numeric_limits<int32_t>::min() ||
      position > std::numeric_limits<int32_t>::max() ||
      measure > std::numeric_limits<int16_t>::max()) {
    return;
  }
  Append(BmsObject{channel::kBarLine, static_cast<double>(position), 0, false,
                   static_cast<int16_t>(measure)},
         closing);
}

bool BmsCompiler::Append(const BmsObject& object, bool closing) {
  // Room for the two closing bar lines is always kept, so the chart ends where it should.
  const size_t reserve = closing ? 0 : 2;
  if (chart_.ObjectTable.size() + reserve >= options_.ObjectLimit) {
    limit_reached_ = true;
    return false;
  }
  chart_.ObjectTable.push_back(object);
  chart_.ObjectLast = static_cast<int32_t>(chart_.ObjectTable.size() - 1);
  return true;
}

void BmsCompiler::CloseChart() {
  for (int pass = 0; pass < 2; ++pass) {
    ++chart_.LastMeasure;
    AppendBarLine(chart_.LastMeasure, /*closing=*/true);
  }
  chart_.EndPosition = chart_.LastMeasure * kUnitsPerMeasure + measure_shift_;
}

}  // namespace quillon
