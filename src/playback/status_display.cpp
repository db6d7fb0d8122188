#include "playback/status_display.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "chart/numbers.h"
#include "platform/gradient_text.h"
#include "platform/surface.h"
#include "playback/play_engine.h"
#include "playback/title_text.h"

namespace quillon {
namespace {

constexpr float kGaugeMax = 78.0F;
constexpr float kGaugeSteps = 80.0F;
constexpr int32_t kPeakHoldMs = 1000;
// A level this small draws nothing at any gauge width; below it the level is taken as 0 (the
// product with 0.95 would otherwise stop at the smallest float and never reach 0).
constexpr float kGaugeFloor = 1.0e-3F;
// Pending input is taken in a fifth at a time, so less than this never moves the gauge.
constexpr int32_t kGaugeIntake = 5;
// Interface text (status word, time and status lines, info line) is 9 points.
constexpr double kInterfacePoints = 9.0;

QImage BlackImage(QSize size) {
  if (size.width() <= 0 || size.height() <= 0) return {};
  QImage image(size, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 0));
  return image;
}

void Clear(QImage& image) {
  if (!image.isNull()) image.fill(qRgb(0, 0, 0));
}

// A vertical line over the whole height of `image` at column x, clipped.
void VerticalLine(QImage& image, int x, QRgb colour) {
  if (x < 0 || x >= image.width()) return;
  for (int y = 0; y < image.height(); ++y)
    image.setPixel(x, y, colour);
}

// One line of text with its top-left corner at (x, y).
void PrintAt(QImage& image, const QFont& font, QRgb colour, int x, int y, const QString& text) {
  if (image.isNull() || text.isEmpty()) return;
  QPainter painter(&image);
  if (!painter.isActive()) return;
  painter.setFont(font);
  painter.setPen(QColor(colour));
  painter.drawText(x, y + QFontMetrics(font, &image).ascent(), text);
}

// A ramp component: round(x / w * full), halves to even; nullopt when it cannot be worked out.
std::optional<int> Ramp(int x, int w, int full) {
  return ToWhole<int>(static_cast<double>(x) / w * full);
}

}  // namespace

StatusDisplay::StatusDisplay(const StatusPictureSizes& sizes) {
  Resize(sizes);
}

void StatusDisplay::Resize(const StatusPictureSizes& sizes) {
  const QSize old_gauge = PicPolGraph.size();
  PicStatus = BlackImage(sizes.Status);
  PicCurPos = BlackImage(sizes.PositionBar);
  PicTimeDisp[0] = BlackImage(sizes.TimeLine);
  PicTimeDisp[1] = BlackImage(sizes.StatusLine);
  PicPolGraph = BlackImage(sizes.Gauge);
  PicDisplay = BlackImage(sizes.Title);
  MakePositionBarPictures(sizes.PositionBar.width(), sizes.PositionBar.height());
  // The gauge copies from its source picture; one left at an old width would cut the gauge short.
  if (GaugeSource.isNull() || old_gauge != PicPolGraph.size()) MakeGaugeSource();
}

void StatusDisplay::Refresh(StatusPicture picture) {
  if (Refreshed) Refreshed(picture);
}

QFont StatusDisplay::InterfaceFont(double points) const {
  QFont font(QString::fromStdString(Texts.InterfaceFont));
  font.setPointSizeF(points);
  return font;
}

void StatusDisplay::Status(const std::string& text, const QImage& icon) {
  Clear(PicStatus);
  if (PicStatus.isNull()) return;
  if (!icon.isNull()) {
    QPainter painter(&PicStatus);
    if (painter.isActive()) painter.drawImage(2, 1, icon);
  }
  PrintAt(PicStatus, InterfaceFont(kInterfacePoints), qRgb(255, 255, 255), 24, 4,
          QString::fromStdString(text));
  Refresh(StatusPicture::Status);
}

void StatusDisplay::StartFrameRate(double elapsed_ms) {
  if (const auto mark = ToWhole<int32_t>(elapsed_ms)) FpsMark = *mark;
  FrameCount = 0;
}

