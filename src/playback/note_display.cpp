#include "playback/note_display.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>

#include "platform/picture_file.h"
#include "playback/play_engine.h"

namespace quillon {
namespace {

constexpr int kSkinSize = 256;
constexpr int kSheetWidth = 256;
constexpr int kSheetHeight = 80;
// Rows of the lane skins: the lane background above, the judge line strip below.
constexpr int kLaneRows = 250;
constexpr int kJudgeRow = 250;
constexpr int kJudgeRows = 5;
// Zone block: one beat (48 units) tall on the sheet.
constexpr int kZoneWidth = 36;
constexpr int kZoneHeight = 48;
// Objects further than this many pixels off the display are never drawn; it keeps the pixel
// arithmetic well inside int.
constexpr double kFarAway = 1e9;
// Note sprites are this many pixels tall (the scratch sprite 4).
constexpr int kNoteRows = 5;
// The mine mark: a frame in the first colour around the second.
constexpr QRgb kMineFrame = qRgb(255, 0, 0);
constexpr QRgb kMineInside = qRgb(96, 0, 0);
// The body of a long note is this much narrower than its head on each side.
constexpr int kBodyInset = 3;

QColor Rgb(int r, int g, int b) {
  return QColor(r, g, b);
}

// One pixel row across a box, going from `from` at its left end to `to` at its right end.
void Ramp(QImage& image, int x, int y, int width, QColor from, QColor to) {
  for (int i = 0; i < width; ++i) {
    const double t = width > 1 ? static_cast<double>(i) / (width - 1) : 0.0;
    const auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    image.setPixel(x + i, y,
                   qRgb(mix(from.red(), to.red()), mix(from.green(), to.green()),
                        mix(from.blue(), to.blue())));
  }
}

void DrawLaneSkin(QImage& image, QColor line_colour, std::initializer_list<int> lines) {
  QPainter p(&image);
  p.fillRect(0, kJudgeRow, kSkinSize, kJudgeRows, Rgb(255, 0, 0));
  for (int x : lines)
    p.fillRect(x, 0, 1, kSkinSize, line_colour);
}

void DrawDefault5Line(QImage& image) {
  DrawLaneSkin(image, Rgb(128, 128, 128), {10, 32, 54, 76, 120, 142, 164, 186});
}

void DrawDefault7Line(QImage& image) {
  DrawLaneSkin(image, Rgb(128, 128, 152), {37, 75, 113, 151, 58, 96, 134, 172});
}

// The note boxes: the outer colour shows as the top row and left column around the inner box,
// with a ramp from the outer to the inner colour across the inner box's middle row.
struct NoteBox {
  int x, y, width;
  QColor outer, inner;
};

void DrawDefaultObjects(QImage& image) {
  const NoteBox boxes[] = {
      {0, 0, 20, Rgb(255, 255, 255), Rgb(64, 64, 64)},
      {0, 5, 20, Rgb(0, 192, 255), Rgb(0, 64, 64)},
      {22, 5, 16, Rgb(0, 192, 255), Rgb(0, 64, 64)},
      {0, 10, 36, Rgb(255, 0, 0), Rgb(64, 0, 0)},
  };
  {
    QPainter p(&image);
    for (const NoteBox& b : boxes) {
      p.fillRect(b.x, b.y, b.width, 4, b.outer);
      p.fillRect(b.x + 1, b.y + 1, b.width - 1, 3, b.inner);
    }
    p.fillRect(0, 16, kSheetWidth, 1, Rgb(128, 128, 128));
  }
  for (const NoteBox& b : boxes)
    Ramp(image, b.x + 1, b.y + 2, b.width - 1, b.outer, b.inner);
  // The zone block: bright orange at its top fading to a dark red at its bottom.
  for (int row = 0; row < kZoneHeight; ++row) {
    for (int x = 0; x < kZoneWidth; ++x)
      image.setPixel(x, 17 + row, qRgb(255 - row * 3, 160 - row * 3, 16));
  }
}

// The picture of skin `name`: read from the first folder holding a readable file of that name,
// else drawn by `draw_default` and saved into `data_folder`.
QImage ReadSkin(const std::string& name, const std::string& program_folder,
                const std::string& data_folder, int width, int height,
                void (*draw_default)(QImage&)) {
  QImage canvas(width, height, QImage::Format_RGB32);
  canvas.fill(Qt::black);
  for (const std::string& folder : {program_folder, data_folder}) {
    if (folder.empty()) continue;
    // Read as bytes under the picture cap: a FIFO or device in the skin's place is passed over.
    QImage file = ReadPictureFile(folder.back() == '/' ? folder + name : folder + '/' + name);
    if (file.isNull()) continue;
    file = file.convertToFormat(QImage::Format_RGB32);
    BitBlt(&canvas, 0, 0, file.width(), file.height(), &file, 0, 0, RasterOp::Copy);
    return canvas;
  }
  draw_default(canvas);
  if (!data_folder.empty()) {
    const QDir dir(QString::fromStdString(data_folder));
    const QString path = dir.filePath(QString::fromStdString(name));
    // A file that is there but does not decode is left alone rather than overwritten.
    if (dir.mkpath(QStringLiteral(".")) && !QFileInfo::exists(path)) {
      canvas.save(path, "BMP");
    }
  }
  return canvas;
}

}  // namespace

NoteDisplay::NoteDisplay(SurfaceRegistry& surfaces, const ElementFlags& flags)
    : Bga(surfaces, flags), surfaces_(surfaces), flags_(flags) {
  SetLaneLayout(0);
}

NoteDisplay::~NoteDisplay() {
  for (SurfacePair* pair : {&BG5Line, &BG5LineMask, &BG7Line, &BG7LineMask, &NormObj0, &NormObj1,
                            &NormObj2, &ScrObj, &FScrObj, &SepObj}) {
    surfaces_.FreeSurface(pair->Dc, pair->Bitmap);
  }
}

void NoteDisplay::SetLaneLayout(int16_t mode) {
  lane_mode_ = mode;
  for (int k = 0; k < kLaneCount; ++k) {
    const int c = k + kFirstLaneChannel;
    if (mode == 1) {
      const bool white = k % 2 == 0;
      LaneX[k] = white ? 38 * (k / 2 + 1) : 59 + 38 * ((k - 1) / 2);
      LaneSprite[k] = white ? NormObj0.Dc : NormObj2.Dc;
    } else {
      LaneX[k] = 11 * (c - 10);
      LaneSprite[k] = c % 2 != 0 ? NormObj0.Dc : NormObj1.Dc;
    }
  }
  const auto set = [this](int c, int32_t x) { LaneX[c - kFirstLaneChannel] = x; };
  if (mode == 1) {
    set(16, 1), set(17, 1), set(18, 135), set(19, 152);
    set(26, 363), set(27, 363), set(28, 342), set(29, 351);
  } else {
    set(16, 77), set(17, 77), set(18, 66), set(19, 77);
    set(26, 187), set(27, 187), set(28, 176), set(29, 187);
  }
}

void NoteDisplay::LoadSkins(const std::string& program_folder, const std::string& data_folder) {
  const auto lane_skin = [&](const char* name, void (*draw)(QImage&), SurfacePair& picture,
                             SurfacePair& mask, const char* surface_name) {
    const QImage canvas = ReadSkin(name, program_folder, data_folder, kSkinSize, kSkinSize, draw);
    surfaces_.CreateSurface(picture.Dc, picture.Bitmap, kSkinSize, kSkinSize, 0, surface_name);
    BitBlt(Img(picture), 0, 0, kSkinSize, kSkinSize, &canvas, 0, 0, RasterOp::Copy);
    surfaces_.CreateSurface(mask.Dc, mask.Bitmap, kSkinSize, kSkinSize, 1,
                            std::string(surface_name) + "Mask");
    MakeMask(Img(mask), Img(picture), qRgb(0, 0, 0));
  };
  lane_skin("5line.bmp", DrawDefault5Line, BG5Line, BG5LineMask, "BG5Line");
  lane_skin("7line.bmp", DrawDefault7Line, BG7Line, BG7LineMask, "BG7Line");

  const QImage sheet = ReadSkin("obj.bmp", program_folder, data_folder, kSheetWidth, kSheetHeight,
                                DrawDefaultObjects);
  const auto sprite = [&](SurfacePair& pair, int w, int h, int x, int y, const char* name) {
    surfaces_.CreateSurface(pair.Dc, pair.Bitmap, w, h, 0, name);
    BitBlt(Img(pair), 0, 0, w, h, &sheet, x, y, RasterOp::Copy);
  };
  sprite(NormObj0, 20, 5, 0, 0, "NormObj0");
  sprite(NormObj1, 20, 5, 0, 5, "NormObj1");
  sprite(NormObj2, 16, 5, 22, 5, "NormObj2");
  sprite(ScrObj, 36, 4, 0, 10, "ScrObj");
  sprite(SepObj, kSkinSize, 1, 0, 16, "SepObj");
  sprite(FScrObj, kZoneWidth, kZoneHeight, 0, 17, "fScrObj");
  // The lane table holds sprite handles, which the new surfaces replaced.
  SetLaneLayout(lane_mode_);
}

void NoteDisplay::DrawFrame(PlayEngine& engine, Chart& chart, SurfaceHandle sprite_dc,
                            SurfaceHandle bga_dc, QImage* target) {
  const double zoom = Zoom;
  // A movie on the BGA moves on while the notes stand still (paused, or during a stop).
  const bool movie_moved = Bga.AdvanceMovies(engine, chart);
  if (!movie_moved &&
      std::nearbyint(zoom * engine.PlayPosition) == std::nearbyint(zoom * LastDrawnPosition)) {
    // The display would not move by a pixel.
    if (!flags_[Element::AutoWaitOff] && Sleep) Sleep(1);
    LastDrawnPosition = engine.PlayPosition;
    return;
  }
  LastDrawnPosition = engine.PlayPosition;
  if (Hooks != nullptr) {
    if (!engine.Minimized) Hooks->CountFrame();
    Hooks->DrawStatusArea();
  }
  if (engine.BgaDirty) {
    Bga.ComposeBga(engine, chart, bga_dc);
  } else if (!flags_[Element::Objects] && FullScreenOn) {
    return;  // nothing on the display changes
  }

  QImage* sprite = surfaces_.Image(sprite_dc);
  // The BGA as composed: 256 x 256 on its surface, or larger for a video export.
  const QImage* bga = Bga.Composed() != nullptr ? Bga.Composed() : surfaces_.Image(bga_dc);
  const int bga_size = Bga.Composed() != nullptr ? bga->width() : kBgaSize;
  // The stretched BGA covers every pixel the fill would; the fill matters only without it.
  if (bga == nullptr || bga->width() < bga_size || bga->height() < bga_size) {
    BitBlt(sprite, 0, 0, DisplayWidth, DisplayHeight, nullptr, 0, 0, RasterOp::Black);
  }
  StretchBlt(sprite, 0, 0, DisplayWidth, DisplayHeight, bga, 0, 0, bga_size, bga_size,
             RasterOp::Copy);
  if (flags_[Element::Objects]) DrawObjects(engine, chart, sprite);
  if (target != nullptr) {
    BitBlt(target, 0, 0, DisplayWidth, DisplayHeight, sprite, 0, 0, RasterOp::Copy);
  }
}

const QImage* NoteDisplay::Stretched(const QImage* skin, int height, StretchedSkin& cache) {
  if (skin == nullptr || skin->isNull() || height <= 0) return nullptr;
  if (cache.key != skin->cacheKey() || cache.height != height) {
    cache.image = QImage(kSkinSize, height, QImage::Format_RGB32);
    cache.image.fill(Qt::black);
    StretchBlt(&cache.image, 0, 0, kSkinSize, height, skin, 0, 0, kSkinSize, kLaneRows,
               RasterOp::Copy);
    cache.key = skin->cacheKey();
    cache.height = height;
  }
  return &cache.image;
}

void NoteDisplay::DrawObjects(const PlayEngine& engine, const Chart& chart, QImage* sprite) {
  JudgeY = DisplayHeight - 5;
  const bool seven = chart.Header.SevenKeys;
  const QImage* lanes = seven ? Img(BG7Line) : Img(BG5Line);
  const QImage* lane_mask = seven ? Img(BG7LineMask) : Img(BG5LineMask);
  if (flags_[Element::Lines]) {
    const QImage* mask_at_height = Stretched(lane_mask, JudgeY, stretched_mask_);
    const QImage* lanes_at_height = Stretched(lanes, JudgeY, stretched_lanes_);
    for (int x : {0, 190}) {
      MaskedBlt(sprite, x, 0, kSkinSize, JudgeY, mask_at_height, lanes_at_height, 0, 0);
      if (!seven) break;
    }
  }
  if (seven) {
    BitBlt(sprite, 0, JudgeY, 173, kJudgeRows, lanes, 0, kJudgeRow, RasterOp::Copy);
    BitBlt(sprite, 227, JudgeY, 173, kJudgeRows, lanes, 37, kJudgeRow, RasterOp::Copy);
  } else {
    BitBlt(sprite, 0, JudgeY, kSkinSize, kJudgeRows, lanes, 0, kJudgeRow, RasterOp::Copy);
  }

  const double zoom = Zoom;
  if (!(zoom > 0.0) || !std::isfinite(zoom)) return;  // no scale to place objects by
  const double play = engine.PlayPosition;
  const double top = JudgeY / zoom + play;  // position at the display's top edge
  const double hide_limit = 0.4 * DisplayHeight;
  const bool hidden = flags_[Element::Hidden];
  const bool sudden = flags_[Element::Sudden];
  const bool separators = flags_[Element::Separators];
  const bool commands = flags_[Element::Commands];
  const QImage* zone = Img(FScrObj);
  const int zone_height = static_cast<int>(std::nearbyint(kZoneHeight * zoom));

  const bool extended = chart.Extended;
  if (extended && !chart.LongNotes.empty()) {
    DrawLongNotes(engine, chart, sprite, play - (DisplayHeight - JudgeY) / zoom, top);
  }

  const int64_t end = std::min<int64_t>(chart.ObjectLast, std::ssize(chart.ObjectTable));
  for (int64_t i = std::max<int64_t>(int64_t{engine.PlayCursor} - 50, 0); i < end; ++i) {
    const BmsObject& object = chart.ObjectTable[static_cast<size_t>(i)];
    if (top < object.Position) break;
    const int ch = object.Channel;
    // The extended reading's long-note heads are drawn with their long notes; invisible notes
    // never are.
    if (extended && (channel::LongNoteLane(ch) >= 0 || channel::InvisibleLane(ch) >= 0)) continue;
    const double y_exact = std::nearbyint(JudgeY - (object.Position - play) * zoom);
    if (!object.Played) {
      VisibleFlag = true;
      const double d = JudgeY - y_exact;
      if (hidden && d < hide_limit) VisibleFlag = false;
      if (sudden && d >= hide_limit) VisibleFlag = false;
    } else if (!channel::IsZone(ch)) {
      continue;  // played: only a zone block stays
    }
    if (std::abs(y_exact) > kFarAway) continue;
    const int y = static_cast<int>(y_exact);
    if (ch == channel::kBarLine && separators) {
      BitBlt(sprite, 0, y + 5, kSkinSize, 1, Img(SepObj), 0, 0, RasterOp::Copy);
      continue;
    }
    if (!VisibleFlag) continue;
    const int lane = ch - kFirstLaneChannel;
    if (extended) {
      if (const int mine_lane = channel::MineLane(ch); mine_lane >= 0) {
        DrawMine(sprite, mine_lane - kFirstLaneChannel, y);
        continue;
      }
    }
    if (channel::IsZone(ch)) {
      const int zone_y = static_cast<int>(std::nearbyint(y - kZoneHeight * zoom + 5));
      StretchBlt(sprite, LaneX[lane], zone_y, kZoneWidth, zone_height, zone, 0, 0, kZoneWidth,
                 kZoneHeight, RasterOp::Copy);
    } else if (ch == 16 || ch == 26) {
      BitBlt(sprite, LaneX[lane], y, kZoneWidth, 5, Img(ScrObj), 0, 0, RasterOp::Copy);
    } else if (ch > 10 && ch < 30 && ch != 20) {
      BitBlt(sprite, LaneX[lane], y, 20, 5, surfaces_.Image(LaneSprite[lane]), 0, 0,
             RasterOp::Copy);
    } else if (commands) {
      const QImage* dot = ch % 2 != 0 ? Img(NormObj0) : Img(NormObj1);
      BitBlt(sprite, DisplayWidth + 2 * ch - 25, y + 3, 4, 2, dot, 0, 0, RasterOp::Copy);
    }
  }
}

const QImage* NoteDisplay::LaneNote(int lane, int* width) {
  const int ch = lane + kFirstLaneChannel;
  if (ch == 16 || ch == 26) {
    *width = kZoneWidth;
    return Img(ScrObj);
  }
  *width = 20;
  return surfaces_.Image(LaneSprite[static_cast<size_t>(lane)]);
}

void NoteDisplay::DrawMine(QImage* sprite, int lane, int y) {
  if (sprite == nullptr || lane < 0 || lane >= kLaneCount) return;
  int width = 0;
  LaneNote(lane, &width);
  QPainter p(sprite);
  const int x = LaneX[static_cast<size_t>(lane)];
  p.fillRect(x, y, width, kNoteRows, QColor::fromRgb(kMineFrame));
  p.fillRect(x + 1, y + 1, width - 2, kNoteRows - 2, QColor::fromRgb(kMineInside));
}

void NoteDisplay::DrawLongNotes(const PlayEngine& engine, const Chart& chart, QImage* sprite,
                                double bottom, double top) {
  if (sprite == nullptr) return;
  const double zoom = Zoom;
  const double play = engine.PlayPosition;
  const bool hidden = flags_[Element::Hidden];
  const bool sudden = flags_[Element::Sudden];
  // Rows a note may show in: Hidden hides those near the judge line, Sudden the far ones.
  const double hide_y = JudgeY - 0.4 * DisplayHeight;
  const double visible_top = sudden ? std::floor(hide_y) + 1 : -kFarAway;
  const double visible_bottom = hidden ? std::floor(hide_y) : kFarAway;
  const auto y_of = [&](double position) {
    return std::clamp(std::nearbyint(JudgeY - (position - play) * zoom), -kFarAway, kFarAway);
  };
  // Only long notes that start before the display's top; the list is sorted by start.
  const auto last = std::upper_bound(chart.LongNotes.begin(), chart.LongNotes.end(), top,
                                     [](double t, const LongNote& n) { return t < n.Start; });
  for (auto it = chart.LongNotes.begin(); it != last; ++it) {
    const LongNote& note = *it;
    if (note.End < bottom || note.End < play) continue;  // the tail has passed
    const int lane = note.Lane - kFirstLaneChannel;
    if (lane < 0 || lane >= kLaneCount) continue;
    int width = 0;
    const QImage* head = LaneNote(lane, &width);
    if (head == nullptr || head->isNull()) continue;
    const int x = LaneX[static_cast<size_t>(lane)];
    // Head and tail rows; the head waits on the judge line once it has passed it.
    const double head_y = std::min(y_of(note.Start), static_cast<double>(JudgeY));
    const double tail_y = y_of(note.End);

    // The body: from under the tail's row to the head's, within the rows notes show in.
    BodyRow& row = body_rows_[static_cast<size_t>(lane)];
    if (row.key != head->cacheKey() || row.image.isNull()) {
      row.key = head->cacheKey();
      row.image = QImage(head->width(), 1, QImage::Format_RGB32);
      const int middle = std::min(2, head->height() - 1);
      for (int px = 0; px < head->width(); ++px) {
        const QRgb c = head->pixel(px, middle);
        row.image.setPixel(px, 0, qRgb(qRed(c) / 2, qGreen(c) / 2, qBlue(c) / 2));
      }
    }
    const int body_top =
        static_cast<int>(std::ceil(std::max({tail_y + kNoteRows, visible_top, -1.0})));
    const int body_bottom = static_cast<int>(
        std::floor(std::min({head_y, visible_bottom + 1, static_cast<double>(DisplayHeight)})));
    const int body_width = width - 2 * kBodyInset;
    if (body_bottom > body_top && body_width > 0) {
      StretchBlt(sprite, x + kBodyInset, body_top, body_width, body_bottom - body_top, &row.image,
                 kBodyInset, 0, body_width, 1, RasterOp::Copy);
    }
    for (const double y : {tail_y, head_y}) {
      if (y < visible_top || y > visible_bottom || y < -kNoteRows || y > DisplayHeight) continue;
      BitBlt(sprite, x, static_cast<int>(y), width, kNoteRows, head, 0, 0, RasterOp::Copy);
    }
  }
}

}  // namespace quillon
