#include "print/page_painting.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cstdio>
#include <span>

#include "foundation/core/util/file_io.h"

namespace kv::print {
namespace {

constexpr double kMmPerInch = 25.4;

// Fonts and the PDF writer need a GUI application; a tool run from a shell
// has none and perhaps no display. Made once and kept for the process.
void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  // A tool's error stream is for its own one-line reasons: Qt's remarks
  // about the environment (no runtime folder, no display) are dropped.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  static int argc = 3;
  static char name[] = "kvitool", option[] = "-platform", platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  new QGuiApplication(argc, argv);
}

QPageSize::PageSizeId PageSizeId(PaperSize paper) {
  switch (paper) {
    case PaperSize::kA3: return QPageSize::A3;
    case PaperSize::kLetter: return QPageSize::Letter;
    case PaperSize::kA4: break;
  }
  return QPageSize::A4;
}

}  // namespace

PageMap PageMap::Of(const QPagedPaintDevice& device) {
  const QRectF paint = device.pageLayout().paintRect(QPageLayout::Millimeter);
  return {paint.x(), paint.y(), device.logicalDpiX() / kMmPerInch,
          device.logicalDpiY() / kMmPerInch};
}

void DrawScaleBar(QPainter& painter, const PageMap& map, const RectMm& bar, const RectMm& labels) {
  constexpr double kFrameMm = 0.25;
  painter.fillRect(map(bar), Qt::black);
  const double cell = bar.width / 10;
  for (int k = 1; k < 10; k += 2) {
    const double left = bar.x + k * cell;
    const double right = std::min(left + cell, bar.Right() - kFrameMm);
    painter.fillRect(map({left, bar.y + kFrameMm, right - left, bar.height - 2 * kFrameMm}),
                     Qt::white);
  }
  const QRectF row = map(labels);
  painter.drawText(row, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
  painter.drawText(row, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("50"));
  painter.drawText(row, Qt::AlignRight | Qt::AlignTop, QStringLiteral("100 mm"));
}

QFont PageFont(const QFont& base, double points) {
  QFont font = base;
  font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                    QStringLiteral("Noto Sans CJK JP")});
  font.setPointSizeF(points);
  return font;
}

bool WritePdfPage(const PdfPageSetup& setup, const std::string& path,
                  const std::function<bool(QPdfWriter&)>& draw, std::string& failure) {
  EnsureGuiApplication();
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    const double m = kPdfMarginMm;
    writer.setPageLayout(QPageLayout(QPageSize(PageSizeId(setup.paper)),
                                     setup.landscape ? QPageLayout::Landscape
                                                     : QPageLayout::Portrait,
                                     QMarginsF(m, m, m, m), QPageLayout::Millimeter));
    writer.setResolution(kPdfDotsPerInch);
    writer.setCreator(QString::fromUtf8(setup.creator));
    writer.setTitle(QString::fromUtf8(setup.title));
    if (!draw(writer)) return false;
  }
  return WriteFileAtomically(
      path,
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                               size_t(bytes.size())),
      failure);
}

}  // namespace kv::print
