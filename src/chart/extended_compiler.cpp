#include "chart/extended_compiler.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numeric>

#include "chart/branches.h"
#include "chart/ids.h"
#include "chart/numbers.h"

namespace quillon {
namespace {

constexpr int kMeasures = 1000;  // three decimal digits
constexpr int kChannels = 100 + kIdCount36;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\0'))
    text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\0'))
    text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A channel's number: two digits read as decimal ("11" is 11), any other base-36 pair as 100 +
// its value ("0A" is 110); -1 when the pair is not base 36.
int ChannelNumber(char first, char second) {
  if (IsDigit(first) && IsDigit(second)) return (first - '0') * 10 + (second - '0');
  const int id = ReadId(first, second, 36);
  return id == 0 ? -1 : channel::FromBase36(id);
}

bool ChannelKept(int ch) {
  switch (ch) {
    case channel::kBackground:
    case channel::kMeasureLength:
    case channel::kTempo:
    case channel::kBgaBase:
    case channel::kBgaPoor:
    case channel::kBgaLayer:
    case channel::kExtendedTempo:
    case channel::kStop:
    case channel::kBgaLayer2:
    case channel::kZone1:
    case channel::kZone2:
    case channel::kBackground2:
      return true;
    default:
      return channel::IsKeyLane(ch) || channel::InvisibleLane(ch) >= 0 ||
             channel::LongNoteLane(ch) >= 0 || channel::MineLane(ch) >= 0;
  }
}

std::string NumberText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// A header line split at its first blank: the command and the value after it.
struct HeaderLine {
  std::string_view command;
  std::string_view value;
  bool has_blank;
};

HeaderLine Split(std::string_view line) {
  size_t blank = 0;
  while (blank < line.size() && !IsBlank(line[blank]))
    ++blank;
  return {line.substr(0, blank), TrimBlanks(line.substr(blank)), blank < line.size()};
}

}  // namespace

std::string StartTempoRefusal(double bpm) {
  return "The start tempo is " + NumberText(bpm) +
         " BPM (is #BPM missing?): the chart cannot play.";
}

ExtendedCompiler::ExtendedCompiler(Chart& chart, CompiledLines& lines, LoadView& view,
                                   const ElementFlags& flags, const LoadOptions& options,
                                   std::mt19937_64& rng, DebugLog debug)
    : chart_(chart),
      lines_(lines),
      view_(view),
      flags_(flags),
      options_(options),
      rng_(rng),
      debug_(std::move(debug)) {}

std::string_view ExtendedCompiler::Original(std::string_view upper) const {
  // UpperCase keeps every character's byte length, so the original text has the same offsets.
  if (lines_.OriginalText.size() != lines_.UpperText.size()) return upper;
  return lines_.OriginalText.substr(static_cast<size_t>(upper.data() - lines_.UpperText.data()),
                                    upper.size());
}

void ExtendedCompiler::Compile() {
  chart_.Extended = true;
  chart_.ObjectTable.assign(1, BmsObject{channel::kBarLine, 0, 0, false, 0});
  chart_.ObjectLast = 0;
  chart_.NoteCount = 0;
  chart_.LastMeasure = 0;
  chart_.WaveVolume = 100;
  raw_limit_ = options_.ObjectLimit > kMeasures + 4 ? options_.ObjectLimit - (kMeasures + 4) : 0;

  std::vector<size_t> headers, channels;
  SelectLines(headers, channels);
  ReadHeaders(headers);
  lengths_.assign(kMeasures, 1.0);
  raws_.clear();
  raws_.reserve(std::min(raw_limit_, lines_.UpperText.size() / 2 + 16));
  for (size_t index : channels)
    ReadChannelLine(index);
  Build();
}

int32_t ExtendedCompiler::DrawBranch(bool is_switch, int32_t range) {
  ++draws_;
  const size_t index = static_cast<size_t>(draws_ - 1);
  int32_t choice = 0;
  if (index < options_.Choices.size() && options_.Choices[index] != 0) {
    choice = options_.Choices[index];
  } else if (flags_[Element::RandomSelect]) {
    choice = std::max(0, view_.AskRandomBranch(draws_, range));
  }
  if (choice == 0 && range >= 1) {
    const double u = static_cast<double>(rng_() >> 11) * 0x1.0p-53;  // uniform in [0, 1)
    choice = static_cast<int32_t>(std::floor(u * range)) + 1;
  }
  debug_(std::string(is_switch ? "#SWITCH(" : "#RANDOM(") + std::to_string(draws_) + ") > " +
         std::to_string(choice));
  return choice;
}

void ExtendedCompiler::SelectLines(std::vector<size_t>& headers, std::vector<size_t>& channels) {
  BranchStack branches(
      [this](bool is_switch, int32_t range) { return DrawBranch(is_switch, range); });
  std::vector<std::string_view>& lines = lines_.Lines;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    while (!line.empty() && IsBlank(line.front()))
      line.remove_prefix(1);
    lines[i] = line;  // the resource loader reads the same trimmed line
    if (line.size() < 2 || line[0] != '#') continue;
    if (IsDigit(line[1])) {
      if (branches.Active()) channels.push_back(i);
      continue;
    }
    const HeaderLine split = Split(line);
    if (branches.Handle(split.command, split.value)) continue;
    if (branches.Active()) headers.push_back(i);
  }
}

