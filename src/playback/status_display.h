// The status area of the main window: the status picture (icon and word), the position bar, the
// time line, the status line (tempo, draw ratio, frame rate, sounds of the last measure), the
// polyphony gauge and the title view. It owns those pictures; the window shows them and is told
// through Refreshed when one has changed.
//
// Threads: UI thread only (text drawing needs the QGuiApplication).
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "chart/model.h"
#include "platform/gradient_text.h"
#include "settings/title_style.h"

namespace quillon {

class PlayEngine;

// The texts that depend on the interface language (string table entries 0, 1000 and 1001).
struct StatusTexts {
  std::string InterfaceFont = "Arial";
  std::string FullMark = "*";
  std::string EmptyMark = "-";
};

// Pixel sizes of the pictures.
struct StatusPictureSizes {
  QSize Status{200, 20};
  QSize PositionBar{400, 8};
  QSize TimeLine{160, 16};
  QSize StatusLine{240, 16};
  QSize Gauge{80, 15};
  QSize Title{400, 60};
};

enum class StatusPicture { Status, PositionBar, TimeLine, StatusLine, Gauge, Title };

class StatusDisplay {
 public:
  explicit StatusDisplay(const StatusPictureSizes& sizes = {});

  // Remakes every picture at the new sizes (black), with the position bar's ramps and, when the
  // gauge changed size, the gauge source.
  void Resize(const StatusPictureSizes& sizes);

  // The status picture: cleared, `icon` (may be null) at (2, 1), `text` in white at (24, 4).
  void Status(const std::string& text, const QImage& icon);

  // Frame-rate count, once per drawn frame: a new window begins when a second has passed since
  // the last one began; its predecessor's frame count becomes Fps and the status line is redrawn
  // at the next DrawStatusArea.
  void StartFrameRate(double elapsed_ms);
  void CountFrame(double elapsed_ms);

  // The position bar, the time line and the status line of one drawn frame. The status line is
  // drawn whenever engine.StatusDirty or a new frame rate asks for it, or play is not running;
  // afterwards the caller clears engine.StatusDirty.
  void DrawStatusArea(const PlayEngine& engine, const Chart& chart, const ElementFlags& flags);
  void DrawPositionBar(double play_position, int32_t end_position, bool playing);
  // Each draws when its redraw condition holds; true when it drew.
  bool DrawTimeLine(const PlayEngine& engine, const Chart& chart, const ElementFlags& flags);
  bool DrawStatusLine(const PlayEngine& engine, const Chart& chart);
  // The width the time line needs for its longest text (with milliseconds, three-digit measures)
  // in the interface font, so that no digit is cut.
  int TimeLineWidth() const;

  // The filled (Curpos) and empty (CurposBG) looks of the position bar at w x h.
  void MakePositionBarPictures(int w, int h);

  // Polyphony gauge: input from every fired sound, and the 1 ms timer step at tick count `now`.
  void AddGaugeInput(int32_t amount) { GaugePending += static_cast<float>(amount); }
  void GaugeTimerProc(int32_t now);
  // True when another timer step would change nothing: level and peak are 0 and the pending
  // input is too small to be taken in (under 5; it stays for the next sound). The window stops
  // the 1 ms timer then, and starts it again with the next input.
  bool GaugeAtRest() const;
  // The gauge's colour scale from the gauge picture's size, over `background`.
  void MakeGaugeSource(QRgb background = qRgb(0, 0, 0));

  // The title view for `header`: three gradient lines (genre in double quotes, title, artist) and
  // the grey info line at the top right, then the kept message lines (AddTitleLine) each on the
  // next line. When the info line and the genre do not both fit on the top line, the info line
  // takes a line of its own above the three. Returns the height the title panel needs: the
  // gauge's and the status picture's heights, 10, and the height of every line drawn.
  int DrawTitleInfo(const BmsHeader& header);
  // A message ("now loading", "ready") printed on the title view's next line in a gradient from
  // `from` to `to`, and kept there when the view is drawn again, until ClearTitleLines. Returns
  // the height the title panel needs now.
  int AddTitleLine(const QString& text, int32_t from, int32_t to);
  void ClearTitleLines() { title_lines_.clear(); }

  // Where DrawTitleInfo last drew the genre line, the info line and each kept message line.
  struct TitleLine {
    QString Text;
    int32_t From = 0;
    int32_t To = 0;
    QRect Area;
  };
  const std::vector<TitleLine>& title_lines() const { return title_lines_; }
  QRect GenreArea;
  QRect InfoArea;

  // Settings and language texts.
  std::array<TitleLineStyle, 3> TitleLines;
  StatusTexts Texts;
  QRgb TimeTextColour = qRgb(255, 255, 255);

  // Frame rate.
  int16_t Fps = 0;
  int16_t FrameCount = 0;
  int32_t FpsMark = 0;
  // Position bar.
  int32_t BarWidth = 0;
  float BeatFraction = 0.0F;
  // Polyphony gauge.
  float GaugeLevel = 0.0F;
  float GaugePending = 0.0F;
  float GaugePeak = 0.0F;
  int32_t GaugePeakTick = 0;

  // The pictures.
  QImage PicStatus;
  QImage PicCurPos;
  std::array<QImage, 2> PicTimeDisp;  // 0 time line, 1 status line
  QImage PicPolGraph;
  QImage PicDisplay;
  QImage Curpos;
  QImage CurposBG;
  QImage GaugeSource;

  // Told of every refreshed picture; the debug log line "<n>fps" of every new frame rate.
  std::function<void(StatusPicture)> Refreshed;
  std::function<void(std::string_view)> DebugLog;

 private:
  void Refresh(StatusPicture picture);
  QFont InterfaceFont(double points) const;

  // Prints a kept message line at the title view's print position.
  void PrintTitleLine(TitleLine& line);

  bool frame_rate_dirty_ = false;
  std::vector<TitleLine> title_lines_;
  PrintTarget title_target_;    // the title view's print position after its last line
  int title_fixed_height_ = 0;  // the needed height without the text lines
  int title_text_height_ = 0;   // the three title lines' font heights (and the info line's)
};

}  // namespace quillon
