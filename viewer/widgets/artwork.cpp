#include "viewer/widgets/artwork.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <numbers>
#include <utility>
#include <vector>

#include "foundation/shell/toolbar_images.h"
#include "platform/draw_surface.h"

namespace kv::viewer {
namespace {

// The navigator's cursors wear it, so a drag there is not taken for one on
// the photo.
const QColor kCuff(128, 72, 168);

// Shapes sit on half-pixel coordinates so that this one-pixel outline covers
// whole pixels at integral ratios instead of smearing over two.
QPen Outline() { return QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

QPainterPath Rounded(const QRectF& r, double radius) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  return path;
}

QPainterPath Capsule(const QRectF& r) { return Rounded(r, std::min(r.width(), r.height()) / 2); }

// A thumb: a capsule of the given width from base, leaving at angle degrees
// from straight up (negative leans left).
QPainterPath Thumb(QPointF base, double angle, double length, double width) {
  QTransform t;
  t.translate(base.x(), base.y());
  t.rotate(angle);
  return t.map(Capsule(QRectF(-width / 2, -length, width, length + width / 2)));
}

void DrawFilled(QPainter& p, const QPainterPath& path, const QColor& fill = Qt::white) {
  p.setPen(Outline());
  p.setBrush(fill);
  p.drawPath(path);
}

// The creases where fingers part: the silhouette alone would show a mitten.
void Crease(QPainter& p, double x, double y0, double y1) {
  p.setPen(Outline());
  p.drawLine(QPointF(x, y0), QPointF(x, y1));
}

void DrawLabel(QPainter& p, const QRectF& box, const char* text) {
  p.setPen(Outline());
  p.setBrush(Qt::white);
  p.drawRect(box);
  QFont f(platform::DefaultGothicFace());
  f.setPixelSize(9);
  // Kanji this small blur into grey blots when smoothed on a low-density
  // screen; there whole pixels read better.
  if (p.device()->devicePixelRatio() < 2) f.setStyleStrategy(QFont::NoAntialias);
  p.setFont(f);
  p.setPen(Qt::black);
  p.drawText(box.adjusted(0.5, 0.5, -0.5, -0.5).toRect(), Qt::AlignCenter, QString::fromUtf8(text));
}

// An open right hand seen from its back, fingers up; the middle finger's tip
// is the pixel (12, 1). With a cuff the palm is cut short above it.
void DrawOpenHand(QPainter& p, bool cuff) {
  struct Finger {
    double x, top, width;
  };
  const Finger fingers[] = {{6.5, 4.5, 4}, {10.5, 1.5, 4}, {14.5, 2.5, 4}, {18.5, 6.5, 3.5}};
  const double palmTop = 12.5, palmBottom = cuff ? 26.5 : 27.5;
  QPainterPath hand = Rounded(QRectF(6.5, palmTop, 15.5, palmBottom - palmTop), 4);
  for (const Finger& f : fingers)
    hand = hand.united(Capsule(QRectF(f.x, f.top, f.width, 16 - f.top)));
  hand = hand.united(Thumb(QPointF(8.5, 21.5), -42, 10, 4));
  DrawFilled(p, hand);
  for (int i = 1; i < 4; ++i) {
    const double lower = std::max(fingers[i - 1].top, fingers[i].top);
    Crease(p, fingers[i].x, lower + 2, palmTop + 2);
  }
  if (cuff) DrawFilled(p, Rounded(QRectF(8.5, 25.5, 12, 6), 1.5), kCuff);
}

// A closed hand seen from its back: a row of knuckles over a fist, the thumb
// folded along its left side. The pixel (16, 14) lies inside the fist.
void DrawGrabHand(QPainter& p, bool cuff) {
  struct Knuckle {
    double x, top, width;
  };
  const Knuckle knuckles[] = {{9.5, 9.5, 4.5}, {14, 8.5, 4.5}, {18.5, 9, 4.5}, {23, 10.5, 3.5}};
  QPainterPath hand = Rounded(QRectF(8.5, 12.5, 18, 13), 5);
  for (const Knuckle& k : knuckles) hand = hand.united(Capsule(QRectF(k.x, k.top, k.width, 8)));
  hand = hand.united(Thumb(QPointF(10.5, 21.5), -68, 6, 4.5));
  DrawFilled(p, hand);
  for (int i = 1; i < 4; ++i) {
    const double lower = std::max(knuckles[i - 1].top, knuckles[i].top);
    Crease(p, knuckles[i].x, lower + 2, 14.5);
  }
  // The folded fingertips under the knuckles.
  p.setPen(Outline());
  p.drawLine(QPointF(11.5, 16.5), QPointF(24.5, 16.5));
  if (cuff) DrawFilled(p, Rounded(QRectF(11.5, 24.5, 12, 6.5), 1.5), kCuff);
}

// A hand pointing up with its index finger, whose tip is the pixel tip; the
// other fingers curl to its right, the thumb tucks in at the left.
void DrawPointingHand(QPainter& p, QPoint tip) {
  const double x = tip.x(), y = tip.y();
  QPainterPath hand = Capsule(QRectF(x - 1.5, y + 0.5, 4, 15));
  struct Curl {
    double dx, dy, width;
  };
  const Curl curls[] = {{2.5, 9.5, 3.5}, {6, 10.5, 3.5}, {9.5, 11.5, 3}};
  for (const Curl& c : curls) hand = hand.united(Capsule(QRectF(x + c.dx, y + c.dy, c.width, 7)));
  hand = hand.united(Rounded(QRectF(x - 2.5, y + 12.5, 15, 11), 4));
  hand = hand.united(Thumb(QPointF(x - 0.5, y + 19.5), -58, 6.5, 4));
  DrawFilled(p, hand);
  for (const Curl& c : curls) Crease(p, x + c.dx, y + c.dy + 2, y + c.dy + 4.5);
}

void DrawMagnifier(QPainter& p, bool plus) {
  const QPointF centre(9.5, 9.5);
  // The handle goes to the lower right, away from the hot spot in the lens.
  QTransform t;
  t.translate(centre.x(), centre.y());
  t.rotate(-45);
  DrawFilled(p, t.map(Rounded(QRectF(-2.5, 6.5, 5, 13.5), 2)), QColor(70, 70, 70));
  p.setPen(QPen(Qt::black, 1.5));
  p.setBrush(Qt::white);
  p.drawEllipse(centre, 7.25, 7.25);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRect(QRectF(5, 9, 9, 1.5));
  if (plus) p.drawRect(QRectF(8.75, 5.25, 1.5, 9));
}

// Thin, so the photo point under it stays visible, but with white beside
// the black as on any cursor meant for dark and light photos alike.
void DrawCrosshair(QPainter& p, QPoint hot) {
  const double c = hot.x() + 0.5, m = hot.y() + 0.5, reach = 11;
  for (const auto& [colour, width] :
       {std::pair{QColor(Qt::white), 3.0}, std::pair{QColor(Qt::black), 1.0}}) {
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(c - reach, m), QPointF(c + reach, m));
    p.drawLine(QPointF(c, m - reach), QPointF(c, m + reach));
  }
  // What the mode is for: a ruler with its ticks.
  const QRectF ruler(19.5, 24.5, 12, 6);
  p.setPen(Outline());
  p.setBrush(QColor(240, 200, 90));
  p.drawRect(ruler);
  for (int i = 1; i < 4; ++i)
    p.drawLine(QPointF(ruler.left() + 3 * i, ruler.top()),
               QPointF(ruler.left() + 3 * i, ruler.top() + (i == 2 ? 3.5 : 2)));
}

void DrawArrow(QPainter& p, QPoint tip) {
  DrawFilled(p, shell::CursorArrowPath(tip.x(), tip.y()));
}

void DrawCursor(QPainter& p, ViewerCursorId id) {
  const QPoint hot = CursorHotSpot(id);
  switch (id) {
    case ViewerCursorId::OpenHand:
      DrawOpenHand(p, false);
      break;
    case ViewerCursorId::NavigatorHand:
      DrawOpenHand(p, true);
      break;
    case ViewerCursorId::GrabHand:
      DrawGrabHand(p, false);
      break;
    case ViewerCursorId::NavigatorGrab:
      DrawGrabHand(p, true);
      break;
    case ViewerCursorId::ZoomIn:
      DrawMagnifier(p, true);
      break;
    case ViewerCursorId::ZoomOut:
      DrawMagnifier(p, false);
      break;
    case ViewerCursorId::Registration:
      DrawArrow(p, hot);
      DrawLabel(p, QRectF(10.5, 0.5, 21, 12), "検出");
      break;
    case ViewerCursorId::CalibrationRightEnd:
      DrawPointingHand(p, hot);
      DrawLabel(p, QRectF(10.5, 19.5, 21, 12), "右端");
      break;
    case ViewerCursorId::ReturnView:
      DrawPointingHand(p, hot);
      DrawLabel(p, QRectF(10.5, 19.5, 21, 12), "初期");
      break;
    case ViewerCursorId::ShowToolbox:
      DrawPointingHand(p, hot);
      DrawLabel(p, QRectF(10.5, 19.5, 21, 12), "TOOL");
      break;
    case ViewerCursorId::LogoLink:
      DrawPointingHand(p, hot);
      DrawLabel(p, QRectF(16.5, 19.5, 15, 12), "HP");
      break;
    case ViewerCursorId::Measure:
      DrawCrosshair(p, hot);
      break;
  }
}

QPixmap BlankPixmap(int side, double dpr) {
  const int px = std::max(1, int(std::lround(side * dpr)));
  QPixmap pm(px, px);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  return pm;
}

void DrawToolboxPanel(QPainter& p) {
  const QRectF window(5.5, 6.5, 21, 19);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(252, 252, 252));
  p.drawRoundedRect(window, 2, 2);
  p.setBrush(QColor(60, 100, 165));
  p.drawRect(QRectF(6, 7, 20, 3.5));
  p.setPen(QPen(QColor(45, 45, 45), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(window, 2, 2);
  // Two columns of tool buttons.
  const QColor buttons[] = {QColor(90, 150, 90), QColor(200, 120, 60),  QColor(90, 120, 190),
                            QColor(190, 80, 80), QColor(140, 140, 140), QColor(180, 160, 60)};
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 6; ++i) {
    p.setBrush(buttons[i]);
    p.drawRect(QRectF(8 + (i % 2) * 4, 13 + (i / 2) * 4, 3, 3));
  }
  // The navigator: a little photo with the visible part framed in red.
  p.setPen(QPen(QColor(45, 45, 45), 1));
  p.setBrush(QColor(200, 220, 240));
  p.drawRect(QRectF(16.5, 12.5, 8, 8));
  p.setPen(QPen(QColor(215, 30, 30), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(18.5, 14.5, 3, 3));
}

void DrawReturnPicture(QPainter& p) {
  // A framed landscape: the whole photo.
  const QRectF frame(4.5, 5.5, 18, 14);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(175, 210, 240));
  p.drawRect(frame);
  QPolygonF hills;
  hills << QPointF(4.5, 17) << QPointF(10, 11) << QPointF(13.5, 14.5) << QPointF(16.5, 12)
        << QPointF(22.5, 17.5) << QPointF(22.5, 19.5) << QPointF(4.5, 19.5);
  p.setBrush(QColor(80, 150, 80));
  p.drawPolygon(hills);
  p.setBrush(QColor(245, 200, 60));
  p.drawEllipse(QPointF(18.5, 9), 1.8, 1.8);
  p.setPen(QPen(QColor(45, 45, 45), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(frame);
  // The way back: an arrow turning anticlockwise on a white disc.
  const QPointF c(21.5, 21.5);
  p.setPen(QPen(QColor(45, 45, 45), 1));
  p.setBrush(Qt::white);
  p.drawEllipse(c, 7.5, 7.5);
  const QColor blue(30, 90, 180);
  const double r = 4.3, startDeg = 70, spanDeg = 270;
  const QRectF arcBox(c.x() - r, c.y() - r, 2 * r, 2 * r);
  QPainterPath arc;
  arc.arcMoveTo(arcBox, startDeg);
  arc.arcTo(arcBox, startDeg, spanDeg);
  p.setPen(QPen(blue, 1.8, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);
  const double end = (startDeg + spanDeg) * std::numbers::pi / 180;
  const QPointF at(c.x() + r * std::cos(end), c.y() - r * std::sin(end));
  const QPointF dir(-std::sin(end), -std::cos(end));  // the way an anticlockwise turn runs
  const QPointF across(-dir.y(), dir.x());
  QPolygonF head;
  head << at + dir * 3.2 << at + across * 2.6 << at - across * 2.6;
  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  p.drawPolygon(head);
}

const QColor kCream(255, 250, 238);
const QColor kInk(45, 50, 60);
const QColor kTileGreen(40, 150, 75);
const QColor kTileRim(20, 100, 45);
const QColor kLegendMagenta(255, 0, 204);

double Ratio(const QPainter& p) { return p.device()->devicePixelRatio(); }

// Axis-aligned fills snap to whole device pixels: their edges stay sharp at
// ratio 1.5 too, where half-unit coordinates would smear over two pixels.
double Snap(double v, double dpr) { return std::floor(v * dpr + 0.5) / dpr; }

QRectF Snap(const QRectF& r, double dpr) {
  return QRectF(QPointF(Snap(r.left(), dpr), Snap(r.top(), dpr)),
                QPointF(Snap(r.right(), dpr), Snap(r.bottom(), dpr)));
}

void FillBox(QPainter& p, const QRectF& r, const QColor& c) { p.fillRect(Snap(r, Ratio(p)), c); }

// All four sides get the same whole number of device pixels; snapping each
// side on its own would make them differ at ratio 1.5.
void FrameBox(QPainter& p, const QRectF& r, double thickness, const QColor& c) {
  const double dpr = Ratio(p);
  const QRectF o = Snap(r, dpr);
  const double t = std::max(1.0, std::round(thickness * dpr)) / dpr;
  p.fillRect(QRectF(o.left(), o.top(), o.width(), t), c);
  p.fillRect(QRectF(o.left(), o.bottom() - t, o.width(), t), c);
  p.fillRect(QRectF(o.left(), o.top(), t, o.height()), c);
  p.fillRect(QRectF(o.right() - t, o.top(), t, o.height()), c);
}

// Letters of 3 x 5 cells, a cell per logical pixel: at 24 px an outline font
// this small turns into grey smudges, these stay readable.
struct PixelGlyph {
  char c;
  const char* rows[5];
};
const PixelGlyph kPixelGlyphs[] = {
    {'A', {".#.", "#.#", "###", "#.#", "#.#"}}, {'E', {"###", "#..", "##.", "#..", "###"}},
    {'F', {"###", "#..", "##.", "#..", "#.."}}, {'I', {"###", ".#.", ".#.", ".#.", "###"}},
    {'L', {"#..", "#..", "#..", "#..", "###"}}, {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
    {'S', {"###", "#..", "###", "..#", "###"}}, {'U', {"#.#", "#.#", "#.#", "#.#", "###"}},
    {'Z', {"###", "..#", ".#.", "#..", "###"}},
};

// Lines of pixel letters centred on `centre`. The block starts on a whole
// device pixel and every cell edge is rounded from there, so at ratio 1.5
// the letters all come out with the same stroke widths.
void DrawPixelText(QPainter& p, QPointF centre, const std::vector<const char*>& lines,
                   const QColor& c) {
  const double dpr = Ratio(p);
  std::size_t longest = 0;
  for (const char* line : lines) longest = std::max(longest, std::strlen(line));
  const double w = 4.0 * double(longest) - 1, h = 6.0 * double(lines.size()) - 1;
  const double ox = std::round((centre.x() - w / 2) * dpr),
               oy = std::round((centre.y() - h / 2) * dpr);
  const auto edge = [dpr](double origin, int cell) {
    return (origin + std::floor(cell * dpr + 0.5)) / dpr;
  };
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const int len = int(std::strlen(lines[l]));
    // Shorter lines are centred under the longest, by whole cells.
    const int indent = 2 * (int(longest) - len);
    for (int i = 0; i < len; ++i) {
      const auto* g = std::find_if(std::begin(kPixelGlyphs), std::end(kPixelGlyphs),
                                   [&](const PixelGlyph& pg) { return pg.c == lines[l][i]; });
      if (g == std::end(kPixelGlyphs)) continue;
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col) {
          if (g->rows[row][col] != '#') continue;
          const int cx = indent + 4 * i + col, cy = 6 * int(l) + row;
          p.fillRect(QRectF(QPointF(edge(ox, cx), edge(oy, cy)),
                            QPointF(edge(ox, cx + 1), edge(oy, cy + 1))),
                     c);
        }
    }
  }
}

void DrawChevron(QPainter& p, bool right) {
  QPainterPath path;
  const double tip = right ? 16 : 8, back = right ? 9 : 15;
  path.moveTo(back, 4);
  path.lineTo(tip, 12);
  path.lineTo(back, 20);
  p.setPen(QPen(QColor(35, 80, 165), 4, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

// A monitor on its stand; returns its screen for the caller to fill in.
QRectF DrawMonitor(QPainter& p, const QColor& screenColour) {
  const QRectF body(1, 3, 22, 15), screen = body.adjusted(2, 2, -2, -2);
  FillBox(p, screen, screenColour);
  FrameBox(p, body, 2, kInk);
  FillBox(p, QRectF(10, 18, 4, 2), kInk);
  FillBox(p, QRectF(6, 20, 12, 2), kInk);
  return screen;
}

void DrawArrowHead(QPainter& p, QPointF tip, QPointF dir, double length, double halfWidth,
                   const QColor& c) {
  const QPointF across(-dir.y(), dir.x());
  QPolygonF head;
  head << tip << tip - dir * length + across * halfWidth << tip - dir * length - across * halfWidth;
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPolygon(head);
}

void DrawDoubleArrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
  const QPointF d = to - from;
  const QPointF dir = d / std::hypot(d.x(), d.y());
  p.setPen(QPen(c, 1.75, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(from + dir * 2, to - dir * 2);
  DrawArrowHead(p, to, dir, 4.5, 2.75, c);
  DrawArrowHead(p, from, -dir, 4.5, 2.75, c);
}

void DrawGreenTile(QPainter& p) {
  p.setPen(QPen(kTileRim, 1));
  p.setBrush(kTileGreen);
  p.drawRoundedRect(QRectF(2.5, 2.5, 19, 19), 3, 3);
}

void DrawToolMagnifier(QPainter& p, bool plus) {
  const QPointF centre(10, 10);
  p.setPen(QPen(QColor(95, 70, 45), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(15.5, 15.5), QPointF(20.5, 20.5));
  p.setPen(QPen(kInk, 2));
  p.setBrush(QColor(228, 242, 255));
  p.drawEllipse(centre, 6.5, 6.5);
  FillBox(p, QRectF(6, 9, 8, 2), kInk);
  if (plus) FillBox(p, QRectF(9, 6, 2, 8), kInk);
}

// A return key's arrow: down from the upper right, then left to the head.
void DrawReturnArrow(QPainter& p) {
  FillBox(p, QRectF(15, 6, 3, 8), Qt::white);
  FillBox(p, QRectF(9, 11, 9, 3), Qt::white);
  DrawArrowHead(p, QPointF(4.5, 12.5), QPointF(-1, 0), 5.5, 4.5, Qt::white);
}

void DrawFolder(QPainter& p) {
  const QColor rim(150, 105, 20);
  QPainterPath back =
      Rounded(QRectF(2.5, 6.5, 18, 13), 1.5).united(Rounded(QRectF(2.5, 4.5, 8, 4), 1.5));
  p.setPen(QPen(rim, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(232, 172, 35));
  p.drawPath(back);
  // The front flap leans forward: the folder is open.
  QPolygonF front;
  front << QPointF(6.5, 10.5) << QPointF(22.5, 10.5) << QPointF(19.5, 19.5) << QPointF(2.5, 19.5);
  p.setBrush(QColor(255, 208, 70));
  p.drawPolygon(front);
}

void DrawRuler(QPainter& p) {
  const QRectF body(1, 7, 22, 10);
  FillBox(p, body, QColor(236, 196, 128));
  FrameBox(p, body, 1, QColor(120, 80, 35));
  for (int i = 0; i < 7; ++i)
    FillBox(p, QRectF(3 + 3 * i, 8, 1, i % 2 ? 2.5 : 4.5), QColor(80, 50, 20));
}

void DrawToolboxButton(QPainter& p, ToolboxButton b) {
  switch (b) {
    case ToolboxButton::PrevPhoto:
      DrawChevron(p, false);
      break;
    case ToolboxButton::NextPhoto:
      DrawChevron(p, true);
      break;
    case ToolboxButton::Windowed:
      DrawMonitor(p, QColor(222, 238, 252));
      DrawDoubleArrow(p, QPointF(7, 14), QPointF(17, 7), QColor(30, 70, 150));
      break;
    case ToolboxButton::RealSize:
      DrawGreenTile(p);
      DrawPixelText(p, QPointF(12, 12), {"REAL", "SIZE"}, Qt::white);
      break;
    case ToolboxButton::ZoomOut:
      DrawToolMagnifier(p, false);
      break;
    case ToolboxButton::ZoomIn:
      DrawToolMagnifier(p, true);
      break;
    case ToolboxButton::ResetView:
      DrawGreenTile(p);
      DrawReturnArrow(p);
      break;
    case ToolboxButton::OpenFolder:
      DrawFolder(p);
      break;
    case ToolboxButton::FullScreen: {
      const QRectF screen = DrawMonitor(p, QColor(35, 80, 165));
      DrawPixelText(p, screen.center(), {"FULL"}, Qt::white);
      break;
    }
    case ToolboxButton::Guides:
      DrawRuler(p);
      break;
  }
}

QImage OpaqueImage(int width, int height, double dpr, const QColor& background) {
  QImage img(std::max(1, int(std::lround(width * dpr))),
             std::max(1, int(std::lround(height * dpr))), QImage::Format_ARGB32_Premultiplied);
  img.setDevicePixelRatio(dpr);
  img.fill(background);
  return img;
}

}  // namespace

QPoint CursorHotSpot(ViewerCursorId id) {
  switch (id) {
    case ViewerCursorId::OpenHand:
    case ViewerCursorId::NavigatorHand:
      return {12, 1};
    case ViewerCursorId::GrabHand:
    case ViewerCursorId::NavigatorGrab:
      return {16, 14};
    case ViewerCursorId::ZoomIn:
    case ViewerCursorId::ZoomOut:
      return {9, 9};
    case ViewerCursorId::CalibrationRightEnd:
    case ViewerCursorId::ShowToolbox:
    case ViewerCursorId::ReturnView:
      return {12, 0};
    case ViewerCursorId::Registration:
      return {0, 12};
    case ViewerCursorId::LogoLink:
      return {7, 3};
    case ViewerCursorId::Measure:
      return {15, 15};
  }
  return {0, 0};
}

QPixmap MakeViewerCursorPixmap(ViewerCursorId id, double dpr) {
  QPixmap pm = BlankPixmap(kViewerArtSide, dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawCursor(p, id);
  p.end();
  return pm;
}

QCursor MakeViewerCursor(ViewerCursorId id, double dpr) {
  const QPoint hot = CursorHotSpot(id);
  return QCursor(MakeViewerCursorPixmap(id, dpr), hot.x(), hot.y());
}

const QCursor& ViewerCursor(ViewerCursorId id, double dpr) {
  static std::map<std::pair<ViewerCursorId, double>, QCursor> cache;
  const auto key = std::make_pair(id, dpr);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, MakeViewerCursor(id, dpr)).first;
  return it->second;
}

QImage MakeHiddenToolboxIcon(bool returnIcon, double dpr) {
  const int px = std::max(1, int(std::lround(kViewerArtSide * dpr)));
  QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
  img.setDevicePixelRatio(dpr);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // A light rounded panel with a dark rim stands out on bright and dark
  // photos alike.
  p.setPen(QPen(QColor(55, 55, 55), 1));
  p.setBrush(QColor(242, 242, 236));
  p.drawRoundedRect(QRectF(0.5, 0.5, kViewerArtSide - 1, kViewerArtSide - 1), 5, 5);
  if (returnIcon)
    DrawReturnPicture(p);
  else
    DrawToolboxPanel(p);
  p.end();
  return img;
}

QImage MakeToolboxButtonImage(ToolboxButton b, double dpr) {
  QImage img = OpaqueImage(kToolboxButtonSide, kToolboxButtonSide, dpr, kCream);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  DrawToolboxButton(p, b);
  p.end();
  return img;
}

QImage MakeToolboxLegend(double dpr) {
  QImage img = OpaqueImage(kLegendWidth, kLegendHeight, dpr, Qt::black);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  FillBox(p, QRectF(18, 8, 30, 2), kLegendMagenta);
  const QString lines[] = {QStringLiteral("ラインが"), QStringLiteral("リアルサイズ"),
                           QStringLiteral("表示中です")};
  QFont f(platform::DefaultGothicFace());
  if (dpr < 2) f.setStyleStrategy(QFont::NoAntialias);
  // Six full-width kana at 11 px fill the panel edge to edge; give up a
  // pixel of size rather than touch the rim.
  for (int px = 11; px >= 8; --px) {
    f.setPixelSize(px);
    if (QFontMetricsF(f).horizontalAdvance(lines[1]) <= kLegendWidth - 4) break;
  }
  p.setFont(f);
  p.setPen(Qt::white);
  for (int i = 0; i < 3; ++i)
    p.drawText(QRectF(0, 15 + 17 * i, kLegendWidth, 17), Qt::AlignCenter, lines[i]);
  p.end();
  return img;
}

}  // namespace kv::viewer