void ExtendedCompiler::ReadHeaders(const std::vector<size_t>& headers) {
  for (size_t index : headers) {
    const HeaderLine h = Split(lines_.Lines[index]);
    if (h.command == "#BASE") {
      base_ = ReadWhole<int32_t>(h.value).value_or(36) == 62 ? 62 : 36;
      break;
    }
  }
  lines_.IdBase = base_;
  chart_.BpmValues.assign(IdCount(base_), 0.0);
  chart_.StopValues.assign(IdCount(base_), 0.0);
  ln_objects_.clear();

  BmsHeader& header = chart_.Header;
  bool have_bpm = false, have_volume = false, have_total = false, have_difficulty = false,
       have_lntype = false, have_lnmode = false;
  const auto first_text = [](std::string& field, std::string_view value) {
    if (field.empty()) field = std::string(value);
  };
  const bool load_bmp = !flags_[Element::DontLoadBmp];
  for (size_t index : headers) {
    const std::string_view upper = lines_.Lines[index];
    const HeaderLine h = Split(upper);
    const HeaderLine original = Split(Original(upper));
    const std::string_view cmd = h.command;
    // The id at characters 5-6 or 7-8 of a command, in the command's own case.
    const auto id_at = [&](size_t at) {
      return ReadId(original.command[at], original.command[at + 1], base_);
    };
    if (cmd.starts_with("#BPM") && !h.has_blank) {
      // No blank after the command: read as the classic reading reads it, a start tempo.
      if (!have_bpm) {
        if (const auto bpm = ReadWhole<int16_t>(upper.substr(4))) {
          chart_.StartBpm = *bpm;
          have_bpm = true;
        }
      }
    } else if (cmd == "#BPM") {
      if (!have_bpm) chart_.StartBpm = ReadNumber(h.value).value_or(0.0);
      have_bpm = true;
    } else if ((cmd.size() == 6 && cmd.starts_with("#BPM")) ||
               (cmd.size() == 8 && cmd.starts_with("#EXBPM"))) {
      const int id = id_at(cmd.size() - 2);
      const double bpm = ReadNumber(h.value).value_or(0.0);
      if (id > 0) chart_.BpmValues[id] = std::isfinite(bpm) && bpm > 0 ? bpm : 0.0;
    } else if (cmd.size() == 7 && cmd.starts_with("#STOP")) {
      const int id = id_at(5);
      const double stop = ReadNumber(h.value).value_or(0.0);
      if (id > 0) chart_.StopValues[id] = stop > 0 ? std::min(stop, kMaxStopUnits) : 0.0;
    } else if (cmd.size() == 6 && cmd.starts_with("#WAV")) {
      lines_.WavLines.push_back(index);
    } else if (cmd.size() == 6 && cmd.starts_with("#BMP")) {
      if (load_bmp) lines_.BmpLines.push_back(index);
    } else if (cmd == "#LNOBJ") {
      const std::string_view v = original.value;
      const int id = v.size() >= 2 ? ReadId(v[0], v[1], base_) : 0;
      if (id > 0) {
        if (ln_objects_.empty()) header.LnObj = static_cast<int16_t>(id);
        ln_objects_.push_back(static_cast<int16_t>(id));
      }
    } else if (cmd == "#LNTYPE") {
      if (!have_lntype) {
        header.LnType = ReadWhole<int16_t>(h.value).value_or(1);
        have_lntype = true;
        if (header.LnType == 2) {
          constexpr std::string_view kWarning = "#LNTYPE 2 is read as #LNTYPE 1.";
          debug_(kWarning);
          view_.ShowLoadLine(kWarning);
        }
      }
    } else if (cmd == "#LNMODE") {
      if (!have_lnmode) header.LnMode = ReadWhole<int16_t>(h.value).value_or(0);
      have_lnmode = true;
    } else if (cmd == "#DIFFICULTY") {
      if (!have_difficulty) header.Difficulty = ReadWhole<int16_t>(h.value).value_or(0);
      have_difficulty = true;
    } else if (cmd == "#TOTAL") {
      const double total = ReadNumber(h.value).value_or(0.0);
      if (!have_total) header.Total = std::isfinite(total) ? total : 0.0;
      have_total = true;
    } else if (cmd == "#VOLWAV") {
      if (!have_volume) chart_.WaveVolume = ReadWhole<int16_t>(h.value).value_or(0);
      if (chart_.WaveVolume == 0) chart_.WaveVolume = 100;
      have_volume = true;
    } else if (cmd == "#SUBTITLE") {
      first_text(header.SubTitle, original.value);
    } else if (cmd == "#SUBARTIST") {
      first_text(header.SubArtist, original.value);
    } else if (cmd == "#BANNER") {
      first_text(header.Banner, original.value);
    } else if (cmd == "#PREVIEW") {
      first_text(header.Preview, original.value);
    }
  }
  chart_.CurrentBpm = chart_.StartBpm;
}

