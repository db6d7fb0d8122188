#include "resources/toolbar_icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <string>

namespace quillon {
namespace {

constexpr int kIconSize = 16;

// Colours shared by the glyphs: a fill and a darker outline, so that every icon reads on the light
// toolbar and on the black status picture alike.
const QColor kOutline(40, 48, 60);
const QColor kTransport(84, 132, 204);
const QColor kTransportLine(30, 62, 112);

QImage Blank(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void Setup(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, true);
}

void Shape(QPainter& p, const QPainterPath& path, const QColor& fill, const QColor& line,
           double width = 1.0) {
  QPen pen(line, width);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(fill);
  p.drawPath(path);
}

QPainterPath Polygon(std::initializer_list<QPointF> points) {
  QPainterPath path;
  path.addPolygon(QPolygonF(QList<QPointF>(points)));
  path.closeSubpath();
  return path;
}

QPainterPath Rect(double x, double y, double w, double h) {
  QPainterPath path;
  path.addRect(QRectF(x, y, w, h));
  return path;
}

// An arrowhead with its tip at `tip`, pointing along the unit vector (dx, dy).
QPainterPath ArrowHead(QPointF tip, double dx, double dy, double length, double half_width) {
  const QPointF back = tip - QPointF(dx, dy) * length;
  const QPointF side(-dy * half_width, dx * half_width);
  return Polygon({tip, back + side, back - side});
}

// --- Transport -------------------------------------------------------------------------------

void DrawPlay(QPainter& p) {
  Shape(p, Polygon({{4.5, 2.5}, {4.5, 13.5}, {13.5, 8.0}}), QColor(60, 180, 75),
        QColor(24, 100, 40));
}

void DrawPause(QPainter& p) {
  QPainterPath bars = Rect(3.5, 2.5, 3, 11);
  bars.addRect(QRectF(9.5, 2.5, 3, 11));
  Shape(p, bars, kTransport, kTransportLine);
}

void DrawStop(QPainter& p) {
  Shape(p, Rect(3.5, 3.5, 9, 9), QColor(218, 68, 58), QColor(112, 24, 20));
}

// |<  (NEXT is its mirror image)
void DrawPrev(QPainter& p) {
  QPainterPath path = Rect(2.5, 3.5, 2, 9);
  path.addPath(Polygon({{13.5, 3.5}, {13.5, 12.5}, {5.5, 8.0}}));
  Shape(p, path, kTransport, kTransportLine);
}

// <<  (FF is its mirror image)
void DrawRew(QPainter& p) {
  QPainterPath path = Polygon({{8.0, 3.5}, {8.0, 12.5}, {1.5, 8.0}});
  path.addPath(Polygon({{14.5, 3.5}, {14.5, 12.5}, {8.0, 8.0}}));
  Shape(p, path, kTransport, kTransportLine);
}

// The repeat loop: an upper arrow to the right and a lower arrow to the left round a rectangle.
// Lines of width 2 on whole pixels keep the loop crisp at 16 x 16.
void DrawLoop(QPainter& p, const QColor& colour) {
  QPen pen(colour, 2.0);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  QPainterPath upper;
  upper.moveTo(3.0, 9.0);
  upper.lineTo(3.0, 6.0);
  upper.quadTo(3.0, 4.0, 5.0, 4.0);
  upper.lineTo(11.0, 4.0);
  p.drawPath(upper);
  QPainterPath lower;
  lower.moveTo(13.0, 7.0);
  lower.lineTo(13.0, 10.0);
  lower.quadTo(13.0, 12.0, 11.0, 12.0);
  lower.lineTo(5.0, 12.0);
  p.drawPath(lower);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(ArrowHead({15.0, 4.0}, 1, 0, 4.0, 3.0));
  p.drawPath(ArrowHead({1.0, 12.0}, -1, 0, 4.0, 3.0));
}

void DrawRepeatOne(QPainter& p) {
  DrawLoop(p, QColor(47, 127, 193));
  // A "1" inside the loop, on whole pixels.
  p.setRenderHint(QPainter::Antialiasing, false);
  const QColor orange(220, 100, 20);
  p.fillRect(QRect(8, 6, 2, 5), orange);
  p.fillRect(QRect(7, 6, 1, 2), orange);
  p.fillRect(QRect(7, 10, 4, 1), orange);
}

void DrawRepeatAll(QPainter& p) {
  DrawLoop(p, QColor(47, 127, 193));
}

// --- Files and windows -----------------------------------------------------------------------

void DrawOpen(QPainter& p) {
  const QColor line(130, 92, 16);
  Shape(p, Polygon({{1.5, 3.5}, {6.0, 3.5}, {7.5, 5.0}, {13.5, 5.0}, {13.5, 13.5}, {1.5, 13.5}}),
        QColor(222, 170, 60), line);
  Shape(p, Polygon({{4.0, 7.5}, {15.0, 7.5}, {13.0, 13.5}, {1.5, 13.5}}), QColor(250, 210, 100),
        line);
}

void DrawReload(QPainter& p) {
  const QColor colour(46, 158, 91);
  const QPointF centre(7.5, 8.5);
  const double radius = 5.0;
  // Three quarters of a circle, open at the top right; its upper end carries an arrowhead
  // pointing clockwise into the opening.
  const double start_deg = 60.0;
  const double span_deg = 270.0;
  QPen pen(colour, 2.0);
  pen.setCapStyle(Qt::FlatCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  p.drawArc(box, static_cast<int>(start_deg * 16), static_cast<int>(span_deg * 16));
  const double a = start_deg * std::numbers::pi / 180.0;
  const QPointF at(centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a));
  // Clockwise on screen at angle a.
  const double dx = std::sin(a);
  const double dy = std::cos(a);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(ArrowHead(at + QPointF(dx, dy) * 3.5, dx, dy, 4.0, 3.5));
}

void DrawOption(QPainter& p) {
  const QPointF c(8.0, 8.0);
  const int teeth = 8;
  const double outer = 7.0;
  const double inner = 5.0;
  QPainterPath gear;
  for (int i = 0; i < teeth * 4; ++i) {
    // Each tooth: rise, top, fall, valley, a quarter of the tooth pitch each.
    const double a = (i - 0.5) * 2.0 * std::numbers::pi / (teeth * 4);
    const double r = (i % 4 == 0 || i % 4 == 1) ? outer : inner;
    const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
    if (i == 0) {
      gear.moveTo(pt);
    } else {
      gear.lineTo(pt);
    }
  }
  gear.closeSubpath();
  gear.addEllipse(c, 2.2, 2.2);
  gear.setFillRule(Qt::OddEvenFill);
  Shape(p, gear, QColor(150, 160, 172), kOutline);
}

void DrawPlaylist(QPainter& p) {
  for (int row = 0; row < 4; ++row) {
    // Whole-pixel rows: a bullet and a line, with a clear pixel between rows.
    const int y = 1 + row * 4;
    p.fillRect(QRect(1, y, 3, 3), QColor(236, 140, 44));
    p.fillRect(QRect(5, y, 10, 3), kTransportLine);
    p.fillRect(QRect(6, y + 1, 8, 1), kTransport);
  }
}

void DrawProp(QPainter& p) {
  const QColor line(90, 100, 112);
  Shape(p, Polygon({{2.5, 1.5}, {10.0, 1.5}, {13.5, 5.0}, {13.5, 14.5}, {2.5, 14.5}}), Qt::white,
        line);
  Shape(p, Polygon({{10.0, 1.5}, {10.0, 5.0}, {13.5, 5.0}}), QColor(210, 216, 224), line);
  // The "i": a dot and a stem with a foot.
  const QColor blue(40, 100, 200);
  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  p.drawEllipse(QPointF(8.0, 5.0), 1.3, 1.3);
  p.drawRect(QRectF(7.0, 7.0, 2.0, 5.0));
  p.drawRect(QRectF(6.0, 7.0, 1.0, 1.0));
  p.drawRect(QRectF(6.0, 11.0, 4.0, 1.5));
}

// Three sliders on their tracks.
void DrawControlPanel(QPainter& p) {
  const double knob_y[] = {8.5, 2.5, 6.0};
  for (int i = 0; i < 3; ++i) {
    const double x = 3.0 + i * 5.0;
    p.setPen(QPen(kOutline, 1.0));
    p.drawLine(QPointF(x, 1.5), QPointF(x, 14.5));
    p.setPen(QPen(QColor(140, 70, 10), 1.0));
    p.setBrush(QColor(236, 140, 44));
    p.drawRect(QRectF(x - 2.0, knob_y[i], 4.0, 4.0));
  }
}

// An eighth note.
void DrawObjects(QPainter& p) {
  const QColor fill(120, 80, 200);
  const QColor line(50, 24, 100);
  QPainterPath note;
  QTransform turn;
  turn.translate(6.0, 11.5);
  turn.rotate(-25);
  QPainterPath head;
  head.addEllipse(QPointF(0, 0), 3.6, 2.5);
  note.addPath(turn.map(head));
  note.addRect(QRectF(8.2, 2.0, 1.6, 9.2));
  QPainterPath flag;
  flag.moveTo(9.8, 2.0);
  flag.cubicTo(10.5, 4.5, 14.5, 5.0, 12.5, 9.5);
  flag.cubicTo(12.8, 6.8, 11.0, 6.0, 9.8, 5.6);
  flag.closeSubpath();
  note.addPath(flag);
  note = note.simplified();
  Shape(p, note, fill, line, 0.8);
}

// A framed landscape: sky, sun and hills.
void DrawBga(QPainter& p) {
  const QRectF frame(1.5, 2.5, 13, 11);
  QLinearGradient sky(0, 2.5, 0, 13.5);
  sky.setColorAt(0, QColor(110, 170, 240));
  sky.setColorAt(1, QColor(200, 230, 255));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRect(frame);
  p.setBrush(QColor(255, 200, 40));
  p.drawEllipse(QPointF(11.0, 5.8), 1.7, 1.7);
  p.setBrush(QColor(60, 150, 60));
  p.drawPath(Polygon({{1.5, 13.5},
                      {1.5, 10.5},
                      {5.0, 7.0},
                      {8.5, 10.5},
                      {10.5, 8.8},
                      {14.5, 12.0},
                      {14.5, 13.5}}));
  p.setPen(QPen(kOutline, 1.0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(frame);
}

// A level gauge: five bars rising from green to red.
void DrawPoly(QPainter& p) {
  const QColor colours[] = {
      {60, 180, 75}, {60, 180, 75}, {230, 200, 40}, {240, 140, 40}, {220, 60, 50}};
  for (int i = 0; i < 5; ++i) {
    const double h = 3.0 + 2.5 * i;
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(colours[i]);
    p.drawRect(QRectF(0.5 + i * 3.0, 14.5 - h, 2.0, h));
  }
}

struct IconRecipe {
  const char* key;
  void (*draw)(QPainter&);
  bool mirrored;  // drawn by `draw` and then flipped left to right
};

constexpr IconRecipe kRecipes[] = {
    {"OPEN", DrawOpen, false},      {"RELOAD", DrawReload, false},
    {"OPTION", DrawOption, false},  {"PLAYLIST", DrawPlaylist, false},
    {"PROP", DrawProp, false},      {"CP", DrawControlPanel, false},
    {"OBJ", DrawObjects, false},    {"BGA", DrawBga, false},
    {"POLY", DrawPoly, false},      {"PLAY", DrawPlay, false},
    {"PAUSE", DrawPause, false},    {"STOP", DrawStop, false},
    {"PREV", DrawPrev, false},      {"REW", DrawRew, false},
    {"FF", DrawRew, true},          {"NEXT", DrawPrev, true},
    {"REP1", DrawRepeatOne, false}, {"REPA", DrawRepeatAll, false},
};

QImage DrawIcon(const IconRecipe& recipe) {
  QImage image = Blank(kIconSize);
  {
    QPainter p(&image);
    Setup(p);
    recipe.draw(p);
  }
  if (recipe.mirrored) image = image.mirrored(true, false);
  return image;
}

}  // namespace

QImage ToolbarImage(std::string_view key) {
  static std::mutex mutex;
  static std::map<std::string, QImage, std::less<>> cache;
  const std::lock_guard<std::mutex> lock(mutex);
  if (const auto it = cache.find(key); it != cache.end()) return it->second;
  for (const IconRecipe& recipe : kRecipes) {
    if (key == recipe.key) return cache.emplace(std::string(key), DrawIcon(recipe)).first->second;
  }
  return {};
}

QImage ProgramIconImage(int size) {
  if (size <= 0) return {};
  QImage image = Blank(size);
  QPainter p(&image);
  Setup(p);
  // Drawn on a 64 x 64 grid, scaled to the size asked for.
  p.scale(size / 64.0, size / 64.0);
  QLinearGradient back(0, 0, 64, 64);
  back.setColorAt(0, QColor(40, 70, 140));
  back.setColorAt(1, QColor(96, 56, 150));
  p.setPen(Qt::NoPen);
  p.setBrush(back);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  // The quill: a golden feather whose shaft comes down to the note head.
  QPainterPath feather;
  feather.moveTo(34, 40);
  feather.cubicTo(30, 28, 36, 12, 54, 6);
  feather.cubicTo(54, 18, 46, 34, 34, 40);
  QLinearGradient gold(34, 40, 54, 6);
  gold.setColorAt(0, QColor(250, 214, 110));
  gold.setColorAt(1, QColor(255, 246, 210));
  p.setBrush(gold);
  p.setPen(QPen(QColor(150, 110, 30), 1.5));
  p.drawPath(feather);
  p.setPen(QPen(QColor(150, 110, 30), 1.5));
  p.setBrush(Qt::NoBrush);
  QPainterPath shaft;
  shaft.moveTo(33, 44);
  shaft.cubicTo(38, 30, 44, 18, 53, 8);
  p.drawPath(shaft);

  // The note: head and stem in white.
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(30, 20, 4, 28));
  p.translate(24, 48);
  p.rotate(-25);
  p.drawEllipse(QPointF(0, 0), 10, 7);
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48, 64})
    icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  return icon;
}

}  // namespace quillon
