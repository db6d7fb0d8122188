// The in-memory form of one loaded chart, and the program-wide display switches.
//
// Units: a position counts 192 units per measure of normal length (48 per beat); tempo is a whole
// number of beats per minute; ids of sounds and pictures are 1..255 (0 means nothing).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

inline constexpr int32_t kUnitsPerMeasure = 192;
inline constexpr int kIdCount = 256;

// Channel numbers as the compiler reads them.
namespace channel {
inline constexpr int16_t kBarLine = -1;
inline constexpr int16_t kBackground = 1;
inline constexpr int16_t kMeasureLength = 2;
inline constexpr int16_t kTempo = 3;
inline constexpr int16_t kBgaBase = 4;
inline constexpr int16_t kBgaLayer = 7;
inline constexpr int16_t kZone1 = 17;
inline constexpr int16_t kZone2 = 27;

// Key channels 11-16, 18-19, 20 and 21-26: sounded and counted as notes.
constexpr bool IsNote(int ch) {
  return ch > 10 && ch < 30 && ch != kZone1 && ch != kZone2;
}
constexpr bool IsZone(int ch) {
  return ch == kZone1 || ch == kZone2;
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

  bool operator==(const BmsHeader&) const = default;
};

// One compiled chart event. Kept trivially copyable: the sort swaps whole records.
struct BmsObject {
  int16_t Channel = 0;   // channel::kBarLine for a bar line
  int32_t Position = 0;  // units from the start of the chart
  int16_t Value = 0;     // id, tempo, or slot length (zones)
  bool Played = false;   // set by playback once triggered
  int16_t Measure = 0;   // for a bar line, the measure that begins here

  bool operator==(const BmsObject&) const = default;
};

// Surface handle pairs of one id's BGA picture and of the mask made for the layer; 0 when the id
// has none.
struct BgaPictureSlot {
  int32_t PictureDc = 0;
  int32_t PictureBitmap = 0;
  int32_t MaskDc = 0;
  int32_t MaskBitmap = 0;
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

// The one loaded chart. The loader resets and refills it; playback writes only Played and
// CurrentBpm between loads.
struct Chart {
  BmsHeader Header;
  // Records 0..ObjectLast; record 0 is the bar line of measure 0 once a chart is loaded.
  std::vector<BmsObject> ObjectTable;
  int32_t ObjectLast = 0;
  std::array<int32_t, kIdCount> SoundTable{};  // sound-buffer id per #WAV id, -1 for none
  std::array<BgaPictureSlot, kIdCount> BgaPictures{};
  int16_t StartBpm = 0;
  int16_t CurrentBpm = 0;
  int32_t LastMeasure = 0;
  int32_t EndPosition = 0;
  int32_t NoteCount = 0;
  double ScorePerNote = 0.0;
  int32_t TotalTimeMs = 0;
  bool ChartHasBga = false;
  bool ChartHasLayer = false;
  int16_t WaveVolume = 100;

  Chart() { SoundTable.fill(-1); }

  // The used records, 0..ObjectLast.
  size_t ObjectCount() const { return ObjectTable.empty() ? 0 : size_t(ObjectLast) + 1; }
};

}  // namespace quillon