void ExtendedCompiler::ReadChannelLine(size_t index) {
  const std::string_view line = lines_.Lines[index];
  if (line.size() < 7 || line[6] != ':' || !IsDigit(line[2]) || !IsDigit(line[3])) return;
  const int ch = ChannelNumber(line[4], line[5]);
  if (ch < 0 || !ChannelKept(ch)) return;
  const int32_t measure = (line[1] - '0') * 100 + (line[2] - '0') * 10 + (line[3] - '0');
  chart_.LastMeasure = std::max(chart_.LastMeasure, measure);
  std::string_view data = TrimBlanks(line.substr(7));

  if (ch == channel::kMeasureLength) {
    // Its own measure only; a value that is not a positive number leaves the length at 1.
    const double length = ReadNumber(data).value_or(0.0);
    lengths_[measure] =
        std::isfinite(length) && length > 0 ? std::min(length, kMaxMeasureLength) : 1.0;
    return;
  }
  // Ids are read in the chart's own case under #BASE 62; tempos are hexadecimal.
  if (base_ == 62 && ch != channel::kTempo) data = Original(data);
  const auto n = static_cast<uint32_t>(data.size() / 2);
  const int16_t zone_value = ToWhole<int16_t>(192.0 / std::max<uint32_t>(n, 1)).value_or(0);
  for (uint32_t k = 0; k < n; ++k) {
    const char first = data[2 * k], second = data[2 * k + 1];
    if (first == '0' && second == '0') continue;
    int value;
    if (ch == channel::kTempo) {
      const int high = HexDigit(first), low = HexDigit(second);
      value = high < 0 || low < 0 ? 0 : high * 16 + low;
    } else {
      value = ReadId(first, second, base_);
    }
    if (value == 0) continue;
    // An extended tempo or stop that names no usable value is no object.
    if (ch == channel::kExtendedTempo && !(chart_.BpmValues[value] > 0)) continue;
    if (ch == channel::kStop && !(chart_.StopValues[value] > 0)) continue;
    if (channel::IsZone(ch)) value = zone_value;
    if (raws_.size() >= raw_limit_) {
      limit_reached_ = true;
      return;
    }
    const uint32_t g = std::gcd(k, n);
    raws_.push_back({measure, k / g, n / g, static_cast<uint32_t>(raws_.size()),
                     static_cast<int16_t>(ch), static_cast<int16_t>(value)});
  }
}

