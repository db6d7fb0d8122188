// The in-memory form of one loaded chart, and the program-wide display switches.
//
// Units: a position counts 192 units per measure of normal length (48 per beat). The classic
// reading places every object on a whole unit and keeps whole tempos and ids 1..255; the extended
// reading keeps exact (fractional) positions, tempos with decimals and ids up to 1295 (3843 with
// #BASE 62). 0 means no id.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

inline constexpr int32_t kUnitsPerMeasure = 192;
// Id table sizes: the classic reading's hexadecimal ids, base 36 and base 62.
inline constexpr int kIdCount = 256;
inline constexpr int kIdCount36 = 36 * 36;
inline constexpr int kIdCount62 = 62 * 62;

// Channel numbers as the compiler reads them.
namespace channel {
inline constexpr int16_t kBarLine = -1;
inline constexpr int16_t kBackground = 1;
inline constexpr int16_t kMeasureLength = 2;
inline constexpr int16_t kTempo = 3;
inline constexpr int16_t kBgaBase = 4;
inline constexpr int16_t kBgaPoor = 6;
inline constexpr int16_t kBgaLayer = 7;
inline constexpr int16_t kExtendedTempo = 8;  // value: a #BPMxx id
inline constexpr int16_t kStop = 9;           // value: a #STOPxx id
inline constexpr int16_t kZone1 = 17;
inline constexpr int16_t kZone2 = 27;
inline constexpr int16_t kBackground2 = 20;  // sounds like 01, not a lane

// Classic reading: key channels 11-16, 18-19, 20 and 21-26: sounded and counted as notes.
constexpr bool IsNote(int ch) {
  return ch > 10 && ch < 30 && ch != kZone1 && ch != kZone2;
}
constexpr bool IsZone(int ch) {
  return ch == kZone1 || ch == kZone2;
}

// Extended reading. A channel is two base-36 characters: when both are digits its number is the
// decimal they spell (11 is "11"), otherwise 100 + their base-36 value ("0A" is 110, "D1" 569).
constexpr int16_t FromBase36(int value) {
  return static_cast<int16_t>(100 + value);
}
inline constexpr int16_t kBgaLayer2 = FromBase36(10);    // "0A"
inline constexpr int16_t kMineFirst1 = FromBase36(469);  // "D1"
inline constexpr int16_t kMineFirst2 = FromBase36(505);  // "E1"

// The key lanes: 11-16, 18, 19 (first side) and 21-26, 28, 29 (second side).
constexpr bool IsKeyLane(int ch) {
  const int side = ch / 10, key = ch % 10;
  return (side == 1 || side == 2) && key != 0 && key != 7;
}
// Invisible notes 31-49 (lane = ch - 20), long notes 51-69 (lane = ch - 40), mines D1-D9 and
// E1-E9 (lanes 11-19 and 21-29): -1 when `ch` is none of them or names no key lane.
constexpr int InvisibleLane(int ch) {
  return ch >= 31 && ch <= 49 && IsKeyLane(ch - 20) ? ch - 20 : -1;
}
constexpr int LongNoteLane(int ch) {
  return ch >= 51 && ch <= 69 && IsKeyLane(ch - 40) ? ch - 40 : -1;
}
constexpr int MineLane(int ch) {
  if (ch >= kMineFirst1 && ch < kMineFirst1 + 9) return 11 + (ch - kMineFirst1);
  if (ch >= kMineFirst2 && ch < kMineFirst2 + 9) return 21 + (ch - kMineFirst2);
  return -1;
}
// The lane a playable object of the extended reading lies on (key lane or long note), else -1.
constexpr int PlayableLane(int ch) {
  return IsKeyLane(ch) ? ch : LongNoteLane(ch);
}
}  // namespace channel

// What the header scan learns about one chart file.
struct BmsHeader {
  std::string Genre;
  std::string Title;
  std::string Artist;
  int16_t Bpm = 0;
  int16_t Player = 1;
  int16_t PlayLevel = 3;
  int16_t Rank = 2;
  bool HasBga = false;
  bool HasLayer = false;
  bool HasMidiFile = false;
  bool HasRandom = false;
  std::string FilePath;
  std::string TotalSize;  // decimal byte count
  std::chrono::system_clock::time_point FileDate{};
  std::string StageFile;
  std::string Email;
  std::string Url;
  bool SevenKeys = false;
  bool FilesPresent = true;
  // Read by the extended reading only (the classic one leaves them as they are here).
  std::string SubTitle;
  std::string SubArtist;
  double Total = 0.0;      // #TOTAL; 0 when not given
  int16_t Difficulty = 0;  // #DIFFICULTY; 0 when not given
  std::string Banner;
  std::string Preview;
  int16_t LnType = 1;  // #LNTYPE
  int16_t LnObj = 0;   // #LNOBJ id; 0 when not given
  int16_t LnMode = 0;  // #LNMODE; 0 when not given

