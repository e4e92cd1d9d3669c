#include "platform/draw_surface.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPoint>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace kv::platform {
namespace {

QColor ToQColor(ColorRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

QPainter::CompositionMode ModeOf(RasterOp op) {
  switch (op) {
    case RasterOp::Copy: return QPainter::CompositionMode_SourceOver;
    case RasterOp::Xor: return QPainter::RasterOp_SourceXorDestination;
    case RasterOp::NotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case RasterOp::Invert: return QPainter::RasterOp_NotDestination;
  }
  return QPainter::CompositionMode_SourceOver;
}

// On and off lengths of the styled pens, in pixels along the line.
void PatternOf(PenStyle style, int& on, int& off) {
  switch (style) {
    case PenStyle::Dash: on = 18; off = 6; return;
    case PenStyle::Dot: on = 3; off = 3; return;
    default: on = 1; off = 0; return;
  }
}

void PaintPoints(QPainter& p, const std::vector<QPoint>& pts, const QColor& color) {
  if (pts.empty()) return;
  p.setPen(QPen(color, 0));
  p.drawPoints(pts.data(), int(pts.size()));
}

}  // namespace

QString DefaultGothicFace() { return QStringLiteral("IPAGothic"); }

QFont MakeCellFont(const FontSpec& spec) {
  QFont f;
  QStringList families;
  if (!spec.face.isEmpty()) families << spec.face;
  families << DefaultGothicFace() << "IPAPGothic" << "Noto Sans CJK JP" << "VL Gothic";
  f.setFamilies(families);
  f.setWeight(QFont::Weight(std::clamp(spec.weight <= 0 ? 400 : spec.weight, 1, 1000)));
  f.setStyleStrategy(QFont::NoAntialias);
  if (spec.height < 0) {
    f.setPixelSize(std::max(1, -spec.height));
    return f;
  }
  const int cell = spec.height == 0 ? 12 : spec.height;
  // Pixel size is the em height; the cell is ascent plus descent. Find the
  // largest pixel size whose cell does not exceed the one asked for.
  int px = cell;
  f.setPixelSize(px);
  for (int i = 0; i < 4; ++i) {
    const int h = QFontMetrics(f).height();
    if (h == cell || h <= 0) break;
    const int next = std::max(1, int(std::lround(double(px) * cell / h)));
    if (next == px) break;
    px = next;
    f.setPixelSize(px);
  }
  while (px > 1 && QFontMetrics(f).height() > cell) f.setPixelSize(--px);
  return f;
}

DrawSurface::DrawSurface(QPainter& painter) : painter_(painter) {
  font_.face = DefaultGothicFace();
  qfont_ = MakeCellFont(font_);
}

Pen DrawSurface::SelectPen(const Pen& pen) {
  const Pen old = pen_;
  pen_ = pen;
  return old;
}

FontSpec DrawSurface::SelectFont(const FontSpec& font) {
  const FontSpec old = font_;
  if (!(font == font_)) {
    font_ = font;
    qfont_ = MakeCellFont(font_);
  }
  return old;
}

ColorRef DrawSurface::SetTextColor(ColorRef color) {
  const ColorRef old = textColor_;
  textColor_ = color & 0xFFFFFF;
  return old;
}

ColorRef DrawSurface::SetBkColor(ColorRef color) {
  const ColorRef old = bkColor_;
  bkColor_ = color & 0xFFFFFF;
  return old;
}

BkMode DrawSurface::SetBkMode(BkMode mode) {
  const BkMode old = bkMode_;
  bkMode_ = mode;
  return old;
}

RasterOp DrawSurface::SetRasterOp(RasterOp op) {
  const RasterOp old = rop_;
  rop_ = op;
  return old;
}

void DrawSurface::MoveTo(int x, int y) {
  curX_ = x;
  curY_ = y;
}

void DrawSurface::LineTo(int x, int y) {
  const int x0 = curX_, y0 = curY_;
  curX_ = x;
  curY_ = y;
  if (pen_.style == PenStyle::Null) return;
  painter_.save();
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setCompositionMode(ModeOf(rop_));
  if (pen_.width > 1) {
    // Wide pens are solid with round ends and cover both end points.
    QPen qp(ToQColor(pen_.color), pen_.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter_.setPen(qp);
    painter_.drawLine(QPointF(x0 + 0.5, y0 + 0.5), QPointF(x + 0.5, y + 0.5));
    painter_.restore();
    return;
  }
  // Bresenham from (x0, y0), stopping before (x, y).
  const int dx = std::abs(x - x0), dy = std::abs(y - y0);
  const int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  const int steps = std::max(dx, dy);
  int on = 1, off = 0;
  PatternOf(pen_.style, on, off);
  std::vector<QPoint> ink, gap;
  ink.reserve(size_t(steps));
  int err = dx - dy;
  int px = x0, py = y0;
  for (int i = 0; i < steps; ++i) {
    const bool inked = off == 0 || (i % (on + off)) < on;
    (inked ? ink : gap).emplace_back(px, py);
    const int e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      px += sx;
    }
    if (e2 < dx) {
      err += dx;
      py += sy;
    }
  }
  if (bkMode_ == BkMode::Opaque) PaintPoints(painter_, gap, ToQColor(bkColor_));
  PaintPoints(painter_, ink, ToQColor(pen_.color));
  painter_.restore();
}

QSize DrawSurface::TextExtent(const QString& text) const {
  const QFontMetrics m(qfont_);
  return QSize(m.horizontalAdvance(text), m.height());
}

void DrawSurface::TextOut(int x, int y, const QString& text) {
  if (text.isEmpty()) return;
  const QFontMetrics m(qfont_);
  painter_.save();
  painter_.setRenderHint(QPainter::TextAntialiasing, false);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter_.translate(x, y);
  if (font_.escapement != 0) painter_.rotate(-font_.escapement / 10.0);
  if (bkMode_ == BkMode::Opaque)
    painter_.fillRect(QRect(0, 0, m.horizontalAdvance(text), m.height()), ToQColor(bkColor_));
  painter_.setFont(qfont_);
  painter_.setPen(ToQColor(textColor_));
  painter_.drawText(QPoint(0, m.ascent()), text);
  painter_.restore();
}

}  // namespace kv::platform
