#pragma once
// A drawing surface over QPainter that keeps the attributes drawing routines
// select and restore: pen, font, text colour, background colour, background
// mode and raster operation. Coordinates are the painter's pixels (a back
// buffer QImage's pixels when drawing off screen).
//
// Lines are drawn pixel by pixel so that their geometry is exact: a line from
// A to B covers A and stops one pixel short of B; dashed and dotted pens
// fill their gaps with the background colour when the background mode is
// opaque. Pens wider than one pixel are drawn solid with round ends.
#include <QFont>
#include <QSize>
#include <QString>

#include "platform/color.h"

class QPainter;

namespace kv::platform {

enum class PenStyle { Solid, Dash, Dot, Null };
enum class BkMode { Transparent, Opaque };
// Copy: the pen colour replaces the pixel; Xor / NotXor mix with it;
// Invert inverts the pixel whatever the colour.
enum class RasterOp { Copy, Xor, NotXor, Invert };

struct Pen {
  PenStyle style = PenStyle::Solid;
  int width = 1;
  ColorRef color = kBlack;
  bool operator==(const Pen&) const = default;
};

// A font by its character cell height in pixels (ascent plus descent), its
// escapement in tenths of a degree (counter-clockwise) and its weight
// (400 normal, 700 bold).
struct FontSpec {
  QString face;
  int height = 12;
  int escapement = 0;
  int weight = 400;
  bool operator==(const FontSpec&) const = default;
};

// The Japanese gothic face of captions, with the faces tried after it.
QString DefaultGothicFace();

class DrawSurface {
 public:
  explicit DrawSurface(QPainter& painter);
  DrawSurface(const DrawSurface&) = delete;
  DrawSurface& operator=(const DrawSurface&) = delete;

  QPainter& Painter() { return painter_; }

  // Each Select/Set returns the previous value, for the caller to restore.
  Pen SelectPen(const Pen& pen);
  FontSpec SelectFont(const FontSpec& font);
  ColorRef SetTextColor(ColorRef color);
  ColorRef SetBkColor(ColorRef color);
  BkMode SetBkMode(BkMode mode);
  RasterOp SetRasterOp(RasterOp op);

  const Pen& CurrentPen() const { return pen_; }
  const FontSpec& CurrentFont() const { return font_; }
  ColorRef TextColor() const { return textColor_; }
  ColorRef BkColor() const { return bkColor_; }
  BkMode GetBkMode() const { return bkMode_; }
  RasterOp GetRasterOp() const { return rop_; }

  void MoveTo(int x, int y);
  // From the current position to (x, y), excluding (x, y); it becomes the
  // current position.
  void LineTo(int x, int y);

  // Size of one line of text in the selected font (no line breaking).
  QSize TextExtent(const QString& text) const;
  // One line of text with its top-left corner at (x, y), turned by the font's
  // escapement around that corner; the cell is filled with the background
  // colour when the background mode is opaque.
  void TextOut(int x, int y, const QString& text);

  // The QFont the selected FontSpec maps to (cell height matched).
  const QFont& ResolvedFont() const { return qfont_; }

 private:
  QPainter& painter_;
  Pen pen_;
  FontSpec font_;
  QFont qfont_;
  ColorRef textColor_ = kBlack;
  ColorRef bkColor_ = kWhite;
  BkMode bkMode_ = BkMode::Opaque;
  RasterOp rop_ = RasterOp::Copy;
  int curX_ = 0;
  int curY_ = 0;
};

// A QFont for a FontSpec: family as given (a gothic fallback when missing),
// pixel size chosen so that ascent plus descent equals the cell height.
QFont MakeCellFont(const FontSpec& spec);

}  // namespace kv::platform
