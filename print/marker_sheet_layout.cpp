#include "print/marker_sheet_layout.h"

#include <cmath>

namespace kv::print {

const char* const kMarkerSheetAdvice =
    "拡大・縮小せずに(実際のｻｲｽﾞ、100%で)印刷し、上の目盛りが定規で100 mmあることを確かめて下さい。\n"
    "ﾏｰｶｰは白い余白ごと切り取り、商品の横に、商品の測りたい面と同じ高さで平らに置いて、"
    "真上から撮影して下さい。";

std::string MarkerSheetTitle(int32_t sizeMm) {
  return "ﾏｰｶｰ用紙  (黒い四角の一辺 " + std::to_string(sizeMm) + " mm)";
}

std::string MarkerLabel(int id, int32_t sizeMm) {
  return "No." + std::to_string(id) + "   " + std::to_string(sizeMm) + " mm";
}

MarkerSheetLayout LayOutMarkerSheet(const PageSpec& page, int32_t sizeMm) {
  MarkerSheetLayout out;
  const RectMm& p = page.printable;
  if (sizeMm <= 0 || p.width < kScaleBarMm) return out;
  const double size = sizeMm;
  const double border = size / 8;  // the marker's white cell round the square
  const double cellW = size + 2 * border;
  const double cellH = cellW + kMarkerLabelMm;
  out.title = {p.x, p.y, p.width, kMarkerTitleMm};
  const double top = out.title.Bottom();
  const double roomH = p.height - kMarkerTitleMm - kMarkerFooterMm;
  const int columns = int(std::floor((p.width + kMarkerGapMm) / (cellW + kMarkerGapMm)));
  const int rows = int(std::floor((roomH + kMarkerGapMm) / (cellH + kMarkerGapMm)));
  if (columns < 1 || rows < 1) return out;
  // The grid centred across the sheet.
  const double gridW = columns * cellW + (columns - 1) * kMarkerGapMm;
  const double left = p.x + (p.width - gridW) / 2;
  int id = 0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      MarkerCell cell;
      cell.id = id++;
      const double x = left + c * (cellW + kMarkerGapMm);
      const double y = top + r * (cellH + kMarkerGapMm);
      cell.square = {x + border, y + border, size, size};
      cell.label = {x, y + cellW, cellW, kMarkerLabelMm};
      out.markers.push_back(cell);
    }
  const double footerTop = p.Bottom() - kMarkerFooterMm;
  out.scaleBar = {p.x, footerTop + 3.0, kScaleBarMm, 2.0};
  out.barLabels = {p.x, out.scaleBar.Bottom() + 0.5, kScaleBarMm, 3.5};
  out.advice = {p.x, out.barLabels.Bottom() + 1.5, p.width, p.Bottom() - out.barLabels.Bottom() - 1.5};
  out.fits = true;
  return out;
}

}  // namespace kv::print
