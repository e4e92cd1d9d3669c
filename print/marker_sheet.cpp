#include "print/marker_sheet.h"

#include <apriltag/apriltag.h>
#include <apriltag/tag36h11.h>

#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <cstdlib>

#include "print/marker_sheet_layout.h"
#include "print/page_painting.h"

namespace kv::print {
namespace {

// The library's picture of code `id`: ten cells across, the white border
// round the eight-cell black square included. Every black cell is one
// square of the path, filled as one shape so that no seam shows between.
void DrawMarker(QPainter& painter, const PageMap& map, apriltag_family_t* family,
                const MarkerCell& cell) {
  image_u8_t* picture = apriltag_to_image(family, uint32_t(cell.id));
  if (!picture) return;
  const int n = picture->width;
  const int border = (n - int(family->width_at_border)) / 2;
  const double module = cell.square.width / family->width_at_border;
  const double x0 = cell.square.x - border * module, y0 = cell.square.y - border * module;
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  for (int y = 0; y < picture->height; ++y)
    for (int x = 0; x < n; ++x)
      if (picture->buf[y * picture->stride + x] == 0)
        path.addRect(QRectF(map(x0 + x * module, y0 + y * module),
                            map(x0 + (x + 1) * module, y0 + (y + 1) * module)));
  // Debian's library exports no image functions; its images are two blocks
  // from calloc, which is all its own destroy function frees.
  std::free(picture->buf);
  std::free(picture);
  painter.fillPath(path.simplified(), Qt::black);
}

}  // namespace

MarkerSheetOutcome WriteMarkerSheetPdf(int32_t sizeMm, PaperSize paper,
                                       const std::string& path) {
  MarkerSheetOutcome r;
  const PageSpec page = PdfPage(paper, false);
  const MarkerSheetLayout layout = LayOutMarkerSheet(page, sizeMm);
  if (!layout.fits) {
    r.failure = "この大きさのﾏｰｶｰは用紙に入りません";
    return r;
  }
  const PdfPageSetup setup{paper, false, "Kovasand", MarkerSheetTitle(sizeMm)};
  std::string failure;
  const bool written = WritePdfPage(setup, path, [&](QPdfWriter& writer) {
    QPainter painter;
    if (!painter.begin(&writer)) {
      r.failure = "PDFを書き始められませんでした";
      return false;
    }
    const PageMap map = PageMap::Of(writer);
    QFont font = PageFont(painter.font(), 9);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(map(layout.title), Qt::AlignLeft | Qt::AlignTop,
                     QString::fromUtf8(MarkerSheetTitle(sizeMm)));
    apriltag_family_t* family = tag36h11_create();
    font.setPointSizeF(7.5);
    painter.setFont(font);
    for (const MarkerCell& cell : layout.markers) {
      DrawMarker(painter, map, family, cell);
      painter.drawText(map(cell.label), Qt::AlignHCenter | Qt::AlignTop,
                       QString::fromUtf8(MarkerLabel(cell.id, sizeMm)));
    }
    tag36h11_destroy(family);
    DrawScaleBar(painter, map, layout.scaleBar, layout.barLabels);
    painter.drawText(map(layout.advice), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QString::fromUtf8(kMarkerSheetAdvice));
    if (!painter.end()) {
      r.failure = "PDFを書き終えられませんでした";
      return false;
    }
    return true;
  }, failure);
  if (!written) {
    if (r.failure.empty()) r.failure = failure;
    return r;
  }
  r.markers = int(layout.markers.size());
  return r;
}

}  // namespace kv::print
