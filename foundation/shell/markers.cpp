#include "foundation/shell/markers.h"

#include <utility>

#include "platform/qt_text.h"

namespace kv::shell {
namespace {

using platform::BkMode;
using platform::FontSpec;
using platform::Pen;
using platform::PenStyle;
using platform::RasterOp;

void StyledLine(DrawSurface& s, int x1, int y1, int x2, int y2, ColorRef color, int width,
                PenStyle style) {
  const Pen old = s.SelectPen(Pen{style, width, color});
  s.MoveTo(x1, y1);
  s.LineTo(x2, y2);
  s.SelectPen(old);
}

}  // namespace

int CaptionHeight(int size, double scale) {
  const double h = double(size) * scale;
  if (!(h > -2147483648.0 && h < 2147483647.0)) return 0;  // NaN or out of range
  return int(h);
}

void DrawSolidLine(DrawSurface& s, int x1, int y1, int x2, int y2, ColorRef color, int width) {
  StyledLine(s, x1, y1, x2, y2, color, width, PenStyle::Solid);
}

void DrawDottedLine(DrawSurface& s, int x1, int y1, int x2, int y2, ColorRef color, int width) {
  StyledLine(s, x1, y1, x2, y2, color, width, PenStyle::Dot);
}

void DrawCaption(DrawSurface& s, int x, int y, const QString& text, int size, int escapement,
                 ColorRef color, double scale) {
  const RasterOp oldRop = s.SetRasterOp(RasterOp::Copy);
  FontSpec font;
  font.face = platform::DefaultGothicFace();
  font.height = CaptionHeight(size, scale);
  font.escapement = escapement;
  font.weight = 400;
  const FontSpec oldFont = s.SelectFont(font);
  const ColorRef oldColor = s.SetTextColor(color);
  const BkMode oldMode = s.SetBkMode(BkMode::Transparent);
  const QSize extent = s.TextExtent(text);
  s.TextOut(x + 2, y - extent.height() - 2, text);
  s.SelectFont(oldFont);
  s.SetTextColor(oldColor);
  s.SetBkMode(oldMode);
  s.SetRasterOp(oldRop);
}

void DrawCaption(DrawSurface& s, int x, int y, const std::string& utf8, int size, int escapement,
                 ColorRef color, double scale) {
  DrawCaption(s, x, y, platform::Utf8ToQString(utf8), size, escapement, color, scale);
}

void DrawCrossMarker(DrawSurface& s, int x, int y, ColorRef color) {
  const ColorRef white = platform::kWhite;
  DrawSolidLine(s, x - 10, y - 1, x + 10, y - 1, white, 1);
  DrawSolidLine(s, x - 10, y + 1, x + 10, y + 1, white, 1);
  DrawSolidLine(s, x - 1, y - 10, x - 1, y + 10, white, 1);
  DrawSolidLine(s, x + 1, y - 10, x + 1, y + 10, white, 1);
  DrawSolidLine(s, x - 10, y, x + 10, y, color, 1);
  DrawSolidLine(s, x, y - 10, x, y + 10, color, 1);
}

void DrawMarkedPoint(DrawSurface& s, const QString& text, int x, int y, ColorRef color) {
  DrawCaption(s, x, y, text, 12, 0, color, 1.0);
  DrawCrossMarker(s, x, y, color);
}

void DrawMarkedPoint(DrawSurface& s, const std::string& utf8, int x, int y, ColorRef color) {
  DrawMarkedPoint(s, platform::Utf8ToQString(utf8), x, y, color);
}

void DrawOutlinedMarkedPoint(DrawSurface& s, const std::string& utf8, int x, int y,
                             ColorRef color) {
  const ColorRef black = platform::kBlack;
  for (int d : {-2, 2}) {
    DrawSolidLine(s, x - 11, y + d, x + 12, y + d, black, 1);
    DrawSolidLine(s, x + d, y - 11, x + d, y + 12, black, 1);
  }
  DrawSolidLine(s, x - 11, y - 1, x - 11, y + 2, black, 1);
  DrawSolidLine(s, x + 11, y - 1, x + 11, y + 2, black, 1);
  DrawSolidLine(s, x - 1, y - 11, x + 2, y - 11, black, 1);
  DrawSolidLine(s, x - 1, y + 11, x + 2, y + 11, black, 1);
  const QString text = platform::Utf8ToQString(utf8);
  for (const auto& [dx, dy] : {std::pair{1, 1}, std::pair{-1, -1}, std::pair{1, -1}, std::pair{-1, 1}})
    DrawCaption(s, x + dx, y + dy, text, 12, 0, black, 1.0);
  DrawMarkedPoint(s, text, x, y, color);
}

void DrawDashedLine(DrawSurface& s, int x1, int y1, int x2, int y2, ColorRef color) {
  const Pen oldPen = s.SelectPen(Pen{PenStyle::Dash, 1, color});
  const BkMode oldMode = s.SetBkMode(BkMode::Opaque);
  const ColorRef oldBk = s.SetBkColor(platform::kWhite);
  s.MoveTo(x1, y1);
  s.LineTo(x2, y2);
  s.SetBkColor(oldBk);
  s.SetBkMode(oldMode);
  s.SelectPen(oldPen);
}

}  // namespace kv::shell