void StatusDisplay::CountFrame(double elapsed_ms) {
  if (static_cast<double>(FpsMark) + 1000.0 <= elapsed_ms) {
    if (const auto mark = ToWhole<int32_t>(elapsed_ms)) FpsMark = *mark;
    Fps = FrameCount;
    FrameCount = 0;
    frame_rate_dirty_ = true;
    if (DebugLog) DebugLog(std::to_string(Fps) + "fps");
  }
  if (FrameCount < std::numeric_limits<int16_t>::max()) ++FrameCount;
}

void StatusDisplay::MakePositionBarPictures(int w, int h) {
  Curpos = BlackImage(QSize(w, h));
  CurposBG = BlackImage(QSize(w, h));
  if (Curpos.isNull()) return;
  for (int x = 0; x <= w; x += 2) {
    const auto r = Ramp(x, w, 255), b = Ramp(w - x, w, 255);
    const auto r_bg = Ramp(x, w, 128), b_bg = Ramp(w - x, w, 128);
    if (!r || !b || !r_bg || !b_bg) continue;
    VerticalLine(Curpos, x, qRgb(*r, 255, *b));
    VerticalLine(CurposBG, x, qRgb(*r_bg, 128, *b_bg));
  }
}

void StatusDisplay::DrawPositionBar(double play_position, int32_t end_position, bool playing) {
  if (const auto whole = ToWhole<int32_t>(play_position)) {
    BeatFraction = static_cast<float>(play_position / 48.0 - (*whole / 48));
  }
  const int w = PicCurPos.width();
  const int h = PicCurPos.height();
  BitBlt(&PicCurPos, 0, 0, w, h, &CurposBG, 0, 0, RasterOp::Copy);
  const double span = static_cast<double>(end_position) + 256.0;
  if (const auto bar = ToWhole<int32_t>(w * play_position / span)) {
    BarWidth = *bar;
    BitBlt(&PicCurPos, 0, 0, BarWidth, h, &Curpos, 0, 0, RasterOp::Copy);
    // The filled part blinks off for the first tenth of every beat.
    if (playing && BeatFraction < 0.1F) {
      BitBlt(&PicCurPos, 0, 0, BarWidth, h, &CurposBG, 0, 0, RasterOp::Copy);
    }
  }
  Refresh(StatusPicture::PositionBar);
}

bool StatusDisplay::DrawTimeLine(const PlayEngine& engine, const Chart& chart,
                                 const ElementFlags& flags) {
  const bool with_ms = flags[Element::MillisecondTimer];
  if (!with_ms && !(engine.StatusDirty || frame_rate_dirty_ || !engine.Playing)) return false;
  Clear(PicTimeDisp[0]);
  const std::string text = TimeLineText(engine.CurrentMeasure, chart.LastMeasure, engine.ElapsedMs,
                                        chart.TotalTimeMs, with_ms);
  PrintAt(PicTimeDisp[0], InterfaceFont(kInterfacePoints), TimeTextColour, 0, 0,
          QString::fromStdString(text));
  Refresh(StatusPicture::TimeLine);
  return true;
}

bool StatusDisplay::DrawStatusLine(const PlayEngine& engine, const Chart& chart) {
  if (!(engine.StatusDirty || frame_rate_dirty_ || !engine.Playing)) return false;
  Clear(PicTimeDisp[1]);
  const std::string text = StatusLineText(chart.CurrentBpm, Fps, engine.LastMeasureSoundCount);
  PrintAt(PicTimeDisp[1], InterfaceFont(kInterfacePoints), TimeTextColour, 0, 0,
          QString::fromStdString(text));
  frame_rate_dirty_ = false;
  Refresh(StatusPicture::StatusLine);
  return true;
}