  bool operator==(const BmsHeader&) const = default;
};

// One compiled chart event. Kept trivially copyable: the sort swaps whole records.
struct BmsObject {
  int16_t Channel = 0;    // channel::kBarLine for a bar line
  double Position = 0.0;  // units from the start of the chart (whole in the classic reading)
  int16_t Value = 0;      // id, tempo (channel 03), or slot length (zones)
  bool Played = false;    // set by playback once triggered
  int16_t Measure = 0;    // for a bar line, the measure that begins here

  bool operator==(const BmsObject&) const = default;
};

// Surface handle pairs of one id's BGA picture and of the mask made for the layer; 0 when the id
// has none. An id naming a movie also has the movie's path; its picture is the movie's first
// frame, shown until the movie's own frames arrive.
struct BgaPictureSlot {
  int32_t PictureDc = 0;
  int32_t PictureBitmap = 0;
  int32_t MaskDc = 0;
  int32_t MaskBitmap = 0;
  std::string MoviePath;
};

// Fourteen program-wide display and behaviour switches (the control panel's elements).
enum class Element : int {
  Objects = 0,
  Bga = 1,
  MillisecondTimer = 2,
  Lines = 3,
  RandomSelect = 4,
  SevenLines = 5,
  Separators = 6,
  Layer = 7,
  Commands = 8,
  AutoWaitOff = 9,
  PolyGauge = 10,
  Hidden = 11,
  Sudden = 12,
  DontLoadBmp = 13,
};

struct ElementFlags {
  static constexpr int kCount = 14;
  std::array<bool, kCount> Items{};

  // The states at the very first start: objects, BGA, layer and the polyphony gauge ticked.
  static ElementFlags FirstStart() {
    ElementFlags f;
    for (Element e : {Element::Objects, Element::Bga, Element::Layer, Element::PolyGauge}) {
      f.Set(e, true);
    }
    return f;
  }
  bool operator[](Element e) const { return Items[static_cast<size_t>(e)]; }
  void Set(Element e, bool on) { Items[static_cast<size_t>(e)] = on; }
};

// A long note of the extended reading, on key lane `Lane` (11-19, 21-29) from `Start` to `End`
// (positions). Its head is the channel 51-69 object at `Start` in the table; the end is not.
struct LongNote {
  int16_t Lane = 0;
  double Start = 0.0;
  double End = 0.0;
  int16_t Value = 0;

  bool operator==(const LongNote&) const = default;
};

// The one loaded chart. The loader resets and refills it; playback writes only Played and
// CurrentBpm between loads.
struct Chart {
  BmsHeader Header;
  // Records 0..ObjectLast; record 0 is the bar line of measure 0 once a chart is loaded.
  std::vector<BmsObject> ObjectTable;
  int32_t ObjectLast = 0;
  // Per id, kIdCount entries in the classic reading, kIdCount36 or kIdCount62 in the extended one.
  std::vector<int32_t> SoundTable = std::vector<int32_t>(kIdCount, -1);  // sound buffer, -1: none
  std::vector<BgaPictureSlot> BgaPictures = std::vector<BgaPictureSlot>(kIdCount);
  double StartBpm = 0;  // whole in the classic reading
  double CurrentBpm = 0;
  int32_t LastMeasure = 0;
  double EndPosition = 0;
  // The extended reading: which reading made this chart, #BPMxx and #STOPxx values per id (0 for
  // an id not defined or not usable: the compiler leaves no object naming one), and the long
  // notes sorted by Start, then Lane.
  bool Extended = false;
  std::vector<double> BpmValues;
  std::vector<double> StopValues;
  std::vector<LongNote> LongNotes;
  int32_t NoteCount = 0;
  double ScorePerNote = 0.0;
  int32_t TotalTimeMs = 0;
  bool ChartHasBga = false;
  bool ChartHasLayer = false;
  int16_t WaveVolume = 100;

  // The used records, 0..ObjectLast.
  size_t ObjectCount() const { return ObjectTable.empty() ? 0 : size_t(ObjectLast) + 1; }
};

}  // namespace quillon