void ExtendedCompiler::Build() {
  // Position order is (measure, slot fraction); the line order breaks ties.
  std::sort(raws_.begin(), raws_.end(), [](const Raw& a, const Raw& b) {
    if (a.measure != b.measure) return a.measure < b.measure;
    const uint64_t left = uint64_t{a.k} * b.n, right = uint64_t{b.k} * a.n;
    if (left != right) return left < right;
    return a.order < b.order;
  });

  const int32_t last_measure = chart_.LastMeasure + 2;  // with the two closing bar lines
  std::vector<double> starts(static_cast<size_t>(last_measure) + 1, 0.0);
  for (int32_t m = 0; m < last_measure; ++m) {
    const double length = m < kMeasures ? lengths_[m] : 1.0;
    starts[m + 1] = starts[m] + kUnitsPerMeasure * length;
  }
  chart_.LastMeasure = last_measure;
  chart_.EndPosition = starts[last_measure];

  std::vector<BmsObject>& table = chart_.ObjectTable;
  table.clear();
  table.reserve(raws_.size() + static_cast<size_t>(last_measure) + 1);
  chart_.LongNotes.clear();
  int32_t next_bar = 0;
  const auto bars_through = [&](int32_t measure) {
    for (; next_bar <= measure; ++next_bar)
      table.push_back(
          {channel::kBarLine, starts[next_bar], 0, false, static_cast<int16_t>(next_bar)});
  };

  // Per key lane: the open 5x/6x head and the last key note (for #LNOBJ), as table indices.
  std::array<int32_t, 30> open_head, last_note;
  open_head.fill(-1);
  last_note.fill(-1);
  std::vector<uint32_t> seen(kChannels, 0);
  uint32_t run_stamp = 0;
  const auto is_ln_object = [&](int16_t value) {
    return std::find(ln_objects_.begin(), ln_objects_.end(), value) != ln_objects_.end();
  };

  for (size_t i = 0; i < raws_.size();) {
    const Raw& first = raws_[i];
    size_t end = i + 1;
    while (end < raws_.size() && raws_[end].measure == first.measure && raws_[end].k == first.k &&
           raws_[end].n == first.n)
      ++end;
    bars_through(first.measure);
    const double position = starts[first.measure] + kUnitsPerMeasure * lengths_[first.measure] *
                                                        (static_cast<double>(first.k) / first.n);

    // Overlays: of the objects of one channel here, the later line stands (channel 01 keeps all).
    ++run_stamp;
    bool has_extended_tempo = false;
    for (size_t j = end; j-- > i;) {
      Raw& r = raws_[j];
      has_extended_tempo = has_extended_tempo || r.channel == channel::kExtendedTempo;
      if (r.channel == channel::kBackground) continue;
      if (seen[r.channel] == run_stamp) {
        r.channel = 0;
      } else {
        seen[r.channel] = run_stamp;
      }
    }

    for (size_t j = i; j < end; ++j) {
      const Raw& r = raws_[j];
      const int16_t ch = r.channel;
      if (ch == 0) continue;
      if (ch == channel::kTempo && has_extended_tempo) continue;  // 08 wins over 03
      const auto index = static_cast<int32_t>(table.size());
      if (const int lane = channel::LongNoteLane(ch); lane >= 0) {
        // Heads and tails pair up in order; the tail leaves the table.
        int32_t& head = open_head[lane];
        if (head < 0) {
          head = index;
        } else {
          chart_.LongNotes.push_back(
              {static_cast<int16_t>(lane), table[head].Position, position, table[head].Value});
          head = -1;
          continue;
        }
      } else if (channel::IsKeyLane(ch)) {
        int32_t& note = last_note[ch];
        if (is_ln_object(r.value)) {
          // Ends the lane's previous note, which becomes a long note; dropped when there is none.
          if (note >= 0) {
            table[note].Channel = static_cast<int16_t>(table[note].Channel + 40);
            chart_.LongNotes.push_back({ch, table[note].Position, position, table[note].Value});
            note = -1;
          }
          continue;
        }
        note = index;
      }
      table.push_back({ch, position, r.value, false, 0});
    }
    i = end;
  }
  bars_through(last_measure);
  for (int lane = 0; lane < 30; ++lane) {
    const int32_t head = open_head[lane];
    if (head >= 0) {
      chart_.LongNotes.push_back({static_cast<int16_t>(lane), table[head].Position,
                                  chart_.EndPosition, table[head].Value});
    }
  }
  std::sort(chart_.LongNotes.begin(), chart_.LongNotes.end(),
            [](const LongNote& a, const LongNote& b) {
              return a.Start != b.Start ? a.Start < b.Start : a.Lane < b.Lane;
            });
  chart_.ObjectLast = static_cast<int32_t>(table.size()) - 1;
  int32_t notes = 0;
  for (const BmsObject& o : table)
    notes += channel::IsKeyLane(o.Channel) ? 1 : 0;
  chart_.NoteCount = notes + static_cast<int32_t>(chart_.LongNotes.size());
}

}  // namespace quillon