int StatusDisplay::TimeLineWidth() const {
  const QFont font = InterfaceFont(kInterfacePoints);
  const QFontMetrics metrics =
      PicTimeDisp[0].isNull() ? QFontMetrics(font) : QFontMetrics(font, &PicTimeDisp[0]);
  // Every digit of the longest line as the widest digit of the font.
  QChar widest = QLatin1Char('0');
  for (char digit = '1'; digit <= '9'; ++digit) {
    if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest)) {
      widest = QLatin1Char(digit);
    }
  }
  QString text = QString::fromStdString(TimeLineText(0, 0, 0.0, 0, /*with_ms=*/true));
  for (QChar& c : text) {
    if (c.isDigit()) c = widest;
  }
  // One spare pixel on either side of the text's advance, for glyphs that overhang it.
  return metrics.horizontalAdvance(text) + 2;
}

void StatusDisplay::DrawStatusArea(const PlayEngine& engine, const Chart& chart,
                                   const ElementFlags& flags) {
  DrawPositionBar(engine.PlayPosition, chart.EndPosition, engine.Playing);
  DrawTimeLine(engine, chart, flags);
  DrawStatusLine(engine, chart);
}

void StatusDisplay::MakeGaugeSource(QRgb background) {
  GaugeSource = BlackImage(PicPolGraph.size());
  if (GaugeSource.isNull()) return;
  GaugeSource.fill(background);
  const int w = GaugeSource.width();
  const int green_end = ToWhole<int>(0.7 * w - 1).value_or(-1);
  const int red_start = ToWhole<int>(0.7 * w).value_or(w + 1);
  for (int x = 0; x <= green_end; x += 2)
    VerticalLine(GaugeSource, x, qRgb(0, 255, 0));
  for (int x = red_start; x <= w; x += 2)
    VerticalLine(GaugeSource, x, qRgb(255, 0, 0));
}

void StatusDisplay::GaugeTimerProc(int32_t now) {
  GaugeLevel = GaugeLevel * 0.95F;
  if (GaugeLevel < kGaugeFloor) GaugeLevel = 0.0F;
  if (GaugePending != 0.0F) {
    if (const auto pending = ToWhole<int32_t>(GaugePending)) {
      const int32_t k = *pending / kGaugeIntake;
      GaugeLevel += static_cast<float>(k);
      GaugePending -= static_cast<float>(k);
    }
    if (GaugeLevel > kGaugeMax) GaugeLevel = kGaugeMax;
    if (GaugeLevel >= GaugePeak) {
      GaugePeak = GaugeLevel;
      GaugePeakTick = now;
    }
  }
  // The peak sinks one step a tick once held for a second, and rests at 0 rather than sinking
  // below the gauge for ever. The difference is taken on 32 bits so a wrapped tick count works.
  const auto held =
      static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(GaugePeakTick));
  if (GaugePeak != 0.0F && held > kPeakHoldMs) GaugePeak = std::max(0.0F, GaugePeak - 1.0F);

  const int w = PicPolGraph.width();
  const int h = PicPolGraph.height();
  // The whole height is cleared so no column of a higher level is left behind.
  Clear(PicPolGraph);
  if (const auto level = ToWhole<int>(GaugeLevel / kGaugeSteps * w)) {
    BitBlt(&PicPolGraph, 0, 0, *level, h, &GaugeSource, 0, 0, RasterOp::Copy);
  }
  if (const auto peak = ToWhole<int>(GaugePeak / kGaugeSteps * w)) {
    BitBlt(&PicPolGraph, *peak, 0, 2, h, &GaugeSource, *peak, 0, RasterOp::Copy);
  }
  Refresh(StatusPicture::Gauge);
}

bool StatusDisplay::GaugeAtRest() const {
  const int32_t pending = ToWhole<int32_t>(GaugePending).value_or(kGaugeIntake);
  return GaugeLevel == 0.0F && GaugePeak == 0.0F && pending / kGaugeIntake == 0;
}

