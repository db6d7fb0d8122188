// The note display: the chart's objects scrolling down five-key or seven-key lanes towards the
// judge line, over the BGA picture.
//
// Every frame is drawn into the back buffer (SpriteDC) and then copied to the display target in
// one transfer. The lanes and the objects take their look from three skin pictures, 5line.bmp,
// 7line.bmp and obj.bmp; a missing skin is drawn from built-in defaults and saved, so the next
// start loads it.
//
// Threads: UI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "chart/model.h"
#include "platform/surface.h"
#include "playback/bga_display.h"

namespace quillon {

class PlayEngine;

// What a frame does besides the notes: the frame-rate count and the position bar, time and
// status lines. The status display implements it; the default does nothing.
class FrameHooks {
 public:
  virtual ~FrameHooks() = default;
  virtual void CountFrame() {}
  virtual void DrawStatusArea() {}
};

// A surface's pair of handles.
struct SurfacePair {
  SurfaceHandle Dc = 0;
  SurfaceHandle Bitmap = 0;
};

// Lanes exist for channels 11 to 29.
inline constexpr int kFirstLaneChannel = 11;
inline constexpr int kLaneCount = 19;

class NoteDisplay {
 public:
  // `surfaces` and `flags` must outlive the display.
  NoteDisplay(SurfaceRegistry& surfaces, const ElementFlags& flags);
  ~NoteDisplay();
  NoteDisplay(const NoteDisplay&) = delete;
  NoteDisplay& operator=(const NoteDisplay&) = delete;

  // Display state.
  int32_t DisplayWidth = 1024;
  int32_t DisplayHeight = 768;
  int32_t JudgeY = 763;
  float Zoom = 1.0f;  // pixels per position unit
  double LastDrawnPosition = 0.0;
  std::array<int32_t, kLaneCount> LaneX{};
  std::array<SurfaceHandle, kLaneCount> LaneSprite{};
  bool VisibleFlag = false;
  bool FullScreenOn = false;

  // Skin surfaces, made by LoadSkins.
  SurfacePair BG5Line, BG5LineMask, BG7Line, BG7LineMask;
  SurfacePair NormObj0, NormObj1, NormObj2, ScrObj, FScrObj, SepObj;

  // The composition of the BGA picture, run by DrawFrame when the engine marks it dirty.
  BgaDisplay Bga;
  // Frame counting and the status area; nullptr: none.
  FrameHooks* Hooks = nullptr;
  // Waits `ms` milliseconds when a frame is skipped; unset: no wait.
  std::function<void(int32_t)> Sleep;

  // Fills LaneX and LaneSprite: mode 0 five-key, 1 seven-key (any other value: five-key).
  void SetLaneLayout(int16_t mode);

  // Makes the skin surfaces. Each skin is read from the first folder that holds it,
  // `program_folder` then `data_folder` (either may be empty: not looked in); when neither does,
  // the default is drawn and saved into `data_folder`, which is made if need be. A failure to
  // save is not fatal: the default is used all the same.
  void LoadSkins(const std::string& program_folder, const std::string& data_folder);

  // Draws one frame of `chart` at the engine's play position into `sprite_dc`, composing the BGA
  // picture on `bga_dc` first when the engine says it changed, then copies the frame to
  // `target` (nullptr: the frame stays in `sprite_dc`).
  void DrawFrame(PlayEngine& engine, Chart& chart, SurfaceHandle sprite_dc, SurfaceHandle bga_dc,
                 QImage* target);

 private:
  // The lanes, the judge line strip and the objects on `sprite`.
  void DrawObjects(const PlayEngine& engine, const Chart& chart, QImage* sprite);
  // The long notes of an extended chart between the positions `bottom` and `top` of the display:
  // the body (the lane sprite's middle row at half brightness) from head to tail, then the head
  // and the tail in the lane's sprite. A head that has passed the judge line waits on it until
  // the tail arrives. Hidden and Sudden hide the parts of the body they hide notes in.
  void DrawLongNotes(const PlayEngine& engine, const Chart& chart, QImage* sprite, double bottom,
                     double top);
  // A mine on lane `lane` (0 for channel 11) with its top row at `y`: a red frame around a dark
  // red inside, as wide as the lane's notes.
  void DrawMine(QImage* sprite, int lane, int y);
  // The sprite of lane `lane` and its width.
  const QImage* LaneNote(int lane, int* width);
  QImage* Img(const SurfacePair& pair) { return surfaces_.Image(pair.Dc); }

  // A lane skin stretched to the lane height, kept until the skin or the height changes, so that
  // each frame only combines it (AND, XOR) instead of stretching it again.
  struct StretchedSkin {
    qint64 key = 0;
    int height = -1;
    QImage image;
  };
  const QImage* Stretched(const QImage* skin, int height, StretchedSkin& cache);

  SurfaceRegistry& surfaces_;
  const ElementFlags& flags_;
  int16_t lane_mode_ = 0;  // the last layout set, reapplied when the sprites are remade
  StretchedSkin stretched_lanes_;
  StretchedSkin stretched_mask_;
  // A long note's body row per lane sprite: the sprite's middle row at half brightness, kept
  // until the sprite changes.
  struct BodyRow {
    qint64 key = 0;
    QImage image;
  };
  std::array<BodyRow, kLaneCount> body_rows_;
};

}  // namespace quillon
