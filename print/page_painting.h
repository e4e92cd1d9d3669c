#pragma once
// What the real-size pages and the marker sheet draw alike: the mapping
// from page millimetres to device units, the check bar, the caption font,
// and a one-page PDF written without a display. Qt types here: only the
// drawing code of print/ includes it.
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <functional>
#include <string>

#include "print/print_layout.h"

class QPagedPaintDevice;
class QPainter;
class QPdfWriter;

namespace kv::print {

// Page millimetres to the painter's device units: the painter's origin is
// the top-left corner of the device's paint rectangle.
struct PageMap {
  double originXMm = 0, originYMm = 0, dotsPerMmX = 1, dotsPerMmY = 1;
  // The paint rectangle and logical resolution of `device`.
  static PageMap Of(const QPagedPaintDevice& device);
  QRectF operator()(const RectMm& r) const {
    return QRectF((r.x - originXMm) * dotsPerMmX, (r.y - originYMm) * dotsPerMmY,
                  r.width * dotsPerMmX, r.height * dotsPerMmY);
  }
  QPointF operator()(double xMm, double yMm) const {
    return {(xMm - originXMm) * dotsPerMmX, (yMm - originYMm) * dotsPerMmY};
  }
};

// The check bar: ten 10 mm cells, alternately black and white inside a
// black frame, every mark inside the bar's own length so that its ends are
// where a ruler's 0 and 100 go; its numbers in `labels` with the painter's
// font and pen.
void DrawScaleBar(QPainter& painter, const PageMap& map, const RectMm& bar, const RectMm& labels);

// One gothic face for a whole line, so that half-width katakana and the
// numbers beside them do not come from different fonts.
QFont PageFont(const QFont& base, double points);

// One page as a PDF at kPdfDotsPerInch on `paper` with kPdfMarginMm all
// round. A QGuiApplication on the offscreen platform is made first when the
// process has none (a tool run from a shell). `draw` paints the page and
// says whether it is to be kept. Kept pages are written beside `path` and
// renamed over it: true when written; false when `draw` declined (nothing
// written, `failure` untouched) or writing failed (`failure` says why).
struct PdfPageSetup {
  PaperSize paper = PaperSize::kA4;
  bool landscape = false;
  std::string creator;  // the program named in the PDF
  std::string title;    // UTF-8
};
bool WritePdfPage(const PdfPageSetup& setup, const std::string& path,
                  const std::function<bool(QPdfWriter&)>& draw, std::string& failure);

}  // namespace kv::print