int StatusDisplay::DrawTitleInfo(const BmsHeader& header) {
  Clear(PicDisplay);
  GenreArea = QRect();
  InfoArea = QRect();
  int text_heights = 0;
  std::array<QFont, 3> fonts;
  for (size_t n = 0; n < fonts.size(); ++n) {
    const TitleLineStyle& style = TitleLines[n];
    fonts[n] = QFont(QString::fromStdString(style.Font));
    if (style.Size > 0) fonts[n].setPointSizeF(style.Size);
    fonts[n].setBold(style.Bold);
    fonts[n].setItalic(style.Italic);
    text_heights += QFontMetrics(fonts[n]).height();
  }
  title_fixed_height_ = PicPolGraph.height() + PicStatus.height() + 10;
  title_text_height_ = text_heights;
  title_target_ = PrintTarget{};
  title_target_.Image = &PicDisplay;

  if (!PicDisplay.isNull()) {
    const int w = PicDisplay.width();
    const std::array<std::string, 3> lines = {"\"" + header.Genre + "\"",
                                              TitleWithSubtitle(header.Title, header.SubTitle),
                                              header.Artist};
    // The info line, right-aligned at the top; from the left edge when it is wider than the view.
    const QString info = QString::fromStdString(InfoLineText(
        header.PlayLevel, header.Rank, header.Player, Texts.FullMark, Texts.EmptyMark));
    const QFont info_font = InterfaceFont(kInterfacePoints);
    const QFontMetrics info_metrics(info_font, &PicDisplay);
    const int info_width = info_metrics.horizontalAdvance(info);
    InfoArea = QRect(std::max(0, w - info_width), 0, info_width, info_metrics.height());
    // The genre is drawn shrunk to the view's width at the most.
    const QString genre = QString::fromStdString(lines[0]);
    const int genre_width =
        std::min(w, QFontMetrics(fonts[0], &PicDisplay).horizontalAdvance(genre));
    if (genre_width > InfoArea.left()) {
      // No room beside the genre: the info line has the top line to itself.
      title_target_.CurrentY = info_metrics.lineSpacing();
      title_text_height_ += info_metrics.height();
    }
    PrintAt(PicDisplay, info_font, qRgb(128, 128, 128), InfoArea.left(), 0, info);

    for (size_t n = 0; n < lines.size(); ++n) {
      title_target_.Font = fonts[n];
      const int top = title_target_.CurrentY;
      // An empty title or artist still takes its line, so the next one stays in its place.
      if (lines[n].empty()) {
        title_target_.CurrentY += QFontMetrics(fonts[n], &PicDisplay).lineSpacing();
        continue;
      }
      DrawGradientText(title_target_, QString::fromStdString(lines[n]), TitleLines[n].Start,
                       TitleLines[n].End, false);
      if (n == 0) {
        GenreArea =
            QRect(0, top, genre_width, QFontMetrics(title_target_.Font, &PicDisplay).height());
      }
    }
  }
  for (TitleLine& line : title_lines_)
    PrintTitleLine(line);
  Refresh(StatusPicture::Title);
  return title_fixed_height_ + std::max(title_text_height_, title_target_.CurrentY);
}

int StatusDisplay::AddTitleLine(const QString& text, int32_t from, int32_t to) {
  title_lines_.push_back(TitleLine{text, from, to, QRect()});
  PrintTitleLine(title_lines_.back());
  Refresh(StatusPicture::Title);
  return title_fixed_height_ + std::max(title_text_height_, title_target_.CurrentY);
}

void StatusDisplay::PrintTitleLine(TitleLine& line) {
  title_target_.Image = &PicDisplay;
  title_target_.Font = InterfaceFont(kInterfacePoints);
  const int top = title_target_.CurrentY;
  DrawGradientText(title_target_, line.Text, line.From, line.To, /*keep_size=*/false);
  // An empty text or picture draws nothing; the line is still counted so the next one moves on.
  const QFontMetrics metrics(title_target_.Font, &PicDisplay);
  if (title_target_.CurrentY == top) title_target_.CurrentY += metrics.lineSpacing();
  // The line's band: from its top to where the next line starts.
  line.Area = QRect(0, top, metrics.horizontalAdvance(line.Text), title_target_.CurrentY - top);
}

}  // namespace quillon
