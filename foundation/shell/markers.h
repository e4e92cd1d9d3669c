#pragma once
// Point markers, captions and guide lines. Each routine draws on the surface
// in its pixels and leaves the surface's pen, font, text colour, background
// colour, background mode and raster operation as it found them.
#include <QString>
#include <string>

#include "platform/draw_surface.h"

namespace kv::shell {

using platform::ColorRef;
using platform::DrawSurface;

// A solid (or dotted) line from (x1, y1) towards (x2, y2), the end pixel
// excluded, with a pen of that width and colour.
void DrawSolidLine(DrawSurface& s, int x1, int y1, int x2, int y2, ColorRef color, int width);
void DrawDottedLine(DrawSurface& s, int x1, int y1, int x2, int y2, ColorRef color, int width);

// One line of text in the gothic face, cell height size x scale (truncated),
// turned by escapement (tenths of a degree), whose lower-left corner lies
// 2 pixels right of and 2 pixels above (x, y).
void DrawCaption(DrawSurface& s, int x, int y, const QString& text, int size, int escapement,
                 ColorRef color, double scale);
void DrawCaption(DrawSurface& s, int x, int y, const std::string& utf8, int size, int escapement,
                 ColorRef color, double scale);

// A cross of 20-pixel arms centred on (x, y) in the colour, between white
// lines one pixel either side.
void DrawCrossMarker(DrawSurface& s, int x, int y, ColorRef color);

// The caption (size 12, no escapement, scale 1.0) then the cross.
void DrawMarkedPoint(DrawSurface& s, const QString& text, int x, int y, ColorRef color);
void DrawMarkedPoint(DrawSurface& s, const std::string& utf8, int x, int y, ColorRef color);

// The marked point with a black edge around the cross's white lines and
// behind the caption, so a light colour shows on white and on black photos.
void DrawOutlinedMarkedPoint(DrawSurface& s, const std::string& utf8, int x, int y,
                             ColorRef color);

// A dashed line of width 1 in the colour with its gaps filled white.
void DrawDashedLine(DrawSurface& s, int x1, int y1, int x2, int y2, ColorRef color);

// The font height a caption uses: size x scale truncated toward zero.
int CaptionHeight(int size, double scale);

}  // namespace kv::shell
