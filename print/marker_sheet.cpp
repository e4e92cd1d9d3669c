#include "print/marker_sheet.h"

#include <apriltag/apriltag.h>
#include <apriltag/tag36h11.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <cstdio>
#include <cstdlib>

#include "foundation/core/util/file_io.h"
#include "print/marker_sheet_layout.h"
#include "print/print_page.h"

namespace kv::print {
namespace {

constexpr double kMmPerInch = 25.4;

QPageSize::PageSizeId PageSizeId(PaperSize paper) {
  switch (paper) {
    case PaperSize::kA3: return QPageSize::A3;
    case PaperSize::kLetter: return QPageSize::Letter;
    case PaperSize::kA4: break;
  }
  return QPageSize::A4;
}

// A tool run from a shell has no GUI application and perhaps no display.
void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  static int argc = 3;
  static char name[] = "kvitool", option[] = "-platform", platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  new QGuiApplication(argc, argv);
}

struct Map {
  double originX, originY, dots;  // page mm of the paint origin, device dots per mm
  QRectF operator()(const RectMm& r) const {
    return QRectF((r.x - originX) * dots, (r.y - originY) * dots, r.width * dots, r.height * dots);
  }
  QPointF operator()(double x, double y) const { return {(x - originX) * dots, (y - originY) * dots}; }
};

// The library's picture of code `id`: ten cells across, the white border
// round the eight-cell black square included. Every black cell is one
// square of the path, filled as one shape so that no seam shows between.
void DrawMarker(QPainter& painter, const Map& map, apriltag_family_t* family,
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

void DrawScaleBar(QPainter& painter, const Map& map, const MarkerSheetLayout& l) {
  const RectMm& bar = l.scaleBar;
  constexpr double kFrameMm = 0.25;
  painter.fillRect(map(bar), Qt::black);
  const double cell = bar.width / 10;
  for (int k = 1; k < 10; k += 2) {
    const double left = bar.x + k * cell;
    const double right = std::min(left + cell, bar.Right() - kFrameMm);
    painter.fillRect(map({left, bar.y + kFrameMm, right - left, bar.height - 2 * kFrameMm}), Qt::white);
  }
  const QRectF labels = map(l.barLabels);
  painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
  painter.drawText(labels, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("50"));
  painter.drawText(labels, Qt::AlignRight | Qt::AlignTop, QStringLiteral("100 mm"));
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
  EnsureGuiApplication();
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    const double m = kPdfMarginMm;
    writer.setPageLayout(QPageLayout(QPageSize(PageSizeId(paper)), QPageLayout::Portrait,
                                     QMarginsF(m, m, m, m), QPageLayout::Millimeter));
    writer.setResolution(kPdfDotsPerInch);
    writer.setCreator(QStringLiteral("Kovasand"));
    writer.setTitle(QString::fromUtf8(MarkerSheetTitle(sizeMm)));
    QPainter painter;
    if (!painter.begin(&writer)) {
      r.failure = "PDFを書き始められませんでした";
      return r;
    }
    const QRectF paint = writer.pageLayout().paintRect(QPageLayout::Millimeter);
    const Map map{paint.x(), paint.y(), writer.logicalDpiX() / kMmPerInch};
    QFont font = painter.font();
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(9);
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
    DrawScaleBar(painter, map, layout);
    painter.drawText(map(layout.advice), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QString::fromUtf8(kMarkerSheetAdvice));
    if (!painter.end()) {
      r.failure = "PDFを書き終えられませんでした";
      return r;
    }
  }
  std::string reason;
  if (!WriteFileAtomically(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                          size_t(bytes.size())),
                           reason)) {
    r.failure = reason;
    return r;
  }
  r.markers = int(layout.markers.size());
  return r;
}

}  // namespace kv::print
